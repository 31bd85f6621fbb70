// The chart details dialog: its description, size and buttons, the delete
// question, the whole-chart download, and the chunk outlines with their
// clean-up; and the route menu's download through the wired overlay port.
// TESSA_XVFB_LABEL
#include "ScriptedPresenter.h"
#include "app/dialogs/map_detail.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/Wiring.h"
#include "charts/chunked/ChunkAddress.h"
#include "charts/chunked/Rasterleaf3.h"
#include "charts/packages/MapDownloadState.h"
#include "chunkwriter/ChunkWriter.h"
#include "foundation/notify/StatusLine.h"
#include "foundation/platform/PlatformFolders.h"
#include "foundation/util/StringUtil.h"
#include "foundation/web/ChartServer.h"
#include "loopback/LoopbackServer.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/TrackManager.h"
#include "overlays/ui/ActionMenus.h"
#include "packagewriter/JobTestSupport.h"
#include "packagewriter/PackageWriter.h"
#include "support/TestPaths.h"

#include <QLabel>
#include <QPushButton>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

using chunkwriter::CChunkedChart;

constexpr const char* kMirror = "chunks-mirror.test";

class MapDetailTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = tessatest::MakeScratchDir("map_detail");
        ASSERT_FALSE(root.empty());
        SetFolderRootForTesting(root);
        SetResourceFoldersForTesting({root + "/res"});
        for (const char* sub : {"/res", "/docs", "/data/tessaroute/basemaps"})
            fs::create_directories(root + sub);
        ASSERT_NE(server.Port(), 0) << server.Error();
        setenv(CChartServer::kEnvironmentVariable, server.BaseURL().c_str(), 1);
        CChunkStore::SetRetryDelayForTesting(0);
        chunkwriter::MapChunkHostToLoopback(kMirror, server.Port());
        ClearPendingCallbacksForTesting();
        CTrackManager::Get().ClearForTesting();
    }
    void TearDown() override
    {
        ClearPendingAction();
        ClearStatusMessage();
        CTrackManager::Get().ClearForTesting();
        SetChunkHostMapForTesting({});
        unsetenv(CChartServer::kEnvironmentVariable);
        SetFolderRootForTesting("");
        SetResourceFoldersForTesting({});
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    // A chunked chart of 3 x 2 chunks at `path` (served when asked), with
    // the chunks `present` in its local store (none: no store written).
    std::shared_ptr<CChartOutline> Chart(const std::string& path, const std::set<uint32_t>& present = {},
                                         bool serve = false)
    {
        EXPECT_TRUE(source.WriteChartFile(path));
        if (!present.empty()) {
            EXPECT_TRUE(
                source.WriteLocalStore(fs::path(path).replace_extension("rl3").string(), true, 0, present));
        }
        if (serve) {
            const std::string serverPath = "/mapchunks/" + fs::path(path).stem().string() + ".rl3";
            chunkwriter::ServeChunkFile(
                server, serverPath, std::make_shared<chunkwriter::CSparseFile>(source.BuildServerStore()));
            chunkwriter::ServeRedirect(server, serverPath, kMirror);
        }
        return CChartOutline::FromFile(path);
    }
    // The dialog over the outlines; `code` gets its result.
    map_detail* Open(const std::vector<std::shared_ptr<CChartOutline>>& outlines,
                     tessatest::CCodeProbe& probe)
    {
        probe.Push();
        map_detail* dialog = OpenMapDetail(nullptr, outlines);
        EXPECT_NE(dialog, nullptr);
        return dialog;
    }
    static std::vector<const COverlayTrack*> Live(const std::string& prefix)
    {
        std::vector<const COverlayTrack*> found;
        for (const auto& track : CTrackManager::Get().Tracks())
            if (!track->IsDeleted() && track->GetName().rfind(prefix, 0) == 0)
                found.push_back(track.get());
        return found;
    }

    CChunkedChart source{40, 20, chunkwriter::MakeChartImage(40 * 64, 20 * 64, 3)};
    tessatest::LoopbackServer server;
    tessatest::CFakeKeepAwake awake; // no session bus in tests
    std::string root;
};

