#include "geodesy/LocalPlane.h"

#include <GeographicLib/Geodesic.hpp>
#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(LocalPlane, DegreeTablesAreTheWGS84Lengths)
{
    struct Row
    {
        int deg;
        double lat, lon;
    } rows[] = {{0, 59.70533251357, 60.10771641029},  {1, 59.70551635746, 60.09862298505},
                {10, 59.72353372636, 59.20052055445}, {30, 59.85629086574, 52.09842346124},
                {45, 60.00737452742, 42.57388503989}, {60, 60.1585850958, 30.12959048201},
                {89, 60.30973970626, 1.052552228475}, {90, 60.30973970626, 0.0}};
    for (const Row& r : rows) {
        EXPECT_NEAR(geodesy::NMPerDegreeLatitude(r.deg), r.lat, 2e-6) << r.deg;
        EXPECT_NEAR(geodesy::NMPerDegreeLongitude(r.deg), r.lon, 1e-9) << r.deg;
    }
    for (int d = 1; d < 90; ++d) {
        EXPECT_GT(geodesy::NMPerDegreeLatitude(d), geodesy::NMPerDegreeLatitude(d - 1));
        EXPECT_LT(geodesy::NMPerDegreeLongitude(d), geodesy::NMPerDegreeLongitude(d - 1));
    }
}

TEST(LocalPlane, ScalesAndInterpolation)
{
    CLocalPlane equator(0, 10);
    EXPECT_NEAR(equator.MetresPerDegreeLatitude(), 110574.27, 0.01);
    EXPECT_NEAR(equator.MetresPerDegreeLongitude(), 111319.49, 0.01);

    CLocalPlane mid(60.5, 0), south(-60.5, 0);
    const double expectLat = (geodesy::NMPerDegreeLatitude(60) + geodesy::NMPerDegreeLatitude(61)) / 2 * 1852;
    const double expectLon =
        (geodesy::NMPerDegreeLongitude(60) + geodesy::NMPerDegreeLongitude(61)) / 2 * 1852;
    EXPECT_NEAR(mid.MetresPerDegreeLatitude(), expectLat, 1e-6);
    EXPECT_NEAR(mid.MetresPerDegreeLongitude(), expectLon, 1e-6);
    EXPECT_EQ(south.MetresPerDegreeLatitude(), mid.MetresPerDegreeLatitude());
}

TEST(LocalPlane, PolesAndFreshPlanesAreUnusable)
{
    CLocalPlane fresh;
    EXPECT_EQ(fresh.MetresPerDegreeLongitude(), 0); // never garbage
    for (double lat : {90.0, -90.0, 95.0, static_cast<double>(NAN)}) {
        CLocalPlane plane(lat, 0);
        EXPECT_FALSE(plane.IsUsable());
        EXPECT_EQ(plane.MetresPerDegreeLongitude(), 0);
        double la, lo;
        plane.FromXY(100, 100, la, lo);
        EXPECT_EQ(la, 999);
        EXPECT_EQ(lo, 999);
    }
    // A usable plane made unusable keeps no stale longitude scale.
    CLocalPlane plane(50, 0);
    plane.SetOrigin(90, 0);
    EXPECT_EQ(plane.MetresPerDegreeLongitude(), 0);
}

TEST(LocalPlane, RangeBearingAndRoundTrip)
{
    CLocalPlane plane(50, -1);
    double range, bearing;
    plane.RangeBearingTo(50, -1.01, range, bearing);
    EXPECT_NEAR(bearing, 270, 1e-9);
    plane.RangeBearingTo(50.01, -1, range, bearing);
    EXPECT_NEAR(bearing, 0, 1e-9);
    EXPECT_NEAR(range, 0.01 * plane.MetresPerDegreeLatitude(), 1e-9);

    double x, y, lat, lon;
    plane.ToXY(50.02, -0.97, x, y);
    plane.FromXY(x, y, lat, lon);
    EXPECT_NEAR(lat, 50.02, 1e-12);
    EXPECT_NEAR(lon, -0.97, 1e-12);
    EXPECT_NEAR(plane.DistanceSquaredTo(50.02, -0.97), x * x + y * y, 1e-6);
    EXPECT_NEAR(plane.DistanceTo(50.02, -0.97), std::hypot(x, y), 1e-9);

    // Against the ellipsoidal distance over a few kilometres.
    const GeographicLib::Geodesic& geod = GeographicLib::Geodesic::WGS84();
    double s12;
    geod.Inverse(50, -1, 50.03, -0.95, s12);
    EXPECT_NEAR(plane.DistanceTo(50.03, -0.95), s12, s12 * 1e-3);
}

