#include "mapview/view/RasterleafView.h"

#include "charts/ChartFileUse.h"
#include "charts/mapstore/MapStore.h"
#include "foundation/events/Heartbeat.h"
#include "foundation/util/Files.h"
#include "mapview/overlay/KeptLinePixels.h"
#include "mapview/overlay/OverlayTool.h"
#include "mapview/view/ViewPlaces.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QRectF>
#include <algorithm>
#include <cmath>

using view_places::Finite;
using view_places::IsCentre;

namespace {

CRasterleafView* gChartView = nullptr;

constexpr double kTitleStripPoints = 20.0;

} // namespace

CRasterleafView::Settings::Settings() : PersistantData("CRasterleafView") {}

void CRasterleafView::Settings::Exchange()
{
    ExchangeBool("use_magic_mouse", useMagicMouse);
    ExchangeBool("change_scale_by_zooming", changeScaleByZooming);
    ExchangeBool("show_scale_bar", showScaleBar);
    ExchangeHex("scale_bar_color", scaleBarColour);
    ExchangeBool("automatic_download", automaticDownload);
    ExchangeString("app_name", appName);
    ExchangeString("app_icon", appIcon);
    ExchangeString("app_website", appWebsite);
    ExchangeStringSet("mvt_hide", mvtHide);
    // Read only: a saved value is taken, ours is never written back.
    if (IsLoading()) {
        ExchangeDouble("app_default_lat", defaultLat);
        ExchangeDouble("app_default_lon", defaultLon);
        if (!Finite(defaultLat, defaultLon) || std::fabs(defaultLat) > 90 || std::fabs(defaultLon) > 360) {
            defaultLat = 43.04144;
            defaultLon = -31.7395;
        }
    }
}

CRasterleafView::Settings& CRasterleafView::GetSettings()
{
    static Settings settings;
    return settings;
}

CRasterleafView::CRasterleafView(const Ports& ports) : m_ports(ports)
{
    GetSettings();
    gChartView = this;
    SetMapStoreHideSource([] { return GetSettings().mvtHide; });
    AttachOverlaySources();
}

CRasterleafView::~CRasterleafView()
{
    if (gChartView == this)
        gChartView = nullptr;
}

CRasterleafView* CRasterleafView::Global()
{
    return gChartView;
}

double CRasterleafView::Now() const
{
    return m_clock ? m_clock() : CHeartbeat::GetTime();
}

void CRasterleafView::Redraw()
{
    if (m_ports.host)
        m_ports.host->RequestRedraw();
}

const CPolynomialProjection* CRasterleafView::GetGeoreference() const
{
    return m_chart && m_chart->georeference.IsValid() ? &m_chart->georeference : nullptr;
}

std::string CRasterleafView::GetMapTitle() const
{
    return m_chart && !m_chart->title.empty() ? m_chart->title : std::string("Map");
}

bool CRasterleafView::IsBusy() const
{
    return m_chart && m_chart->tiles && m_chart->tiles->IsBusy();
}

bool CRasterleafView::HasWork() const
{
    return m_chart && m_chart->tiles && m_chart->tiles->HasWork();
}

void CRasterleafView::OnOverlayChanged(COverlayObject& object)
{
    const uint32_t state = object.GetState();
    if (state == COverlayObject::kDeleted || !object.IsVisible()) {
        m_overlays.Remove(&object);
    } else if (state == COverlayObject::kChanged) {
        COverlayDisplayList::Entry& entry = m_overlays.FindOrAdd(object);
        if (const CPolynomialProjection* geo = GetGeoreference()) {
            entry.record.Reset();
            object.UpdateScreenPoints(entry.record, *geo);
        }
    }
    Redraw();
}

void CRasterleafView::RebuildScreenPoints()
{
    const CPolynomialProjection* geo = GetGeoreference();
    for (auto& [key, entry] : m_overlays.Entries()) {
        entry.record.Reset();
        if (geo)
            entry.object->UpdateScreenPoints(entry.record, *geo);
    }
}

