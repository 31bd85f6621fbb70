// The windows as a user meets them on a desktop: a hint never holds the chart,
// the menu waits while a dialog covers the chart, every window opens inside
// the screen over the main window, pop-up menus open at the pointer, a
// hand-over brings the window back, a mark's label follows its name, and a
// help page the desktop cannot open leaves its address to copy.
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
#include "foundation/notify/StatusLine.h"
#include "foundation/platform/PlatformFolders.h"
#include "foundation/platform/PlatformServices.h"
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
#include <algorithm>
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
    COverlayRoute* route = CMarkManager::Get().GetRouteBeingBuilt();
    ASSERT_NE(route, nullptr);
    Tap(QPoint(200, 200));
    EXPECT_TRUE(QTest::qWaitFor([&] { return hint.isNull() || !hint->isVisible(); }));
    EXPECT_TRUE(QTest::qWaitFor([&] { return route->PointCount() == 1; }));
    Tap(QPoint(300, 250));
    EXPECT_TRUE(QTest::qWaitFor([&] { return route->PointCount() == 2; }));

    // "Got it" holds for the session.
    ShowHint(window, "Pinch to zoom.");
    ASSERT_NE(ShownHint(), nullptr);
    ShownHint()->buttons().front()->click();
    QApplication::processEvents();
    ShowHint(window, "Pinch to zoom.");
    EXPECT_EQ(ShownHint(), nullptr);
}

TEST_F(WindowUse, WhileADialogCoversTheChartItsMenuWaitsAndTheHostKeepsItsChild)
{
    // Preferences is not among them: it brings its open window forward.
    const char* const waiting[] = {"onGPSsetup", "onSignInOut",    "onOverlayImport",
                                   "page_setup", "onAddToMapList", "CheckForMapUpdates"};
    UIViewControllerWithDialog& host = window->DialogHost();
    QPointer<UIViewControllerWithDialog> first = new UIViewControllerWithDialog;
    host.showChildDialog(first);
    window->OnTimer();
    emit window->AccountItemsMenu()->aboutToShow(); // titling the items keeps the wait
    for (const char* name : waiting)
        EXPECT_FALSE(window->MenuItem(name)->isEnabled()) << name;
    EXPECT_TRUE(window->MenuItemAllowed(window->MenuItem("onPreferences")));

    // A second dialog goes over the first; when the first ends, the second is the host's child.
    QPointer<UIViewControllerWithDialog> second = new UIViewControllerWithDialog;
    host.showChildDialog(second);
    EXPECT_EQ(first->child_dialog(), second.data());
    first->destroyDialog(0);
    EXPECT_EQ(host.child_dialog(), second.data());
    EXPECT_EQ(second->parent_dialog(), &host);

    // An alarm coming and going neither moves the dialog nor covers it: the
    // status line keeps to the chart's foot, below the dialog, however long.
    QWidget& chart = window->ChartWidget();
    const QRect placed = second->geometry();
    EXPECT_EQ(placed.topLeft(), QPoint(0, 0));
    const QLabel* status = chart.findChild<QLabel*>("statusLine");
    ASSERT_NE(status, nullptr);
    for (const std::string& text : {std::string("AIS alert\nVessel 123456789 closing"),
                                    std::string(400, 'W') + "\nthird\nfourth line"}) {
        SetStatusMessage(text);
        EXPECT_EQ(status->geometry().bottom(), chart.height() - 1 - ViewController::kStatusMargin);
        EXPECT_GT(status->geometry().top(), placed.bottom());
        EXPECT_EQ(second->geometry(), placed);
        ClearStatusMessage();
        EXPECT_EQ(second->geometry(), placed);
    }

    second->destroyDialog(0);
    window->OnTimer();
    for (const char* name : waiting)
        EXPECT_TRUE(window->MenuItem(name)->isEnabled()) << name;
}

