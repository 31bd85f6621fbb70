// Routes: editing (delete, reverse, split, join), distances, the stored
// record, and building by taps on a chart view with its names, status text,
// hint and pending action.
// TESSA_TSAN_LABEL (the chart view decodes its tiles on worker threads)
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/notify/StatusLine.h"
#include "foundation/objectfile/Serializable.h"
#include "geodesy/Units.h"
#include "mapview/view/OverlaySourcesPorts.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/NumberedMarkCreator.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/ui/OverlayObjectUi.h"
#include "support/FixedClock.h"
#include "support/ScriptedPresenter.h"
#include "support/TestChartView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string FromHex(const std::string& hex)
{
    std::string out, digits;
    for (char c : hex)
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits += c;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out += char(std::stoi(digits.substr(i, 2), nullptr, 16));
    return out;
}

class RouteTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CMarkManager::Get().ClearForTesting();
        ClearStatusMessage();
        ClearPendingAction();
        dir = fs::temp_directory_path() / ("tessa_routes_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        PersistantData::SetIniPaths((dir / "settings.ini").string(), (dir / "secondary.ini").string());
        PersistantData::LoadAll("Tessaroute");
        CMarkManager::Settings().routeCreateHint = false;
        ForgetHintsSeenForTesting();
        presenter.SetImmediate(true);
    }
    void TearDown() override
    {
        CMarkManager::Get().ClearForTesting();
        ClearPendingAction();
        PersistantData::SetIniPaths("", "");
        fs::remove_all(dir);
    }
    CMarkManager& manager() { return CMarkManager::Get(); }

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
        return manager().AddRoute(std::move(route));
    }
    static std::vector<std::string> Names(const COverlayRoute& route)
    {
        std::vector<std::string> names;
        for (const auto& p : route.Points())
            names.push_back(p->GetName());
        return names;
    }

    tessatest::CFixedClock clock;
    tessatest::CScriptedPresenter presenter;
    fs::path dir;
};

TEST_F(RouteTest, DeletingPointsKeepsTwoOrDeletesTheRoute)
{
    COverlayRoute* two = MakeRoute("Two", {{1, 1}, {2, 2}});
    COverlayRoute* three = MakeRoute("Three", {{1, 1}, {2, 2}, {3, 3}});
    COverlayMark* foreign = two->Points()[0].get();
    three->DeletePoint(foreign); // not in the route
    EXPECT_EQ(three->PointCount(), 3u);
    three->DeletePoint(three->Points()[1].get());
    EXPECT_EQ(Names(*three), (std::vector<std::string>{"ThreeP1", "ThreeP3"}));
    EXPECT_FALSE(three->IsDeleted());

    two->DeletePoint(two->Points()[1].get());
    EXPECT_TRUE(two->IsDeleted());
    EXPECT_EQ(two->PointCount(), 0u);
    EXPECT_EQ(two->GetName(), "");
    EXPECT_EQ(two->GetState(), COverlayObject::kDeleted);
    EXPECT_EQ(manager().Routes().size(), 2u); // a tombstone stays listed
}

TEST_F(RouteTest, ReversingSwapsTheNamesEnds)
{
    const struct
    {
        const char* name;
        const char* reversed;
    } cases[] = {
        {"Harbour to Bay", "Bay to Harbour"},
        {"Evening sail", "Evening sail"},
        {"A to B to C", "B to C to A"},
        {" to ", " to "},
    };
    for (const auto& c : cases) {
        COverlayRoute* r = MakeRoute(c.name, {{1, 1}, {2, 2}, {3, 3}});
        const std::string first = r->Points()[0]->GetName();
        r->Reverse();
        EXPECT_EQ(r->GetName(), c.reversed);
        EXPECT_EQ(r->Points()[2]->GetName(), first);
    }
}

