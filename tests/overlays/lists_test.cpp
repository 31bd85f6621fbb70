// The overlay list models: which objects each group lists, their row texts,
// the three sort orders (stable for equal keys) and when a list is rebuilt.
#include "geodesy/Units.h"
#include "overlays/OverlayUiDouble.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/OverlayTrack.h"
#include "overlays/model/TrackManager.h"
#include "overlays/ui/ActionMenus.h"
#include "overlays/ui/OverlayLists.h"
#include "support/FixedClock.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr double kT0 = 1700000000;

std::string Names(const CSyncableListDelegate& group, const std::vector<COverlayListRowKey>& list)
{
    std::string out;
    for (const COverlayListRowKey& key : list) {
        const CSyncable* object = group.Find(key);
        out += (out.empty() ? "" : ",") + (object ? object->GetName() + object->GetDescription() : "?");
    }
    return out;
}

COverlayListRowKey Key(const CSyncable* object)
{
    return COverlayListRowKey::Serial(object->GetSerial());
}

class ListTest : public ::testing::Test
{
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override
    {
        CMarkManager::Settings().sort = 0;
        COverlayListDelegate::ClearSortReference();
        CMarkManager::Get().ClearForTesting();
        CTrackManager::Get().ClearForTesting();
    }
    // Objects made at `time` (the heartbeat's clock).
    COverlayMark* MakeMark(const std::string& name, double lat, double time)
    {
        clock.Advance(time - clock.Now());
        auto mark = std::make_unique<COverlayMark>();
        mark->SetName(name);
        mark->SetPosition(lat, 0);
        return CMarkManager::Get().AddMark(std::move(mark));
    }
    COverlayRoute* MakeRoute(const std::string& name, std::vector<double> lats, double time)
    {
        clock.Advance(time - clock.Now());
        auto route = std::make_unique<COverlayRoute>();
        route->SetName(name);
        for (double lat : lats) {
            CMarkManager::RoutePointScope scope;
            route->AddPoint(std::make_unique<COverlayMark>())->SetPosition(lat, 0);
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
    // Equal names, dates and distances keep list order ("b1" before "b2").
    MakeMark("b", 10.01, kT0 + 10)->SetDescription("1");
    MakeMark("a", 10.02, kT0 + 30);
    MakeMark("b", 10.01, kT0 + 10)->SetDescription("2");
    MakeMark("B", 10.03, kT0 + 20);
    MakeMark("c", 10.0, kT0 + 30);
    MakeMark("gone", 10.0, kT0)->ClearForDeletion();
    MakeRoute("r2", {10.02}, kT0 + 5);
    MakeRoute("r1", {}, kT0 + 5);
    MakeRoute("r3", {10.01, 11}, kT0 + 9);
    MakeRoute("r0", {}, kT0 + 1);
    MakeTrack("t2", 10.05, 3, kT0 + 1);
    MakeTrack("t1", 10.04, 3, kT0 + 2);
    MakeTrack("t0", 10.06, 3, kT0 + 2);
    MakeTrack("s", 10.0, 2, kT0 + 3); // short: listed all the same, so it can be deleted
    struct Case
    {
        uint32_t sort;
        bool reference;
        const char *marks, *routes, *tracks;
    };
    const Case cases[] = {
        {0, false, "B,a,b1,b2,c", "r0,r1,r2,r3", "s,t0,t1,t2"},
        {1, false, "a,c,B,b1,b2", "r3,r2,r1,r0", "s,t1,t0,t2"},
        // Routes without points after the others, by name.
        {2, true, "c,b1,b2,a,B", "r3,r2,r0,r1", "s,t1,t2,t0"},
        // Distance without a reference falls back to names.
        {2, false, "B,a,b1,b2,c", "r0,r1,r2,r3", "s,t0,t1,t2"},
    };
    CMarkListDelegate marks;
    CRouteListDelegate routes;
    CTrackListDelegate tracks;
    std::vector<COverlayListRowKey> list;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.sort) + (c.reference ? " with reference" : ""));
        CMarkManager::Settings().sort = c.sort;
        if (c.reference)
            COverlayListDelegate::SetSortReference(10, 0);
        else
            COverlayListDelegate::ClearSortReference();
        marks.FillList(list);
        EXPECT_EQ(Names(marks, list), c.marks);
        routes.FillList(list);
        EXPECT_EQ(Names(routes, list), c.routes);
        tracks.FillList(list);
        EXPECT_EQ(Names(tracks, list), c.tracks);
    }
}

