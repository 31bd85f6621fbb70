#include "app/dialogs/ChartProblemBox.h"
#include "charts/ChartPorts.h"
#include "charts/Rasterleaf.h"
#include "chartwriter/ChartWriter.h"
#include "support/InstalledPort.h"
#include "support/ScriptedPresenter.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <random>
#include <unistd.h>

using namespace chartwriter;

namespace {

class RasterleafTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = tessatest::MakeScratchDir("rasterleaf");
        presenter.SetImmediate(true);
    }

    std::string Save(const std::vector<uint8_t>& bytes, const std::string& name = "chart.rlt")
    {
        const std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }
    std::unique_ptr<CRasterleaf> OpenBytes(const std::vector<uint8_t>& bytes)
    {
        return std::unique_ptr<CRasterleaf>(CRasterleaf::OpenFile(nullptr, Save(bytes)));
    }
    // The one "Problem" box the last open showed.
    std::string Message() const
    {
        if (presenter.Shown().empty())
            return "<none>";
        EXPECT_EQ(presenter.Last().title, "Problem");
        EXPECT_EQ(presenter.Last().buttons, std::vector<std::string>{"OK"});
        return presenter.Last().text;
    }

    std::string dir;
    tessatest::CScriptedPresenter presenter;
    // The application's reporter: the "Problem" box.
    CChartProblemBox problemBox;
    tessatest::CInstalledPort<IChartProblemReporter> reporter{problemBox};
};

// A 3 x 2 tile chart whose tile (x, y) is filled with index 10 * y + x + 2,
// except tile (1, 1), which holds a pattern, in the kind given.
CChartWriter SmallChart(TileKind kind = TileKind::Smallest, std::vector<uint8_t>* pattern = nullptr)
{
    CChartWriter w(3, 2);
    PlateCarreeCoefficients(10, 50, 13, 48, 192, 128, w.forward, w.inverse);
    for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 3; ++x) {
            std::vector<uint8_t> tile(kTilePixels, uint8_t(10 * y + x + 2));
            if (x == 1 && y == 1) {
                for (int i = 0; i < kTilePixels; ++i)
                    tile[size_t(i)] = uint8_t(((i / 64) * 3 + (i % 64)) % 50);
                if (pattern)
                    *pattern = tile;
            }
            w.SetTile(x, y, tile.data(), kind);
        }
    return w;
}

} // namespace

TEST_F(RasterleafTest, HeaderFieldsStringsAndBlocksReadBackAsWritten)
{
    CChartWriter w = SmallChart();
    w.name = "Harbour";
    w.title2 = "Second";
    w.rights = "(C) Caf\xE9 Survey";
    w.mapType = "Nautical chart";
    w.depths = "Metres";
    w.flags = 0x1234;
    w.version = 4;
    w.magic = 0x1423D5FE; // bit 0 is not part of the magic
    w.outline = {{48.5, 10.5}, {49.5, 10.5}, {49.5, 12.5}};
    w.datumShift = std::make_pair(0.001, -0.002);
    w.chunkAddress = "charts/harbour";
    for (int i = 0; i < 128; ++i)
        w.palette[i] = 0x010203u * uint32_t(i);
    auto chart = OpenBytes(w.Build());
    ASSERT_TRUE(chart) << Message();
    EXPECT_TRUE(presenter.Shown().empty());

    EXPECT_EQ(chart->PixelWidth(), 192);
    EXPECT_EQ(chart->PixelHeight(), 128);
    EXPECT_EQ(chart->FormatVersion(), 4u);
    EXPECT_EQ(chart->Flags(), 0x1234u);
    EXPECT_EQ(chart->GetTitle(), "Harbour. Soundings in Metres");
    EXPECT_EQ(chart->GetRightsNotice(), "(C) Caf\xC3\xA9 Survey"); // ISO 8859-1 to UTF-8
    EXPECT_EQ(chart->GetMapType(), "Nautical chart");
    EXPECT_EQ(chart->Palette()[5], 0x050A0Fu);
    std::vector<std::pair<double, double>> outline;
    EXPECT_TRUE(chart->ReadOutline(outline));
    EXPECT_EQ(outline, w.outline);
    EXPECT_TRUE(chart->HasDatumShift());
    EXPECT_DOUBLE_EQ(chart->LatShift(), 0.001);
    EXPECT_DOUBLE_EQ(chart->LonShift(), -0.002);
    EXPECT_EQ(chart->ChunkAddressLength(), 8u);
    std::string address;
    chart->ReadString(chart->ChunkAddressString(), address);
    EXPECT_EQ(address, "charts/harbour");
    EXPECT_NEAR(chart->CentreLon(), 11.5 - 0.002, 1e-9);

    // Shifts apply both ways: the image centre is (49, 11.5) plus the shift.
    double lat, lon;
    chart->PixelToLatLon(96, 64, lat, lon);
    EXPECT_NEAR(lat, 49.001, 1e-9);
    EXPECT_NEAR(lon, 11.498, 1e-9);
    int px, py;
    EXPECT_TRUE(chart->LatLonToPixelInt(49.001, 11.498, px, py));
    EXPECT_EQ(px, 96);
    EXPECT_EQ(py, 64);

    chart->Close();
    EXPECT_FALSE(chart->IsOpen());
    EXPECT_EQ(chart->GetTitle(), "");
    EXPECT_EQ(chart->GetRightsNotice(), "");
}

