#include "instruments/nmea/NMEAFields.h"

#include "foundation/NumberText.h"

#include <cctype>
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

bool ParseNMEANumber(const char* field, double& out)
{
    if (!field || !*field)
        return false;
    return ParsePlainDecimal(field, out);
}

double NMEANumberOr(const char* field, double fallback)
{
    double v;
    return ParseNMEANumber(field, v) ? v : fallback;
}

namespace {

double ParseDegreesMinutes(const char* value, size_t pointIndex)
{
    if (!value || std::strlen(value) <= pointIndex || value[pointIndex] != '.')
        return 0.0;
    int degrees = 0;
    for (size_t i = 0; i < pointIndex - 2; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(value[i])))
            return 0.0;
        degrees = degrees * 10 + (value[i] - '0');
    }
    double minutes = 0;
    if (!ParsePlainDecimal(value + pointIndex - 2, minutes))
        return 0.0;
    return degrees + minutes * 0.016666666666666666;
}

} // namespace

double ParseNMEALatitude(const char* value, const char* hemisphere)
{
    double v = ParseDegreesMinutes(value, 4);
    return (hemisphere && hemisphere[0] == 'S') ? -v : v;
}

double ParseNMEALongitude(const char* value, const char* hemisphere)
{
    double v = ParseDegreesMinutes(value, 5);
    return (hemisphere && hemisphere[0] == 'W') ? -v : v;
}

int ParseNMEATime(const char* field)
{
    if (!field || std::strlen(field) < 6)
        return 0;
    for (int i = 0; i < 6; ++i)
        if (!std::isdigit(static_cast<unsigned char>(field[i])))
            return 0;
    auto two = [&](int i) { return (field[i] - '0') * 10 + (field[i + 1] - '0'); };
    return two(0) * 3600 + two(2) * 60 + two(4);
}

double ParseNMEADate(const char* field)
{
    if (!field || std::strlen(field) < 6)
        return 0;
    int value = 0;
    for (int i = 0; i < 6; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(field[i])))
            return 0;
        value = value * 10 + (field[i] - '0');
    }
    // Receivers repeat the same date for hours: remember the last one.
    static int lastValue = -1;
    static double lastResult = 0;
    if (value == lastValue)
        return lastResult;
    int day = value / 10000, month = (value / 100) % 100, year = value % 100;
    if (year < 100)
        year += 2000;
    else if (year < 200)
        year += 1900;
    std::tm tm{};
    tm.tm_mday = day;
    tm.tm_mon = month - 1;
    tm.tm_year = year - 1900;
    double result = double(timegm(&tm));
    lastValue = value;
    lastResult = result;
    return result;
}

void CopyNMEAText(char* dst, const char* src, size_t len)
{
    if (len == 0)
        return;
    size_t i = 0;
    for (; i + 1 < len && src[i]; ++i)
        dst[i] = src[i];
    dst[i] = '\0';
}
