// Action menus of marks, routes and tracks and the list menus: the kinds of
// their rows in each state, and what their rows do when chosen.
// TESSA_TSAN_LABEL (the chart view decodes its tiles on worker threads)
#include "charts/chartlist/ChartOutline.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/platform/PlatformServices.h"
#include "foundation/settings/PersistantData.h"
#include "foundation/web/ChartServer.h"
#include "geodesy/LocalPlane.h"
#include "mapview/overlay/OverlayTool.h"
#include "overlays/ActionMenus.h"
#include "overlays/GpxFile.h"
#include "overlays/MarkManager.h"
#include "overlays/OverlayMark.h"
#include "overlays/OverlayRoute.h"
#include "overlays/OverlayTrack.h"
#include "overlays/TrackManager.h"
#include "support/FixedClock.h"
#include "support/ScriptedPresenter.h"
#include "support/TestChartView.h"
#include "support/chunkwriter/ChunkWriter.h"
#include "support/loopback/LoopbackServer.h"
#include "support/packagewriter/JobTestSupport.h"

#include <gtest/gtest.h>

#include <QPoint>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr double kT0 = 1700000000;
constexpr uint32_t P = CMenuTree::kPlain, S = CMenuTree::kSeparated, D = CMenuTree::kDisabled,
                   H = CMenuTree::kHidden, C = CMenuTree::kChecked;

std::vector<std::string> Titles(const CMenuTree& menu)
{
    std::vector<std::string> out;
    for (const auto& item : menu.Root().Children())
        out.push_back(item->Title());
    return out;
}

std::vector<uint32_t> Kinds(const CMenuTree& menu)
{
    std::vector<uint32_t> out;
    for (const auto& item : menu.Root().Children())
        out.push_back(item->Kind());
    return out;
}

// Chooses the n-th row titled `title` (rows may share a title).
bool Choose(const CMenuTree& menu, const std::string& title, int nth = 0)
{
    for (const auto& item : menu.Root().Children())
        if (item->Title() == title && nth-- == 0) {
            item->Select();
            return true;
        }
    return false;
}

std::vector<std::unique_ptr<CMenuTree>> gShown;
void RecordMenu(std::unique_ptr<CMenuTree> tree, QWidget*, const QPoint*)
{
    gShown.push_back(std::move(tree));
}

class MenuTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CMarkManager::Get().ClearForTesting();
        CTrackManager::Get().ClearForTesting();
        ClearPendingAction();
        dir = fs::temp_directory_path() / ("tessa_menus_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        PersistantData::SetIniPaths((dir / "settings.ini").string(), (dir / "secondary.ini").string());
        PersistantData::LoadAll("Tessaroute");
        CMarkManager::Settings().routeCreateHint = false;
        presenter.SetImmediate(true);
        previousShow = CMenuTree::SetShowFunction(&RecordMenu);
        gShown.clear();
        SetURLOpenerForTesting([this](const std::string& url) {
            opened.push_back(url);
            return true;
        });
    }
    void TearDown() override
    {
        CMenuTree::SetShowFunction(previousShow);
        gShown.clear();
        SetURLOpenerForTesting(nullptr);
        COverlayMenuHooks::show_edit_mark = nullptr;
        COverlayMenuHooks::show_edit_route = nullptr;
        COverlayMenuHooks::show_edit_track = nullptr;
        COverlayMenuHooks::StartMapDataDownload = nullptr;
        COverlayTool::EndActiveTool();
        CMarkManager::Get().ClearForTesting();
        CTrackManager::Get().ClearForTesting();
        ClearPendingAction();
        PersistantData::SetIniPaths("", "");
        fs::remove_all(dir);
    }
    CMarkManager& marks() { return CMarkManager::Get(); }
    CTrackManager& tracks() { return CTrackManager::Get(); }

    COverlayMark* MakeMark(const std::string& name, double lat, double lon, const std::string& link = "")
    {
        auto mark = std::make_unique<COverlayMark>();
        mark->SetName(name);
        mark->SetPosition(lat, lon);
        mark->SetLink(link);
        return marks().AddMark(std::move(mark));
    }
    COverlayRoute* MakeRoute(const std::string& name, std::vector<std::pair<double, double>> positions)
    {
        auto route = std::make_unique<COverlayRoute>();
        route->SetName(name);
        int n = 0;
        for (auto [lat, lon] : positions) {
            CMarkManager::RoutePointScope scope;
            auto p = std::make_unique<COverlayMark>();
            p->SetName(name + "P" + std::to_string(++n));
            p->SetPosition(lat, lon);
            route->AddPoint(std::move(p));
        }
        return marks().AddRoute(std::move(route));
    }
    COverlayTrack* MakeTrack(const std::string& name, std::vector<std::pair<double, double>> positions)
    {
        auto track = std::make_unique<COverlayTrack>();
        track->SetName(name);
        double t = kT0;
        for (auto [lat, lon] : positions)
            track->AddPoint(CTrackPoint{lat, lon, t += 30, 0, 0}, false);
        return tracks().AddTrack(std::move(track));
    }
    // Positions along a line north, 100 m apart.
    static std::vector<std::pair<double, double>> Line(double lat, double lon, size_t n)
    {
        std::vector<std::pair<double, double>> out;
        for (size_t i = 0; i < n; ++i)
            out.emplace_back(lat + double(i) * 0.0009, lon);
        return out;
    }

    tessatest::CFixedClock clock{kT0};
    tessatest::CScriptedPresenter presenter;
    CMenuTree::ShowFunction previousShow = nullptr;
    std::vector<std::string> opened;
    fs::path dir;
};

