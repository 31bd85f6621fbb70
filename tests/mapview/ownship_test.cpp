#include "charts/PolynomialProjection.h"
#include "chartwriter/ChartWriter.h"
#include "foundation/events/Clock.h"
#include "foundation/events/Heartbeat.h"
#include "foundation/platform/PlatformServices.h"
#include "geodesy/MagneticVariation.h"
#include "geodesy/Units.h"
#include "mapview/ownship/OverlayGPSPosition.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <cmath>

namespace {

// A plate carree chart of 200 x 200 pixels around 50 N 0 E, `half` degrees
// each way from there.
CPolynomialProjection TestChart(double half = 1.0)
{
    double fwd[20], inv[20];
    chartwriter::PlateCarreeCoefficients(-half, 50.0 + half, half, 50.0 - half, 200, 200, fwd, inv);
    CPolynomialProjection p;
    p.Init(fwd, inv, 200, 200, 0, 0);
    return p;
}

struct SettingsRestore
{
    CMovingTargetSettings saved = CMovingTargetSettings::Global();
    ~SettingsRestore() { CMovingTargetSettings::Global() = saved; }
};

} // namespace

TEST(CompassCalibrationTest, InterpolatesAndWraps)
{
    float table[13] = {30, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 30};
    EXPECT_FLOAT_EQ(ApplyCompassCalibration(table, 15), 30); // 15 + 15
    EXPECT_FLOAT_EQ(ApplyCompassCalibration(table, 0), 30);
    EXPECT_FLOAT_EQ(ApplyCompassCalibration(table, 345), 360); // towards the repeated first entry
    EXPECT_FLOAT_EQ(ApplyCompassCalibration(table, 375), 30);  // 15 after a full turn
    EXPECT_FLOAT_EQ(ApplyCompassCalibration(table, -345), 30);
    float zero[13] = {};
    EXPECT_FLOAT_EQ(ApplyCompassCalibration(zero, -1e-15f), 0);
    EXPECT_FLOAT_EQ(ApplyCompassCalibration(zero, 999.9f), float(std::fmod(999.9f, 360.0)));
    EXPECT_FLOAT_EQ(ApplyCompassCalibration(zero, -1e30f), float(360 + std::fmod(double(-1e30f), 360.0)));
    EXPECT_EQ(ApplyCompassCalibration(zero, NAN), 999.0f);

    CMovingTargetSettings s;
    EXPECT_TRUE(s.SetCalibrationText("1,2,3,4,5,6,7,8,9,10,11,12,"));
    EXPECT_EQ(s.compassCalibration[12], 1);
    EXPECT_EQ(s.CalibrationText(), "1.000000,2.000000,3.000000,4.000000,5.000000,6.000000,7.000000,8.000000,"
                                   "9.000000,10.000000,11.000000,12.000000,");
    EXPECT_FALSE(s.SetCalibrationText("1,2,3"));
    EXPECT_FALSE(s.SetCalibrationText("1,2,3,4,5,6,7,8,9,10,11,nan,"));
    EXPECT_EQ(s.compassCalibration[1], 2); // unchanged by the refused texts
}

TEST(MovingTargetTest, VectorPointsAndTheOriginIsNeverDrawn)
{
    SettingsRestore restore;
    CPolynomialProjection chart = TestChart();
    COverlayMovingTarget t(7);
    ScreenPoints rec;

    t.SetPosition(0, 0);
    t.UpdateScreenPoints(rec, chart);
    EXPECT_TRUE(rec.mapPoints.empty());

    t.SetPosition(50.0, 0.0);
    t.SetCourseSpeed(90, 10);
    t.SelectSource();
    ASSERT_EQ(t.m_mode, CDataSpeedDirection::kModeCourseOverGround);
    EXPECT_NEAR(COverlayMovingTarget::VectorLengthMetres(10), 1543.33, 0.01);
    t.UpdateScreenPoints(rec, chart);
    ASSERT_EQ(rec.mapPoints.size(), 2u);
    // 1543.3 m east at 50 N on a 0.01-degree chart.
    double lat, lon;
    chart.PixelToLatLon(rec.mapPoints[1].x, rec.mapPoints[1].y, lat, lon);
    EXPECT_NEAR(lat, 50.0, 1e-6);
    EXPECT_NEAR(t.m_plane.Distance(50, 0, lat, lon), 1543.33, 0.5);
    EXPECT_NEAR(rec.northX, 1, 1e-6);

    t.SetCourseSpeed(90, 0.2f); // slow: no vector
    t.SelectSource();
    t.UpdateScreenPoints(rec, chart);
    EXPECT_EQ(rec.mapPoints.size(), 1u);
    t.SetCourseSpeed(90, 10);
    t.SelectSource();
    CMovingTargetSettings::Global().showVector = false;
    t.UpdateScreenPoints(rec, chart);
    EXPECT_EQ(rec.mapPoints.size(), 1u);
}

