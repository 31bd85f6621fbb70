// Speed and direction, the own fix with its averaging, satellites and the
// smoothed true wind: known input sequences and the unknown markers.
#include "foundation/settings/PersistantData.h"
#include "geodesy/Sentinels.h"
#include "instruments/data/DataGPSPosition.h"
#include "instruments/data/DataGPSSatelliteSignals.h"
#include "instruments/data/DataSpeedDirection.h"
#include "instruments/data/DataTrueWind.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

class SettingsGuard
{
public:
    SettingsGuard() { m_saved = CDataSpeedDirection::Settings(); }
    ~SettingsGuard() { CDataSpeedDirection::Settings() = m_saved; }

private:
    CDataSpeedDirection::SourceSettings m_saved;
};

TEST(SpeedDirection, SourceChoice)
{
    SettingsGuard guard;
    CDataSpeedDirection d;
    EXPECT_EQ(d.GetDirection(), kUnknownAngle);
    EXPECT_EQ(d.GetSpeed(), 0);

    // Exactly 0.3 kn is not moving: the heading wins.
    d.SetCourseSpeed(90, 0.3f);
    d.SetHeading(45, 1000);
    d.SelectSource();
    EXPECT_EQ(d.m_mode, CDataSpeedDirection::kModeHeading);
    EXPECT_FLOAT_EQ(d.GetDirection(), 45);

    d.SetCourseSpeed(90, 5);
    d.SelectSource();
    EXPECT_EQ(d.m_mode, CDataSpeedDirection::kModeCourseOverGround);
    EXPECT_FLOAT_EQ(d.GetDirection(), 90);
    EXPECT_FLOAT_EQ(d.GetSpeed(), 5);
    EXPECT_NEAR(d.m_currentEast, 1, 1e-6);

    // No heading, barely moving, averaged course not allowed: nothing known.
    d.Reset();
    d.SetCourseSpeed(90, 0.05f);
    d.SetAveragedVelocity(0.2, 0);
    CDataSpeedDirection::Settings().useAveragedDirection = false;
    d.SelectSource();
    EXPECT_EQ(d.m_mode, CDataSpeedDirection::kModeNone);
    EXPECT_EQ(d.GetDirection(), kUnknownAngle);
    EXPECT_EQ(d.GetSpeed(), 0);
    EXPECT_EQ(d.m_currentEast, 0);

    CDataSpeedDirection::Settings().useAveragedDirection = true;
    d.SelectSource();
    EXPECT_EQ(d.m_mode, CDataSpeedDirection::kModeAveragedCourse);
    EXPECT_FLOAT_EQ(d.GetDirection(), 90);
    EXPECT_NEAR(d.GetSpeed(), 0.2, 1e-6);
}

TEST(SpeedDirection, MissingInputsKeepTheMarkers)
{
    CDataSpeedDirection d;
    d.SetCourseSpeed(kNaN, 4);
    EXPECT_EQ(d.m_cog, kUnknownAngle);
    EXPECT_EQ(d.m_courseEast, 0);
    EXPECT_EQ(d.m_courseNorth, 0);
    d.SetCourseSpeed(120, kNaN);
    EXPECT_EQ(d.m_sog, 0);
    d.SetCourseSpeed(120, 0.1f); // standing still: no vector
    EXPECT_EQ(d.m_sog, 0);
    EXPECT_EQ(d.m_courseEast, 0);

    d.SetHeading(30, 10);
    d.SetHeading(950, 10.5);
    EXPECT_EQ(d.GetHeading(), kUnknownAngle);
    EXPECT_EQ(d.m_headingEast, 0);
    d.SetHeading(kNaN, 11);
    EXPECT_EQ(d.GetHeading(), kUnknownAngle);
    d.SetHeading(-std::numeric_limits<float>::infinity(), 11);
    EXPECT_EQ(d.GetHeading(), kUnknownAngle);

    d.SetAveragedVelocity(std::nan(""), 1);
    EXPECT_EQ(d.m_averagedCourse, kUnknownAngle);
    EXPECT_EQ(d.m_averagedSpeed, 0);
    d.SetAveragedVelocity(0.05, 0.05);
    EXPECT_EQ(d.m_averagedCourse, kUnknownAngle);
    EXPECT_EQ(d.m_averagedEast, 0);
}

