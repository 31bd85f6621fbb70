// The main window as a user meets it: the toolbar follows the pending map
// action and the open dialogs without churning, the commands act on the
// chart, and a screenshot shows window, toolbar and menu bar.
// TESSA_XVFB_LABEL
#include "app/shell/AppDelegate.h"
#include "app/window/OverlayWindowPorts.h"
#include "app/window/QtRasterleafView.h"
#include "app/window/ViewController.h"
#include "app/window/overlay_window.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/platform/PlatformFolders.h"
#include "foundation/util/Folders.h"
#include "instruments/nmea/NMEASentence.h"
#include "mapview/view/RasterleafView.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "support/TestPaths.h"

#include <QAction>
#include <QActionEvent>
#include <QImage>
#include <QMenuBar>
#include <QPalette>
#include <QToolBar>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

// Counts the toolbar's item changes: added, removed or changed (enabling).
class ToolbarChanges : public QObject
{
public:
    explicit ToolbarChanges(QToolBar* toolbar) { toolbar->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        const auto type = event->type();
        if (type == QEvent::ActionAdded || type == QEvent::ActionRemoved || type == QEvent::ActionChanged)
            ++count;
        return false;
    }
};

void NoAction(void*) {}

class MainWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const std::string basemap = std::string(TESSA_BUILD_RESOURCES) + "/basemaps/world.rlt.COPY";
        if (!fs::exists(basemap))
            GTEST_SKIP() << "the world base map was not built (" << basemap << ")";
        root = tessatest::MakeScratchDir("mainwindow");
        SetFolderRootForTesting(root);
        SetResourceFoldersForTesting({TESSA_BUILD_RESOURCES});
        CMarkManager::Get().ClearForTesting();
        app = std::make_unique<AppDelegate>();
        app->Start(true);
        window = app->Window();
    }
    void TearDown() override
    {
        if (root.empty())
            return;
        ClearPendingAction();
        app.reset();
        CMarkManager::Get().ClearForTesting();
        SetFolderRootForTesting("");
        SetResourceFoldersForTesting({});
        fs::remove_all(root);
    }
    bool DoneOnToolbar() const
    {
        const QList<QAction*> items = window->Toolbar()->actions();
        return !items.empty() && items.back() == window->DoneAction();
    }

    std::string root;
    std::unique_ptr<AppDelegate> app;
    ViewController* window = nullptr;
};

} // namespace

TEST_F(MainWindow, ToolbarFollowsThePendingActionAndOpenDialogsOnlyOnChange)
{
    // Done stands at the end until the first tick finds nothing pending.
    EXPECT_TRUE(DoneOnToolbar());
    window->OnTimer();
    EXPECT_FALSE(DoneOnToolbar());
    EXPECT_FALSE(window->DoneAction()->isEnabled());
    EXPECT_TRUE(window->NewMarkAction()->isEnabled());

    ToolbarChanges changes(window->Toolbar());
    for (int i = 0; i < 100; ++i)
        window->OnTimer();
    EXPECT_EQ(changes.count, 0);

    SetPendingAction(&NoAction, nullptr);
    window->OnTimer();
    EXPECT_TRUE(DoneOnToolbar());
    EXPECT_TRUE(window->DoneAction()->isEnabled());

    // Under a dialog nothing acts on the chart, zoom and Done included.
    ChangeOpenDialogCount(1);
    window->OnTimer();
    for (QAction* action : window->Toolbar()->actions())
        EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
    ChangeOpenDialogCount(-1);
    window->OnTimer();
    EXPECT_TRUE(window->ZoomInAction()->isEnabled());

    ClearPendingAction();
    window->OnTimer();
    EXPECT_FALSE(DoneOnToolbar());
}

