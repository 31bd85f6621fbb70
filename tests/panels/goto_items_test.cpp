// The navigation cells with marks and routes of the test and fixes of the own
// ship: turn angles, cross-track, times and speeds along the leg, route
// progress, the coming waypoints, the steering arrow and the navigation menu.
#include "foundation/dialogs/DialogCallback.h"
#include "geodesy/LocalPlane.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "panelfakes/RecordingWindows.h"
#include "panels/items/GotoItems.h"
#include "support/MenuPopupDouble.h"
#include "support/ScriptedPresenter.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace NDisplayGoto;
using tessatest::RecordingWindowFactory;

const CUnits& Units()
{
    return CDefaultUnits::Get();
}

CMarkManager& Marks()
{
    return CMarkManager::Get();
}

template <class S> struct Cell
{
    explicit Cell(RecordingWindowFactory& factory)
        : item(settings.CreateItem(&host)), record(factory.RecordOf(item.get()))
    {
    }
    const std::string& Text() const { return record->text; }
    S settings;
    tessatest::FakeHost host{100, 60};
    std::unique_ptr<CDisplayView::CItem> item;
    std::shared_ptr<tessatest::WindowRecord> record;
};

COverlayMark* MakeMark(const std::string& name, double lat, double lon)
{
    auto mark = std::make_unique<COverlayMark>();
    mark->SetName(name);
    mark->SetPosition(lat, lon);
    return Marks().AddMark(std::move(mark));
}

// Points along the parallel 10 N at the given longitudes (and latitudes).
COverlayRoute* MakeRoute(const std::string& name, const std::vector<std::pair<double, double>>& points)
{
    auto route = std::make_unique<COverlayRoute>();
    route->SetName(name);
    for (auto [lat, lon] : points) {
        CMarkManager::RoutePointScope scope;
        auto p = std::make_unique<COverlayMark>();
        p->SetName(name + "P" + std::to_string(route->PointCount() + 1));
        p->SetPosition(lat, lon);
        route->AddPoint(std::move(p));
    }
    return Marks().AddRoute(std::move(route));
}

class GotoItemsTest : public testing::Test
{
protected:
    void SetUp() override { Reset(); }
    void TearDown() override
    {
        Reset();
        ClearPendingCallbacksForTesting();
    }
    static void Reset()
    {
        Marks().CancelGoto();
        Marks().ClearForTesting();
        COverlayGPSPosition& own = Own();
        own.Reset();
        own.ResetAveraging();
        own.m_fixStatus = CDataGPSPosition::kNoFix;
        own.m_latitude = own.m_longitude = 999;
    }
    static COverlayGPSPosition& Own() { return COverlayGPSPosition::Global(); }
    // A fix of the own ship, as the position feed gives it.
    void Fix(double lat, double lon, float cog, float sog)
    {
        COverlayGPSPosition& own = Own();
        own.m_fixStatus = CDataGPSPosition::kGPSFix;
        own.m_fixTime = (time += 1);
        own.SetPosition(lat, lon);
        own.SetCourseSpeed(cog, sog);
        own.ProcessFix();
    }
    // The own ship's averaged velocity changed: the cells see it with the go-to data.
    void Averaged(double east, double north)
    {
        Own().SetAveragedVelocity(east, north);
        FireEvent<CDataGotoMark>(Marks().GetGoto());
    }
    RecordingWindowFactory factory;
    double time = 1.7e9;
};