TEST(SpeedDirection, HeadingDampingSequence)
{
    SettingsGuard guard;
    CDataSpeedDirection::Settings().compassDampingTimeConst = 1.0f;
    CDataSpeedDirection d;
    d.SetHeading(359, 100);
    EXPECT_FLOAT_EQ(d.GetHeading(), 359);
    // Half a time constant later, the short way across north.
    d.SetHeading(1, 100.5);
    EXPECT_NEAR(d.GetHeading(), 0, 1e-4);
    EXPECT_FLOAT_EQ(d.m_damper.timeConstant, 1.0f);
    EXPECT_FLOAT_EQ(d.m_damper.reciprocal, 1.0f);
    // A quarter constant: a quarter of the way from 0 to 40.
    d.SetHeading(40, 100.75);
    EXPECT_NEAR(d.GetHeading(), 10, 1e-4);
    // Later than the constant: taken as it is.
    d.SetHeading(200, 102.75);
    EXPECT_FLOAT_EQ(d.GetHeading(), 200);
    // A negative heading is brought into 0..360 before damping.
    d.SetHeading(-160, 103.75);
    EXPECT_NEAR(d.GetHeading(), 200, 1e-4);

    // After a gap in the compass data there is nothing to damp from.
    d.SetHeading(999, 104);
    d.SetHeading(90, 104.5);
    EXPECT_FLOAT_EQ(d.GetHeading(), 90);
    // A reset takes the setting again on the next heading.
    d.Reset();
    CDataSpeedDirection::Settings().compassDampingTimeConst = 0;
    d.SetHeading(10, 104.6);
    EXPECT_FLOAT_EQ(d.GetHeading(), 10);
    d.SetHeading(50, 104.7);
    EXPECT_FLOAT_EQ(d.GetHeading(), 50); // no damping with a zero constant
    EXPECT_EQ(d.m_damper.reciprocal, 0);
}

TEST(SpeedDirection, DeviationFromAverage)
{
    CDataSpeedDirection d;
    d.SetCourseSpeed(0, 6);
    d.SetAveragedVelocity(0, 6);
    d.SelectSource();
    EXPECT_FALSE(d.DeviatesFromAverage());
    // 6 kn north against 6 kn east: 8.49 kn apart, spread (6 + 6 + 2) / 8 = 1.75.
    d.SetAveragedVelocity(6, 0);
    EXPECT_TRUE(d.DeviatesFromAverage());
    // Within the spread.
    d.SetAveragedVelocity(1, 5.95);
    EXPECT_FALSE(d.DeviatesFromAverage());
    // Slow: never.
    d.SetCourseSpeed(0, 0.4f);
    d.SetAveragedVelocity(0.4, 0);
    d.SelectSource();
    EXPECT_FALSE(d.DeviatesFromAverage());
}

TEST(GPSPosition, FixStatusAndPlane)
{
    const uint8_t expected[9] = {0, 1, 2, 6, 5, 5, 4, 7, 3};
    for (uint32_t q = 0; q < 9; ++q) {
        uint8_t status = 99;
        ASSERT_TRUE(CDataGPSPosition::FixStatusFromGGAQuality(q, status));
        EXPECT_EQ(status, expected[q]) << q;
    }
    uint8_t status = 42;
    EXPECT_FALSE(CDataGPSPosition::FixStatusFromGGAQuality(9, status));
    EXPECT_EQ(status, 42);

    CDataGPSPosition fix;
    EXPECT_FALSE(fix.HasPosition());
    EXPECT_EQ(fix.m_latitude, kNoPosition);
    fix.SetPosition(50, -1);
    EXPECT_TRUE(fix.HasPosition());
    EXPECT_DOUBLE_EQ(fix.m_plane.RefLatitude(), 50);
    fix.SetPosition(0, 0);
    EXPECT_FALSE(fix.HasPosition());
}

