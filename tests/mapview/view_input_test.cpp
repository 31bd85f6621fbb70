// Scripted pointer, gesture and key input on the chart view with real charts
// from the chart writer, the real chart list and fake overlays and tools.
#include "charts/chartlist/ChartList.h"
#include "chartwriter/ChartWriter.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/menus/MenuTree.h"
#include "mapview/overlay/OverlayTool.h"
#include "mapview/view/CachedChartTiles.h"
#include "mapview/view/ChartListCatalog.h"
#include "mapview/view/ChartViewInput.h"
#include "mapview/view/RasterleafView.h"
#include "support/TestPaths.h"

#include <QPoint>
#include <QPointF>
#include <cmath>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <qnamespace.h>
#include <set>
#include <vector>

namespace fs = std::filesystem;

namespace {

void WriteChart(const std::string& path, const std::string& name, double west, double south, double east,
                double north)
{
    fs::create_directories(fs::path(path).parent_path());
    chartwriter::CChartWriter w(4, 4);
    w.name = name;
    w.mapType = "Topo";
    chartwriter::PlateCarreeCoefficients(west, north, east, south, 256, 256, w.forward, w.inverse);
    ASSERT_TRUE(w.Write(path));
}

class DirectOpener : public IChartOpener
{
public:
    void Open(const std::string& path, Completion done) override
    {
        std::unique_ptr<COpenedChart> chart = CCachedChartOpener::OpenChartFile(nullptr, path);
        const int status = chart ? 0 : -1;
        done(status, std::move(chart));
    }
};

// A point overlay whose answers the test scripts.
class FakeOverlay : public COverlayObject
{
public:
    using Answer = std::function<bool(FakeOverlay& self)>;
    FakeOverlay(double lat, double lon, uint32_t hitMode = ScreenPoints::kHitPoints)
        : COverlayObject(kKindMark, 0), m_lat(lat), m_lon(lon), m_hitMode(hitMode)
    {
    }
    void UpdateScreenPoints(ScreenPoints& record, const CPolynomialProjection& chart) override
    {
        double x = 0, y = 0;
        chart.LatLonToPixel(m_lat, m_lon, x, y);
        record.mapPoints = {CPolyPoint{x, y}};
        record.ComputeBounds();
        record.hitMode = m_hitMode;
        record.hitPointCount = 1;
    }
    void Draw(QPainter&, const CViewTransform&, ScreenPoints&) override {}
    // The answers run from a copy: they may delete this object.
    bool OnTap(CRasterleafView&, const COverlayTap&) override
    {
        ++taps;
        const Answer answer = onTap;
        return answer ? answer(*this) : false;
    }
    bool OnDoubleTap(CRasterleafView&, const COverlayTap&) override
    {
        ++presses;
        const Answer answer = onPress;
        return answer ? answer(*this) : false;
    }
    bool ShowActionMenu(CRasterleafView&, const COverlayTap&) override
    {
        ++menus;
        return onMenu ? onMenu(*this) : false;
    }
    void Show() { SetState(kChanged); }

