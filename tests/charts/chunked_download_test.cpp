// Chunk downloads against the loopback chart server: which chunks an area, a
// route corridor and a whole chart fetch (read from the server's request
// log), failed chunks and cancel, refused starts, sizes and chunk areas, and
// a download while another thread draws the same chart.
// TESSA_TSAN_LABEL
#include "ScriptedPresenter.h"
#include "charts/chunked/ChunkDownloader.h"
#include "charts/chunked/MapDataDownload.h"
#include "charts/chunked/Rasterleaf3.h"
#include "charts/packages/MapDownloadState.h"
#include "chunkwriter/ChunkWriter.h"
#include "foundation/web/ChartServer.h"
#include "loopback/LoopbackServer.h"
#include "packagewriter/JobTestSupport.h"
#include "packagewriter/PackageWriter.h"
#include "support/TestPaths.h"

#include <QWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <thread>

namespace {

using chunkwriter::CChunkedChart;
using chunkwriter::CSparseFile;

constexpr const char* kMirror = "chunks-mirror.test";
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

uint32_t Key(int row, int column)
{
    return uint32_t(row) << 16 | uint32_t(column);
}

// Distance from a point to a polyline, written out independently of CPolygon.
double DistanceToRoute(double x, double y, const std::vector<CPolyPoint>& route)
{
    double best = std::hypot(x - route[0].x, y - route[0].y);
    for (size_t i = 0; i + 1 < route.size(); ++i) {
        const CPolyPoint a = route[i], b = route[i + 1];
        const double dx = b.x - a.x, dy = b.y - a.y;
        const double t = std::clamp(((x - a.x) * dx + (y - a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
        best = std::min(best, std::hypot(x - (a.x + t * dx), y - (a.y + t * dy)));
    }
    return best;
}

bool NotStopped(void* flag)
{
    return !static_cast<std::atomic<bool>*>(flag)->load();
}

class ChunkedDownload : public ::testing::Test
{
protected:
    // 80 x 48 tiles: 5 x 3 chunks.
    ChunkedDownload() : source(80, 48, chunkwriter::MakeChartImage(80 * 64, 48 * 64, 5)) {}

    void SetUp() override
    {
        ASSERT_NE(server.Port(), 0) << server.Error();
        setenv(CChartServer::kEnvironmentVariable, server.BaseURL().c_str(), 1);
        CWebServer::SetDefaultTimeouts(3000, 3000);
        CChunkStore::SetRetryDelayForTesting(0);
        chunkwriter::MapChunkHostToLoopback(kMirror, server.Port());
        dir = tessatest::MakeScratchDir("chunked_download");
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override
    {
        SetChunkHostMapForTesting({});
        unsetenv(CChartServer::kEnvironmentVariable);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    std::string ServerPath(const std::string& name) const { return "/mapchunks/" + name + ".rl3"; }

    // Serves the chunk file of `name` and writes its chart; returns the chart's path.
    std::string Serve(const std::string& name, const chunkwriter::CServerStoreOptions& options = {})
    {
        file = std::make_shared<CSparseFile>(source.BuildServerStore(options));
        chunkwriter::ServeChunkFile(server, ServerPath(name), file);
        chunkwriter::ServeRedirect(server, ServerPath(name), std::string(kMirror) + "\n");
        const std::string path = dir + "/" + name + ".rlt";
        EXPECT_TRUE(source.WriteChartFile(path));
        return path;
    }
    static std::unique_ptr<CRasterleaf3> Open(const std::string& path)
    {
        return std::unique_ptr<CRasterleaf3>(dynamic_cast<CRasterleaf3*>(OpenChartFile(nullptr, path)));
    }
    std::set<uint32_t> Fetched(const std::string& name) const
    {
        return chunkwriter::FetchedChunks(server.Requests(), ServerPath(name), source);
    }
    std::set<uint32_t> AllChunks() const
    {
        std::set<uint32_t> all;
        for (uint32_t r = 0; r < source.Rows(); ++r)
            for (uint32_t c = 0; c < source.Columns(); ++c)
                all.insert(Key(int(r), int(c)));
        return all;
    }

    CChunkedChart source;
    std::shared_ptr<CSparseFile> file;
    tessatest::CFakeKeepAwake awake; // no session bus in tests
    tessatest::LoopbackServer server;
    std::string dir;
};

TEST(ChunkRanges, PointsGiveRangesInsideTheGrid)
{
    struct Case
    {
        const char* name;
        std::vector<CPolyPoint> points;
        double grow;
        CChunkRange expected; // rows, then columns
    } cases[] = {
        {"left of the chart into it", {{-5000, 100}, {1500, 900}}, 0, {0, 0, 0, 1}},
        {"wholly left", {{-5000, 100}, {-2000, 900}}, 0, {0, -1, 0, -1}},
        {"grown into the chart", {{-2000, 100}, {-1500, 200}}, 600, {0, 0, 0, 0}},
        {"NaN dropped, far clamped", {{kNaN, 0}, {1e300, 5}, {-1e300, 2000}}, 0, {0, 1, 0, 4}},
        {"only infinities", {{kInf, kInf}, {-kInf, 3}}, 0, {0, -1, 0, -1}},
        {"infinite growth takes all", {{100, 100}}, kInf, {0, 2, 0, 4}},
    };
    for (const Case& k : cases) {
        const CChunkRange got = ChunkRangeOf(k.points, k.grow, 5, 3);
        if (k.expected.IsEmpty()) {
            EXPECT_TRUE(got.IsEmpty()) << k.name;
            continue;
        }
        EXPECT_EQ(got.firstRow, k.expected.firstRow) << k.name;
        EXPECT_EQ(got.lastRow, k.expected.lastRow) << k.name;
        EXPECT_EQ(got.firstColumn, k.expected.firstColumn) << k.name;
        EXPECT_EQ(got.lastColumn, k.expected.lastColumn) << k.name;
    }
}

TEST_F(ChunkedDownload, EachKindFetchesExactlyTheChunksThatQualify)
{
    const std::vector<CPolyPoint> diagonal = {{100, 100}, {4000, 2900}};
    auto corridorChunks = [&](const std::vector<CPolyPoint>& route, double reach) {
        std::set<uint32_t> expected;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 5; ++c)
                if (DistanceToRoute(1024.0 * c + 512, 1024.0 * r + 512, route) <= reach)
                    expected.insert(Key(r, c));
        return expected;
    };
    enum Kind { Area, Route, Whole };
    struct Case
    {
        const char* name;
        Kind kind;
        std::vector<CPolyPoint> points;
        double corridorPixels;
        std::set<uint32_t> expected;
    } cases[] = {
        {"area from left of the chart",
         Area,
         {{-5000, 100}, {1500, 100}, {1500, 900}, {-5000, 900}},
         0,
         {Key(0, 0), Key(0, 1)}},
        {"area wholly left", Area, {{-5000, 100}, {-2000, 100}, {-2000, 900}, {-5000, 900}}, 0, {}},
        {"corridor of width 0", Route, diagonal, 0,
         corridorChunks(diagonal, CRouteDownloader::kHalfDiagonal)},
        {"corridor of 400 pixels",
         Route,
         {{600, 1600}, {2600, 1500}},
         400,
         corridorChunks({{600, 1600}, {2600, 1500}}, CRouteDownloader::kHalfDiagonal + 400)},
        {"whole chart without outline points", Whole, {}, 0, AllChunks()},
    };
    int n = 0;
    for (const Case& k : cases) {
        const std::string name = "kind" + std::to_string(n++);
        auto chart = Open(Serve(name));
        ASSERT_TRUE(chart) << k.name;
        server.ClearRequests();
        std::atomic<int64_t> total{-1}, progress{-1};
        CChunkDownloadOutcome outcome;
        bool ok = false;
        if (k.kind == Area)
            ok = chart->DownloadPolygon(k.points, &total, &progress, nullptr, nullptr, &outcome);
        else if (k.kind == Route)
            ok = chart->DownloadRoute(k.points, &total, &progress, nullptr, nullptr,
                                      k.corridorPixels * chart->CentreScale() * 1852.0, &outcome);
        else
            ok = chart->DownloadAll(&total, &progress, nullptr, nullptr, &outcome);
        EXPECT_TRUE(ok) << k.name;
        EXPECT_EQ(Fetched(name), k.expected) << k.name;
        EXPECT_EQ(total.load(), int64_t(k.expected.size())) << k.name;
        EXPECT_EQ(progress.load(), int64_t(k.expected.size())) << k.name;
        for (uint32_t key : k.expected)
            EXPECT_TRUE(chart->GetChunkStore()->IsComplete(int(key >> 16), int(key & 0xFFFF))) << k.name;
    }
}

TEST_F(ChunkedDownload, FailedChunksAreCountedAndCancelStopsHandOutAndRetries)
{
    // One chunk that the server refuses: the rest arrive, the download is not complete.
    chunkwriter::CServerStoreOptions failing;
    failing.failingChunks = {Key(1, 2)};
    const std::string path = Serve("failing", failing);
    // From the user interface: the count in a box and -1 for the caller.
    tessatest::CScriptedPresenter presenter;
    presenter.SetImmediate(true);
    QWidget window;
    tessatest::CCodeProbe probe;
    probe.Push();
    StartMapDataDownloadAll(&window, path);
    ASSERT_TRUE(tessatest::PumpUntil([&] { return probe.Ran(); }));
    EXPECT_EQ(*probe.code, -1);
    ASSERT_FALSE(presenter.Shown().empty());
    EXPECT_EQ(presenter.Last().text, "1 of 15 map areas could not be downloaded");
    EXPECT_FALSE(GetMapDownloadState().IsRunning());
    {
        auto chart = Open(path);
        ASSERT_TRUE(chart);
        EXPECT_FALSE(chart->GetChunkStore()->IsComplete(1, 2));
        EXPECT_TRUE(chart->GetChunkStore()->IsComplete(2, 4));
    }

    // Every record refused, and the first refusal cancels: no retry, no further hand-out.
    chunkwriter::CServerStoreOptions all;
    all.failingChunks = AllChunks();
    Serve("cancel", all);
    std::atomic<bool> cancelled{false};
    std::atomic<int> afterCancel{0}, refusals{0};
    server.AddHandler("GET", ServerPath("cancel"), [&](const tessatest::LoopbackRequest& request) {
        if (cancelled.load())
            ++afterCancel;
        tessatest::LoopbackResponse response =
            chunkwriter::AnswerChunkFileRead(*file, 0, file->size, request);
        if (response.status == 500) {
            ++refusals;
            cancelled.store(true); // before the reply: the client sees it with the failure
        }
        return response;
    });
    auto chart = Open(dir + "/cancel.rlt");
    ASSERT_TRUE(chart);
    std::atomic<int64_t> total{0}, progress{0};
    CChunkDownloadOutcome outcome;
    EXPECT_FALSE(chart->DownloadAll(&total, &progress, NotStopped, &cancelled, &outcome));
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(outcome.failed, 0); // stopped, not failed
    EXPECT_EQ(total.load(), 15);
    // Only requests already on their way when the flag went up (one per other worker).
    EXPECT_LE(afterCancel.load(), CRL3Downloader::kThreads - 1);
    EXPECT_LE(refusals.load(), CRL3Downloader::kThreads);
    EXPECT_LE(progress.load(), CRL3Downloader::kThreads);
}

TEST_F(ChunkedDownload, RefusedStartsTellWhyAndRequestNothing)
{
    tessatest::CScriptedPresenter presenter;
    presenter.SetImmediate(true);
    QWidget window;

    // A store that cannot be made: its path leads through a file.
    const std::string blocked = Serve("blocked");
    ASSERT_TRUE(tessatest::WriteWholeFile(dir + "/a_file", "x"));
    std::filesystem::create_symlink(dir + "/a_file/store", dir + "/blocked.rl3");
    // No chart server at all: the chart carries no address of its own.
    const std::string unserved = Serve("unserved");

    struct Case
    {
        const char* name;
        std::function<void()> start;
        std::string title, text;
        bool unsetServer;
    } cases[] = {
        {"unwritable store",
         [&] {
             StartMapDataDownload(&window, blocked, {{54.5, 11}, {54.6, 11.2}}, true, 0);
         },
         "Problem", "Map storage is not writable!", false},
        {"no chart server", [&] { StartMapDataDownloadAll(&window, unserved); }, "", "No chart server is set",
         true},
    };
    for (const Case& k : cases) {
        if (k.unsetServer)
            unsetenv(CChartServer::kEnvironmentVariable);
        server.ClearRequests();
        presenter.ClearShown();
        tessatest::CCodeProbe probe;
        probe.Push();
        k.start();
        ASSERT_TRUE(tessatest::PumpUntil([&] { return probe.Ran(); })) << k.name;
        EXPECT_EQ(*probe.code, -1) << k.name;
        ASSERT_EQ(presenter.Shown().size(), 1u) << k.name;
        if (!k.title.empty()) {
            EXPECT_EQ(presenter.Last().title, k.title) << k.name;
        }
        EXPECT_EQ(presenter.Last().text.rfind(k.text, 0), 0u) << k.name << ": " << presenter.Last().text;
        EXPECT_EQ(server.RequestCount(), 0u) << k.name;
        EXPECT_FALSE(GetMapDownloadState().IsRunning()) << k.name;
    }
}

TEST_F(ChunkedDownload, TotalSizeAddsThePartsAndAreasMergeCompleteRuns)
{
    // A chunk file past 2 GiB lies on the server in two parts.
    chunkwriter::CServerStoreOptions far;
    far.firstRecordAt = (uint64_t(1) << 31) + 4096;
    auto big = Open(Serve("big", far));
    ASSERT_TRUE(big);
    ASSERT_GT(file->size, uint64_t(CWebServer::kPartSize));
    CWebServer web;
    EXPECT_EQ(big->GetChunkFileSize(web), int64_t(file->size));
    EXPECT_EQ(MapDataDownloadText(int64_t(2048), int64_t(1536)),
              "Downloading map data... (Total size 2.0KB. Space available 1.5KB)");

    // Chunks (0,0), (0,1), (0,3) and (1,4) on the device.
    const std::string path = dir + "/areas.rlt";
    ASSERT_TRUE(source.WriteChartFile(path));
    ASSERT_TRUE(
        source.WriteLocalStore(dir + "/areas.rl3", true, 0, {Key(0, 0), Key(0, 1), Key(0, 3), Key(1, 4)}));
    auto chart = Open(path);
    ASSERT_TRUE(chart);
    struct Area
    {
        int chunk, left, top, right, bottom;
    } expected[] = {{1, 50, 50, 1998, 974}, {3, 3122, 50, 4046, 974}, {9, 4146, 1074, 5070, 1998}};
    int chunk = -1, flags = -1;
    double corners[8];
    for (const Area& a : expected) {
        ASSERT_TRUE(chart->NextChunkArea(chunk, corners, flags));
        EXPECT_EQ(chunk, a.chunk);
        EXPECT_EQ(flags, 1);
        const int xs[4] = {a.left, a.right, a.right, a.left}, ys[4] = {a.top, a.top, a.bottom, a.bottom};
        for (int i = 0; i < 4; ++i) {
            double lat, lon;
            chart->PixelToLatLon(xs[i], ys[i], lat, lon);
            EXPECT_DOUBLE_EQ(corners[2 * i], lon) << a.chunk << " corner " << i;
            EXPECT_DOUBLE_EQ(corners[2 * i + 1], lat) << a.chunk << " corner " << i;
        }
    }
    EXPECT_FALSE(chart->NextChunkArea(chunk, corners, flags));
    EXPECT_EQ(chunk, -1);
}

TEST_F(ChunkedDownload, DownloadWhileTheSameChartIsDrawn)
{
    const std::string path = Serve("shared");
    auto view = Open(path);
    ASSERT_TRUE(view);
    const std::string single = dir + "/single.rlt";
    ASSERT_TRUE(source.WriteSingleFileChart(single));
    std::unique_ptr<CRasterleaf> reference(CRasterleaf::OpenFile(nullptr, single));
    ASSERT_TRUE(reference);
    auto render = [](CRasterleaf& chart) {
        const int w = chart.PixelWidth() >> 2, h = chart.PixelHeight() >> 2;
        std::vector<uint32_t> out(size_t(w) * size_t(h));
        auto work = std::make_unique<CTileWorkBlock>();
        chart.GetPixels(0, 0, w, h, w, 2, out.data(), work.get());
        return out;
    };

    std::atomic<bool> done{false};
    std::thread drawer([&] {
        while (!done.load())
            render(*view);
    });
    auto download = Open(path);
    ASSERT_TRUE(download);
    EXPECT_EQ(download->GetChunkStore(), view->GetChunkStore()); // one store for both
    std::atomic<int64_t> total{0}, progress{0};
    const bool ok = download->DownloadAll(&total, &progress, nullptr, nullptr);
    done.store(true);
    drawer.join();
    EXPECT_TRUE(ok);
    download.reset();
    for (uint32_t key : AllChunks())
        EXPECT_TRUE(view->GetChunkStore()->IsComplete(int(key >> 16), int(key & 0xFFFF)));
    // The reload: what the view decoded before the chunks arrived is dropped.
    view->ClearTileCache();
    EXPECT_EQ(render(*view), render(*reference));
}

} // namespace