TEST_F(RouteTest, SplitAndJoin)
{
    COverlayRoute* r = MakeRoute("R", {{1, 1}, {2, 2}, {3, 3}, {4, 4}});
    r->GetLineStyle().pattern = CLineStyle::kDot;
    r->SetCategory("walk");
    COverlayRoute* tail = r->Split(r->Points()[3].get());
    ASSERT_NE(tail, nullptr);
    EXPECT_EQ(tail->GetName(), "R-split");
    EXPECT_EQ(tail->PointCount(), 1u); // a copy of the last point only
    EXPECT_EQ(tail->Points()[0]->GetLatitude(), 4.0);
    EXPECT_EQ(tail->Points()[0]->GetRoute(), tail);
    EXPECT_EQ(tail->GetLineStyle().pattern, CLineStyle::kDot);
    EXPECT_EQ(tail->GetCategory(), "walk");
    EXPECT_EQ(r->PointCount(), 4u);

    COverlayRoute* mid = r->Split(r->Points()[1].get());
    ASSERT_NE(mid, nullptr);
    EXPECT_EQ(Names(*r), (std::vector<std::string>{"RP1", "RP2"}));
    EXPECT_EQ(Names(*mid), (std::vector<std::string>{"RP2", "RP3", "RP4"}));
    for (const auto& p : mid->Points())
        EXPECT_EQ(p->GetRoute(), mid);
    EXPECT_EQ(r->Split(mid->Points()[0].get()), nullptr); // not one of its points

    // Join: every point of the other but its first; the other is deleted.
    EXPECT_FALSE(r->Join(r));
    EXPECT_EQ(r->PointCount(), 2u);
    EXPECT_FALSE(r->IsDeleted());
    ASSERT_TRUE(r->Join(mid));
    EXPECT_EQ(Names(*r), (std::vector<std::string>{"RP1", "RP2", "RP3", "RP4"}));
    EXPECT_EQ(r->Points()[3]->GetRoute(), r);
    EXPECT_TRUE(mid->IsDeleted());
    EXPECT_FALSE(r->Join(mid)); // deleted routes are refused

    ASSERT_TRUE(r->Join(tail)); // one point: nothing added, still deleted
    EXPECT_EQ(r->PointCount(), 4u);
    EXPECT_TRUE(tail->IsDeleted());
}

TEST_F(RouteTest, TotalDistanceMeasuresEachLegOnItsOwnPlane)
{
    const struct
    {
        std::vector<std::pair<double, double>> points;
        double metres, tolerance;
    } cases[] = {
        {{{10, 10}}, 0, 0},
        {{{0, 0}, {1, 0}}, 110574, 50},
        {{{0, 179.5}, {0, -179.5}}, 111320, 50}, // across the date line, not round the world
        {{{0, 0}, {1, 0}, {1, 0}, {0, 0}}, 2 * 110574, 100},
        {{{60, 0}, {60, 1}, {80, 1}}, 55800 + 2226000, 6000},
    };
    for (const auto& c : cases) {
        COverlayRoute* r = MakeRoute("D", c.points);
        EXPECT_NEAR(r->TotalDistance(), c.metres, c.tolerance) << c.points.size();
    }
}

// "R1" in black, width 2, dashed; points a, b, c at (1, 1), (2, 2), (3, 3)
// in blue Dot icons; sync id 0x42.
const char* const kRouteHex =
    "49f2ac73"
    "be 43010000"   // route chunk, 323 bytes
    "02000000 5231" // name "R1"
    "be 1d000000"   // line style chunk, 29 bytes
    "00000000 00000000 00000000 0000803f 00000040 01000000"
    "03000000" // three points
    "be 4f000000 01000000 61 000000000000f03f 000000000000f03f 00000040fc54d941 00000000 00000000 00 00"
    "03000000 446f74 00000000 00000000 0000803f 0000803f 00000000 00000000 00000000"
    "be 4f000000 01000000 62 0000000000000040 0000000000000040 00000040fc54d941 00000000 00000000 00 00"
    "03000000 446f74 00000000 00000000 0000803f 0000803f 00000000 00000000 00000000"
    "be 4f000000 01000000 63 0000000000000840 0000000000000840 00000040fc54d941 00000000 00000000 00 00"
    "03000000 446f74 00000000 00000000 0000803f 0000803f 00000000 00000000 00000000"
    "00000000" // description
    "00"       // followed
    "be 21000000 4200000000000000 00 00000040fc54d941 00 00000040fc54d941 01 00"
    "00000000"; // category

