// The navigation cells with marks and routes of the test and fixes of the own
// ship: turn angles, cross-track, times along the leg, route progress, the
// coming waypoints, the steering arrow and the navigation menu.
#include "geodesy/LocalPlane.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "panels/ItemCells.h"
#include "panels/items/GotoItems.h"
#include "support/MenuPopupDouble.h"
#include "support/ScriptedPresenter.h"

#include <QImage>
#include <QPainter>
#include <tuple>

namespace {

using namespace NDisplayGoto;
using tessatest::Cell;

const std::string kDeg = "\xC2\xB0";

COverlayMark* MakeMark(const std::string& name, double lat, double lon)
{
    auto mark = std::make_unique<COverlayMark>();
    mark->SetName(name);
    mark->SetPosition(lat, lon);
    return CMarkManager::Get().AddMark(std::move(mark));
}

// A route whose points are named name + "P1", "P2" ...
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
    return CMarkManager::Get().AddRoute(std::move(route));
}

class GotoItemsTest : public tessatest::CellTest
{
protected:
    // A fix of the own ship as the position feed gives it: the mark manager
    // publishes the go-to data, then the own direction follows.
    void Fix(double lat, double lon, float cog)
    {
        Own().m_fixStatus = CDataGPSPosition::kGPSFix;
        Own().m_fixTime = (time += 1);
        Own().SetPosition(lat, lon);
        Own().SetCourseSpeed(cog, 5);
        Own().ProcessFix();
    }
    static const CDataGotoMark& Goto() { return CMarkManager::Get().GetGoto(); }
    double time = 1.7e9;
};

TEST_F(GotoItemsTest, TurnCrossTrackAndTimesToAPlainGoto)
{
    Cell<Angle::CSettings> angle(factory);
    Cell<CrossTrack::CSettings> crossTrack(factory);
    Cell<EstTimeToGo::CSettings> timeToGo(factory);
    Cell<EstTimeOfArrival::CSettings> arrival(factory);
    Cell<PercentageToEnd::CSettings> percentage(factory);
    Cell<EstTimeToEnd::CSettings> timeToEnd(factory);
    // The target lies due east (bearing 90) of the fixes.
    ASSERT_TRUE(CMarkManager::Get().GotoMark(MakeMark("East", 10, 0.01)));
    const std::pair<float, std::string> turns[] = {
        {280, "170" + kDeg + ">"}, {260, "<170" + kDeg}, {90, "0" + kDeg + ">"}, {89, "1" + kDeg + ">"}};
    for (const auto& [cog, turn] : turns) {
        Fix(10, 0, cog);
        EXPECT_EQ(angle.record->title + " " + angle.Text(), "Turn to East " + turn);
    }
    // An unknown own direction gives no turn, never one computed from 999.
    FireEvent<CDataSpeedDirection>(CDataSpeedDirection());
    EXPECT_EQ(angle.Text(), "");

    // 25 m north of an eastward leg is left of it.
    Fix(10 + 25 / CLocalPlane(10, 0).MetresPerDegreeLatitude(), 0.001, 90);
    std::string number, unit, duration;
    Units().FormatDistanceValue(25, number, unit);
    EXPECT_EQ(crossTrack.Text() + " " + crossTrack.record->unit, "<" + number + " " + unit);
    EXPECT_EQ(percentage.Text(), ""); // a plain go-to has no route

    // 0.05 kn along the leg is no arrival; 5 kn arrives in distance / speed.
    struct Case
    {
        double east;
        uint8_t status;
        bool never, empty;
    } cases[] = {{0.05, 1, true, true}, {5, 1, false, false}, {5, 0, false, true}};
    for (const Case& c : cases) {
        Own().SetAveragedVelocity(c.east, 0);
        Own().m_fixStatus = c.status;
        FireEvent<CDataGotoMark>(Goto());
        EXPECT_EQ(arrival.Text() == "Never", c.never) << c.east;
        EXPECT_EQ(arrival.Text().empty(), c.empty && !c.never);
        CUnits::FormatDuration(Goto().distance / (c.east / 1.94384449), duration);
        EXPECT_EQ(timeToGo.Text(), c.empty ? "" : duration);
        EXPECT_EQ(timeToEnd.Text(), timeToGo.Text());
    }
    EXPECT_EQ(timeToGo.record->title, "Time: East");
    // Without a target the labels go back; the cross-track label stays.
    CMarkManager::Get().CancelGoto();
    EXPECT_EQ(timeToEnd.record->title + "|" + angle.record->title, "Time to ...|Turn");
    EXPECT_EQ(crossTrack.record->title + "|" + crossTrack.Text(), "X-Track|");
}

