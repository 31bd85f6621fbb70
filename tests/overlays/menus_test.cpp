// Action menus of marks, routes and tracks and the list menus: the kinds of
// their rows in each state, and what their rows do when chosen.
// TESSA_TSAN_LABEL (the chart view decodes its tiles on worker threads)
#include "charts/chartlist/ChartOutline.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/platform/PlatformServices.h"
#include "foundation/settings/PersistantData.h"
#include "foundation/web/ChartServer.h"
#include "geodesy/LocalPlane.h"
#include "mapview/overlay/OverlayTool.h"
#include "overlays/OverlayUiDouble.h"
#include "overlays/gpx/GpxFile.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/OverlayTrack.h"
#include "overlays/model/TrackManager.h"
#include "overlays/ui/ActionMenus.h"
#include "overlays/ui/OverlayObjectUi.h"
#include "support/FixedClock.h"
#include "support/MenuPopupDouble.h"
#include "support/ScriptedPresenter.h"
#include "support/TestChartView.h"
#include "support/chunkwriter/ChunkWriter.h"
#include "support/loopback/LoopbackServer.h"
#include "support/packagewriter/JobTestSupport.h"

#include <gtest/gtest.h>

#include <QPoint>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <optional>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr double kT0 = 1700000000;
using Positions = std::vector<std::pair<double, double>>;

// "title:kind|..." with kinds as letters: Plain, Separated, Disabled, Hidden, Checked.
std::string Rows(const CMenuTree& menu)
{
    std::string out;
    for (const auto& item : menu.Root().Children())
        out += (out.empty() ? "" : "|") + item->Title() + ":" + "PSDHC"[std::min(item->Kind(), 4u)];
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
std::vector<QWidget*> gShownOver;
void RecordMenu(std::unique_ptr<CMenuTree> tree, QWidget* parent, const QPoint*)
{
    gShown.push_back(std::move(tree));
    gShownOver.push_back(parent);
}

class MenuTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TearDown();
        fs::create_directories(dir);
        PersistantData::SetIniPaths((dir / "settings.ini").string(), (dir / "secondary.ini").string());
        PersistantData::LoadAll("Tessaroute");
        presenter.SetImmediate(true);
        menus.emplace(&RecordMenu);
        SetURLOpenerForTesting([this](const std::string& url) { return opened.push_back(url), true; });
        InstallPort<IOverlayUi>(&ui);
    }
    void TearDown() override
    {
        menus.reset();
        gShown.clear();
        gShownOver.clear();
        SetURLOpenerForTesting(nullptr);
        InstallPort<IOverlayUi>(nullptr);
        InstallPort<IOverlayObjectUi>(nullptr);
        COverlayTool::EndActiveTool();
        marks().ClearForTesting();
        tracks().ClearForTesting();
        ClearPendingAction();
        PersistantData::SetIniPaths("", "");
        fs::remove_all(dir);
    }
    static CMarkManager& marks() { return CMarkManager::Get(); }
    static CTrackManager& tracks() { return CTrackManager::Get(); }

    static COverlayMark* MakeMark(const std::string& name, double lat, double lon,
                                  const std::string& link = "")
    {
        auto mark = std::make_unique<COverlayMark>();
        mark->SetName(name);
        mark->SetPosition(lat, lon);
        mark->SetLink(link);
        return marks().AddMark(std::move(mark));
    }
    static COverlayRoute* MakeRoute(const std::string& name, const Positions& positions)
    {
        auto route = std::make_unique<COverlayRoute>();
        route->SetName(name);
        for (auto [lat, lon] : positions) {
            CMarkManager::RoutePointScope scope;
            auto p = std::make_unique<COverlayMark>();
            p->SetName(name + "P" + std::to_string(route->PointCount() + 1));
            p->SetPosition(lat, lon);
            route->AddPoint(std::move(p));
        }
        return marks().AddRoute(std::move(route));
    }
    static COverlayTrack* MakeTrack(const std::string& name, const Positions& positions)
    {
        auto track = std::make_unique<COverlayTrack>();
        track->SetName(name);
        double t = kT0;
        for (auto [lat, lon] : positions)
            track->AddPoint(CTrackPoint{lat, lon, t += 30, 0, 0}, false);
        return tracks().AddTrack(std::move(track));
    }
    // n positions northwards, 100 m apart.
    static Positions Line(double lat, double lon, size_t n)
    {
        Positions out;
        for (size_t i = 0; i < n; ++i)
            out.emplace_back(lat + double(i) * 0.0009, lon);
        return out;
    }

    tessatest::CFixedClock clock{kT0};
    tessatest::CScriptedPresenter presenter;
    // Offers nothing until a test turns a feature on.
    tessatest::COverlayUiDouble ui;
    std::optional<tessatest::CMenuPopupDouble> menus;
    std::vector<std::string> opened;
    fs::path dir = fs::temp_directory_path() / ("tessa_menus_" + std::to_string(::getpid()));
};

