#pragma once
// The main window: the chart with its toolbar and status line, and the 20 Hz
// timer that drives the whole system (the heartbeat first, then the chart
// view's animation). It owns the chart view and the adaptors it works through.
#include "foundation/notify/StatusLine.h"
#include "mapview/view/ChartViewPorts.h"
#include <QMainWindow>
#include <memory>

class CRasterleafView;
class CCachedChartOpener;
class CChartListCatalog;
class CMapStoreFetcher;
class QtRasterleafView;
class QLabel;
class QTimer;
class QAction;

class ViewController : public QMainWindow, public IChartViewHost, public IStatusLineView
{
    Q_OBJECT
public:
    static constexpr int kTickMilliseconds = 50;

    explicit ViewController(QWidget* parent = nullptr);
    ~ViewController() override;

    CRasterleafView& ChartView() { return *m_view; }
    QtRasterleafView& ChartWidget() { return *m_map; }
    QAction* ZoomInAction() const { return m_zoomIn; }
    QAction* ZoomOutAction() const { return m_zoomOut; }

    // One tick of the timer (tests call it directly).
    void OnTimer();
    void ZoomIn();
    void ZoomOut();
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

private:
    std::unique_ptr<CCachedChartOpener> m_opener;
    std::unique_ptr<CChartListCatalog> m_catalog;
    std::unique_ptr<CMapStoreFetcher> m_mapStore;
    std::unique_ptr<CRasterleafView> m_view;
    QtRasterleafView* m_map = nullptr;
    QLabel* m_status = nullptr;
    QTimer* m_timer = nullptr;
    QAction* m_zoomIn = nullptr;
    QAction* m_zoomOut = nullptr;
};