TEST_F(RasterleafTest, TitleFallsBackThroughTheNamesToThePath)
{
    CChartWriter w = SmallChart();
    w.title2 = "Second";
    w.identifier = "ID 7";
    w.depths = "Fathoms";
    w.mapType = "Topographic"; // not nautical: no soundings unit
    auto chart = OpenBytes(w.Build());
    ASSERT_TRUE(chart);
    EXPECT_EQ(chart->GetTitle(), "Second");
    w.title2.clear();
    w.mapType = "Hydrographic";
    chart = OpenBytes(w.Build());
    EXPECT_EQ(chart->GetTitle(), "ID 7. Soundings in Fathoms");
    w.identifier.clear();
    w.depths.clear();
    chart = OpenBytes(w.Build());
    EXPECT_EQ(chart->GetTitle(), dir + "/chart.rlt");
}

TEST_F(RasterleafTest, EveryRefusalIsExplainedAndGivesNoChart)
{
    const std::vector<uint8_t> good = SmallChart().Build();
    const std::string path = dir + "/chart.rlt";
    struct Case
    {
        const char* what;
        std::vector<uint8_t> bytes;
        std::string message; // "" when the factory refuses silently
    };
    std::vector<Case> cases;
    auto with = [&](size_t at, uint32_t word) {
        auto b = good;
        std::memcpy(b.data() + at, &word, 4);
        return b;
    };
    cases.push_back({"too short", std::vector<uint8_t>(good.begin(), good.begin() + 17831),
                     "Not a Rasterleaf: \"" + path + "\""});
    cases.push_back({"wrong magic", with(0, 0x1423D5FD), ""});
    cases.push_back(
        {"version 6", with(4, 6),
         "To open this map you need a newer version of your software.\n\n" + path + " is version 6."});
    cases.push_back(
        {"version 7", with(4, 7),
         "To open this map you need a newer version of your software.\n\n" + path + " is version 7."});
    cases.push_back({"foreign kind", with(4, 0x10000005), ""});
    cases.push_back({"zero width", with(8, 0), "Not a Rasterleaf: \"" + path + "\""});
    cases.push_back({"table past the end", with(12, 1000), "Not a Rasterleaf: \"" + path + "\""});
    cases.push_back({"huge grid", with(8, 0xFFFFFFFF), "Not a Rasterleaf: \"" + path + "\""});
    cases.push_back({"catalog header", with(17824, 0),
                     "This map is a catalog header and has not been completely converted."});
    for (const Case& c : cases) {
        presenter.ClearShown();
        EXPECT_FALSE(OpenBytes(c.bytes)) << c.what;
        if (c.message.empty())
            EXPECT_TRUE(presenter.Shown().empty()) << c.what;
        else
            EXPECT_EQ(Message(), c.message) << c.what;
    }

    // Open itself refuses the kinds the factory filters out.
    CRasterleaf1 chart;
    presenter.ClearShown();
    EXPECT_EQ(chart.Open(nullptr, Save(with(4, 0x10000005))), -1);
    EXPECT_EQ(Message(), "This RL2 map is not compatible");
    EXPECT_EQ(chart.Open(nullptr, Save(with(0, 0x12345678))), -1);
    EXPECT_EQ(Message(), "Not a Rasterleaf: \"" + path + "\"");
    EXPECT_FALSE(chart.IsOpen());
    presenter.ClearShown();
    EXPECT_EQ(chart.Open(nullptr, dir + "/missing.rlt"), -1);
    EXPECT_TRUE(presenter.Shown().empty());
    // Version 5 with bit 0 of the magic clear is fine.
    EXPECT_EQ(chart.Open(nullptr, Save(with(0, 0x1423D5FE))), 0);
}

