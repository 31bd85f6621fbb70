#include "instruments/nmea/PTSXSentences.h"

#include "foundation/events/Clock.h"
#include "instruments/nmea/NMEAFields.h"

#include <cmath>
#include <string_view>

namespace NMEA_PTSX {

CNMEASentenceTypeOf<SetStartTimer> SetStartTimer::Type(1, "PTSX,SetStartTimer");
CNMEASentenceTypeOf<SetStartLine> SetStartLine::Type(1, "PTSX,SetStartLine");

namespace {

bool Coordinate(const char* field, double limit, double& out)
{
    double v;
    if (!ParseNMEANumber(field, v) || !std::isfinite(v) || std::fabs(v) > limit)
        return false;
    out = v;
    return true;
}

} // namespace

bool SetStartTimer::Parse(char* line)
{
    char* f[4];
    SplitNMEAFields(line, 4, f);
    // The code is matched by its prefix: "SetStartTimerX" is another sentence.
    if (std::string_view(f[1]) != "SetStartTimer")
        return false;
    double start, period;
    if (!ParseNMEANumber(f[2], start) || !ParseNMEANumber(f[3], period))
        return false;
    if (start != 0 && !(std::fabs(start - GetClockTime()) <= kMaxStartDistance))
        return false;
    if (!(period >= 0 && period <= kMaxPeriodMinutes) || period != std::floor(period))
        return false;
    m_timeOfStart = start;
    m_periodMinutes = int32_t(period);
    return true;
}

bool SetStartLine::Parse(char* line)
{
    char* f[6];
    SplitNMEAFields(line, 6, f);
    if (std::string_view(f[1]) != "SetStartLine")
        return false;
    double leftLat, leftLon, rightLat, rightLon;
    if (!Coordinate(f[2], 90, leftLat) || !Coordinate(f[3], 180, leftLon) ||
        !Coordinate(f[4], 90, rightLat) || !Coordinate(f[5], 180, rightLon))
        return false;
    m_leftLat = leftLat;
    m_leftLon = leftLon;
    m_rightLat = rightLat;
    m_rightLon = rightLon;
    return true;
}

} // namespace NMEA_PTSX