TEST_F(GotoItemsTest, TurnCrossTrackAndTimesToAPlainGoto)
{
    Cell<Angle::CSettings> angle(factory);
    Cell<CrossTrack::CSettings> crossTrack(factory);
    Cell<EstTimeToGo::CSettings> timeToGo(factory);
    Cell<EstTimeOfArrival::CSettings> arrival(factory);
    Cell<PercentageToEnd::CSettings> percentage(factory);
    Cell<Distance::CSettings> distance(factory);
    Cell<EstTimeToEnd::CSettings> timeToEnd(factory);
    Cell<NextTurn::CSettings> nextTurn(factory);
    EXPECT_EQ(angle.record->title, "Turn");
    EXPECT_EQ(arrival.record->title, "ETA Next WP");

    // The target lies due east of the first fix; the leg runs east.
    COverlayMark* target = MakeMark("East", 10, 0.01);
    ASSERT_TRUE(Marks().GotoMark(target));
    struct Case
    {
        float cog;
        const char* turn;
    } turns[] = {{280, "170\xC2\xB0>"},
                 {260, "<170\xC2\xB0"},
                 {90, "0\xC2\xB0>"},
                 {90.9f, "0\xC2\xB0>"},
                 {89, "1\xC2\xB0>"}};
    for (const Case& c : turns) {
        Fix(10, 0, c.cog, 5);
        EXPECT_EQ(angle.record->title, "Turn to East");
        EXPECT_EQ(angle.Text(), c.turn) << c.cog;
    }
    // An unknown own direction gives no turn, never one computed from 999.
    FireEvent<CDataSpeedDirection>(CDataSpeedDirection());
    EXPECT_EQ(angle.Text(), "");
    EXPECT_EQ(distance.record->title, "Dist: East");

    // 25 m north of an eastward leg is left of it.
    const double north = 25 / CLocalPlane(10, 0).MetresPerDegreeLatitude();
    Fix(10 + north, 0.001, 90, 5);
    std::string number, unit;
    Units().FormatDistanceValue(25, number, unit);
    EXPECT_EQ(crossTrack.Text(), "<" + number);
    EXPECT_EQ(crossTrack.record->unit, unit);
    EXPECT_EQ(percentage.Text(), ""); // a plain go-to has no route
    EXPECT_EQ(nextTurn.Text(), "");   // and no point after the target

    // 0.05 kn along the leg is no arrival; 5 kn arrives in distance / speed.
    Averaged(0.05, 0);
    EXPECT_EQ(arrival.Text(), "Never");
    EXPECT_EQ(timeToGo.Text(), "");
    Averaged(5, 0);
    std::string duration;
    CUnits::FormatDuration(Marks().GetGoto().distance / (5 / 1.94384449), duration);
    EXPECT_EQ(timeToGo.Text(), duration);
    EXPECT_EQ(timeToEnd.Text(), duration);
    EXPECT_NE(arrival.Text(), "Never");
    EXPECT_FALSE(arrival.Text().empty());
    EXPECT_EQ(timeToGo.record->title, "Time: East");

    // Without a fix the times are empty; without a target the labels go back.
    Own().m_fixStatus = CDataGPSPosition::kNoFix;
    FireEvent<CDataGotoMark>(Marks().GetGoto());
    EXPECT_EQ(arrival.Text(), "");
    Marks().CancelGoto();
    EXPECT_EQ(timeToEnd.record->title, "Time to ...");
    EXPECT_EQ(distance.record->title, "Dist to WP");
    EXPECT_EQ(crossTrack.record->title, "X-Track");
    EXPECT_EQ(crossTrack.Text(), "");
}

TEST_F(GotoItemsTest, RouteProgressComingUpAndTheTurnAfterTheMark)
{
    Cell<PercentageToEnd::CSettings> percentage(factory);
    Cell<ComingUp::CSettings> comingUp(factory);
    Cell<NextTurn::CSettings> nextTurn(factory);
    Cell<DistanceToEnd::CSettings> toEnd(factory);
    Cell<WaypointName::CSettings> name(factory);
    EXPECT_EQ(comingUp.Text(), "Coming up...");

    // Three legs of equal length along 10 N.
    COverlayRoute* route = MakeRoute("R", {{10, 0}, {10, 0.01}, {10, 0.02}, {10, 0.03}});
    ASSERT_TRUE(Marks().FollowRoute(route));
    Fix(10, 0.015, 90, 5);
    const CDataGotoMark& g = Marks().GetGoto();
    ASSERT_EQ(g.target, route->Points()[2].get());
    EXPECT_EQ(name.Text(), "RP3");
    EXPECT_EQ(percentage.Text(), "50%");
    EXPECT_EQ(toEnd.record->title, "Dist: RP4");
    std::string lines;
    for (int i = 2; i < 4; ++i) {
        std::string d;
        Units().FormatDistance(float(g.distance + (i - 2) * route->LegCache()[1].length), d);
        lines += (lines.empty() ? "" : "\n") + d + ": RP" + std::to_string(i + 1);
    }
    EXPECT_EQ(comingUp.Text(), lines);
    // Straight on along the route: no turn after the mark.
    EXPECT_EQ(nextTurn.Text(), "0\xC2\xB0>");

    // The turn after the mark to a point north-east, for a course of 75.
    Marks().CancelGoto();
    COverlayRoute* bent = MakeRoute("B", {{10, 0}, {10, 0.01}, {10.01, 0.02}});
    ASSERT_TRUE(Marks().FollowRoute(bent));
    Fix(10, 0.005, 75, 5);
    ASSERT_EQ(Marks().GetGoto().target, bent->Points()[1].get());
    double x = 0, y = 0;
    Marks().GetGoto().plane.ToXY(10.01, 0.02, x, y);
    const float course = VectorToCourse(float(y - Marks().GetGoto().ownY), float(x - Marks().GetGoto().ownX));
    EXPECT_NEAR(course, 56, 1);
    EXPECT_EQ(nextTurn.Text(), "<" + std::to_string(75 - int(course)) + "\xC2\xB0");
    EXPECT_EQ(percentage.Text().empty(), false);

    // A route of 1 m or less has no percentage.
    Marks().CancelGoto();
    COverlayRoute* tiny = MakeRoute("T", {{10, 0.05}, {10, 0.05 + 1e-5}});
    Marks().FollowRoute(tiny);
    Fix(10, 0.049, 90, 5);
    EXPECT_EQ(percentage.Text(), "");
}