    Answer onTap, onPress, onMenu;
    int taps = 0, presses = 0, menus = 0;

private:
    double m_lat, m_lon;
    uint32_t m_hitMode;
};

class FakeTool : public COverlayTool
{
public:
    explicit FakeTool(COverlayObject* mark) : m_mark(mark) {}
    void DragBy(double dx, double dy) override
    {
        movedX += dx;
        movedY += dy;
    }
    void EndDrag() override { ++endDrags; }
    COverlayObject* GetMark() const override { return m_mark; }
    COverlayObject* m_mark;
    double movedX = 0, movedY = 0;
    int endDrags = 0;
};

std::unique_ptr<CMenuTree> g_shownMenu;
QPoint g_menuPoint;
void CaptureMenu(std::unique_ptr<CMenuTree> tree, QWidget*, const QPoint* point)
{
    g_shownMenu = std::move(tree);
    g_menuPoint = point ? *point : QPoint(-1, -1);
}

class ChartViewInput : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = tessatest::MakeScratchDir("viewinput");
        world = root + "/charts/world.rlt";
        region = root + "/charts/region.rlt";
        harbour = root + "/charts/harbour.rlt";
        WriteChart(world, "World", -180, -80, 180, 80);
        WriteChart(region, "Region: Baltic", 8, 53, 13, 56);
        WriteChart(harbour, "Harbour", 10.4, 54.4, 10.6, 54.6);
        savedShow = CSelectMapTypes::Get().show;
        CSelectMapTypes::Get().show = CSelectMapTypes::DefaultTypes();
        CChartFolders folders;
        folders.standard = {root + "/charts"};
        folders.documents = root + "/charts";
        folders.mapStore = root + "/charts/MVT";
        folders.mapFoldersFile = root + "/map_folders.txt";
        list.Init(folders);
        ports.opener = &opener;
        ports.catalog = &catalog;
        view = std::make_unique<CRasterleafView>(ports);
        view->SetViewRect(0, 0, 400, 300);
        view->SetClockForTesting([this] { return now; });
        ASSERT_TRUE(view->GoToPosition(54.5, 10.5, 0));
        ASSERT_EQ(view->GetCurrentChartPath(), harbour);
        Settle();
        previousShow = CMenuTree::SetShowFunction(CaptureMenu);
    }
    void TearDown() override
    {
        CMenuTree::SetShowFunction(previousShow);
        g_shownMenu.reset();
        COverlayTool::EndActiveTool();
        SetDeleteToolObjectHook(nullptr);
        CRasterleafView::GetSettings().useMagicMouse = false;
        view.reset();
        CSelectMapTypes::Get().show = savedShow;
        fs::remove_all(root);
    }
    void Settle()
    {
        for (int i = 0; i < 200 && (view->Magnification() != 1.0 || view->PanGesture().IsGliding()); ++i)
            Tick();
    }
    void Tick()
    {
        now += 0.05;
        view->OnTimer();
    }
    // The view point of a position.
    QPointF At(double lat, double lon)
    {
        double x = 0, y = 0;
        EXPECT_TRUE(view->LatLonToScreen(lat, lon, x, y));
        return QPointF(x, y);
    }

    std::string root;
    std::string world, region, harbour;
    std::set<std::string> savedShow;
    CChartList list;
    CChartListCatalog catalog{list};
    DirectOpener opener;
    CRasterleafView::Ports ports;
    std::unique_ptr<CRasterleafView> view;
    CMenuTree::ShowFunction previousShow = nullptr;
    double now = 1000;
};

} // namespace

