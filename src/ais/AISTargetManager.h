#pragma once
// Keeps one target per MMSI heard, computes the closest point of approach
// against the own ship, raises collision and man-overboard alarms, ages out
// targets that fall silent, and lets the transponder's own reports move the
// own ship while nothing else gives a fix.
#include "ais/AISTarget.h"
#include "foundation/events/Heartbeat.h"
#include "foundation/events/Listener.h"
#include "foundation/settings/GlobalSettingsType.h"
#include "foundation/settings/PersistantData.h"
#include "geodesy/LocalPlane.h"

#include <cstdint>
#include <map>
#include <memory>

class COverlayGPSPosition;
class CXmlNode;

class CAISTargetManager : public Listener<CNEMA_AIS::VDM>,
                          public Listener<CNEMA_AIS::VDO>,
                          public Listener<CDataGPSPosition>,
                          public CHeartbeat::Counter
{
public:
    static constexpr int32_t kTickPeriod = 2400; // two minutes of heartbeat
    static constexpr double kKnot = 0.5144445;   // metres per second
    static constexpr size_t kMaxTargets = 10000;
    static constexpr uint32_t kMaxMMSI = 999999999;
    static constexpr double kLostContactAge = 366; // seconds
    static constexpr double kExpiryAge = 600;
    static constexpr double kManOverboardRange = 10000; // metres
    static constexpr double kManOverboardGotoRange = 500;

    struct Settings
    {
        float alarmDistance = 300;         // "alarm_distance", metres
        float cpaClassBDistance = 100;     // "cpa_classB_distance", metres
        float alarmTime = 1200;            // "alarm_time", seconds
        float minClosingVelocityKnots = 1; // "min_closing_velocity_knots"
        bool alarmBeep = true;             // "alarm_beep"
        bool recordTracks = false;         // "record_tracks": stored only
        bool enableSettings = false;       // "enable_settings"
    };
    class Persistant : public PersistantData
    {
    public:
        Persistant() : PersistantData("CAISTargetManager") {}
        void Exchange() override;
    };
    static Settings& GetSettings();
    static Persistant& GetPersistant();
    // `enable_settings`: an AIS target with a position was seen once.
    static bool IsSettingsEnabled() { return GetSettings().enableSettings; }
    // Closing, passing within twice the target's CPA limit and inside twice
    // `alarm_time`: the yellow of the chart and the CPA of the list's title.
    static bool InWarningZone(const CAISTarget& target);

    // Texts from a device's target list are cut to this many bytes.
    static constexpr size_t kMaxListText = 64;

    explicit CAISTargetManager(COverlayGPSPosition& ownShip);
    ~CAISTargetManager() override;

    // The one manager of the application.
    static CAISTargetManager& Global();

    void Notify(const CNEMA_AIS::VDM& s) override;
    void Notify(const CNEMA_AIS::VDO& s) override;
    void Notify(const CDataGPSPosition& fix) override;
    // The heartbeat calls OnTick directly.
    void Notify(const CHeartbeat&) override {}
    void OnTick() override;

    // The handlers with an explicit time (seconds since 1970).
    void HandleVDM(const CNEMA_AIS::CAIS_Sentence& s, double time);
    void HandleVDO(const CNEMA_AIS::CAIS_Sentence& s, double time);
    void HandleOwnFix(const CDataGPSPosition& fix);
    void Age(double now);
    // Range, bearing, CPA and TCPA of one target; raises or clears its alarm.
    void CheckCPA(CAISTarget& target);

    // Reads the target list of a network AIS device (root "Watchmate", one
    // "Target" per vessel) into the table, so that the vessels it knows are
    // named at once; they have no position, and are neither listed nor drawn,
    // until their first report with one. False when the file cannot be read
    // or has another root.
    bool ImportWatchmateTargets(const std::string& path);
    bool ImportWatchmateTargets(const CXmlNode* root);

    CAISTarget* Find(uint32_t mmsi) const;
    const std::map<uint32_t, std::unique_ptr<CAISTarget>>& Targets() const { return m_targets; }
    size_t Count() const { return m_targets.size(); }
    // The selected target by MMSI (0: none), so a removed target is never reached.
    uint32_t SelectedMMSI() const { return m_selected; }
    void SetSelectedMMSI(uint32_t mmsi) { m_selected = mmsi; }
    bool HasOwnPlane() const { return m_ownPlaneSet; }
    // Removes every target (tests, a new session).
    void Clear();

private:
    CAISTarget* FindOrMake(uint32_t mmsi);
    void Remove(std::map<uint32_t, std::unique_ptr<CAISTarget>>::iterator it);
    void ManOverboard(CAISTarget& target);
    void ClearAlarm(CAISTarget& target);
    void ImportTarget(const CXmlNode& element, double now);

    COverlayGPSPosition& m_ownShip;
    std::map<uint32_t, std::unique_ptr<CAISTarget>> m_targets;
    CLocalPlane m_ownPlane;
    bool m_ownPlaneSet = false;
    double m_ownEast = 0; // m/s
    double m_ownNorth = 0;
    uint32_t m_selected = 0;
};

// The "AIS Settings" category: opens the dialog through the AIS port
// (ais/AISPorts.h).
class CAISSettingsCategory : public CGlobalSettingsType
{
public:
    CAISSettingsCategory() : CGlobalSettingsType("AIS Settings") {}
    void Open() override;
    bool CanOpen() const override;
};

// Makes the target manager, so that the receiver's sentences find it; start-up
// calls it before the settings are read.
void CreateAISTargetManager();