TEST_F(MenuTest, MarkActionMenuKindsFollowNavigationLinkAndHooks)
{
    struct Case
    {
        const char* name;
        bool routePoint, navigating, link, editHook;
        std::vector<std::string> titles;
        std::vector<uint32_t> kinds;
    };
    const std::vector<std::string> free = {"Go-To",     "Cancel Navigation", "Create Route",
                                           "Edit Mark", "Open Link",         "Delete Mark"};
    const std::vector<std::string> point = {"Follow Route", "Cancel Navigation",   "Edit Route",
                                            "Delete Route", "Route Operations...", "Waypoint Operations..."};
    const Case cases[] = {
        {"free, idle, no link", false, false, false, false, free, {P, H, P, H, H, S}},
        {"free, idle, link, dialogs", false, false, true, true, free, {P, H, P, P, P, S}},
        {"free, navigating", false, true, false, true, free, {H, P, P, P, H, S}},
        {"route point, idle", true, false, false, false, point, {P, H, H, S, P, P}},
        {"route point, following", true, true, false, true, point, {H, P, P, S, P, P}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        marks().ClearForTesting();
        COverlayMenuHooks::show_edit_mark = nullptr;
        COverlayMenuHooks::show_edit_route = nullptr;
        if (c.editHook) {
            COverlayMenuHooks::show_edit_mark = [](QWidget*, COverlayMark*) {};
            COverlayMenuHooks::show_edit_route = [](QWidget*, COverlayRoute*) {};
        }
        COverlayMark* mark = nullptr;
        if (c.routePoint) {
            COverlayRoute* route = MakeRoute("R", Line(50, -4, 3));
            mark = route->Points()[1].get();
            if (c.navigating) {
                ASSERT_TRUE(marks().FollowRoute(route));
            }
        } else {
            mark = MakeMark("Buoy", 50, -4, c.link ? "https://example.org/buoy" : "");
            if (c.navigating) {
                ASSERT_TRUE(marks().GotoMark(mark));
            }
        }
        auto menu = BuildMarkActionMenu(*mark, nullptr, nullptr);
        EXPECT_EQ(menu->Title(), mark->GetName());
        EXPECT_EQ(Titles(*menu), c.titles);
        EXPECT_EQ(Kinds(*menu), c.kinds);
        marks().CancelGoto();
    }
}

TEST_F(MenuTest, WaypointMenuKindsAtFirstMiddleAndLastPoints)
{
    struct Case
    {
        size_t points, at;
        bool target;
        std::vector<uint32_t> kinds; // Delete, Go-To, Cancel, Insert, Edit, Split, Open Link
    };
    const Case cases[] = {
        {3, 0, false, {S, P, H, P, H, H, H}}, {3, 1, false, {S, P, H, P, H, P, H}},
        {3, 2, false, {S, P, H, P, H, H, H}}, {3, 1, true, {S, H, P, P, H, P, H}},
        {2, 0, false, {S, P, H, P, H, H, H}}, {2, 1, false, {S, P, H, P, H, H, H}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.points) + " points, at " + std::to_string(c.at));
        marks().ClearForTesting();
        COverlayRoute* route = MakeRoute("W", Line(50, -4, c.points));
        COverlayMark* point = route->Points()[c.at].get();
        if (c.target) {
            ASSERT_TRUE(marks().GotoMark(point));
        }
        auto menu = BuildWaypointOperationsMenu(*point, nullptr, nullptr);
        EXPECT_EQ(Titles(*menu),
                  (std::vector<std::string>{"Delete Waypoint", "Go-To Point", "Cancel Navigation",
                                            "Insert Waypoint", "Edit Waypoint", "Split Route", "Open Link"}));
        EXPECT_EQ(Kinds(*menu), c.kinds);
        marks().CancelGoto();
    }
}

