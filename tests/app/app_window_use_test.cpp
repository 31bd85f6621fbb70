// The windows as a user meets them on a desktop: a hint never holds the chart,
// the menu waits while a dialog covers the chart, every window opens inside
// the screen over the main window, pop-up menus open at the pointer, a
// hand-over brings the window back, and a mark's label follows its name.
// TESSA_XVFB_LABEL
#include "app/panels/data_window.h"
#include "app/shell/AppDelegate.h"
#include "app/window/QtRasterleafView.h"
#include "app/window/ViewController.h"
#include "app/window/overlay_window.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/dialogs/UIViewControllerWithDialog.h"
#include "foundation/dialogs/WindowPlacement.h"
#include "foundation/dialogs/global_dialog_window.h"
#include "foundation/menus/MenuPopup_qt.h"
#include "foundation/menus/MenuTree.h"
#include "foundation/platform/PlatformFolders.h"
#include "foundation/util/Folders.h"
#include "mapview/view/RasterleafView.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/ui/MarkTool.h"
#include "support/TestPaths.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

QMessageBox* ShownHint()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible() && box->text() == "Hint")
            return box;
    return nullptr;
}

QRect ScreenArea()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

class WindowUse : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const std::string basemap = std::string(TESSA_BUILD_RESOURCES) + "/basemaps/world.rlt.COPY";
        if (!fs::exists(basemap))
            GTEST_SKIP() << "the world base map was not built (" << basemap << ")";
        root = tessatest::MakeScratchDir("windowuse");
        SetFolderRootForTesting(root);
        SetResourceFoldersForTesting({TESSA_BUILD_RESOURCES});
        CMarkManager::Get().ClearForTesting();
        ForgetHintsSeenForTesting();
        app = std::make_unique<AppDelegate>();
        app->Start(true);
        window = app->Window();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }
    void TearDown() override
    {
        if (root.empty())
            return;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox*>(w))
                delete w;
        data_window::Release();
        overlay_window::Release();
        ClearPendingAction();
        app.reset();
        CMarkManager::Get().ClearForTesting();
        SetFolderRootForTesting("");
        SetResourceFoldersForTesting({});
        fs::remove_all(root);
    }
    void Tap(QPoint at)
    {
        QWidget* chart = &window->ChartWidget();
        QTest::mousePress(chart, Qt::LeftButton, {}, at);
        QTest::mouseRelease(chart, Qt::LeftButton, {}, at);
    }

    std::string root;
    std::unique_ptr<AppDelegate> app;
    ViewController* window = nullptr;
};

} // namespace

TEST_F(WindowUse, RouteHintClosesAtTheFirstTapWhichTheChartTakesAndGotItHolds)
{
    CMarkManager::Settings().routeCreateHint = false;
    window->NewRouteAction()->trigger();
    QPointer<QMessageBox> hint = ShownHint();
    ASSERT_TRUE(hint);
    // Not modal, and above the main window (its transient parent).
    EXPECT_EQ(hint->windowModality(), Qt::NonModal);
    EXPECT_EQ(hint->parentWidget() ? hint->parentWidget()->window() : nullptr, window);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    COverlayRoute* route = CMarkManager::Get().GetRouteBeingBuilt();
    ASSERT_NE(route, nullptr);
    Tap(QPoint(200, 200));
    EXPECT_TRUE(QTest::qWaitFor([&] { return hint.isNull() || !hint->isVisible(); }));
    EXPECT_TRUE(QTest::qWaitFor([&] { return route->PointCount() == 1; }));
    Tap(QPoint(300, 250));
    EXPECT_TRUE(QTest::qWaitFor([&] { return route->PointCount() == 2; }));

    // Dismissed once, a hint stays away for the session; the route's is also stored.
    EXPECT_TRUE(CMarkManager::Settings().routeCreateHint);
    ShowHint(window, "Pinch to zoom.");
    ASSERT_NE(ShownHint(), nullptr);
    for (QAbstractButton* button : ShownHint()->buttons())
        if (button->text() == "Got it")
            button->click();
    QApplication::processEvents();
    ShowHint(window, "Pinch to zoom.");
    EXPECT_EQ(ShownHint(), nullptr);
}