TEST_F(MenuTest, MarkAndWaypointMenuKindsPerState)
{
    const std::string free =
        "Go-To:%|Cancel Navigation:%|Create Route:P|Edit Mark:%|Open Link:%|Delete Mark:S";
    struct Case
    {
        const char* name;
        int at; // -1: a free mark, else the point of a route of `points`
        size_t points;
        bool navigating, link, dialog, waypointMenu;
        std::string rows; // '%' stands for the kinds in `kinds`, in order
        const char* kinds;
    };
    const std::string point = "Follow Route:%|Cancel Navigation:%|Edit Route:H|Delete Route:S|"
                              "Route Operations...:P|Waypoint Operations...:P";
    const std::string waypoint = "Delete Waypoint:S|Go-To Point:%|Cancel Navigation:%|Insert Waypoint:P|"
                                 "Edit Waypoint:%|Split Route:%|Open Link:%";
    const Case cases[] = {
        {"free mark", -1, 0, false, false, false, false, free, "PHHH"},
        {"free mark, link, dialog", -1, 0, false, true, true, false, free, "PHPP"},
        {"free mark, navigating", -1, 0, true, false, true, false, free, "HPPH"},
        {"route point", 1, 3, false, false, false, false, point, "PH"},
        {"route point, following", 1, 3, true, false, false, false, point, "HP"},
        {"first of 3", 0, 3, false, false, false, true, waypoint, "PHHHH"},
        {"middle of 3, link, dialog", 1, 3, false, true, true, true, waypoint, "PHPPP"},
        {"last of 3", 2, 3, false, false, false, true, waypoint, "PHHHH"},
        {"middle, go-to target", 1, 3, true, false, false, true, waypoint, "HPHPH"},
        {"first of 2", 0, 2, false, false, false, true, waypoint, "PHHHH"},
        {"last of 2", 1, 2, false, false, false, true, waypoint, "PHHHH"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        marks().ClearForTesting();
        // Without the dialog the default port is in: its rows stay hidden.
        ui.editMarks = true;
        InstallPort<IOverlayUi>(c.dialog ? &ui : nullptr);
        const std::string link = c.link ? "https://example.org/x" : "";
        COverlayMark* mark = c.at < 0 ? MakeMark("Buoy", 50, -4, link)
                                      : MakeRoute("R", Line(50, -4, c.points))->Points()[size_t(c.at)].get();
        mark->SetLink(link);
        if (c.navigating && c.at >= 0 && !c.waypointMenu)
            marks().FollowRoute(mark->GetRoute());
        else if (c.navigating)
            marks().GotoMark(mark);
        auto menu = c.waypointMenu ? BuildWaypointOperationsMenu(*mark, nullptr, nullptr)
                                   : BuildMarkActionMenu(*mark, nullptr, nullptr);
        std::string expected = c.rows;
        for (const char* k = c.kinds; *k; ++k)
            expected[expected.find('%')] = *k;
        EXPECT_EQ(menu->Title(), mark->GetName());
        EXPECT_EQ(Rows(*menu), expected);
        marks().CancelGoto();
    }
}

TEST_F(MenuTest, DeletionsAskWhereTheyShouldAndMenusIgnoreVanishedObjects)
{
    // Two points go at once; three ask "Delete route".
    COverlayRoute* two = MakeRoute("Two", Line(50, -4, 2));
    ASSERT_TRUE(Choose(*BuildMarkActionMenu(*two->Points()[0], nullptr, nullptr), "Delete Route"));
    EXPECT_TRUE(presenter.Shown().empty());
    EXPECT_TRUE(two->IsDeleted());
    COverlayRoute* three = MakeRoute("Three", Line(51, -4, 3));
    presenter.AnswerButton(1); // No
    ASSERT_TRUE(Choose(*BuildMarkActionMenu(*three->Points()[2], nullptr, nullptr), "Delete Route"));
    EXPECT_EQ(presenter.Last().title + "/" + presenter.Last().text, "Delete route/Are you sure?");
    EXPECT_FALSE(three->IsDeleted());

    COverlayMark* mark = MakeMark("Rock", 50, -4, "https://example.org/rock");
    mark->SetLocked(true);
    auto menu = BuildMarkActionMenu(*mark, nullptr, nullptr);
    ASSERT_TRUE(Choose(*menu, "Open Link"));
    EXPECT_EQ(opened, std::vector<std::string>{"https://example.org/rock"});
    ASSERT_TRUE(Choose(*menu, "Delete Mark"));
    EXPECT_EQ(presenter.Last().title, "Delete Mark");
    EXPECT_EQ(presenter.Last().text, "Delete locked Mark: \"Rock\".\nAre you sure?");
    EXPECT_TRUE(mark->IsDeleted());
    // The menu outlived its mark: its rows do nothing.
    marks().PurgeTombstones(0);
    presenter.ClearShown();
    EXPECT_TRUE(Choose(*menu, "Go-To") && Choose(*menu, "Delete Mark") && Choose(*menu, "Open Link"));
    EXPECT_TRUE(presenter.Shown().empty());
    EXPECT_EQ(marks().GetGoto().target, nullptr);
    EXPECT_EQ(opened.size(), 1u);
}

TEST_F(MenuTest, JoinRouteIsOfferedWithinTwentyPixelsAndNeverForItself)
{
    tessatest::CTestChartView chart(400, 300);
    ASSERT_TRUE(chart.IsOpen());
    const double metresPerPixel = chart.view->GetCentreScale() * 1852.0;
    const CLocalPlane plane(10, 0);
    const auto north = [&](double pixels) {
        double lat = 0, lon = 0;
        plane.FromXY(0, pixels * metresPerPixel, lat, lon);
        return std::make_pair(lat, lon);
    };
    const auto offersJoin = [&](COverlayMark& point) {
        return Rows(*BuildWaypointOperationsMenu(point, nullptr, chart.view.get())).ends_with("Join Route:P");
    };
    for (const double pixels : {19.5, 21.0}) {
        SCOPED_TRACE(pixels);
        marks().ClearForTesting();
        // "A" starts at (10, 0); "B" ends `pixels` north of it.
        COverlayRoute* a = MakeRoute("A", {{10, 0}, north(-200), north(-400)});
        COverlayRoute* b = MakeRoute("B", {north(400), north(200), north(pixels)});
        EXPECT_EQ(offersJoin(*a->Points()[0]), pixels < 20);
        EXPECT_EQ(offersJoin(*b->Points()[2]), pixels < 20);
        if (pixels < 20) {
            ASSERT_TRUE(Choose(*BuildWaypointOperationsMenu(*a->Points()[0], nullptr, chart.view.get()),
                               "Join Route"));
            EXPECT_TRUE(a->IsDeleted());
            EXPECT_EQ(b->PointCount(), 5u); // A's points after its first
        }
    }
    // A loop route's end lies on its own start.
    marks().ClearForTesting();
    COverlayRoute* loop = MakeRoute("Loop", {{10, 0}, north(-300), {10, 0.01}, north(1)});
    EXPECT_FALSE(offersJoin(*loop->Points()[0]));
    EXPECT_FALSE(offersJoin(*loop->Points()[3]));
}

TEST_F(MenuTest, TrackMenuKindsAndJoinsNeverTheTrackItself)
{
    tessatest::CTestChartView chart(400, 300);
    ASSERT_TRUE(chart.IsOpen());
    ui.editTracks = true;
    // A round trip over two sections whose end is its start.
    Positions trip = Line(10, 0, 35);
    for (size_t i = 35; i-- > 0;)
        trip.emplace_back(trip[i].first, 0.0001);
    trip.back() = trip.front();
    COverlayTrack* round = MakeTrack("Round", trip);
    ASSERT_EQ(round->Sections().size(), 2u);
    const CTrackSection* first = round->Sections().front().get();
    const CTrackSection* last = round->Sections().back().get();
    const int end = int(last->Count()) - 1;
    struct Case
    {
        const char* name;
        const CTrackSection* section;
        int index;
        bool locked;
        const char* kinds; // Edit, Split, Join after, Join before, Convert, Delete
    };
    const Case cases[] = {
        {"no tool point", nullptr, -1, false, "PHHHPS"}, {"first point", first, 0, false, "PHHHPS"},
        {"middle", first, 10, false, "PPHHPS"},          {"last point", last, end, false, "PHHHPS"},
        {"locked", first, 10, true, "PPHHDD"},
    };
    const auto kinds = [](const CMenuTree& menu) {
        std::string out;
        for (const auto& item : menu.Root().Children())
            out += "PSDHC"[item->Kind()];
        return out;
    };
    for (const Case& c : cases) {
        round->SetLocked(c.locked);
        auto menu = BuildTrackMenu(*round, c.section, c.index, nullptr, chart.view.get());
        EXPECT_EQ(Rows(*menu).substr(0, 37),
                  "Edit Track:P|Split Track:" + std::string(1, c.kinds[1]) + "|Join Track");
        EXPECT_EQ(kinds(*menu), c.kinds) << c.name;
    }
    round->SetLocked(false);
    EXPECT_FALSE(round->Join(round));

    // A track starting at the round trip's end is offered and joined on.
    COverlayTrack* next = MakeTrack("Next", Line(10.00001, 0, 5));
    auto menu = BuildTrackMenu(*round, last, end, nullptr, chart.view.get());
    EXPECT_EQ(kinds(*menu), "PHPHPS");
    const size_t before = round->PointCount();
    ASSERT_TRUE(Choose(*menu, "Join Track", 0));
    EXPECT_TRUE(next->IsDeleted());
    EXPECT_GE(round->PointCount(), before + 4);
    // And one ending at its start takes the round trip on.
    COverlayTrack* earlier = MakeTrack("Earlier", {{9.99, 0}, {9.995, 0}, {10.00001, 0}});
    auto fromStart = BuildTrackMenu(*round, round->Sections().front().get(), 0, nullptr, chart.view.get());
    EXPECT_EQ(kinds(*fromStart), "PHHPPS");
    ASSERT_TRUE(Choose(*fromStart, "Join Track", 1));
    EXPECT_TRUE(round->IsDeleted());
    EXPECT_FALSE(earlier->IsDeleted());
}

TEST_F(MenuTest, ConvertsAndRouteOperations)
{
    COverlayTrack* track = MakeTrack("T", Line(50, -4, 10));
    ASSERT_TRUE(Choose(*BuildTrackMenu(*track, nullptr, -1, nullptr, nullptr), "Convert to Route"));
    EXPECT_EQ(presenter.Last().text,
              "Convert Track to Route: \"T\".\n(Conversion discards speed/time data)\nAre "
              "you sure?");
    EXPECT_TRUE(track->IsDeleted());
    ASSERT_EQ(marks().Routes().size(), 1u);
    COverlayRoute* route = marks().Routes()[0].get();
    EXPECT_EQ(Rows(*BuildRouteOperationsMenu(*route, nullptr)),
              "Reverse route:P|Optimize route...:P|Convert to Track:P|Download map along route:H|"
              "Download enclosed map:H");
    ASSERT_TRUE(Choose(*BuildRouteOperationsMenu(*route, nullptr), "Convert to Track"));
    EXPECT_TRUE(route->IsDeleted());
    EXPECT_EQ(tracks().Tracks().back()->GetName(), "T-converted-converted");

    // The route being built is finished before its operations open.
    COverlayRoute* built = marks().CreateRouteFromMark(MakeMark("Start", 50, -4));
    ASSERT_EQ(marks().GetRouteBeingBuilt(), built);
    ASSERT_TRUE(Choose(*BuildMarkActionMenu(*built->Points()[0], nullptr, nullptr), "Route Operations..."));
    EXPECT_EQ(marks().GetRouteBeingBuilt(), nullptr);
    ASSERT_EQ(gShown.size(), 1u);
    EXPECT_EQ(gShown[0]->Title(), built->GetName());
}

TEST_F(MenuTest, DownloadsStartOnlyForChunkedChartsWithTheCorridorWidth)
{
    const chunkwriter::CChunkedChart chart(4, 3, chunkwriter::MakeChartImage(256, 192, 5));
    const std::string chunked = (dir / "chunked.rlt").string(), single = (dir / "single.rlt").string();
    ASSERT_TRUE(chart.WriteChartFile(chunked) && chart.WriteSingleFileChart(single));
    const auto outline = CChartOutline::FromFile(chunked);
    ASSERT_TRUE(outline && outline->chunked);
    COverlayRoute* route = MakeRoute("D", {{10, 1}, {11, 2}});
    EXPECT_FALSE(StartRouteDownload(*route, chunked, 0)); // the download is not offered yet
    ui.download = true;
    EXPECT_FALSE(StartRouteDownload(*route, single, 0));
    ASSERT_TRUE(StartRouteDownload(*route, chunked, 0) && StartRouteDownload(*route, chunked, 1));
    const auto& calls = ui.downloads;
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].chartPath, chunked);
    EXPECT_EQ(calls[0].lonLat, (Positions{{1, 10}, {2, 11}}));
    EXPECT_EQ(calls[0].mode, 0);
    EXPECT_EQ(calls[0].width, outline->scale * 1000 * 1852);
    EXPECT_EQ(calls[1].mode, 1);
    EXPECT_EQ(calls[1].width, 0);
}

