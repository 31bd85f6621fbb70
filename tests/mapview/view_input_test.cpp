// Scripted pointer, gesture and key input on the chart view with charts from
// the chart writer, the real chart list, and fake overlays and tools.
// TESSA_TSAN_LABEL
#include "charts/chartlist/ChartList.h"
#include "chartwriter/ChartWriter.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/menus/MenuTree.h"
#include "mapview/overlay/OverlayTool.h"
#include "mapview/view/ChartInputPorts.h"
#include "mapview/view/ChartListCatalog.h"
#include "support/MenuPopupDouble.h"
#include "support/TestChartView.h"
#include "support/TestPaths.h"

#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QPointF>
#include <filesystem>
#include <gtest/gtest.h>
#include <limits>
#include <optional>

namespace {

// A point overlay (or one hit everywhere) whose answers the test scripts; the
// answers run from a copy because they may delete the object.
struct FakeOverlay : COverlayObject
{
    using Answer = std::function<bool(FakeOverlay&)>;
    FakeOverlay(double lat, double lon, uint32_t hit = ScreenPoints::kHitPoints)
        : COverlayObject(kKindMark, 0), lat(lat), lon(lon), hit(hit)
    {
        SetState(kChanged);
    }
    void UpdateScreenPoints(ScreenPoints& record, const CPolynomialProjection& chart) override
    {
        record.mapPoints.resize(1);
        chart.LatLonToPixel(lat, lon, record.mapPoints[0].x, record.mapPoints[0].y);
        record.ComputeBounds();
        record.hitMode = hit;
        record.hitPointCount = 1;
    }
    void Draw(QPainter&, const CViewTransform&, ScreenPoints&) override {}
    static bool Run(int& count, Answer answer, FakeOverlay& self) { return ++count, answer && answer(self); }
    bool OnTap(CRasterleafView&, const COverlayTap&) override { return Run(taps, onTap, *this); }
    bool OnDoubleTap(CRasterleafView&, const COverlayTap&) override { return Run(presses, onPress, *this); }
    bool ShowActionMenu(CRasterleafView&, const COverlayTap&) override { return Run(menus, onMenu, *this); }
    double lat, lon;
    uint32_t hit;
    Answer onTap, onPress, onMenu;
    int taps = 0, presses = 0, menus = 0;
};

struct FakeTool : COverlayTool
{
    explicit FakeTool(COverlayObject* mark) : mark(mark) {}
    void DragBy(double dx, double dy) override { moved += QPointF(dx, dy); }
    void EndDrag() override { ++endDrags; }
    COverlayObject* GetMark() const override { return mark; }
    COverlayObject* mark;
    QPointF moved;
    int endDrags = 0;
};

std::unique_ptr<CMenuTree> g_menu;

class ChartViewInput : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = tessatest::MakeScratchDir("viewinput");
        for (auto [path, name, w, s, e, n] : {std::tuple{&world, "World", -180.0, -80.0, 180.0, 80.0},
                                              {&region, "Region: Baltic", 8, 53, 13, 56},
                                              {&harbour, "Harbour", 10.4, 54.4, 10.6, 54.6}}) {
            *path = root + "/charts/" + std::to_string(n) + ".rlt";
            std::filesystem::create_directories(root + "/charts");
            chartwriter::CChartWriter writer(4, 4);
            writer.name = name;
            writer.mapType = "Topo";
            chartwriter::PlateCarreeCoefficients(w, n, e, s, 256, 256, writer.forward, writer.inverse);
            ASSERT_TRUE(writer.Write(*path));
        }
        CSelectMapTypes::Get().show = CSelectMapTypes::DefaultTypes();
        list.Init(CChartFolders{
            {root + "/charts"}, root + "/map_folders.txt", "", root + "/charts", root + "/MVT"});
        view = std::make_unique<CRasterleafView>(CRasterleafView::Ports{&opener, &catalog, nullptr, nullptr});
        view->SetViewRect(0, 0, 400, 300);
        view->SetClockForTesting([this] { return now; });
        menus.emplace(
            [](std::unique_ptr<CMenuTree> tree, QWidget*, const QPoint*) { g_menu = std::move(tree); });
        Home();
    }
    void TearDown() override
    {
        menus.reset();
        g_menu.reset();
        COverlayTool::EndActiveTool();
        InstallPort<IChartDeleteTool>(nullptr);
        CRasterleafView::GetSettings().useMagicMouse = false;
        view.reset();
        std::filesystem::remove_all(root);
    }
    // The harbour chart at zoom 0 centred on (54.5, 10.5), nothing moving.
    void Home()
    {
        ASSERT_TRUE(view->GoToPosition(54.5, 10.5, 0));
        ASSERT_EQ(view->GetCurrentChartPath(), harbour);
        while (view->Transform().zoom != 0)
            view->ZoomAboutCentre(view->Transform().zoom < 0 ? 1 : -1);
        ASSERT_TRUE(view->CentreOn(54.5, 10.5, true));
        for (int i = 0; i < 200 && (view->Magnification() != 1.0 || view->PanGesture().IsGliding()); ++i)
            Tick();
    }
    void Tick()
    {
        now += 0.05;
        view->OnTimer();
    }
    QPointF At(double lat, double lon)
    {
        double x = 0, y = 0;
        EXPECT_TRUE(view->LatLonToScreen(lat, lon, x, y));
        return {x, y};
    }
    void Click(QPointF p, std::vector<QPointF> drags = {})
    {
        view->Press(p.x(), p.y());
        for (QPointF d : drags) {
            now += 0.02;
            view->DragTo(p.x() + d.x(), p.y() + d.y());
        }
        view->Release();
    }
    // View pixels the picture moved since `before`.
    QPointF Moved(const CViewTransform& before)
    {
        const CViewTransform& t = view->Transform();
        return QPointF(before.originX - t.originX, before.originY - t.originY) * t.scale;
    }

    std::string root, world, region, harbour;
    CChartList list;
    CChartListCatalog catalog{list};
    tessatest::CFileChartOpener opener;
    std::unique_ptr<CRasterleafView> view;
    std::optional<tessatest::CMenuPopupDouble> menus;
    double now = 1000;
};

} // namespace

