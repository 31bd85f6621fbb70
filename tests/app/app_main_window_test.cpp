// The main window as a user meets it: the toolbar follows the pending map
// action and the open dialogs without churning, the commands act on the
// chart, every item of the menu bar and toolbar reaches what it opens or does,
// and a screenshot shows window, toolbar and menu bar.
// TESSA_XVFB_LABEL
#include "app/panels/data_window.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/AppDelegatePorts.h"
#include "app/window/OverlayWindowPorts.h"
#include "app/window/QtRasterleafView.h"
#include "app/window/ViewController.h"
#include "app/window/overlay_window.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/platform/PlatformFolders.h"
#include "foundation/platform/PlatformServices.h"
#include "foundation/util/Folders.h"
#include "instruments/nmea/NMEASentence.h"
#include "mapview/view/RasterleafView.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/TrackManager.h"
#include "panels/MainAndFlip.h"
#include "support/ScriptedPresenter.h"
#include "support/TestPaths.h"

#include <QAction>
#include <QActionEvent>
#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
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

// A shown window of its own holding a widget of that class.
bool OpenWindowOf(const char* className)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && !w->inherits("ViewController"))
            for (QWidget* child : w->findChildren<QWidget*>())
                if (child->inherits(className))
                    return true;
    return false;
}

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

