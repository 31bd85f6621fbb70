// The unit tables and the formatters of CUnits. All numbers are written in the
// C locale whatever the user's language is.
#include "foundation/NumberText.h"
#include "geodesy/Sentinels.h"
#include "geodesy/Units.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr CUnits::UnitEntry kDistanceUnits[CUnits::kDistanceUnitCount] = {
    {"Mi", 0.000621371f}, {"NM", 0.000539957f}, {"km", 0.001f}, {"m", 1.0f}, {"ft", 3.281f}, {"yds", 1.0936f},
};
constexpr CUnits::UnitEntry kSpeedUnits[CUnits::kSpeedUnitCount] = {
    {"mph", 1.1507795f},
    {"kts", 1.0f},
    {"km/h", 1.852f},
    {"m/s", 0.5144445f},
};
constexpr CUnits::UnitEntry kDepthUnits[CUnits::kDepthUnitCount] = {
    {"ft", 3.281f},
    {"m", 1.0f},
    {"fathom", 0.5468333f},
};

constexpr char kUnknownText[] = "---";

// printf of one double in the C locale.
std::string Format1(const char* format, double value)
{
    return FormatDouble(value, format);
}

} // namespace

const CUnits::UnitEntry& CUnits::DistanceUnit(uint32_t index)
{
    return kDistanceUnits[index < kDistanceUnitCount ? index : 0];
}

const CUnits::UnitEntry& CUnits::SpeedUnit(uint32_t index)
{
    return kSpeedUnits[index < kSpeedUnitCount ? index : 0];
}

const CUnits::UnitEntry& CUnits::DepthUnit(uint32_t index)
{
    return kDepthUnits[index < kDepthUnitCount ? index : 0];
}

uint32_t CUnits::SmallDistanceUnitFor(uint32_t distanceUnit, uint32_t fallback)
{
    switch (distanceUnit) {
    case kMiles:
        return kFeet;
    case kNauticalMiles:
        return kYards;
    case kKilometres:
        return kMetres;
    default:
        return fallback;
    }
}

void CUnits::FormatDistanceValue(float metres, std::string& number, std::string& unit) const
{
    const UnitEntry* entry = &DistanceUnit(m_distanceUnit);
    double value = static_cast<double>(metres) * entry->factor;
    if (value <= 0.1) {
        entry = &DistanceUnit(m_smallDistanceUnit);
        value = static_cast<double>(metres) * entry->factor;
    }
    unit = entry->name;
    if (!std::isfinite(value)) {
        number = kUnknownText;
        return;
    }
    // The thresholds sit on the rounded value, so 99.97 shows "100", not "100.0".
    const double magnitude = std::fabs(value);
    if (magnitude >= 99.95)
        number = Format1("%.0f", value);
    else if (magnitude >= 9.995)
        number = Format1("%.1f", value);
    else
        number = Format1("%.2f", value);
}

void CUnits::FormatDistance(float metres, std::string& text) const
{
    std::string number, unit;
    FormatDistanceValue(metres, number, unit);
    text = number + " " + unit;
}

void CUnits::FormatDistanceNumber(float metres, std::string& text) const
{
    double value = static_cast<double>(metres) * DistanceUnit(m_distanceUnit).factor;
    if (!std::isfinite(value)) {
        text = kUnknownText;
        return;
    }
    if (value < 0.001)
        value = 0;
    // "%.3g" would write 999.7 as "1e+03": whole numbers from where it rounds to 1000.
    text = Format1(value >= 999.5 ? "%.0f" : "%.3g", value);
}

void CUnits::FormatSpeedValue(float knots, std::string& text) const
{
    const double value = static_cast<double>(knots) * SpeedUnit(m_speedUnit).factor;
    if (!std::isfinite(value)) {
        text = kUnknownText;
        return;
    }
    text = Format1(std::fabs(value) >= 9.995 ? "%.01f" : "%.02f", value);
}

void CUnits::FormatSpeed(float knots, std::string& text) const
{
    FormatSpeedValue(knots, text);
    text += SpeedUnit(m_speedUnit).name;
}

void CUnits::FormatDepthValue(float metres, std::string& text) const
{
    if (IsUnknownDepth(metres)) {
        text = kUnknownText;
        return;
    }
    double value = static_cast<double>(metres) * DepthUnit(m_depthUnit).factor;
    if (!std::isfinite(value)) {
        text = kUnknownText;
        return;
    }
    if (value > -0.01 && value < 0.01)
        value = 0;
    // "%.2g" would write 99.6 as "1e+02": whole numbers from where it rounds to 100.
    text = Format1(std::fabs(value) >= 99.5 ? "%.0f" : "%.2g", value);
}