TEST_F(MenuTest, RowMenusActAtOnceDeleteAllAsksAndKeepsSynchronisedTombstones)
{
    COverlayMark* a = MakeMark("A", 50, -4);
    COverlayMark* b = MakeMark("B", 50.1, -4);
    (void)a->GetSyncId(); // once synchronised: its tombstone must stay
    auto row = BuildMarkRowMenu(*b, nullptr);
    EXPECT_EQ(Rows(*row), "Edit:H|View:P|Delete:S");
    ASSERT_TRUE(Choose(*row, "Delete"));
    EXPECT_TRUE(presenter.Shown().empty());
    EXPECT_TRUE(b->IsDeleted());
    COverlayMark* c = MakeMark("C", 50.2, -4);
    presenter.AnswerButton(1);
    ASSERT_TRUE(Choose(*BuildMarksListMenu(nullptr), "Delete All Marks"));
    EXPECT_EQ(presenter.Last().title + "/" + presenter.Last().text, "Delete All Marks/Are you sure?");
    EXPECT_FALSE(c->IsDeleted());
    ASSERT_TRUE(Choose(*BuildMarksListMenu(nullptr), "Delete All Marks"));
    ASSERT_EQ(marks().Marks().size(), 1u);
    EXPECT_TRUE(marks().Marks()[0].get() == a && a->IsDeleted());

    MakeRoute("R1", Line(50, -4, 2));
    COverlayRoute* synced = MakeRoute("R2", Line(51, -4, 2));
    (void)synced->GetSyncId();
    ASSERT_TRUE(Choose(*BuildRoutesListMenu(nullptr), "Delete all routes"));
    EXPECT_EQ(presenter.Last().title, "Delete All Routes");
    ASSERT_EQ(marks().Routes().size(), 1u);
    EXPECT_EQ(marks().Routes()[0].get(), synced);

    MakeTrack("T1", Line(50, -4, 4));
    COverlayTrack* kept = MakeTrack("T2", Line(51, -4, 4));
    (void)kept->GetSyncId();
    ASSERT_TRUE(Choose(*BuildTracksListMenu(nullptr), "Delete all tracks"));
    EXPECT_EQ(presenter.Last().title, "Delete All Tracks");
    ASSERT_EQ(tracks().Tracks().size(), 1u);
    EXPECT_TRUE(tracks().Tracks()[0].get() == kept && kept->IsDeleted());
}

