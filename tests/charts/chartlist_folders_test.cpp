// Header scans and chart folders: which files become charts, what their
// outlines hold, and how folder scans, links and rescans behave.
#include "charts/ChartFormat.h"
#include "charts/chartlist/ChartList.h"
#include "chartwriter/ChartWriter.h"
#include "foundation/events/Listener.h"
#include "foundation/util/Files.h"
#include "support/TestPaths.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using chartwriter::CChartWriter;

namespace {

struct ChartSpec
{
    double west = 10, north = 55, east = 11, south = 54;
    uint32_t tiles = 2;
    uint8_t kind = 0;
    std::string name = "Chart", mapType = "Topo", edition, revision;
    std::vector<std::pair<double, double>> outline;
};

CChartWriter Writer(const ChartSpec& s)
{
    CChartWriter w(s.tiles, s.tiles);
    w.kind = s.kind;
    w.name = s.name;
    w.mapType = s.mapType;
    w.edition = s.edition;
    w.revision = s.revision;
    w.outline = s.outline;
    chartwriter::PlateCarreeCoefficients(s.west, s.north, s.east, s.south, 64 * int(s.tiles),
                                         64 * int(s.tiles), w.forward, w.inverse);
    return w;
}

std::string Write(const std::string& path, const ChartSpec& s = {})
{
    fs::create_directories(fs::path(path).parent_path());
    EXPECT_TRUE(Writer(s).Write(path)) << path;
    return path;
}

std::vector<uint8_t> Bytes(const ChartSpec& s = {})
{
    return Writer(s).Build();
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}

std::shared_ptr<CChartOutline> Scan(const std::vector<uint8_t>& bytes)
{
    CChartBufferSource source(bytes.data(), bytes.size());
    return CChartOutline::FromSource(source, "/charts/x.rlt");
}

std::vector<std::string> Names(const CChartList& list)
{
    std::vector<std::string> names;
    for (const auto& o : list.Outlines())
        names.push_back(o->name);
    std::sort(names.begin(), names.end());
    return names;
}

struct ChangeCounter : Listener<CChartList>
{
    int count = 0;
    void Notify(const CChartList&) override { ++count; }
};

} // namespace

TEST(ChartHeaderScan, OutlineBoundsScaleAndEdition)
{
    ChartSpec plain;
    auto corners = Scan(Bytes(plain));
    ASSERT_TRUE(corners);
    // No outline points: the image corners are the bounds and the outline.
    EXPECT_NEAR(corners->minLat, 54, 1e-6);
    EXPECT_NEAR(corners->maxLat, 55, 1e-6);
    EXPECT_NEAR(corners->minLon, 10, 1e-6);
    EXPECT_NEAR(corners->maxLon, 11, 1e-6);
    EXPECT_EQ(corners->Outline().Size(), 4u);
    EXPECT_NEAR(corners->scale, 60.0 / 128, 1e-6); // 1 degree of latitude over 128 pixels
    EXPECT_EQ(corners->name, "Chart");
    EXPECT_EQ(corners->mapType, "Topo");
    EXPECT_FALSE(corners->chunked);

    ChartSpec shaped;
    shaped.outline = {{54.2, 10.2}, {54.8, 10.2}, {54.8, 10.5}, {54.2, 10.5}};
    shaped.name = "";
    shaped.edition = "03/12/2019";
    auto o = Scan(Bytes(shaped));
    ASSERT_TRUE(o);
    EXPECT_NEAR(o->minLat, 54.2, 1e-12);
    EXPECT_NEAR(o->maxLon, 10.5, 1e-12);
    EXPECT_EQ(o->name, "/charts/x.rlt");
    EXPECT_EQ(o->edition, 20190312u);

    // A revision in date form wins over the edition.
    shaped.revision = "1/2/2021";
    shaped.edition = "Edition 7";
    EXPECT_EQ(Scan(Bytes(shaped))->edition, 20210102u);
    shaped.revision = "rev 3";
    EXPECT_EQ(Scan(Bytes(shaped))->edition, 7u);
}

TEST(ChartHeaderScan, EditionNumbersNeverOverflow)
{
    EXPECT_EQ(EditionNumber("03/12/2019"), 20190312u);
    EXPECT_EQ(EditionNumber("2019-03-12"), 20190312u);
    EXPECT_EQ(EditionNumber("12"), 12u);
    EXPECT_EQ(EditionNumber(""), 0u);
    EXPECT_EQ(EditionNumber("12345678901234567890"), 0xFFFFFFFFu);
    EXPECT_EQ(EditionNumber("1/1/99999999999999999999"), 0xFFFFFFFFu);
}