TEST_F(MenuTest, DeletingARouteFromTheMarkMenuAsksFromThreePoints)
{
    COverlayRoute* two = MakeRoute("Two", Line(50, -4, 2));
    ASSERT_TRUE(Choose(*BuildMarkActionMenu(*two->Points()[0], nullptr, nullptr), "Delete Route"));
    EXPECT_TRUE(presenter.Shown().empty());
    EXPECT_TRUE(two->IsDeleted());

    COverlayRoute* three = MakeRoute("Three", Line(51, -4, 3));
    presenter.AnswerButton(1); // No
    ASSERT_TRUE(Choose(*BuildMarkActionMenu(*three->Points()[2], nullptr, nullptr), "Delete Route"));
    ASSERT_EQ(presenter.Shown().size(), 1u);
    EXPECT_EQ(presenter.Last().title, "Delete route");
    EXPECT_EQ(presenter.Last().text, "Are you sure?");
    EXPECT_FALSE(three->IsDeleted());
    presenter.AnswerButton(0);
    ASSERT_TRUE(Choose(*BuildMarkActionMenu(*three->Points()[2], nullptr, nullptr), "Delete Route"));
    EXPECT_TRUE(three->IsDeleted());
}

TEST_F(MenuTest, DeleteMarkAsksWithTheLockedWordAndMenusIgnoreVanishedObjects)
{
    COverlayMark* mark = MakeMark("Rock \"A\"", 50, -4);
    mark->SetLocked(true);
    auto menu = BuildMarkActionMenu(*mark, nullptr, nullptr);
    presenter.AnswerButton(0);
    ASSERT_TRUE(Choose(*menu, "Delete Mark"));
    EXPECT_EQ(presenter.Last().title, "Delete Mark");
    EXPECT_EQ(presenter.Last().text, "Delete locked Mark: \"Rock \"A\"\".\nAre you sure?");
    EXPECT_TRUE(mark->IsDeleted());
    // The menu outlived its mark (tombstone, then purged): choosing is harmless.
    marks().PurgeTombstones(0);
    ASSERT_TRUE(marks().Marks().empty());
    presenter.ClearShown();
    EXPECT_TRUE(Choose(*menu, "Go-To"));
    EXPECT_TRUE(Choose(*menu, "Delete Mark"));
    EXPECT_TRUE(presenter.Shown().empty());
    EXPECT_EQ(marks().GetGoto().target, nullptr);
}

TEST_F(MenuTest, OpenLinkReachesTheBrowserSeam)
{
    COverlayMark* free = MakeMark("Harbour", 50, -4, "https://example.org/harbour");
    ASSERT_TRUE(Choose(*BuildMarkActionMenu(*free, nullptr, nullptr), "Open Link"));
    COverlayRoute* route = MakeRoute("L", Line(50, -4, 3));
    route->Points()[1]->SetLink("https://example.org/wp");
    auto menu = BuildWaypointOperationsMenu(*route->Points()[1], nullptr, nullptr);
    EXPECT_EQ(Kinds(*menu).back(), P);
    ASSERT_TRUE(Choose(*menu, "Open Link"));
    EXPECT_EQ(opened, (std::vector<std::string>{"https://example.org/harbour", "https://example.org/wp"}));
}