void CUnits::FormatDepth(float metres, std::string& text) const
{
    const double value = static_cast<double>(metres) * DepthUnit(m_depthUnit).factor;
    if (IsUnknownDepth(metres) || !std::isfinite(value)) {
        text = kUnknownText;
        return;
    }
    text = Format1(std::fabs(value) >= 9.95 ? "%.0f" : "%.1f", value);
    text += ' ';
    text += DepthUnit(m_depthUnit).name;
}

void CUnits::FormatTemperatureValue(float celsius, std::string& text) const
{
    double value = celsius;
    if (m_temperature == kFahrenheit)
        value = value * 1.8 + 32;
    text = std::isfinite(value) ? Format1("%.1f", value) : std::string(kUnknownText);
}

const char* CUnits::TemperatureUnitName() const
{
    return m_temperature == kFahrenheit ? "\xC2\xB0"
                                          "F"
                                        : "\xC2\xB0"
                                          "C";
}

void CUnits::FormatBearingValue(float degreesTrue, std::string& text) const
{
    if (IsUnknownAngle(degreesTrue) || !std::isfinite(degreesTrue)) {
        text.clear();
        return;
    }
    double value = degreesTrue;
    if (m_bearings == kBearingsMagnetic && std::isfinite(m_variation))
        value -= m_variation;
    value = std::fmod(value, 360.0);
    if (value < 0)
        value += 360;
    int whole = static_cast<int>(value + 0.4999);
    if (whole >= 360)
        whole -= 360;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%03d", whole);
    text = buf;
}

const char* CUnits::BearingSuffix() const
{
    return m_bearings == kBearingsMagnetic ? "\xC2\xB0"
                                             "M"
                                           : "\xC2\xB0"
                                             "T";
}

void CUnits::FormatBearing(float degreesTrue, std::string& text) const
{
    FormatBearingValue(degreesTrue, text);
    text += BearingSuffix();
}

void CUnits::FormatDuration(double seconds, std::string& text)
{
    if (!std::isfinite(seconds)) {
        text = kUnknownText;
        return;
    }
    if (seconds < 0) {
        std::string positive;
        FormatDuration(-seconds, positive);
        text = "Negative " + positive;
        return;
    }
    // A negative zero (a start at this very second, counted backwards) would
    // print as "-0s".
    seconds = std::fabs(seconds);
    double days = std::floor((seconds + 0.5) / 86400);
    double r = seconds - days * 86400;
    // Beyond the precision of a double the remainder is noise.
    if (!(r >= -0.5 && r < 86400))
        r = 0;
    double hours = std::floor((r + 0.5) / 3600);
    r -= hours * 3600;
    double minutes = std::floor((r + 0.5) / 60);
    double secs = r - minutes * 60;
    if (secs < 0)
        secs = 0;

    CCLocaleScope cLocale;
    char buf[400];
    if (days >= 1 || hours >= 10) {
        // Rounded to the minute; a carry moves into the hours and days, never ":60".
        if (secs > 30)
            minutes += 1;
        if (minutes >= 60) {
            minutes -= 60;
            hours += 1;
        }
        if (hours >= 24) {
            hours -= 24;
            days += 1;
        }
        if (days >= 1)
            std::snprintf(buf, sizeof buf, "%.0fD %.0fh:%02.0f", days, hours, minutes);
        else
            std::snprintf(buf, sizeof buf, "%.0fh:%02.0f", hours, minutes);
    } else if (hours >= 1) {
        std::snprintf(buf, sizeof buf, "%.0f:%02.0f:%02.0f", hours, minutes, secs);
    } else if (minutes >= 1) {
        std::snprintf(buf, sizeof buf, "%.0f:%02.0f", minutes, secs);
    } else {
        std::snprintf(buf, sizeof buf, "%.0fs", secs);
    }
    text = buf;
}

namespace {

bool LocalTime(time_t time, struct tm& out)
{
    return localtime_r(&time, &out) != nullptr;
}

} // namespace

void CUnits::FormatClockTime(time_t time, std::string& text)
{
    struct tm t
    {
    };
    if (!LocalTime(time, t)) {
        text = kUnknownText;
        return;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
    text = buf;
}

void CUnits::FormatClockTime12(time_t time, std::string& text)
{
    struct tm t
    {
    };
    if (!LocalTime(time, t)) {
        text = kUnknownText;
        return;
    }
    const int hour = t.tm_hour > 12 ? t.tm_hour - 12 : t.tm_hour;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d:%02d%s", hour, t.tm_min, t.tm_hour < 12 ? "am" : "pm");
    text = buf;
}