namespace {

struct FixRecorder : Listener<CDataGPSPosition>
{
    void Notify(const CDataGPSPosition& p) override
    {
        ++count;
        lastStatus = p.m_fixStatus;
        lastAveraged = p.m_averagedSpeed;
    }
    int count = 0;
    int lastStatus = -1;
    float lastAveraged = -1;
};

// Feeds the own ship one fix a second moving north at `knots`.
void SailNorth(COverlayGPSPosition& ship, double t0, int seconds, double knots, double lat0 = 50.0)
{
    for (int i = 0; i < seconds; ++i) {
        double t = t0 + i;
        double lat = lat0 + (knots * 1852.0 / 3600.0 * i) / 111200.0;
        ship.SetPosition(lat, 0.0);
        ship.SetCourseSpeed(0, float(knots));
        ship.m_fixTime = t;
        ship.m_fixStatus = CDataGPSPosition::kGPSFix;
        ship.ProcessFix();
    }
}

} // namespace

TEST(OwnShipTest, AveragingSamplesAndTimeGoingBack)
{
    SettingsRestore restore;
    COverlayGPSPosition ship;
    FixRecorder fixes;
    SailNorth(ship, 5000, 60, 6.0);
    EXPECT_EQ(fixes.count, 60);
    // One sample every 3.01 s or more: with whole-second fixes every 4 s,
    // and those within the last 30.1 s kept.
    const auto& samples = ship.Averager().Samples();
    ASSERT_GE(samples.size(), 7u);
    EXPECT_LE(samples.size(), 9u);
    for (size_t i = 1; i < samples.size(); ++i)
        EXPECT_EQ(samples[i].time - samples[i - 1].time, 4);
    EXPECT_NEAR(ship.m_averagedSpeed, 6.0, 0.15);
    EXPECT_NEAR(ship.m_averagedCourse, 0.0, 0.5);

    // A replay restarting an hour earlier: the averaging starts afresh, no NaN.
    SailNorth(ship, 5000 - 3600, 20, 6.0);
    EXPECT_TRUE(std::isfinite(ship.m_averagedSpeed));
    ASSERT_FALSE(ship.Averager().Samples().empty());
    EXPECT_LT(ship.Averager().Samples().back().time, 5000.0 - 3600 + 20);
    EXPECT_NEAR(ship.m_averagedSpeed, 6.0, 0.3);
}

TEST(OwnShipTest, FixesKeepTheUnitsMagneticVariationWhereTheShipIs)
{
    CUnits& units = CDefaultUnits::Get();
    const CUnits saved = units;
    units.m_variationLatitude = units.m_variationLongitude = 999; // nothing computed yet
    COverlayGPSPosition ship;
    // 2026-01-01 off the Lizard, then a degree further west.
    SailNorth(ship, 1767225600.0, 1, 0, 49.9);
    const float here = GetMagneticVariation(GetMagneticModelPath(), 49.9, 0.0, 100, 1767225600.0);
    EXPECT_NEAR(units.m_variation, here, 1e-4);
    EXPECT_NEAR(here, 1.0, 1.5); // about a degree east in the Channel in 2026
    units = saved;
}

