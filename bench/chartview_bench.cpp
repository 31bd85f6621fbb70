// A full redraw of a 1920 x 1080 chart view from the warm cached chart with 2,000
// overlays registered (about half of them in view): what every pan frame costs.
#include "charts/Rasterleaf.h"
#include "chartwriter/ChartWriter.h"
#include "mapview/view/CachedChartTiles.h"
#include "mapview/view/RasterleafView.h"

#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kTilesWide = 40, kTilesHigh = 24; // 2560 x 1536 chart pixels

std::string MakeChart()
{
    const std::string path = "/tmp/chartview_bench_" + std::to_string(::getpid()) + ".rlt";
    chartwriter::CChartWriter w(kTilesWide, kTilesHigh);
    w.name = "Bench";
    chartwriter::PlateCarreeCoefficients(-20, 20, 20, -4, kTilesWide * 64, kTilesHigh * 64, w.forward,
                                         w.inverse);
    for (int i = 0; i < 128; ++i)
        w.palette[i] = uint32_t(i * 2) << 16 | uint32_t(255 - i) << 8 | uint32_t((i * 37) & 255);
    chartwriter::MixingTableByAverage(w.palette, w.mixing);
    std::vector<uint8_t> tile(64 * 64);
    for (int ty = 0; ty < kTilesHigh; ++ty)
        for (int tx = 0; tx < kTilesWide; ++tx) {
            for (int i = 0; i < 64 * 64; ++i)
                tile[i] = uint8_t((tx * 5 + ty * 3 + (i % 64) / 4 + (i / 64) / 8) & 127);
            w.SetTile(tx, ty, tile.data());
        }
    return w.Write(path) ? path : std::string();
}

class OneFileOpener : public IChartOpener
{
public:
    void Open(const std::string& path, Completion done) override
    {
        auto chart = CCachedChartOpener::OpenChartFile(nullptr, path);
        const int status = chart ? 0 : -1;
        done(status, std::move(chart));
    }
};

class OneFileCatalog : public IChartCatalog
{
public:
    explicit OneFileCatalog(std::string path) : m_path(std::move(path)) {}
    std::string FindBestChartAt(double, double, double) override { return m_path; }
    std::string FindLowerScaleChartAt(double, double) override { return ""; }
    std::string FindHigherScaleChartAt(double, double) override { return ""; }
    bool SetCurrentChart(const std::string&) override { return true; }
    void ClearCurrentChart() override {}
    bool CurrentContains(double, double, bool& known) override
    {
        known = false;
        return false;
    }
    size_t ChartCount() override { return 1; }

private:
    std::string m_path;
};

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
    const std::string path = MakeChart();
    if (path.empty()) {
        state.SkipWithError("could not write the chart");
        return;
    }
    OneFileOpener opener;
    OneFileCatalog catalog(path);
    CRasterleafView::Ports ports;
    ports.opener = &opener;
    ports.catalog = &catalog;
    CRasterleafView view(ports);
    view.SetViewRect(0, 0, 1920, 1080);
    view.GoToPosition(8, 0, 0);
    std::vector<std::unique_ptr<BenchOverlay>> overlays;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> lat(-4, 20), lon(-20, 20);
    for (int i = 0; i < 2000; ++i) {
        overlays.push_back(std::make_unique<BenchOverlay>(lat(random), lon(random)));
        overlays.back()->SetState(COverlayObject::kChanged);
    }
    QImage image(1920, 1080, QImage::Format_ARGB32_Premultiplied);
    auto redraw = [&] {
        QPainter painter(&image);
        painter.fillRect(image.rect(), QColor(0xd8, 0xdc, 0xe0));
        view.Draw(painter, QRectF(0, 0, 1920, 1080));
    };
    // Warm: every square of the view rendered by the workers and collected.
    for (int i = 0; i < 2000; ++i) {
        redraw();
        if (i > 0 && !view.HasWork() && !view.IsBusy())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (auto _ : state) {
        redraw();
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["overlays"] = double(view.DisplayedOverlays().Size());
    overlays.clear();
    std::remove(path.c_str());
}
BENCHMARK(BM_FullRedraw1920x1080)->Unit(benchmark::kMillisecond);

} // namespace