TEST_F(WindowUse, AHelpPageTheOpenerFailsOnShowsItsAddressToCopy)
{
    // The opener starts, then ends with a failure: no browser behind it.
    SetURLOpenerCommandForTesting({"sh", "-c", "exit 3", "opener"});
    window->MenuItem("onHelp")->trigger();
    QMessageBox* box = nullptr;
    EXPECT_TRUE(QTest::qWaitFor([&box] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "webPageFailed" && w->isVisible())
                box = qobject_cast<QMessageBox*>(w);
        return box != nullptr;
    }));
    SetURLOpenerCommandForTesting({});
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->informativeText().toStdString(), AppDelegate::WebPageURL("ts-mac-help.htm"));
}

TEST_F(WindowUse, EveryWindowOpensInsideTheScreenOverTheMainWindowAndWhereItLastWas)
{
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
    const std::string folder = std::string(TESSA_BUILD_DIR) + "/screenshots";
    fs::create_directories(folder);
    QGuiApplication::primaryScreen()->grabWindow(0).save(
        QString::fromStdString(folder + "/windows_placed.png"));

    // The data panel opens again where and as large as it was (within what a
    // frame adds: platforms differ in placing a window not yet shown).
    data_window* panel = data_window::Current();
    ASSERT_NE(panel, nullptr);
    const QRect moved(ScreenArea().topLeft() + QPoint(40, 30), QSize(300, 280));
    panel->resize(moved.size());
    panel->move(moved.topLeft());
    auto settled = [&] { return (panel->pos() - moved.topLeft()).manhattanLength() <= 4; };
    EXPECT_TRUE(QTest::qWaitFor(settled));
    data_window::Release();
    QApplication::processEvents();
    panel = data_window::Open(window);
    EXPECT_TRUE(QTest::qWaitFor(settled));
    EXPECT_EQ(panel->size(), moved.size());
}

TEST_F(WindowUse, AMenuOpensAtThePointerAHandOverRaisesAndALabelFollowsItsMark)
{
    const QPoint pointer = window->ChartWidget().mapToGlobal(QPoint(60, 80));
    QCursor::setPos(pointer);
    auto tree = std::make_unique<CActionSheetMenu>("Routes", nullptr);
    tree->AddActionSheetFunc("Show All", CMenuTree::kPlain, [] {});
    CActionSheetMenu::PopUpAtCentre(std::move(tree), &window->ChartWidget());
    ASSERT_NE(action_sheet_menu_responder::Current(), nullptr);
    QMenu* menu = action_sheet_menu_responder::Current()->Menu();
    EXPECT_LE((menu->geometry().topLeft() - pointer).manhattanLength(), 2);
    EXPECT_EQ(menu->actions().front()->text(), "Routes"); // its title
    menu->hide();

    window->showMinimized();
    QApplication::processEvents();
    RaiseWindow(DialogMainWindow());
    EXPECT_FALSE(window->isMinimized());
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));

    auto made = std::make_unique<COverlayMark>();
    made->SetName("Anchorage");
    COverlayMark* mark = CMarkManager::Get().AddMark(std::move(made));
    COverlayTool::SetActiveTool(std::make_unique<CMarkTool>(&window->ChartView(), mark));
    COverlayTool* tool = COverlayTool::GetActiveTool();
    mark->SetName("Harbour entrance\nsecond line of a name wider than the standard label box");
    mark->SetState(COverlayObject::kChanged);
    EXPECT_EQ(tool->GetText().substr(0, 16), "Harbour entrance");
    // Both lines inside the box, which stays above the mark.
    QImage image(800, 600, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    ScreenPoints record;
    record.screenPoints = {CPolyPoint{400, 300}};
    tool->DrawDecoration(painter, window->ChartView().Transform(), record);
    const QRectF box = tool->LastLabelRect();
    EXPECT_GE(box.height(), 2 * 16); // the label font is 16 pixels
    EXPECT_GT(box.width(), COverlayTool::kLabelWidth);
    EXPECT_LT(box.bottom(), 300);
    COverlayTool::EndActiveTool();
}
