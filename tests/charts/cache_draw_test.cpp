// The cached chart draws what its decoding and web threads leave behind:
// single-file and chunked charts, squares reused while panning, stand-ins
// from other zooms, and chunk data that arrives from the loopback server.
// TESSA_TSAN_LABEL
#include "charts/cache/CachedRasterleaf.h"
#include "charts/chunked/ChunkAddress.h"
#include "charts/chunked/ChunkStore.h"
#include "chunkwriter/ChunkWriter.h"
#include "foundation/web/ChartServer.h"
#include "foundation/web/WebServer.h"
#include "loopback/LoopbackServer.h"
#include "support/TestPaths.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;
constexpr const char* kMirror = "chunks-mirror.test";

// Draws until nothing is queued, rendering, fetching or waiting to be collected.
bool DrawSettled(CCachedRasterleaf& cache, QImage& view, int64_t x, int64_t y, int shift)
{
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    int quiet = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        QPainter p(&view);
        cache.Draw(p, 0, 0, view.width(), view.height(), x, y, shift);
        p.end();
        if (!cache.HasWork() && !cache.IsBusy()) {
            if (++quiet == 3)
                return true;
        } else {
            quiet = 0;
            std::this_thread::sleep_for(2ms);
        }
    }
    return false;
}

// The view's pixels straight from the renderer, as the squares should show them.
QImage Reference(CRasterleaf& chart, int width, int height, int64_t x, int64_t y, int shift)
{
    std::vector<uint32_t> pixels(size_t(width) * size_t(height));
    auto work = std::make_unique<CTileWorkBlock>();
    chart.GetPixels(int(x), int(y), width, height, width, shift, pixels.data(), work.get());
    QImage image(width, height, QImage::Format_RGB32);
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c)
            reinterpret_cast<uint32_t*>(image.scanLine(r))[c] =
                pixels[size_t(height - 1 - r) * size_t(width) + size_t(c)] | 0xFF000000u;
    return image;
}

int DifferentPixels(const QImage& a, const QImage& b)
{
    int n = 0;
    for (int r = 0; r < a.height(); ++r)
        for (int c = 0; c < a.width(); ++c)
            n += (a.pixel(c, r) & 0xFFFFFF) != (b.pixel(c, r) & 0xFFFFFF);
    return n;
}

class CacheDraw : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(server.Port(), 0) << server.Error();
        setenv(CChartServer::kEnvironmentVariable, server.BaseURL().c_str(), 1);
        CWebServer::SetDefaultTimeouts(3000, 3000);
        chunkwriter::MapChunkHostToLoopback(kMirror, server.Port());
        dir = tessatest::MakeScratchDir("cache_draw");
        ASSERT_FALSE(dir.empty());
        ASSERT_TRUE(source.WriteSingleFileChart(dir + "/single.rlt"));
        ASSERT_TRUE(source.WriteChartFile(dir + "/chunked.rlt"));
        reference.reset(CRasterleaf::OpenFile(nullptr, dir + "/single.rlt"));
        ASSERT_TRUE(reference);
    }
    void TearDown() override
    {
        SetChunkHostMapForTesting({});
        unsetenv(CChartServer::kEnvironmentVariable);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    void Serve(const chunkwriter::CServerStoreOptions& options = {})
    {
        chunkwriter::ServeChunkFile(
            server, "/mapchunks/chunked.rl3",
            std::make_shared<chunkwriter::CSparseFile>(source.BuildServerStore(options)));
        chunkwriter::ServeRedirect(server, "/mapchunks/chunked.rl3", kMirror);
    }
    size_t ChunkRequests()
    {
        size_t n = 0;
        for (const auto& r : server.Requests())
            n += r.path == "/mapchunks/chunked.rl3";
        return n;
    }

    chunkwriter::CChunkedChart source{40, 24, chunkwriter::MakeChartImage(40 * 64, 24 * 64, 3)};
    std::unique_ptr<CRasterleaf> reference;
    tessatest::LoopbackServer server;
    std::string dir;
};