TEST_F(ChartViewInput, TapsAndDrags)
{
    FakeOverlay mark(54.5, 10.5);
    mark.onTap = [](FakeOverlay&) { return true; };
    const struct
    {
        std::vector<QPointF> drags; // from the press point
        int taps;
    } cases[] = {{{}, 1}, {{{1, 1}, {2, 0}, {-2, 2}}, 1}, {{{3, 0}}, 0}, {{{40, 0}, {0, 0}}, 0}};
    for (const auto& c : cases) {
        Home();
        mark.taps = 0;
        Click(At(54.5, 10.5), c.drags);
        EXPECT_EQ(mark.taps, c.taps) << c.drags.size() << " drags";
        EXPECT_FALSE(view->IsPressed());
    }

    {
        // A free mark merged into a route at the press deletes itself; the release
        // must not offer the route (hit everywhere) a second point.
        FakeOverlay route(54.5, 10.5, ScreenPoints::kHitWhole);
        route.onTap = [](FakeOverlay&) { return true; };
        auto free = std::make_unique<FakeOverlay>(54.5, 10.5);
        free->onPress = [&free](FakeOverlay&) { return free.reset(), true; };
        Click(At(54.5, 10.5));
        EXPECT_EQ(route.taps, 0);
    }

    // A press that starts a tool: drags move the tool, not the chart.
    FakeOverlay toolMark(54.52, 10.52);
    FakeTool* tool = nullptr;
    toolMark.onPress = [&tool](FakeOverlay& self) {
        COverlayTool::SetActiveTool(std::make_unique<FakeTool>(&self));
        tool = static_cast<FakeTool*>(COverlayTool::GetActiveTool());
        return true;
    };
    const CViewTransform before = view->Transform();
    Click(At(54.52, 10.52), {{5, 0}, {12, 3}});
    ASSERT_NE(tool, nullptr);
    EXPECT_EQ(tool->moved, QPointF(12, 3));
    EXPECT_EQ(tool->endDrags, 1);
    EXPECT_EQ(Moved(before), QPointF(0, 0));
    // A press another overlay took (an AIS target) leaves the tool's mark alone: the drag pans.
    FakeOverlay target(54.48, 10.55);
    target.onPress = [](FakeOverlay&) { return true; };
    const CViewTransform held = view->Transform();
    Click(At(54.48, 10.55), {{0, 6}});
    EXPECT_EQ(tool->moved, QPointF(12, 3));
    EXPECT_EQ(Moved(held), QPointF(0, 6));
    // A tap on no overlay ends the tool; one off the chart opens the best chart there.
    Click(At(54.45, 10.45));
    EXPECT_EQ(COverlayTool::GetActiveTool(), nullptr);
    EXPECT_EQ(view->GetCurrentChartPath(), harbour);
    Click(QPointF(20, 150));
    EXPECT_EQ(view->GetCurrentChartPath(), region);
}

