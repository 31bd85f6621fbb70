// A whole chunked chart downloaded from the loopback chart server by the four
// download workers into a fresh local store: chunks per second (the target
// is 200 or more).
#include "charts/chunked/ChunkAddress.h"
#include "charts/chunked/ChunkDownloader.h"
#include "charts/chunked/Rasterleaf3.h"
#include "chunkwriter/ChunkWriter.h"
#include "foundation/web/ChartServer.h"
#include "loopback/LoopbackServer.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

constexpr const char* kMirror = "chunks-mirror.test";

struct CServedChart
{
    // 96 x 64 tiles: 6 x 4 chunks.
    chunkwriter::CChunkedChart chart{96, 64, chunkwriter::MakeChartImage(96 * 64, 64 * 64, 21)};
    tessatest::LoopbackServer server;
    std::string folder;
    std::string path;
    bool ok = false;

    CServedChart()
    {
        if (server.Port() == 0)
            return;
        char name[] = "/tmp/tessa-chunk-bench-XXXXXX";
        if (!mkdtemp(name))
            return;
        folder = name;
        path = folder + "/bench.rlt";
        setenv(CChartServer::kEnvironmentVariable, server.BaseURL().c_str(), 1);
        chunkwriter::MapChunkHostToLoopback(kMirror, server.Port());
        auto file = std::make_shared<chunkwriter::CSparseFile>(chart.BuildServerStore());
        chunkwriter::ServeChunkFile(server, "/mapchunks/bench.rl3", file);
        chunkwriter::ServeRedirect(server, "/mapchunks/bench.rl3", kMirror);
        ok = chart.WriteChartFile(path);
    }
    ~CServedChart()
    {
        SetChunkHostMapForTesting({});
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

void BM_DownloadWholeChart(benchmark::State& state)
{
    static CServedChart served;
    if (!served.ok) {
        state.SkipWithError("the loopback chart server did not start");
        return;
    }
    int64_t chunks = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::error_code ec;
        std::filesystem::remove_all(served.folder + "/bench.rl3", ec);
        std::unique_ptr<CRasterleaf> chart(CRasterleaf::OpenFile(nullptr, served.path));
        state.ResumeTiming();
        std::atomic<int64_t> total{0}, progress{0};
        if (!chart || !chart->DownloadAll(&total, &progress, nullptr, nullptr)) {
            state.SkipWithError("the download failed");
            return;
        }
        chunks += total.load();
        state.PauseTiming();
        chart.reset();
        state.ResumeTiming();
    }
    state.counters["chunks_per_second"] = benchmark::Counter(double(chunks), benchmark::Counter::kIsRate);
    state.counters["workers"] = CRL3Downloader::kThreads;
}
BENCHMARK(BM_DownloadWholeChart)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