TEST_F(MenuTest, ViewShowsTheBoxAndNothingForAnObjectWithoutPlace)
{
    tessatest::CTestChartView chart(400, 300);
    ASSERT_TRUE(chart.IsOpen());
    double lat0 = 0, lon0 = 0, lat = 0, lon = 0;
    ASSERT_TRUE(chart.view->GetCentreLatLon(lat0, lon0));
    ASSERT_TRUE(Choose(*BuildTrackRowMenu(*MakeTrack("Empty", {}), nullptr), "View"));
    ASSERT_TRUE(Choose(*BuildRouteRowMenu(*MakeRoute("Empty", {}), nullptr), "View"));
    ASSERT_TRUE(chart.view->GetCentreLatLon(lat, lon));
    EXPECT_TRUE(lat == lat0 && lon == lon0);
    ASSERT_TRUE(Choose(*BuildMarkRowMenu(*MakeMark("M", 5, 5), nullptr), "View"));
    ASSERT_TRUE(chart.view->GetCentreLatLon(lat, lon));
    EXPECT_NEAR(lat, 5, 0.1);
    EXPECT_NEAR(lon, 5, 0.1);
}

TEST_F(MenuTest, SortMenuChecksTheCurrentOrderAndSavesTheChoice)
{
    for (const uint32_t sort : {0u, 1u, 2u}) {
        CMarkManager::Settings().sort = sort;
        std::string expected = "By Name:P|By Date:P|Distance:P";
        expected[expected.find(":P", sort == 0 ? 0 : sort == 1 ? 10 : 20) + 1] = 'C';
        EXPECT_EQ(Rows(*BuildSortMenu()), expected);
    }
    // The group menus open it from their "Sort" row.
    ASSERT_TRUE(Choose(*BuildRoutesListMenu(nullptr), "Sort"));
    ASSERT_EQ(gShown.size(), 1u);
    EXPECT_EQ(gShown[0]->Title(), "Overlay Sort...");
    ASSERT_TRUE(Choose(*gShown[0], "By Date"));
    EXPECT_EQ(CMarkManager::Settings().sort, 1u);
    std::ifstream ini(dir / "settings.ini");
    const std::string text((std::istreambuf_iterator<char>(ini)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("sort=0x1"), std::string::npos) << text;
    CMarkManager::Settings().sort = 0;
}

TEST_F(MenuTest, ExportAllThroughTheSavePanelImportsBack)
{
    MakeMark("North", 50, -4, "https://example.org/n");
    MakeMark("Gone", 48, -4)->ClearForDeletion();
    MakeTrack("Morning", Line(50, -4, 70));
    const std::vector<CTrackPoint> morning = tracks().Tracks()[0]->AllPoints();
    presenter.ChoosePath((dir / "marks.gpx").string());
    presenter.ChoosePath((dir / "tracks.gpx").string());
    ASSERT_TRUE(Choose(*BuildMarksListMenu(nullptr), "Export all marks"));
    EXPECT_EQ(presenter.Last().default_name, "marks.gpx");
    ASSERT_TRUE(Choose(*BuildTracksListMenu(nullptr), "Export all tracks"));
    EXPECT_EQ(presenter.Last().default_name, "tracks.gpx");
    marks().ClearForTesting();
    tracks().ClearForTesting();
    ASSERT_TRUE(ImportGPXFile((dir / "marks.gpx").string()) && ImportGPXFile((dir / "tracks.gpx").string()));
    ASSERT_EQ(marks().Marks().size(), 1u);
    EXPECT_EQ(marks().Marks()[0]->GetLink(), "https://example.org/n");
    ASSERT_EQ(tracks().Tracks().size(), 1u);
    const std::vector<CTrackPoint> back = tracks().Tracks()[0]->AllPoints();
    ASSERT_EQ(back.size(), morning.size());
    EXPECT_EQ(back.back().time, morning.back().time);

    // A file that cannot be written is said so.
    const std::string nowhere = (dir / "missing" / "routes.gpx").string();
    presenter.ChoosePath(nowhere);
    ASSERT_TRUE(Choose(*BuildRoutesListMenu(nullptr), "Export all routes"));
    EXPECT_EQ(presenter.Last().title + "/" + presenter.Last().text,
              "Export all routes/The file could not be written: " + nowhere);
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
        return tessatest::LoopbackResponse{
            200,
            {{"Content-Type", "text/xml"}},
            "<?xml "
            "version=\"1.0\"?><DirectionsResponse><status>OK</status><route><leg><step><polyline><points>"
            "_p~iF~ps|U_ulLnnqC_mqNvxq`@</points></polyline><maneuver>turn-left</maneuver></step></leg></"
            "route>"
            "</DirectionsResponse>"};
    });
    CMarkManager::Settings().optimizeRouteTip = false;
    ForgetHintsSeenForTesting();
    COverlayRoute* route = MakeRoute("O", Line(50, -4, 3));
    ASSERT_TRUE(Choose(*BuildRouteOperationsMenu(*route, nullptr), "Optimize route..."));
    ASSERT_EQ(gShown.size(), 1u);
    EXPECT_EQ(Rows(*gShown[0]),
              "Route for Walking:P|Route for Cycling:P|Route for Driving:P|Revert to original:P");
    ASSERT_TRUE(Choose(*gShown[0], "Route for Walking"));
    ASSERT_FALSE(presenter.Shown().empty());
    EXPECT_EQ(presenter.Shown()[0].title, "Hint");
    ASSERT_EQ(bodies.size(), 1u);
    EXPECT_NE(bodies[0].find(std::string("w\0a\0l\0k\0i\0n\0g\0", 14)), std::string::npos);
    EXPECT_NEAR(route->Points()[0]->GetLatitude(), 38.5, 1e-4);

    // The tip shows once; revert gives the drawn points back.
    presenter.ClearShown();
    ASSERT_TRUE(Choose(*BuildOptimizeMenu(*route, nullptr), "Revert to original"));
    ASSERT_EQ(route->PointCount(), 3u);
    EXPECT_NEAR(route->Points()[0]->GetLatitude(), 50, 1e-9);
    ASSERT_TRUE(Choose(*BuildOptimizeMenu(*route, nullptr), "Route for Cycling"));
    EXPECT_TRUE(presenter.Shown().empty());
    ASSERT_EQ(bodies.size(), 2u);
    EXPECT_NE(bodies[1].find(std::string("b\0i\0c\0y\0c\0l\0i\0n\0g\0", 18)), std::string::npos);
    unsetenv(CChartServer::kEnvironmentVariable);
}

