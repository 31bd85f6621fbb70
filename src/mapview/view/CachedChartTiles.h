#pragma once
// The cached chart as the view's tile source, and the opener that makes it.
// Tiles are rendered by the cached chart's worker threads; drawing never waits.
#include "mapview/view/ChartViewPorts.h"
#include <memory>

class CCachedRasterleaf;
class QWidget;

class CCachedChartTiles : public ITileSource
{
public:
    explicit CCachedChartTiles(std::unique_ptr<CCachedRasterleaf> chart);
    ~CCachedChartTiles() override;
    void Draw(QPainter& painter, const CViewTransform& view, const QRectF& dirty) override;
    bool IsBusy() override;
    bool HasWork() override;
    CCachedRasterleaf& Chart() { return *m_chart; }

private:
    std::unique_ptr<CCachedRasterleaf> m_chart;
};

// Opens chart files on the calling thread (the header and the mapping only;
// pixels come later from the workers), telling the user why one cannot be
// opened in a message box over the owner.
class CCachedChartOpener : public IChartOpener
{
public:
    explicit CCachedChartOpener(QWidget* owner = nullptr) : m_owner(owner) {}
    void Open(const std::string& path, Completion done) override;
    // The chart as the view keeps it; null when the file is no chart.
    static std::unique_ptr<COpenedChart> OpenChartFile(QWidget* owner, const std::string& path);

private:
    QWidget* m_owner;
};