TEST_F(CacheDraw, WithoutAChartTheViewIsWhite)
{
    CCachedRasterleaf cache;
    QImage view(64, 48, QImage::Format_RGB32);
    view.fill(Qt::black);
    QPainter p(&view);
    EXPECT_FALSE(cache.Draw(p, 8, 8, 40, 30, 0, 0, 0));
    p.end();
    EXPECT_EQ(view.pixel(10, 10) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(view.pixel(2, 2) & 0xFFFFFF, 0u);
    EXPECT_EQ(cache.Open(nullptr, dir + "/missing.rlt"), -1);
    EXPECT_FALSE(cache.IsBusy());
}

TEST_F(CacheDraw, SingleFileChartAtSeveralZoomsMatchesTheRenderer)
{
    CCachedRasterleaf cache;
    ASSERT_EQ(cache.Open(nullptr, dir + "/single.rlt"), 0);
    QImage view(600, 400, QImage::Format_RGB32);
    struct Case
    {
        int64_t x, y;
        int shift;
    } cases[] = {{300, 200, 0}, {-100, -60, 0}, {512, 256, 1}, {0, 0, 2}, {301, 203, -1}, {1000, 700, 0}};
    for (const Case& k : cases) {
        ASSERT_TRUE(DrawSettled(cache, view, k.x, k.y, k.shift));
        const int64_t lx = k.shift >= 0 ? k.x >> k.shift : k.x << -k.shift;
        const int64_t ly = k.shift >= 0 ? k.y >> k.shift : k.y << -k.shift;
        // Outside the chart the squares stay as the renderer leaves them: compare inside only.
        const QImage expected = Reference(*reference, 600, 400, k.x, k.y, k.shift);
        const int64_t w = std::min<int64_t>(
            600, (k.shift >= 0 ? source.PixelWidth() >> k.shift : source.PixelWidth() << -k.shift) - lx);
        const int64_t h = std::min<int64_t>(
            400, (k.shift >= 0 ? source.PixelHeight() >> k.shift : source.PixelHeight() << -k.shift) - ly);
        const int x0 = int(std::max<int64_t>(0, -lx)), y0 = int(std::max<int64_t>(0, -ly));
        ASSERT_GT(w, x0);
        ASSERT_GT(h, y0);
        EXPECT_EQ(DifferentPixels(view.copy(x0, y0, int(w) - x0, int(h) - y0),
                                  expected.copy(x0, y0, int(w) - x0, int(h) - y0)),
                  0)
            << k.x << "," << k.y << " shift " << k.shift;
    }
    EXPECT_LE(cache.SquareCount(), size_t(3 * 4 * 3 + 12));
}

TEST_F(CacheDraw, AnotherZoomStandsInUntilTheSquaresAreReady)
{
    CCachedRasterleaf cache;
    ASSERT_EQ(cache.Open(nullptr, dir + "/single.rlt"), 0);
    QImage coarse(512, 512, QImage::Format_RGB32);
    ASSERT_TRUE(DrawSettled(cache, coarse, 0, 0, 1));
    // The first frame at the finer zoom has nothing of its own yet.
    constexpr QRgb kUnpainted = 0xFF123457;
    QImage fine(512, 512, QImage::Format_RGB32);
    fine.fill(kUnpainted);
    {
        QPainter p(&fine);
        cache.Draw(p, 0, 0, 512, 512, 0, 0, 0);
    }
    int unpainted = 0;
    for (int r = 0; r < 512; ++r)
        for (int c = 0; c < 512; ++c)
            unpainted += fine.pixel(c, r) == kUnpainted;
    EXPECT_EQ(unpainted, 0);
    // A stand-in pixel is the coarse picture, doubled.
    EXPECT_EQ(fine.pixel(200, 100), coarse.pixel(100, 50));
    // And zooming out, finer squares stand in shrunk.
    CCachedRasterleaf fresh;
    ASSERT_EQ(fresh.Open(nullptr, dir + "/single.rlt"), 0);
    ASSERT_TRUE(DrawSettled(fresh, fine, 0, 0, 0));
    QImage out(512, 512, QImage::Format_RGB32);
    out.fill(kUnpainted);
    {
        QPainter p(&out);
        fresh.Draw(p, 0, 0, 512, 512, 0, 0, 1);
    }
    // Shrunk without smoothing: one of the 2 x 2 pixels it stands for.
    const QRgb shrunk = out.pixel(100, 100);
    EXPECT_TRUE(shrunk == fine.pixel(200, 200) || shrunk == fine.pixel(201, 200) ||
                shrunk == fine.pixel(200, 201) || shrunk == fine.pixel(201, 201));
    EXPECT_EQ(out.pixel(300, 300), kUnpainted); // nothing rendered there at either zoom
}

TEST_F(CacheDraw, ChunkedChartFromTheServerShowsTheSinglePixelsAndPansWithFourWorkers)
{
    Serve();
    CCachedRasterleaf chunked, single;
    ASSERT_EQ(chunked.Open(nullptr, dir + "/chunked.rlt"), 0);
    ASSERT_EQ(single.Open(nullptr, dir + "/single.rlt"), 0);
    QImage a(700, 500, QImage::Format_RGB32), b(700, 500, QImage::Format_RGB32);
    // Zoomed out first (coarse levels arrive), then in, then panning across chunk edges.
    struct Step
    {
        int64_t x, y;
        int shift;
    } steps[] = {{0, 0, 2},      {0, 0, 1},     {900, 700, 0}, {1100, 300, 0},
                 {1800, 760, 0}, {256, 512, 0}, {1024, 512, 1}};
    for (const Step& s : steps) {
        ASSERT_TRUE(DrawSettled(chunked, a, s.x, s.y, s.shift)) << s.x << "," << s.y;
        ASSERT_TRUE(DrawSettled(single, b, s.x, s.y, s.shift));
        EXPECT_EQ(DifferentPixels(a, b), 0) << s.x << "," << s.y << " shift " << s.shift;
    }
    EXPECT_EQ(chunked.FailedFetchCount(), 0);
    EXPECT_FALSE(chunked.IsFetching());
}

TEST_F(CacheDraw, ReusedSquaresNeverShowAnotherCellsPixels)
{
    // Every chunk already local: four threads decode, no network.
    ASSERT_TRUE(source.WriteLocalStore(dir + "/chunked.rl3", true));
    CCachedRasterleaf chunked;
    ASSERT_EQ(chunked.Open(nullptr, dir + "/chunked.rlt"), 0);
    QImage view(520, 300, QImage::Format_RGB32);
    for (int i = 0; i < 14; ++i) {
        const int shift = i % 5 == 4 ? 1 : 0;
        // Whole output pixels only: the origin on the zoom's grid.
        const int64_t x = (i * 173) % 2000 & ~int64_t((1 << shift) - 1),
                      y = (i * 97) % 1200 & ~int64_t((1 << shift) - 1);
        ASSERT_TRUE(DrawSettled(chunked, view, x, y, shift));
        const QImage expected = Reference(*reference, 520, 300, x, y, shift);
        EXPECT_EQ(DifferentPixels(view, expected), 0) << x << "," << y;
    }
    EXPECT_EQ(server.RequestCount(), 0u);
}

TEST_F(CacheDraw, WithoutAutomaticDownloadNothingIsFetched)
{
    Serve();
    CCachedRasterleaf chunked;
    chunked.SetAutomaticDownload(false);
    ASSERT_EQ(chunked.Open(nullptr, dir + "/chunked.rlt"), 0);
    QImage view(300, 300, QImage::Format_RGB32);
    ASSERT_TRUE(DrawSettled(chunked, view, 0, 0, 0));
    EXPECT_EQ(server.RequestCount(), 0u);
    // The absent pattern: index 0 along the chunk's edges, index 1 inside.
    EXPECT_EQ(view.pixel(0, 0) & 0xFFFFFF, source.palette[0]);
    EXPECT_EQ(view.pixel(10, 10) & 0xFFFFFF, source.palette[1]);
}

TEST_F(CacheDraw, ThreeFailedFetchesStopFetching)
{
    // The server's grid is not the chart's: every fetch fails before writing.
    chunkwriter::CServerStoreOptions options;
    options.columns = 7;
    Serve(options);
    CCachedRasterleaf chunked;
    ASSERT_EQ(chunked.Open(nullptr, dir + "/chunked.rlt"), 0);
    QImage view(1100, 900, QImage::Format_RGB32);
    ASSERT_TRUE(DrawSettled(chunked, view, 0, 0, 0));
    // Fetches already running when the third fails may still end (four threads).
    EXPECT_GE(chunked.FailedFetchCount(), 3);
    EXPECT_LE(chunked.FailedFetchCount(), 6);
    const size_t seen = ChunkRequests();
    // The probe, then one header read per failed fetch.
    EXPECT_LE(seen, size_t(1 + chunked.FailedFetchCount()));
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(DrawSettled(chunked, view, 64 * i, 0, 0));
    EXPECT_EQ(ChunkRequests(), seen);
    // Nothing was written over the store's header.
    auto store = CChunkStore::Acquire(dir + "/chunked.rl3", 3, 2);
    ASSERT_TRUE(store);
    EXPECT_FALSE(store->IsLoaded());
}

} // namespace