TEST_F(RouteTest, ThreePointRecordMatchesItsGoldenBytes)
{
    auto route = std::make_unique<COverlayRoute>();
    route->SetName("R1");
    route->GetLineStyle().pattern = CLineStyle::kDash;
    const char* names[] = {"a", "b", "c"};
    for (int i = 0; i < 3; ++i) {
        CMarkManager::RoutePointScope scope;
        auto p = std::make_unique<COverlayMark>();
        p->SetName(names[i]);
        p->SetPosition(i + 1, i + 1);
        route->AddPoint(std::move(p));
    }
    route->SetSyncId(0x42);
    std::string bytes;
    ASSERT_TRUE(route->SaveToBuffer(bytes));
    const std::string golden = FromHex(kRouteHex);
    EXPECT_EQ(bytes, golden);

    COverlayRoute read;
    ASSERT_TRUE(read.LoadFromBuffer(golden.data(), golden.size()));
    EXPECT_TRUE(read.IsSameRoute(*route));
    EXPECT_EQ(read.GetLineStyle().pattern, CLineStyle::kDash);
    EXPECT_EQ(read.Points()[2]->GetRoute(), &read);
    EXPECT_EQ(read.Points()[0]->GetIcon(), "Dot");
    EXPECT_FALSE(CMarkManager::IsMakingRoutePoints()); // the switch ends with the read

    // Counts the bytes cannot back are refused, the limit included.
    for (uint32_t count : {4u, 10000001u}) {
        std::string bad = golden;
        std::memcpy(&bad[4 + 5 + 6 + 29], &count, 4);
        COverlayRoute r;
        EXPECT_FALSE(r.LoadFromBuffer(bad.data(), bad.size())) << count;
        EXPECT_EQ(r.PointCount(), 0u);
        EXPECT_FALSE(CMarkManager::IsMakingRoutePoints());
    }
}

TEST_F(RouteTest, NextRouteNameCountsEveryRouteStartingWithR)
{
    EXPECT_EQ(manager().NextRouteName(), "R1");
    MakeRoute("R1", {});
    MakeRoute("R7", {});
    MakeRoute("Road", {});
    MakeRoute("R", {});
    EXPECT_EQ(manager().NextRouteName(), "R8");
    MakeRoute("R99999999999999999999999", {});
    EXPECT_EQ(manager().NextRouteName(), "R1000000000000000000");
}

TEST_F(RouteTest, InsertionFollowsItsPointAndFallsBackToTheEnd)
{
    COverlayRoute* r = MakeRoute("R", {{1, 1}, {2, 2}, {3, 3}, {4, 4}});
    // After a point in mid-route: one point, then building ends.
    manager().BeginInsertWaypoint(r, r->Points()[0].get());
    EXPECT_TRUE(HasPendingAction());
    r->AddPointWhileBuilding(nullptr, 1.5, 1.5, "", COverlayTap{});
    EXPECT_EQ(r->Points()[1]->GetLatitude(), 1.5);
    EXPECT_EQ(manager().GetRouteBeingBuilt(), nullptr);
    EXPECT_FALSE(HasPendingAction());

    // After a point that then leaves the route: the end, and building goes on.
    manager().BeginInsertWaypoint(r, r->Points()[2].get());
    r->DeletePoint(r->Points()[2].get());
    r->AddPointWhileBuilding(nullptr, 9, 9, "", COverlayTap{});
    EXPECT_EQ(r->Points().back()->GetLatitude(), 9.0);
    EXPECT_EQ(r->Points().back()->GetName(), "RP5");
    EXPECT_EQ(manager().GetRouteBeingBuilt(), r);

    // The Done action ends building; deleting the route forgets the action.
    RunPendingAction();
    EXPECT_EQ(manager().GetRouteBeingBuilt(), nullptr);
    EXPECT_FALSE(IsStatusLineShown());
    manager().BeginInsertWaypoint(r, nullptr);
    manager().DeleteRoute(r);
    EXPECT_EQ(manager().GetRouteBeingBuilt(), nullptr);
    EXPECT_FALSE(HasPendingAction());
}

