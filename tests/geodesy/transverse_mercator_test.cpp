#include "geodesy/TransverseMercator.h"

#include <GeographicLib/TransverseMercator.hpp>
#include <gtest/gtest.h>

#include <cmath>

namespace {

double Dms(double d, double m, double s)
{
    return d + m / 60 + s / 3600;
}

TEST(TransverseMercator, NationalGridOriginAndArc)
{
    const CTransverseMercatorParams grid = geodesy::NationalGridParams();
    EXPECT_EQ(grid.MeridianArc(grid.phi0), 0.0);
    double e, n;
    grid.Forward(49, -2, e, n);
    EXPECT_NEAR(e, 400000, 1e-9);
    EXPECT_NEAR(n, -100000, 1e-9);
    double lat, lon;
    ASSERT_TRUE(grid.Inverse(400000, -100000, lat, lon));
    EXPECT_NEAR(lat, 49, 1e-12);
    EXPECT_NEAR(lon, -2, 1e-12);
}

TEST(TransverseMercator, OrdnanceSurveyWorkedExamples)
{
    const CTransverseMercatorParams grid = geodesy::NationalGridParams();
    const double lat0 = Dms(52, 39, 27.2531), lon0 = Dms(1, 43, 4.5177);
    EXPECT_NEAR(grid.MeridianArc(lat0 * M_PI / 180), 4.0668829596e5, 1e-3);
    double e, n;
    grid.Forward(lat0, lon0, e, n);
    EXPECT_NEAR(e, 651409.903, 0.001);
    EXPECT_NEAR(n, 313177.270, 0.001);
    double lat, lon;
    ASSERT_TRUE(grid.Inverse(651409.903, 313177.270, lat, lon));
    EXPECT_NEAR(lat, lat0, 1e-4 / 3600);
    EXPECT_NEAR(lon, lon0, 1e-4 / 3600);

    grid.Forward(50.5, 0.5, e, n);
    EXPECT_NEAR(e, 577274.99, 0.01);
    EXPECT_NEAR(n, 69740.50, 0.01);
}

TEST(TransverseMercator, NZTMPublishedPoints)
{
    struct P
    {
        double e, n, lat, lon;
    } points[] = {{1576041.150, 6188574.240, -34.444065991, 172.739193967},
                  {1576542.010, 5515331.050, -40.512408980, 172.723105968},
                  {1307103.220, 4826464.860, -46.651295012, 169.172062008}};
    const CTransverseMercatorParams nztm = geodesy::NZTMParams();
    for (const P& p : points) {
        double e, n;
        nztm.Forward(p.lat, p.lon, e, n);
        EXPECT_NEAR(e, p.e, 0.002) << p.lat;
        EXPECT_NEAR(n, p.n, 0.002) << p.lat;
        double lat, lon;
        ASSERT_TRUE(nztm.Inverse(p.e, p.n, lat, lon));
        EXPECT_NEAR(lat, p.lat, 2e-8);
        EXPECT_NEAR(lon, p.lon, 2e-8);
    }
}

// Compared with an exact-to-nanometres implementation on the same ellipsoid.
TEST(TransverseMercator, AgreesWithReferenceWithinThreeDegrees)
{
    const CTransverseMercatorParams utm = geodesy::UTMParams(31); // central meridian 3 E
    const double a = utm.ellipsoid.a, f = (utm.ellipsoid.a - utm.ellipsoid.b) / utm.ellipsoid.a;
    const GeographicLib::TransverseMercator reference(a, f, utm.F0);
    double worstForward = 0, worstRoundTrip = 0;
    for (double lat = -80; lat <= 84; lat += 2) {
        for (double dlon = -3; dlon <= 3; dlon += 0.25) {
            const double lon = 3 + dlon;
            double e, n;
            utm.Forward(lat, lon, e, n);
            double x, y;
            reference.Forward(3, lat, lon, x, y);
            worstForward = std::max(worstForward, std::hypot(e - (x + 500000), n - y));

            double lat2, lon2;
            ASSERT_TRUE(utm.Inverse(e, n, lat2, lon2));
            double e2, n2;
            utm.Forward(lat2, lon2, e2, n2);
            double xr, yr;
            reference.Forward(3, lat2, lon2, xr, yr);
            // Distance between the original and the round-tripped point, on the ground.
            worstRoundTrip = std::max(worstRoundTrip, std::hypot(xr - x, yr - y));
        }
    }
    EXPECT_LT(worstForward, 0.001);
    EXPECT_LT(worstRoundTrip, 0.001);
}

TEST(TransverseMercator, InverseRefusesAbsurdInput)
{
    const CTransverseMercatorParams utm = geodesy::UTMParams(30);
    double lat = 7, lon = 8;
    EXPECT_FALSE(utm.Inverse(500000, 1e12, lat, lon)); // used to spin forever
    EXPECT_FALSE(utm.Inverse(NAN, 0, lat, lon));
    EXPECT_FALSE(utm.Inverse(500000, INFINITY, lat, lon));
    EXPECT_EQ(lat, 7);
    EXPECT_EQ(lon, 8);
}

TEST(TransverseMercator, DatumShiftRoundTripsThroughNationalGrid)
{
    double e, n;
    geodesy::WGS84ToNationalGrid(51.5, -0.12, e, n);
    // Westminster lies in the TQ square.
    EXPECT_GT(e, 500000);
    EXPECT_LT(e, 600000);
    EXPECT_GT(n, 100000);
    EXPECT_LT(n, 200000);
    double lat, lon;
    ASSERT_TRUE(geodesy::NationalGridToWGS84(e, n, lat, lon));
    // One-step conversions with a shared latitude agree to a few centimetres.
    EXPECT_NEAR(lat, 51.5, 1e-6);
    EXPECT_NEAR(lon, -0.12, 1e-6);
}

TEST(TransverseMercator, NormalizeLongitude)
{
    EXPECT_EQ(geodesy::NormalizeLongitude(180), -180);
    EXPECT_EQ(geodesy::NormalizeLongitude(-180), -180);
    EXPECT_EQ(geodesy::NormalizeLongitude(200), -160);
    EXPECT_EQ(geodesy::NormalizeLongitude(-360), 0);
    EXPECT_NEAR(geodesy::NormalizeLongitude(359.5), -0.5, 1e-12);
    EXPECT_LT(geodesy::NormalizeLongitude(std::nextafter(180.0, 0.0)), 180);
}

} // namespace