// A tap on the active tool's shown label opens the tool's menu (the tool's Tap);
// a drag that starts on the label pans.
TEST_F(ChartViewInput, ATapOnTheToolLabelGoesToTheTool)
{
    FakeOverlay mark(54.5, 10.5);
    mark.onTap = [](FakeOverlay&) { return true; };
    struct LabelTool : FakeTool
    {
        using FakeTool::FakeTool;
        void Tap() override { ++taps; }
        void Show(double x, double y)
        {
            m_text = "M1";
            QImage image(400, 300, QImage::Format_ARGB32_Premultiplied);
            QPainter painter(&image);
            DrawLabel(painter, x, y);
        }
        int taps = 0;
    };
    auto owned = std::make_unique<LabelTool>(&mark);
    LabelTool* tool = owned.get();
    COverlayTool::SetActiveTool(std::move(owned));
    const QPointF at = At(54.5, 10.5);
    tool->Show(at.x(), at.y());
    const QPointF label = at + QPointF(30, -40); // inside the box over the anchor
    const CViewTransform before = view->Transform();
    Click(label, {{40, 0}});
    EXPECT_EQ(Moved(before), QPointF(40, 0));
    Click(label);
    ASSERT_EQ(COverlayTool::GetActiveTool(), tool);
    EXPECT_EQ(tool->taps, 1);
    EXPECT_EQ(mark.taps + mark.presses, 0);
}

TEST_F(ChartViewInput, OverlaysMayDeleteThemselvesOrAddOverlaysWhileOfferedATap)
{
    std::vector<std::unique_ptr<FakeOverlay>> owned;
    for (int i = 0; i < 4; ++i)
        owned.push_back(std::make_unique<FakeOverlay>(54.5, 10.5));
    FakeOverlay* bottom = owned[0].get();
    bottom->onTap = [](FakeOverlay&) { return true; };
    owned[3]->onPress = [&owned](FakeOverlay&) { return owned[3].reset(), false; };
    owned[2]->onTap = [&owned](FakeOverlay&) {
        owned[1].reset();
        owned[2].reset();
        for (int i = 0; i < 50; ++i)
            owned.push_back(std::make_unique<FakeOverlay>(54.5, 10.5));
        return false;
    };
    Click(At(54.5, 10.5));
    EXPECT_EQ(bottom->taps, 1);
    EXPECT_EQ(view->DisplayedOverlays().Size(), 51u);
    for (size_t i = 4; i < owned.size(); ++i)
        EXPECT_EQ(owned[i]->taps, 0);
}