TEST_F(GotoItemsTest, RouteProgressComingUpAndTheTurnAfterTheMark)
{
    Cell<PercentageToEnd::CSettings> percentage(factory);
    Cell<ComingUp::CSettings> comingUp(factory);
    Cell<NextTurn::CSettings> nextTurn(factory);
    EXPECT_EQ(comingUp.Text(), "Coming up...");
    // Nine equal legs along 10 N; RP5 has a description, so takes two lines.
    std::vector<std::pair<double, double>> points;
    for (int i = 0; i < 10; ++i)
        points.push_back({10, i * 0.01});
    COverlayRoute* route = MakeRoute("R", points);
    route->Points()[4]->SetDescription("fuel");
    ASSERT_TRUE(CMarkManager::Get().FollowRoute(route));
    const auto lines = [](const std::string& text) { return std::count(text.begin(), text.end(), '\n') + 1; };
    // Halfway along the second leg (1.5 of 9 legs done), then before the first point.
    const std::tuple<double, const char*, const char*> cases[] = {{0.015, ": RP3\n", "16%"},
                                                                  {-0.005, ": RP1\n", "-5%"}};
    for (const auto& [lon, first, done] : cases) {
        Fix(10, lon, 90);
        std::string distance;
        Units().FormatDistance(Goto().distance, distance);
        EXPECT_EQ(comingUp.Text().find(distance + first), 0u) << comingUp.Text();
        EXPECT_EQ(lines(comingUp.Text()), 6) << comingUp.Text();
        EXPECT_NE(comingUp.Text().find(": RP5\n(fuel)"), std::string::npos);
        EXPECT_EQ(percentage.Text(), done);
        EXPECT_EQ(nextTurn.Text(), "0" + kDeg + ">"); // straight on
    }
    CDataGotoMark strange = Goto();
    COverlayMark elsewhere;
    strange.target = &elsewhere; // on none of the route's legs
    EXPECT_EQ(ComingUpText(strange, Units(), ComingUp::kLineBudget), "?");

    // The turn after the mark to a point north-east, for a course of 75.
    ASSERT_TRUE(CMarkManager::Get().FollowRoute(MakeRoute("B", {{10, 0}, {10, 0.01}, {10.01, 0.02}})));
    Fix(10, 0.005, 75);
    double x = 0, y = 0;
    Goto().plane.ToXY(10.01, 0.02, x, y);
    const float course = VectorToCourse(float(y - Goto().ownY), float(x - Goto().ownX));
    EXPECT_NEAR(course, 56, 1);
    EXPECT_EQ(nextTurn.Text(), "<" + std::to_string(75 - int(course)) + kDeg);
    // A route of 1 m or less has no percentage.
    ASSERT_TRUE(CMarkManager::Get().FollowRoute(MakeRoute("T", {{10, 0.05}, {10, 0.05 + 1e-5}})));
    Fix(10, 0.049, 90);
    EXPECT_EQ(percentage.Text(), "");
}

