// Chunked charts against the loopback chart server: addresses and redirects,
// fetching level by level into the local store, and servers that send bad data.
// TESSA_TSAN_LABEL
#include "charts/chunked/ChunkAddress.h"
#include "charts/chunked/ChunkStore.h"
#include "charts/chunked/Rasterleaf3.h"
#include "chunkwriter/ChunkWriter.h"
#include "foundation/web/ChartServer.h"
#include "foundation/web/WebServer.h"
#include "loopback/LoopbackServer.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <thread>

namespace {

using chunkwriter::CChunkedChart;
using chunkwriter::CSparseFile;
using chunkwriter::ServeChunkFile;
using chunkwriter::ServeRedirect;

constexpr const char* kMirror = "chunks-mirror.test";

class ChunkedFetch : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(server.Port(), 0) << server.Error();
        setenv(CChartServer::kEnvironmentVariable, server.BaseURL().c_str(), 1);
        CWebServer::SetDefaultTimeouts(3000, 3000);
        CChunkStore::SetRetryDelayForTesting(0);
        const int port = server.Port();
        SetChunkHostMapForTesting([port](const std::string& host, std::string& address, int& p) {
            // A host that no longer answers: a closed loopback port.
            address = "127.0.0.1";
            p = host == "gone.test" ? 1 : port;
            return host == kMirror || host == "gone.test";
        });
        dir = tessatest::MakeScratchDir("chunked_fetch");
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override
    {
        SetChunkHostMapForTesting({});
        unsetenv(CChartServer::kEnvironmentVariable);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    // A 3 x 2 chunk chart (40 x 20 tiles) served at /mapchunks/<name>.rl3 with a redirect.
    std::unique_ptr<CRasterleaf3> ServeAndOpen(const CChunkedChart& chart, const std::string& name,
                                               const chunkwriter::CServerStoreOptions& options = {})
    {
        const std::string path = "/mapchunks/" + name + ".rl3";
        ServeChunkFile(server, path, std::make_shared<CSparseFile>(chart.BuildServerStore(options)));
        ServeRedirect(server, path, std::string(kMirror) + "\r\n");
        const std::string file = dir + "/" + name + ".rlt";
        EXPECT_TRUE(chart.WriteChartFile(file));
        std::unique_ptr<CRasterleaf3> opened(dynamic_cast<CRasterleaf3*>(OpenChartFile(nullptr, file)));
        return opened;
    }

    static CChunkedChart MakeChart(uint32_t w = 40, uint32_t h = 20, uint32_t seed = 7)
    {
        return CChunkedChart(w, h, chunkwriter::MakeChartImage(int(w * 64), int(h * 64), seed));
    }

    // Renders the whole chart at a shift through GetPixels.
    static std::vector<uint32_t> Render(CRasterleaf& chart, int shift)
    {
        const int w = chart.PixelWidth() >> shift, h = chart.PixelHeight() >> shift;
        std::vector<uint32_t> out(size_t(w) * size_t(h));
        auto work = std::make_unique<CTileWorkBlock>();
        EXPECT_EQ(chart.GetPixels(0, 0, w, h, w, shift, out.data(), work.get()), 0);
        return out;
    }

    tessatest::LoopbackServer server;
    std::string dir;
};

TEST_F(ChunkedFetch, FetchedChartShowsTheSamePixelsAsTheSingleFileChart)
{
    const CChunkedChart source = MakeChart();
    auto chart = ServeAndOpen(source, "harbour");
    ASSERT_TRUE(chart);
    EXPECT_TRUE(chart->IsDownloadable());
    EXPECT_TRUE(std::filesystem::is_directory(dir + "/harbour.rl3"));

    CWebServer web;
    const CChunkAddress address = chart->GetChunkURL(web);
    ASSERT_TRUE(address.HasAddress());
    EXPECT_EQ(address.host, kMirror);
    EXPECT_FALSE(address.secure);
    EXPECT_EQ(address.path, "/mapchunks/harbour.rl3");
    EXPECT_EQ(chart->GetChunkFileSize(web), int64_t(source.BuildServerStore().size));

    CChunkStore* store = chart->GetChunkStore();
    for (int r = 0; r < chart->ChunkRows(); ++r)
        for (int c = 0; c < chart->ChunkColumns(); ++c) {
            EXPECT_TRUE(store->IsAbsent(r, c));
            ASSERT_TRUE(store->FetchChunkWithRetries(web, r, c, 0)) << r << "," << c;
            EXPECT_TRUE(store->IsComplete(r, c));
        }

    const std::string single = dir + "/single.rlt";
    ASSERT_TRUE(source.WriteSingleFileChart(single));
    std::unique_ptr<CRasterleaf> reference(CRasterleaf::OpenFile(nullptr, single));
    ASSERT_TRUE(reference);
    for (int shift : {0, 1, 3})
        EXPECT_EQ(Render(*chart, shift), Render(*reference, shift)) << "shift " << shift;

    // A second open finds the store loaded and complete, without the server.
    chart.reset();
    server.Stop();
    std::unique_ptr<CRasterleaf> again(OpenChartFile(nullptr, dir + "/harbour.rlt"));
    ASSERT_TRUE(again);
    EXPECT_EQ(Render(*again, 0), Render(*reference, 0));
}

TEST_F(ChunkedFetch, LevelsArriveProgressivelyAndCoarserDataStandsIn)
{
    const CChunkedChart source = MakeChart(16, 16);
    auto chart = ServeAndOpen(source, "levels");
    ASSERT_TRUE(chart);
    CWebServer web;
    ASSERT_TRUE(chart->GetChunkURL(web).HasAddress());
    CChunkStore* store = chart->GetChunkStore();
    ASSERT_TRUE(store->FetchChunk(web, 0, 0, 3));
    const std::vector<uint32_t> n = chunkwriter::RecordCounts(source.Record(0, 0));
    server.ClearRequests();
    // Present at level 3 already: nothing is read again.
    ASSERT_TRUE(store->FetchChunk(web, 0, 0, 4));
    EXPECT_EQ(server.RequestCount(), 0u);
    EXPECT_FALSE(store->IsComplete(0, 0));

    struct Asked
    {
        int calls = 0, decoded = -1, wanted = -1;
    } asked;
    CTileContext context;
    context.argument = &asked;
    context.request = [](void* a, void*, int, int, int decoded, int wanted) {
        auto* s = static_cast<Asked*>(a);
        ++s->calls;
        s->decoded = decoded;
        s->wanted = wanted;
        return true;
    };
    std::vector<uint8_t> tile(kTilePixels);
    ASSERT_EQ(chart->GetTile(5, 9, 1, tile.data(), &context), 0);
    EXPECT_EQ(context.largestShortfall, 2);
    EXPECT_EQ(asked.calls, 1);
    EXPECT_EQ(asked.decoded, 3);
    EXPECT_EQ(asked.wanted, 1);
    // Rows present at level 3 are the picture's; the others repeat their upper neighbour.
    for (int j = 0; j < 32; ++j) {
        const int imageRow = BitReverse6(j) & ~7; // level 3 keeps every 8th row
        for (int i = 0; i < 64; ++i)
            ASSERT_EQ(tile[size_t(64 * j + i)],
                      source.image[size_t(9 * 64 + imageRow) * 1024 + size_t(5 * 64 + i)])
                << j << "," << i;
    }

    // Fetching the finest level brings only the missing words.
    server.ClearRequests();
    ASSERT_TRUE(store->FetchChunk(web, 0, 0, 0));
    EXPECT_TRUE(store->IsComplete(0, 0));
    chart->InvalidateTile(CRasterleaf3::ChunkKey(0, 0));
    CTileContext fine;
    ASSERT_EQ(chart->GetTile(5, 9, 0, tile.data(), &fine), 0);
    EXPECT_EQ(fine.largestShortfall, 0);
    uint64_t bytes = 0;
    for (const auto& request : server.Requests()) {
        const std::string range = request.Header("range");
        const size_t dash = range.find('-');
        bytes += std::stoull(range.substr(dash + 1)) - std::stoull(range.substr(6, dash - 6)) + 1;
    }
    EXPECT_LE(bytes, 4 * uint64_t(n[0]) + 128);
}

TEST_F(ChunkedFetch, EmptyMissingAndAbsentChunksDrawTheirPatterns)
{
    const CChunkedChart source = MakeChart(32, 16);
    chunkwriter::CServerStoreOptions options;
    options.emptyChunks = {CRasterleaf3::ChunkKey(0, 1)};
    options.missingChunks = {CRasterleaf3::ChunkKey(0, 0)};
    auto chart = ServeAndOpen(source, "patterns", options);
    ASSERT_TRUE(chart);
    std::vector<uint8_t> tile(kTilePixels);

    // Before anything arrived: the absent pattern (index 0 along the chunk's top and left edges).
    CTileContext context;
    ASSERT_EQ(chart->GetTile(0, 0, 0, tile.data(), &context), 0);
    EXPECT_EQ(context.largestShortfall, 10);
    EXPECT_EQ(tile[0], 0);          // top-left corner
    EXPECT_EQ(tile[5], 0);          // top row
    EXPECT_EQ(tile[64 * 2], 0);     // left column
    EXPECT_EQ(tile[64 * 2 + 5], 1); // inside
    ASSERT_EQ(chart->GetTile(3, 3, 0, tile.data(), &context), 0);
    EXPECT_EQ(std::count(tile.begin(), tile.end(), 1), kTilePixels);

    CWebServer web;
    ASSERT_TRUE(chart->GetChunkURL(web).HasAddress());
    CChunkStore* store = chart->GetChunkStore();
    EXPECT_TRUE(store->FetchChunk(web, 0, 1, 0));
    EXPECT_EQ(store->ReadEntry(0, 1), -1);
    EXPECT_FALSE(store->IsAbsent(0, 1));
    EXPECT_FALSE(store->IsComplete(0, 1));
    EXPECT_FALSE(store->FetchChunk(web, 0, 0, 0)); // the server has none
    EXPECT_FALSE(store->FetchChunk(web, 5, 0, 0)); // outside the grid
    chart->ClearTileCache();
    CTileContext empty;
    ASSERT_EQ(chart->GetTile(20, 3, 2, tile.data(), &empty), 0);
    EXPECT_EQ(empty.largestShortfall, 0);
    EXPECT_EQ(std::count(tile.begin(), tile.begin() + 64 * 16, 1), 64 * 16);
    // Outside the chart: index 1, no request.
    CTileContext outside;
    ASSERT_EQ(chart->GetTile(-1, 0, 0, tile.data(), &outside), 0);
    EXPECT_EQ(outside.largestShortfall, 0);
    EXPECT_EQ(tile[0], 1);
}

TEST_F(ChunkedFetch, BadServerDataNeverBecomesPixels)
{
    const CChunkedChart source = MakeChart(32, 16);
    CSparseFile file = source.BuildServerStore();
    // Chunk (0,0): its last word flipped (the finest level's check fails);
    // chunk (0,1): the file ends inside its words.
    const uint64_t first = source.serverPositions.at(CRasterleaf3::ChunkKey(0, 0));
    const uint64_t last = first + 76 + 4 * uint64_t(chunkwriter::RecordCounts(source.Record(0, 0))[0] - 1);
    std::vector<uint8_t> word = file.Slice(last, 4);
    word[0] ^= 0x5A;
    file.Put(last, word);
    const uint64_t second = source.serverPositions.at(CRasterleaf3::ChunkKey(0, 1));
    file.size = second + 76 + 600;
    auto kept = std::make_shared<CSparseFile>(file);
    const std::vector<uint8_t> bytes = kept->Slice(0, kept->size);
    server.AddFile("/mapchunks/bad.rl3", std::string(bytes.begin(), bytes.end()));
    ServeRedirect(server, "/mapchunks/bad.rl3", kMirror);
    ASSERT_TRUE(source.WriteChartFile(dir + "/bad.rlt"));
    std::unique_ptr<CRasterleaf3> chart(
        dynamic_cast<CRasterleaf3*>(OpenChartFile(nullptr, dir + "/bad.rlt")));
    ASSERT_TRUE(chart);
    CWebServer web;
    ASSERT_TRUE(chart->GetChunkURL(web).HasAddress());
    CChunkStore* store = chart->GetChunkStore();

    server.ClearRequests();
    EXPECT_FALSE(store->FetchChunkWithRetries(web, 0, 0, 0));
    EXPECT_EQ(store->ReadEntry(0, 0), 0);
    EXPECT_FALSE(store->FetchChunk(web, 0, 1, 0));
    EXPECT_LT(server.RequestCount(), 40u);
    // What is stored decodes only as the absent pattern.
    std::vector<uint8_t> tile(kTilePixels);
    CTileContext context;
    ASSERT_EQ(chart->GetTile(16, 0, 0, tile.data(), &context), 0);
    EXPECT_EQ(tile[5], 0);
    EXPECT_EQ(tile[64 * 3 + 5], 1);
    EXPECT_FALSE(store->IsComplete(0, 1));

    // The store is still a valid store after reopening.
    chart.reset();
    std::unique_ptr<CRasterleaf3> reopened(
        dynamic_cast<CRasterleaf3*>(OpenChartFile(nullptr, dir + "/bad.rlt")));
    ASSERT_TRUE(reopened);
    EXPECT_TRUE(reopened->GetChunkStore()->IsLoaded());
    ASSERT_TRUE(reopened->GetChunkURL(web).HasAddress());
    EXPECT_TRUE(reopened->GetChunkStore()->FetchChunk(web, 0, 0, 5)); // an intact coarse level
    EXPECT_FALSE(reopened->GetChunkStore()->FetchChunk(web, 0, 0, 0));
}

TEST_F(ChunkedFetch, ServerThatIgnoresRangesGivesNoWords)
{
    const CChunkedChart source = MakeChart(16, 16);
    auto chart = ServeAndOpen(source, "norange");
    ASSERT_TRUE(chart);
    CWebServer web;
    ASSERT_TRUE(chart->GetChunkURL(web).HasAddress());
    // Whole-file replies are only good for reads from offset 0.
    server.SetFault("/mapchunks/norange.rl3", tessatest::LoopbackFault::IgnoreRange);
    EXPECT_FALSE(chart->GetChunkStore()->FetchChunk(web, 0, 0, 0));
    std::vector<uint8_t> tile(kTilePixels);
    CTileContext context;
    ASSERT_EQ(chart->GetTile(1, 1, 0, tile.data(), &context), 0);
    EXPECT_EQ(context.largestShortfall, 10);
    EXPECT_EQ(std::count(tile.begin(), tile.end(), 1), kTilePixels);
}

TEST_F(ChunkedFetch, WrongGridFromTheServerWritesNothing)
{
    const CChunkedChart source = MakeChart(32, 16);
    chunkwriter::CServerStoreOptions options;
    options.columns = 3;
    options.rows = 3;
    auto chart = ServeAndOpen(source, "grid", options);
    ASSERT_TRUE(chart);
    CWebServer web;
    ASSERT_TRUE(chart->GetChunkURL(web).HasAddress());
    EXPECT_FALSE(chart->GetChunkStore()->FetchChunk(web, 0, 0, 0));
    EXPECT_FALSE(chart->GetChunkStore()->IsLoaded());
    struct stat st;
    EXPECT_LT(::stat((dir + "/grid.rl3/0").c_str(), &st) == 0 ? st.st_size : 0, 1024);

    // A local store of another grid counts as not loaded and is rewritten by the first fetch.
    const CChunkedChart other = MakeChart(48, 16);
    ASSERT_TRUE(other.WriteLocalStore(dir + "/rewrite.rl3", false));
    auto served = ServeAndOpen(source, "rewrite");
    ASSERT_TRUE(served);
    EXPECT_FALSE(served->GetChunkStore()->IsLoaded());
    CWebServer web2;
    ASSERT_TRUE(served->GetChunkURL(web2).HasAddress());
    EXPECT_TRUE(served->GetChunkStore()->FetchChunk(web2, 0, 1, 2));
    EXPECT_TRUE(served->GetChunkStore()->IsLoaded());
    EXPECT_TRUE(served->GetChunkStore()->IsAbsent(0, 0));
}

TEST_F(ChunkedFetch, ChunkThatPassesItsCheckButDoesNotDecodeIsNotFetchedAgain)
{
    const CChunkedChart source = MakeChart(16, 16);
    CSparseFile file = source.BuildServerStore();
    const uint64_t at = source.serverPositions.at(0);
    // A stream start past the words, with check bytes that agree.
    std::vector<uint8_t> record =
        file.Slice(at, 76 + 4 * uint64_t(chunkwriter::RecordCounts(source.Record(0, 0))[0]));
    chunkfile::Put32(record.data() + 76, 0x7FFFFFFF);
    for (int l = 0; l < 10; ++l)
        record[44 + size_t(l)] =
            chunkfile::CheckByte(record.data() + 76, chunkfile::Get32(record.data() + 4 * l));
    file.Put(at, record);
    ServeChunkFile(server, "/mapchunks/broken.rl3", std::make_shared<CSparseFile>(file));
    ServeRedirect(server, "/mapchunks/broken.rl3", kMirror);
    ASSERT_TRUE(source.WriteChartFile(dir + "/broken.rlt"));
    std::unique_ptr<CRasterleaf3> chart(
        dynamic_cast<CRasterleaf3*>(OpenChartFile(nullptr, dir + "/broken.rlt")));
    ASSERT_TRUE(chart);
    CWebServer web;
    ASSERT_TRUE(chart->GetChunkURL(web).HasAddress());
    ASSERT_TRUE(chart->GetChunkStore()->FetchChunk(web, 0, 0, 0));

    int requests = 0;
    CTileContext context;
    context.argument = &requests;
    context.request = [](void* a, void*, int, int, int, int) {
        ++*static_cast<int*>(a);
        return true;
    };
    std::vector<uint8_t> tile(kTilePixels, 9);
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(chart->GetTile(2, 2, 0, tile.data(), &context), 0);
        EXPECT_EQ(std::count(tile.begin(), tile.end(), 0), kTilePixels);
        chart->InvalidateTile(0);
    }
    EXPECT_EQ(requests, 0);
    EXPECT_TRUE(chart->HasFailedToDecode(0));
    EXPECT_EQ(chart->DecodeFailureCount(), 1);
}

