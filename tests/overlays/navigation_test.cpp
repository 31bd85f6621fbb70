// Go-to and route following with scripted fixes, mark alarms through a
// recording notifier, and the lookups over the manager's lists.
#include "foundation/notify/StatusLine.h"
#include "geodesy/Units.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "support/FixedClock.h"
#include "support/RecordingNotifier.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct GotoRecorder : Listener<CDataGotoMark>
{
    void Notify(const CDataGotoMark& r) override { records.push_back(r); }
    std::vector<CDataGotoMark> records;
};

class Navigation : public ::testing::Test
{
protected:
    void SetUp() override
    {
        manager.ClearForTesting();
        CMarkManager::Settings().notifications = true;
        CMarkManager::Settings().autoReverse = false;
        recorder.records.clear();
    }
    void TearDown() override
    {
        manager.ClearForTesting();
        CMarkManager::Settings().notifications = true;
        CMarkManager::Settings().autoReverse = false;
    }
    // A fix x metres east and y metres north of the plane's origin.
    void Fix(double x, double y, float cog = 999, float sog = 0)
    {
        double lat = 0, lon = 0;
        origin.FromXY(x, y, lat, lon);
        CDataGPSPosition fix;
        fix.SetPosition(lat, lon);
        fix.m_fixStatus = CDataGPSPosition::kGPSFix;
        fix.SetCourseSpeed(cog, sog);
        manager.OnGPSPosition(fix);
    }
    COverlayMark* Mark(const std::string& name, double x, double y)
    {
        auto m = std::make_unique<COverlayMark>();
        m->SetName(name);
        double lat = 0, lon = 0;
        origin.FromXY(x, y, lat, lon);
        m->SetPosition(lat, lon);
        return manager.AddMark(std::move(m));
    }
    // A route through points given as x, y metres.
    COverlayRoute* Route(const std::vector<std::pair<double, double>>& xy)
    {
        auto r = std::make_unique<COverlayRoute>();
        r->SetName("R1");
        int n = 0;
        for (auto [x, y] : xy) {
            CMarkManager::RoutePointScope scope;
            auto p = std::make_unique<COverlayMark>();
            p->SetName(std::string("P").append(std::to_string(++n)));
            double lat = 0, lon = 0;
            origin.FromXY(x, y, lat, lon);
            p->SetPosition(lat, lon);
            r->AddPoint(std::move(p));
        }
        return manager.AddRoute(std::move(r));
    }
    const CDataGotoMark& Goto() const { return manager.GetGoto(); }

    CMarkManager& manager = CMarkManager::Get();
    CLocalPlane origin{50.0, -4.0};
    tessatest::CFixedClock clock;
    GotoRecorder recorder;
};

TEST_F(Navigation, GotoMeasuresDistanceBearingAndCrossTrackFromWhereItBegan)
{
    COverlayMark* target = Mark("T", 0, 0);
    ASSERT_TRUE(manager.GotoMark(target));
    EXPECT_TRUE(target->IsGotoTarget());
    ASSERT_EQ(recorder.records.size(), 1u);
    EXPECT_EQ(recorder.records[0].bearing, 999.0f); // nothing computed yet

    struct Step
    {
        double x, y;
        float distance, bearing, crossTrack;
    } steps[] = {
        {0, -1000, 1000, 0, 0},        // the leg starts here, heading north
        {100, -500, 509.9f, 349, 100}, // right of the leg
        {-50, -200, 206.2f, 14, -50},  // left of it
        {2, 3, 3.6f, 14, -50},         // within 5 m: bearing and cross-track kept
        {3000, 0, 3000, 270, 3000},    // abeam to the east
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << s.x << "," << s.y);
        Fix(s.x, s.y);
        EXPECT_NEAR(Goto().distance, s.distance, 0.5);
        EXPECT_NEAR(Goto().bearing, s.bearing, 1.0);
        EXPECT_NEAR(Goto().crossTrack, s.crossTrack, 0.5);
        EXPECT_EQ(recorder.records.back().target, target);
    }

    // Fixes that are not valid change nothing.
    const size_t published = recorder.records.size();
    CDataGPSPosition bad;
    bad.SetPosition(NAN, 1);
    bad.m_fixStatus = CDataGPSPosition::kGPSFix;
    manager.OnGPSPosition(bad);
    CDataGPSPosition noFix;
    noFix.SetPosition(50, -4);
    manager.OnGPSPosition(noFix);
    EXPECT_EQ(recorder.records.size(), published);

    manager.CancelGoto();
    EXPECT_EQ(Goto().target, nullptr);
    EXPECT_FALSE(target->IsGotoTarget());
    Fix(10, 10);
    EXPECT_EQ(recorder.records.size(), published + 1); // only the cancel
}