TEST_F(WindowUse, WhileADialogCoversTheChartItsMenuWaitsAndTheHostKeepsItsChild)
{
    struct Case
    {
        const char* item;
        bool waits; // else it brings its open window forward, or opens none over the chart
    };
    const Case cases[] = {
        {"onGPSsetup", true},         {"onSignInOut", true},          {"onOverlayCloudSync", true},
        {"onOverlayImport", true},    {"onOverlayExportMarks", true}, {"page_setup", true},
        {"onAddToMapList", true},     {"CheckForMapUpdates", true},   {"RemoveDuplicateMaps", true},
        {"onPreferences", false},     {"onAISSettings", false},       {"onOverlayList", false},
        {"onStartStopLogging", false}};
    UIViewControllerWithDialog& host = window->DialogHost();
    QPointer<UIViewControllerWithDialog> first = new UIViewControllerWithDialog;
    host.showChildDialog(first);
    window->OnTimer();
    for (const Case& c : cases) {
        QAction* item = window->MenuItem(c.item);
        ASSERT_NE(item, nullptr) << c.item;
        EXPECT_EQ(!window->MenuItemAllowed(item), c.waits) << c.item;
        if (c.waits)
            EXPECT_FALSE(item->isEnabled()) << c.item;
    }
    // Titling the menu before it opens keeps the wait.
    emit window->AccountItemsMenu()->aboutToShow();
    EXPECT_FALSE(window->SignInOutAction()->isEnabled());

    // A second dialog shown over the host goes over the first; when the first
    // ends, the second is the host's child.
    QPointer<UIViewControllerWithDialog> second = new UIViewControllerWithDialog;
    host.showChildDialog(second);
    EXPECT_EQ(host.child_dialog(), first.data());
    EXPECT_EQ(first->child_dialog(), second.data());
    first->destroyDialog(0);
    EXPECT_EQ(host.child_dialog(), second.data());
    EXPECT_EQ(second->parent_dialog(), &host);
    window->resize(window->width() - 20, window->height() - 10);
    QApplication::processEvents();
    EXPECT_EQ(second->geometry(), UIViewControllerWithDialog::dialogArea(&window->ChartWidget()));
    second->destroyDialog(0);
    window->OnTimer();
    for (const Case& c : cases)
        if (c.waits)
            EXPECT_TRUE(window->MenuItem(c.item)->isEnabled()) << c.item;
}

TEST_F(WindowUse, DialogsStartBelowTheStatusLine)
{
    window->ShowStatusText("AIS alert: vessel 123456789 closing");
    auto* dialog = new UIViewControllerWithDialog;
    window->DialogHost().showChildDialog(dialog);
    QLabel* status = nullptr;
    for (QLabel* label : window->ChartWidget().findChildren<QLabel*>())
        if (label->isVisible() && label->text().startsWith("AIS alert"))
            status = label;
    ASSERT_NE(status, nullptr);
    EXPECT_GT(dialog->geometry().top(), status->geometry().bottom());
    window->HideStatusLine();
    EXPECT_EQ(dialog->geometry(), window->ChartWidget().rect());
    dialog->destroyDialog(0);
}