TEST(OwnShipTest, BlinksAtMostEveryPointNineSecondsAndGreysWhenTheFixIsLost)
{
    COverlayGPSPosition ship;
    bool lost = false;
    ship.m_onFixLost = [&] { lost = true; };
    FixRecorder fixes;
    SailNorth(ship, 2000, 1, 0);
    EXPECT_EQ(ship.LastBlinkTime(), 2000);
    ship.m_fixTime = 2000.5;
    ship.ProcessFix();
    EXPECT_EQ(ship.LastBlinkTime(), 2000);
    ship.m_fixTime = 2001.0;
    ship.ProcessFix();
    EXPECT_EQ(ship.LastBlinkTime(), 2001.0);

    // 99 ticks keep the fix; the 100th loses it.
    for (int i = 0; i < 99; ++i)
        CHeartbeat::Tick();
    EXPECT_EQ(ship.m_fixStatus, CDataGPSPosition::kGPSFix);
    EXPECT_FALSE(lost);
    CHeartbeat::Tick();
    EXPECT_EQ(ship.m_fixStatus, CDataGPSPosition::kNoFix);
    EXPECT_EQ(ship.m_mode, CDataSpeedDirection::kModeNone);
    EXPECT_TRUE(lost);
    EXPECT_EQ(fixes.lastStatus, 0);
    // Nothing more fires while there is no fix.
    int before = fixes.count;
    for (int i = 0; i < 200; ++i)
        CHeartbeat::Tick();
    EXPECT_EQ(fixes.count, before);
}

TEST(OwnShipTest, DrawsHeadingTriangleVectorAndIconByPixels)
{
    SettingsRestore restore;
    SetScaleFactorForTesting(1.0);
    CMovingTargetSettings::Global().ownColour = GraphicsColor(1, 0, 0, 1);
    CPolynomialProjection chart = TestChart(0.01); // about 11 m a pixel
    COverlayGPSPosition ship;
    ship.LoadIcons();
    ASSERT_TRUE(ship.IconsLoaded());
    ship.SetPosition(50.0, 0.0);
    ship.m_fixStatus = CDataGPSPosition::kGPSFix;

    auto render = [&](ScreenPoints& rec) {
        CViewTransform view;
        view.viewRect = IntRect{0, 0, 200, 200};
        ship.UpdateScreenPoints(rec, chart);
        rec.screenPoints = rec.mapPoints; // view = chart at zoom 0, origin 0
        QImage img(200, 200, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::white);
        QPainter painter(&img);
        ship.Draw(painter, view, rec);
        painter.end();
        return img;
    };
    auto isRed = [](QRgb c) { return qRed(c) > 200 && qGreen(c) < 80 && qBlue(c) < 80; };

    // Heading east: the triangle's apex lies 15 + 16 px east of the position.
    ship.SetHeading(90, 10);
    ship.SetCourseSpeed(999, 0);
    ship.SelectSource();
    ASSERT_EQ(ship.m_mode, CDataSpeedDirection::kModeHeading);
    ScreenPoints rec;
    QImage img = render(rec);
    ASSERT_EQ(rec.mapPoints.size(), 1u);
    int px = int(rec.mapPoints[0].x), py = int(rec.mapPoints[0].y);
    EXPECT_TRUE(isRed(img.pixel(px + 15 + 12, py))) << std::hex << img.pixel(px + 27, py);
    EXPECT_FALSE(isRed(img.pixel(px + 15 + 20, py)));
    EXPECT_FALSE(isRed(img.pixel(px - 30, py)));
    // The icon's tinted disc sits on the position.
    EXPECT_TRUE(isRed(img.pixel(px, py)));

    // Course north at 10 kn: a vector line north of the position, no triangle.
    ship.SetHeading(999, 11);
    ship.SetCourseSpeed(0, 10);
    ship.SelectSource();
    ScreenPoints rec2;
    img = render(rec2);
    ASSERT_EQ(rec2.mapPoints.size(), 2u);
    int ey = int(rec2.mapPoints[1].y);
    EXPECT_LT(ey, py);
    EXPECT_TRUE(isRed(img.pixel(px, (py - 15 + ey) / 2)));
    EXPECT_FALSE(isRed(img.pixel(px + 27, py)));

    // Without a fix the icon is grey.
    ship.m_fixStatus = CDataGPSPosition::kNoFix;
    ScreenPoints rec3;
    img = render(rec3);
    QRgb c = img.pixel(px, py);
    EXPECT_FALSE(isRed(c));
    EXPECT_NEAR(qRed(c), qGreen(c), 10);
}