void CRasterleafView::Draw(QPainter& painter, const QRectF& dirty)
{
    if (!m_chart || m_noChart)
        return;
    painter.save();
    QRectF area = dirty;
    if (m_magnification != 1.0 && std::isfinite(m_magnification) && m_magnification > 0) {
        painter.translate(m_centreX, m_centreY);
        painter.scale(m_magnification, m_magnification);
        painter.translate(-m_centreX, -m_centreY);
        // The area the scaled painter must fill to cover the dirty rectangle.
        const double m = m_magnification;
        area = QRectF(m_centreX + (dirty.left() - m_centreX) / m, m_centreY + (dirty.top() - m_centreY) / m,
                      dirty.width() / m, dirty.height() / m);
    }
    if (m_chart->tiles)
        m_chart->tiles->Draw(painter, m_view, area);
    COverlayTool::BeginDrawPass();
    CKeptLinePixels::BeginPass();
    const IntRect visible = VisibleChartRect(m_view);
    for (COverlayDisplayList::Entry* entry : m_overlays.InDrawingOrder()) {
        if (ProjectIntoView(entry->record, m_view, visible))
            entry->object->Draw(painter, m_view, entry->record);
    }
    COverlayTool::EndDrawPass();
    painter.restore();

    if (m_titleFlag) {
        const double width = m_view.viewRect.right - m_view.viewRect.left;
        painter.save();
        painter.fillRect(QRectF(0, 0, width, kTitleStripPoints), Qt::white);
        QFont font = painter.font();
        font.setPointSizeF(11);
        painter.setFont(font);
        painter.setPen(Qt::black);
        const QRectF strip(4, 0, std::max(0.0, width - 8), kTitleStripPoints);
        painter.drawText(strip, Qt::AlignLeft | Qt::AlignVCenter,
                         QString::fromStdString(GetMapTitle() + " "));
        const std::string rights = GetRightsNotice();
        painter.drawText(strip, Qt::AlignRight | Qt::AlignVCenter,
                         QString::fromStdString(" \u00a9 " + rights));
        painter.restore();
    }
}

bool CRasterleafView::Serialize(CSerialStream& stream)
{
    if (stream.IsWriting())
        UpdateCentrePosition();
    CSerialChunk chunk(stream);
    bool ok = chunk.CheckVersion(kStateVersion);
    if (!ok) {
        chunk.Close();
        return false;
    }
    std::string path = stream.IsWriting() ? GetCurrentChartPath() : std::string();
    double lat = m_storedLat, lon = m_storedLon, scale = m_storedScale;
    bool lock = m_gpsLock;
    double lockX = m_lockX, lockY = m_lockY;
    std::string place = m_lastPlaceIndexPath;
    ok = chunk.ExchangePath(path) && ok;
    ok = chunk.Exchange(lat) && ok;
    ok = chunk.Exchange(lon) && ok;
    ok = chunk.Exchange(scale) && ok;
    ok = chunk.ExchangeBool(lock) && ok;
    ok = chunk.Exchange(lockX) && ok;
    ok = chunk.Exchange(lockY) && ok;
    ok = chunk.ExchangePath(place) && ok;
    ok = chunk.Close() && ok;
    if (!stream.IsReading() || !ok)
        return ok;

    // Saved state is outside input: values that are not usable stay at their defaults.
    if (IsCentre(lat, lon)) {
        m_storedLat = lat;
        m_storedLon = lon;
    }
    if (std::isfinite(scale))
        m_storedScale = std::max(0.0, scale);
    m_gpsLock = lock;
    if (Finite(lockX, lockY)) {
        m_lockX = lockX;
        m_lockY = lockY;
    }
    if (IsRegularFile(place))
        m_lastPlaceIndexPath = place;
    if (IsRegularFile(path)) {
        m_noChart = false;
        SwitchChart(path, false);
    } else if (IsCentre(m_storedLat, m_storedLon) && m_ports.catalog) {
        const std::string best = m_ports.catalog->FindBestChartAt(m_storedLat, m_storedLon, m_storedScale);
        if (!best.empty())
            SwitchChart(best, false);
    }
    return ok;
}
