#include "mapview/view/RasterleafTileSource.h"

#include "charts/ChartFormat.h"
#include "charts/Rasterleaf.h"

#include <QPainter>
#include <QRectF>
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

int64_t FloorDiv(int64_t a, int64_t b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

} // namespace

CRasterleafTileSource::CRasterleafTileSource(std::shared_ptr<CRasterleaf> chart) : m_chart(std::move(chart)) {}

CRasterleafTileSource::~CRasterleafTileSource() = default;

const QImage& CRasterleafTileSource::Block(int shift, int64_t column, int64_t row)
{
    const Key key{shift, column, row};
    auto it = m_blocks.find(key);
    if (it != m_blocks.end()) {
        m_use.splice(m_use.begin(), m_use, it->second.use);
        return it->second.image;
    }
    const int side = kBlockSide;
    const int64_t span = int64_t(side) << shift; // chart pixels per block side
    const int64_t x0 = column * span, y0 = row * span;
    std::vector<uint32_t> pixels(size_t(side) * side, 0);
    auto work = std::make_unique<CTileWorkBlock>();
    m_chart->GetPixels(int(x0), int(y0), side, side, side, shift, pixels.data(), work.get());
    // The renderer writes bottom-up and without alpha; outside the chart stays clear.
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    const int64_t width = m_chart->PixelWidth(), height = m_chart->PixelHeight();
    for (int y = 0; y < side; ++y) {
        uint32_t* dst = reinterpret_cast<uint32_t*>(image.scanLine(y));
        const uint32_t* src = pixels.data() + size_t(side - 1 - y) * side;
        const int64_t cy = y0 + (int64_t(y) << shift);
        for (int x = 0; x < side; ++x) {
            const int64_t cx = x0 + (int64_t(x) << shift);
            const bool inside = cx >= 0 && cy >= 0 && cx < width && cy < height;
            dst[x] = inside ? (src[x] | 0xFF000000u) : 0u;
        }
    }
    if (m_blocks.size() >= kMaxBlocks) {
        m_blocks.erase(m_use.back());
        m_use.pop_back();
    }
    m_use.push_front(key);
    Cached& cached = m_blocks[key];
    cached.image = std::move(image);
    cached.use = m_use.begin();
    return cached.image;
}

void CRasterleafTileSource::Draw(QPainter& painter, const CViewTransform& view, const QRectF& dirty)
{
    if (!m_chart || !m_chart->IsOpen() || dirty.isEmpty())
        return;
    // Reduced views come from the renderer's own blending; magnified ones
    // scale full-resolution blocks up without smoothing.
    const int shift = std::clamp(view.zoom, 0, kMaxTileLevel);
    const double blockScale = std::ldexp(1.0, shift) * view.scale; // view pixels per block pixel
    const int64_t span = int64_t(kBlockSide) << shift;
    double cx0 = 0, cy0 = 0, cx1 = 0, cy1 = 0;
    view.ViewToChart(dirty.left(), dirty.top(), cx0, cy0);
    view.ViewToChart(dirty.right(), dirty.bottom(), cx1, cy1);
    if (!std::isfinite(cx0) || !std::isfinite(cy0) || !std::isfinite(cx1) || !std::isfinite(cy1))
        return;
    const double w = m_chart->PixelWidth(), h = m_chart->PixelHeight();
    cx0 = std::clamp(cx0, 0.0, w);
    cy0 = std::clamp(cy0, 0.0, h);
    cx1 = std::clamp(cx1, 0.0, w);
    cy1 = std::clamp(cy1, 0.0, h);
    if (cx1 <= cx0 || cy1 <= cy0)
        return;
    const int64_t c0 = FloorDiv(int64_t(std::floor(cx0)), span), c1 = FloorDiv(int64_t(std::ceil(cx1)) - 1, span);
    const int64_t r0 = FloorDiv(int64_t(std::floor(cy0)), span), r1 = FloorDiv(int64_t(std::ceil(cy1)) - 1, span);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    const double side = kBlockSide * blockScale;
    for (int64_t r = r0; r <= r1; ++r) {
        for (int64_t c = c0; c <= c1; ++c) {
            const QImage& block = Block(shift, c, r);
            double vx = 0, vy = 0;
            view.ChartToView(double(c * span), double(r * span), vx, vy);
            if (blockScale == 1.0)
                painter.drawImage(QPointF(vx, vy), block);
            else
                painter.drawImage(QRectF(vx, vy, side, side), block);
        }
    }
    painter.restore();
}

std::unique_ptr<COpenedChart> CRasterleafFileOpener::OpenChartFile(QWidget* owner, const std::string& path)
{
    std::shared_ptr<CRasterleaf> chart(CRasterleaf::OpenFile(owner, path));
    if (!chart || !chart->IsOpen())
        return nullptr;
    auto opened = std::make_unique<COpenedChart>();
    opened->path = path;
    opened->georeference.Init(chart->ForwardCoefficients(), chart->InverseCoefficients(), chart->PixelWidth(),
                              chart->PixelHeight(), chart->HasDatumShift() ? chart->LatShift() : 0.0,
                              chart->HasDatumShift() ? chart->LonShift() : 0.0);
    opened->chunked = chart->Kind() == chartfile::kKindChunked || chart->Kind() == chartfile::kKindChunkedAlt;
    opened->title = chart->GetTitle();
    opened->rights = chart->GetRightsNotice();
    opened->tiles = std::make_unique<CRasterleafTileSource>(std::move(chart));
    return opened;
}

void CRasterleafFileOpener::Open(const std::string& path, Completion done)
{
    std::unique_ptr<COpenedChart> chart = OpenChartFile(m_owner, path);
    const int status = chart ? 0 : -1;
    done(status, std::move(chart));
}
