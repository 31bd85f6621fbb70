// The overlay base: change events and deletion, the displayed-overlay list,
// projection into the view and hit tests.
#include "foundation/events/Listener.h"
#include "mapview/overlay/OverlayDisplayList.h"
#include "mapview/overlay/OverlayObject.h"
#include "mapview/overlay/ScreenPoints.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

class CTestOverlay : public COverlayObject
{
public:
    CTestOverlay(uint32_t kind, uint32_t id, std::vector<std::string>* log = nullptr)
        : COverlayObject(kind, id), m_log(log)
    {
    }
    ~CTestOverlay() override
    {
        if (m_log)
            m_log->push_back("dtor " + std::to_string(GetId()));
    }
    void UpdateScreenPoints(ScreenPoints& record, const CPolynomialProjection&) override { record.Reset(); }
    void Draw(QPainter&, const CViewTransform&, ScreenPoints&) override {}
    bool IsVisible() const override { return m_visible; }

    bool m_visible = true;
    std::vector<std::string>* m_log;
};

// Records every event; while the object is whole it reads a virtual, as the
// map view does for changes.
class CRecorder : public Listener<COverlayObject>
{
public:
    explicit CRecorder(std::string name, int32_t priority = 0) : Listener(priority), m_name(std::move(name))
    {
    }
    void Notify(const COverlayObject& object) override
    {
        std::string line =
            m_name + " " + std::to_string(object.GetId()) + " state " + std::to_string(object.GetState());
        if (object.GetState() != COverlayObject::kDeleted)
            line += object.IsVisible() ? " visible" : " hidden";
        m_log.push_back(line);
        if (m_action)
            m_action(object);
    }
    std::string m_name;
    std::vector<std::string> m_log;
    std::function<void(const COverlayObject&)> m_action;
};

TEST(OverlayObject, SubclassFlagsKeepTheKind)
{
    CTestOverlay o(COverlayObject::kKindMovingTarget, 4);
    o.SetSubclassFlags(0xFFFFFFFF);
    EXPECT_EQ(o.GetKind(), 5u);
    o.SetKind(7);
    EXPECT_EQ(o.GetFlags() & COverlayObject::kSubclassFlagsMask, COverlayObject::kSubclassFlagsMask);
}

TEST(OverlayObject, AddChangeDeleteInOrder)
{
    CRecorder first("a", 10), second("b", 0);
    {
        auto o = std::make_unique<CTestOverlay>(6, 1);
        o->SetState(COverlayObject::kChanged);
        o->m_visible = false;
        o->SetState(COverlayObject::kUpdated);
        o->AnnounceDeletion();
        o->AnnounceDeletion(); // once only
        o.reset();             // already announced: the destructor stays quiet
    }
    const std::vector<std::string> expectA = {"a 1 state 0 visible", "a 1 state 1 hidden", "a 1 state 2"};
    const std::vector<std::string> expectB = {"b 1 state 0 visible", "b 1 state 1 hidden", "b 1 state 2"};
    EXPECT_EQ(first.m_log, expectA);
    EXPECT_EQ(second.m_log, expectB);

    // Without an announcement the destructor announces, once.
    first.m_log.clear();
    {
        CTestOverlay o(6, 2);
    }
    EXPECT_EQ(first.m_log, std::vector<std::string>{"a 2 state 2"});
}

TEST(OverlayObject, DeletedFromInsideItsOwnChange)
{
    std::vector<std::string> dtorLog;
    CRecorder owner("owner", 10), later("later", 0);
    CTestOverlay* object = new CTestOverlay(6, 3, &dtorLog);
    // The owner reacts to a change by deleting the object, announcing first.
    owner.m_action = [&](const COverlayObject& o) {
        if (o.GetState() == COverlayObject::kChanged && &o == object) {
            object->AnnounceDeletion();
            delete object;
            object = nullptr;
        }
    };
    object->SetState(COverlayObject::kChanged);
    EXPECT_EQ(object, nullptr);
    // "later" heard the deletion while the object was whole and never got the
    // dead object afterwards.
    EXPECT_EQ(later.m_log, std::vector<std::string>{"later 3 state 2"});
    EXPECT_EQ(dtorLog, std::vector<std::string>{"dtor 3"});

    // Deleting without announcing, inside a nested change of another overlay.
    owner.m_action = nullptr;
    later.m_log.clear();
    auto other = std::make_unique<CTestOverlay>(6, 5);
    CTestOverlay* victim = new CTestOverlay(6, 4);
    owner.m_action = [&](const COverlayObject& o) {
        if (&o == victim && o.GetState() == COverlayObject::kUpdated)
            other->SetState(COverlayObject::kUpdated);
        else if (&o == other.get() && victim) {
            CTestOverlay* v = victim;
            victim = nullptr;
            delete v;
        }
    };
    victim->SetState(COverlayObject::kUpdated);
    EXPECT_EQ(victim, nullptr);
    // The delivery of the victim's change stopped; the other's went on.
    EXPECT_EQ(later.m_log, (std::vector<std::string>{"later 4 state 2", "later 5 state 1 visible"}));
    owner.m_action = nullptr;
}

