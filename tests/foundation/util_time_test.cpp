// Relative dates stay right across daylight-saving changes and after days of
// uptime, with the clock injected.
#include "foundation/events/Clock.h"
#include "foundation/util/TimeText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

// Seconds since 1970 of a Berlin wall-clock time (DST decided by the zone).
double Berlin(int year, int month, int day, int hour, int minute)
{
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_isdst = -1;
    return static_cast<double>(mktime(&t));
}

class RelativeDateTest : public testing::Test
{
protected:
    void SetUp() override
    {
        const char* tz = std::getenv("TZ");
        had_tz = tz != nullptr;
        if (tz)
            old_tz = tz;
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    void TearDown() override
    {
        SetClockForTesting(nullptr);
        if (had_tz)
            setenv("TZ", old_tz.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    void Now(double when)
    {
        SetClockForTesting([when] { return when; });
    }

    bool had_tz = false;
    std::string old_tz;
};

TEST_F(RelativeDateTest, NoDateTodayYesterdayTomorrow)
{
    Now(Berlin(2026, 6, 10, 0, 5));
    EXPECT_EQ(FormatRelativeDate(0), "No date");
    EXPECT_EQ(FormatRelativeDate(Berlin(2026, 6, 10, 23, 59)), "Today");
    EXPECT_EQ(FormatRelativeDate(Berlin(2026, 6, 10, 0, 0)), "Today");
    EXPECT_EQ(FormatRelativeDate(Berlin(2026, 6, 9, 23, 59)), "Yesterday");
    EXPECT_EQ(FormatRelativeDate(Berlin(2026, 6, 9, 0, 0)), "Yesterday");
    EXPECT_EQ(FormatRelativeDate(Berlin(2026, 6, 11, 12, 0)), "Tomorrow");
    std::string older = FormatRelativeDate(Berlin(2026, 6, 8, 12, 0));
    EXPECT_NE(older.find("2026"), std::string::npos) << older;
    EXPECT_NE(older.find('8'), std::string::npos) << older;
}

TEST_F(RelativeDateTest, DaylightSavingChanges)
{
    // The day after the spring change: the 23-hour day before it must not
    // make two days ago look like yesterday.
    Now(Berlin(2026, 3, 30, 12, 0));
    EXPECT_EQ(FormatRelativeDate(Berlin(2026, 3, 29, 0, 30)), "Yesterday");
    EXPECT_NE(FormatRelativeDate(Berlin(2026, 3, 28, 23, 30)), "Yesterday");
    // The day after the autumn change: the whole 25-hour day is yesterday.
    Now(Berlin(2026, 10, 26, 12, 0));
    EXPECT_EQ(FormatRelativeDate(Berlin(2026, 10, 25, 0, 30)), "Yesterday");
    EXPECT_EQ(FormatRelativeDate(Berlin(2026, 10, 25, 23, 30)), "Yesterday");
    EXPECT_EQ(FormatRelativeDate(Berlin(2026, 10, 26, 0, 10)), "Today");
    // On the change days themselves.
    Now(Berlin(2026, 10, 25, 23, 0));
    EXPECT_EQ(FormatRelativeDate(Berlin(2026, 10, 25, 0, 10)), "Today");
    EXPECT_EQ(FormatRelativeDate(Berlin(2026, 10, 26, 0, 10)), "Tomorrow");
}

TEST_F(RelativeDateTest, DaysOfUptimeDoNotShiftTheDay)
{
    Now(Berlin(2026, 1, 1, 9, 0));
    EXPECT_EQ(FormatRelativeDate(Berlin(2026, 1, 1, 8, 0)), "Today");
    // Five days later in the same process.
    Now(Berlin(2026, 1, 6, 9, 0));
    EXPECT_EQ(FormatRelativeDate(Berlin(2026, 1, 6, 8, 0)), "Today");
    EXPECT_EQ(FormatRelativeDate(Berlin(2026, 1, 5, 8, 0)), "Yesterday");
    EXPECT_NE(FormatRelativeDate(Berlin(2026, 1, 1, 8, 0)), "Today");
    EXPECT_EQ(GetCurrentTime(), Berlin(2026, 1, 6, 9, 0));
}

TEST_F(RelativeDateTest, UnrepresentableTimesAreRefused)
{
    Now(Berlin(2026, 1, 1, 9, 0));
    EXPECT_EQ(FormatRelativeDate(1e300), "No date");
    EXPECT_EQ(FormatRelativeDate(std::nan("")), "No date");
}

} // namespace
