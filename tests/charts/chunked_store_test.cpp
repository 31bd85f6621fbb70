// The local chunk store: part files, big sparse stores, one store object per
// path shared by every chart that opens it, and concurrent fetches into it.
// TESSA_TSAN_LABEL
#include "charts/chunked/ChunkAddress.h"
#include "charts/chunked/ChunkStore.h"
#include "charts/chunked/Rasterleaf3.h"
#include "charts/chunked/SegmentedFile.h"
#include "chunkwriter/ChunkWriter.h"
#include "foundation/web/ChartServer.h"
#include "foundation/web/WebServer.h"
#include "loopback/LoopbackServer.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <thread>

namespace {

namespace fs = std::filesystem;
using chunkwriter::CChunkedChart;

std::vector<uint32_t> Render(CRasterleaf& chart, int shift = 0)
{
    const int w = chart.PixelWidth() >> shift, h = chart.PixelHeight() >> shift;
    std::vector<uint32_t> out(size_t(w) * size_t(h));
    auto work = std::make_unique<CTileWorkBlock>();
    EXPECT_EQ(chart.GetPixels(0, 0, w, h, w, shift, out.data(), work.get()), 0);
    return out;
}

class ChunkedStore : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = tessatest::MakeScratchDir("chunked_store");
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::unique_ptr<CRasterleaf> Reference(const CChunkedChart& chart)
    {
        EXPECT_TRUE(chart.WriteSingleFileChart(dir + "/reference.rlt"));
        return std::unique_ptr<CRasterleaf>(CRasterleaf::OpenFile(nullptr, dir + "/reference.rlt"));
    }
    std::string dir;
};