TEST_F(WindowUse, EveryWindowOpensInsideTheScreenOverTheMainWindowAndWhereItLastWas)
{
    // The placement alone, for main windows partly off the screen and dialogs
    // larger than it.
    struct Case
    {
        QSize frame;
        QRect main;
    };
    const QRect screen(0, 0, 1280, 800);
    for (const Case& c : {Case{{400, 300}, {0, 0, 1200, 800}}, Case{{400, 300}, {1100, 700, 1200, 800}},
                          Case{{400, 300}, {-900, -600, 1000, 700}}, Case{{1600, 1000}, {0, 0, 1280, 800}}}) {
        const QRect placed = PlaceOverRect(c.frame, c.main, screen);
        EXPECT_TRUE(screen.contains(placed)) << placed.x() << "," << placed.y();
        EXPECT_TRUE(placed.intersects(c.main)) << placed.x() << "," << placed.y();
    }

    // The windows the menu opens.
    for (const char* item : {"onPreferences", "onAISSettings", "onOverlayList"})
        window->MenuItem(item)->trigger();
    window->DataWindowAction()->trigger();
    QApplication::processEvents();
    int checked = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible() || w == window || qobject_cast<QMenu*>(w))
            continue;
        ++checked;
        // Once the window manager has framed it.
        EXPECT_TRUE(QTest::qWaitFor([&] {
            return ScreenArea().contains(w->frameGeometry()) &&
                   w->frameGeometry().intersects(window->frameGeometry());
        })) << w->windowTitle().toStdString();
    }
    EXPECT_GE(checked, 4);
    // Kept for a look: the windows as they opened (with their frames on a real X server).
    const std::string folder = std::string(TESSA_BUILD_DIR) + "/screenshots";
    fs::create_directories(folder);
    QGuiApplication::primaryScreen()->grabWindow(0).save(
        QString::fromStdString(folder + "/windows_placed.png"));

    // A floating window opens again where and as large as it was.
    data_window* panel = data_window::Current();
    ASSERT_NE(panel, nullptr);
    const QRect moved(ScreenArea().topLeft() + QPoint(40, 30), QSize(300, 280));
    panel->resize(moved.size());
    panel->move(moved.topLeft());
    // Within what a window frame adds, once the window manager has framed it:
    // platforms differ in how a window not yet shown takes its position.
    const QPoint at = moved.topLeft();
    auto settled = [&] { return (panel->pos() - at).manhattanLength() <= 4; };
    EXPECT_TRUE(QTest::qWaitFor(settled));
    data_window::Release();
    QApplication::processEvents();
    panel = data_window::Open(window);
    EXPECT_TRUE(QTest::qWaitFor(settled)) << panel->pos().x() << "," << panel->pos().y();
    EXPECT_EQ(panel->size(), moved.size());
}

TEST_F(WindowUse, MenusWithoutAPointOpenAtThePointerAndShowTheirTitle)
{
    QWidget* chart = &window->ChartWidget();
    const QPoint pointer = chart->mapToGlobal(QPoint(60, 80));
    QCursor::setPos(pointer);
    auto tree = std::make_unique<CActionSheetMenu>("Routes", nullptr);
    tree->AddActionSheetFunc("Show All", CMenuTree::kPlain, [] {});
    CActionSheetMenu::PopUpAtCentre(std::move(tree), chart);
    action_sheet_menu_responder* responder = action_sheet_menu_responder::Current();
    ASSERT_NE(responder, nullptr);
    QMenu* menu = responder->Menu();
    EXPECT_TRUE(menu->isVisible());
    EXPECT_LE((menu->geometry().topLeft() - pointer).manhattanLength(), 2);
    ASSERT_FALSE(menu->actions().isEmpty());
    EXPECT_EQ(menu->actions().front()->text(), "Routes");
    EXPECT_FALSE(menu->actions().front()->isEnabled());
    menu->hide();
    QApplication::processEvents();
}

TEST_F(WindowUse, AHandOverRaisesTheWindowAndALabelFollowsTheMarksName)
{
    window->showMinimized();
    QApplication::processEvents();
    RaiseWindow(DialogMainWindow());
    EXPECT_FALSE(window->isMinimized());
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));

    auto made = std::make_unique<COverlayMark>();
    made->SetName("Anchorage");
    made->SetPosition(38.0, -35.0);
    COverlayMark* mark = CMarkManager::Get().AddMark(std::move(made));
    COverlayTool::SetActiveTool(std::make_unique<CMarkTool>(&window->ChartView(), mark));
    COverlayTool* tool = COverlayTool::GetActiveTool();
    ASSERT_NE(tool, nullptr);
    EXPECT_EQ(tool->GetText(), "Anchorage");
    mark->SetName("Harbour entrance\nsecond line of a name wider than the standard label box");
    mark->SetState(COverlayObject::kChanged);
    EXPECT_EQ(tool->GetText().substr(0, 16), "Harbour entrance");

    // The box holds both lines: taller and wider than the one-line box.
    QImage image(800, 600, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    ScreenPoints record;
    record.screenPoints = {CPolyPoint{400, 300}};
    tool->DrawDecoration(painter, window->ChartView().Transform(), record);
    painter.end();
    const QRectF box = tool->LastLabelRect();
    EXPECT_GE(box.height(), 2 * 16); // two lines of the 16 pixel label font
    EXPECT_GT(box.width(), COverlayTool::kLabelWidth);
    EXPECT_LT(box.bottom(), 300); // the mark stays uncovered
    COverlayTool::EndActiveTool();
}