TEST_F(ListTest, RowTextsOfEachGroup)
{
    COverlayMark* mark = MakeMark("Buoy", 10.01, 0);
    COverlayRoute* route = MakeRoute("R", {10, 10.01, 10.02}, kT0);
    COverlayTrack* track = MakeTrack("T", 10, 5, 0);
    const CDefaultUnits& units = CDefaultUnits::Get();
    const CLocalPlane plane(10, 0);
    std::string d1, b1, d2, d3, duration;
    units.FormatDistance(float(plane.DistanceTo(10.01, 0)), d1);
    units.FormatBearing(0, b1);
    units.FormatDistance(float(route->TotalDistance()), d2);
    units.FormatDistance(float(4 * plane.Distance(10, 0, 10.001, 0)), d3);
    CUnits::FormatDuration(240, duration);
    const auto text = [](const COverlayListDelegate& d, CSyncable& object) {
        COverlayListRow row;
        EXPECT_TRUE(d.RowText(Key(&object), row));
        return row.text + "|" + row.detail;
    };
    CMarkListDelegate marks;
    EXPECT_EQ(text(marks, *mark), "Buoy|  No date");
    COverlayListDelegate::SetSortReference(10, 0);
    EXPECT_EQ(text(marks, *mark), "Buoy|  No date " + d1 + " " + b1);
    EXPECT_EQ(text(CRouteListDelegate(), *route), "R|  " + d2 + ", 3 points");
    EXPECT_EQ(text(CTrackListDelegate(), *track), "T|  No date, " + d3 + ", " + duration);
    EXPECT_EQ(text(CTrackListDelegate(), *MakeTrack("E", 10, 0, 0)), "E|Empty track");

    // Keys of another group, of another kind, or of a deleted object give no
    // text and leave the row as it was.
    COverlayListRow row{"kept", "kept"};
    EXPECT_FALSE(CRouteListDelegate().RowText(Key(mark), row));
    EXPECT_FALSE(marks.RowText(COverlayListRowKey::MMSI(uint32_t(mark->GetSerial())), row));
    CMarkManager::Get().DeleteMark(mark);
    EXPECT_FALSE(marks.RowText(Key(mark), row));
    EXPECT_EQ(row.text + row.detail, "keptkept");
}

TEST_F(ListTest, DirtyOnTheirStatesAndDeletionsRebuildOncePerTick)
{
    CMarkListDelegate marks;
    CRouteListDelegate routes;
    CTrackListDelegate tracks;
    std::vector<COverlayListRowKey> list;
    COverlayMark* mark = MakeMark("M", 10, kT0);
    COverlayRoute* route = MakeRoute("R", {10, 10.01}, kT0);
    COverlayTrack* track = MakeTrack("T", 10, 5, kT0);
    const auto rebuilt = [&] {
        std::string out;
        for (COverlayListDelegate* d : std::initializer_list<COverlayListDelegate*>{&marks, &routes, &tracks})
            out += d->RebuildIfDirty(list) ? "1" : "0";
        return out;
    };
    EXPECT_EQ(rebuilt(), "111");
    struct Case
    {
        const char* name;
        std::function<void()> change;
        const char* rebuilt; // marks, routes, tracks
    };
    const Case cases[] = {
        {"mark changed", [&] { mark->SetState(COverlayObject::kChanged); }, "100"},
        {"mark redrawn", [&] { mark->SetState(COverlayObject::kUpdated); }, "000"},
        {"route updated", [&] { route->NotifyChanged(COverlayObject::kUpdated); }, "010"},
        {"route changed", [&] { route->NotifyChanged(COverlayObject::kChanged); }, "100"},
        {"track sections changed", [&] { track->NotifySections(COverlayObject::kChanged); }, "000"},
        // As an import does: a track not listed yet.
        {"track added", [&] { MakeTrack("N", 10, 2, kT0)->NotifySections(COverlayObject::kChanged); }, "001"},
        {"track deleted", [&] { CTrackManager::Get().DeleteTrack(track); }, "001"},
        {"route deleted", [&] { CMarkManager::Get().DeleteRoute(route); }, "110"},
        {"mark deleted", [&] { CMarkManager::Get().DeleteMark(mark); }, "100"},
    };
    for (const Case& c : cases) {
        // However many events arrive, each list is rebuilt once.
        for (int i = 0; i < 3; ++i)
            c.change();
        EXPECT_EQ(rebuilt(), c.rebuilt) << c.name;
        EXPECT_EQ(rebuilt(), "000") << c.name;
    }
    // A new reference rebuilds every list.
    COverlayListDelegate::SetSortReference(11, 0);
    EXPECT_EQ(rebuilt(), "111");
}