TEST_F(MenuTest, JoinRouteIsOfferedWithinTwentyPixelsAndNeverForItself)
{
    tessatest::CTestChartView chart(400, 300);
    ASSERT_TRUE(chart.IsOpen());
    const double metresPerPixel = chart.view->GetCentreScale() * 1852.0;
    ASSERT_GT(metresPerPixel, 0);
    const CLocalPlane plane(10, 0);
    const auto at = [&](double pixelsNorth) {
        double lat = 0, lon = 0;
        plane.FromXY(0, pixelsNorth * metresPerPixel, lat, lon);
        return std::make_pair(lat, lon);
    };
    struct Case
    {
        double pixels;
        bool offered;
    };
    for (const Case& c : {Case{19.5, true}, Case{21, false}}) {
        SCOPED_TRACE(c.pixels);
        marks().ClearForTesting();
        // "A" starts at (10, 0); "B" ends `pixels` north of it.
        COverlayRoute* a = MakeRoute("A", {{10, 0}, at(-200), at(-400)});
        COverlayRoute* b = MakeRoute("B", {at(400), at(200), at(c.pixels)});
        auto menu = BuildWaypointOperationsMenu(*a->Points()[0], nullptr, chart.view.get());
        const std::vector<std::string> titles = Titles(*menu);
        const bool offered = titles.back() == "Join Route";
        EXPECT_EQ(offered, c.offered);
        // From B's last point the search runs the other way and finds A's start.
        auto fromB = BuildWaypointOperationsMenu(*b->Points()[2], nullptr, chart.view.get());
        EXPECT_EQ(Titles(*fromB).back() == "Join Route", c.offered);
        if (offered) {
            ASSERT_TRUE(Choose(*menu, "Join Route"));
            EXPECT_TRUE(a->IsDeleted());
            EXPECT_EQ(b->PointCount(), 5u); // A's points after its first
        }
    }
    // A loop route's end lies on its own start: nothing to join.
    marks().ClearForTesting();
    COverlayRoute* loop = MakeRoute("Loop", {{10, 0}, at(-300), {10, 0.01}, at(1)});
    EXPECT_NE(Titles(*BuildWaypointOperationsMenu(*loop->Points()[0], nullptr, chart.view.get())).back(),
              "Join Route");
    EXPECT_FALSE(loop->Join(loop));
}