TEST_F(GotoItemsTest, ComingUpKeepsItsBudgetAndMarksAStrangeTarget)
{
    std::vector<std::pair<double, double>> points;
    for (int i = 0; i < 10; ++i)
        points.push_back({10, i * 0.01});
    COverlayRoute* route = MakeRoute("L", points);
    route->Points()[4]->SetDescription("fuel");
    ASSERT_TRUE(Marks().FollowRoute(route));
    Fix(10, 0.015, 90, 5);
    CDataGotoMark g = Marks().GetGoto();
    ASSERT_EQ(g.target, route->Points()[2].get());
    const auto count = [](const std::string& text) { return std::count(text.begin(), text.end(), '\n') + 1; };
    // Points 3 to 7, point 5 on two lines: six lines.
    EXPECT_EQ(count(ComingUpText(g, Units(), 6)), 6);
    EXPECT_NE(ComingUpText(g, Units(), 6).find(": LP5\n(fuel)\n"), std::string::npos);
    EXPECT_EQ(ComingUpText(g, Units(), 6).find("LP8"), std::string::npos);

    // Before the first point: the first point, then the legs.
    Fix(10, -0.005, 90, 5);
    g = Marks().GetGoto();
    ASSERT_EQ(g.target, route->Points()[0].get());
    EXPECT_EQ(count(ComingUpText(g, Units(), 6)), 6);
    EXPECT_EQ(ComingUpText(g, Units(), 6).rfind("LP1", 0), std::string::npos);
    EXPECT_NE(ComingUpText(g, Units(), 6).find(": LP1\n"), std::string::npos);

    // A target that is none of the route's points.
    COverlayMark stranger;
    stranger.SetName("Elsewhere");
    g.target = &stranger;
    EXPECT_EQ(ComingUpText(g, Units(), 6), "?");
}

TEST_F(GotoItemsTest, ArrowPointsAtTheTargetInTheSourcesColour)
{
    Cell<Arrow::CSettings> arrow(factory);
    auto* item = static_cast<Arrow*>(arrow.item.get());
    COverlayMark target;
    target.SetName("T");
    CDataGotoMark g;
    g.target = &target;
    g.bearing = 0;

    struct Case
    {
        const char* what;
        float targetEast, targetNorth;
        uint32_t mode;
        QPoint filled, empty;
        QRgb colour;
    } cases[] = {
        {"dead ahead", 0, 1, CDataSpeedDirection::kModeCourseOverGround, {50, 15}, {50, 95}, qRgb(0, 153, 0)},
        {"abeam to starboard", 1, 0, CDataSpeedDirection::kModeHeading, {85, 50}, {5, 50}, qRgb(153, 0, 0)},
        {"astern", 0, -1, CDataSpeedDirection::kModeAveragedCourse, {50, 85}, {50, 5}, qRgb(0, 0, 153)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g.toTargetX = c.targetEast;
        g.toTargetY = c.targetNorth;
        FireEvent<CDataGotoMark>(g);
        CDataSpeedDirection own;
        own.m_mode = c.mode;
        own.m_currentNorth = 1; // heading north
        FireEvent<CDataSpeedDirection>(own);
        EXPECT_TRUE(arrow.record->visible);
        QImage image(100, 100, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            item->Draw(painter, 100, 100);
        }
        EXPECT_EQ(image.pixel(c.filled), c.colour | 0xFF000000u);
        EXPECT_EQ(qAlpha(image.pixel(c.empty)), 0);
    }
    // Under 20 points nothing is drawn.
    QImage small(19, 100, QImage::Format_ARGB32);
    small.fill(Qt::transparent);
    {
        QPainter painter(&small);
        item->Draw(painter, 19, 100);
    }
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 19; ++x)
            ASSERT_EQ(qAlpha(small.pixel(x, y)), 0);
    // Without a target the arrow hides.
    FireEvent<CDataGotoMark>(CDataGotoMark());
    FireEvent<CDataSpeedDirection>(CDataSpeedDirection());
    EXPECT_FALSE(arrow.record->visible);
}

