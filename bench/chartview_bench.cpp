// A full redraw of a 1920 x 1080 chart view from the warm cached chart with 2,000
// overlays registered (about half of them in view): what every pan frame costs.
// And the re-projection of 100,000 route and track points that follows a pan.
#include "TestChartView.h"
#include "mapview/view/RasterleafView.h"

#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// A point overlay drawn as a small square, like a mark without its icon.
class BenchOverlay : public COverlayObject
{
public:
    BenchOverlay(double lat, double lon) : COverlayObject(3, 0), m_lat(lat), m_lon(lon) {}
    void UpdateScreenPoints(ScreenPoints& record, const CPolynomialProjection& chart) override
    {
        double x = 0, y = 0;
        chart.LatLonToPixel(m_lat, m_lon, x, y);
        record.mapPoints = {CPolyPoint{x, y}};
        record.ComputeBounds();
        record.hitMode = ScreenPoints::kHitPoints;
    }
    void Draw(QPainter& context, const CViewTransform&, ScreenPoints& record) override
    {
        if (!record.screenPoints.empty())
            context.fillRect(QRectF(record.screenPoints[0].x - 3, record.screenPoints[0].y - 3, 6, 6),
                             Qt::red);
    }

private:
    double m_lat, m_lon;
};

void BM_FullRedraw1920x1080(benchmark::State& state)
{
    tessatest::CTestChartView chart(1920, 1080);
    if (!chart.IsOpen()) {
        state.SkipWithError("could not write the chart");
        return;
    }
    CRasterleafView& view = *chart.view;
    std::vector<std::unique_ptr<BenchOverlay>> overlays;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> lat(-4, 20), lon(-20, 20);
    for (int i = 0; i < 2000; ++i) {
        overlays.push_back(std::make_unique<BenchOverlay>(lat(random), lon(random)));
        overlays.back()->SetState(COverlayObject::kChanged);
    }
    QImage image(1920, 1080, QImage::Format_ARGB32_Premultiplied);
    // Warm: every square of the view rendered by the workers and collected.
    chart.RedrawUntilSettled(image);
    for (auto _ : state) {
        chart.Redraw(image);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["overlays"] = double(view.DisplayedOverlays().Size());
    overlays.clear();
}
BENCHMARK(BM_FullRedraw1920x1080)->Unit(benchmark::kMillisecond);

// A polyline like a route or a track section, all of it in view.
class BenchLine : public COverlayObject
{
public:
    BenchLine(uint32_t kind, std::vector<std::pair<double, double>> points)
        : COverlayObject(kind, 0), m_points(std::move(points))
    {
    }
    void UpdateScreenPoints(ScreenPoints& record, const CPolynomialProjection& chart) override
    {
        record.mapPoints.clear();
        for (const auto& [lat, lon] : m_points) {
            double x = 0, y = 0;
            chart.LatLonToPixel(lat, lon, x, y);
            record.mapPoints.push_back(CPolyPoint{x, y});
        }
        record.ComputeBounds();
        record.hitMode = ScreenPoints::kHitPolyline;
    }
    void Draw(QPainter&, const CViewTransform&, ScreenPoints&) override {}

private:
    std::vector<std::pair<double, double>> m_points;
};

// After a pan every overlay's screen points are projected again: 50 routes of
// 1,000 points and 782 track sections of 64 points, 100,048 points in view.
void BM_ReprojectAfterPan100kPoints(benchmark::State& state)
{
    tessatest::CTestChartView chart(1920, 1080);
    if (!chart.IsOpen()) {
        state.SkipWithError("could not write the chart");
        return;
    }
    CRasterleafView& view = *chart.view;
    std::mt19937 random(11);
    std::uniform_real_distribution<double> lat(3, 13), lon(-11, 11);
    std::vector<std::unique_ptr<BenchLine>> lines;
    auto add = [&](uint32_t kind, int count) {
        std::vector<std::pair<double, double>> points;
        for (int i = 0; i < count; ++i)
            points.emplace_back(lat(random), lon(random));
        lines.push_back(std::make_unique<BenchLine>(kind, std::move(points)));
        lines.back()->SetState(COverlayObject::kChanged);
    };
    for (int i = 0; i < 50; ++i)
        add(COverlayObject::kKindRoute, 1000);
    for (int i = 0; i < 782; ++i)
        add(COverlayObject::kKindTrackSection, 64);
    size_t points = 0;
    int direction = 1;
    for (auto _ : state) {
        view.PanBy(direction, 0);
        direction = -direction;
        view.ProjectOverlaysIntoView();
    }
    for (const auto& [key, entry] : view.DisplayedOverlays().Entries())
        points += entry.record.screenPoints.size();
    state.counters["points"] = double(points);
    lines.clear();
}
BENCHMARK(BM_ReprojectAfterPan100kPoints)->Unit(benchmark::kMillisecond);

} // namespace
