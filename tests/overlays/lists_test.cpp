// The overlay list models: which objects each group lists, their row texts,
// the three sort orders (stable for equal keys) and when a list is rebuilt.
#include "foundation/settings/PersistantData.h"
#include "geodesy/Units.h"
#include "overlays/ActionMenus.h"
#include "overlays/MarkManager.h"
#include "overlays/OverlayLists.h"
#include "overlays/OverlayMark.h"
#include "overlays/OverlayRoute.h"
#include "overlays/OverlayTrack.h"
#include "overlays/TrackManager.h"
#include "support/FixedClock.h"

#include <gtest/gtest.h>

namespace {

constexpr double kT0 = 1700000000;

std::vector<std::string> Names(const std::vector<CSyncable*>& list)
{
    std::vector<std::string> out;
    for (const CSyncable* object : list)
        out.push_back(object->GetName());
    return out;
}

class ListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CMarkManager::Get().ClearForTesting();
        CTrackManager::Get().ClearForTesting();
        COverlayListDelegate::ClearSortReference();
    }
    void TearDown() override
    {
        CMarkManager::Settings().sort = 0;
        COverlayListDelegate::ClearSortReference();
        CMarkManager::Get().ClearForTesting();
        CTrackManager::Get().ClearForTesting();
    }
    COverlayMark* MakeMark(const std::string& name, double lat, double lon, double time)
    {
        clock.Advance(time - clock.Now());
        auto mark = std::make_unique<COverlayMark>();
        mark->SetName(name);
        mark->SetPosition(lat, lon);
        return CMarkManager::Get().AddMark(std::move(mark));
    }
    COverlayRoute* MakeRoute(const std::string& name, std::vector<std::pair<double, double>> positions,
                             double time)
    {
        clock.Advance(time - clock.Now());
        auto route = std::make_unique<COverlayRoute>();
        route->SetName(name);
        for (auto [lat, lon] : positions) {
            CMarkManager::RoutePointScope scope;
            auto p = std::make_unique<COverlayMark>();
            p->SetPosition(lat, lon);
            route->AddPoint(std::move(p));
        }
        return CMarkManager::Get().AddRoute(std::move(route));
    }
    COverlayTrack* MakeTrack(const std::string& name, double lat, size_t points, double time)
    {
        clock.Advance(time - clock.Now());
        auto track = std::make_unique<COverlayTrack>();
        track->SetName(name);
        for (size_t i = 0; i < points; ++i)
            track->AddPoint(CTrackPoint{lat + double(i) * 0.001, 0, kT0 + 60.0 * double(i), 0, 0}, false);
        return CTrackManager::Get().AddTrack(std::move(track));
    }

    tessatest::CFixedClock clock{kT0};
};

TEST_F(ListTest, SortOrdersAreStableForEqualKeys)
{
    // Equal names ("b"), equal dates and equal distances keep list order.
    MakeMark("b", 10.01, 0, kT0 + 10)->SetDescription("first b");
    MakeMark("a", 10.02, 0, kT0 + 30);
    MakeMark("b", 10.01, 0, kT0 + 10)->SetDescription("second b");
    MakeMark("B", 10.03, 0, kT0 + 20);
    MakeMark("c", 10.0, 0, kT0 + 30);
    MakeRoute("r2", {{10.02, 0}}, kT0 + 5);
    MakeRoute("r1", {}, kT0 + 5);
    MakeRoute("r3", {{10.01, 0}, {11, 0}}, kT0 + 9);
    MakeRoute("r0", {}, kT0 + 1);
    MakeTrack("t2", 10.05, 3, kT0 + 1);
    MakeTrack("t1", 10.04, 3, kT0 + 2);
    MakeTrack("short", 10.0, 2, kT0 + 3); // trivial: not listed

    struct Case
    {
        uint32_t sort;
        bool reference;
        std::vector<std::string> marks, routes, tracks;
    };
    const Case cases[] = {
        {0, false, {"B", "a", "b", "b", "c"}, {"r0", "r1", "r2", "r3"}, {"t1", "t2"}},
        {1, false, {"a", "c", "B", "b", "b"}, {"r3", "r2", "r1", "r0"}, {"t1", "t2"}},
        {2, true, {"c", "b", "b", "a", "B"}, {"r3", "r2", "r0", "r1"}, {"t1", "t2"}},
        // Distance without a reference falls back to names.
        {2, false, {"B", "a", "b", "b", "c"}, {"r0", "r1", "r2", "r3"}, {"t1", "t2"}},
    };
    CMarkListDelegate marks;
    CRouteListDelegate routes;
    CTrackListDelegate tracks;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.sort) + (c.reference ? " with reference" : ""));
        CMarkManager::Settings().sort = c.sort;
        if (c.reference)
            COverlayListDelegate::SetSortReference(10, 0);
        else
            COverlayListDelegate::ClearSortReference();
        std::vector<CSyncable*> list;
        marks.FillList(list);
        EXPECT_EQ(Names(list), c.marks);
        // The two "b" marks stay in list order under every key.
        std::vector<std::string> bs;
        for (CSyncable* object : list)
            if (object->GetName() == "b")
                bs.push_back(object->GetDescription());
        EXPECT_EQ(bs, (std::vector<std::string>{"first b", "second b"}));
        routes.FillList(list);
        EXPECT_EQ(Names(list), c.routes);
        tracks.FillList(list);
        EXPECT_EQ(Names(list), c.tracks);
    }
}

