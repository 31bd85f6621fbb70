// The unit choices: unit systems, the saved settings with damaged values, and
// the magnetic variation.
#include "foundation/events/Listener.h"
#include "foundation/settings/IniFile.h"
#include "foundation/settings/PersistantData.h"
#include "geodesy/MagneticVariation.h"
#include "geodesy/Units.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

const std::string kModel = std::string(TESSA_SOURCE_RESOURCES) + "/WMM_COF";

class CUnitsRecorder : public Listener<CUnits>
{
public:
    void Notify(const CUnits& units) override { events.push_back(&units); }
    std::vector<const CUnits*> events;
};

// Keeps the application's units and the settings files as they were.
class DefaultUnitsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_saved = CDefaultUnits::Get();
        m_dir = tessatest::MakeScratchDir("units_settings");
        m_ini = m_dir + "/settings.ini";
        PersistantData::SetIniPaths(m_ini, m_dir + "/secondary.ini");
        SetMagneticModelPathForTesting(kModel);
    }
    void TearDown() override
    {
        static_cast<CUnits&>(CDefaultUnits::Get()) = m_saved;
        CDefaultUnits::Settings().SetModified(false);
        PersistantData::SetIniPaths("", "");
        SetMagneticModelPathForTesting("");
    }
    void WriteIni(const std::string& text)
    {
        std::ofstream out(m_ini, std::ios::trunc);
        out << text;
    }
    CIniMap ReadIni()
    {
        CIniMap map;
        ReadIniFile(m_ini, map);
        return map;
    }

    CUnits m_saved;
    std::string m_dir;
    std::string m_ini;
};

TEST(Units, UnitSystemsStayWithinTheTables)
{
    CUnits u;
    EXPECT_EQ(u.PositionFormat().Name(), "Deg,Min");
    ASSERT_TRUE(u.SetUnitSystem(CUnits::kMetric));
    // Nautical leaves depth and temperature alone.
    ASSERT_TRUE(u.SetUnitSystem(CUnits::kNautical));
    EXPECT_EQ(u.m_smallDistanceUnit, CUnits::kYards);
    EXPECT_EQ(u.m_depthUnit, CUnits::kDepthMetres);
    EXPECT_EQ(u.m_temperature, CUnits::kCelsius);
    // A plain distance unit: only that.
    ASSERT_TRUE(u.SetUnitSystem(CUnits::kFeet));
    EXPECT_EQ(u.m_distanceUnit, CUnits::kFeet);
    EXPECT_EQ(u.m_speedUnit, CUnits::kKnots);
    // Beyond every table: nothing changes.
    EXPECT_FALSE(u.SetUnitSystem(6));
    EXPECT_FALSE(u.SetUnitSystem(0xFFFFFFFF));
    EXPECT_EQ(u.m_distanceUnit, CUnits::kFeet);
    // Even with damaged fields the formatters stay within their tables.
    u.m_distanceUnit = 1000;
    u.m_speedUnit = 1000;
    std::string s;
    u.FormatDistance(1609.344f, s);
    EXPECT_EQ(s, "1.00 Mi");
    u.FormatSpeed(1, s);
    EXPECT_EQ(s, "1.15mph");
    u.ClampIndices();
    EXPECT_EQ(u.m_distanceUnit, 0u);
}

TEST_F(DefaultUnitsTest, LoadsAndSavesItsKeys)
{
    WriteIni("CDefaultUnits:units=0x2\nCDefaultUnits:speed=0x1\nCDefaultUnits:depth=0x2\n"
             "CDefaultUnits:posnfmt=Deg%2CMin%2CSec\nCDefaultUnits:bearings=0x1\n"
             "CDefaultUnits:temperature=0x0\n");
    ASSERT_TRUE(PersistantData::LoadAll("Tessaroute"));
    CDefaultUnits& u = CDefaultUnits::Get();
    EXPECT_EQ(u.m_distanceUnit, CUnits::kKilometres);
    EXPECT_EQ(u.m_smallDistanceUnit, CUnits::kMetres); // follows the distance unit
    EXPECT_EQ(u.m_speedUnit, CUnits::kKnots);
    EXPECT_EQ(u.m_depthUnit, CUnits::kFathoms);
    EXPECT_EQ(u.m_bearings, CUnits::kBearingsMagnetic);
    EXPECT_EQ(u.m_temperature, CUnits::kCelsius);
    EXPECT_EQ(u.PositionFormat().Name(), "Deg,Min,Sec");

    u.SetPositionFormat(*CUnits::PositionFormatType::Find("Degrees"));
    u.m_speedUnit = CUnits::kMetresPerSecond;
    CDefaultUnits::Settings().SetModified();
    ASSERT_TRUE(PersistantData::SaveAll()) << PersistantData::LastError();
    const CIniMap saved = ReadIni();
    EXPECT_EQ(saved.at("CDefaultUnits:posnfmt"), "Degrees");
    EXPECT_EQ(saved.at("CDefaultUnits:speed"), "0x3");
    EXPECT_EQ(saved.at("CDefaultUnits:units"), "0x2");
}