TEST_F(RasterleafTest, ProblemsGoToTheInstalledReporterWithTheOwner)
{
    std::vector<uint8_t> rl2 = SmallChart().Build();
    const uint32_t kind = 0x10000005;
    std::memcpy(rl2.data() + 4, &kind, 4);
    const std::string path = Save(rl2);
    struct Report
    {
        QWidget* owner;
        std::string text;
    };
    struct CRecorder : IChartProblemReporter
    {
        void ReportChartProblem(QWidget* owner, const std::string& text) override
        {
            reports.push_back({owner, text});
        }
        std::vector<Report> reports;
    } recorder;
    std::vector<Report>& reports = recorder.reports;
    InstallPort<IChartProblemReporter>(&recorder);
    int place = 0;
    QWidget* owner = reinterpret_cast<QWidget*>(&place); // only passed on, never used
    CRasterleaf1 chart;
    presenter.ClearShown();
    EXPECT_EQ(chart.Open(owner, path), -1);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].owner, owner);
    EXPECT_EQ(reports[0].text, "This RL2 map is not compatible");
    EXPECT_TRUE(presenter.Shown().empty()); // the reader opens no box itself

    // Without a reporter the text is only logged.
    InstallPort<IChartProblemReporter>(nullptr);
    EXPECT_EQ(chart.Open(owner, path), -1);
    EXPECT_TRUE(presenter.Shown().empty());
    EXPECT_EQ(reports.size(), 1u);

    // The application's reporter: the "Problem" box.
    InstallPort<IChartProblemReporter>(&problemBox);
    EXPECT_EQ(chart.Open(nullptr, path), -1);
    EXPECT_EQ(Message(), "This RL2 map is not compatible");
}

TEST_F(RasterleafTest, BlocksOutsideTheFileCountAsAbsent)
{
    CChartWriter w = SmallChart();
    w.mapType = "Nautical";
    w.datumShift = std::make_pair(1.0, 1.0);
    w.outline = {{1, 2}, {3, 4}};
    w.name = "N";
    auto bytes = w.Build();
    const uint32_t size = uint32_t(bytes.size());
    auto put = [&](size_t at, uint32_t v) { std::memcpy(bytes.data() + at, &v, 4); };
    // Extension block straddling the end, outline running past it, a name
    // without a terminator at the very end.
    auto broken = bytes;
    std::memcpy(broken.data() + 84, &size, 4);
    const uint32_t past = size - 20, many = 1000000;
    std::memcpy(broken.data() + 92, &past, 4);
    std::memcpy(broken.data() + 88, &many, 4);
    broken.push_back('Z');
    const uint32_t nameAt = uint32_t(broken.size() - 1);
    std::memcpy(broken.data() + 20, &nameAt, 4);
    auto chart = OpenBytes(broken);
    ASSERT_TRUE(chart) << Message();
    EXPECT_EQ(chart->GetMapType(), "");
    EXPECT_FALSE(chart->HasDatumShift());
    EXPECT_EQ(chart->GetTitle(), "Z");
    std::vector<std::pair<double, double>> outline;
    EXPECT_FALSE(chart->ReadOutline(outline));
    EXPECT_TRUE(outline.empty());

    // A datum shift record running past the end.
    put(w.extensionOffset + 4, size - 8);
    chart = OpenBytes(bytes);
    ASSERT_TRUE(chart);
    EXPECT_FALSE(chart->HasDatumShift());
    EXPECT_EQ(chart->GetMapType(), "Nautical");
}

TEST_F(RasterleafTest, TilesOfEveryKindReadBackAtEveryLevel)
{
    std::mt19937 rng(9);
    for (TileKind kind : {TileKind::Huffman, TileKind::RunLength, TileKind::Packed}) {
        CChartWriter w(4, 3);
        std::vector<std::vector<uint8_t>> images;
        for (uint32_t i = 0; i < 12; ++i) {
            std::vector<uint8_t> image(kTilePixels);
            const unsigned colours = 1 + rng() % 127;
            for (int p = 0; p < kTilePixels; ++p)
                image[size_t(p)] = uint8_t(rng() % 8 ? (p ? image[size_t(p - 1)] : 0) : rng() % colours);
            w.SetTile(i % 4, i / 4, image.data(), kind);
            images.push_back(image);
        }
        auto chart = OpenBytes(w.Build());
        ASSERT_TRUE(chart);
        uint8_t buf[kTilePixels];
        std::vector<uint8_t> stored(kTilePixels);
        for (uint32_t i = 0; i < 12; ++i) {
            ToStoredOrder(images[i].data(), stored.data());
            for (int level = 0; level <= kMaxTileLevel; ++level) {
                ASSERT_EQ(chart->GetTile(int(i % 4), int(i / 4), level, buf, nullptr), 0);
                ASSERT_TRUE(std::equal(buf, buf + (kTilePixels >> level), stored.begin()))
                    << "kind " << int(kind) << " tile " << i << " level " << level;
            }
        }
    }
}