TEST_F(RouteTest, ARouteEndedBeforeItsFirstPointIsNotKept)
{
    MakeRoute("R1", {{1, 1}, {2, 2}});
    // Done, and a new route in place of an empty one, leave nothing behind.
    manager().BeginNewRoute();
    RunPendingAction();
    manager().BeginNewRoute();
    COverlayRoute* r = manager().BeginNewRoute();
    ASSERT_EQ(manager().Routes().size(), 2u);
    EXPECT_EQ(r->GetName(), "R2");
    // Quitting while it is still empty does not keep it either.
    const std::string path = (dir / CMarkManager::kStoreFile).string();
    ASSERT_TRUE(manager().SaveStore(path));
    auto read = CMarkManager::MakeScratch();
    ASSERT_TRUE(read->LoadFromFile(path, nullptr, CMarkManager::kFileId));
    EXPECT_EQ(read->Routes().size(), 1u);
    // One point is worth keeping; an empty route the server knows of leaves
    // a tombstone to tell it.
    r->AddPointWhileBuilding(nullptr, 3, 3, "", COverlayTap{});
    manager().BeginNewRoute()->GetSyncId();
    RunPendingAction();
    ASSERT_EQ(manager().Routes().size(), 3u);
    EXPECT_FALSE(r->IsDeleted());
    EXPECT_TRUE(manager().Routes().back()->IsDeleted());
}

class RouteBuildingOnChart : public RouteTest
{
protected:
    void SetUp() override
    {
        RouteTest::SetUp();
        chart = std::make_unique<tessatest::CTestChartView>(400, 300);
        ASSERT_TRUE(chart->IsOpen());
        // The chart view's ports as the application fills them.
        InstallPort<IMarkCreator>(&markCreator);
        InstallPort<IOverlayObjectUi>(&objectUi);
    }
    void TearDown() override
    {
        InstallPort<IOverlayObjectUi>(nullptr);
        InstallPort<IMarkCreator>(nullptr);
        CMarkManager::Get().ClearForTesting();
        chart.reset();
        RouteTest::TearDown();
    }
    COverlayTap TapAt(double x, double y)
    {
        COverlayTap tap{x, y, 0, 0};
        chart->view->ScreenToLatLon(x, y, tap.latitude, tap.longitude);
        return tap;
    }
    std::unique_ptr<tessatest::CTestChartView> chart;
    CNumberedMarkCreator markCreator;
    COverlayObjectUi objectUi;
};