TEST(ChartHeaderScan, BrokenHeadersAreRefused)
{
    const std::vector<uint8_t> good = Bytes();
    ASSERT_TRUE(Scan(good));
    using namespace chartfile;

    auto with = [&](size_t at, uint32_t v) {
        auto b = good;
        Put32(b, at, v);
        return b;
    };
    EXPECT_TRUE(Scan(with(0, 0x1423D5FE))); // bit 0 of the magic is free
    EXPECT_FALSE(Scan(with(0, 0x12345678)));
    EXPECT_FALSE(Scan(with(4, 6)));          // newer format
    EXPECT_FALSE(Scan(with(4, 0x10000005))); // RL2
    EXPECT_FALSE(Scan(with(4, 0x02000005))); // unknown kind
    EXPECT_TRUE(Scan(with(4, 0x01000005)));  // chunked: no tile table needed
    EXPECT_FALSE(Scan(with(8, 0)));          // no tiles
    EXPECT_FALSE(Scan(with(4 * kWordName, uint32_t(good.size()))));
    // An outline count whose points would run past the end of the file.
    EXPECT_FALSE(Scan(with(4 * kWordOutlineCount, 0x0FFFFFFF)));
    EXPECT_FALSE(Scan(with(4 * kWordOutlineCount, 0xFFFFFFFF)));
    // The last tile-table entry must point into the file.
    EXPECT_FALSE(Scan(with(kTileTableOffset - 4 + 4 * 4, uint32_t(good.size()))));

    std::vector<uint8_t> shortFile(good.begin(), good.begin() + kMinFileSize - 1);
    EXPECT_FALSE(Scan(shortFile));

    // A scale that is not a number (or 0) cannot be ordered: refused.
    ChartSpec flat;
    auto w = Writer(flat);
    std::fill(std::begin(w.inverse), std::end(w.inverse), 0.0);
    EXPECT_FALSE(Scan(w.Build()));
    w.inverse[1] = std::nan("");
    EXPECT_FALSE(Scan(w.Build()));

    ChartSpec bad;
    bad.outline = {{54, 10}, {std::nan(""), 10.5}, {55, 11}};
    EXPECT_FALSE(Scan(Bytes(bad)));
}

TEST(ChartHeaderScan, OutlinesAcrossTheDateLine)
{
    ChartSpec s;
    s.west = 179;
    s.east = 181;
    s.outline = {{54, 179}, {55, 179}, {55, -179}, {54, -179}};
    auto o = Scan(Bytes(s));
    ASSERT_TRUE(o);
    // Points more than 180 degrees from the centre are moved by 360.
    EXPECT_NEAR(o->maxLon, 181, 1e-9);
    std::string dir = tessatest::MakeScratchDir("dateline");
    Write(dir + "/d.rlt", s);
    auto file = CChartOutline::FromFile(dir + "/d.rlt");
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->Contains(54.5, 179.5));
    EXPECT_TRUE(file->Contains(54.5, -179.5));
    EXPECT_FALSE(file->Contains(54.5, -178.5));
    fs::remove_all(dir);
}

class ChartFolders : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = tessatest::MakeScratchDir("chartlist");
        ASSERT_FALSE(root.empty());
        folders.standard = {root + "/docs"};
        folders.documents = root + "/docs";
        folders.mapFoldersFile = root + "/docs/map_folders.txt";
        fs::create_directories(root + "/docs");
    }
    void TearDown() override { fs::remove_all(root); }

    std::string root;
    CChartFolders folders;
};