TEST_F(MainWindow, EveryMenuAndToolbarItemReachesWhatItOpensOrDoes)
{
    using tessatest::CShownDialog;
    tessatest::CScriptedPresenter presenter;
    presenter.SetImmediate(true);
    std::vector<std::string> urls;
    SetURLOpenerForTesting([&urls](const std::string& url) {
        urls.push_back(url);
        return true;
    });
    // Quit is seen, not obeyed: the test's own windows stay.
    struct QuitCatcher : QObject
    {
        int quits = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            return event->type() == QEvent::Quit && ++quits;
        }
    } quitCatcher;
    qApp->installEventFilter(&quitCatcher);
    const std::string layout = root + "/Racing.dvtf";
    c_main_and_flip_dv::Get().m_currentLayoutPath = layout;
    CRasterleafView& view = window->ChartView();
    // A fix, so that the lock has an own ship to follow.
    char rmc[128] = "$GPRMC,120000,A,3800.000,N,03500.000,W,5.0,90.0,010125,,,A";
    AppendNMEAChecksum(rmc, sizeof rmc);
    ASSERT_TRUE(DispatchNMEALine(rmc, nullptr));

    auto box = [&](CShownDialog::Kind kind) {
        return [&presenter, kind] { return !presenter.Shown().empty() && presenter.Last().kind == kind; };
    };
    auto inHost = [this](const char* className) {
        return [this, className] {
            QWidget* dialog = window->DialogHost().child_dialog();
            return dialog && dialog->inherits(className) && !dialog->isHidden();
        };
    };
    auto url = [&urls](const std::string& page) {
        return [&urls, page] { return !urls.empty() && urls.back().find(page) != std::string::npos; };
    };
    double scale = 0;
    size_t marks = 0;
    // Each item, by its title, with what shows that it did its work.
    const std::map<std::string, std::function<bool()>> effects = {
        {"Maps", inHost("map_list")},
        {"Open...\tCtrl+O", inHost("map_list")},
        {"Page Setup...", box(CShownDialog::PageSetup)},
        {"Print...", box(CShownDialog::Print)},
        {"Import GPX File...", box(CShownDialog::OpenPanel)},
        {"Export Marks...", box(CShownDialog::SavePanel)},
        {"Export Routes...", box(CShownDialog::SavePanel)},
        {"Export Tracks...", box(CShownDialog::SavePanel)},
        {"Sign In", inHost("account_login")},
        {"Synchronise Marks, Routes and Tracks", box(CShownDialog::Box)},
        {"Add Folders to Map List...", box(CShownDialog::Folders)},
        {"Remove Duplicate Maps", box(CShownDialog::Box)},
        {"Check for Map Updates...", box(CShownDialog::Box)},
        {"Preferences...", [] { return OpenWindowOf("preferences"); }},
        {"Quit", [&quitCatcher] { return quitCatcher.quits > 0; }},
        {"Zoom In", [&] { return view.GetCentreScale() < scale; }},
        {"Zoom Out", [&] { return view.GetCentreScale() > scale; }},
        {"New Mark", [&marks] { return CMarkManager::Get().Marks().size() > marks; }},
        {"New Route", [] { return CMarkManager::Get().GetRouteBeingBuilt() != nullptr; }},
        {"Done", [] { return CMarkManager::Get().GetRouteBeingBuilt() == nullptr; }},
        {"GPS Lock", [&] { return view.GetGPSLock(); }},
        // The base map has no place-name index: the dialog says so.
        {"Find Place",
         [&] {
             return inHost("find_place")() ||
                    (box(CShownDialog::Box)() &&
                     presenter.Last().text == "There is no index file associated with the current map");
         }},
        {"GPS Setup...", inHost("gps_settings")},
        {"Start Track Logging", [] { return CTrackManager::Get().IsRecording(); }},
        {"AIS Settings...", [] { return OpenWindowOf("ais_settings"); }},
        {"Marks, Routes and Tracks",
         [] { return overlay_window::Current() && overlay_window::Current()->isVisible(); }},
        {"Data Panel", [] { return data_window::Current() && data_window::Current()->isVisible(); }},
        {"Save \"Racing\"", [&layout] { return fs::exists(layout); }},
        {"Tessaroute Help", url("ts-mac-help.htm")},
        {"Support", url("Support.html")},
        {"Privacy", url("privacy.htm")},
        {"Home Page", [&urls] { return !urls.empty() && urls.back() == AppDelegate::WebPageURL(""); }},
        {"Check for Updates...", url("update_mac.html?version=")},
    };

    // Every item of every menu, then the toolbar's, in the order a user meets them.
    std::vector<std::pair<QMenu*, QAction*>> items;
    for (QAction* title : window->menuBar()->actions())
        for (QAction* item : title->menu()->actions())
            if (!item->isSeparator())
                items.emplace_back(title->menu(), item);
    for (QAction* item : window->Toolbar()->actions())
        if (item != window->DoneAction())
            items.emplace_back(nullptr, item);
    // Quit goes last, under the application's event loop, which it must end.
    const auto quit = std::find_if(items.begin(), items.end(),
                                   [](const auto& entry) { return entry.second->text() == "Quit"; });
    ASSERT_NE(quit, items.end());
    std::rotate(quit, quit + 1, items.end());
    // Shown as a start with the AIS settings switched on shows it.
    Port<IAisSettingsMenuItem>().SetAisSettingsItemHidden(false);
    ASSERT_GE(items.size(), effects.size());
    for (const auto& [menu, item] : items) {
        if (item == window->DataSaveAction())
            c_main_and_flip_dv::Get().m_currentLayoutPath = layout; // the data window may have changed it
        if (menu)
            emit menu->aboutToShow(); // titles and hidden items are settled as the menu opens
        if (item == window->DoneAction())
            window->NewRouteAction()->trigger();
        window->OnTimer();
        const std::string title = item->text().toStdString();
        SCOPED_TRACE(title);
        const auto effect = effects.find(title);
        ASSERT_NE(effect, effects.end()) << "an item with nothing to show its work";
        EXPECT_TRUE(item->isVisible());
        EXPECT_TRUE(item->isEnabled());
        // Nothing left from the items before stands for this one's work.
        presenter.ClearShown();
        urls.clear();
        scale = view.GetCentreScale();
        marks = CMarkManager::Get().Marks().size();
        view.SetGPSLock(false);
        if (item->text() == "Quit") {
            QTimer::singleShot(0, item, &QAction::trigger);
            QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); }); // ends the loop in any case
            QCoreApplication::exec();
        } else {
            item->trigger();
        }
        EXPECT_TRUE(effect->second());
        // What it opened goes before the next item, which a dialog would disable.
        if (QWidget* dialog = window->DialogHost().child_dialog())
            qobject_cast<UIViewControllerWithDialog*>(dialog)->destroyDialog(-1);
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dialog = w->findChild<UIViewControllerWithDialog*>();
                w != window && dialog && !dialog->isDialogEnded())
                dialog->destroyDialog(-1);
        overlay_window::Release();
        data_window::Release();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    qApp->removeEventFilter(&quitCatcher);
    if (CTrackManager::Get().IsRecording())
        CTrackManager::Get().ToggleRecording();
    c_main_and_flip_dv::Get().m_currentLayoutPath.clear();
    SetURLOpenerForTesting({});
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