TEST_F(GotoItemsTest, ArrowPointsAtTheTargetInTheSourcesColour)
{
    Cell<Arrow::CSettings> arrow(factory);
    COverlayMark target;
    CDataGotoMark g;
    g.target = &target;
    g.bearing = 0;
    const auto draw = [&](int width) {
        QImage image(width, 100, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            static_cast<Arrow*>(arrow.item.get())->Draw(painter, width, 100);
        }
        return image;
    };
    struct Case
    {
        float targetEast, targetNorth;
        uint32_t mode;
        QPoint filled, empty;
        QRgb colour;
    } cases[] = {
        {0, 1, CDataSpeedDirection::kModeCourseOverGround, {50, 15}, {50, 95}, qRgb(0, 153, 0)}, // dead ahead
        {1, 0, CDataSpeedDirection::kModeHeading, {85, 50}, {5, 50}, qRgb(153, 0, 0)}, // abeam to starboard
        {0, -1, CDataSpeedDirection::kModeAveragedCourse, {50, 85}, {50, 5}, qRgb(0, 0, 153)}, // astern
    };
    for (const Case& c : cases) {
        g.toTargetX = c.targetEast;
        g.toTargetY = c.targetNorth;
        FireEvent<CDataGotoMark>(g);
        CDataSpeedDirection own;
        own.m_mode = c.mode;
        own.m_currentNorth = 1; // heading north
        FireEvent<CDataSpeedDirection>(own);
        EXPECT_TRUE(arrow.record->visible);
        const QImage image = draw(100);
        EXPECT_EQ(image.pixel(c.filled), c.colour);
        EXPECT_EQ(qAlpha(image.pixel(c.empty)), 0);
    }
    QImage blank(19, 100, QImage::Format_ARGB32);
    blank.fill(Qt::transparent);
    EXPECT_EQ(draw(19), blank); // under 20 points nothing is drawn
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
    const auto menu = [&] {
        auto tree = std::make_unique<CMenuTree>("Cell", nullptr);
        distance.item->AddMenuItems(*tree, nullptr);
        return tree;
    };
    const auto choose = [](const std::unique_ptr<CMenuTree>& tree, const char* title) {
        ASSERT_NE(tree->Root().FindChild(title), nullptr) << title;
        tree->Root().FindChild(title)->Select();
    };
    EXPECT_EQ(Rows(*menu()), "Goto Mark...|Follow Route...");
    choose(menu(), "Goto Mark...");
    choose(menu(), "Follow Route...");
    ASSERT_EQ(presenter.Shown().size(), 2u);
    EXPECT_EQ(presenter.Shown()[0].title + "/" + presenter.Shown()[0].text,
              "No Marks/No marks have been created");
    EXPECT_EQ(presenter.Shown()[1].title, "No Routes");
    EXPECT_TRUE(gShown.empty());

    // The eight nearest marks, nearest first; a choice starts navigation.
    Fix(10, 0, 90);
    for (int i = 9; i >= 0; --i)
        MakeMark("M" + std::to_string(i), 10, 0.001 * (i + 1));
    choose(menu(), "Goto Mark...");
    ASSERT_EQ(gShown.size(), 1u);
    EXPECT_EQ(gShown[0]->Title() + ":" + Rows(*gShown[0]), "Goto Mark:M0|M1|M2|M3|M4|M5|M6|M7");
    choose(gShown[0], "M2");
    EXPECT_EQ(Goto().target, CMarkManager::Get().FindMarkByName("M2"));
    EXPECT_EQ(Rows(*menu()), "Goto Mark...|Follow Route...|Cancel Navigation");
    choose(menu(), "Cancel Navigation");
    EXPECT_EQ(Goto().target, nullptr);
    // A mark deleted while its menu is open is never navigated to.
    choose(menu(), "Goto Mark...");
    CMarkManager::Get().DeleteMark(CMarkManager::Get().FindMarkByName("M0"));
    choose(gShown.back(), "M0");
    EXPECT_EQ(Goto().target, nullptr);

    // Following a route offers its reversal.
    COverlayRoute* route = MakeRoute("R", {{10, 0.02}, {10, 0.03}});
    choose(menu(), "Follow Route...");
    choose(gShown.back(), "R");
    Fix(10, 0, 90);
    EXPECT_EQ(Rows(*menu()), "Goto Mark...|Follow Route...|Reverse Route|Cancel Navigation");
    const COverlayMark* first = route->Points().front().get();
    choose(menu(), "Reverse Route");
    EXPECT_EQ(route->Points().back().get(), first);
    gShown.clear();
}

} // namespace
