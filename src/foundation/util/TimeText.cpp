#include "foundation/util/TimeText.h"

#include "foundation/events/Clock.h"

#include <QDate>
#include <QLocale>
#include <cmath>
#include <ctime>

namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool LocalDay(double seconds, struct tm& out)
{
    if (!std::isfinite(seconds) || std::fabs(seconds) > 1e14)
        return false;
    time_t t = static_cast<time_t>(std::floor(seconds));
    return localtime_r(&t, &out) != nullptr;
}

// Reads "[blanks][sign]digits" like %d; false on no digits or overflow.
bool ReadNumber(const std::string& text, size_t& pos, int64_t& value)
{
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n'))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        negative = text[pos++] == '-';
    size_t start = pos;
    value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        if (pos - start >= 9)
            return false;
        value = value * 10 + (text[pos++] - '0');
    }
    if (negative)
        value = -value;
    return pos > start;
}

} // namespace

double GetCurrentTime()
{
    return GetClockTime();
}

std::string FormatRelativeDate(double seconds_since_1970)
{
    if (seconds_since_1970 == 0)
        return "No date";
    struct tm now_tm, date_tm;
    if (!LocalDay(GetCurrentTime(), now_tm) || !LocalDay(seconds_since_1970, date_tm))
        return "No date";
    int64_t today = DaysFromCivil(now_tm.tm_year + 1900LL, static_cast<unsigned>(now_tm.tm_mon + 1),
                                  static_cast<unsigned>(now_tm.tm_mday));
    int64_t day = DaysFromCivil(date_tm.tm_year + 1900LL, static_cast<unsigned>(date_tm.tm_mon + 1),
                                static_cast<unsigned>(date_tm.tm_mday));
    switch (day - today) {
    case -1:
        return "Yesterday";
    case 0:
        return "Today";
    case 1:
        return "Tomorrow";
    default:
        break;
    }
    QDate date(date_tm.tm_year + 1900, date_tm.tm_mon + 1, date_tm.tm_mday);
    return QLocale().toString(date, QStringLiteral("d MMM yyyy")).toStdString();
}

int64_t ParseDateNumber(const std::string& text)
{
    size_t pos = 0;
    int64_t first, second, third;
    if (ReadNumber(text, pos, first) && pos < text.size() && text[pos++] == '/' &&
        ReadNumber(text, pos, second) && pos < text.size() && text[pos++] == '/' &&
        ReadNumber(text, pos, third))
        return third * 10000 + first * 100 + second;
    int64_t value = 0;
    int digits = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9' && digits < 18) {
            value = value * 10 + (c - '0');
            ++digits;
        }
    }
    return value;
}
