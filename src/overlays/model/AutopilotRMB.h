#pragma once
// Steering output for an autopilot on a data connection: every publication
// of the go-to record becomes one "$ECRMB" sentence toward the current mark.
#include "foundation/events/Listener.h"
#include "mapview/overlay/OverlayObject.h"
#include "overlays/model/DataGotoMark.h"

#include <cstddef>
#include <string>

// The values of one RMB sentence. Metres, degrees, knots.
struct CRMBFields
{
    float crossTrack = 0; // > 0: the boat is right of the leg, so it steers left
    std::string identifier;
    double latitude = 0;
    double longitude = 0;
    float distance = 0;
    float bearing = CDataGotoMark::kNoBearing;
    float closingKnots = 0;
    bool arrived = false;
};

// The sentence text without checksum ("$ECRMB,..."); false, with nothing
// written, when a value is not finite. Never depends on the locale.
bool FormatAutopilotRMB(const CRMBFields& fields, std::string& text);
// ASCII letters and digits of the name, upper-cased, at most six.
std::string MakeRMBIdentifier(const std::string& name);

class CFeed_AutopilotRMB : public Listener<CDataGotoMark>
{
public:
    CFeed_AutopilotRMB();
    virtual void OnGotoMark(const CDataGotoMark& record);
    void Notify(const CDataGotoMark& record) override { OnGotoMark(record); }
    ~CFeed_AutopilotRMB() override = default;

    static CFeed_AutopilotRMB& Global();

private:
    // Forgets the last target when it is deleted, so a new mark at the
    // same address is not taken for it.
    class TargetWatch : public Listener<COverlayObject>
    {
    public:
        explicit TargetWatch(CFeed_AutopilotRMB& feed) : m_feed(feed) {}
        void Notify(const COverlayObject& object) override;

    private:
        CFeed_AutopilotRMB& m_feed;
    };

    const COverlayObject* m_lastTarget = nullptr;
    std::string m_identifier;
    TargetWatch m_watch{*this};
};
