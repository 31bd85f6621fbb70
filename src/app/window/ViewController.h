#pragma once
// The main window: the chart with its toolbar, menu bar and status line, and
// the 20 Hz timer that drives the whole system (the heartbeat first, then the
// chart view's animation, then the toolbar's remembered states). It owns the
// chart view, the adaptors it works through, and the host over the chart in
// which child dialogs open.
#include "foundation/notify/StatusLine.h"
#include "foundation/print/PageSetup.h"
#include "mapview/view/ChartViewPorts.h"
#include <QMainWindow>
#include <memory>
#include <vector>

class CRasterleafView;
class CCachedChartOpener;
class CChartListCatalog;
class CMapStoreFetcher;
class QtRasterleafView;
class UIViewControllerWithDialog;
class QLabel;
class QTimer;
class QAction;
class QToolBar;
class QMenu;

class ViewController : public QMainWindow, public IChartViewHost, public IStatusLineView
{
    Q_OBJECT
public:
    static constexpr int kTickMilliseconds = 50;
    // The status line: lines it shows at most (an alarm's title and text),
    // its padding and its distance from the chart's edges, in pixels.
    static constexpr int kStatusLines = 2;
    static constexpr int kStatusPadding = 3;
    static constexpr int kStatusMargin = 6;
    static constexpr const char* kDoneItem = "ToolbarItemDone";

    explicit ViewController(QWidget* parent = nullptr);
    ~ViewController() override;

    CRasterleafView& ChartView() { return *m_view; }
    QtRasterleafView& ChartWidget() { return *m_map; }
    // Child dialogs opened with this as parent fill the chart's area.
    UIViewControllerWithDialog& DialogHost() { return *m_dialogHost; }
    QToolBar* Toolbar() const { return m_toolbar; }
    QAction* ZoomInAction() const { return m_zoomIn; }
    QAction* ZoomOutAction() const { return m_zoomOut; }
    QAction* NewMarkAction() const { return m_newMark; }
    QAction* NewRouteAction() const { return m_newRoute; }
    QAction* GPSLockAction() const { return m_gpsLock; }
    QAction* DoneAction() const { return m_done; }
    QAction* FindPlaceAction() const { return m_findPlace; }
    QAction* OpenAction() const { return m_open; }
    QAction* PrintAction() const { return m_print; }
    // The account's items; the application delegate connects and titles them.
    QAction* SignInOutAction() const { return m_signInOut; }
    QAction* QuitAction() const { return m_quit; }
    // Ends the application; the window lets itself be closed for it.
    void Quit();
    QAction* OverlayCloudSyncAction() const { return m_overlayCloudSync; }
    QMenu* AccountItemsMenu() const { return m_accountItemsMenu; }
    QAction* DataWindowAction() const { return m_dataWindow; }
    // The application menu's items, each named after its action
    // ("onOverlayImport", "page_setup" ...); the application delegate connects them.
    QAction* MenuItem(const char* action) const;
    QAction* TrackLoggingAction() const { return m_trackLogging; }
    QAction* AISSettingsAction() const { return m_aisSettings; }
    QAction* DataSaveAction() const { return m_dataSave; }
    // False for a menu item that would open a dialog over the chart while
    // one is open: like the toolbar, the menu waits for it.
    bool MenuItemAllowed(const QAction* item) const;
    // The menus whose items are titled before they open.
    QMenu* GPSMenu() const { return m_gpsMenu; }
    QMenu* WindowMenu() const { return m_windowMenu; }

    // One tick of the timer (tests call it directly).
    void OnTimer();

    // The toolbar's and menus' commands.
    void ZoomIn();
    void ZoomOut();
    void createMark();
    void createRoute();
    void onGPSlock();
    void onDoneButton();
    void onFindPlace();
    void openDocument();
    void printDocument() { print_map(); }
    void print_map();
    // Opens the data panel's window, or brings the open one forward.
    void onDataWindow();

    // The paper, orientation and margins prints use (start-up reads them).
    void SetPageSetup(const CPageSetup& page) { m_pageSetup = page; }
    const CPageSetup& PageSetup() const { return m_pageSetup; }

    // The window title from the open chart.
    void DidOpenMap();

    // IChartViewHost
    void RequestRedraw() override;
    void ChartOpened() override { DidOpenMap(); }
    void ShowHint(const std::string& text) override;
    QWidget* MenuParent() override;

    // IStatusLineView
    void ShowStatusText(const std::string& text) override;
    void HideStatusLine() override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    // Closing the main window is File > Quit: it may ask first, the window staying open.
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildActions();
    void BuildMenus();
    // Adds the item at the end of the toolbar or removes it; nothing when it
    // is already so.
    void ShowToolbarItem(QAction* item, bool show);
    // The status line's tallest, and its place at the chart's foot.
    int StatusLineMaxHeight() const;
    void PlaceStatusLine();

    std::unique_ptr<CCachedChartOpener> m_opener;
    std::unique_ptr<CChartListCatalog> m_catalog;
    std::unique_ptr<CMapStoreFetcher> m_mapStore;
    std::unique_ptr<CRasterleafView> m_view;
    QtRasterleafView* m_map = nullptr;
    UIViewControllerWithDialog* m_dialogHost = nullptr;
    QLabel* m_status = nullptr;
    QTimer* m_timer = nullptr;
    QToolBar* m_toolbar = nullptr;
    QAction* m_zoomIn = nullptr;
    QAction* m_zoomOut = nullptr;
    QAction* m_newMark = nullptr;
    QAction* m_newRoute = nullptr;
    QAction* m_gpsLock = nullptr;
    QAction* m_done = nullptr;
    QAction* m_findPlace = nullptr;
    QAction* m_open = nullptr;
    QAction* m_print = nullptr;
    QAction* m_quit = nullptr;
    bool m_quitting = false; // within Quit
    QAction* m_signInOut = nullptr;
    QAction* m_overlayCloudSync = nullptr;
    QMenu* m_accountItemsMenu = nullptr;
    QAction* m_dataWindow = nullptr;
    QAction* m_trackLogging = nullptr;
    QAction* m_aisSettings = nullptr;
    QAction* m_dataSave = nullptr;
    QMenu* m_gpsMenu = nullptr;
    QMenu* m_windowMenu = nullptr;
    // Every command that a dialog over the window disables.
    std::vector<QAction*> m_commands;
    // The menu items that open a dialog or panel over the window.
    std::vector<QAction*> m_dialogItems;
    CPageSetup m_pageSetup;
    // Both start true, so the first tick takes the Done item away unless it
    // is needed.
    bool m_chartListNotEmpty = true;
    bool m_pendingShown = true;
};
