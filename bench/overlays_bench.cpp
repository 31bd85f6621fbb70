// Marks and routes on the chart view: a 1920 x 1080 redraw with 2,000 marks
// (five symbol and colour combinations) and 20 routes of 500 points in view;
// and the overlay pass alone over 100,000 marks of which 100 are in view.
#include "TestChartView.h"
#include "mapview/view/RasterleafView.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <random>
#include <unistd.h>

namespace {

const char* const kIcons[] = {"Flag", "Dot", "Anchor", "Buoy_can", "Wreck"};
const GraphicsColor kColours[] = {
    {1, 0, 0, 1}, {0, 0, 1, 1}, {0, 0.6, 0, 1}, {1, 0.5, 0, 1}, {0.5, 0, 0.5, 1}};

struct ViewBox
{
    double south, north, west, east;
};

ViewBox VisibleBox(CRasterleafView& view, int width, int height)
{
    double lat0 = 0, lon0 = 0, lat1 = 0, lon1 = 0;
    view.ScreenToLatLon(0, 0, lat0, lon0);
    view.ScreenToLatLon(width, height, lat1, lon1);
    return ViewBox{std::min(lat0, lat1), std::max(lat0, lat1), std::min(lon0, lon1), std::max(lon0, lon1)};
}

void AddMark(double lat, double lon, int style)
{
    auto mark = std::make_unique<COverlayMark>();
    mark->SetPosition(lat, lon);
    mark->SetIconAndColour(kIcons[style % 5], kColours[style % 5]);
    COverlayMark* added = CMarkManager::Get().AddMark(std::move(mark));
    added->SetState(COverlayObject::kChanged);
}

void BM_RedrawMarksAndRoutes1920x1080(benchmark::State& state)
{
    tessatest::CTestChartView chart(1920, 1080);
    if (!chart.IsOpen()) {
        state.SkipWithError("could not write the chart");
        return;
    }
    CRasterleafView& view = *chart.view;
    CMarkManager& manager = CMarkManager::Get();
    manager.ClearForTesting();
    const ViewBox box = VisibleBox(view, 1920, 1080);
    std::mt19937 random(11);
    std::uniform_real_distribution<double> lat(box.south, box.north), lon(box.west, box.east);
    for (int i = 0; i < 2000; ++i)
        AddMark(lat(random), lon(random), i);
    for (int r = 0; r < 20; ++r) {
        auto route = std::make_unique<COverlayRoute>();
        route->GetLineStyle().pattern = uint32_t(r % 5);
        // A meandering passage across the view, legs of a few dozen pixels.
        double a = lat(random), b = lon(random);
        const double step = (box.east - box.west) / 100;
        std::uniform_real_distribution<double> turn(-step, step);
        for (int i = 0; i < 500; ++i) {
            CMarkManager::RoutePointScope scope;
            auto p = std::make_unique<COverlayMark>();
            a = std::clamp(a + turn(random), box.south, box.north);
            b = std::clamp(b + turn(random), box.west, box.east);
            p->SetPosition(a, b);
            route->AddPoint(std::move(p));
        }
        manager.AddRoute(std::move(route))->NotifyChanged(COverlayObject::kChanged);
    }
    QImage image(1920, 1080, QImage::Format_ARGB32_Premultiplied);
    // Warm: every square of the view rendered by the workers and collected.
    chart.RedrawUntilSettled(image);
    for (auto _ : state) {
        chart.Redraw(image);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["overlays"] = double(view.DisplayedOverlays().Size());
    manager.ClearForTesting();
}
BENCHMARK(BM_RedrawMarksAndRoutes1920x1080)->Unit(benchmark::kMillisecond);

// The chart without its pixels: the draw pass is the overlay pass alone.
class NoTilesOpener : public IChartOpener
{
public:
    void Open(const std::string& path, Completion done) override
    {
        m_files.Open(path, [&](int status, std::unique_ptr<COpenedChart> chart) {
            if (chart)
                chart->tiles.reset();
            done(status, std::move(chart));
        });
    }

private:
    tessatest::CFileChartOpener m_files;
};

void BM_OverlayPass100kMarks(benchmark::State& state)
{
    const std::string path = tessatest::WriteTestChart(
        "/tmp/overlays_bench_" + std::to_string(::getpid()) + ".rlt", -20, 20, 20, -4, 40, 24);
    if (path.empty()) {
        state.SkipWithError("could not write the chart");
        return;
    }
    NoTilesOpener opener;
    tessatest::CFileChartCatalog catalog(path, -20, 20, 20, -4);
    CRasterleafView::Ports ports;
    ports.opener = &opener;
    ports.catalog = &catalog;
    CRasterleafView view(ports);
    view.SetViewRect(0, 0, 1920, 1080);
    view.GoToPosition(8, 0, 0);
    CMarkManager& manager = CMarkManager::Get();
    manager.ClearForTesting();
    const ViewBox box = VisibleBox(view, 1920, 1080);
    std::mt19937 random(5);
    std::uniform_real_distribution<double> inLat(box.south, box.north), inLon(box.west, box.east);
    std::uniform_real_distribution<double> lat(-4, 20), lon(-20, 20);
    for (int i = 0; i < 100000; ++i) {
        if (i % 1000 == 0) {
            AddMark(inLat(random), inLon(random), i);
            continue;
        }
        double a = 0, b = 0;
        do {
            a = lat(random);
            b = lon(random);
        } while (a >= box.south - 1 && a <= box.north + 1 && b >= box.west - 1 && b <= box.east + 1);
        AddMark(a, b, i);
    }
    QImage image(1920, 1080, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&image);
        view.Draw(painter, QRectF(0, 0, 1920, 1080));
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["marks"] = double(manager.Marks().size());
    manager.ClearForTesting();
    std::remove(path.c_str());
}
BENCHMARK(BM_OverlayPass100kMarks)->Unit(benchmark::kMillisecond);

} // namespace