TEST_F(ChunkedFetch, AddressesRedirectsAndForbiddenText)
{
    EXPECT_EQ(ParseRedirectHost(reinterpret_cast<const uint8_t*>("mirror-2.example.net\n"), 21),
              "mirror-2.example.net");
    EXPECT_EQ(ParseRedirectHost(reinterpret_cast<const uint8_t*>(" \ta.b\r\n"), 7), "a.b");
    EXPECT_EQ(ParseRedirectHost(reinterpret_cast<const uint8_t*>("a/b"), 3), "");
    EXPECT_EQ(ParseRedirectHost(reinterpret_cast<const uint8_t*>("a:80"), 4), "");
    EXPECT_EQ(ParseRedirectHost(reinterpret_cast<const uint8_t*>("a\nb"), 3), "");
    const std::string longName(200, 'a');
    EXPECT_EQ(ParseRedirectHost(reinterpret_cast<const uint8_t*>(longName.data()), longName.size()), "");

    for (const char* bad : {"a b", "a:1", "x\rHost", "x\x01", "caf\xc3\xa9", "a%20", "a?b", "a~"})
        EXPECT_TRUE(HasForbiddenAddressByte(bad)) << bad;
    EXPECT_FALSE(HasForbiddenAddressByte("/mapchunks/Chart-1_a.rl3"));

    const auto split = SplitChunkAddress("https://charts.example.org/a/b.rl3");
    EXPECT_EQ(split.scheme, "https");
    EXPECT_EQ(split.host, "charts.example.org");
    EXPECT_EQ(split.path, "/a/b.rl3");
    EXPECT_EQ(SplitChunkAddress("/only/path.rl3").path, "/only/path.rl3");
    EXPECT_EQ(DefaultChunkPath("/x/y/Bay Chart.rlt"), "/mapchunks/Bay Chart.rl3");

    CWebServer web;
    // A host with a port, a path with a space, a scheme we do not speak: no address, no request.
    server.ClearRequests();
    EXPECT_FALSE(ResolveChunkAddress(web, "http://127.0.0.1:8080/a.rl3", "/c/a.rlt").HasAddress());
    EXPECT_FALSE(ResolveChunkAddress(web, "/a b.rl3", "/c/a.rlt").HasAddress());
    EXPECT_FALSE(ResolveChunkAddress(web, "ftp://h/a.rl3", "/c/a.rlt").HasAddress());
    EXPECT_EQ(server.RequestCount(), 0u);

    // The chart's own host answers: used as it is.
    const CChunkedChart source = MakeChart(16, 16);
    ServeChunkFile(server, "/own/path.rl3", std::make_shared<CSparseFile>(source.BuildServerStore()));
    CChunkAddress own =
        ResolveChunkAddress(web, std::string("http://") + kMirror + "/own/path.rl3", "/c/a.rlt");
    EXPECT_TRUE(own.HasAddress());
    EXPECT_EQ(own.host, kMirror);
    EXPECT_EQ(own.URLText(), "http://127.0.0.1:" + std::to_string(server.Port()) + "/own/path.rl3");

    // The chart's host fails: the redirect on the chart server moves it.
    ServeChunkFile(server, "/moved.rl3", std::make_shared<CSparseFile>(source.BuildServerStore()));
    ServeRedirect(server, "/moved.rl3", kMirror);
    CChunkAddress moved = ResolveChunkAddress(web, "http://gone.test/moved.rl3", "/c/a.rlt");
    EXPECT_EQ(moved.host, kMirror);
    EXPECT_EQ(moved.path, "/moved.rl3");

    // The default address without a redirect file: none.
    EXPECT_FALSE(ResolveChunkAddress(web, "", "/c/nowhere.rlt").HasAddress());
    // A redirect that names no plain host: none.
    ServeChunkFile(server, "/mapchunks/evil.rl3", std::make_shared<CSparseFile>(source.BuildServerStore()));
    ServeRedirect(server, "/mapchunks/evil.rl3", "evil.test/../x");
    EXPECT_FALSE(ResolveChunkAddress(web, "", "/c/evil.rlt").HasAddress());
}

