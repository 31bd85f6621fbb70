#include "app/window/ViewController.h"

#include "app/dialogs/FindPlace.h"
#include "app/panels/data_window.h"
#include "app/window/MainWindowPorts.h"
#include "app/window/MapStoreFetcher.h"
#include "app/window/PrintMap.h"
#include "app/window/QtRasterleafView.h"
#include "charts/chartlist/ChartList.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/dialogs/UIViewControllerWithDialog.h"
#include "foundation/dialogs/WindowPlacement.h"
#include "foundation/events/Heartbeat.h"
#include "mapview/view/CachedChartTiles.h"
#include "mapview/view/ChartListCatalog.h"
#include "mapview/view/RasterleafView.h"
#include "overlays/model/MarkManager.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMenuBar>
#include <QTimer>
#include <QToolBar>
#include <algorithm>

ViewController::ViewController(QWidget* parent) : QMainWindow(parent)
{
    m_map = new QtRasterleafView(this);
    setCentralWidget(m_map);

    m_opener = std::make_unique<CCachedChartOpener>(this);
    m_catalog = std::make_unique<CChartListCatalog>(CChartList::Instance());
    CRasterleafView::Ports ports;
    ports.opener = m_opener.get();
    ports.catalog = m_catalog.get();
    m_mapStore = std::make_unique<CMapStoreFetcher>(this);
    ports.mapStore = m_mapStore.get();
    ports.host = this;
    m_view = std::make_unique<CRasterleafView>(ports);
    m_map->SetChartView(m_view.get());

    // The host itself is never shown: its children are laid over the chart.
    m_dialogHost = new UIViewControllerWithDialog(m_map);
    m_dialogHost->setHostView(m_map);
    m_dialogHost->hide();

    BuildActions();
    BuildMenus();

    // The status line lies over the chart's foot and is hidden while empty.
    m_status = new QLabel(m_map);
    m_status->setObjectName("statusLine");
    m_status->setStyleSheet(
        QString("QLabel { background: rgba(255,255,255,220); color: black; padding: %1px; }")
            .arg(kStatusPadding));
    m_status->setTextFormat(Qt::PlainText);
    m_status->hide();
    // Dialogs over the chart end above the status line's place, so that an
    // alarm coming or going neither moves a dialog nor covers it.
    UIViewControllerWithDialog::setHostBottomInset(m_map, StatusLineMaxHeight() + 2 * kStatusMargin);
    SetStatusLineView(this);

    setWindowTitle("Map");
    resize(1200, 800);
    // Where and as large as it last was; else the default, inside the screen.
    if (!TrackWindowGeometry(this, "main"))
        KeepInsideScreen(this);

    m_timer = new QTimer(this);
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(kTickMilliseconds);
    connect(m_timer, &QTimer::timeout, this, &ViewController::OnTimer);
    m_timer->start();
}

ViewController::~ViewController()
{
    // Another window that took the status line meanwhile keeps it.
    IStatusLineView* previous = SetStatusLineView(nullptr);
    if (previous != this)
        SetStatusLineView(previous);
    m_timer->stop();
    m_map->SetChartView(nullptr);
    // The view goes before the adaptors it calls.
    m_view.reset();
}

void ViewController::BuildActions()
{
    auto make = [this](const char* text, void (ViewController::*slot)()) {
        QAction* action = new QAction(QString::fromUtf8(text), this);
        connect(action, &QAction::triggered, this, slot);
        m_commands.push_back(action);
        return action;
    };
    m_open = make("Maps", &ViewController::openDocument);
    m_open->setShortcut(QKeySequence::Open);
    m_open->setToolTip("Open a chart from the chart list");
    m_zoomIn = make("Zoom In", &ViewController::ZoomIn);
    m_zoomIn->setShortcut(QKeySequence::ZoomIn);
    m_zoomOut = make("Zoom Out", &ViewController::ZoomOut);
    m_zoomOut->setShortcut(QKeySequence::ZoomOut);
    m_newMark = make("New Mark", &ViewController::createMark);
    m_newMark->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    m_newRoute = make("New Route", &ViewController::createRoute);
    m_newRoute->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    m_gpsLock = make("GPS Lock", &ViewController::onGPSlock);
    m_gpsLock->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    m_findPlace = make("Find Place", &ViewController::onFindPlace);
    m_findPlace->setShortcut(QKeySequence::Find);
    m_print = make("Print...", &ViewController::printDocument);
    m_print->setShortcut(QKeySequence::Print);
    m_done = make("Done", &ViewController::onDoneButton);
    m_done->setObjectName(kDoneItem);
    m_done->setShortcut(QKeySequence(Qt::Key_Return));
    m_done->setToolTip("Finish the pending map action");
    // Without a chart list to show, the maps button has nothing to open.
    m_open->setVisible(IsPortInstalled<IChartListOpener>());

    m_toolbar = addToolBar("Main");
    m_toolbar->setObjectName("MainToolbar");
    m_toolbar->setMovable(false);
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    for (QAction* action :
         {m_open, m_zoomIn, m_zoomOut, m_newMark, m_newRoute, m_gpsLock, m_findPlace, m_done})
        m_toolbar->addAction(action);
}