TEST_F(MainWindow, CommandsMakeMarksAndRoutesAndDoneFinishesTheRoute)
{
    CMarkManager& marks = CMarkManager::Get();
    CRasterleafView& view = window->ChartView();
    double clat = 0, clon = 0;
    ASSERT_TRUE(view.GetCentreLatLon(clat, clon));

    window->NewMarkAction()->trigger();
    ASSERT_EQ(marks.Marks().size(), 1u);
    EXPECT_NEAR(marks.Marks()[0]->GetLatitude(), clat, 1e-6);
    EXPECT_NEAR(marks.Marks()[0]->GetLongitude(), clon, 1e-6);

    // Locked on the own ship, the mark goes to the own position.
    char rmc[128] = "$GPRMC,120000,A,3800.000,N,03500.000,W,5.0,90.0,010125,,,A";
    AppendNMEAChecksum(rmc, sizeof rmc);
    ASSERT_TRUE(DispatchNMEALine(rmc, nullptr));
    window->GPSLockAction()->trigger();
    EXPECT_TRUE(view.GetGPSLock());
    window->NewMarkAction()->trigger();
    ASSERT_EQ(marks.Marks().size(), 2u);
    EXPECT_NEAR(marks.Marks()[1]->GetLatitude(), 38.0, 1e-6);
    EXPECT_NEAR(marks.Marks()[1]->GetLongitude(), -35.0, 1e-6);

    window->OnTimer();
    window->NewRouteAction()->trigger();
    ASSERT_NE(marks.GetRouteBeingBuilt(), nullptr);
    window->OnTimer();
    EXPECT_TRUE(DoneOnToolbar());
    window->DoneAction()->trigger();
    EXPECT_EQ(marks.GetRouteBeingBuilt(), nullptr);
    window->OnTimer();
    EXPECT_FALSE(DoneOnToolbar());
}

TEST_F(MainWindow, ScreenshotShowsMenuBarToolbarAndChart)
{
    const QStringList menus = [this] {
        QStringList titles;
        for (QAction* menu : window->menuBar()->actions())
            titles << menu->text();
        return titles;
    }();
    EXPECT_EQ(menus, (QStringList{"&File", "&View", "&GPS", "&Window", "&Help"}));

    // Drawing asks the chart's workers for tiles; the timer shows them as they come.
    CRasterleafView& view = window->ChartView();
    QImage shot;
    for (int i = 0; i < 400; ++i) {
        shot = window->grab().toImage();
        if (i > 0 && !view.HasWork() && !view.IsBusy())
            break;
        window->OnTimer();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const std::string folder = std::string(TESSA_BUILD_DIR) + "/screenshots";
    fs::create_directories(folder);
    EXPECT_TRUE(shot.save(QString::fromStdString(folder + "/main_window.png")));

    // Toolbar and menu bar lie above the chart; the chart shows the ocean
    // at the default area's centre.
    const int chartTop = window->ChartWidget().mapTo(window, QPoint(0, 0)).y();
    EXPECT_GE(chartTop, window->menuBar()->height() + window->Toolbar()->height() - 2);
    double x = 0, y = 0;
    ASSERT_TRUE(view.LatLonToScreen(35, -45, x, y));
    const double dpr = shot.devicePixelRatio();
    const QRgb ocean = shot.pixel(int(x * dpr), int((y + chartTop) * dpr));
    EXPECT_GT(qBlue(ocean), qRed(ocean) + 20) << std::hex << ocean;
    const QRgb bar = shot.pixel(int(4 * dpr), int((chartTop - 4) * dpr));
    EXPECT_NE(bar, ocean);

    // The overlay window beside it, filled by a list of its own.
    struct Content : IOverlayWindowContent
    {
        UIViewControllerWithDialog* MakeOverlayList(QWidget*) override
        {
            auto* list = new UIViewControllerWithDialog;
            list->setPalette(QPalette(Qt::darkGreen));
            return list;
        }
    } content;
    InstallPort<IOverlayWindowContent>(&content);
    overlay_window* overlays = overlay_window::Open(window);
    ASSERT_NE(overlays, nullptr);
    overlays->resize(240, 320);
    const QImage list = overlays->grab().toImage();
    EXPECT_TRUE(list.save(QString::fromStdString(folder + "/overlay_window.png")));
    EXPECT_EQ(list.pixel(list.width() / 2, list.height() / 2), QColor(Qt::darkGreen).rgb());
    overlay_window::Release();
    InstallPort<IOverlayWindowContent>(nullptr);
}