TEST(DisplayList, OrderedByKindThenInsertion)
{
    CTestOverlay track(8, 1), ship(5, 4), mark1(6, 2), mark2(6, 3);
    COverlayDisplayList list;
    list.FindOrAdd(track);
    list.FindOrAdd(mark2);
    list.FindOrAdd(ship);
    list.FindOrAdd(mark1);
    EXPECT_EQ(&list.FindOrAdd(mark2), list.Find(&mark2)); // no second entry
    EXPECT_EQ(list.Size(), 4u);

    std::vector<uint32_t> ids;
    for (const auto& [key, entry] : list.Entries())
        ids.push_back(entry.object->GetId());
    EXPECT_EQ(ids, (std::vector<uint32_t>{4, 3, 2, 1}));

    // The kind changing after insertion does not lose the entry.
    mark2.SetKind(2);
    mark2.SetSubclassFlags(0x1234);
    EXPECT_TRUE(list.Remove(&mark2));
    EXPECT_FALSE(list.Remove(&mark2));
    EXPECT_EQ(list.Find(&mark2), nullptr);
    EXPECT_EQ(list.Size(), 3u);

    // A new object at a freed address is a new entry, at the end of its kind.
    auto a = std::make_unique<CTestOverlay>(6, 10);
    list.FindOrAdd(*a);
    const COverlayObject* address = a.get();
    list.Remove(address);
    a.reset();
    auto b = std::make_unique<CTestOverlay>(6, 11);
    list.FindOrAdd(*b);
    ids.clear();
    for (const auto& [key, entry] : list.Entries())
        ids.push_back(entry.object->GetId());
    EXPECT_EQ(ids, (std::vector<uint32_t>{4, 2, 11, 1}));
    list.Clear();
    EXPECT_EQ(list.Size(), 0u);
    EXPECT_FALSE(list.Contains(b.get()));
}

TEST(ScreenPoints, BoundsAndReset)
{
    ScreenPoints r;
    EXPECT_EQ(r.box.left, ScreenPoints::kEmptyBox);
    EXPECT_FALSE(r.HasBox());
    r.ComputeBounds();
    EXPECT_EQ(r.box.left, 0);
    EXPECT_EQ(r.box.right, 0);
    EXPECT_FALSE(r.HasBox());

    // A single point has a one-pixel box.
    r.mapPoints = {{10.7, 20.2}};
    r.ComputeBounds();
    EXPECT_EQ(r.box.left, 10);
    EXPECT_EQ(r.box.top, 20);
    EXPECT_EQ(r.box.right, 11);
    EXPECT_EQ(r.box.bottom, 21);
    EXPECT_TRUE(r.HasBox());

    r.mapPoints = {{-3.5, 4}, {std::nan(""), 1e300}, {7, -2.25}};
    r.ComputeBounds();
    EXPECT_EQ(r.box.left, -4);
    EXPECT_EQ(r.box.top, -3);
    EXPECT_EQ(r.box.right, 8);
    EXPECT_EQ(r.box.bottom, 5);

    r.Reset();
    EXPECT_FALSE(r.HasBox());
}

TEST(ViewTransform, ViewRectangleInChartPixels)
{
    CViewTransform v;
    v.originX = 1000;
    v.originY = 2000;
    v.SetZoom(1); // half size: a view pixel covers two chart pixels
    IntRect c = v.ViewRectToChartRect(IntRect{0, 0, 800, 600});
    EXPECT_EQ(c.left, 1000);
    EXPECT_EQ(c.right, 2600);
    EXPECT_EQ(c.bottom, 3200);
    v.SetZoom(-2); // magnified four times
    c = v.ViewRectToChartRect(IntRect{0, 0, 800, 600});
    EXPECT_EQ(c.right, 1200);
    EXPECT_EQ(c.bottom, 2150);
    v.SetOriginFor(400, 300, 5000, 6000);
    double x, y;
    v.ChartToView(5000, 6000, x, y);
    EXPECT_DOUBLE_EQ(x, 400);
    EXPECT_DOUBLE_EQ(y, 300);
}

