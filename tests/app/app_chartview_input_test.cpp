// The chart widget offscreen: Qt's mouse, wheel and key events reach the
// chart view as the right calls, at device pixel ratios 1 and 2.
// TESSA_TSAN_LABEL
#include "app/window/DeleteToolKeys.h"
#include "app/window/QtRasterleafView.h"
#include "foundation/dialogs/DialogCallback.h"
#include "mapview/overlay/OverlayTool.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "support/TestChartView.h"

#include <QApplication>
#include <QDialog>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>
#include <memory>
#include <tuple>
#include <vector>

namespace {

class ChartWidgetInput : public testing::Test
{
protected:
    void SetUp() override
    {
        InstallPort<IChartDeleteTool>(&deleteKeys);
        chart = std::make_unique<tessatest::CTestChartView>(400, 300);
        ASSERT_TRUE(chart->IsOpen());
        widget.resize(400, 300);
        widget.SetChartView(chart->view.get());
        widget.show();
        widget.activateWindow();
        widget.setFocus();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&widget));
    }
    void TearDown() override
    {
        widget.SetChartView(nullptr);
        InstallPort<IChartDeleteTool>(nullptr);
    }

    void Mouse(QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QMouseEvent event(type, at, widget.mapToGlobal(at), button, buttons, modifiers);
        QApplication::sendEvent(&widget, &event);
    }
    void Wheel(int angle)
    {
        const QPointF at(200, 150);
        QWheelEvent event(at, widget.mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&widget, &event);
    }
    const CViewTransform& Transform() const { return chart->view->Transform(); }

    CDeleteToolKeys deleteKeys;
    std::unique_ptr<tessatest::CTestChartView> chart;
    QtRasterleafView widget;
};

} // namespace

namespace {
// Hit everywhere; counts what the buttons offer it.
struct Probe : COverlayObject
{
    Probe() : COverlayObject(kKindMark, 0) { SetState(kChanged); }
    void UpdateScreenPoints(ScreenPoints& record, const CPolynomialProjection&) override
    {
        record.mapPoints = {CPolyPoint{100, 100}};
        record.ComputeBounds();
        record.hitMode = ScreenPoints::kHitWhole;
    }
    void Draw(QPainter&, const CViewTransform&, ScreenPoints&) override {}
    bool OnDoubleTap(CRasterleafView&, const COverlayTap&) override { return ++presses, false; }
    bool ShowActionMenu(CRasterleafView&, const COverlayTap&) override { return ++menus, true; }
    int presses = 0, menus = 0;
};
} // namespace

TEST_F(ChartWidgetInput, ButtonsPressOrRightClickAndDragsMoveTheOriginByTheDraggedPixels)
{
    Probe probe;
    const struct
    {
        Qt::MouseButton button;
        Qt::KeyboardModifiers modifiers;
        int presses, menus;
        QPointF pan; // a right-button drag starts at its first move
    } rows[] = {
        {Qt::LeftButton, Qt::NoModifier, 1, 0, {37, -9}},
        {Qt::LeftButton, Qt::ControlModifier, 0, 1, {17, -4}},
        {Qt::RightButton, Qt::NoModifier, 0, 1, {17, -4}},
        {Qt::MiddleButton, Qt::NoModifier, 0, 0, {37, -9}},
    };
    for (double ratio : {1.0, 2.0}) {
        for (const auto& r : rows) {
            SCOPED_TRACE(
                QString("ratio %1 button %2 %3").arg(ratio).arg(r.button).arg(r.modifiers).toStdString());
            chart->view->SetDevicePixelRatio(ratio);
            // At zoom -1 a view pixel is half a chart pixel.
            while (Transform().zoom != -1)
                chart->view->ZoomAboutCentre(Transform().zoom < -1 ? 1 : -1);
            probe.presses = probe.menus = 0;
            const CViewTransform before = Transform();
            Mouse(QEvent::MouseButtonPress, {200, 150}, r.button, r.button, r.modifiers);
            Mouse(QEvent::MouseMove, {220, 145}, Qt::NoButton, r.button, r.modifiers);
            Mouse(QEvent::MouseMove, {237, 141}, Qt::NoButton, r.button, r.modifiers);
            Mouse(QEvent::MouseButtonRelease, {237, 141}, r.button, Qt::NoButton, r.modifiers);
            EXPECT_EQ(probe.presses, r.presses);
            EXPECT_EQ(probe.menus, r.menus);
            EXPECT_DOUBLE_EQ((before.originX - Transform().originX) * Transform().scale, r.pan.x());
            EXPECT_DOUBLE_EQ((before.originY - Transform().originY) * Transform().scale, r.pan.y());
            EXPECT_FALSE(chart->view->IsPressed());
        }
    }
}