TEST_F(ChartViewInput, ATapIsAPressAndReleaseThatStaysWithinThreePixels)
{
    FakeOverlay mark(54.5, 10.5);
    mark.onTap = [](FakeOverlay&) { return true; };
    mark.Show();
    struct Case
    {
        const char* name;
        std::vector<QPointF> drags; // offsets from the press point
        int taps;
    } cases[] = {
        {"press and release", {}, 1},
        {"jitter below 3 px", {{1, 1}, {2, 0}, {-2, 2}, {0, 0}}, 1},
        {"3 px away", {{3, 0}}, 0},
        {"long pan", {{10, 0}, {60, 30}}, 0},
        {"long pan back to the press point", {{40, 0}, {0, 0}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(view->CentreOn(54.5, 10.5, true));
        Settle();
        mark.taps = 0;
        const QPointF press = At(54.5, 10.5);
        view->Press(press.x(), press.y());
        for (const QPointF& d : c.drags) {
            now += 0.02;
            view->DragTo(press.x() + d.x(), press.y() + d.y());
        }
        view->Release();
        EXPECT_EQ(mark.taps, c.taps);
        EXPECT_FALSE(view->IsPressed());
    }

    // A tap on no overlay ends the active tool; the chart under it stays.
    COverlayTool::SetActiveTool(std::make_unique<FakeTool>(&mark));
    const QPointF empty = At(54.45, 10.45);
    view->Press(empty.x(), empty.y());
    view->Release();
    EXPECT_EQ(COverlayTool::GetActiveTool(), nullptr);
    EXPECT_EQ(view->GetCurrentChartPath(), harbour);
}

TEST_F(ChartViewInput, APressedOverlayOwnsTheTapAndItsToolOwnsTheDrag)
{
    // A route under construction hits everywhere; a free mark merged into it
    // at the press deletes itself. The release must not add a second point.
    FakeOverlay route(54.5, 10.5, ScreenPoints::kHitWhole);
    route.onTap = [](FakeOverlay&) { return true; };
    route.Show();
    auto free = std::make_unique<FakeOverlay>(54.5, 10.5);
    free->onPress = [&free](FakeOverlay&) {
        free.reset();
        return true;
    };
    free->Show();
    const QPointF p = At(54.5, 10.5);
    view->Press(p.x(), p.y());
    EXPECT_EQ(free, nullptr);
    view->Release();
    EXPECT_EQ(route.taps, 0);

    // A mark whose press starts a tool: drags move the tool, not the chart,
    // and the release ends the drag.
    FakeOverlay mark(54.52, 10.52);
    FakeTool* tool = nullptr;
    mark.onPress = [&tool](FakeOverlay& self) {
        auto made = std::make_unique<FakeTool>(&self);
        tool = made.get();
        COverlayTool::SetActiveTool(std::move(made));
        return true;
    };
    mark.Show();
    const double originX = view->Transform().originX, originY = view->Transform().originY;
    const QPointF m = At(54.52, 10.52);
    view->Press(m.x(), m.y());
    ASSERT_NE(tool, nullptr);
    now += 0.1;
    view->DragTo(m.x() + 5, m.y());
    view->DragTo(m.x() + 12, m.y() + 3);
    view->Release();
    EXPECT_DOUBLE_EQ(tool->movedX, 12);
    EXPECT_DOUBLE_EQ(tool->movedY, 3);
    EXPECT_EQ(tool->endDrags, 1);
    EXPECT_EQ(mark.taps, 0);
    EXPECT_EQ(view->Transform().originX, originX);
    EXPECT_EQ(view->Transform().originY, originY);
}

TEST_F(ChartViewInput, OverlaysMayDeleteThemselvesOrAddOverlaysWhileOfferedATap)
{
    std::vector<std::unique_ptr<FakeOverlay>> owned;
    for (int i = 0; i < 4; ++i) {
        owned.push_back(std::make_unique<FakeOverlay>(54.5, 10.5));
        owned.back()->Show();
    }
    FakeOverlay* bottom = owned[0].get();
    FakeOverlay* dropped = owned[1].get();
    bottom->onTap = [](FakeOverlay&) { return true; };
    // The first offered of the press deletes itself and declines.
    owned[3]->onPress = [&owned](FakeOverlay&) {
        owned[3].reset();
        return false;
    };
    // The next deletes another hit, itself, and adds new route points under the pointer.
    owned[2]->onTap = [&owned](FakeOverlay&) {
        owned[1].reset();
        owned[2].reset();
        for (int i = 0; i < 50; ++i) {
            owned.push_back(std::make_unique<FakeOverlay>(54.5, 10.5));
            owned.back()->onTap = [](FakeOverlay&) { return true; };
            owned.back()->Show();
        }
        return false;
    };
    EXPECT_EQ(dropped->taps, 0);
    const QPointF p = At(54.5, 10.5);
    view->Press(p.x(), p.y());
    view->Release();
    EXPECT_EQ(bottom->taps, 1);
    EXPECT_EQ(view->DisplayedOverlays().Size(), 51u);
    for (size_t i = 4; i < owned.size(); ++i)
        EXPECT_EQ(owned[i]->taps, 0);
}

TEST_F(ChartViewInput, APinchBecomesZoomLevelsAtItsEndAndStaysBounded)
{
    ASSERT_EQ(view->Transform().zoom, 0);
    view->Magnify(200, 150, 0.6);
    EXPECT_TRUE(view->IsPinching());
    EXPECT_DOUBLE_EQ(view->Magnification(), 1.6);
    view->Magnify(200, 150, 0);
    EXPECT_FALSE(view->IsPinching());
    EXPECT_FALSE(view->IsPressed());
    EXPECT_EQ(view->Transform().zoom, -1);
    EXPECT_DOUBLE_EQ(view->Magnification(), 0.8);
    Tick();
    EXPECT_DOUBLE_EQ(view->Magnification(), 1.0);

    struct Case
    {
        const char* name;
        std::vector<double> steps;
        double pinchDistance, magnification;
    } cases[] = {
        {"pinched to nothing", {-0.5, -5}, 0.05, 0.25},
        {"not a number", {std::numeric_limits<double>::quiet_NaN()}, 1.0, 1.0},
        {"spread far", {100}, 101, 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Settle();
        for (double step : c.steps)
            view->Magnify(200, 150, step);
        if (view->IsPinching()) {
            EXPECT_DOUBLE_EQ(view->PinchDistance(), c.pinchDistance);
        }
        EXPECT_DOUBLE_EQ(view->Magnification(), c.magnification);
        view->EndGesture();
        EXPECT_TRUE(std::isfinite(view->GetCentreScale()));
        EXPECT_GT(view->GetCentreScale(), 0);
        view->UpdateCentrePosition();
        EXPECT_TRUE(std::isfinite(view->StoredScale()));
        EXPECT_GE(view->Transform().zoom, CRasterleafView::kMinZoom);
    }
}

TEST_F(ChartViewInput, AScrollGestureEndsByItself)
{
    CRasterleafView::GetSettings().useMagicMouse = true;
    const std::function<void()> enders[] = {
        [this] {
            for (int i = 0; i < 6; ++i)
                Tick();
        },
        [this] { view->ScrollPixels(200, 150, 12, 0); },
        [this] { view->InputFocusLost(); },
    };
    for (const auto& end : enders) {
        Settle();
        view->ScrollPixels(200, 150, 0, 20);
        EXPECT_TRUE(view->IsPinching());
        EXPECT_DOUBLE_EQ(view->Magnification(), 1.2);
        now += 0.1;
        view->ScrollPixels(200, 150, 0, 10);
        Tick();
        EXPECT_TRUE(view->IsPinching());
        end();
        EXPECT_FALSE(view->IsPinching());
        EXPECT_FALSE(view->IsPressed());
    }

    // Without it, pixel scrolling pans by twice the delta.
    CRasterleafView::GetSettings().useMagicMouse = false;
    Settle();
    const double y0 = view->Transform().originY;
    view->ScrollPixels(200, 150, 0, 15);
    EXPECT_DOUBLE_EQ((y0 - view->Transform().originY) * view->Transform().scale, 30);
    EXPECT_FALSE(view->IsPinching());
}

TEST_F(ChartViewInput, RightClickOffersTheOverlayMenuElseTheMapsAtTheCursor)
{
    FakeOverlay mark(54.52, 10.52);
    mark.onMenu = [](FakeOverlay&) { return true; };
    mark.Show();
    const QPointF m = At(54.52, 10.52);
    view->RightClick(m.x(), m.y());
    EXPECT_EQ(mark.menus, 1);
    EXPECT_EQ(g_shownMenu, nullptr);

    const QPointF p = At(54.45, 10.45);
    view->RightClick(p.x(), p.y());
    ASSERT_NE(g_shownMenu, nullptr);
    EXPECT_EQ(g_shownMenu->Title(), "Maps at cursor");
    EXPECT_EQ(g_menuPoint, QPoint(int(std::lround(p.x())), int(std::lround(p.y()))));
    std::vector<std::string> titles;
    for (const auto& item : g_shownMenu->Root().Children())
        titles.push_back(item->Title());
    EXPECT_EQ(titles, (std::vector<std::string>{"Harbour", "Region: Baltic", "World"}));

    g_shownMenu->Root().Children()[2]->Select();
    EXPECT_EQ(view->GetCurrentChartPath(), world);
    g_shownMenu.reset();
    const QPointF open = At(0, 0);
    view->RightClick(open.x(), open.y());
    ASSERT_NE(g_shownMenu, nullptr);
    ASSERT_EQ(g_shownMenu->Root().Children().size(), 1u);
    EXPECT_EQ(g_shownMenu->Root().Children()[0]->Title(), "World");
}

TEST_F(ChartViewInput, ATapOffTheChartSwitchesToTheBestChartThere)
{
    // The harbour chart spans 256 px of the 400 px view: its left edge is at x = 72.
    view->Press(100, 150);
    view->Release();
    EXPECT_EQ(view->GetCurrentChartPath(), harbour);
    view->Press(20, 150);
    view->Release();
    EXPECT_EQ(view->GetCurrentChartPath(), region);
}

namespace {
int g_pendingRuns = 0;
void CountPending(void*)
{
    ++g_pendingRuns;
}
} // namespace

TEST_F(ChartViewInput, KeyTable)
{
    FakeOverlay mark(54.5, 10.5);
    std::vector<COverlayObject*> deleted;
    SetDeleteToolObjectHook([&deleted](COverlayObject* m, COverlayObject*) { deleted.push_back(m); });
    struct Row
    {
        int key;
        const char* text;
        bool handled;
        double panX, panY; // view pixels
        int zoom;
        int pending, deletes;
        const char* chart;
    } rows[] = {
        {Qt::Key_Left, "", true, 100, 0, 0, 0, 0, "harbour"},
        {Qt::Key_Right, "", true, -100, 0, 0, 0, 0, "harbour"},
        {Qt::Key_Down, "", true, 0, -100, 0, 0, 0, "harbour"},
        {Qt::Key_Up, "", true, 0, 100, 0, 0, 0, "harbour"},
        {Qt::Key_Plus, "+", true, 0, 0, -1, 0, 0, "harbour"},
        {Qt::Key_Equal, "=", true, 0, 0, -1, 0, 0, "harbour"},
        {Qt::Key_Plus, "", true, 0, 0, -1, 0, 0, "harbour"},
        {Qt::Key_Minus, "-", true, 0, 0, 1, 0, 0, "harbour"},
        {Qt::Key_Return, "\r", true, 0, 0, 0, 1, 0, "harbour"},
        {Qt::Key_Enter, "\r", true, 0, 0, 0, 1, 0, "harbour"},
        {0, "\n", true, 0, 0, 0, 1, 0, "harbour"},
        {Qt::Key_Delete, "", true, 0, 0, 0, 0, 1, "harbour"},
        {Qt::Key_Backspace, "\b", true, 0, 0, 0, 0, 1, "harbour"},
        {Qt::Key_O, "o", true, 0, 0, 0, 0, 0, "region"},
        {Qt::Key_O, "O", true, 0, 0, 0, 0, 0, "region"},
        {Qt::Key_I, "i", true, 0, 0, 0, 0, 0, "harbour"},
        {Qt::Key_A, "a", false, 0, 0, 0, 0, 0, "harbour"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string("key ") + std::to_string(r.key) + " '" + r.text + "'");
        ASSERT_TRUE(view->GoToPosition(54.5, 10.5, 0));
        ASSERT_EQ(view->GetCurrentChartPath(), harbour);
        while (view->Transform().zoom != 0)
            view->ZoomAboutCentre(view->Transform().zoom < 0 ? 1 : -1);
        Settle();
        g_pendingRuns = 0;
        SetPendingAction(CountPending, nullptr);
        deleted.clear();
        COverlayTool::SetActiveTool(std::make_unique<FakeTool>(&mark));
        const CViewTransform before = view->Transform();
        EXPECT_EQ(view->KeyDown(r.key, r.text), r.handled);
        ClearPendingAction();
        const CViewTransform after = view->Transform();
        EXPECT_EQ(g_pendingRuns, r.pending);
        EXPECT_EQ(deleted.size(), size_t(r.deletes));
        if (r.deletes) {
            EXPECT_EQ(deleted[0], &mark);
        }
        const std::string chart = std::string(r.chart) == "region" ? region : harbour;
        EXPECT_EQ(view->GetCurrentChartPath(), chart);
        if (chart != harbour)
            continue;
        EXPECT_EQ(after.zoom - before.zoom, r.zoom);
        if (r.zoom == 0) {
            EXPECT_DOUBLE_EQ((before.originX - after.originX) * before.scale, r.panX);
            EXPECT_DOUBLE_EQ((before.originY - after.originY) * before.scale, r.panY);
        }
    }
}