TEST_F(ChartFolders, ListHoldsExactlyTheValidChartsOnce)
{
    const std::string d = root + "/docs";
    ChartSpec s;
    s.name = "Single";
    Write(d + "/single.rlt", s);
    s.name = "Nested";
    Write(d + "/a/b/c/nested.RLT", s);
    s.name = "Chunked";
    s.kind = 0x01;
    Write(d + "/a/chunked.rlt", s);
    s.kind = 0x20;
    s.name = "Chunked20";
    Write(d + "/a/chunked20.rlt", s);
    s.kind = 0;
    s.name = "Hidden folder";
    Write(d + "/.hidden/h.rlt", s);
    s.name = "Not a chart name";
    Write(d + "/notes.txt", s);

    // Broken files beside the good ones.
    ChartSpec big;
    big.tiles = 8; // its tile table runs to byte 18,080
    auto good = Bytes(big);
    WriteBytes(d + "/truncated.rlt", std::vector<uint8_t>(good.begin(), good.begin() + 18000));
    WriteBytes(d + "/short.rlt", std::vector<uint8_t>(good.begin(), good.begin() + 17831));
    WriteBytes(d + "/empty.rlt", {});
    WriteBytes(d + "/garbage.rlt", std::vector<uint8_t>(30000, 0xAB));
    fs::create_directory(d + "/folder.rlt");
    fs::create_symlink(d + "/missing.rlt", d + "/dangling.rlt");
    mkfifo((d + "/pipe.rlt").c_str(), 0600);

    // The same files reached again: a link loop, a linked file, a hard link.
    fs::create_directory_symlink(d, d + "/a/loop");
    fs::create_symlink(d + "/single.rlt", d + "/a/linked.rlt");
    fs::create_hard_link(d + "/single.rlt", d + "/a/b/hard.rlt");

    // Also registered through the folders file, twice, plus a comment.
    std::ofstream(folders.mapFoldersFile) << "# extra\n\n" << d << "/a\n" << d << "/a\n";

    CChartList list;
    ChangeCounter changes;
    list.Init(folders);
    EXPECT_EQ(changes.count, 1);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"Chunked", "Chunked20", "Nested", "Single"}));
    EXPECT_EQ(list.Folders().size(), 2u);
    EXPECT_TRUE(list.FindByPath(d + "/a/chunked.rlt")->chunked);
    // The linked and hard-linked names resolve to the one outline.
    EXPECT_EQ(list.AddChart(d + "/a/b/hard.rlt"), list.AddChart(d + "/single.rlt"));
    EXPECT_EQ(list.AddChart(d + "/a/linked.rlt"), list.AddChart(d + "/single.rlt"));
    EXPECT_EQ(list.Outlines().size(), 4u);
}

TEST_F(ChartFolders, RescansFollowAddedAndRemovedFiles)
{
    const std::string d = root + "/docs";
    ChartSpec s;
    s.name = "One";
    Write(d + "/sub/one.rlt", s);
    CChartList list;
    ChangeCounter changes;
    list.Init(folders);
    ASSERT_EQ(Names(list), (std::vector<std::string>{"One"}));
    auto one = list.Outlines()[0];
    list.SetCurrentOutline(one);
    EXPECT_FALSE(list.RescanIfChanged());
    EXPECT_EQ(changes.count, 1);

    s.name = "Two";
    Write(d + "/sub/two.rlt", s);
    EXPECT_TRUE(list.RescanIfChanged());
    EXPECT_EQ(changes.count, 2);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"One", "Two"}));
    // An unchanged file keeps its outline object, and the current chart stays.
    EXPECT_EQ(list.FindByPath(d + "/sub/one.rlt"), one);
    EXPECT_EQ(list.GetCurrentOutline(), one);

    fs::remove(d + "/sub/one.rlt");
    EXPECT_TRUE(list.RescanIfChanged());
    EXPECT_EQ(Names(list), (std::vector<std::string>{"Two"}));
    EXPECT_EQ(list.GetCurrentOutline(), nullptr);
    EXPECT_EQ(changes.count, 3);
}

TEST_F(ChartFolders, AddFolderNotesItOnceInTheFoldersFile)
{
    CChartList list;
    list.Init(folders);
    const std::string extra = root + "/extra";
    Write(extra + "/e.rlt");
    EXPECT_FALSE(list.AddFolder(root + "/none"));
    EXPECT_FALSE(list.AddFolder(extra + "/e.rlt"));
    EXPECT_FALSE(list.AddFolder(extra + "\nevil"));
    EXPECT_TRUE(list.AddFolder(extra));
    EXPECT_FALSE(list.AddFolder(extra + "/."));
    EXPECT_EQ(list.Outlines().size(), 1u);

    std::ifstream in(folders.mapFoldersFile);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "\n" + extra);

    CChartList again;
    again.Init(folders);
    EXPECT_EQ(again.Folders().size(), 2u);
    EXPECT_EQ(again.Outlines().size(), 1u);

    // A list that is there but cannot be read whole is never replaced by the
    // new folder alone.
    fs::resize_file(folders.mapFoldersFile, kMaxReadFileBytes + 1);
    const std::string more = root + "/more";
    fs::create_directories(more);
    EXPECT_TRUE(again.AddFolder(more));
    EXPECT_EQ(fs::file_size(folders.mapFoldersFile), uintmax_t(kMaxReadFileBytes + 1));
}