TEST_F(ChunkedFetch, RetriesStopAtTheContinueTestAndAfterFiveAttempts)
{
    const CChunkedChart source = MakeChart(16, 16);
    auto chart = ServeAndOpen(source, "retry");
    ASSERT_TRUE(chart);
    CWebServer web;
    ASSERT_TRUE(chart->GetChunkURL(web).HasAddress());
    server.SetStatus("/mapchunks/retry.rl3", 503);
    server.ClearRequests();
    EXPECT_FALSE(chart->GetChunkStore()->FetchChunkWithRetries(web, 0, 0, 0));
    EXPECT_EQ(server.RequestCount(), 5u);

    bool allow = false;
    web.SetConnectHook([](void* a) { return *static_cast<bool*>(a); }, &allow);
    server.ClearRequests();
    EXPECT_FALSE(chart->GetChunkStore()->FetchChunkWithRetries(web, 0, 0, 0));
    EXPECT_LE(server.RequestCount(), 1u);
}

TEST_F(ChunkedFetch, StoreServedPastTwoGigabytesIsReadFromItsParts)
{
    const CChunkedChart source = MakeChart(32, 16);
    chunkwriter::CServerStoreOptions options;
    options.firstRecordAt = (uint64_t(1) << 31) - 3000; // the first record straddles parts 0 and 1
    options.gap = uint64_t(3) << 30;                    // the second lies in part 2
    auto chart = ServeAndOpen(source, "huge", options);
    ASSERT_TRUE(chart);
    CWebServer web;
    ASSERT_TRUE(chart->GetChunkURL(web).HasAddress());
    server.ClearRequests();
    ASSERT_TRUE(chart->GetChunkStore()->FetchChunk(web, 0, 0, 0));
    ASSERT_TRUE(chart->GetChunkStore()->FetchChunk(web, 0, 1, 0));
    bool sawPart1 = false, sawPart2 = false;
    for (const auto& r : server.Requests()) {
        sawPart1 |= r.path == "/mapchunks/huge.rl3.1";
        sawPart2 |= r.path == "/mapchunks/huge.rl3.2";
    }
    EXPECT_TRUE(sawPart1);
    EXPECT_TRUE(sawPart2);
    const std::string single = dir + "/single.rlt";
    ASSERT_TRUE(source.WriteSingleFileChart(single));
    std::unique_ptr<CRasterleaf> reference(CRasterleaf::OpenFile(nullptr, single));
    EXPECT_EQ(Render(*chart, 0), Render(*reference, 0));
}

} // namespace