TEST_F(ListTest, RowsFollowTheirObjectsWhenAManagerListIsReorderedOrReplacedAtTheSameLength)
{
    // The position hints are kept between fills: a list of the same length
    // whose objects moved or were replaced must still name the right object.
    COverlayTrack* a = MakeTrack("A", 10, 5, kT0);
    COverlayTrack* b = MakeTrack("B", 10, 5, kT0);
    MakeTrack("C", 10, 5, kT0);
    CTrackListDelegate tracks;
    std::vector<COverlayListRowKey> list;
    tracks.FillList(list);
    ASSERT_EQ(Names(tracks, list), "A,B,C");
    const std::vector<COverlayListRowKey> old = list;

    CTrackManager::Get().StartRecordingInto(a); // moves A to the end
    CTrackManager::Get().ToggleRecording();     // off again
    tracks.FillList(list);
    EXPECT_EQ(Names(tracks, list), "A,B,C");
    EXPECT_EQ(Names(tracks, old), "A,B,C");

    // B purged and D added: same length, another object where B stood.
    CTrackManager::Get().DeleteTrack(b);
    CTrackManager::Get().PurgeTombstones(CSyncable::Now() + 1);
    MakeTrack("D", 10, 5, kT0);
    tracks.FillList(list);
    EXPECT_EQ(Names(tracks, list), "A,C,D");
    EXPECT_EQ(Names(tracks, old), "A,?,C");
    a->SetName("A2");
    COverlayListRow row;
    ASSERT_TRUE(tracks.RowText(old[0], row));
    EXPECT_EQ(row.text, "A2");
}

TEST_F(ListTest, SelectOpensTheEditDialogOfLiveObjectsOnlyWhenTheOverlayUiOffersIt)
{
    tessatest::COverlayUiDouble ui;
    CMarkListDelegate marks;
    CRouteListDelegate routes;
    CTrackListDelegate tracks;
    struct Case
    {
        const char* kind;
        COverlayListDelegate& list;
        bool& offer;
        std::function<CSyncable*()> make;
        std::function<void(CSyncable*)> remove;
        std::function<size_t()> edits;
    };
    const Case cases[] = {
        {"mark", marks, ui.editMarks, [&] { return MakeMark("M", 10, kT0); },
         [](CSyncable* o) { CMarkManager::Get().DeleteMark(static_cast<COverlayMark*>(o)); },
         [&] { return ui.editedMarks.size(); }},
        {"route", routes, ui.editRoutes,
         [&] {
             return MakeRoute("R", {10, 11}, kT0);
         },
         [](CSyncable* o) { CMarkManager::Get().DeleteRoute(static_cast<COverlayRoute*>(o)); },
         [&] { return ui.editedRoutes.size(); }},
        {"track", tracks, ui.editTracks, [&] { return MakeTrack("T", 10, 3, kT0); },
         [](CSyncable* o) { CTrackManager::Get().DeleteTrack(static_cast<COverlayTrack*>(o)); },
         [&] { return ui.editedTracks.size(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        CSyncable* object = c.make();
        const COverlayListRowKey key = Key(object);
        // The default port offers no dialog: nothing happens.
        InstallPort<IOverlayUi>(nullptr);
        c.list.Activate(key, nullptr);
        InstallPort<IOverlayUi>(&ui);
        c.list.Activate(key, nullptr); // installed, but this kind not offered
        EXPECT_EQ(c.edits(), 0u);
        c.offer = true;
        c.list.Activate(key, nullptr);
        EXPECT_EQ(c.edits(), 1u);
        c.remove(object);
        c.list.Select(key, nullptr);
        EXPECT_EQ(c.edits(), 1u);
    }
    InstallPort<IOverlayUi>(nullptr);
    EXPECT_EQ(ui.editedMarks.size() + ui.editedRoutes.size() + ui.editedTracks.size(), 3u);
}

} // namespace
