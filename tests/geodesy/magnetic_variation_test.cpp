#include "geodesy/MagneticVariation.h"

#include "foundation/events/Clock.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kResource = std::string(TESSA_SOURCE_RESOURCES) + "/WMM_COF";

struct TestPoint
{
    double year, heightKm, lat, lon, declination;
};

std::vector<TestPoint> ReadTestPoints(const std::string& path)
{
    std::vector<TestPoint> points;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        fields.imbue(std::locale::classic());
        TestPoint p;
        if (fields >> p.year >> p.heightKm >> p.lat >> p.lon >> p.declination)
            points.push_back(p);
    }
    return points;
}

double YearToTime(double year)
{
    return (year - 1970.0) * 31557600.0;
}

void CheckOfficialPoints(const std::string& coefficients)
{
    TESSA_REQUIRE_TESTDATA("wmm/WMM2025_TEST_VALUES.txt");
    const std::vector<TestPoint> points =
        ReadTestPoints(tessatest::TestDataFile("wmm/WMM2025_TEST_VALUES.txt"));
    ASSERT_EQ(points.size(), 100u);
    for (const TestPoint& p : points) {
        const float d =
            GetMagneticVariation(coefficients, p.lat, p.lon, p.heightKm * 1000, YearToTime(p.year));
        EXPECT_NEAR(d, p.declination, 0.01) << p.year << " " << p.lat << " " << p.lon << " " << p.heightKm;
    }
}

TEST(MagneticVariation, OfficialTestPointsWithShippedCoefficients)
{
    CheckOfficialPoints(kResource);
}

TEST(MagneticVariation, OfficialTestPointsWithPublishedFile)
{
    TESSA_REQUIRE_TESTDATA("wmm/WMM2025.COF");
    CheckOfficialPoints(tessatest::TestDataFile("wmm/WMM2025.COF"));
}

TEST(MagneticVariation, ShippedResourceIsFound)
{
    const std::string path = MagneticModelResourcePath();
    ASSERT_FALSE(path.empty());
    CMagneticModel model;
    ASSERT_TRUE(LoadMagneticModel(path, model));
    EXPECT_EQ(model.name, "WMM-2025");
}

TEST(MagneticVariation, ShippedCoefficientsMatchPublishedFile)
{
    TESSA_REQUIRE_TESTDATA("wmm/WMM2025.COF");
    CMagneticModel shipped, published;
    ASSERT_TRUE(LoadMagneticModel(kResource, shipped));
    ASSERT_TRUE(LoadMagneticModel(tessatest::TestDataFile("wmm/WMM2025.COF"), published));
    EXPECT_EQ(shipped.epoch, 2025.0);
    EXPECT_EQ(shipped.name, "WMM-2025");
    EXPECT_EQ(shipped.g, published.g);
    EXPECT_EQ(shipped.h, published.h);
    EXPECT_EQ(shipped.gRate, published.gRate);
    EXPECT_EQ(shipped.hRate, published.hRate);
}

TEST(MagneticVariation, MalformedOrMissingFilesGiveZero)
{
    for (const char* name : {"wmm/INVALID_HEADER.COF", "wmm/INVALID_ROW.COF", "wmm/INVALID_ROW_DATA.COF"}) {
        TESSA_REQUIRE_TESTDATA(name);
        EXPECT_EQ(GetMagneticVariation(tessatest::TestDataFile(name), 50, -1, 100, YearToTime(2026)), 0.0f)
            << name;
    }
    testing::internal::CaptureStdout();
    EXPECT_EQ(GetMagneticVariation("/nonexistent/WMM_COF", 50, -1, 100, YearToTime(2026)), 0.0f);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Error opening coefficient file"),
              std::string::npos);
}

TEST(MagneticVariation, ReaderRefusesBrokenTables)
{
    CMagneticModel model;
    model.epoch = 1234;
    const char* broken[] = {
        "",                                                   // no header
        "2025.0\n",                                           // no name
        "nan WMM\n",                                          // non-finite epoch
        "2025.0 WMM-2025\n  1  0  -29351.8 0.0 12.0\n",       // short row
        "2025.0 WMM-2025\n  1  0  -29351.8 0.0 12.0 0.0 7\n", // long row
        "2025.0 WMM-2025\n  1  0  inf 0.0 12.0 0.0\n",        // non-finite value
        "2025.0 WMM-2025\n  1  x  1 0.0 12.0 0.0\n",          // not an order
        "2025.0 AVeryLongModelNameIndeedMoreThanTwenty\n",    // name too long
    };
    for (const char* text : broken) {
        std::istringstream in(text);
        EXPECT_FALSE(ReadMagneticModel(in, model)) << text;
        EXPECT_EQ(model.epoch, 1234);
    }
    // A line longer than any coefficient line.
    std::istringstream longLine("2025.0 WMM " + std::string(5000, '1') + "\n");
    EXPECT_FALSE(ReadMagneticModel(longLine, model));
}