uint32_t Key(int row, int column)
{
    return uint32_t(row) << 16 | uint32_t(column);
}

TEST_F(MapDetailTest, DescribesSizesAndOffersWhatFits)
{
    const std::string docs = root + "/docs";
    auto a = Chart(docs + "/a.rlt"), b = Chart(docs + "/b.rlt"), c = Chart(docs + "/c.rlt");
    auto full = Chart(docs + "/full.rlt", {Key(0, 0), Key(0, 1), Key(0, 2), Key(1, 0), Key(1, 1), Key(1, 2)});
    auto builtIn = Chart(root + "/res/world.rlt");
    auto baseMap = Chart(root + "/data/tessaroute/basemaps/world.rlt");
    ASSERT_TRUE(a && b && c && full && builtIn && baseMap);
    // Every spelling of the store counts.
    fs::create_directories(docs + "/a.rl3");
    ASSERT_TRUE(tessatest::WriteWholeFile(docs + "/a.rl3/0", std::string(1000, 'x')));
    ASSERT_TRUE(tessatest::WriteWholeFile(docs + "/a.RL3", std::string(3000, 'y')));

    struct Case
    {
        const char* name;
        std::vector<std::shared_ptr<CChartOutline>> outlines;
        std::string detailsStart, deleteTitle;
        bool deleteShown, chunksShown, downloadShown;
        int64_t size;
    } cases[] = {
        {"three charts",
         {a, b, c},
         "3 Maps, including...\n" + a->name + "\nType: ",
         "Delete 3 Maps",
         true,
         false,
         false,
         int64_t(a->fileSize) + 4000},
        {"a chart with missing chunks",
         {b},
         b->name + "\nType: ",
         "Delete Map",
         true,
         true,
         true,
         int64_t(b->fileSize)},
        {"a chart on the device",
         {full},
         full->name,
         "Delete Map",
         true,
         true,
         false,
         map_detail::ChartDiskSize(full->path)},
        {"under the resources", {builtIn}, builtIn->name, "Delete Map", false, true, true, 0},
        {"in the base maps", {baseMap}, baseMap->name, "Delete Map", false, true, true, 0},
    };
    for (const Case& k : cases) {
        tessatest::CCodeProbe probe;
        map_detail* dialog = Open(k.outlines, probe);
        ASSERT_NE(dialog, nullptr) << k.name;
        EXPECT_EQ(dialog->getFilename(), k.outlines.front()->path) << k.name;
        EXPECT_EQ(dialog->lab_details->text().toStdString().rfind(k.detailsStart, 0), 0u)
            << k.name << ": " << dialog->lab_details->text().toStdString();
        EXPECT_EQ(dialog->but_Delete->text().toStdString(), k.deleteTitle) << k.name;
        EXPECT_EQ(dialog->but_Delete->isVisibleTo(dialog), k.deleteShown) << k.name;
        EXPECT_EQ(dialog->but_ChunkStatus->isVisibleTo(dialog), k.chunksShown) << k.name;
        EXPECT_EQ(dialog->download_whole_map->isVisibleTo(dialog), k.downloadShown) << k.name;
        if (k.size > 0) {
            EXPECT_EQ(dialog->lab_size->text().toStdString(), FormatByteSize(k.size)) << k.name;
        }
        dialog->onDone();
        EXPECT_EQ(*probe.code, -1) << k.name;
    }
}