TEST(LocalPlane, DateLineDoesNotTearThePlane)
{
    // Two points 1 km apart on either side of 180 degrees.
    CLocalPlane plane(-17, 179.995);
    const double oneKmLon = 1000 / plane.MetresPerDegreeLongitude();
    const double otherLon = 179.995 + oneKmLon - 360;
    EXPECT_NEAR(plane.DistanceTo(-17, otherLon), 1000, 1e-6);
    double range, bearing;
    plane.RangeBearingTo(-17, otherLon, range, bearing);
    EXPECT_NEAR(bearing, 90, 1e-9);
    EXPECT_NEAR(plane.Distance(-17, 179.999, -17, -179.999), 0.002 * plane.MetresPerDegreeLongitude(), 1e-6);

    double x, y, lat, lon;
    plane.ToXY(-17, otherLon, x, y);
    plane.FromXY(x, y, lat, lon);
    EXPECT_NEAR(lon, otherLon, 1e-9);
    EXPECT_GE(lon, -180);
    EXPECT_LT(lon, 180);
}

TEST(LocalPlane, ValidPositions)
{
    EXPECT_FALSE(IsValidPosition(0, 0));
    EXPECT_TRUE(IsValidPosition(0, 0.0001));
    EXPECT_FALSE(IsValidPosition(91, 0));
    EXPECT_FALSE(IsValidPosition(999, 999));
    EXPECT_FALSE(IsValidPosition(NAN, 1));
    EXPECT_FALSE(IsValidPosition(1, INFINITY));
    EXPECT_TRUE(IsValidPosition(-90, 180));
}

TEST(CourseVectors, CourseToVector)
{
    float e, n;
    CourseToVector(999, e, n);
    EXPECT_EQ(e, 0);
    EXPECT_EQ(n, 0);
    CourseToVector(450, e, n);
    EXPECT_FLOAT_EQ(e, 1);
    EXPECT_NEAR(n, 0, 1e-7);
    CourseToVector(-90, e, n);
    EXPECT_FLOAT_EQ(e, -1);
    EXPECT_NEAR(n, 0, 1e-7);
    CourseToVector(135, e, n);
    EXPECT_NEAR(e, 0.70710677f, 1e-6);
    EXPECT_NEAR(n, -0.70710677f, 1e-6);
    CourseToVector(360, e, n);
    EXPECT_FLOAT_EQ(n, 1);

    // Garbage from an instrument field must neither hang nor index out of the table.
    for (float bad : {-1e30f, 1e30f, static_cast<float>(NAN), static_cast<float>(INFINITY), -901.0f}) {
        CourseToVector(bad, e, n);
        EXPECT_EQ(e, 0);
        EXPECT_EQ(n, 0);
    }
}

TEST(CourseVectors, VectorToCourse)
{
    EXPECT_EQ(VectorToCourse(1, 0), 0);
    EXPECT_EQ(VectorToCourse(0, -1), 270);
    EXPECT_EQ(VectorToCourse(-0.7071f, 0.7071f), 135);
    EXPECT_EQ(VectorToCourse(0, 0), 999);
    // Lengths other than 1 (metres, knots) give the same angle as the unit vector.
    for (int course = 0; course < 360; course += 7) {
        float e, n;
        CourseToVector(static_cast<float>(course), e, n);
        const float unit = VectorToCourse(n, e);
        EXPECT_NEAR(unit, static_cast<float>(course), 1.0f) << course;
        EXPECT_EQ(VectorToCourse(n * 250, e * 250), unit) << course;
        EXPECT_EQ(VectorToCourse(n * 0.01f, e * 0.01f), unit) << course;
    }
}

} // namespace