TEST_F(DefaultUnitsTest, DamagedValuesGiveTheDefaults)
{
    CDefaultUnits& u = CDefaultUnits::Get();
    u.SetUnitSystem(CUnits::kNautical);
    WriteIni("CDefaultUnits:units=0x9\nCDefaultUnits:speed=0xffffffff\nCDefaultUnits:depth=0x3\n"
             "CDefaultUnits:posnfmt=No+such+format\nCDefaultUnits:bearings=0x7\n"
             "CDefaultUnits:temperature=0x2\n");
    ASSERT_TRUE(PersistantData::LoadAll("Tessaroute"));
    EXPECT_EQ(u.m_distanceUnit, CUnits::kMiles);
    EXPECT_EQ(u.m_smallDistanceUnit, CUnits::kFeet);
    EXPECT_EQ(u.m_speedUnit, CUnits::kMph);
    EXPECT_EQ(u.m_depthUnit, CUnits::kDepthFeet);
    EXPECT_EQ(u.m_bearings, CUnits::kBearingsTrue);
    EXPECT_EQ(u.m_temperature, CUnits::kFahrenheit);
    EXPECT_EQ(u.PositionFormat().Name(), "Deg,Min");

    // A main distance unit of metres keeps the short unit it had.
    u.m_smallDistanceUnit = CUnits::kYards;
    WriteIni("CDefaultUnits:units=0x3\nCDefaultUnits:posnfmt=\n");
    ASSERT_TRUE(PersistantData::LoadAll("Tessaroute"));
    EXPECT_EQ(u.m_distanceUnit, CUnits::kMetres);
    EXPECT_EQ(u.m_smallDistanceUnit, CUnits::kYards);
    EXPECT_EQ(u.PositionFormat().Name(), "Deg,Min");
}

TEST_F(DefaultUnitsTest, MagneticBearingAtAKnownPlaceAndDate)
{
    CUnits u;
    CUnitsRecorder recorder;
    const double lat = 50.8, lon = -1.3;
    const double when = 1782864000; // 2026-07-01 UTC
    u.UpdateMagneticVariation(lat, lon, when);
    ASSERT_EQ(recorder.events.size(), 1u);
    const float expected = GetMagneticVariation(kModel, lat, lon, 100, when);
    EXPECT_FLOAT_EQ(u.m_variation, expected);
    EXPECT_NEAR(expected, 0.5, 2.0); // a little east of true north here, these years
    EXPECT_EQ(u.m_variationLatitude, lat);
    EXPECT_EQ(u.m_variationTime, when);

    u.m_bearings = CUnits::kBearingsMagnetic;
    std::string s;
    u.FormatBearingValue(90, s);
    char want[8];
    std::snprintf(want, sizeof want, "%03d", static_cast<int>(90 - expected + 0.4999));
    EXPECT_EQ(s, want);

    // Less than a degree away: nothing recomputed.
    u.UpdateMagneticVariation(lat + 0.6, lon + 0.6, when + 86400 * 300);
    EXPECT_EQ(recorder.events.size(), 1u);
    // Not a position: ignored, the stored place stays.
    for (auto [la, lo] : {std::pair{999.0, 999.0}, std::pair{std::nan(""), 3.0}, std::pair{0.0, 0.0},
                          std::pair{-91.0, 10.0}, std::pair{10.0, static_cast<double>(INFINITY)}}) {
        u.UpdateMagneticVariation(la, lo, when);
        EXPECT_EQ(recorder.events.size(), 1u) << la << " " << lo;
        EXPECT_EQ(u.m_variationLatitude, lat);
    }
    // Far enough: recomputed.
    u.UpdateMagneticVariation(-41, 174.8, when);
    ASSERT_EQ(recorder.events.size(), 2u);
    EXPECT_FLOAT_EQ(u.m_variation, GetMagneticVariation(kModel, -41, 174.8, 100, when));
    EXPECT_GT(u.m_variation, 15); // strongly east near Wellington

    // A reset recomputes where it was.
    u.ResetMagneticVariation();
    ASSERT_EQ(recorder.events.size(), 3u);
    EXPECT_EQ(u.m_variationLatitude, -41);
    EXPECT_EQ(u.m_variationTime, when);
    // With nothing computed yet a reset does nothing.
    CUnits fresh;
    fresh.ResetMagneticVariation();
    EXPECT_EQ(recorder.events.size(), 3u);
}

} // namespace