TEST_F(MapDetailTest, DeleteAsksAndClosesWithOneOnYes)
{
    tessatest::CScriptedPresenter presenter;
    auto one = Chart(root + "/docs/one.rlt"), two = Chart(root + "/docs/two.rlt");
    struct Case
    {
        std::vector<std::shared_ptr<CChartOutline>> outlines;
        std::string title, text;
    } cases[] = {{{one}, "Delete Map?", "Delete this map?"},
                 {{one, two, one}, "Delete Maps?", "Delete these 3 maps?"}};
    for (const Case& k : cases) {
        tessatest::CCodeProbe probe;
        map_detail* dialog = Open(k.outlines, probe);
        presenter.AnswerButton(1); // No: nothing happens
        dialog->onDelete();
        ASSERT_FALSE(presenter.Shown().empty());
        EXPECT_EQ(presenter.Last().title, k.title);
        EXPECT_EQ(presenter.Last().text, k.text);
        EXPECT_EQ(presenter.Last().buttons, (std::vector<std::string>{"Yes", "No"}));
        presenter.DeliverAll();
        EXPECT_FALSE(dialog->isDialogEnded());
        EXPECT_FALSE(probe.Ran());
        presenter.AnswerButton(0);
        dialog->onDelete();
        presenter.DeliverAll();
        EXPECT_TRUE(dialog->isDialogEnded());
        EXPECT_EQ(*probe.code, 1);
    }
}

TEST_F(MapDetailTest, ShowChunksOutlinesThemUntilDoneAndNeverStoresThem)
{
    tessatest::CScriptedPresenter presenter;
    presenter.SetImmediate(true);
    auto mine = std::make_unique<COverlayTrack>();
    mine->SetName(":mine");
    for (int i = 0; i < 4; ++i)
        mine->AddPoint(CTrackPoint{54.1 + 0.01 * i, 10.5, 0, 0, 0}, false);
    CTrackManager::Get().AddTrack(std::move(mine));

    // Row 0, columns 0 and 1 on the device: one green area; (0, 2) and row 1 are blue.
    auto chart = Chart(root + "/docs/partial.rlt", {Key(0, 0), Key(0, 1)});
    tessatest::CCodeProbe probe;
    map_detail* dialog = Open({chart}, probe);
    dialog->onShowChunks();
    EXPECT_EQ(*probe.code, 2);
    const auto outlines = Live(map_detail::kOnDeviceTrack); // the blue names begin so too
    ASSERT_EQ(outlines.size(), 3u);
    EXPECT_EQ(Live(map_detail::kMissingTrack).size(), 2u);
    EXPECT_EQ(map_detail::ChunkOutlineCount(), 3u);
    for (const COverlayTrack* t : outlines) {
        const bool onDevice = t->GetName() == map_detail::kOnDeviceTrack;
        double red, green, blue, alpha;
        t->GetLineStyle().colour.GetComponents(red, green, blue, alpha);
        EXPECT_NEAR(green, onDevice ? 200 / 255.0 : 0, 1e-6);
        EXPECT_NEAR(blue, onDevice ? 0 : 200 / 255.0, 1e-6);
        EXPECT_NEAR(red, 0, 1e-6);
        EXPECT_NEAR(alpha, 1, 1e-6);
        EXPECT_TRUE(t->IsDoNotSync());
        const std::vector<CTrackPoint> points = t->AllPoints();
        ASSERT_EQ(points.size(), 5u);
        EXPECT_EQ(points.front().latitude, points.back().latitude);
        EXPECT_EQ(points.front().longitude, points.back().longitude);
    }
    EXPECT_EQ(GetStatusMessage(), map_detail::kStatusText);
    ASSERT_FALSE(presenter.Shown().empty());
    EXPECT_EQ(presenter.Last().title, "Note");
    EXPECT_EQ(presenter.Last().text, map_detail::kNoteText);
    EXPECT_EQ(presenter.Last().buttons, (std::vector<std::string>{"OK"}));
    EXPECT_TRUE(HasPendingAction());

    // A save meanwhile stores none of them.
    const std::string store = root + "/tracks.bin";
    ASSERT_TRUE(CTrackManager::Get().SaveTracks(store));

    // The main window's Done: only the outlines go, and the status line.
    RunPendingAction();
    EXPECT_TRUE(Live(":chunk").empty());
    EXPECT_EQ(Live(":mine").size(), 1u);
    EXPECT_FALSE(IsStatusLineShown());
    EXPECT_EQ(map_detail::ChunkOutlineCount(), 0u);
    // Saved before and after the clean-up, the store is the same.
    const std::string after = root + "/tracks-after.bin";
    ASSERT_TRUE(CTrackManager::Get().SaveTracks(after));
    EXPECT_EQ(tessatest::ReadWholeFile(store), tessatest::ReadWholeFile(after));

    CTrackManager::Get().ClearForTesting();
    ASSERT_TRUE(CTrackManager::Get().LoadTracks(store));
    ASSERT_EQ(CTrackManager::Get().Tracks().size(), 1u);
    EXPECT_EQ(CTrackManager::Get().Tracks().front()->GetName(), ":mine");
}