TEST_F(RouteBuildingOnChart, TapsMakeNamedPointsAndShowTheDistance)
{
    MakeRoute("R1", {{1, 1}, {2, 2}});
    COverlayRoute* r = manager().BeginNewRoute();
    ASSERT_EQ(r->GetName(), "R2");
    ASSERT_EQ(manager().GetRouteBeingBuilt(), r);
    // While it is built, the route takes every tap on the chart.
    ASSERT_TRUE(chart->view->DisplayedOverlays().Contains(r));
    for (auto [x, y] : {std::pair{100.0, 100.0}, {200.0, 100.0}, {200.0, 200.0}})
        ASSERT_TRUE(r->OnTap(*chart->view, TapAt(x, y)));
    EXPECT_EQ(Names(*r), (std::vector<std::string>{"R2P1", "R2P2", "R2P3"}));
    std::string distance;
    CDefaultUnits::Get().FormatDistance(float(r->TotalDistance()), distance);
    EXPECT_EQ(GetStatusMessage(), "Total distance: " + distance);
    EXPECT_GT(r->TotalDistance(), 0);
    EXPECT_TRUE(chart->view->DisplayedOverlays().Contains(r->Points()[2].get()));

    // Tapped free marks join the route: their names, unless plain point names.
    COverlayMark* buoy = manager().CreateMarkAt(chart->view.get(), "Buoy", 8, 1);
    COverlayMark* locked = manager().CreateMarkAt(chart->view.get(), "Pier", 8.5, 1);
    locked->SetLocked(true);
    COverlayMark* plain = manager().CreateMarkAt(chart->view.get(), "P7", 9, 1);
    ASSERT_EQ(manager().GetRouteBeingBuilt(), nullptr); // making a mark ran the Done action
    manager().BeginInsertWaypoint(r, nullptr);
    for (COverlayMark* m : {buoy, locked, plain})
        ASSERT_TRUE(m->OnTap(*chart->view, TapAt(10, 10)));
    // Each merge names the route first to last; the plain-named mark's point
    // keeps the name it was made with, from the route's name by then.
    EXPECT_EQ(Names(*r),
              (std::vector<std::string>{"R2P1", "R2P2", "R2P3", "Buoy", "Pier", "R2P1 to PierP6"}));
    EXPECT_EQ(r->Points()[3]->GetLatitude(), 8.0);
    EXPECT_EQ(r->GetName(), "R2P1 to R2P1 to PierP6");
    EXPECT_TRUE(buoy->IsDeleted());
    EXPECT_FALSE(locked->IsDeleted());
    EXPECT_TRUE(plain->IsDeleted());
    EXPECT_FALSE(chart->view->DisplayedOverlays().Contains(buoy));

    // One click through the chart view's input adds a locked mark once.
    COverlayMark* jetty = manager().CreateMarkAt(chart->view.get(), "Jetty", 7.5, 1);
    jetty->SetLocked(true);
    manager().BeginInsertWaypoint(r, nullptr);
    const size_t before = r->PointCount();
    double x = 0, y = 0;
    ASSERT_TRUE(chart->view->LatLonToScreen(7.5, 1, x, y));
    chart->view->Press(x, y);
    chart->view->Release();
    EXPECT_EQ(r->PointCount(), before + 1);
}

TEST_F(RouteBuildingOnChart, CreateRouteFromAMarkAndTheHintShownOnce)
{
    COverlayMark* p4 = manager().CreateMarkAt(chart->view.get(), "P4", 8, 0);
    ASSERT_NE(p4, nullptr);
    EXPECT_EQ(manager().CreateMarkAt(chart->view.get(), "bad", std::nan(""), 0), nullptr);
    EXPECT_EQ(manager().CreateMarkAt(chart->view.get(), "bad", 91, 0), nullptr);
    COverlayRoute* r = manager().CreateRouteFromMark(p4);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetName(), "R1");
    EXPECT_EQ(Names(*r), (std::vector<std::string>{"R1P1"}));
    EXPECT_EQ(r->Points()[0]->GetIcon(), "Dot");
    EXPECT_TRUE(p4->IsDeleted());
    EXPECT_EQ(manager().GetRouteBeingBuilt(), r);

    ASSERT_EQ(presenter.Shown().size(), 1u);
    EXPECT_EQ(presenter.Last().title, "Hint");
    EXPECT_EQ(presenter.Last().text, "Tap to add a series of waypoints. Tap \"Done\" to finish.");
    EXPECT_EQ(presenter.Last().buttons, std::vector<std::string>{"Got it"});
    std::ifstream ini(dir / "settings.ini");
    std::stringstream text;
    text << ini.rdbuf();
    EXPECT_NE(text.str().find("CMarkManager:route_create_hint=1"), std::string::npos) << text.str();

    manager().BeginNewRoute();
    EXPECT_EQ(presenter.Shown().size(), 1u);
    // The directions tip goes the same way, with its own flag.
    manager().ShowOptimizeRouteTip();
    manager().ShowOptimizeRouteTip();
    ASSERT_EQ(presenter.Shown().size(), 2u);
    EXPECT_EQ(presenter.Last().text.rfind("Note: The routing algorithm", 0), 0u);
    EXPECT_TRUE(CMarkManager::Settings().optimizeRouteTip);
    EXPECT_EQ(manager().Routes().back()->GetName(), "R2");
    EXPECT_EQ(manager().GetRouteBeingBuilt(), manager().Routes().back().get());
}