TEST_F(ListTest, RowTextsOfEachGroup)
{
    COverlayMark* mark = MakeMark("Buoy", 10.01, 0, 0);
    COverlayRoute* route = MakeRoute("R", {{10, 0}, {10.01, 0}, {10.02, 0}}, kT0);
    COverlayTrack* track = MakeTrack("T", 10, 5, 0);
    COverlayTrack* empty = MakeTrack("E", 10, 0, 0);
    const CDefaultUnits& units = CDefaultUnits::Get();
    std::string d1, d2, d3, b1, duration;
    CLocalPlane plane(10, 0);
    units.FormatDistance(float(plane.DistanceTo(10.01, 0)), d1);
    units.FormatBearing(0, b1);
    units.FormatDistance(float(route->TotalDistance()), d2);
    units.FormatDistance(float(4 * plane.Distance(10, 0, 10.001, 0)), d3);
    CUnits::FormatDuration(240, duration);

    COverlayListRow row;
    CMarkListDelegate marks;
    marks.RowText(*mark, row);
    EXPECT_EQ(row.text, "Buoy");
    EXPECT_EQ(row.detail, "  No date");
    COverlayListDelegate::SetSortReference(10, 0);
    marks.RowText(*mark, row);
    EXPECT_EQ(row.detail, "  No date " + d1 + " " + b1);
    CRouteListDelegate().RowText(*route, row);
    EXPECT_EQ(row.text, "R");
    EXPECT_EQ(row.detail, "  " + d2 + ", 3 points");
    CTrackListDelegate tracks;
    tracks.RowText(*track, row);
    EXPECT_EQ(row.text, "T");
    EXPECT_EQ(row.detail, "  No date, " + d3 + ", " + duration);
    tracks.RowText(*empty, row);
    EXPECT_EQ(row.detail, "Empty track");
}

TEST_F(ListTest, DirtyOnTheirStatesAndDeletionsRebuildOncePerTick)
{
    CMarkListDelegate marks;
    CRouteListDelegate routes;
    CTrackListDelegate tracks;
    std::vector<CSyncable*> list;
    COverlayMark* mark = MakeMark("M", 10, 0, kT0);
    COverlayRoute* route = MakeRoute("R", {{10, 0}, {10.01, 0}}, kT0);
    COverlayTrack* track = MakeTrack("T", 10, 5, kT0);
    for (COverlayListDelegate* d : std::initializer_list<COverlayListDelegate*>{&marks, &routes, &tracks}) {
        EXPECT_TRUE(d->RebuildIfDirty(list));
        EXPECT_FALSE(d->RebuildIfDirty(list));
    }
    struct Case
    {
        const char* name;
        std::function<void()> change;
        bool marks, routes, tracks;
    };
    const Case cases[] = {
        {"mark changed", [&] { mark->SetState(COverlayObject::kChanged); }, true, false, false},
        {"mark redrawn", [&] { mark->SetState(COverlayObject::kUpdated); }, false, false, false},
        {"route updated", [&] { route->NotifyChanged(COverlayObject::kUpdated); }, false, true, false},
        {"route changed", [&] { route->NotifyChanged(COverlayObject::kChanged); }, true, false, false},
        {"track sections changed", [&] { track->NotifySections(COverlayObject::kChanged); }, false, false,
         false},
        {"track deleted", [&] { CTrackManager::Get().DeleteTrack(track); }, false, false, true},
        {"route deleted", [&] { CMarkManager::Get().DeleteRoute(route); }, true, true, false},
        {"mark deleted", [&] { CMarkManager::Get().DeleteMark(mark); }, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // However many events arrive, each list is rebuilt once.
        for (int i = 0; i < 3; ++i)
            c.change();
        EXPECT_EQ(marks.RebuildIfDirty(list), c.marks);
        EXPECT_EQ(routes.RebuildIfDirty(list), c.routes);
        EXPECT_EQ(tracks.RebuildIfDirty(list), c.tracks);
        EXPECT_FALSE(marks.IsDirty() || routes.IsDirty() || tracks.IsDirty());
    }
    marks.FillList(list);
    EXPECT_TRUE(list.empty());
    // A new sort order rebuilds every list.
    COverlayListDelegate::SetSortReference(11, 0);
    EXPECT_TRUE(marks.IsDirty() && routes.IsDirty() && tracks.IsDirty());
}

TEST_F(ListTest, SelectAndRowMenusReachOnlyLiveObjects)
{
    COverlayMark* mark = MakeMark("M", 10, 0, kT0);
    CMarkListDelegate marks;
    std::vector<COverlayMark*> edited;
    marks.Activate(mark, nullptr); // no dialog installed: nothing
    COverlayMenuHooks::show_edit_mark = [&](QWidget*, COverlayMark* m) { edited.push_back(m); };
    marks.Activate(mark, nullptr);
    CMarkManager::Get().DeleteMark(mark);
    marks.Select(mark, nullptr);
    COverlayMenuHooks::show_edit_mark = nullptr;
    EXPECT_EQ(edited, (std::vector<COverlayMark*>{mark}));
}

} // namespace
