// Marks and routes drawn offscreen at device pixel ratios 1 and 2: symbols
// sit on their points, dashes keep their lengths, marks lie over routes.
// TESSA_TSAN_LABEL (the chart view decodes its tiles on worker threads)
#include "foundation/drawing/Images.h"
#include "mapview/overlay/KeptLinePixels.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "support/TestChartView.h"

#include <QImage>
#include <QPainter>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>

namespace {

class OverlayDraw : public ::testing::TestWithParam<double>
{
protected:
    void SetUp() override
    {
        CMarkManager::Get().ClearForTesting();
        SetHighResolutionImagesForTesting(dpr >= 1.5);
    }
    void TearDown() override
    {
        CMarkManager::Get().ClearForTesting();
        SetHighResolutionImagesForTesting(false);
    }
    QImage Blank(int width, int height) const
    {
        QImage image(int(width * dpr), int(height * dpr), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::white);
        return image;
    }
    const double dpr = GetParam();
};

bool IsWhite(QRgb c)
{
    return qRed(c) > 250 && qGreen(c) > 250 && qBlue(c) > 250;
}

TEST_P(OverlayDraw, SymbolsSitWithTheirHotSpotOnThePoint)
{
    for (const char* icon : {"Flag", "Pin", "Buoy_can", "Dot", "Wreck"}) {
        COverlayMark mark;
        mark.SetIconAndColour(icon, GraphicsColor(0, 0.6, 0, 1));
        ScreenPoints record;
        record.screenPoints = {CPolyPoint{100, 80}};
        QImage image = Blank(200, 160);
        QPainter painter(&image);
        mark.Draw(painter, CViewTransform{}, record);
        painter.end();
        // The symbol's dark hot-spot dot covers the point.
        int darkest = 255;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                darkest = std::min(darkest, qGray(image.pixel(int(100 * dpr) + dx, int(80 * dpr) + dy)));
        EXPECT_LT(darkest, 80) << icon;
        // And the drawn area starts where the hot spot says.
        int left = image.width(), top = image.height();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (!IsWhite(image.pixel(x, y))) {
                    left = std::min(left, x);
                    top = std::min(top, y);
                }
        EXPECT_GE(left, int((100 - mark.GetHotSpotX()) * dpr) - 1) << icon;
        EXPECT_GE(top, int((80 - mark.GetHotSpotY()) * dpr) - 1) << icon;
        EXPECT_LE(left, int(100 * dpr)) << icon;
    }
}

TEST_P(OverlayDraw, DashedRoutesKeepTheirRunsInDevicePixels)
{
    COverlayRoute route;
    route.GetLineStyle().pattern = CLineStyle::kDash;
    route.GetLineStyle().width = 2;
    ScreenPoints record;
    record.screenPoints = {CPolyPoint{10, 50}, CPolyPoint{190, 50}};
    QImage image = Blank(200, 100);
    QPainter painter(&image);
    route.Draw(painter, CViewTransform{}, record);
    painter.end();
    const int row = int(50 * dpr);
    std::vector<std::pair<bool, int>> runs; // (dark, length)
    for (int x = int(10 * dpr); x < int(190 * dpr); ++x) {
        const bool dark = qGray(image.pixel(x, row)) < 128;
        if (runs.empty() || runs.back().first != dark)
            runs.push_back({dark, 0});
        ++runs.back().second;
    }
    ASSERT_GT(runs.size(), 6u);
    // The last run may be cut by the line's end.
    for (size_t i = 0; i + 1 < runs.size(); ++i)
        EXPECT_EQ(runs[i].second, runs[i].first ? int(10 * dpr) : int(2 * dpr)) << "run " << i;
    // The line is two points wide.
    int thickness = 0;
    for (int y = 0; y < image.height(); ++y)
        thickness += qGray(image.pixel(int(11 * dpr), y)) < 128;
    EXPECT_EQ(thickness, int(2 * dpr));
}

TEST_P(OverlayDraw, MarksLieOverRoutesOnTheChart)
{
    tessatest::CTestChartView chart(300, 200);
    ASSERT_TRUE(chart.IsOpen());
    chart.view->SetDevicePixelRatio(dpr);
    chart.view->SetViewRect(0, 0, 300, 200);
    double clat = 0, clon = 0;
    ASSERT_TRUE(chart.view->GetCentreLatLon(clat, clon));
    CMarkManager& manager = CMarkManager::Get();
    // The mark is made first, so only the kinds can put it on top.
    COverlayMark* mark = manager.CreateMarkAt(chart.view.get(), "M", clat, clon);
    mark->SetIconAndColour("Square", GraphicsColor(0, 1, 0, 1));
    auto route = std::make_unique<COverlayRoute>();
    for (double dlon : {-1.0, 1.0}) {
        CMarkManager::RoutePointScope scope;
        auto p = std::make_unique<COverlayMark>();
        p->SetPosition(clat, clon + dlon);
        p->SetVisible(false); // the line only
        route->AddPoint(std::move(p));
    }
    route->GetLineStyle().colour = GraphicsColor(1, 0, 0, 1);
    route->GetLineStyle().width = 12;
    COverlayRoute* r = manager.AddRoute(std::move(route));
    r->NotifyChanged(COverlayObject::kChanged);
    ASSERT_TRUE(chart.view->DisplayedOverlays().Contains(r));

    QImage image = Blank(300, 200);
    QPainter painter(&image);
    chart.view->Draw(painter, QRectF(0, 0, 300, 200));
    painter.end();
    double x = 0, y = 0;
    ASSERT_TRUE(chart.view->LatLonToScreen(clat, clon, x, y));
    // Inside the square's body, beside its hot-spot dot: the mark's green.
    const QRgb body = image.pixel(int((x + 3) * dpr), int((y + 3) * dpr));
    EXPECT_GT(qGreen(body), 150);
    EXPECT_LT(qRed(body), 100);
    // Beyond the symbol the route's red shows.
    const QRgb line = image.pixel(int((x + 30) * dpr), int(y * dpr));
    EXPECT_GT(qRed(line), 200);
    EXPECT_LT(qGreen(line), 80);

    // Deleted, the mark leaves the picture (and the view forgets it before drawing).
    manager.DeleteMark(mark);
    QImage after = Blank(300, 200);
    QPainter again(&after);
    chart.view->Draw(again, QRectF(0, 0, 300, 200));
    again.end();
    const QRgb uncovered = after.pixel(int((x + 3) * dpr), int(y * dpr));
    EXPECT_GT(qRed(uncovered), 200);
    EXPECT_LT(qGreen(uncovered), 80);
}

// Symbols are drawn without their transparent borders, from a copy cached
// with the icon: the pixels must be those of the whole image at its place,
// over any background, and a change of image set must reach marks already
// drawn.
TEST_P(OverlayDraw, TrimmedSymbolsGiveTheWholeImagesPixels)
{
    const struct
    {
        const char* icon;
        GraphicsColor colour;
        CPolyPoint at;
    } cases[] = {
        {"Dot", GraphicsColor(1, 0, 0, 1), {40.3, 30.6}},
        {"Flag", GraphicsColor(0, 0, 1, 1), {41, 30}},
        {"Anchor", GraphicsColor(0, 0.6, 0, 1), {39.5, 31.5}},
        {"Buoy_can", GraphicsColor(1, 0.5, 0, 1), {40, 30}},
        {"Wreck", GraphicsColor(0.5, 0, 0.5, 1), {40.7, 29.2}},
        {"Nonesuch", GraphicsColor(1, 1, 0, 1), {40, 30}},
    };
    for (const auto& c : cases) {
        COverlayMark mark;
        mark.SetIconAndColour(c.icon, c.colour);
        ScreenPoints record;
        record.screenPoints = {c.at};
        // A background with every shade under the symbol's soft edges.
        QImage drawn = Blank(80, 60);
        {
            QPainter painter(&drawn);
            painter.fillRect(QRectF(0, 0, 40, 60), QColor(30, 120, 200));
        }
        QImage whole = drawn.copy();
        {
            QPainter painter(&drawn);
            mark.Draw(painter, CViewTransform{}, record);
        }
        ASSERT_FALSE(mark.GetIconImage().isNull()) << c.icon;
        {
            QPainter painter(&whole);
            const double x = std::round((c.at.x - mark.GetHotSpotX()) * dpr) / dpr;
            const double y = std::round((c.at.y - mark.GetHotSpotY()) * dpr) / dpr;
            painter.drawImage(QRectF(QPointF(x, y), GetImageSize(mark.GetIconImage())), mark.GetIconImage());
        }
        EXPECT_EQ(drawn, whole) << c.icon;
    }

    COverlayMark mark;
    mark.SetIconAndColour("Dot", GraphicsColor(1, 0, 0, 1));
    ScreenPoints record;
    record.screenPoints = {CPolyPoint{40, 30}};
    for (bool high : {dpr >= 1.5, dpr < 1.5}) {
        SetHighResolutionImagesForTesting(high);
        QImage image = Blank(80, 60);
        QPainter painter(&image);
        mark.Draw(painter, CViewTransform{}, record);
        EXPECT_EQ(mark.GetIconImage().devicePixelRatio(), high ? 2.0 : 1.0);
    }
}

// A route keeps its line's pixels for redraws of an unchanged view: after
// every change of style, points or painter the picture must be the one a
// route drawing afresh gives, and the kept pixels go with the route.
TEST_P(OverlayDraw, KeptRouteLinesFollowEveryChange)
{
    const size_t bytesBefore = CKeptLinePixels::Bytes();
    auto route = std::make_unique<COverlayRoute>();
    ScreenPoints record;
    for (int i = 0; i < 40; ++i)
        record.screenPoints.push_back(CPolyPoint{-30 + i * 7.3, 75 + 60 * std::sin(i * 0.9)});
    const std::function<void(COverlayRoute&, ScreenPoints&, QPainter&)> steps[] = {
        [](COverlayRoute&, ScreenPoints&, QPainter&) {},
        [](COverlayRoute& r, ScreenPoints&, QPainter&) {
            r.GetLineStyle().colour = GraphicsColor(1, 0, 0, 1);
        },
        [](COverlayRoute& r, ScreenPoints&, QPainter&) { r.GetLineStyle().width = 5; },
        [](COverlayRoute& r, ScreenPoints&, QPainter&) { r.GetLineStyle().pattern = CLineStyle::kDashDot; },
        [](COverlayRoute&, ScreenPoints& s, QPainter&) { s.screenPoints[20].y = 10.25; },
        [](COverlayRoute& r, ScreenPoints&, QPainter&) { r.GetLineStyle().pattern = CLineStyle::kSolid; },
        [](COverlayRoute&, ScreenPoints&, QPainter& p) {
            QPen pen = p.pen();
            pen.setJoinStyle(Qt::MiterJoin);
            p.setPen(pen);
        },
        [](COverlayRoute&, ScreenPoints&, QPainter& p) { p.translate(0.5, 3); },
        [](COverlayRoute& r, ScreenPoints&, QPainter&) {
            r.GetLineStyle().colour = GraphicsColor(0, 0, 1, 0.5);
        },
    };
    QImage previous;
    for (size_t i = 0; i < std::size(steps); ++i) {
        for (int draw = 0; draw < 3; ++draw) {
            QImage kept = Blank(200, 150), fresh = Blank(200, 150);
            {
                QPainter painter(&kept);
                painter.fillRect(QRectF(50, 0, 50, 150), QColor(30, 120, 200));
                steps[i](*route, record, painter);
                route->Draw(painter, CViewTransform{}, record);
            }
            {
                QPainter painter(&fresh);
                painter.fillRect(QRectF(50, 0, 50, 150), QColor(30, 120, 200));
                // The step again, for what it does to the painter.
                COverlayRoute scratch;
                ScreenPoints same = record;
                steps[i](scratch, same, painter);
                COverlayRoute afresh;
                afresh.GetLineStyle() = route->GetLineStyle();
                afresh.Draw(painter, CViewTransform{}, same);
            }
            EXPECT_EQ(kept, fresh) << "step " << i << " draw " << draw;
            if (draw == 0) {
                EXPECT_NE(kept, previous) << "step " << i;
            }
            previous = kept;
        }
        // Kept from the second draw on, unless the line cannot be copied.
        const bool copyable = i != 7 && i != 8;
        EXPECT_EQ(CKeptLinePixels::Bytes() > bytesBefore, copyable) << "step " << i;
    }
    route.reset();
    EXPECT_EQ(CKeptLinePixels::Bytes(), bytesBefore);
}

INSTANTIATE_TEST_SUITE_P(DevicePixelRatios, OverlayDraw, ::testing::Values(1.0, 2.0));

} // namespace
