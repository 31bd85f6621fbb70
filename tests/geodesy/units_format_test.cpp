// The formatters of every unit choice, at their rounding boundaries and with
// the unknown markers, under the C and a German locale.
#include "geodesy/Sentinels.h"
#include "geodesy/Units.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

struct Row
{
    float input;
    const char* text;
};

// Runs each check once in the C locale and once in de_DE.UTF-8.
class UnitsFormat : public ::testing::TestWithParam<const char*>
{
protected:
    void SetUp() override
    {
        m_saved = std::setlocale(LC_ALL, nullptr);
        if (!std::setlocale(LC_ALL, GetParam()))
            GTEST_SKIP() << "locale " << GetParam() << " is not installed";
    }
    void TearDown() override { std::setlocale(LC_ALL, m_saved.c_str()); }

    std::string m_saved;
};

std::string DistanceNumber(const CUnits& u, float metres)
{
    std::string s;
    u.FormatDistanceNumber(metres, s);
    return s;
}

TEST_P(UnitsFormat, DistanceInEveryUnit)
{
    CUnits u;
    ASSERT_TRUE(u.SetUnitSystem(CUnits::kNautical));
    std::string number, unit;
    // Nautical: short distances in yards.
    u.FormatDistanceValue(50, number, unit);
    EXPECT_EQ(number + " " + unit, "54.7 yds");
    u.FormatDistanceValue(500, number, unit);
    EXPECT_EQ(number + " " + unit, "0.27 NM");
    u.FormatDistance(5000, number);
    EXPECT_EQ(number, "2.70 NM");
    u.FormatDistance(18520, number);
    EXPECT_EQ(number, "10.0 NM");
    u.FormatDistance(185200, number);
    EXPECT_EQ(number, "100 NM");
    // Just below the boundaries the next coarser form already applies when
    // the finer one would round up to it.
    u.FormatDistance(9.998f / 0.000539957f, number);
    EXPECT_EQ(number, "10.0 NM");
    u.FormatDistance(99.97f / 0.000539957f, number);
    EXPECT_EQ(number, "100 NM");

    ASSERT_TRUE(u.SetUnitSystem(CUnits::kStatute));
    u.FormatDistance(100, number);
    EXPECT_EQ(number, "328 ft");
    u.FormatDistance(16093.4f, number);
    EXPECT_EQ(number, "10.0 Mi");
    ASSERT_TRUE(u.SetUnitSystem(CUnits::kMetric));
    u.FormatDistance(99, number);
    EXPECT_EQ(number, "99.0 m");
    u.FormatDistance(1500, number);
    EXPECT_EQ(number, "1.50 km");
    // Metres, feet and yards as the main unit.
    for (uint32_t unitIndex : {CUnits::kMetres, CUnits::kFeet, CUnits::kYards}) {
        ASSERT_TRUE(u.SetUnitSystem(unitIndex));
        u.FormatDistanceValue(1000, number, unit);
        EXPECT_EQ(unit, CUnits::DistanceUnit(unitIndex).name);
    }
    u.FormatDistance(std::nanf(""), number);
    EXPECT_EQ(number.substr(0, 3), "---");
}

TEST_P(UnitsFormat, DistanceNumberHasNoExponent)
{
    CUnits u;
    u.SetUnitSystem(CUnits::kMetric);
    u.SetUnitSystem(CUnits::kMetres);
    EXPECT_EQ(DistanceNumber(u, 0.0004f), "0");
    EXPECT_EQ(DistanceNumber(u, -5), "0");
    EXPECT_EQ(DistanceNumber(u, 0.5f), "0.5");
    EXPECT_EQ(DistanceNumber(u, 12.345f), "12.3");
    EXPECT_EQ(DistanceNumber(u, 999.4f), "999");
    EXPECT_EQ(DistanceNumber(u, 999.7f), "1000");
    EXPECT_EQ(DistanceNumber(u, 1234.4f), "1234");
    EXPECT_EQ(DistanceNumber(u, 250000), "250000");
    // Always the main unit, never the short one.
    u.SetUnitSystem(CUnits::kNautical);
    EXPECT_EQ(DistanceNumber(u, 50), "0.027");
}

TEST_P(UnitsFormat, SpeedInEveryUnit)
{
    const struct
    {
        uint32_t unit;
        float knots;
        const char* text;
    } rows[] = {
        {CUnits::kKnots, 5, "5.00kts"},
        {CUnits::kKnots, 9.994f, "9.99kts"},
        {CUnits::kKnots, 9.996f, "10.0kts"},
        {CUnits::kKnots, 12.34f, "12.3kts"},
        {CUnits::kMph, 10, "11.5mph"},
        {CUnits::kKmh, 1, "1.85km/h"},
        {CUnits::kKmh, 10, "18.5km/h"},
        {CUnits::kMetresPerSecond, 10, "5.14m/s"},
        {CUnits::kMetresPerSecond, 20, "10.3m/s"},
    };
    CUnits u;
    for (const auto& r : rows) {
        u.m_speedUnit = r.unit;
        std::string s;
        u.FormatSpeed(r.knots, s);
        EXPECT_EQ(s, r.text) << r.knots << " in unit " << r.unit;
    }
    EXPECT_EQ(u.GetSpeedUnit(), CUnits::kMetresPerSecond);
}