TEST(GPSPosition, AveragingSequence)
{
    CDataGPSPosition fix;
    CFixAverager avg;
    const double averagingTime = 30.1;
    // Sailing due east at 6 kn: 1852 * 6 / 3600 m a second.
    const double metresPerSecond = 1852.0 * 6 / 3600;
    int samples = 0;
    for (int t = 0; t <= 60; ++t) {
        CLocalPlane origin(50, 0);
        double lat, lon;
        origin.FromXY(metresPerSecond * t, 0, lat, lon);
        fix.SetPosition(lat, lon);
        const double when = 1000 + t;
        if (!avg.IsSampleDue(when))
            continue;
        ASSERT_TRUE(avg.TakeSample(fix, when, averagingTime));
        ++samples;
        EXPECT_NEAR(avg.NextSampleTime(), when + 3.01, 1e-9);
        for (const auto& s : avg.Samples())
            EXPECT_GT(s.time, when - averagingTime);
    }
    EXPECT_GE(samples, 15);
    EXPECT_NEAR(fix.m_averagedSpeed, 6, 0.05);
    EXPECT_NEAR(fix.m_averagedCourse, 90, 1);
    EXPECT_NEAR(fix.m_averagedEast, 1, 1e-3);

    // Samples within the window only: at most 30.1 / 3.01 + 1.
    EXPECT_LE(avg.Samples().size(), 11u);

    // A rewound source starts over instead of dividing by a negative time.
    fix.SetPosition(50, 0.01);
    ASSERT_TRUE(avg.TakeSample(fix, 500, averagingTime));
    EXPECT_EQ(avg.Samples().size(), 1u);
    EXPECT_TRUE(std::isfinite(fix.m_averagedSpeed));

    // No position: refused, nothing kept.
    CDataGPSPosition none;
    EXPECT_FALSE(avg.TakeSample(none, 600, averagingTime));
    EXPECT_EQ(avg.Samples().size(), 1u);
    avg.Reset();
    EXPECT_TRUE(avg.Samples().empty());
    EXPECT_TRUE(avg.IsSampleDue(1));
}

TEST(SatelliteSignals, IndexOutsideTheTableIsRefused)
{
    CDataGPSSatelliteSignals sats;
    EXPECT_TRUE(sats.SetSatellite(23, 12, 45, 270, 38, true));
    EXPECT_FALSE(sats.SetSatellite(24, 5, 1, 1, 1, false));
    EXPECT_FALSE(sats.SetSatellite(-1, 5, 1, 1, 1, false));
    EXPECT_EQ(sats.CountEntries(), 1);
    EXPECT_EQ(sats.m_satellites[23].azimuth, 270); // wider than 8 bits
}

TEST(TrueWind, FilterSequence)
{
    CDataTrueWind wind;
    CDataTrueWind::Filter& f = wind.m_current;
    ASSERT_TRUE(CDataTrueWind::SetWind(f, 90, 10, 1000));
    EXPECT_NEAR(f.east, 10, 1e-9);
    EXPECT_NEAR(f.north, 0, 1e-9);
    EXPECT_NEAR(f.direction, 90, 1e-4);
    EXPECT_NEAR(f.speed, 10, 1e-5);
    // Two seconds later with a constant of 10: one fifth of the way to the new wind.
    ASSERT_TRUE(CDataTrueWind::SetWind(f, 0, 10, 1002));
    EXPECT_NEAR(f.east, 8, 1e-9);
    EXPECT_NEAR(f.north, 2, 1e-9);
    EXPECT_NEAR(f.direction, std::atan2(8, 2) * 180 / M_PI, 1e-3);
    // Fifteen seconds later: replaced.
    ASSERT_TRUE(CDataTrueWind::SetWind(f, 270, 5, 1017));
    EXPECT_NEAR(f.east, -5, 1e-9);
    EXPECT_NEAR(f.direction, 270, 1e-3);
    EXPECT_NEAR(f.unitEast, -1, 1e-6);
    // Calm: no direction.
    ASSERT_TRUE(CDataTrueWind::SetWind(f, 10, 0.05f, 1030));
    EXPECT_EQ(f.direction, 0);
    EXPECT_EQ(f.unitEast, 0);

    // Damaged readings never poison the filter.
    const CDataTrueWind::Filter before = f;
    EXPECT_FALSE(CDataTrueWind::SetWind(f, kNaN, 5, 1031));
    EXPECT_FALSE(CDataTrueWind::SetWind(f, 10, kNaN, 1031));
    EXPECT_FALSE(CDataTrueWind::SetWind(f, 10, -3, 1031));
    EXPECT_FALSE(CDataTrueWind::SetWind(f, 10, 3, std::nan("")));
    EXPECT_EQ(f.east, before.east);
    EXPECT_EQ(f.lastTime, before.lastTime);
}