TEST(ScreenPoints, ProjectionIntoTheView)
{
    CViewTransform v;
    v.SetZoom(0);
    v.viewRect = IntRect{0, 0, 800, 600};
    ScreenPoints r;
    r.mapPoints = {{100, 100}};
    r.ComputeBounds();
    ASSERT_TRUE(ProjectIntoView(r, v));
    ASSERT_EQ(r.screenPoints.size(), 1u);
    EXPECT_DOUBLE_EQ(r.screenPoints[0].x, 100);

    // Already projected points are kept until the view empties them.
    v.originX = 50;
    ASSERT_TRUE(ProjectIntoView(r, v));
    EXPECT_DOUBLE_EQ(r.screenPoints[0].x, 100);
    r.screenPoints.clear();
    ASSERT_TRUE(ProjectIntoView(r, v));
    EXPECT_DOUBLE_EQ(r.screenPoints[0].x, 50);

    // Just beyond the edge an icon still shows; far beyond it is not drawn.
    ScreenPoints edge;
    edge.mapPoints = {{50 + 830, 100}};
    edge.ComputeBounds();
    EXPECT_TRUE(ProjectIntoView(edge, v));
    ScreenPoints far;
    far.mapPoints = {{50 + 900, 100}, {50 + 2000, 700}};
    far.ComputeBounds();
    EXPECT_FALSE(ProjectIntoView(far, v));
    EXPECT_TRUE(far.screenPoints.empty());
    // No points: nothing to draw.
    ScreenPoints none;
    none.ComputeBounds();
    EXPECT_FALSE(ProjectIntoView(none, v));
}

TEST(ScreenPoints, HitTests)
{
    ScreenPoints p;
    p.hitMode = ScreenPoints::kHitPoints;
    p.hitPointCount = 1;
    p.screenPoints = {{100, 100}, {300, 300}};
    EXPECT_TRUE(HitTest(p, 119, 100, 1));
    EXPECT_FALSE(HitTest(p, 121, 100, 1));
    EXPECT_TRUE(HitTest(p, 139, 100, 2));
    EXPECT_FALSE(HitTest(p, 141, 100, 2));
    // Only the counted points.
    EXPECT_FALSE(HitTest(p, 300, 300, 1));
    // A count beyond the points present is cut to them.
    p.hitPointCount = 50;
    EXPECT_TRUE(HitTest(p, 300, 300, 1));
    p.hitPointCount = -5;
    EXPECT_FALSE(HitTest(p, 100, 100, 1));

    ScreenPoints line;
    line.hitMode = ScreenPoints::kHitPolyline;
    line.screenPoints = {{0, 0}, {200, 0}, {200, 200}};
    EXPECT_TRUE(HitTest(line, 100, 19, 1));
    EXPECT_FALSE(HitTest(line, 100, 21, 1));
    EXPECT_TRUE(HitTest(line, 215, 150, 1));
    EXPECT_FALSE(HitTest(line, 100, 100, 1)); // inside the bend, far from both legs

    ScreenPoints area;
    area.hitMode = ScreenPoints::kHitWhole;
    EXPECT_TRUE(HitTest(area, -1e6, 1e6, 1));
    area.hitMode = ScreenPoints::kHitNone;
    area.screenPoints = {{0, 0}};
    EXPECT_FALSE(HitTest(area, 0, 0, 1));
}

TEST(DisplayList, HitsInDrawingOrder)
{
    CTestOverlay ship(5, 4), mark(6, 1), route(7, 2);
    COverlayDisplayList list;
    auto& m = list.FindOrAdd(mark).record;
    m.hitMode = ScreenPoints::kHitPoints;
    m.hitPointCount = 1;
    m.screenPoints = {{10, 10}};
    auto& r = list.FindOrAdd(route).record;
    r.hitMode = ScreenPoints::kHitPolyline;
    r.screenPoints = {{0, 0}, {100, 0}};
    auto& s = list.FindOrAdd(ship).record;
    s.hitMode = ScreenPoints::kHitNone;
    s.screenPoints = {{10, 10}};
    EXPECT_EQ(list.CollectHits(10, 5, 1), (std::vector<COverlayObject*>{&mark, &route}));
    list.ClearScreenPoints();
    EXPECT_TRUE(list.CollectHits(10, 5, 1).empty());
}

} // namespace
