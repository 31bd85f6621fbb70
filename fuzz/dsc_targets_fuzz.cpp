// DSC calls and expansions in any order through both DSC managers into the
// real mark manager, one second of heartbeat per line: every published
// target lies on the globe, every distress mark too, and no more calls wait
// than the bound allows.
#include "FuzzLines.h"
#include "ais/DSCTargets.h"
#include "foundation/events/Clock.h"
#include "foundation/events/Heartbeat.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "support/RecordingNotifier.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double gNow = 1.7e9;

// The heartbeat reads the clock once per tick: each move starts a new tick.
void Advance(double seconds)
{
    gNow += seconds;
    if (gHeartbeat)
        gHeartbeat->ClearEventTime();
}

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "dsc_targets: %s\n", what);
        std::abort();
    }
}

struct Sink : Listener<CDSCTarget>
{
    void Notify(const CDSCTarget& t) override
    {
        Check(std::isfinite(t.m_latitude) && std::isfinite(t.m_longitude) && std::fabs(t.m_latitude) <= 90 &&
                  std::fabs(t.m_longitude) <= 180,
              "published position");
        Check(t.m_mmsi >= 1 && t.m_mmsi <= 999999999u, "published MMSI");
        Check(t.m_nature >= -1 && t.m_nature <= 255, "nature"); // a code of two or three digits
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Sink sink;
    // Alarms are many here: none may reach the desktop's sound player.
    static tessatest::SilentAlarmSound silent;
    SetAlarmSound(&silent);
    SetClockForTesting([] { return gNow; });
    CreateDSCTargetManagers();
    CDSCTargetManager& manager = CDSCTargetManager::Global();
    CMarkManager& marks = CMarkManager::Get();
    manager.Clear();
    marks.ClearForTesting();

    for (std::string line : fuzzsupport::Lines(data, size)) {
        line.resize(std::min<size_t>(line.size(), 180));
        // A line "+N" moves the heartbeat N seconds on.
        if (!line.empty() && line[0] == '+') {
            // Backwards too: a clock may be set back.
            Advance(double(std::strtoll(line.c_str() + 1, nullptr, 10) % 100));
            manager.OnTick();
            continue;
        }
        if (line.empty() || line[0] != '$')
            continue;
        std::string sent = fuzzsupport::WithChecksum('$', line.substr(1));
        DispatchNMEALine(sent.data(), nullptr);
        Advance(1);
        manager.OnTick();
        Check(manager.PendingCount() <= CDSCTargetManager::kMaxPending, "pending bound");
    }
    for (const auto& mark : marks.Marks())
        Check(mark->HasPosition(), "mark position");
    // Whatever waits is published by the time-out.
    Advance(CDSCTargetManager::kExpansionWait);
    manager.OnTick();
    Check(manager.PendingCount() == 0, "time-out");
    manager.Clear();
    marks.ClearForTesting();
    return 0;
}
