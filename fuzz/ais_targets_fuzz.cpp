// VDM, VDO and GPS lines through the dispatcher into the real target manager
// with a fixed own fix: every target published lies on the globe, and the
// table never outgrows its cap.
#include "FuzzLines.h"
#include "ais/AISSentence.h"
#include "ais/AISTargetManager.h"
#include "foundation/events/Clock.h"
#include "mapview/ownship/FeedRMC_to_GPSPosition.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "overlays/model/MarkManager.h"
#include "support/RecordingNotifier.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "ais_targets: %s\n", what);
        std::abort();
    }
}

struct Sink : Listener<CAISTarget>
{
    void Notify(const CAISTarget& t) override
    {
        if (t.m_aisState == CAISTarget::kExpired)
            return;
        Check(std::isfinite(t.m_latitude) && std::fabs(t.m_latitude) <= 90, "latitude");
        Check(std::isfinite(t.m_longitude) && std::fabs(t.m_longitude) <= 180, "longitude");
        Check(std::isfinite(t.m_cpa) && t.m_cpa >= 0, "cpa");
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    RegisterAISSentenceTypes();
    static Sink sink;
    // Alarms are many here: none may reach the desktop's sound player.
    static tessatest::SilentAlarmSound silent;
    SetAlarmSound(&silent);
    SetClockForTesting([] { return 1.7e9; });
    CFeedRMC_to_GPSPosition::Global();
    CAISTargetManager& manager = CAISTargetManager::Global();
    CAISTargetManager::GetSettings().enableSettings = true; // no settings file written
    CNEMA_AIS::CAIS_Sentence::ResetReassembly();
    CDataGPSPosition fix;
    fix.SetPosition(50.5, -1.25);
    fix.m_fixStatus = CDataGPSPosition::kGPSFix;
    fix.SetCourseSpeed(45, 6);
    fix.m_mode = CDataSpeedDirection::kModeCourseOverGround;
    manager.HandleOwnFix(fix);

    for (std::string line : fuzzsupport::Lines(data, size)) {
        // Checksums are made right so that every line reaches the handlers.
        line = line.substr(0, line.find_first_of("*\r"));
        if (line.empty() || line.size() > 180 || line.find('\0') != std::string::npos)
            continue;
        char buf[256];
        std::snprintf(buf, sizeof buf, "%s", line.c_str());
        AppendNMEAChecksum(buf, sizeof buf);
        DispatchNMEALine(buf, nullptr);
        Check(manager.Count() <= CAISTargetManager::kMaxTargets, "table cap");
    }
    manager.Age(1.7e9 + 1000);
    Check(manager.Count() == 0, "ageing");
    manager.Clear();
    CMarkManager::Get().ClearForTesting();
    return 0;
}