TEST_F(MapDetailTest, DownloadingTheWholeChartShowsTheNewSize)
{
    auto chart = Chart(root + "/docs/whole.rlt", {}, true);
    tessatest::CCodeProbe probe;
    map_detail* dialog = Open({chart}, probe);
    ASSERT_TRUE(dialog->download_whole_map->isVisibleTo(dialog));
    const QString before = dialog->lab_size->text();
    dialog->onDownloadAll(); // no progress dialog here: the call waits for the download
    EXPECT_FALSE(GetMapDownloadState().IsRunning());
    EXPECT_NE(dialog->lab_size->text(), before);
    EXPECT_EQ(dialog->lab_size->text().toStdString(), FormatByteSize(map_detail::ChartDiskSize(chart->path)));
    EXPECT_FALSE(dialog->download_whole_map->isVisibleTo(dialog));
    EXPECT_FALSE(probe.Ran()); // the details stay open
    dialog->onDone();
}

TEST_F(MapDetailTest, TheRouteRowDownloadsTheChunksUnderTheRouteThroughTheWiredPort)
{
    // 8 x 3 chunks, so that the corridor of 1,000 pixels leaves some out.
    source = CChunkedChart(128, 48, chunkwriter::MakeChartImage(128 * 64, 48 * 64, 9));
    const std::string path = root + "/docs/route.rlt";
    auto outline = Chart(path, {}, true);
    ASSERT_TRUE(outline);
    std::unique_ptr<CRasterleaf> chart(CRasterleaf::OpenFile(nullptr, path));
    ASSERT_TRUE(chart);
    const std::vector<std::pair<int, int>> pixels = {{300, 1500}, {900, 1400}};
    COverlayRoute route;
    for (const auto& [x, y] : pixels) {
        double lat, lon;
        chart->PixelToLatLon(x, y, lat, lon);
        auto point = std::make_unique<COverlayMark>();
        point->SetPosition(lat, lon);
        route.AddPoint(std::move(point));
    }
    chart.reset();

    AppDelegate app; // not started: only the ports
    WireApplicationPorts(app);
    server.ClearRequests();
    EXPECT_TRUE(StartRouteDownload(route, path, 0));
    EXPECT_TRUE(tessatest::PumpUntil([] { return !GetMapDownloadState().IsRunning(); }));
    UnwireApplicationPorts();

    // Chunk centres within half a diagonal plus the corridor of the route.
    std::set<uint32_t> expected;
    const double reach = 724.0704 + 1000;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 8; ++c) {
            const double cx = 1024.0 * c + 512, cy = 1024.0 * r + 512;
            const double ax = 300, ay = 1500, dx = 600, dy = -100;
            const double t = std::clamp(((cx - ax) * dx + (cy - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
            if (std::hypot(cx - (ax + t * dx), cy - (ay + t * dy)) <= reach)
                expected.insert(Key(r, c));
        }
    ASSERT_FALSE(expected.empty());
    EXPECT_LT(expected.size(), 24u);
    EXPECT_EQ(chunkwriter::FetchedChunks(server.Requests(), "/mapchunks/route.rl3", source), expected);
}

} // namespace