TEST_F(RasterleafTest, TilesOutsideOrUnreadableFillWithOneOrZero)
{
    std::vector<uint8_t> pattern;
    CChartWriter w = SmallChart(TileKind::Huffman, &pattern);
    auto bytes = w.Build();
    auto chart = OpenBytes(bytes);
    ASSERT_TRUE(chart);
    uint8_t buf[kTilePixels];
    for (int level = 0; level <= kMaxTileLevel; ++level) {
        std::memset(buf, 0xEE, sizeof buf);
        EXPECT_EQ(chart->GetTile(-1, 0, level, buf, nullptr), 0);
        const size_t n = size_t(4096 >> level);
        EXPECT_EQ(std::count(buf, buf + n, 1), long(n));
        EXPECT_EQ(buf[n - 1 + (level ? 1 : 0)], level ? 0xEE : 1);
    }
    EXPECT_EQ(chart->GetTile(3, 0, 0, buf, nullptr), 0);
    EXPECT_EQ(buf[100], 1);
    EXPECT_EQ(chart->GetTile(0, 2, 0, buf, nullptr), 0);
    EXPECT_EQ(buf[100], 1);
    EXPECT_NE(chart->GetTile(0, 0, 7, buf, nullptr), 0);

    EXPECT_EQ(chart->GetTile(1, 1, 0, buf, nullptr), 0);
    std::vector<uint8_t> stored(kTilePixels);
    ToStoredOrder(pattern.data(), stored.data());
    EXPECT_TRUE(std::equal(stored.begin(), stored.end(), buf));

    // Table entries pointing into the header, into the table, past the end, or at
    // a tile cut short by the end of the file: unreadable, index 0.
    for (uint32_t offset : {0u, 100u, 17824u + 4u, uint32_t(bytes.size()), 0xFFFFFFF0u}) {
        w.SetTileOffset(2, 0, offset);
        chart = OpenBytes(w.Build());
        ASSERT_TRUE(chart);
        std::memset(buf, 0xEE, sizeof buf);
        EXPECT_EQ(chart->GetTile(2, 0, 0, buf, nullptr), 0);
        EXPECT_EQ(std::count(buf, buf + kTilePixels, 0), kTilePixels) << offset;
    }
    w = SmallChart(TileKind::Huffman);
    w.SetTile(2, 1, pattern.data(), TileKind::Huffman); // the last tile in the file
    auto full = w.Build();
    full.resize(full.size() - 40); // no strings follow the tiles here
    chart = OpenBytes(full);
    ASSERT_TRUE(chart);
    EXPECT_EQ(chart->GetTile(2, 1, 0, buf, nullptr), 0);
    EXPECT_EQ(std::count(buf, buf + kTilePixels, 0), kTilePixels);
}