TEST_F(ChartViewInput, GesturesBecomeZoomLevelsAndEndByThemselves)
{
    view->Magnify(200, 150, 0.6);
    EXPECT_DOUBLE_EQ(view->Magnification(), 1.6);
    view->Magnify(200, 150, 0);
    EXPECT_FALSE(view->IsPressed());
    EXPECT_EQ(view->Transform().zoom, -1);
    EXPECT_DOUBLE_EQ(view->Magnification(), 0.8);
    Tick();
    EXPECT_DOUBLE_EQ(view->Magnification(), 1.0);

    // The end zooms about the fingers' last point: what lies under them stays.
    Home();
    view->Magnify(200, 150, 0.3);
    view->Magnify(240, 130, 0.3);
    double lat = 0, lon = 0;
    ASSERT_TRUE(view->ScreenToLatLon(240, 130, lat, lon));
    view->EndGesture();
    EXPECT_EQ(view->Transform().zoom, -1);
    EXPECT_NEAR(At(lat, lon).x(), 240, 1.0);
    EXPECT_NEAR(At(lat, lon).y(), 130, 1.0);

    // Bounded: pinch distance 0.05 and more, magnification 0.25 to 4.
    const struct
    {
        double step, distance, magnification;
    } pinches[] = {{-5, 0.05, 0.25}, {std::numeric_limits<double>::quiet_NaN(), 1, 1}, {100, 101, 1}};
    for (const auto& p : pinches) {
        Home();
        view->Magnify(200, 150, p.step);
        EXPECT_DOUBLE_EQ(view->Magnification(), p.magnification) << p.step;
        if (view->IsPinching()) {
            EXPECT_DOUBLE_EQ(view->PinchDistance(), p.distance);
        }
        view->EndGesture();
        EXPECT_GT(view->GetCentreScale(), 0);
        EXPECT_LT(view->GetCentreScale(), 1e9);
    }

    // Precise scrolling magnifies with "use_magic_mouse"; the gesture ends
    // after 250 ms without events, on a horizontal-only delta and on focus loss.
    CRasterleafView::GetSettings().useMagicMouse = true;
    const std::function<void()> enders[] = {[this] { now += 0.2, Tick(); },
                                            [this] { view->ScrollPixels(200, 150, 12, 0); },
                                            [this] { view->InputFocusLost(); }};
    for (const auto& end : enders) {
        Home();
        view->ScrollPixels(200, 150, 0, 20);
        EXPECT_DOUBLE_EQ(view->Magnification(), 1.2);
        Tick();
        EXPECT_TRUE(view->IsPinching());
        end();
        EXPECT_FALSE(view->IsPinching());
        EXPECT_FALSE(view->IsPressed());
    }
    // Without it, pixel scrolling pans by twice the delta.
    CRasterleafView::GetSettings().useMagicMouse = false;
    Home();
    const CViewTransform before = view->Transform();
    view->ScrollPixels(200, 150, 0, 15);
    EXPECT_EQ(Moved(before), QPointF(0, 30));
}

// Under GPS lock the own ship stays at the lock point through wheel zooms
// about the pointer and pans against the chart's edge, so a fix moves nothing.
TEST_F(ChartViewInput, TheLockPointStaysOnTheOwnShip)
{
    CDataGPSPosition fix;
    fix.SetPosition(54.5, 10.5);
    const std::pair<const char*, std::function<void()>> moves[] = {
        {"wheel in", [this] { view->ScrollWheel(300, 200, 120); }},
        {"wheel out", [this] { view->ScrollWheel(100, 100, -120); }},
        {"pan past the edge", [this] { view->PanBy(-1000, 0); }},
    };
    for (const auto& [name, move] : moves) {
        Home();
        view->OnGPSPosition(fix);
        view->SetGPSLock(true);
        move();
        ASSERT_TRUE(view->GetGPSLock()) << name;
        const QPointF ship = At(54.5, 10.5);
        EXPECT_NEAR(ship.x(), view->LockPointX(), 1.0) << name;
        EXPECT_NEAR(ship.y(), view->LockPointY(), 1.0) << name;
        const CViewTransform before = view->Transform();
        view->OnGPSPosition(fix);
        EXPECT_EQ(Moved(before), QPointF(0, 0)) << name;
    }
}