TEST_F(MenuTest, TrackMenuKindsAndJoinsNeverTheTrackItself)
{
    tessatest::CTestChartView chart(400, 300);
    ASSERT_TRUE(chart.IsOpen());
    COverlayMenuHooks::show_edit_track = [](QWidget*, COverlayTrack*) {};
    // A round trip of 70 points (two sections) whose end is its start.
    std::vector<std::pair<double, double>> trip = Line(10, 0, 35);
    for (size_t i = 35; i-- > 0;)
        trip.emplace_back(trip[i].first, 0.0001);
    trip.back() = trip.front();
    COverlayTrack* round = MakeTrack("Round", trip);
    ASSERT_EQ(round->Sections().size(), 2u);
    const CTrackSection* first = round->Sections().front().get();
    const CTrackSection* last = round->Sections().back().get();
    struct Case
    {
        const char* name;
        const CTrackSection* section;
        int index;
        bool locked;
        std::vector<uint32_t> kinds; // Edit, Split, Join after, Join before, Convert, Delete
    };
    const Case cases[] = {
        {"no tool point", nullptr, -1, false, {P, H, H, H, P, S}},
        {"first point", first, 0, false, {P, H, H, H, P, S}},
        {"middle", first, 10, false, {P, P, H, H, P, S}},
        {"last point", last, int(last->Count()) - 1, false, {P, H, H, H, P, S}},
        {"locked", first, 10, true, {P, P, H, H, D, D}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        round->SetLocked(c.locked);
        auto menu = BuildTrackMenu(*round, c.section, c.index, nullptr, chart.view.get());
        EXPECT_EQ(menu->Title(), "Round");
        EXPECT_EQ(Titles(*menu),
                  (std::vector<std::string>{"Edit Track", "Split Track", "Join Track", "Join Track",
                                            "Convert to Route", "Delete Track"}));
        EXPECT_EQ(Kinds(*menu), c.kinds);
    }
    round->SetLocked(false);

    // Another track starting at the round trip's end is offered, and joined on.
    COverlayTrack* next = MakeTrack("Next", Line(10.00001, 0, 5));
    auto menu = BuildTrackMenu(*round, last, int(last->Count()) - 1, nullptr, chart.view.get());
    EXPECT_EQ(Kinds(*menu), (std::vector<uint32_t>{P, H, P, H, P, S}));
    const size_t before = round->PointCount();
    ASSERT_TRUE(Choose(*menu, "Join Track", 0));
    EXPECT_TRUE(next->IsDeleted());
    EXPECT_GE(round->PointCount(), before + 4);
    EXPECT_FALSE(round->Join(round));

    // The same from the other side: a track ending at the start.
    COverlayTrack* earlier = MakeTrack("Earlier", {{9.99, 0}, {9.995, 0}, {10.00001, 0}});
    auto fromStart = BuildTrackMenu(*round, round->Sections().front().get(), 0, nullptr, chart.view.get());
    EXPECT_EQ(Kinds(*fromStart)[3], P);
    ASSERT_TRUE(Choose(*fromStart, "Join Track", 1));
    EXPECT_TRUE(round->IsDeleted());
    EXPECT_FALSE(earlier->IsDeleted());
}

TEST_F(MenuTest, ConvertsFromTheMenusAfterTheQuestion)
{
    COverlayTrack* track = MakeTrack("T", Line(50, -4, 10));
    presenter.AnswerButton(0);
    ASSERT_TRUE(Choose(*BuildTrackMenu(*track, nullptr, -1, nullptr, nullptr), "Convert to Route"));
    EXPECT_EQ(presenter.Last().title, "Convert Track");
    EXPECT_EQ(presenter.Last().text,
              "Convert Track to Route: \"T\".\n(Conversion discards speed/time data)\nAre "
              "you sure?");
    EXPECT_TRUE(track->IsDeleted());
    ASSERT_EQ(marks().Routes().size(), 1u);
    COverlayRoute* route = marks().Routes()[0].get();
    EXPECT_EQ(route->GetName(), "T-converted");

    ASSERT_TRUE(Choose(*BuildRouteOperationsMenu(*route, nullptr), "Convert to Track"));
    EXPECT_TRUE(route->IsDeleted());
    ASSERT_FALSE(tracks().Tracks().empty());
    EXPECT_EQ(tracks().Tracks().back()->GetName(), "T-converted-converted");
}

TEST_F(MenuTest, RouteOperationsShowDownloadsOnlyForChunkedChartsWithAHook)
{
    tessatest::CTestChartView chart(400, 300);
    ASSERT_TRUE(chart.IsOpen());
    COverlayRoute* route = MakeRoute("D", Line(10, 0, 3));
    const std::vector<std::string> titles = {"Reverse route", "Optimize route...", "Convert to Track",
                                             "Download map along route", "Download enclosed map"};
    auto menu = BuildRouteOperationsMenu(*route, nullptr);
    EXPECT_EQ(Titles(*menu), titles);
    EXPECT_EQ(Kinds(*menu), (std::vector<uint32_t>{P, P, P, H, H}));
    // The test chart is a single file, not chunked: still hidden with a hook.
    COverlayMenuHooks::StartMapDataDownload =
        [](const std::string&, const std::vector<std::pair<double, double>>&, int, double) {};
    EXPECT_EQ(Kinds(*BuildRouteOperationsMenu(*route, nullptr)), (std::vector<uint32_t>{P, P, P, H, H}));
    ASSERT_TRUE(Choose(*menu, "Reverse route"));
    EXPECT_EQ(route->Points()[0]->GetName(), "DP3");
}

TEST_F(MenuTest, DownloadsStartOnlyForChunkedChartsWithTheCorridorWidth)
{
    const chunkwriter::CChunkedChart chart(4, 3, chunkwriter::MakeChartImage(256, 192, 5));
    const std::string chunked = (dir / "chunked.rlt").string(), single = (dir / "single.rlt").string();
    ASSERT_TRUE(chart.WriteChartFile(chunked));
    ASSERT_TRUE(chart.WriteSingleFileChart(single));
    const auto outline = CChartOutline::FromFile(chunked);
    ASSERT_TRUE(outline && outline->chunked);
    COverlayRoute* route = MakeRoute("D", {{10, 1}, {11, 2}});
    struct Call
    {
        std::string path;
        std::vector<std::pair<double, double>> points;
        int mode;
        double width;
    };
    std::vector<Call> calls;
    EXPECT_FALSE(StartRouteDownload(*route, chunked, 0)); // no hook yet
    COverlayMenuHooks::StartMapDataDownload = [&](const std::string& path,
                                                  const std::vector<std::pair<double, double>>& points,
                                                  int mode, double width) {
        calls.push_back({path, points, mode, width});
    };
    EXPECT_FALSE(StartRouteDownload(*route, single, 0));
    EXPECT_FALSE(StartRouteDownload(*route, (dir / "missing.rlt").string(), 0));
    ASSERT_TRUE(StartRouteDownload(*route, chunked, 0));
    ASSERT_TRUE(StartRouteDownload(*route, chunked, 1));
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].path, chunked);
    EXPECT_EQ(calls[0].points, (std::vector<std::pair<double, double>>{{1, 10}, {2, 11}}));
    EXPECT_EQ(calls[0].mode, 0);
    EXPECT_DOUBLE_EQ(calls[0].width, outline->scale * 1000 * 1852);
    EXPECT_EQ(calls[1].mode, 1);
    EXPECT_EQ(calls[1].width, 0);
}

