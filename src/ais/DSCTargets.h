#pragma once
// Digital selective calls made into marks. `CDSCTargetManager` joins a call
// (DSC) and its expansion (DSE: finer position, course, speed) into one
// `CDSCTarget` per calling station and publishes it when it is complete;
// `CDSC_to_Mark` turns every published target into a locked "DSC:<MMSI>" mark,
// and a distress call also into a notification and, when near, navigation to
// the mark. Main thread only.
#include "foundation/events/Heartbeat.h"
#include "foundation/events/Listener.h"
#include "instruments/nmea/DSCSentences.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

struct CDSCTarget
{
    uint32_t m_mmsi = 0;
    double m_latitude = 0; // degrees
    double m_longitude = 0;
    float m_course = 0; // degrees, 0 until an expansion gives it
    float m_speed = 0;  // knots
    double m_time = 0;  // event time of the call, seconds since 1970
    uint32_t m_quadrant = 0;
    int32_t m_nature = -1; // nature of distress; -1 when no distress call
};

class CDSCTargetManager : public Listener<CNMEA_DSC::DSC>,
                          public Listener<CNMEA_DSC::DSE>,
                          public CHeartbeat::Counter
{
public:
    // A call that announces an expansion is published from its own position
    // when the last expansion has not come after this many seconds, so that
    // no distress alert is lost.
    static constexpr double kExpansionWait = 10;
    // At most this many calls wait for their expansion; a further one
    // publishes the oldest at once.
    static constexpr size_t kMaxPending = 100;
    static constexpr int32_t kTickPeriod = CHeartbeat::kTicksPerSecond;

    CDSCTargetManager();
    ~CDSCTargetManager() override;
    CDSCTargetManager(const CDSCTargetManager&) = delete;
    CDSCTargetManager& operator=(const CDSCTargetManager&) = delete;

    // The one manager of the application.
    static CDSCTargetManager& Global();

    void Notify(const CNMEA_DSC::DSC& s) override;
    void Notify(const CNMEA_DSC::DSE& s) override;
    void Notify(const CHeartbeat&) override {}
    void OnTick() override;

    // The handlers with explicit times (seconds since 1970): `time` the event
    // time of the call, `now` the heartbeat's time the wait is counted from.
    void HandleDSC(const CNMEA_DSC::DSC& s, double time, double now);
    void HandleDSE(const CNMEA_DSC::DSE& s);
    // Publishes every call that waited `kExpansionWait` seconds or more.
    void PublishOverdue(double now);

    size_t PendingCount() const { return m_pending.size(); }
    bool IsPending(uint32_t mmsi) const { return m_pending.count(mmsi) != 0; }
    // Drops the waiting calls unpublished (tests, a new session).
    void Clear() { m_pending.clear(); }

private:
    struct Pending
    {
        CDSCTarget target;
        double since = 0; // heartbeat time of the call
    };
    void Publish(std::map<uint32_t, Pending>::iterator it);

    std::map<uint32_t, Pending> m_pending;
};

class CDSC_to_Mark : public Listener<CDSCTarget>
{
public:
    // Navigation starts to a distress mark closer than this.
    static constexpr double kGotoRange = 500; // metres
    // The distance taken when the own position is unknown: near, so that
    // navigation starts.
    static constexpr double kUnknownDistance = 100;

    CDSC_to_Mark() = default;
    ~CDSC_to_Mark() override = default;

    static CDSC_to_Mark& Global();

    void Notify(const CDSCTarget& target) override;

    // "Fire" ... "Man overboard" for codes 0..10, else "Distress code %d".
    static std::string NatureText(int32_t nature);
    // The notification id of a station's distress call: 0 minus its MMSI,
    // above every other notification id.
    static uint32_t NotificationId(uint32_t mmsi) { return 0u - mmsi; }
    // The mark name of a station.
    static std::string MarkName(uint32_t mmsi) { return "DSC:" + std::to_string(mmsi); }
};

// Makes both managers, so that the radio's sentences find them; start-up
// calls it before any connection opens.
void CreateDSCTargetManagers();