TEST_F(ChartViewInput, RightClickOffersTheOverlayMenuElseTheMapsAtTheCursor)
{
    FakeOverlay mark(54.52, 10.52);
    mark.onMenu = [](FakeOverlay&) { return true; };
    view->RightClick(At(54.52, 10.52).x(), At(54.52, 10.52).y());
    EXPECT_EQ(mark.menus, 1);
    EXPECT_EQ(g_menu, nullptr);

    for (auto [lat, lon, titles] :
         {std::tuple{54.45, 10.45, std::vector<std::string>{"Harbour", "Region: Baltic", "World"}},
          {54.0, 12.0, {"Region: Baltic", "World"}}}) {
        view->RightClick(At(lat, lon).x(), At(lat, lon).y());
        ASSERT_NE(g_menu, nullptr);
        EXPECT_EQ(g_menu->Title(), "Maps at cursor");
        std::vector<std::string> shown;
        for (const auto& item : g_menu->Root().Children())
            shown.push_back(item->Title());
        EXPECT_EQ(shown, titles);
    }
    g_menu->Root().Children()[1]->Select();
    EXPECT_EQ(view->GetCurrentChartPath(), world);
}

TEST_F(ChartViewInput, KeyTable)
{
    FakeOverlay mark(54.5, 10.5);
    struct RecordingDeleteTool : IChartDeleteTool
    {
        void DeleteToolObject(COverlayObject* m, COverlayObject*) override { deleted.push_back(m); }
        std::vector<COverlayObject*> deleted;
    } tool;
    InstallPort<IChartDeleteTool>(&tool);
    std::vector<COverlayObject*>& deleted = tool.deleted;
    static int pending = 0;
    const std::tuple<int, const char*, const char*> rows[] = {
        {Qt::Key_Left, "", "pan 100 0"},
        {Qt::Key_Right, "", "pan -100 0"},
        {Qt::Key_Down, "", "pan 0 -100"},
        {Qt::Key_Up, "", "pan 0 100"},
        {Qt::Key_Plus, "+", "zoom -1"},
        {Qt::Key_Equal, "=", "zoom -1"},
        {Qt::Key_Plus, "", "zoom -1"},
        {Qt::Key_Minus, "-", "zoom 1"},
        {Qt::Key_Return, "\r", "action"},
        {Qt::Key_Enter, "", "action"},
        {0, "\n", "action"},
        {Qt::Key_Delete, "", "delete"},
        {Qt::Key_Backspace, "\b", "delete"},
        {Qt::Key_O, "o", "region"},
        {Qt::Key_O, "O", "region"},
        {Qt::Key_I, "i", "none"},
        {Qt::Key_A, "a", "not ours"},
    };
    for (const auto& [key, text, effect] : rows) {
        Home();
        pending = 0;
        SetPendingAction([](void*) { ++pending; }, nullptr);
        deleted.clear();
        COverlayTool::SetActiveTool(std::make_unique<FakeTool>(&mark));
        const CViewTransform before = view->Transform();
        const bool handled = view->KeyDown(key, text);
        ClearPendingAction();
        const QPointF moved = Moved(before);
        std::string seen = !handled ? "not ours" : pending ? "action" : !deleted.empty() ? "delete" : "none";
        if (view->GetCurrentChartPath() == region)
            seen = "region";
        else if (view->Transform().zoom != before.zoom)
            seen = "zoom " + std::to_string(view->Transform().zoom - before.zoom);
        else if (!moved.isNull())
            seen = "pan " + std::to_string(int(moved.x())) + " " + std::to_string(int(moved.y()));
        EXPECT_EQ(seen, effect) << key << " '" << text << "'";
        EXPECT_TRUE(deleted.empty() || deleted == std::vector<COverlayObject*>{&mark});
    }
}