TEST(TrueWind, RangeBuckets)
{
    CDataTrueWind wind;
    EXPECT_EQ(CDataTrueWind::GetGust(wind.m_currentRange), -1e30f);
    EXPECT_EQ(CDataTrueWind::GetMinimum(wind.m_currentRange), 1e30f);
    EXPECT_DOUBLE_EQ(wind.m_currentRange.bucketLength, 60);
    EXPECT_DOUBLE_EQ(wind.m_averageRange.bucketLength, 180);

    CDataTrueWind::RangeTracker& r = wind.m_currentRange;
    CDataTrueWind::RecordRange(r, 12, 1000); // starts bucket 1
    CDataTrueWind::RecordRange(r, 20, 1030);
    CDataTrueWind::RecordRange(r, 8, 1050);
    float lo, hi;
    CDataTrueWind::GetSpeedRange(r, lo, hi);
    EXPECT_EQ(lo, 8);
    EXPECT_EQ(hi, 20);
    // The gust survives nine more buckets and falls out with the tenth.
    double t = 1050;
    for (int i = 0; i < 9; ++i) {
        t += 61;
        CDataTrueWind::RecordRange(r, 10, t);
    }
    EXPECT_EQ(CDataTrueWind::GetGust(r), 20);
    t += 61;
    CDataTrueWind::RecordRange(r, 10, t);
    EXPECT_EQ(CDataTrueWind::GetGust(r), 10);
    EXPECT_EQ(CDataTrueWind::GetMinimum(r), 10);

    // A clock that goes back starts the range over.
    CDataTrueWind::RecordRange(r, 3, 10);
    EXPECT_EQ(CDataTrueWind::GetGust(r), 3);
    EXPECT_EQ(CDataTrueWind::GetMinimum(r), 3);
    EXPECT_FALSE(CDataTrueWind::RecordRange(r, kNaN, 20));

    CDataTrueWind::SetRangeSpan(r, 1200);
    EXPECT_DOUBLE_EQ(r.bucketLength, 120);
    EXPECT_EQ(CDataTrueWind::GetGust(r), 3);
    CDataTrueWind::ResetRange(r, 300);
    EXPECT_DOUBLE_EQ(r.bucketLength, 30);
    EXPECT_EQ(CDataTrueWind::GetGust(r), -1e30f);

    // One reading feeds both filters and both trackers.
    ASSERT_TRUE(wind.AddReading(180, 14, 5000));
    EXPECT_NEAR(wind.m_average.speed, 14, 1e-4);
    EXPECT_NEAR(CDataTrueWind::GetGust(wind.m_averageRange), 14, 1e-4);
}

TEST(TrueWind, TimeConstantsFromSettings)
{
    const std::filesystem::path dir = tessatest::MakeScratchDir("data_wind_settings");
    const std::string ini = (dir / "settings.ini").string();
    {
        std::ofstream out(ini);
        out << "CDataTrueWind:time_constant=0.0\nCDataTrueWind:avg_wind_time_constant=120.0\n";
    }
    PersistantData::SetIniPaths(ini, (dir / "none.ini").string());
    CDataTrueWind& wind = CDataTrueWind::Global();
    ASSERT_TRUE(PersistantData::LoadAll("unused"));
    EXPECT_EQ(wind.m_current.timeConstant, 0);
    EXPECT_DOUBLE_EQ(wind.m_current.reciprocal, 10.0);
    EXPECT_NEAR(wind.m_average.reciprocal, 1.0 / 120, 1e-12);
    PersistantData::SetIniPaths("", "");
}

} // namespace