TEST_F(MenuTest, MenusOpenFromTheChartAndNearbyMenusNavigate)
{
    tessatest::CTestChartView chart(400, 300);
    ASSERT_TRUE(chart.IsOpen());
    COverlayRoute* route = MakeRoute("Chart", Line(10, 0, 3));
    COverlayTrack* track = MakeTrack("Tr", Line(11, 0, 5));
    // Until the overlay ui fills the objects' port no menu opens.
    EXPECT_FALSE(route->ShowActionMenu(*chart.view, COverlayTap{12, 34, 10, 0}));
    EXPECT_FALSE(track->Sections()[0]->ShowActionMenu(*chart.view, COverlayTap{}));
    EXPECT_TRUE(gShown.empty());
    COverlayObjectUi objectUi;
    InstallPort<IOverlayObjectUi>(&objectUi);
    QWidget over;
    ui.parent = &over;
    ASSERT_TRUE(route->ShowActionMenu(*chart.view, COverlayTap{12, 34, 10, 0}));
    ASSERT_TRUE(track->Sections()[0]->ShowActionMenu(*chart.view, COverlayTap{}));
    ASSERT_EQ(gShown.size(), 2u);
    EXPECT_EQ(gShown[0]->Title() + "," + gShown[1]->Title(), "ChartP1,Tr");
    EXPECT_EQ(gShownOver, (std::vector<QWidget*>{&over, &over}));

    COverlayMark* near = MakeMark("Near", 10.001, 0);
    MakeMark("Far", 12, 0);
    auto nearby = BuildNearbyMarksMenu(10, 0, 8);
    ASSERT_NE(nearby, nullptr);
    EXPECT_EQ(Rows(*nearby), "Near:P|Far:P");
    ASSERT_TRUE(Choose(*nearby, "Near"));
    EXPECT_EQ(marks().GetGoto().target, near);
    ASSERT_TRUE(Choose(*BuildNearbyRoutesMenu(10, 0, 6), "Chart"));
    EXPECT_TRUE(route->IsFollowed());
    marks().CancelGoto();
    marks().ClearForTesting();
    EXPECT_EQ(BuildNearbyMarksMenu(10, 0, 8), nullptr);
}

} // namespace