TEST_F(RasterleafTest, RendersAtEveryZoom)
{
    std::vector<uint8_t> pattern;
    CChartWriter w = SmallChart(TileKind::Smallest, &pattern);
    for (int i = 0; i < 128; ++i)
        w.palette[i] = 0x100u * uint32_t(i) + 7;
    // Blend of a and b is max(a, b): easy to predict.
    for (int a = 0; a < 128; ++a)
        for (int b = 0; b < 128; ++b)
            w.mixing[128 * a + b] = uint8_t(std::max(a, b));
    auto chart = OpenBytes(w.Build());
    ASSERT_TRUE(chart);
    auto work = std::make_unique<CTileWorkBlock>();
    auto colour = [](int index) { return 0x100u * uint32_t(index) + 7; };
    auto chartIndex = [&](int x, int y) -> int {
        if (x < 0 || y < 0 || x >= 192 || y >= 128)
            return 1;
        if (x / 64 == 1 && y / 64 == 1)
            return pattern[size_t(64 * (y % 64) + x % 64)];
        return 10 * (y / 64) + x / 64 + 2;
    };

    // Shift 0, rows bottom-up.
    std::vector<uint32_t> out(256 * 128, 0xDEADu);
    EXPECT_EQ(chart->GetPixels(0, 0, 192, 128, 256, 0, out.data(), work.get()), 0);
    for (int r = 0; r < 128; ++r)
        for (int c = 0; c < 192; ++c)
            ASSERT_EQ(out[size_t((127 - r) * 256 + c)], colour(chartIndex(c, r))) << r << "," << c;
    EXPECT_EQ(out[200], 0xDEADu); // beyond the width, within the stride: untouched

    // Shift 1: each output pixel blends four chart pixels through the table.
    std::fill(out.begin(), out.end(), 0xDEADu);
    EXPECT_EQ(chart->GetPixels(0, 0, 96, 64, 96, 1, out.data(), work.get()), 0);
    for (int r = 0; r < 64; ++r)
        for (int c = 0; c < 96; ++c) {
            const int a = chartIndex(2 * c, 2 * r), b = chartIndex(2 * c + 1, 2 * r);
            const int cc = chartIndex(2 * c, 2 * r + 1), d = chartIndex(2 * c + 1, 2 * r + 1);
            ASSERT_EQ(out[size_t((63 - r) * 96 + c)], colour(std::max({a, b, cc, d}))) << r << "," << c;
        }
    // Shift 3: samples 8 apart at offsets 0 and 4.
    EXPECT_EQ(chart->GetPixels(0, 0, 24, 16, 24, 3, out.data(), work.get()), 0);
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 24; ++c) {
            const int m = std::max({chartIndex(8 * c, 8 * r), chartIndex(8 * c + 4, 8 * r),
                                    chartIndex(8 * c, 8 * r + 4), chartIndex(8 * c + 4, 8 * r + 4)});
            ASSERT_EQ(out[size_t((15 - r) * 24 + c)], colour(m)) << r << "," << c;
        }
    // Too little height for one tile, or a shift beyond one row per tile: nothing drawn.
    std::fill(out.begin(), out.end(), 0xDEADu);
    EXPECT_EQ(chart->GetPixels(0, 0, 8, 8, 8, 2, out.data(), work.get()), 0);
    EXPECT_EQ(chart->GetPixels(0, 0, 8, 8, 8, 7, out.data(), work.get()), 0);
    EXPECT_EQ(chart->GetPixels(0, 0, 8, 8, 8, -9, out.data(), work.get()), 0);
    EXPECT_EQ(std::count(out.begin(), out.end(), 0xDEADu), long(out.size()));

    // Shift -2 from inside a tile: every chart pixel becomes a 4 x 4 block.
    EXPECT_EQ(chart->GetPixels(50, 40, 120, 100, 120, -2, out.data(), work.get()), 0);
    for (int r = 0; r < 100; ++r)
        for (int c = 0; c < 120; ++c)
            ASSERT_EQ(out[size_t((99 - r) * 120 + c)], colour(chartIndex(50 + c / 4, 40 + r / 4)))
                << r << "," << c;
    // Areas off the chart render index 1.
    EXPECT_EQ(chart->GetPixels(-64, -64, 64, 64, 64, 0, out.data(), work.get()), 0);
    EXPECT_EQ(out[0], colour(1));
}

TEST_F(RasterleafTest, HeaderStringsReadFromADescriptorStopAtTheLimits)
{
    std::vector<uint8_t> bytes(3000, 'a');
    bytes[10] = 0xE9;
    bytes[11] = 0;
    const std::string path = Save(bytes, "strings.bin");
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::string s = "stale";
    ReadHeaderString(fd, 8, s);
    EXPECT_EQ(s, "aa\xC3\xA9");
    ReadHeaderString(fd, 0, s);
    EXPECT_EQ(s, "");
    ReadHeaderString(fd, 12, s); // no terminator: cut at 1,023 bytes
    EXPECT_EQ(s, std::string(1023, 'a'));
    ReadHeaderString(fd, 2990, s); // cut at the end of the file
    EXPECT_EQ(s, std::string(10, 'a'));
    ReadHeaderString(fd, 5000, s);
    EXPECT_EQ(s, "");
    ::close(fd);
    EXPECT_EQ(chartfile::StringAt(bytes.data(), bytes.size(), 2990), std::string(10, 'a'));
    EXPECT_EQ(chartfile::StringAt(bytes.data(), bytes.size(), 12), std::string(1023, 'a'));
    EXPECT_EQ(chartfile::StringAt(bytes.data(), bytes.size(), 3000), "");
}