TEST_P(UnitsFormat, DepthInEveryUnit)
{
    CUnits u;
    u.m_depthUnit = CUnits::kDepthMetres;
    const Row values[] = {
        {-9999, "---"}, {-20000, "---"}, {0.004f, "0"},  {-0.004f, "0"},   {1.234f, "1.2"},
        {12.34f, "12"}, {99.4f, "99"},   {99.6f, "100"}, {-99.6f, "-100"}, {345.6f, "346"},
    };
    for (const Row& r : values) {
        std::string s;
        u.FormatDepthValue(r.input, s);
        EXPECT_EQ(s, r.text) << r.input;
    }
    const Row depths[] = {
        {-9999, "---"}, {4.56f, "4.6 m"}, {9.94f, "9.9 m"}, {9.96f, "10 m"}, {123.4f, "123 m"}};
    for (const Row& r : depths) {
        std::string s;
        u.FormatDepth(r.input, s);
        EXPECT_EQ(s, r.text) << r.input;
    }
    std::string s;
    u.FormatDepth(std::nanf(""), s);
    EXPECT_EQ(s, "---");
    u.m_depthUnit = CUnits::kDepthFeet;
    u.FormatDepth(10, s);
    EXPECT_EQ(s, "33 ft");
    u.m_depthUnit = CUnits::kFathoms;
    u.FormatDepth(10, s);
    EXPECT_EQ(s, "5.5 fathom");
}

TEST_P(UnitsFormat, TemperatureAndBearings)
{
    CUnits u;
    std::string s;
    u.FormatTemperatureValue(20, s);
    EXPECT_EQ(s, "68.0");
    EXPECT_STREQ(u.TemperatureUnitName(), "\xC2\xB0"
                                          "F");
    u.m_temperature = CUnits::kCelsius;
    u.FormatTemperatureValue(-3.25f, s);
    EXPECT_EQ(s, "-3.2");
    EXPECT_STREQ(u.TemperatureUnitName(), "\xC2\xB0"
                                          "C");

    const Row bearings[] = {{359.8f, "000"}, {0.4f, "000"},   {0.6f, "001"}, {45, "045"},
                            {-10, "350"},    {720.2f, "000"}, {899, "179"}};
    for (const Row& r : bearings) {
        u.FormatBearingValue(r.input, s);
        EXPECT_EQ(s, r.text) << r.input;
    }
    for (float unknown : {999.0f, 900.0f, std::nanf(""), -INFINITY}) {
        u.FormatBearingValue(unknown, s);
        EXPECT_EQ(s, "") << unknown;
    }
    u.FormatBearing(90, s);
    EXPECT_EQ(s, "090\xC2\xB0"
                 "T");
    // Magnetic: east variation is subtracted.
    u.m_bearings = CUnits::kBearingsMagnetic;
    u.m_variation = 10;
    u.FormatBearing(5, s);
    EXPECT_EQ(s, "355\xC2\xB0"
                 "M");
}

TEST_P(UnitsFormat, Durations)
{
    const struct
    {
        double seconds;
        const char* text;
    } rows[] = {
        {0, "0s"},
        {-0.0, "0s"},
        {59, "59s"},
        {59.4, "59s"},
        {61, "1:01"},
        {3599, "59:59"},
        {3600, "1:00:00"},
        {3661, "1:01:01"},
        {36000, "10h:00"},
        {36029, "10h:00"},
        {36031, "10h:01"},
        {86400 + 3600 + 61, "1D 1h:01"},
        // Rounding the minutes up carries into the hours and days.
        {93585, "1D 2h:00"},
        {86400 - 20, "1D 0h:00"},
        {36000 + 59 * 60 + 45, "11h:00"},
        {10 * 86400 + 23 * 3600 + 59 * 60 + 50, "11D 0h:00"},
        {-61, "Negative 1:01"},
    };
    for (const auto& r : rows) {
        std::string s;
        CUnits::FormatDuration(r.seconds, s);
        EXPECT_EQ(s, r.text) << r.seconds;
    }
    std::string s;
    CUnits::FormatDuration(std::nan(""), s);
    EXPECT_EQ(s, "---");
    CUnits::FormatDuration(1e300, s);
    ASSERT_GT(s.size(), 5u);
    EXPECT_EQ(s.substr(s.size() - 5), "0h:00");
}

INSTANTIATE_TEST_SUITE_P(Locales, UnitsFormat, ::testing::Values("C", "de_DE.UTF-8"));

class ClockTimes : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* tz = std::getenv("TZ");
        m_hadTz = tz != nullptr;
        if (tz)
            m_tz = tz;
        setenv("TZ", "UTC0", 1);
        tzset();
    }
    void TearDown() override
    {
        if (m_hadTz)
            setenv("TZ", m_tz.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    bool m_hadTz = false;
    std::string m_tz;
};

TEST_F(ClockTimes, TwentyFourAndTwelveHours)
{
    const time_t day = 1765152000; // a midnight, UTC
    const struct
    {
        time_t offset;
        const char* clock;
        const char* clock12;
    } rows[] = {
        {5 * 60, "00:05:00", "0:05am"},
        {12 * 3600 + 30 * 60, "12:30:00", "12:30pm"},
        {13 * 3600 + 30 * 60 + 7, "13:30:07", "1:30pm"},
        {11 * 3600 + 59 * 60 + 59, "11:59:59", "11:59am"},
        {23 * 3600 + 1 * 60, "23:01:00", "11:01pm"},
    };
    for (const auto& r : rows) {
        std::string s;
        CUnits::FormatClockTime(day + r.offset, s);
        EXPECT_EQ(s, r.clock);
        CUnits::FormatClockTime12(day + r.offset, s);
        EXPECT_EQ(s, r.clock12);
    }
}

} // namespace