TEST_F(Navigation, TargetAcrossTheDateLineIsNear)
{
    origin = CLocalPlane(10.0, 179.996);
    COverlayMark* target = Mark("T", 0, 0);
    ASSERT_TRUE(manager.GotoMark(target));
    Fix(1000, 0);
    EXPECT_NEAR(Goto().distance, 1000, 1);
    EXPECT_NEAR(Goto().bearing, 270, 1);
}

TEST_F(Navigation, GotoRefusesWhatTheManagerDoesNotHold)
{
    COverlayMark loose;
    loose.SetPosition(50, -4);
    EXPECT_FALSE(manager.GotoMark(&loose)); // a panel's template
    EXPECT_FALSE(manager.GotoMark(nullptr));
    COverlayMark* gone = Mark("G", 0, 0);
    manager.DeleteMark(gone);
    EXPECT_FALSE(manager.GotoMark(gone));
    COverlayRoute stray;
    EXPECT_FALSE(manager.FollowRoute(&stray));
    EXPECT_EQ(Goto().target, nullptr);
}

TEST_F(Navigation, FollowingARouteProgressesWithTheRightRemainingLength)
{
    // A 2 m leg is skipped without ending the leg before it.
    COverlayRoute* route = Route({{0, 0}, {0, 2}, {0, 1000}, {0, 2000}});
    ASSERT_TRUE(manager.FollowRoute(route));
    EXPECT_TRUE(route->IsFollowed());
    const auto& pts = route->Points();
    struct Step
    {
        double x, y;
        size_t target;
        float remaining;
        int next; // -1 none
        float crossTrack;
    } steps[] = {
        {0, -500, 0, 2000, 2, 0},   // before the first leg: the first point, whole length
        {20, 500, 2, 1000, 3, 20},  // on the first leg, right of it
        {-10, 1500, 3, 0, -1, -10}, // on the last leg, left of it
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.y);
        Fix(s.x, s.y);
        ASSERT_NE(Goto().target, nullptr);
        EXPECT_EQ(Goto().target, pts[s.target].get());
        EXPECT_NEAR(Goto().remaining, s.remaining, 1);
        EXPECT_EQ(Goto().next, s.next < 0 ? nullptr : pts[size_t(s.next)].get());
        EXPECT_NEAR(Goto().crossTrack, s.crossTrack, 0.5);
    }
    EXPECT_NEAR(route->CachedTotalLength(), 2000, 1);
}

TEST_F(Navigation, RouteOfShortLegsGivesNoTarget)
{
    COverlayRoute* route = Route({{0, 0}, {0, 2}, {2, 2}});
    ASSERT_TRUE(manager.FollowRoute(route));
    recorder.records.clear();
    Fix(0, -100);
    EXPECT_EQ(Goto().target, nullptr);
    EXPECT_TRUE(recorder.records.empty());
}

