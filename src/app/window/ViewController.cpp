#include "app/window/ViewController.h"

#include "app/window/MapStoreFetcher.h"
#include "app/window/QtRasterleafView.h"
#include "charts/chartlist/ChartList.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/events/Heartbeat.h"
#include "mapview/view/CachedChartTiles.h"
#include "mapview/view/ChartListCatalog.h"
#include "mapview/view/RasterleafView.h"

#include <QAction>
#include <QLabel>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

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

    QToolBar* toolbar = addToolBar("Main");
    toolbar->setObjectName("MainToolbar");
    toolbar->setMovable(false);
    m_zoomIn = toolbar->addAction("Zoom In", this, &ViewController::ZoomIn);
    m_zoomIn->setShortcut(QKeySequence::ZoomIn);
    m_zoomOut = toolbar->addAction("Zoom Out", this, &ViewController::ZoomOut);
    m_zoomOut->setShortcut(QKeySequence::ZoomOut);

    // The status line lies over the chart and is hidden while empty.
    m_status = new QLabel(m_map);
    m_status->setStyleSheet("QLabel { background: rgba(255,255,255,220); color: black; padding: 3px; }");
    m_status->setTextFormat(Qt::PlainText);
    m_status->hide();
    SetStatusLineView(this);

    setWindowTitle("Map");
    resize(1200, 800);

    m_timer = new QTimer(this);
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

QWidget* ViewController::MenuParent()
{
    return m_map;
}

void ViewController::OnTimer()
{
    CHeartbeat::Tick();
    m_view->OnTimer();
    // Nothing acts on the chart while a dialog is open.
    const bool enable = GetOpenDialogCount() == 0;
    if (m_zoomIn->isEnabled() != enable) {
        m_zoomIn->setEnabled(enable);
        m_zoomOut->setEnabled(enable);
    }
}

void ViewController::ZoomIn()
{
    m_view->ZoomAboutCentre(-1);
}

void ViewController::ZoomOut()
{
    m_view->ZoomAboutCentre(1);
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

void ViewController::ShowStatusText(const std::string& text)
{
    m_status->setText(QString::fromStdString(text));
    m_status->adjustSize();
    m_status->move(8, 8);
    m_status->show();
    m_status->raise();
}

void ViewController::HideStatusLine()
{
    m_status->hide();
    m_map->update();
}
