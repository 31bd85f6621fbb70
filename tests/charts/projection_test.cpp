#include "charts/PolynomialProjection.h"
#include "chartwriter/ChartWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

struct Set
{
    const char* name;
    double forward[20];
    double inverse[20];
    int width, height;
};

Set Linear()
{
    Set s{"plate carree", {}, {}, 4096, 2048};
    chartwriter::PlateCarreeCoefficients(-10, 60, 10, 50, s.width, s.height, s.forward, s.inverse);
    return s;
}

Set Cubic()
{
    Set s{"mercator cubic", {}, {}, 4096, 4096};
    chartwriter::MercatorCoefficients(4.0, 55.0, 6.5, 53.5, s.width, s.height, s.forward, s.inverse);
    return s;
}

} // namespace

TEST(PolynomialProjection, PixelAndPositionInvertEachOther)
{
    for (const Set& s : {Linear(), Cubic()}) {
        // The cubic set really has higher-order terms.
        if (std::string(s.name) == "mercator cubic") {
            EXPECT_GT(std::fabs(s.forward[13]) + std::fabs(s.forward[16]), 0.0);
        }
        CPolynomialProjection p;
        EXPECT_FALSE(p.IsValid());
        p.Init(s.forward, s.inverse, s.width, s.height, 0.0005, -0.0007);
        EXPECT_TRUE(p.IsValid());
        double worst = 0;
        for (int i = 0; i <= 16; ++i)
            for (int j = 0; j <= 16; ++j) {
                const double x = s.width * i / 16.0, y = s.height * j / 16.0;
                double lat, lon, bx, by;
                p.PixelToLatLon(x, y, lat, lon);
                p.LatLonToPixel(lat, lon, bx, by);
                worst = std::max(worst, std::hypot(bx - x, by - y));
            }
        EXPECT_LT(worst, 0.01) << s.name;

        // The raw-block functions agree with the object (they carry no shift).
        double block[40];
        std::memcpy(block, s.forward, sizeof s.forward);
        std::memcpy(block + 20, s.inverse, sizeof s.inverse);
        double lat1, lon1, lat2, lon2, x1, y1, x2, y2;
        p.PixelToLatLon(1000, 700, lat1, lon1);
        PolynomialPixelToLatLon(block, 1000, 700, lat2, lon2);
        EXPECT_NEAR(lat1 - 0.0005, lat2, 1e-12);
        EXPECT_NEAR(lon1 + 0.0007, lon2, 1e-12);
        p.LatLonToPixel(lat1, lon1, x1, y1);
        PolynomialLatLonToPixel(block, lat2, lon2, p.CentreLon(), x2, y2);
        EXPECT_NEAR(x1, x2, 1e-9);
        EXPECT_NEAR(y1, y2, 1e-9);
        EXPECT_DOUBLE_EQ(PolynomialScaleAt(block, 300, 200), p.ScaleAt(300, 200));
    }
}

TEST(PolynomialProjection, ScaleNorthAndPlacementOnThePlateCarree)
{
    const Set s = Linear();
    CPolynomialProjection p;
    p.Init(s.forward, s.inverse, s.width, s.height, 0, 0);
    EXPECT_NEAR(p.CentreLon(), 0.0, 1e-12);
    // 10 degrees of latitude over 2048 pixels, 60 nautical miles a degree.
    EXPECT_NEAR(p.ScaleAt(100, 100), 600.0 / 2048, 1e-12);
    float c, sn;
    p.NorthAt(100, 100, c, sn);
    EXPECT_FLOAT_EQ(c, 1.0f);
    EXPECT_FLOAT_EQ(sn, 0.0f);

    int x, y;
    EXPECT_TRUE(p.LatLonToPixelInside(55, 0, x, y));
    EXPECT_EQ(x, 2048);
    EXPECT_EQ(y, 1024);
    EXPECT_FALSE(p.LatLonToPixelInside(61, 0, x, y));
    EXPECT_FALSE(p.LatLonToPixelInside(NAN, 0, x, y));
    double fx, fy;
    EXPECT_TRUE(p.LatLonToPoint(55, 5, fx, fy));
    EXPECT_DOUBLE_EQ(fx, 3072);
    EXPECT_FALSE(p.LatLonToPoint(55, 1e15, fx, fy));
    EXPECT_EQ(fx, -1);
    EXPECT_EQ(fy, -1);
    EXPECT_FALSE(p.LatLonToPoint(NAN, 0, fx, fy));

    // A longitude 200 degrees from the centre is moved by 360 once.
    p.LatLonToPixel(55, 200, fx, fy);
    EXPECT_NEAR(fx, 2048 + (200 - 360) * 204.8, 1e-6);
    p.LatLonToPixel(55, -200, fx, fy);
    EXPECT_NEAR(fx, 2048 + 160 * 204.8, 1e-6);
}

TEST(PolynomialProjection, ScaleAndNorthOnTheCubicSetFollowMercator)
{
    const Set s = Cubic();
    CPolynomialProjection p;
    p.Init(s.forward, s.inverse, s.width, s.height, 0, 0);
    const double yn = std::log(std::tan(M_PI / 4 + 55.0 * M_PI / 360)),
                 ys = std::log(std::tan(M_PI / 4 + 53.5 * M_PI / 360));
    for (double y : {400.0, 2048.0, 3700.0}) {
        double lat, lon;
        p.PixelToLatLon(2048, y, lat, lon);
        // Mercator: pixels per degree of latitude grow with sec(latitude).
        const double pixelsPerDegree = s.height / (yn - ys) / std::cos(lat * M_PI / 180) * M_PI / 180;
        EXPECT_NEAR(p.ScaleAt(2048, y), 60 / pixelsPerDegree, 60 / pixelsPerDegree * 1e-4) << y;
        float c, sn;
        p.NorthAt(2048, y, c, sn);
        EXPECT_NEAR(c, 1.0f, 1e-6);
        EXPECT_NEAR(sn, 0.0f, 1e-4);
    }
}

TEST(PolynomialProjection, ChartWithoutGradientKeepsNorthUp)
{
    double forward[20] = {}, inverse[20] = {};
    inverse[0] = 50; // constant latitude: no north direction anywhere
    CPolynomialProjection p;
    p.Init(forward, inverse, 64, 64, 0, 0);
    float c = 0, s = 1;
    p.NorthAt(10, 10, c, s);
    EXPECT_EQ(c, 1.0f);
    EXPECT_EQ(s, 0.0f);
    EXPECT_EQ(p.ScaleAt(10, 10), 0.0);
}

TEST(PolynomialProjection, NorthFollowsARotatedChart)
{
    // Latitude grows to the right: north points along +x, a quarter turn.
    double forward[20] = {}, inverse[20] = {};
    inverse[0] = 50;
    inverse[1] = 0.001;
    inverse[10] = 5;
    inverse[12] = 0.001;
    CPolynomialProjection p;
    p.Init(forward, inverse, 64, 64, 0, 0);
    float c, s;
    p.NorthAt(0, 0, c, s);
    EXPECT_NEAR(c, 0.0f, 1e-7);
    EXPECT_NEAR(s, 1.0f, 1e-7);
}