TEST_F(RouteBuildingOnChart, MarkAtCentreUsesTheOwnShipOnlyWhenHeldAtTheCentre)
{
    double clat = 0, clon = 0;
    ASSERT_TRUE(chart->view->GetCentreLatLon(clat, clon));
    // Without the mark owner's creator the view makes nothing.
    InstallPort<IMarkCreator>(nullptr);
    chart->view->CreateMarkAtCentre();
    EXPECT_TRUE(manager().Marks().empty());
    InstallPort<IMarkCreator>(&markCreator);
    chart->view->CreateMarkAtCentre();
    ASSERT_EQ(manager().Marks().size(), 1u);
    EXPECT_EQ(manager().Marks()[0]->GetName(), "P1");
    EXPECT_NEAR(manager().Marks()[0]->GetLatitude(), clat, 1e-6);
    EXPECT_NEAR(manager().Marks()[0]->GetLongitude(), clon, 1e-6);

    // Under GPS lock without a fix: still the centre.
    chart->view->SetGPSLock(true);
    chart->view->CreateMarkAtCentre();
    ASSERT_EQ(manager().Marks().size(), 2u);
    EXPECT_EQ(manager().Marks()[1]->GetName(), "P2");
    EXPECT_NEAR(manager().Marks()[1]->GetLatitude(), clat, 1e-6);

    CDataGPSPosition fix;
    fix.m_latitude = 9.123456;
    fix.m_longitude = 1.654321;
    chart->view->OnGPSPosition(fix);
    chart->view->CreateMarkAtCentre();
    ASSERT_EQ(manager().Marks().size(), 3u);
    EXPECT_EQ(manager().Marks()[2]->GetName(), "P3");
    EXPECT_EQ(manager().Marks()[2]->GetLatitude(), 9.123456);
    EXPECT_EQ(manager().Marks()[2]->GetLongitude(), 1.654321);
}

TEST_F(RouteTest, ANewChartViewShowsTheMarksAndRoutesThatExist)
{
    COverlayRoute* r = MakeRoute("R", {{8, 0}, {9, 1}});
    COverlayRoute* gone = MakeRoute("Gone", {{8, 0}, {9, 1}});
    auto mark = std::make_unique<COverlayMark>();
    mark->SetPosition(8.5, 0.5);
    COverlayMark* m = manager().AddMark(std::move(mark));
    auto hidden = std::make_unique<COverlayMark>();
    hidden->SetPosition(8.5, 0.6);
    COverlayMark* h = manager().AddMark(std::move(hidden));
    manager().DeleteMark(h);
    manager().DeleteRoute(gone);

    tessatest::CTestChartView chart(400, 300);
    ASSERT_TRUE(chart.IsOpen());
    const COverlayDisplayList& shown = chart.view->DisplayedOverlays();
    EXPECT_TRUE(shown.Contains(r));
    EXPECT_TRUE(shown.Contains(r->Points()[1].get()));
    EXPECT_TRUE(shown.Contains(m));
    EXPECT_FALSE(shown.Contains(h));
    EXPECT_FALSE(shown.Contains(gone));
    // Drawn kind by kind: routes before marks.
    std::vector<uint32_t> kinds;
    for (const auto& [key, entry] : shown.Entries())
        kinds.push_back(entry.object->GetKind());
    EXPECT_TRUE(std::is_sorted(kinds.begin(), kinds.end()));
    EXPECT_EQ(kinds.front(), uint32_t(COverlayObject::kKindRoute));
}

} // namespace