void ViewController::BuildMenus()
{
    // An application item named after its action, with the sender's tag.
    auto item = [this](QMenu* menu, const char* text, const char* action, int tag = 0) {
        QAction* added = menu->addAction(QString::fromUtf8(text));
        added->setObjectName(action);
        added->setData(tag);
        return added;
    };
    QMenu* file = menuBar()->addMenu("&File");
    // The maps button holds Ctrl+O; the menu shows it after a tab, without taking it a second time.
    QAction* open = file->addAction("Open...\t" + m_open->shortcut().toString(QKeySequence::NativeText));
    open->setVisible(m_open->isVisible());
    connect(open, &QAction::triggered, m_open, &QAction::trigger);
    connect(m_open, &QAction::enabledChanged, open, &QAction::setEnabled);
    item(file, "Page Setup...", "page_setup");
    file->addAction(m_print);
    file->addSeparator();
    item(file, "Import GPX File...", "onOverlayImport");
    item(file, "Export Marks...", "onOverlayExport", 1)->setObjectName("onOverlayExportMarks");
    item(file, "Export Routes...", "onOverlayExport", 2)->setObjectName("onOverlayExportRoutes");
    item(file, "Export Tracks...", "onOverlayExport", 3)->setObjectName("onOverlayExportTracks");
    file->addSeparator();
    m_signInOut = file->addAction("Sign In");
    m_signInOut->setObjectName("onSignInOut");
    m_overlayCloudSync = file->addAction("Synchronise Marks, Routes and Tracks");
    m_overlayCloudSync->setObjectName("onOverlayCloudSync");
    m_accountItemsMenu = file;
    file->addSeparator();
    item(file, "Add Folders to Map List...", "onAddToMapList");
    item(file, "Remove Duplicate Maps", "RemoveDuplicateMaps");
    item(file, "Check for Map Updates...", "CheckForMapUpdates");
    file->addSeparator();
    item(file, "Preferences...", "onPreferences")->setMenuRole(QAction::PreferencesRole);
    file->addSeparator();
    m_quit = file->addAction("Quit", QKeySequence::Quit, [this] { Quit(); });
    m_quit->setMenuRole(QAction::QuitRole);

    QMenu* view = menuBar()->addMenu("&View");
    for (const char* name : {"page_setup", "onOverlayImport", "onOverlayExportMarks", "onOverlayExportRoutes",
                             "onOverlayExportTracks", "onSignInOut", "onOverlayCloudSync", "onAddToMapList",
                             "RemoveDuplicateMaps", "CheckForMapUpdates"})
        m_dialogItems.push_back(MenuItem(name));
    view->addAction(m_zoomIn);
    view->addAction(m_zoomOut);
    view->addSeparator();
    view->addAction(m_newMark);
    view->addAction(m_newRoute);
    view->addAction(m_gpsLock);
    view->addAction(m_done);
    view->addSeparator();
    view->addAction(m_findPlace);

    m_gpsMenu = menuBar()->addMenu("&GPS");
    m_dialogItems.push_back(item(m_gpsMenu, "GPS Setup...", "onGPSsetup"));
    m_trackLogging = item(m_gpsMenu, "Start Track Logging", "onStartStopLogging");
    m_aisSettings = item(m_gpsMenu, "AIS Settings...", "onAISSettings");

    m_windowMenu = menuBar()->addMenu("&Window");
    item(m_windowMenu, "Marks, Routes and Tracks", "onOverlayList");
    m_dataWindow = m_windowMenu->addAction("Data Panel", this, &ViewController::onDataWindow);
    m_dataSave = item(m_windowMenu, "Save", "menu_item_DataSave");

    QMenu* help = menuBar()->addMenu("&Help");
    item(help, "Tessaroute Help", "onHelp");
    item(help, "Support", "onWebSupport");
    item(help, "Privacy", "onPrivacy");
    item(help, "Home Page", "onWebHomePage");
    help->addSeparator();
    item(help, "Check for Updates...", "onCheckForAppUpdates");
}

