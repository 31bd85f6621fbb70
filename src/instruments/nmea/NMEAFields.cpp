#include "instruments/nmea/NMEAFields.h"

#include "foundation/NumberText.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <ctime>

void SplitNMEAFields(char* line, int count, char** fields)
{
    char* p = line;
    bool ended = false;
    for (int i = 0; i < count; ++i) {
        if (ended) {
            fields[i] = p;
            continue;
        }
        fields[i] = p;
        while (*p && *p != ',' && *p != '*')
            ++p;
        if (*p == ',') {
            *p++ = '\0';
        } else {
            // '*' or the end: every later field is the empty end.
            *p = '\0';
            ended = true;
        }
    }
}

namespace {

// Exact powers of ten: every one up to 1e22 is a double without rounding.
constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Most fields are short decimals ("181.6", "-0.25"). When the digits make an
// integer below 2^53 and at most 22 of them follow the point, that integer
// divided by the power of ten is exact to start with and rounded once, the
// very double the general parser gives. False (and `out` untouched) hands
// anything else to the general parser.
bool ParseShortDecimal(const char* s, double& out)
{
    const bool negative = *s == '-';
    if (negative)
        ++s;
    uint64_t mantissa = 0;
    int digits = 0, fraction = 0;
    bool point = false;
    for (;; ++s) {
        const char c = *s;
        if (c >= '0' && c <= '9') {
            if (mantissa > (uint64_t(1) << 53) / 10)
                return false;
            mantissa = mantissa * 10 + uint64_t(c - '0');
            ++digits;
            fraction += point;
        } else if (c == '.' && !point) {
            point = true;
        } else if (c == '\0') {
            break;
        } else {
            return false;
        }
    }
    if (digits == 0 || fraction > 22 || mantissa > (uint64_t(1) << 53))
        return false;
    const double v = double(mantissa) / kPowersOfTen[fraction];
    out = negative ? -v : v;
    return true;
}

} // namespace

bool ParseNMEANumber(const char* field, double& out)
{
    if (!field || !*field)
        return false;
    return ParseShortDecimal(field, out) || ParsePlainDecimal(field, out);
}

double NMEANumberOr(const char* field, double fallback)
{
    double v;
    return ParseNMEANumber(field, v) ? v : fallback;
}

namespace {

bool AllDigits(const char* s, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (!std::isdigit(static_cast<unsigned char>(s[i])))
            return false;
    return true;
}

// Degrees and minutes read by the point: the two digits before '.' and what
// follows are the minutes, the one to `maxDegreeDigits` digits before those
// are the degrees. Receivers in use drop leading zeros ("1142.5722" for
// 11 degrees 42.5722 minutes east), so the point, not a fixed index, decides.
bool ParseDegreesMinutes(const char* value, size_t maxDegreeDigits, double maxDegrees, double& out)
{
    if (!value)
        return false;
    const char* point = std::strchr(value, '.');
    if (!point)
        return false;
    const size_t whole = size_t(point - value);
    if (whole < 3 || whole > maxDegreeDigits + 2 || !AllDigits(value, whole) ||
        !AllDigits(point + 1, std::strlen(point + 1)))
        return false;
    const size_t degreeDigits = whole - 2;
    int degrees = 0;
    for (size_t i = 0; i < degreeDigits; ++i)
        degrees = degrees * 10 + (value[i] - '0');
    double minutes = 0;
    if (!ParseNMEANumber(value + degreeDigits, minutes) || minutes >= 60.0)
        return false;
    double v = degrees + minutes * 0.016666666666666666;
    if (v > maxDegrees)
        return false;
    out = v;
    return true;
}

} // namespace

bool ParseNMEALatitudeChecked(const char* value, const char* hemisphere, double& out)
{
    if (!hemisphere || (hemisphere[0] != 'N' && hemisphere[0] != 'S'))
        return false;
    double v;
    if (!ParseDegreesMinutes(value, 2, 90.0, v))
        return false;
    out = hemisphere[0] == 'S' ? -v : v;
    return true;
}

bool ParseNMEALongitudeChecked(const char* value, const char* hemisphere, double& out)
{
    if (!hemisphere || (hemisphere[0] != 'E' && hemisphere[0] != 'W'))
        return false;
    double v;
    if (!ParseDegreesMinutes(value, 3, 180.0, v))
        return false;
    out = hemisphere[0] == 'W' ? -v : v;
    return true;
}

bool ParseNMEAPosition(const char* lat, const char* latHemi, const char* lon, const char* lonHemi,
                       double& latOut, double& lonOut)
{
    double a, b;
    if (!ParseNMEALatitudeChecked(lat, latHemi, a) || !ParseNMEALongitudeChecked(lon, lonHemi, b))
        return false;
    latOut = a;
    lonOut = b;
    return true;
}

double ParseNMEALatitude(const char* value, const char* hemisphere)
{
    double v = 0;
    // A missing hemisphere reads as north, as receivers that omit it mean.
    if (!ParseDegreesMinutes(value, 2, 90.0, v))
        return 0.0;
    return (hemisphere && hemisphere[0] == 'S') ? -v : v;
}

double ParseNMEALongitude(const char* value, const char* hemisphere)
{
    double v = 0;
    if (!ParseDegreesMinutes(value, 3, 180.0, v))
        return 0.0;
    return (hemisphere && hemisphere[0] == 'W') ? -v : v;
}

bool ParseNMEATimeChecked(const char* field, int& secondsOfDay)
{
    if (!field || std::strlen(field) < 6 || !AllDigits(field, 6))
        return false;
    if (field[6] != '\0' && (field[6] != '.' || !AllDigits(field + 7, std::strlen(field + 7))))
        return false;
    auto two = [&](int i) { return (field[i] - '0') * 10 + (field[i + 1] - '0'); };
    int h = two(0), m = two(2), sec = two(4);
    if (h > 23 || m > 59 || sec > 60) // 60: a leap second
        return false;
    secondsOfDay = h * 3600 + m * 60 + sec;
    return true;
}

int ParseNMEATime(const char* field)
{
    int v = 0;
    return ParseNMEATimeChecked(field, v) ? v : 0;
}

bool ParseNMEADateChecked(const char* field, double& midnightUtc)
{
    if (!field || std::strlen(field) != 6 || !AllDigits(field, 6))
        return false;
    int value = 0;
    for (int i = 0; i < 6; ++i)
        value = value * 10 + (field[i] - '0');
    // Receivers repeat the same date for hours: remember the last one.
    static int lastValue = -1;
    static double lastResult = 0;
    if (value == lastValue) {
        midnightUtc = lastResult;
        return true;
    }
    int day = value / 10000, month = (value / 100) % 100, year = value % 100;
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1])
        return false;
    year += 2000; // two digits always mean this century
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month == 2 && day == 29 && !leap)
        return false;
    std::tm tm{};
    tm.tm_mday = day;
    tm.tm_mon = month - 1;
    tm.tm_year = year - 1900;
    double result = double(timegm(&tm));
    lastValue = value;
    lastResult = result;
    midnightUtc = result;
    return true;
}

double ParseNMEADate(const char* field)
{
    double v = 0;
    return ParseNMEADateChecked(field, v) ? v : 0;
}

void CopyNMEAText(char* dst, const char* src, size_t len)
{
    if (len == 0 || !dst)
        return;
    if (!src) {
        dst[0] = '\0';
        return;
    }
    size_t i = 0;
    for (; i + 1 < len && src[i]; ++i)
        dst[i] = src[i];
    dst[i] = '\0';
}