TEST_F(Navigation, AutoReverseNeedsAKnownCourseAndSpeed)
{
    CMarkManager::Settings().autoReverse = true;
    struct Case
    {
        float cog, sog;
        bool reversed;
    } cases[] = {
        {999, 5, false},
        {180, 0.3f, false},
        {10, 5, false},
        {180, 5, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.cog << " " << c.sog);
        manager.ClearForTesting();
        COverlayRoute* route = Route({{0, 0}, {0, 1000}, {0, 2000}});
        COverlayMark* first = route->Points().front().get();
        ASSERT_TRUE(manager.FollowRoute(route));
        Fix(0, 1950, 0, 5);
        ASSERT_EQ(Goto().target, route->Points().back().get());
        Fix(0, 1950, c.cog, c.sog);
        EXPECT_EQ(route->Points().back().get() == first, c.reversed);
    }
}

TEST_F(Navigation, DeletingTargetsAndRoutesMidRunLeavesNothingDangling)
{
    // A free mark.
    COverlayMark* target = Mark("T", 0, 0);
    manager.GotoMark(target);
    Fix(0, -100);
    manager.DeleteMark(target);
    EXPECT_EQ(Goto().target, nullptr);
    Fix(0, -90);

    // The target, then the next point, of a followed route.
    COverlayRoute* route = Route({{0, 0}, {0, 1000}, {0, 2000}, {0, 3000}, {0, 4000}});
    manager.FollowRoute(route);
    Fix(5, 500);
    ASSERT_EQ(Goto().target, route->Points()[1].get());
    manager.DeleteMark(route->Points()[1].get());
    EXPECT_EQ(Goto().target, nullptr);
    Fix(5, 500);
    ASSERT_EQ(Goto().target, route->Points()[1].get()); // the old third point
    manager.DeleteMark(const_cast<COverlayMark*>(Goto().next));
    Fix(5, 600);
    ASSERT_NE(Goto().target, nullptr);
    EXPECT_EQ(route->IndexOf(Goto().target), 1);
    EXPECT_EQ(Goto().next, route->Points()[2].get());

    // The whole route.
    manager.DeleteRoute(route);
    EXPECT_EQ(Goto().route, nullptr);
    EXPECT_EQ(Goto().target, nullptr);
    Fix(5, 700);
    EXPECT_EQ(Goto().target, nullptr);

    // Clearing everything mid-run.
    COverlayRoute* other = Route({{0, 0}, {0, 1000}});
    manager.FollowRoute(other);
    Fix(0, 10);
    manager.ClearForTesting();
    Fix(0, 20);
    EXPECT_EQ(Goto().route, nullptr);
}

TEST_F(Navigation, MovedTargetKeepsTheLegStartOnTheChart)
{
    COverlayMark* target = Mark("T", 0, 0);
    manager.GotoMark(target);
    Fix(0, -1000);
    double lat = 0, lon = 0;
    origin.FromXY(1000, 0, lat, lon);
    target->SetPosition(lat, lon);
    target->SetState(COverlayObject::kChanged);
    Fix(500, -500); // on the new leg from (0,-1000) to (1000,0)
    EXPECT_NEAR(Goto().crossTrack, 0, 1);
    EXPECT_NEAR(Goto().distance, std::hypot(500, 500), 1);
}

