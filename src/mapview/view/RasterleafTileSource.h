#pragma once
// The pixels of a single-file chart for the view, made by the chart's own
// renderer on the main thread and kept as 256 x 256 blocks per zoom level, so
// a redraw of an unchanged view only copies images. Also the opener that
// gives the view such charts.
#include "mapview/view/ChartViewPorts.h"
#include <QImage>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <tuple>

class CRasterleaf;
class QWidget;

class CRasterleafTileSource : public ITileSource
{
public:
    static constexpr int kBlockSide = 256;
    static constexpr size_t kMaxBlocks = 192; // about 48 MB of pixels

    explicit CRasterleafTileSource(std::shared_ptr<CRasterleaf> chart);
    ~CRasterleafTileSource() override;
    void Draw(QPainter& painter, const CViewTransform& view, const QRectF& dirty) override;
    size_t CachedBlocks() const { return m_blocks.size(); }

private:
    using Key = std::tuple<int, int64_t, int64_t>; // shift, block column, block row
    const QImage& Block(int shift, int64_t column, int64_t row);

    std::shared_ptr<CRasterleaf> m_chart;
    struct Cached
    {
        QImage image;
        std::list<Key>::iterator use;
    };
    std::map<Key, Cached> m_blocks;
    std::list<Key> m_use; // most recently used first
};

// Opens chart files at once on the calling thread, telling the user why one
// cannot be opened (in a message box over `owner`).
class CRasterleafFileOpener : public IChartOpener
{
public:
    explicit CRasterleafFileOpener(QWidget* owner = nullptr) : m_owner(owner) {}
    void SetOwner(QWidget* owner) { m_owner = owner; }
    void Open(const std::string& path, Completion done) override;
    // The chart as the view keeps it; null when the file is no chart.
    static std::unique_ptr<COpenedChart> OpenChartFile(QWidget* owner, const std::string& path);

private:
    QWidget* m_owner;
};
