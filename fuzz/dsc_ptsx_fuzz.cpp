// DSC, DSE and PTSX lines through the dispatcher with their checksums made
// right: DSC positions are on the globe or -999, addresses are MMSIs, and
// the start timer and start line only ever hold values that make sense.
#include "FuzzLines.h"
#include "foundation/events/Clock.h"
#include "instruments/data/DataStartTimer.h"
#include "instruments/nmea/DSCSentences.h"
#include "instruments/nmea/PTSXSentences.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr double kNow = 1.7e9;

void Check(bool ok, const char* what, const std::string& line)
{
    if (!ok) {
        std::fprintf(stderr, "dsc_ptsx: %s: %s\n", what, line.c_str());
        std::abort();
    }
}

struct Sink : Listener<CNMEA_DSC::DSC>, Listener<CNMEA_DSC::DSE>
{
    void Notify(const CNMEA_DSC::DSC& s) override
    {
        const bool none =
            s.m_latitude == CNMEA_DSC::kNoDSCPosition && s.m_longitude == CNMEA_DSC::kNoDSCPosition;
        Check(none || (std::fabs(s.m_latitude) <= 90 && std::fabs(s.m_longitude) <= 180), "DSC position",
              *line);
        Check(s.m_mmsi <= 999999999u, "DSC MMSI", *line);
        Check(s.m_quadrant <= 3, "quadrant", *line);
    }
    void Notify(const CNMEA_DSC::DSE& s) override
    {
        Check(s.m_mmsi <= 999999999u, "DSE MMSI", *line);
        Check(s.m_mask <= 7, "mask", *line);
        if (s.m_mask & CNMEA_DSC::DSE::kHasPosition)
            Check(s.m_latitudeExtra >= 0 && s.m_latitudeExtra <= 9999 && s.m_longitudeExtra >= 0 &&
                      s.m_longitudeExtra <= 9999,
                  "DSE extras", *line);
        if (s.m_mask & CNMEA_DSC::DSE::kHasCourse)
            Check(std::isfinite(s.m_course), "DSE course", *line);
        if (s.m_mask & CNMEA_DSC::DSE::kHasSpeed)
            Check(std::isfinite(s.m_speed), "DSE speed", *line);
    }
    const std::string* line = nullptr;
};

bool Coordinate(double v, double limit)
{
    return std::isfinite(v) && std::fabs(v) <= limit;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Sink sink;
    SetClockForTesting([] { return kNow; });
    for (const std::string& line : fuzzsupport::Lines(data, size)) {
        const size_t first = line.find('$');
        if (first == std::string::npos)
            continue;
        const std::string sent = fuzzsupport::WithChecksum('$', line.substr(first + 1, 179));
        sink.line = &sent;
        std::vector<char> work(sent.begin(), sent.end());
        work.push_back('\0');
        DispatchNMEALine(work.data(), nullptr);

        const CDataStartTimer& timer = CDataStartTimer::Global();
        Check(timer.m_timeOfStart == 0 || std::fabs(timer.m_timeOfStart - kNow) <= 10 * 366 * 86400.0,
              "start time", sent);
        Check(timer.m_periodMinutes >= 0 && timer.m_periodMinutes <= 1440, "period", sent);
        const CDataStartLine& l = CDataStartLine::Global();
        Check(Coordinate(l.m_leftLat, 90) && Coordinate(l.m_leftLon, 180) && Coordinate(l.m_rightLat, 90) &&
                  Coordinate(l.m_rightLon, 180),
              "start line", sent);
    }
    sink.line = nullptr;
    return 0;
}