QAction* ViewController::MenuItem(const char* action) const
{
    return menuBar()->findChild<QAction*>(action);
}

void ViewController::onDataWindow()
{
    data_window::Open(this);
}

QWidget* ViewController::MenuParent()
{
    return m_map;
}

void ViewController::ShowToolbarItem(QAction* item, bool show)
{
    const QList<QAction*> items = m_toolbar->actions();
    const bool present = items.contains(item);
    if (present && !show)
        m_toolbar->removeAction(item);
    else if (!present && show)
        m_toolbar->addAction(item);
}

void ViewController::OnTimer()
{
    CHeartbeat::Tick();
    m_view->OnTimer();
    m_chartListNotEmpty = !CChartList::Instance().Outlines().empty();
    const bool pending = HasPendingAction();
    // The toolbar changes only when the state did, never 20 times a second.
    if (pending != m_pendingShown) {
        m_pendingShown = pending;
        ShowToolbarItem(m_done, pending);
    }
    // Nothing acts on the chart while a dialog is open.
    const bool free = GetOpenDialogCount() == 0;
    for (QAction* command : m_commands)
        command->setEnabled(free && (command != m_done || pending));
    for (QAction* item : m_dialogItems)
        item->setEnabled(free);
}

bool ViewController::MenuItemAllowed(const QAction* item) const
{
    return GetOpenDialogCount() == 0 ||
           std::find(m_dialogItems.begin(), m_dialogItems.end(), item) == m_dialogItems.end();
}

void ViewController::ZoomIn()
{
    m_view->ZoomAboutCentre(-1);
}

void ViewController::ZoomOut()
{
    m_view->ZoomAboutCentre(1);
}

void ViewController::createMark()
{
    m_view->CreateMarkAtCentre();
}

void ViewController::createRoute()
{
    CMarkManager::Get().BeginNewRoute();
    RequestRedraw();
}

void ViewController::onGPSlock()
{
    m_view->SetGPSLock(true);
}

void ViewController::onDoneButton()
{
    if (HasPendingAction())
        RunPendingAction();
    RequestRedraw();
}

void ViewController::onFindPlace()
{
    OpenFindPlace(m_dialogHost, *m_view);
}

void ViewController::openDocument()
{
    if (IsPortInstalled<IChartListOpener>())
        Port<IChartListOpener>().OpenChartList(*m_dialogHost, *m_view);
}

void ViewController::print_map()
{
    PrintChartView(*m_map, *m_view, m_pageSetup, this);
}

void ViewController::DidOpenMap()
{
    setWindowTitle(QString::fromStdString(m_view->HasChart() ? m_view->GetMapTitle() : std::string("Map")));
}

void ViewController::RequestRedraw()
{
    m_map->update();
}

void ViewController::ShowHint(const std::string& text)
{
    ::ShowHint(this, text);
}

int ViewController::StatusLineMaxHeight() const
{
    return kStatusLines * m_status->fontMetrics().lineSpacing() + 2 * kStatusPadding;
}

void ViewController::PlaceStatusLine()
{
    if (m_status->isHidden())
        return;
    // One line as long as the text, wrapped where the chart is too narrow,
    // and never taller than the room kept for it below the dialogs.
    const int room = std::max(0, m_map->width() - 2 * kStatusMargin);
    m_status->setWordWrap(false);
    QSize size = m_status->sizeHint();
    if (size.width() > room) {
        m_status->setWordWrap(true);
        size = QSize(room, m_status->heightForWidth(room));
    }
    size.setHeight(std::min(size.height(), StatusLineMaxHeight()));
    m_status->setGeometry(kStatusMargin, m_map->height() - kStatusMargin - size.height(), size.width(),
                          size.height());
}

void ViewController::ShowStatusText(const std::string& text)
{
    m_status->setText(QString::fromStdString(text));
    m_status->show();
    m_status->raise();
    PlaceStatusLine();
}

void ViewController::HideStatusLine()
{
    m_status->hide();
    m_map->update();
}

void ViewController::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    // The chart widget takes its new size itself; the dialogs and the status
    // line over it follow.
    m_dialogHost->resizedView();
    PlaceStatusLine();
}

void ViewController::Quit()
{
    m_quitting = true;
    // Closes every window first; one that refuses keeps the application
    // running, and a later close of this one asks again.
    QCoreApplication::quit();
    m_quitting = false;
}

void ViewController::closeEvent(QCloseEvent* event)
{
    if (m_quitting) {
        event->accept();
        return;
    }
    // The window manager's close and any other: asked as File > Quit asks.
    event->ignore();
    m_quit->trigger();
}