TEST(MagneticVariation, ReaderSkipsRowsOutsideTheModel)
{
    // Orders above the degree, degrees beyond 12 (high-resolution files) and
    // negative indices must not land anywhere.
    std::istringstream in("2025.0 WMM-2025 11/13/2024\n"
                          "  1  0  -29351.8  0.0  12.0  0.0\n"
                          "  1  2  111.0  222.0  1.0  2.0\n"
                          " 13  0  5.0  0.0  0.0  0.0\n"
                          "133  5  5.0  1.0  0.0  0.0\n"
                          "  0  0  5.0  1.0  0.0  0.0\n"
                          "  2 -1  5.0  1.0  0.0  0.0\n"
                          "\n"
                          "  2  2  1649.3  -815.1  -8.0  -12.1\n"
                          "9999999999\n"
                          "  3  3  1.0  1.0  1.0  1.0\n");
    CMagneticModel model;
    ASSERT_TRUE(ReadMagneticModel(in, model));
    EXPECT_EQ(model.g[CMagneticModel::Index(1, 0)], -29351.8);
    EXPECT_EQ(model.h[CMagneticModel::Index(2, 2)], -815.1);
    EXPECT_EQ(model.g[CMagneticModel::Index(3, 3)], 0.0); // after the end line
    double sum = 0;
    for (double v : model.g)
        sum += std::fabs(v);
    EXPECT_EQ(sum, 29351.8 + 1649.3);
}

TEST(MagneticVariation, DatesHeldWithinValidity)
{
    CMagneticModel model;
    ASSERT_TRUE(LoadMagneticModel(kResource, model));
    EXPECT_EQ(ClampModelYear(model, 1990), 2025.0);
    EXPECT_EQ(ClampModelYear(model, 2040), 2030.0);
    EXPECT_EQ(ClampModelYear(model, 2027.5), 2027.5);

    // A fix without a date (seconds of the day in 1970) uses the clock, not 1970.
    SetClockForTesting([] { return YearToTime(2027.0); });
    const float undated = GetMagneticVariation(kResource, 50, -1, 100, 43200);
    const float now = GetMagneticVariation(kResource, 50, -1, 100, YearToTime(2027.0));
    SetClockForTesting({});
    EXPECT_EQ(undated, now);
    // Far beyond the model's life the variation stops changing.
    EXPECT_EQ(GetMagneticVariation(kResource, 50, -1, 100, YearToTime(2030.0)),
              GetMagneticVariation(kResource, 50, -1, 100, YearToTime(2060.0)));
}

TEST(MagneticVariation, PolesAltitudeAndBadPositions)
{
    const double t = YearToTime(2026.0);
    for (double lat : {89.99, -89.99, 90.0, -90.0}) {
        const float d = GetMagneticVariation(kResource, lat, 30, 100, t);
        EXPECT_TRUE(std::isfinite(d)) << lat;
        EXPECT_LE(std::fabs(d), 180.0f);
    }
    // The exact pole and a point just off it agree along the same meridian.
    EXPECT_NEAR(GetMagneticVariation(kResource, 90.0, 30, 0, t),
                GetMagneticVariation(kResource, 90.0 - 1e-9, 30, 0, t), 0.01);
    const float sea = GetMagneticVariation(kResource, 50, -1, 0, t);
    const float up = GetMagneticVariation(kResource, 50, -1, 100, t);
    EXPECT_NE(sea, up);
    EXPECT_NEAR(sea, up, 0.01);
    EXPECT_EQ(GetMagneticVariation(kResource, NAN, 0, 0, t), 0.0f);
    EXPECT_EQ(GetMagneticVariation(kResource, 91, 0, 0, t), 0.0f);
    EXPECT_EQ(GetMagneticVariation(kResource, 0, INFINITY, 0, t), 0.0f);
}

} // namespace
