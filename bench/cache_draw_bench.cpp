// The cached chart drawing a full-HD view: redrawn from a warm cache (every
// square rendered), and a cold screenful (no decoded chunk, no square)
// rendered by one and by four decoding threads. The chart is chunked with
// every chunk in its local store, so no network is involved.
#include "charts/cache/CachedRasterleaf.h"
#include "chunkwriter/ChunkWriter.h"
#include "support/TestPaths.h"

#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

namespace {

constexpr int kViewWidth = 1920;
constexpr int kViewHeight = 1080;

// One scratch folder for both charts, removed when the program ends.
const std::string& ScratchFolder()
{
    static const std::string folder = [] {
        std::string made = tessatest::MakeScratchDir("tessa-cache-bench");
        if (!made.empty()) {
            static const std::string* kept = new std::string(made); // outlives every static
            std::atexit([] {
                std::error_code ec;
                std::filesystem::remove_all(*kept, ec);
            });
        }
        return made;
    }();
    return folder;
}

// A chart picture with the usual flat areas, or (`busy`) with a quarter of
// its pixels scattered noise: far more runs to decode.
std::string MakeChart(bool busy)
{
    if (ScratchFolder().empty())
        return std::string();
    const std::string base = ScratchFolder() + (busy ? "/busy" : "/plain");
    std::vector<uint8_t> image = chunkwriter::MakeChartImage(48 * 64, 32 * 64, 17);
    if (busy) {
        std::mt19937 rng(5);
        for (auto& p : image)
            if (rng() % 4 == 0)
                p = uint8_t(60 + rng() % 60);
    }
    chunkwriter::CChunkedChart chart(48, 32, std::move(image));
    if (!chart.WriteChartFile(base + ".rlt") || !chart.WriteLocalStore(base + ".rl3", true))
        return std::string();
    return base + ".rlt";
}

const std::string& ChartPath(bool busy = false)
{
    static const std::string plain = MakeChart(false);
    static const std::string noisy = MakeChart(true);
    return busy ? noisy : plain;
}

bool DrawUntilDone(CCachedRasterleaf& cache, QImage& view)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        QPainter p(&view);
        cache.Draw(p, 0, 0, kViewWidth, kViewHeight, 0, 0, 0);
        p.end();
        if (!cache.HasWork() && !cache.IsBusy())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        // Waits for the workers without drawing in between.
        while (cache.HasWork() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
}

void BM_WarmRedrawFullHD(benchmark::State& state)
{
    CCachedRasterleaf cache;
    if (ChartPath().empty() || cache.Open(nullptr, ChartPath()) != 0) {
        state.SkipWithError("no chart");
        return;
    }
    QImage view(kViewWidth, kViewHeight, QImage::Format_RGB32);
    if (!DrawUntilDone(cache, view)) {
        state.SkipWithError("the cache did not settle");
        return;
    }
    for (auto _ : state) {
        QPainter p(&view);
        cache.Draw(p, 0, 0, kViewWidth, kViewHeight, 0, 0, 0);
        p.end();
        benchmark::DoNotOptimize(view.constBits());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kViewWidth * kViewHeight);
    state.SetLabel("pixels");
}
BENCHMARK(BM_WarmRedrawFullHD)->Unit(benchmark::kMillisecond);

// From the first Draw until every square of the screen is rendered and drawn.
void BM_ColdScreenful(benchmark::State& state)
{
    const std::string& path = ChartPath(state.range(1) != 0);
    if (path.empty()) {
        state.SkipWithError("no chart");
        return;
    }
    CCachedRasterleaf::SetDecodeThreadsForTesting(int(state.range(0)));
    QImage view(kViewWidth, kViewHeight, QImage::Format_RGB32);
    for (auto _ : state) {
        state.PauseTiming();
        CCachedRasterleaf cache;
        const bool opened = cache.Open(nullptr, path) == 0;
        state.ResumeTiming();
        if (!opened || !DrawUntilDone(cache, view)) {
            state.SkipWithError("the cache did not settle");
            break;
        }
        state.PauseTiming();
        cache.Close();
        state.ResumeTiming();
    }
    CCachedRasterleaf::SetDecodeThreadsForTesting(0);
    state.SetItemsProcessed(int64_t(state.iterations()) * kViewWidth * kViewHeight);
}
// Arguments: decoding threads, busy picture.
BENCHMARK(BM_ColdScreenful)
    ->Args({1, 0})
    ->Args({4, 0})
    ->Args({1, 1})
    ->Args({4, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
