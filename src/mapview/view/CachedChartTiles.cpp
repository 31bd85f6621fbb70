#include "mapview/view/CachedChartTiles.h"

#include "charts/ChartFormat.h"
#include "charts/cache/CachedRasterleaf.h"
#include "mapview/view/RasterleafView.h"

#include <QPainter>
#include <QRectF>
#include <cmath>

CCachedChartTiles::CCachedChartTiles(std::unique_ptr<CCachedRasterleaf> chart) : m_chart(std::move(chart)) {}

CCachedChartTiles::~CCachedChartTiles() = default;

void CCachedChartTiles::Draw(QPainter& painter, const CViewTransform& view, const QRectF& dirty)
{
    if (!m_chart || dirty.isEmpty() || !std::isfinite(view.originX) || !std::isfinite(view.originY))
        return;
    constexpr double kLimit = 4e15; // far inside int64 at any zoom
    if (std::fabs(view.originX) > kLimit || std::fabs(view.originY) > kLimit)
        return;
    // The cached chart places whole level pixels (chart pixels at the zoom).
    // The part of the origin inside a level pixel is a shift of the painter,
    // which the view keeps on whole device pixels.
    const double lx = view.originX * view.scale, ly = view.originY * view.scale;
    const int64_t levelX = int64_t(std::floor(lx)), levelY = int64_t(std::floor(ly));
    const double fx = lx - double(levelX), fy = ly - double(levelY);
    const QRect area = dirty.translated(fx, fy).toAlignedRect();
    int64_t left = area.left(), top = area.top();
    int64_t chartX = 0, chartY = 0;
    if (view.zoom >= 0) {
        chartX = (levelX + left) * (int64_t{1} << view.zoom);
        chartY = (levelY + top) * (int64_t{1} << view.zoom);
    } else {
        // A magnified level starts each chart pixel on a multiple of 2^-zoom.
        const int64_t m = int64_t{1} << -view.zoom;
        auto floorMod = [m](int64_t v) { return ((v % m) + m) % m; };
        left -= floorMod(levelX + left);
        top -= floorMod(levelY + top);
        chartX = (levelX + left) / m;
        chartY = (levelY + top) / m;
    }
    painter.save();
    painter.translate(-fx, -fy);
    m_chart->Draw(painter, int(left), int(top), area.right() + 1, area.bottom() + 1, chartX, chartY,
                  view.zoom);
    painter.restore();
}

bool CCachedChartTiles::IsBusy()
{
    return m_chart && m_chart->IsBusy();
}

bool CCachedChartTiles::HasWork()
{
    return m_chart && m_chart->HasWork();
}

std::unique_ptr<COpenedChart> CCachedChartOpener::OpenChartFile(QWidget* owner, const std::string& path)
{
    auto cached = std::make_unique<CCachedRasterleaf>(owner);
    if (cached->Open(owner, path) != 0 || !cached->GetChart())
        return nullptr;
    cached->SetAutomaticDownload(CRasterleafView::GetSettings().automaticDownload);
    const CRasterleaf& chart = *cached->GetChart();
    auto opened = std::make_unique<COpenedChart>();
    opened->path = path;
    opened->georeference.Init(chart.ForwardCoefficients(), chart.InverseCoefficients(), chart.PixelWidth(),
                              chart.PixelHeight(), chart.HasDatumShift() ? chart.LatShift() : 0.0,
                              chart.HasDatumShift() ? chart.LonShift() : 0.0);
    opened->chunked = chart.Kind() == chartfile::kKindChunked || chart.Kind() == chartfile::kKindChunkedAlt;
    opened->title = chart.GetTitle();
    opened->rights = chart.GetRightsNotice();
    opened->tiles = std::make_unique<CCachedChartTiles>(std::move(cached));
    return opened;
}

void CCachedChartOpener::Open(const std::string& path, Completion done)
{
    std::unique_ptr<COpenedChart> chart = OpenChartFile(m_owner, path);
    const int status = chart ? 0 : -1;
    done(status, std::move(chart));
}