TEST_F(ChunkedStore, SegmentedFileSplitsPositionsIntoParts)
{
    CSegmentedFile f;
    EXPECT_FALSE(f.Open(dir + "/none", CSegmentedFile::kReadOnly));
    ASSERT_TRUE(f.Open(dir + "/parts", CSegmentedFile::kReadWrite));
    EXPECT_TRUE(f.IsFolder());
    const uint64_t p3 = (uint64_t(3) << 32) | 100;
    ASSERT_TRUE(f.WriteTwo(p3, "abc", 3, "def", 3));
    char back[8] = {};
    EXPECT_EQ(f.Read(p3, back, 6), 6);
    EXPECT_STREQ(back, "abcdef");
    EXPECT_EQ(fs::file_size(dir + "/parts/3"), 106u);
    struct stat st;
    ASSERT_EQ(::stat((dir + "/parts/3").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    // Part 100 does not exist by design; a region may not run over its part's end.
    EXPECT_EQ(f.Read(uint64_t(100) << 32, back, 1), -1);
    EXPECT_FALSE(f.Write(uint64_t(100) << 32, "x", 1));
    EXPECT_EQ(f.GetLastError(), EINVAL);
    EXPECT_FALSE(f.Write((uint64_t(1) << 32) - 2, "xyz", 3));
    f.Close();

    // Allocation continues in the last part and starts the next one at 4 GB.
    ASSERT_TRUE(chunkwriter::MakeSparseFile(dir + "/grow/0", (uint64_t(1) << 32) - 100));
    ASSERT_TRUE(f.Open(dir + "/grow", CSegmentedFile::kReadWrite));
    const int64_t a = f.Allocate(60, 4);
    EXPECT_EQ(a, int64_t((uint64_t(1) << 32) - 100));
    const int64_t b = f.Allocate(60, 4);
    EXPECT_EQ(b, int64_t(uint64_t(1) << 32)); // part 1, offset 0
    const int64_t c = f.Allocate(10, 8);
    EXPECT_EQ(c, int64_t((uint64_t(1) << 32) | 64));
    EXPECT_EQ(fs::file_size(dir + "/grow/1"), 74u);
    f.Close();

    // A plain file takes plain offsets, also past 4 GB; read-only refuses writes.
    ASSERT_TRUE(chunkwriter::MakeSparseFile(dir + "/plain", (uint64_t(1) << 32) + 10));
    ASSERT_TRUE(f.Open(dir + "/plain", CSegmentedFile::kReadWrite));
    EXPECT_FALSE(f.IsFolder());
    EXPECT_EQ(f.Allocate(8, 8), int64_t((uint64_t(1) << 32) + 16));
    f.Close();
    ASSERT_TRUE(f.Open(dir + "/plain", CSegmentedFile::kReadOnly));
    EXPECT_FALSE(f.Write(0, "x", 1));
    EXPECT_EQ(f.Allocate(8, 8), -1);
    EXPECT_FALSE(f.HasWriteError()); // refused, not failed
}

TEST_F(ChunkedStore, BigSparseLocalStoresDecodeFromFarPositions)
{
    const CChunkedChart source(32, 20, chunkwriter::MakeChartImage(32 * 64, 20 * 64, 11));
    auto reference = Reference(source);
    ASSERT_TRUE(reference);
    const std::vector<uint32_t> expected = Render(*reference);
    struct Case
    {
        const char* name;
        bool folder;
        uint64_t first;
    } cases[] = {
        {"past32mb", false, (uint64_t(32) << 20) + 40}, {"past2gb", false, (uint64_t(1) << 31) + 8},
        {"past4gb", false, (uint64_t(1) << 32) + 1024}, {"parts", true, (uint64_t(2) << 32) | 4096},
        {"crossing", true, (uint64_t(1) << 32) - 5000}, // no record may cross into part 1
    };
    for (const Case& k : cases) {
        const std::string chart = dir + "/" + k.name + ".rlt";
        ASSERT_TRUE(source.WriteChartFile(chart));
        ASSERT_TRUE(source.WriteLocalStore(dir + "/" + k.name + ".rl3", k.folder, k.first)) << k.name;
        std::unique_ptr<CRasterleaf3> opened(dynamic_cast<CRasterleaf3*>(OpenChartFile(nullptr, chart)));
        ASSERT_TRUE(opened) << k.name;
        EXPECT_TRUE(opened->GetChunkStore()->IsLoaded());
        EXPECT_TRUE(opened->GetChunkStore()->IsComplete(1, 1)) << k.name;
        EXPECT_EQ(Render(*opened), expected) << k.name;
    }
    EXPECT_TRUE(fs::exists(dir + "/crossing.rl3/1"));
}

TEST_F(ChunkedStore, TheChartFactoryOpensBothChunkedKinds)
{
    for (uint8_t kind : {uint8_t(0x01), uint8_t(0x20)}) {
        CChunkedChart source(16, 16, chunkwriter::MakeChartImage(1024, 1024, kind));
        source.kind = kind;
        const std::string path = dir + "/kind" + std::to_string(kind) + ".rlt";
        ASSERT_TRUE(source.WriteChartFile(path));
        ASSERT_TRUE(source.WriteLocalStore(dir + "/kind" + std::to_string(kind) + ".rl3", false));
        std::unique_ptr<CRasterleaf> chart(CRasterleaf::OpenFile(nullptr, path));
        ASSERT_TRUE(dynamic_cast<CRasterleaf3*>(chart.get())) << int(kind);
        EXPECT_TRUE(chart->IsDownloadable());
        auto reference = Reference(source);
        EXPECT_EQ(Render(*chart, 2), Render(*reference, 2));
    }
}

TEST_F(ChunkedStore, StoreFilesThatAreNotOursOrOnlyHalfWritten)
{
    const CChunkedChart source(16, 16, chunkwriter::MakeChartImage(1024, 1024, 5));
    ASSERT_TRUE(source.WriteChartFile(dir + "/a.rlt"));
    // Something else under the store's name: the chart does not open and the file stays.
    {
        std::ofstream other(dir + "/a.rl3", std::ios::binary);
        other << std::string(64, 'Q');
    }
    EXPECT_EQ(OpenChartFile(nullptr, dir + "/a.rlt"), nullptr);
    EXPECT_EQ(fs::file_size(dir + "/a.rl3"), 64u);
    fs::remove(dir + "/a.rl3");

    // The upper-case name wins when it exists.
    ASSERT_TRUE(source.WriteLocalStore(dir + "/a.RL3", false));
    std::unique_ptr<CRasterleaf3> upper(dynamic_cast<CRasterleaf3*>(OpenChartFile(nullptr, dir + "/a.rlt")));
    ASSERT_TRUE(upper);
    EXPECT_NE(upper->GetChunkStore()->LocalPath().find("a.RL3"), std::string::npos);
    EXPECT_TRUE(upper->GetChunkStore()->IsComplete(0, 0));
    upper.reset();
    fs::remove(dir + "/a.RL3");

    // Words written but never marked present (a fetch cut short) are not used.
    ASSERT_TRUE(source.WriteLocalStore(dir + "/a.rl3", false, 0, {}, 0));
    {
        std::fstream f(dir + "/a.rl3", std::ios::in | std::ios::out | std::ios::binary);
        f.seekg(40);
        char entry[8];
        f.read(entry, 8);
        const int64_t at = chunkfile::Get64(reinterpret_cast<uint8_t*>(entry));
        f.seekp(at + 40);
        const char zero[4] = {};
        f.write(zero, 4);
    }
    std::unique_ptr<CRasterleaf3> cut(dynamic_cast<CRasterleaf3*>(OpenChartFile(nullptr, dir + "/a.rlt")));
    ASSERT_TRUE(cut);
    std::vector<uint8_t> tile(kTilePixels);
    CTileContext context;
    ASSERT_EQ(cut->GetTile(3, 4, 0, tile.data(), &context), 0);
    EXPECT_EQ(context.largestShortfall, 10); // the absent pattern, asked for again
    EXPECT_EQ(std::count(tile.begin(), tile.end(), 1), kTilePixels);
    EXPECT_FALSE(cut->GetChunkStore()->IsComplete(0, 0));

    // A corrupt index entry (pointing nowhere) reads as absent and is dropped.
    {
        std::fstream f(dir + "/a.rl3", std::ios::in | std::ios::out | std::ios::binary);
        uint8_t entry[8];
        chunkfile::Put64(entry, int64_t(1) << 50);
        f.seekp(40);
        f.write(reinterpret_cast<char*>(entry), 8);
    }
    cut->ClearTileCache();
    ASSERT_EQ(cut->GetTile(3, 4, 0, tile.data(), &context), 0);
    EXPECT_EQ(std::count(tile.begin(), tile.end(), 0), kTilePixels);
    EXPECT_EQ(cut->GetChunkStore()->ReadEntry(0, 0), 0);
}

class SharedStore : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(server.Port(), 0) << server.Error();
        setenv(CChartServer::kEnvironmentVariable, server.BaseURL().c_str(), 1);
        CWebServer::SetDefaultTimeouts(5000, 5000);
        chunkwriter::MapChunkHostToLoopback("mirror.test", server.Port());
        dir = tessatest::MakeScratchDir("shared_store");
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override
    {
        SetChunkHostMapForTesting({});
        unsetenv(CChartServer::kEnvironmentVariable);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    tessatest::LoopbackServer server;
    std::string dir;
};

TEST_F(SharedStore, ChartsOnOnePathShareOneStoreAndNeverAllocateTheSameRegion)
{
    const CChunkedChart source(64, 48, chunkwriter::MakeChartImage(64 * 64, 48 * 64, 21));
    chunkwriter::ServeChunkFile(server, "/mapchunks/shared.rl3",
                                std::make_shared<chunkwriter::CSparseFile>(source.BuildServerStore()));
    chunkwriter::ServeRedirect(server, "/mapchunks/shared.rl3", "mirror.test");
    ASSERT_TRUE(source.WriteChartFile(dir + "/shared.rlt"));
    fs::create_directory_symlink(dir, dir + "/link");

    const size_t before = CChunkStore::LiveStoreCount();
    std::unique_ptr<CRasterleaf3> view(
        dynamic_cast<CRasterleaf3*>(OpenChartFile(nullptr, dir + "/shared.rlt")));
    std::unique_ptr<CRasterleaf3> download(
        dynamic_cast<CRasterleaf3*>(OpenChartFile(nullptr, dir + "/link/shared.rlt")));
    ASSERT_TRUE(view);
    ASSERT_TRUE(download);
    EXPECT_EQ(view->GetChunkStore(), download->GetChunkStore());
    EXPECT_EQ(CChunkStore::LiveStoreCount(), before + 1);

    // Four threads, two per chart, fetch overlapping sets of chunks at once.
    const int rows = view->ChunkRows(), columns = view->ChunkColumns();
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t) {
        CRasterleaf3* chart = t % 2 ? download.get() : view.get();
        threads.emplace_back([&, chart, t] {
            CWebServer web;
            if (!chart->GetChunkURL(web).HasAddress()) {
                ++failures;
                return;
            }
            for (int i = 0; i < rows * columns; ++i) {
                const int k = (i * (t + 1)) % (rows * columns);
                for (int level : {4, 1, 0})
                    if (!chart->GetChunkStore()->FetchChunk(web, k / columns, k % columns, level))
                        ++failures;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);

    // Every record lies in its own region.
    CChunkStore* store = view->GetChunkStore();
    std::vector<std::pair<int64_t, int64_t>> regions;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            ASSERT_TRUE(store->IsComplete(r, c)) << r << "," << c;
            const int64_t at = store->ReadEntry(r, c);
            regions.emplace_back(at,
                                 at + 76 + 4 * int64_t(chunkwriter::RecordCounts(source.Record(c, r))[0]));
        }
    std::sort(regions.begin(), regions.end());
    for (size_t i = 1; i < regions.size(); ++i)
        EXPECT_LE(regions[i - 1].second, regions[i].first);

    ASSERT_TRUE(source.WriteSingleFileChart(dir + "/reference.rlt"));
    std::unique_ptr<CRasterleaf> reference(CRasterleaf::OpenFile(nullptr, dir + "/reference.rlt"));
    view->ClearTileCache();
    EXPECT_EQ(Render(*view, 1), Render(*reference, 1));
    view.reset();
    download.reset();
    EXPECT_EQ(CChunkStore::LiveStoreCount(), before);
}

} // namespace
