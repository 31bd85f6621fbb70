// Building the chart list from a folder of 2,000 chart files, headers only
// (target: under 0.5 s for the whole folder), and rebuilding the chart list
// window's outline over all of them (target: 20 ms or less).
#include "app/lists/map_list.h"
#include "charts/chartlist/ChartList.h"
#include "chartwriter/ChartWriter.h"
#include "support/TestPaths.h"

#include "mapview/view/RasterleafView.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr int kCharts = 2000;

// Made once per run: 20 folders of 100 charts, each with an 8-point outline.
const std::string& ChartFolder()
{
    static const std::string folder = [] {
        std::string root = tessatest::MakeScratchDir("chartlist-bench");
        for (int i = 0; i < kCharts; ++i) {
            double west = -170 + (i % 100) * 3.0, south = -60 + (i / 100) * 5.0;
            double size = 0.5 + (i % 7) * 0.25;
            chartwriter::CChartWriter w(1, 1);
            w.name = "Chart " + std::to_string(i);
            w.mapType = i % 3 ? "Topo" : "Nautical";
            w.edition = "03/12/2019";
            chartwriter::PlateCarreeCoefficients(west, south + size, west + size, south, 64, 64, w.forward,
                                                 w.inverse);
            for (int k = 0; k < 8; ++k) {
                double t = k / 8.0;
                w.outline.push_back(
                    {south + size * (k < 4 ? t * 2 : 2 - t * 2), west + size * (k % 2 ? 0.9 : 0.1)});
            }
            std::string dir = root + "/set" + std::to_string(i / 100);
            std::filesystem::create_directories(dir);
            w.Write(dir + "/chart" + std::to_string(i) + ".rlt");
        }
        static const std::string* made = new std::string(root); // outlives every static
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(*made, ec);
        });
        return root;
    }();
    return folder;
}

void BM_ChartListScan2000(benchmark::State& state)
{
    CChartFolders folders;
    folders.standard = {ChartFolder()};
    size_t listed = 0;
    for (auto _ : state) {
        CChartList list; // a new list each time: every header is read again
        list.Init(folders);
        listed = list.Outlines().size();
        benchmark::DoNotOptimize(listed);
    }
    if (listed != size_t(kCharts))
        state.SkipWithError("not every chart was listed");
    state.SetItemsProcessed(int64_t(state.iterations()) * kCharts);
    state.counters["charts"] = double(listed);
}
BENCHMARK(BM_ChartListScan2000)->Unit(benchmark::kMillisecond);

void BM_ChartListRescanUnchanged(benchmark::State& state)
{
    CChartFolders folders;
    folders.standard = {ChartFolder()};
    CChartList list;
    list.Init(folders);
    for (auto _ : state)
        list.Rescan();
    state.SetItemsProcessed(int64_t(state.iterations()) * kCharts);
}
BENCHMARK(BM_ChartListRescanUnchanged)->Unit(benchmark::kMillisecond);

void BM_FindBestChartAt(benchmark::State& state)
{
    CChartFolders folders;
    folders.standard = {ChartFolder()};
    CChartList list;
    list.Init(folders);
    int i = 0;
    for (auto _ : state) {
        double lat = -60 + (i % 20) * 5.0 + 0.3, lon = -170 + (i % 100) * 3.0 + 0.25;
        benchmark::DoNotOptimize(list.FindBestChartAt(lat, lon, 0.1));
        ++i;
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_FindBestChartAt);

// The window's whole rebuild: both trees, the item model, and the tree
// state it restores on the next turn of the event loop.
void BM_MapListRefreshEverything2000(benchmark::State& state)
{
    CChartFolders folders;
    folders.standard = {ChartFolder()};
    CChartList list;
    list.Init(folders);
    CRasterleafView view{CRasterleafView::Ports{}};
    map_list* window = map_list::initWithChartView(view, list);
    window->onChangeAll(1); // all charts on the device
    QCoreApplication::processEvents();
    for (auto _ : state) {
        window->refresh_everything();
        QCoreApplication::processEvents();
    }
    if (window->Model().Items().size() < size_t(kCharts))
        state.SkipWithError("not every chart was shown");
    state.SetItemsProcessed(int64_t(state.iterations()) * kCharts);
    delete window;
}
BENCHMARK(BM_MapListRefreshEverything2000)->Unit(benchmark::kMillisecond);

} // namespace