TEST_F(MenuTest, RowMenusActAtOnceAndDeleteAllAsksAndKeepsSynchronisedTombstones)
{
    COverlayMark* a = MakeMark("A", 50, -4);
    COverlayMark* b = MakeMark("B", 50.1, -4);
    (void)a->GetSyncId(); // once synchronised: its tombstone must stay
    auto row = BuildMarkRowMenu(*b, nullptr);
    EXPECT_EQ(Titles(*row), (std::vector<std::string>{"Edit", "View", "Delete"}));
    EXPECT_EQ(Kinds(*row), (std::vector<uint32_t>{H, P, S}));
    ASSERT_TRUE(Choose(*row, "Delete"));
    EXPECT_TRUE(presenter.Shown().empty());
    EXPECT_TRUE(b->IsDeleted());

    COverlayMark* c = MakeMark("C", 50.2, -4);
    presenter.AnswerButton(1);
    ASSERT_TRUE(Choose(*BuildMarksListMenu(nullptr), "Delete All Marks"));
    EXPECT_EQ(presenter.Last().title, "Delete All Marks");
    EXPECT_EQ(presenter.Last().text, "Are you sure?");
    EXPECT_FALSE(c->IsDeleted());
    presenter.AnswerButton(0);
    ASSERT_TRUE(Choose(*BuildMarksListMenu(nullptr), "Delete All Marks"));
    ASSERT_EQ(marks().Marks().size(), 1u);
    EXPECT_EQ(marks().Marks()[0].get(), a);
    EXPECT_TRUE(a->IsDeleted());

    MakeRoute("R1", Line(50, -4, 2));
    COverlayRoute* synced = MakeRoute("R2", Line(51, -4, 2));
    (void)synced->GetSyncId();
    presenter.AnswerButton(0);
    ASSERT_TRUE(Choose(*BuildRoutesListMenu(nullptr), "Delete all routes"));
    EXPECT_EQ(presenter.Last().title, "Delete All Routes");
    ASSERT_EQ(marks().Routes().size(), 1u);
    EXPECT_EQ(marks().Routes()[0].get(), synced);

    MakeTrack("T1", Line(50, -4, 4));
    COverlayTrack* kept = MakeTrack("T2", Line(51, -4, 4));
    (void)kept->GetSyncId();
    presenter.AnswerButton(0);
    ASSERT_TRUE(Choose(*BuildTracksListMenu(nullptr), "Delete all tracks"));
    EXPECT_EQ(presenter.Last().title, "Delete All Tracks");
    ASSERT_EQ(tracks().Tracks().size(), 1u);
    EXPECT_EQ(tracks().Tracks()[0].get(), kept);
    EXPECT_TRUE(kept->IsDeleted());
}

TEST_F(MenuTest, ViewShowsTheBoxAndNothingForAnObjectWithoutPlace)
{
    tessatest::CTestChartView chart(400, 300);
    ASSERT_TRUE(chart.IsOpen());
    ASSERT_EQ(CRasterleafView::Global(), chart.view.get());
    double lat0 = 0, lon0 = 0;
    ASSERT_TRUE(chart.view->GetCentreLatLon(lat0, lon0));
    COverlayTrack* empty = MakeTrack("Empty", {});
    ASSERT_TRUE(Choose(*BuildTrackRowMenu(*empty, nullptr), "View"));
    auto route = MakeRoute("Empty", {});
    ASSERT_TRUE(Choose(*BuildRouteRowMenu(*route, nullptr), "View"));
    double lat = 0, lon = 0;
    ASSERT_TRUE(chart.view->GetCentreLatLon(lat, lon));
    EXPECT_EQ(lat, lat0);
    EXPECT_EQ(lon, lon0);
    COverlayMark* mark = MakeMark("M", 5, 5);
    ASSERT_TRUE(Choose(*BuildMarkRowMenu(*mark, nullptr), "View"));
    ASSERT_TRUE(chart.view->GetCentreLatLon(lat, lon));
    EXPECT_NEAR(lat, 5, 0.1);
    EXPECT_NEAR(lon, 5, 0.1);
}