std::vector<std::unique_ptr<CMenuTree>> gShown;

std::string Rows(const CMenuTree& menu)
{
    std::string out;
    for (const auto& item : menu.Root().Children())
        out += (out.empty() ? "" : "|") + item->Title();
    return out;
}

TEST_F(GotoItemsTest, NavigationMenu)
{
    tessatest::CScriptedPresenter presenter;
    presenter.SetImmediate(true);
    tessatest::CMenuPopupDouble popup(
        [](std::unique_ptr<CMenuTree> tree, QWidget*, const QPoint*) { gShown.push_back(std::move(tree)); });
    Cell<Distance::CSettings> distance(factory);
    const auto menuOf = [&] {
        auto menu = std::make_unique<CMenuTree>("Cell", nullptr);
        distance.item->AddMenuItems(*menu, nullptr);
        return menu;
    };
    EXPECT_EQ(Rows(*menuOf()), "Goto Mark...|Follow Route...");
    menuOf()->Root().FindChild("Goto Mark...")->Select();
    menuOf()->Root().FindChild("Follow Route...")->Select();
    ASSERT_EQ(presenter.Shown().size(), 2u);
    EXPECT_EQ(presenter.Shown()[0].title + "/" + presenter.Shown()[0].text,
              "No Marks/No marks have been created");
    EXPECT_EQ(presenter.Shown()[1].title + "/" + presenter.Shown()[1].text,
              "No Routes/No routes have been created");
    EXPECT_TRUE(gShown.empty());

    // The eight nearest marks, nearest first.
    Fix(10, 0, 90, 5);
    for (int i = 9; i >= 0; --i)
        MakeMark("M" + std::to_string(i), 10, 0.001 * (i + 1));
    menuOf()->Root().FindChild("Goto Mark...")->Select();
    ASSERT_EQ(gShown.size(), 1u);
    EXPECT_EQ(gShown[0]->Title(), "Goto Mark");
    EXPECT_EQ(Rows(*gShown[0]), "M0|M1|M2|M3|M4|M5|M6|M7");
    gShown[0]->Root().FindChild("M2")->Select();
    ASSERT_NE(Marks().GetGoto().target, nullptr);
    EXPECT_EQ(Marks().GetGoto().target->GetName(), "M2");
    EXPECT_EQ(Rows(*menuOf()), "Goto Mark...|Follow Route...|Cancel Navigation");
    menuOf()->Root().FindChild("Cancel Navigation")->Select();
    EXPECT_EQ(Marks().GetGoto().target, nullptr);

    // A mark deleted while its menu is open is never navigated to.
    menuOf()->Root().FindChild("Goto Mark...")->Select();
    Marks().DeleteMark(Marks().FindMarkByName("M0"));
    gShown.back()->Root().FindChild("M0")->Select();
    EXPECT_EQ(Marks().GetGoto().target, nullptr);

    // Following a route offers its reversal.
    COverlayRoute* route = MakeRoute("R", {{10, 0.02}, {10, 0.03}});
    menuOf()->Root().FindChild("Follow Route...")->Select();
    EXPECT_EQ(gShown.back()->Title(), "Follow Route");
    gShown.back()->Root().FindChild("R")->Select();
    EXPECT_TRUE(route->IsFollowed());
    Fix(10, 0, 90, 5);
    EXPECT_EQ(Rows(*menuOf()), "Goto Mark...|Follow Route...|Reverse Route|Cancel Navigation");
    const COverlayMark* first = route->Points().front().get();
    menuOf()->Root().FindChild("Reverse Route")->Select();
    EXPECT_EQ(route->Points().back().get(), first);
    gShown.clear();
}

} // namespace