TEST_F(Navigation, AlarmsRaiseInTheirBandAndGoOutside)
{
    tessatest::ScopedRecordingNotifier rec;
    COverlayMark* buoy = Mark("Buoy", 0, 0);
    buoy->SetRadii(0, 100);
    COverlayMark* anchor = Mark("Anchor", 5000, 0);
    anchor->SetRadii(30, 100);
    const std::string buoyId = UserNotificationIdentifier(CMarkManager::AlarmKey(*buoy));
    const std::string anchorId = UserNotificationIdentifier(CMarkManager::AlarmKey(*anchor));
    EXPECT_NE(buoyId, anchorId);
    EXPECT_GE(CMarkManager::AlarmKey(*buoy), CMarkManager::kAlarmKeyBase);

    struct Step
    {
        double x, y;
        std::vector<std::string> log;
    } steps[] = {
        {0, 99, {"post " + buoyId}},
        {0, 98, {"post " + buoyId}}, // repeats on every fix, same key
        {0, 100.5, {"remove " + buoyId}},
        {0, 200, {}},
        {5000, 20, {}}, // inside the inner radius
        {5000, 50, {"post " + anchorId}},
        {5000, 150, {"remove " + anchorId}},
        {2500, 0, {}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << s.x << "," << s.y);
        rec.notifier.log.clear();
        rec.notifier.delivered.clear();
        Fix(s.x, s.y);
        EXPECT_EQ(rec.notifier.log, s.log);
    }

    Fix(0, 50);
    ASSERT_EQ(rec.notifier.delivered.size(), 1u);
    std::string d;
    CDefaultUnits::Get().FormatDistance(50.0f, d);
    EXPECT_EQ(rec.notifier.delivered[0].title, "Mark proximity alarm");
    EXPECT_EQ(rec.notifier.delivered[0].text, "Buoy is " + d + " away");
    Fix(5000, 60);
    EXPECT_EQ(rec.notifier.delivered.back().title, "Anchor alarm");

    // Turned off: nothing new, and the showing alarm stays.
    CMarkManager::Settings().notifications = false;
    rec.notifier.log.clear();
    Fix(0, 50);
    Fix(0, 500);
    EXPECT_TRUE(rec.notifier.log.empty());
    EXPECT_TRUE(anchor->IsAlarmRaised());
    CMarkManager::Settings().notifications = true;
    Fix(0, 500);
    EXPECT_EQ(rec.notifier.log, std::vector<std::string>{"remove " + anchorId});
}

TEST_F(Navigation, NearestMarksAndRoutesAndTheJoinSearches)
{
    COverlayMark* a = Mark("A", 100, 0);
    COverlayMark* b = Mark("B", 0, 50);
    COverlayMark* c = Mark("C", -100, 0); // ties with A: list order
    Mark("D", 0, 5000)->SetVisible(false);
    double lat = 0, lon = 0;
    origin.FromXY(0, 0, lat, lon);
    std::vector<COverlayMark*> marks;
    manager.GetNearestMarks(lat, lon, 3, marks);
    EXPECT_EQ(marks, (std::vector<COverlayMark*>{b, a, c}));
    marks.clear();
    manager.GetNearestMarks(lat, lon, 0, marks);
    EXPECT_EQ(marks, std::vector<COverlayMark*>{b}); // at least one
    EXPECT_EQ(manager.FindMarkByName("C"), c);
    EXPECT_EQ(manager.FindMarkByName("c"), nullptr);
    EXPECT_TRUE(manager.HasSameMark(*a));

    COverlayRoute* r1 = Route({{1000, 0}, {2000, 0}});
    COverlayRoute* r2 = Route({{0, 300}, {0, 900}});
    std::vector<COverlayRoute*> routes;
    manager.GetNearestRoutes(lat, lon, 5, routes);
    EXPECT_EQ(routes, (std::vector<COverlayRoute*>{r2, r1}));

    struct Join
    {
        double x, y, limit;
        COverlayRoute* ending;
        COverlayRoute* starting;
    } joins[] = {
        {2000, 10, 50, r1, nullptr},
        {1000, 10, 50, nullptr, r1},
        {1000, 10, 5, nullptr, nullptr}, // beyond the limit
        {0, 905, 50, r2, nullptr},
    };
    for (const Join& j : joins) {
        origin.FromXY(j.x, j.y, lat, lon);
        EXPECT_EQ(manager.FindRouteEndingNear(lat, lon, j.limit), j.ending) << j.x << "," << j.y;
        EXPECT_EQ(manager.FindRouteStartingNear(lat, lon, j.limit), j.starting) << j.x << "," << j.y;
    }

    manager.SetAllMarksVisible(false);
    manager.SetAllRoutesVisible(false);
    EXPECT_FALSE(a->IsVisible());
    EXPECT_FALSE(r1->IsVisible());
    routes.clear();
    manager.GetNearestRoutes(lat, lon, 5, routes);
    EXPECT_TRUE(routes.empty());
}

} // namespace