TEST_F(MenuTest, SortMenuChecksTheCurrentOrderAndSavesTheChoice)
{
    for (uint32_t sort = 0; sort < 3; ++sort) {
        CMarkManager::Settings().sort = sort;
        auto menu = BuildSortMenu();
        EXPECT_EQ(menu->Title(), "Overlay Sort...");
        std::vector<uint32_t> kinds = {P, P, P};
        kinds[sort] = C;
        EXPECT_EQ(Kinds(*menu), kinds);
    }
    ASSERT_TRUE(Choose(*BuildSortMenu(), "By Date"));
    EXPECT_EQ(CMarkManager::Settings().sort, 1u);
    std::ifstream ini(dir / "settings.ini");
    const std::string text((std::istreambuf_iterator<char>(ini)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("sort=0x1"), std::string::npos) << text;
    // The group menus open it from their "Sort" row.
    ASSERT_TRUE(Choose(*BuildRoutesListMenu(nullptr), "Sort"));
    ASSERT_EQ(gShown.size(), 1u);
    EXPECT_EQ(gShown[0]->Title(), "Overlay Sort...");
    CMarkManager::Settings().sort = 0;
}

TEST_F(MenuTest, ExportAllMarksThroughTheSavePanelImportsBack)
{
    MakeMark("North", 50, -4, "https://example.org/n");
    MakeMark("South", 49, -4);
    MakeMark("Gone", 48, -4)->ClearForDeletion();
    const std::string path = (dir / "marks.gpx").string();
    presenter.ChoosePath(path);
    ASSERT_TRUE(Choose(*BuildMarksListMenu(nullptr), "Export all marks"));
    EXPECT_EQ(presenter.Last().default_name, "marks.gpx");
    marks().ClearForTesting();
    ASSERT_TRUE(ImportGPXFile(path));
    ASSERT_EQ(marks().Marks().size(), 2u);
    EXPECT_EQ(marks().Marks()[0]->GetName(), "North");
    EXPECT_EQ(marks().Marks()[0]->GetLink(), "https://example.org/n");
    EXPECT_EQ(marks().Marks()[1]->GetName(), "South");
}

TEST_F(MenuTest, RouteOperationsFinishTheRouteBeingBuiltFirst)
{
    COverlayRoute* route = marks().CreateRouteFromMark(MakeMark("Start", 50, -4));
    ASSERT_NE(route, nullptr);
    ASSERT_EQ(marks().GetRouteBeingBuilt(), route);
    ASSERT_TRUE(Choose(*BuildMarkActionMenu(*route->Points()[0], nullptr, nullptr), "Route Operations..."));
    EXPECT_EQ(marks().GetRouteBeingBuilt(), nullptr);
    EXPECT_FALSE(HasPendingAction());
    ASSERT_EQ(gShown.size(), 1u);
    EXPECT_EQ(gShown[0]->Title(), route->GetName());
}

TEST_F(MenuTest, ExportAllTracksThroughTheSavePanelImportsBack)
{
    MakeTrack("Morning", Line(50, -4, 70));
    MakeTrack("Evening", Line(51, -4, 5));
    const std::string path = (dir / "tracks.gpx").string();
    presenter.ChoosePath(path);
    ASSERT_TRUE(Choose(*BuildTracksListMenu(nullptr), "Export all tracks"));
    EXPECT_EQ(presenter.Last().default_name, "tracks.gpx");
    const std::vector<CTrackPoint> morning = tracks().Tracks()[0]->AllPoints();
    tracks().ClearForTesting();
    ASSERT_TRUE(ImportGPXFile(path));
    ASSERT_EQ(tracks().Tracks().size(), 2u);
    EXPECT_EQ(tracks().Tracks()[0]->GetName(), "Morning");
    EXPECT_EQ(tracks().Tracks()[1]->GetName(), "Evening");
    const std::vector<CTrackPoint> back = tracks().Tracks()[0]->AllPoints();
    ASSERT_EQ(back.size(), morning.size());
    EXPECT_NEAR(back.back().latitude, morning.back().latitude, 1e-6);
    EXPECT_EQ(back.back().time, morning.back().time);
}

TEST_F(MenuTest, OptimizeRouteShowsTheTipThenAsksForDirectionsAndReverts)
{
    tessatest::LoopbackServer server;
    ASSERT_NE(server.Port(), 0) << server.Error();
    setenv(CChartServer::kEnvironmentVariable, server.BaseURL().c_str(), 1);
    tessatest::CFakeKeepAwake awake;
    std::vector<std::string> bodies;
    server.AddHandler("POST", "/cgi-bin/directions.cgi", [&](const tessatest::LoopbackRequest& request) {
        bodies.push_back(request.body);
        tessatest::LoopbackResponse response;
        response.headers.push_back({"Content-Type", "text/xml"});
        response.body =
            "<?xml version=\"1.0\"?><DirectionsResponse><status>OK</status><route>"
            "<summary>Coast</summary><leg><step><polyline><points>_p~iF~ps|U_ulLnnqC_mqNvxq`@"
            "</points></polyline><maneuver>turn-left</maneuver></step><start_address>A</start_address>"
            "<end_address>B</end_address></leg></route></DirectionsResponse>";
        return response;
    });
    CMarkManager::Settings().optimizeRouteTip = false;
    COverlayRoute* route = MakeRoute("O", Line(50, -4, 3));
    ASSERT_TRUE(Choose(*BuildRouteOperationsMenu(*route, nullptr), "Optimize route..."));
    ASSERT_EQ(gShown.size(), 1u);
    EXPECT_EQ(gShown[0]->Title(), "O");
    EXPECT_EQ(Titles(*gShown[0]), (std::vector<std::string>{"Route for Walking", "Route for Cycling",
                                                            "Route for Driving", "Revert to original"}));
    ASSERT_TRUE(Choose(*gShown[0], "Route for Walking"));
    ASSERT_FALSE(presenter.Shown().empty());
    EXPECT_EQ(presenter.Shown()[0].title, "Hint");
    EXPECT_TRUE(CMarkManager::Settings().optimizeRouteTip);
    ASSERT_EQ(bodies.size(), 1u);
    const std::string walking("w\0a\0l\0k\0i\0n\0g\0", 14);
    EXPECT_NE(bodies[0].find(walking), std::string::npos);
    ASSERT_GT(route->PointCount(), 0u);
    EXPECT_NEAR(route->Points()[0]->GetLatitude(), 38.5, 1e-4);

    // The tip is not shown twice; revert gives the drawn points back.
    presenter.ClearShown();
    ASSERT_TRUE(Choose(*BuildOptimizeMenu(*route, nullptr), "Revert to original"));
    EXPECT_TRUE(presenter.Shown().empty());
    ASSERT_EQ(route->PointCount(), 3u);
    EXPECT_NEAR(route->Points()[0]->GetLatitude(), 50, 1e-9);
    ASSERT_TRUE(Choose(*BuildOptimizeMenu(*route, nullptr), "Route for Driving"));
    ASSERT_EQ(bodies.size(), 2u);
    EXPECT_NE(bodies[1].find(std::string("d\0r\0i\0v\0i\0n\0g\0", 14)), std::string::npos);
    unsetenv(CChartServer::kEnvironmentVariable);
}

TEST_F(MenuTest, ActionMenusOpenFromTheChartAndNearbyMenusNavigate)
{
    tessatest::CTestChartView chart(400, 300);
    ASSERT_TRUE(chart.IsOpen());
    COverlayRoute* route = MakeRoute("Chart", Line(10, 0, 3));
    ASSERT_TRUE(route->ShowActionMenu(*chart.view, COverlayTap{12, 34, 10, 0}));
    ASSERT_EQ(gShown.size(), 1u);
    EXPECT_EQ(gShown[0]->Title(), "ChartP1");
    ASSERT_TRUE(Choose(*gShown[0], "Waypoint Operations..."));
    ASSERT_EQ(gShown.size(), 2u);
    EXPECT_EQ(gShown[1]->Title(), "ChartP1");

    COverlayTrack* track = MakeTrack("Tr", Line(11, 0, 5));
    ASSERT_TRUE(track->Sections()[0]->ShowActionMenu(*chart.view, COverlayTap{}));
    ASSERT_EQ(gShown.size(), 3u);
    EXPECT_EQ(gShown[2]->Title(), "Tr");

    COverlayMark* near = MakeMark("Near", 10.001, 0);
    MakeMark("Far", 12, 0);
    auto nearby = BuildNearbyMarksMenu(10, 0, 8);
    ASSERT_NE(nearby, nullptr);
    EXPECT_EQ(Titles(*nearby), (std::vector<std::string>{"Near", "Far"}));
    ASSERT_TRUE(Choose(*nearby, "Near"));
    EXPECT_EQ(marks().GetGoto().target, near);
    auto routes = BuildNearbyRoutesMenu(10, 0, 6);
    ASSERT_NE(routes, nullptr);
    ASSERT_TRUE(Choose(*routes, "Chart"));
    EXPECT_TRUE(route->IsFollowed());
    marks().CancelGoto();
    marks().ClearForTesting();
    EXPECT_EQ(BuildNearbyMarksMenu(10, 0, 8), nullptr);
}

} // namespace