TEST_F(ChartWidgetInput, WheelStepsOf15UnitsZoomOncePer120)
{
    const int zoom = Transform().zoom;
    for (int i = 0; i < 7; ++i)
        Wheel(15);
    EXPECT_EQ(Transform().zoom, zoom);
    Wheel(15);
    EXPECT_EQ(Transform().zoom, zoom - 1);
    // Turning back starts afresh.
    for (int i = 0; i < 7; ++i)
        Wheel(-15);
    EXPECT_EQ(Transform().zoom, zoom - 1);
    Wheel(-15);
    EXPECT_EQ(Transform().zoom, zoom);
}

TEST_F(ChartWidgetInput, ArrowsPanOnlyWhileTheChartHasTheFocus)
{
    const double x0 = Transform().originX;
    QTest::keyClick(&widget, Qt::Key_Left);
    const double x1 = Transform().originX;
    EXPECT_DOUBLE_EQ((x0 - x1) * Transform().scale, 100);

    QDialog dialog(&widget);
    dialog.open();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    // Activation reaches the offscreen windows through the event loop.
    QTest::qWait(100);
    QTest::keyClick(&widget, Qt::Key_Left);
    QTest::keyClick(&widget, Qt::Key_Up);
    EXPECT_EQ(Transform().originX, x1);
    dialog.close();

    // Our dialogs can also lie over the chart inside the main window.
    widget.activateWindow();
    widget.setFocus();
    QTest::qWait(100);
    ASSERT_TRUE(widget.hasFocus());
    ChangeOpenDialogCount(1);
    QTest::keyClick(&widget, Qt::Key_Left);
    ChangeOpenDialogCount(-1);
    EXPECT_EQ(Transform().originX, x1);
    QTest::keyClick(&widget, Qt::Key_Right);
    EXPECT_DOUBLE_EQ((Transform().originX - x1) * Transform().scale, 100);
}

// A key press asks nothing, so it never deletes a locked mark or a point of a
// locked route; the unlocked mark goes.
TEST_F(ChartWidgetInput, DeleteKeysLeaveLockedObjectsAlone)
{
    struct Holder : COverlayTool
    {
        COverlayObject* mark = nullptr;
        COverlayObject* GetMark() const override { return mark; }
    };
    CMarkManager& marks = CMarkManager::Get();
    marks.ClearForTesting();
    auto route = std::make_unique<COverlayRoute>();
    COverlayMark* point = nullptr;
    {
        CMarkManager::RoutePointScope scope;
        for (int i = 0; i < 3; ++i) {
            point = route->AddPoint(std::make_unique<COverlayMark>());
            point->SetPosition(50, -4 + i * 0.01);
        }
    }
    route->SetLocked(true);
    COverlayRoute* locked = marks.AddRoute(std::move(route));
    COverlayMark* free = marks.AddMark(std::make_unique<COverlayMark>());
    free->SetPosition(50, -4);
    free->SetLocked(true);
    for (const auto& [mark, lock, deleted] : std::vector<std::tuple<COverlayMark*, bool, bool>>{
             {free, true, false}, {point, true, false}, {free, false, true}}) {
        mark->SetLocked(lock);
        auto tool = std::make_unique<Holder>();
        tool->mark = mark;
        COverlayTool::SetActiveTool(std::move(tool));
        QTest::keyClick(&widget, Qt::Key_Delete);
        EXPECT_EQ(mark->IsDeleted(), deleted) << lock;
        COverlayTool::EndActiveTool();
    }
    EXPECT_EQ(locked->PointCount(), 3u);
    marks.ClearForTesting();
}
