#include "mapview/view/RasterleafView.h"

#include "charts/mapstore/MapStore.h"
#include "foundation/events/Heartbeat.h"
#include "geodesy/LocalPlane.h"
#include "geodesy/Units.h"
#include "mapview/units/UnitsMenus.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QRectF>
#include <algorithm>
#include <cmath>
#include <sys/stat.h>

namespace {

CRasterleafView* gChartView = nullptr;

bool IsRegularFile(const std::string& path)
{
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool Finite(double a, double b)
{
    return std::isfinite(a) && std::isfinite(b);
}

// A stored centre that can be placed (999 marks "none").
bool IsCentre(double latitude, double longitude)
{
    return Finite(latitude, longitude) && std::fabs(latitude) < 90.0 && std::fabs(longitude) <= 400.0;
}

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

void CRasterleafView::UseMetricGrid()
{
    // The maps of that store area are drawn on the national grid in metres.
    CUnitsMenus::ChooseUnitSystem(CUnits::kMetric);
    if (const CUnits::PositionFormatType* grid = CUnits::PositionFormatType::Find("British National Grid"))
        CUnitsMenus::ChoosePositionFormat(*grid);
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

// ---- chart switching -------------------------------------------------------

void CRasterleafView::OpenChart(const std::string& path)
{
    m_noChart = false;
    SwitchChart(path.empty() ? m_currentName : path, false);
}

void CRasterleafView::SwitchChart(const std::string& path, bool keepCentre)
{
    if (path.empty())
        return;
    if (m_chart && path == m_chart->path && !m_switchPending) {
        RebuildScreenPoints();
        Redraw();
        return;
    }
    if (keepCentre)
        UpdateCentrePosition();
    CloseChartFile();
    m_noChart = true;
    m_requestedName = path;
    m_switchPending = true;
    m_magnification = 1.0;
    const uint64_t sequence = ++m_switchSequence;
    if (!m_ports.opener) {
        ChartOpenDone(sequence, path, -1, nullptr);
        return;
    }
    std::weak_ptr<int> alive = m_alive;
    m_ports.opener->Open(path,
                         [this, alive, sequence, path](int status, std::unique_ptr<COpenedChart> chart) {
                             if (!alive.expired())
                                 ChartOpenDone(sequence, path, status, std::move(chart));
                         });
}

void CRasterleafView::ChartOpenDone(uint64_t sequence, const std::string& path, int status,
                                    std::unique_ptr<COpenedChart> chart)
{
    // A newer switch started meanwhile: this one no longer counts.
    if (sequence != m_switchSequence)
        return;
    m_switchPending = false;
    if (status != 0 || !chart || !chart->georeference.IsValid()) {
        // A chart that reported an error is closed, never shown half set up.
        chart.reset();
        FailSwitch(path);
        return;
    }
    m_chart = std::move(chart);
    m_chart->path = path;
    m_maxZoomOut = m_chart->chunked ? 2 : 3;
    RebuildScreenPoints();
    RestoreView();
    m_currentName = path;
    if (m_ports.catalog)
        m_ports.catalog->SetCurrentChart(path);
    if (m_gpsLock && IsCentre(m_ownLat, m_ownLon) && !ChartContains(m_ownLat, m_ownLon))
        m_gpsLock = false;
    m_noChart = false;
    Redraw();
    if (m_chartOpened)
        m_chartOpened();
    if (m_ports.host)
        m_ports.host->ChartOpened();
}

void CRasterleafView::FailSwitch(const std::string& requested)
{
    m_noChart = false;
    // Back to the chart shown before, when that is another file that is still there.
    if (!m_currentName.empty() && requested != m_currentName && IsRegularFile(m_currentName)) {
        SwitchChart(m_currentName, false);
        return;
    }
    if (m_ports.host)
        m_ports.host->ChartOpened();
    Redraw();
}

void CRasterleafView::CloseChartFile()
{
    if (m_ports.catalog)
        m_ports.catalog->ClearCurrentChart();
    // The georeference goes with the chart: nothing converts through a closed chart.
    m_chart.reset();
}

void CRasterleafView::CloseChart()
{
    UpdateCentrePosition();
    m_noChart = true;
    CloseChartFile();
    if (m_ports.host)
        m_ports.host->ChartOpened();
    Redraw();
}

void CRasterleafView::RestoreView()
{
    const CPolynomialProjection& geo = m_chart->georeference;
    if (m_view.zoom > m_maxZoomOut)
        m_view.SetZoom(m_maxZoomOut);
    double px = 0, py = 0;
    if (!IsCentre(m_storedLat, m_storedLon) || !geo.LatLonToPoint(m_storedLat, m_storedLon, px, py)) {
        // Nothing to restore: the chart's middle at the screen centre.
        m_view.SetOriginFor(m_centreX, m_centreY, geo.Width() / 2.0, geo.Height() / 2.0);
        AlignOrigin();
        return;
    }
    if (m_storedScale > 0) {
        double r = geo.ScaleAt(px, py) / m_storedScale;
        int32_t zoom = 0;
        if (std::isfinite(r)) {
            if (r > 1.5) {
                r *= 0.5;
                zoom = -1;
                if (r > 1.5) {
                    r *= 0.5;
                    zoom = -2;
                }
            }
            while (r < 0.75 && zoom < m_maxZoomOut) {
                r *= 2;
                ++zoom;
            }
        }
        m_view.SetZoom(zoom);
    }
    m_view.SetOriginFor(m_centreX, m_centreY, px, py);
    AlignOrigin();
}

// ---- position and scale ----------------------------------------------------

void CRasterleafView::UpdateCentrePosition()
{
    const CPolynomialProjection* geo = GetGeoreference();
    if (!geo)
        return;
    double cx = 0, cy = 0, lat = 0, lon = 0;
    m_view.ViewToChart(m_centreX, m_centreY, cx, cy);
    geo->PixelToLatLon(cx, cy, lat, lon);
    const double scale = geo->ScaleAt(cx, cy) * std::ldexp(1.0, m_view.zoom);
    if (!Finite(lat, lon) || !std::isfinite(scale))
        return;
    m_storedLat = lat;
    m_storedLon = lon;
    m_storedScale = std::max(0.0, scale);
}

bool CRasterleafView::GetCentreLatLon(double& latitude, double& longitude) const
{
    if (const CPolynomialProjection* geo = GetGeoreference(); geo && !m_noChart) {
        double cx = 0, cy = 0;
        m_view.ViewToChart(m_centreX, m_centreY, cx, cy);
        geo->PixelToLatLon(cx, cy, latitude, longitude);
        return Finite(latitude, longitude);
    }
    if (!m_noChart)
        return false;
    latitude = m_storedLat;
    longitude = m_storedLon;
    return true;
}

double CRasterleafView::GetCentreScale() const
{
    const CPolynomialProjection* geo = GetGeoreference();
    if (!geo)
        return 0;
    double cx = 0, cy = 0;
    m_view.ViewToChart(m_centreX, m_centreY, cx, cy);
    return geo->ScaleAt(cx, cy) * std::ldexp(1.0, m_view.zoom) / m_magnification;
}

bool CRasterleafView::ScreenToLatLon(double x, double y, double& latitude, double& longitude) const
{
    const CPolynomialProjection* geo = GetGeoreference();
    if (!geo)
        return false;
    double cx = 0, cy = 0;
    m_view.ViewToChart(x, y, cx, cy);
    geo->PixelToLatLon(cx, cy, latitude, longitude);
    return true;
}

bool CRasterleafView::LatLonToScreen(double latitude, double longitude, double& x, double& y) const
{
    const CPolynomialProjection* geo = GetGeoreference();
    if (!geo || !Finite(latitude, longitude))
        return false;
    double cx = 0, cy = 0;
    geo->LatLonToPixel(latitude, longitude, cx, cy);
    m_view.ChartToView(cx, cy, x, y);
    return true;
}

bool CRasterleafView::GoToPosition(double latitude, double longitude, double scale)
{
    if (!Finite(latitude, longitude) || !std::isfinite(scale))
        return false;
    if (latitude < -90 || latitude > 90 || longitude < -400 || longitude > 400 ||
        (latitude == 0 && longitude == 0))
        return false;
    m_storedLat = latitude;
    m_storedLon = longitude;
    m_storedScale = std::max(0.0, scale);
    const std::string best = m_ports.catalog
                                 ? m_ports.catalog->FindBestChartAt(latitude, longitude, m_storedScale)
                                 : std::string();
    if (!best.empty()) {
        if (m_chart && best == m_chart->path && !m_switchPending) {
            // Same chart: the view still moves to the place asked for.
            m_noChart = false;
            RestoreView();
            ViewMoved();
            return true;
        }
        SwitchChart(best, false);
        return true;
    }
    m_noChart = true;
    FetchFromMapStore(latitude, longitude);
    Redraw();
    return true;
}

void CRasterleafView::ShowArea(double west, double east, double south, double north)
{
    if (gChartView)
        gChartView->ShowAreaHere(west, east, south, north);
}

void CRasterleafView::ShowAreaHere(double west, double east, double south, double north)
{
    if (!Finite(west, east) || !Finite(south, north))
        return;
    const double lat = (south + north) / 2, lon = (west + east) / 2;
    CLocalPlane plane(lat, lon);
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    plane.ToXY(south, west, x0, y0);
    plane.ToXY(north, east, x1, y1);
    const double width = m_view.viewRect.right - m_view.viewRect.left;
    const double height = m_view.viewRect.bottom - m_view.viewRect.top;
    const double ew = width > 0 ? std::fabs(x1 - x0) / width : 0;
    const double ns = height > 0 ? std::fabs(y1 - y0) / height : 0;
    double scale = std::max(ew, ns) * 1.5 / 1852.0;
    if (!std::isfinite(scale))
        scale = 0;
    m_gpsLock = false;
    GoToPosition(lat, lon, scale);
}

bool CRasterleafView::ChartContains(double latitude, double longitude)
{
    bool known = false;
    if (m_ports.catalog) {
        const bool inside = m_ports.catalog->CurrentContains(latitude, longitude, known);
        if (known)
            return inside;
    }
    // No outline listed for the open chart: its image decides.
    const CPolynomialProjection* geo = GetGeoreference();
    int x = 0, y = 0;
    return geo && geo->LatLonToPixelInside(latitude, longitude, x, y);
}

bool CRasterleafView::CentreOn(double latitude, double longitude, bool setLockPoint)
{
    if (m_noChart || !Finite(latitude, longitude))
        return false;
    if (m_chart && ChartContains(latitude, longitude)) {
        double px = 0, py = 0;
        m_chart->georeference.LatLonToPixel(latitude, longitude, px, py);
        if (!Finite(px, py))
            return false;
        if (setLockPoint) {
            m_view.SetOriginFor(m_centreX, m_centreY, px, py);
            m_gpsLock = false;
            m_lockX = m_centreX;
            m_lockY = m_centreY;
        } else {
            m_view.SetOriginFor(m_lockX, m_lockY, px, py);
        }
        ClampView();
        AlignOrigin();
        ViewMoved();
        return true;
    }
    UpdateCentrePosition();
    m_storedLat = latitude;
    m_storedLon = longitude;
    return GoToPosition(latitude, longitude, m_storedScale);
}

void CRasterleafView::SetGPSLock(bool on)
{
    m_gpsLock = on;
    if (!on)
        return;
    m_panVX = m_panVY = 0;
    m_lockX = m_centreX;
    m_lockY = m_centreY;
    if (IsCentre(m_ownLat, m_ownLon))
        CentreOn(m_ownLat, m_ownLon, false);
}

void CRasterleafView::ReopenAtCentre()
{
    if (!m_chart && IsCentre(m_storedLat, m_storedLon))
        GoToPosition(m_storedLat, m_storedLon, m_storedScale);
}

void CRasterleafView::SetViewRect(double left, double top, double width, double height)
{
    if (!Finite(left, top) || !Finite(width, height) || width < 1 || height < 1)
        return;
    const double oldW = std::max(1, m_view.viewRect.right - m_view.viewRect.left);
    const double oldH = std::max(1, m_view.viewRect.bottom - m_view.viewRect.top);
    double fx = m_lockX / oldW, fy = m_lockY / oldH;
    if (fx < 0 || fx > 1 || fy < 0 || fy > 1)
        fx = fy = 0.5;
    double cx = 0, cy = 0;
    m_view.ViewToChart(m_centreX, m_centreY, cx, cy);
    m_view.viewRect = IntRect{int32_t(left), int32_t(top), int32_t(left + width), int32_t(top + height)};
    m_centreX = width / 2;
    m_centreY = height / 2;
    m_lockX = fx * width;
    m_lockY = fy * height;
    if (m_gpsLock && m_chart && !m_noChart && IsCentre(m_ownLat, m_ownLon) &&
        ChartContains(m_ownLat, m_ownLon)) {
        CentreOn(m_ownLat, m_ownLon, false);
        return;
    }
    m_view.SetOriginFor(m_centreX, m_centreY, cx, cy);
    AlignOrigin();
    ViewMoved();
}

void CRasterleafView::SetDevicePixelRatio(double ratio)
{
    if (!std::isfinite(ratio) || ratio <= 0 || ratio == m_dpr)
        return;
    m_dpr = ratio;
    AlignOrigin();
    ViewMoved();
}

// ---- zoom, pan, animation ----------------------------------------------------

void CRasterleafView::ZoomAbout(int delta, double x, double y)
{
    if (!m_chart || m_noChart)
        return;
    delta = std::clamp(delta, -1, 1);
    m_animating = true;
    if (GetSettings().changeScaleByZooming && m_ports.catalog) {
        UpdateCentrePosition();
        std::string other;
        if (delta > 0 && m_view.zoom >= m_maxZoomOut - 1)
            other = m_ports.catalog->FindHigherScaleChartAt(m_storedLat, m_storedLon);
        else if (delta < 0 && m_view.zoom < 0)
            other = m_ports.catalog->FindLowerScaleChartAt(m_storedLat, m_storedLon);
        if (!other.empty() && other != m_chart->path) {
            // The new chart opens near the scale the zoom asked for.
            m_storedScale = m_storedScale * (delta > 0 ? 2.0 : 0.5);
            SwitchChart(other, false);
            return;
        }
    }
    if (delta < 0 && m_view.zoom <= kMinZoom && m_ports.catalog && m_ports.catalog->ChartCount() == 1 &&
        m_ports.host) {
        m_ports.host->ShowHint("To view additional maps, tap the Maps button,\nthen \"Mapvault\".\n\nSign-in "
                               "or Create an Account when prompted.");
        return;
    }
    if (delta == 0 || (delta > 0 && m_view.zoom >= m_maxZoomOut) || (delta < 0 && m_view.zoom <= kMinZoom)) {
        Redraw();
        return;
    }
    double cx = 0, cy = 0;
    m_view.ViewToChart(x, y, cx, cy);
    m_view.SetZoom(m_view.zoom + delta);
    m_view.SetOriginFor(x, y, cx, cy);
    m_magnification *= delta > 0 ? 1.5 : 0.75;
    AlignOrigin();
    ViewMoved();
}

void CRasterleafView::ZoomAboutCentre(int delta)
{
    if (m_gpsLock)
        ZoomAbout(delta, m_lockX, m_lockY);
    else
        ZoomAbout(delta, m_centreX, m_centreY);
}

void CRasterleafView::PanBy(double dx, double dy)
{
    if (!m_chart || m_noChart || !Finite(dx, dy))
        return;
    m_view.originX -= dx / m_view.scale;
    m_view.originY -= dy / m_view.scale;
    ClampView();
    AlignOrigin();
    ViewMoved();
}

void CRasterleafView::SetPanVelocity(double vx, double vy)
{
    if (!Finite(vx, vy))
        return;
    m_panVX = vx;
    m_panVY = vy;
    m_animating = true;
}

void CRasterleafView::OnTimer()
{
    if (m_animating) {
        m_panVX *= 0.9;
        m_panVY *= 0.9;
        int64_t sx = int64_t(m_panVX), sy = int64_t(m_panVY);
        if (m_view.zoom > 0) {
            const int64_t mask = ~((int64_t{1} << m_view.zoom) - 1);
            sx = sx >= 0 ? (sx & mask) : -((-sx) & mask);
            sy = sy >= 0 ? (sy & mask) : -((-sy) & mask);
        }
        if (m_magnification < 1.0)
            m_magnification = std::min(1.0, m_magnification + 0.25);
        else if (m_magnification > 1.0)
            m_magnification = std::max(1.0, m_magnification - 0.25);
        if (sx == 0 && sy == 0 && m_magnification == 1.0) {
            m_animating = false;
            m_panVX = m_panVY = 0;
            Redraw();
        } else if (sx != 0 || sy != 0) {
            PanBy(double(sx), double(sy));
        } else {
            Redraw();
        }
    }
    if (IsBusy())
        Redraw();
}

void CRasterleafView::ClampView()
{
    const CPolynomialProjection* geo = GetGeoreference();
    if (!geo)
        return;
    // The screen centre stays on the chart, so the user can never lose it.
    double cx = 0, cy = 0;
    m_view.ViewToChart(m_centreX, m_centreY, cx, cy);
    const double x = std::clamp(cx, 0.0, double(geo->Width()));
    const double y = std::clamp(cy, 0.0, double(geo->Height()));
    if (x != cx || y != cy)
        m_view.SetOriginFor(m_centreX, m_centreY, x, y);
}

void CRasterleafView::AlignOrigin()
{
    // Chart pixel edges fall on device pixel edges: the origin is a whole
    // number of device pixels, and at reduced zooms a whole block of chart pixels.
    const double unit = 1.0 / (double(m_view.scale) * m_dpr);
    const double step = std::max(unit, m_view.zoom > 0 ? std::ldexp(1.0, m_view.zoom) : 0.0);
    if (!std::isfinite(m_view.originX) || !std::isfinite(m_view.originY)) {
        m_view.originX = m_view.originY = 0;
        return;
    }
    m_view.originX = std::round(m_view.originX / step) * step;
    m_view.originY = std::round(m_view.originY / step) * step;
}

void CRasterleafView::ViewMoved()
{
    m_overlays.ClearScreenPoints();
    Redraw();
}

// ---- own fix and overlays --------------------------------------------------------

void CRasterleafView::OnGPSPosition(const CDataGPSPosition& fix)
{
    const double lat = fix.m_latitude, lon = fix.m_longitude;
    // Positions from outside are used only when they are numbers on the globe.
    if (!Finite(lat, lon) || std::fabs(lat) > 90 || std::fabs(lon) > 360)
        return;
    m_ownLat = lat;
    m_ownLon = lon;
    if (!(m_chart && !m_noChart)) {
        const Settings& settings = GetSettings();
        double clat = lat, clon = lon;
        if (std::fabs(lat) < 0.001 && std::fabs(lon) < 0.001) {
            clat = settings.defaultLat;
            clon = settings.defaultLon;
        }
        m_storedLat = clat;
        m_storedLon = clon;
        m_storedScale = 0;
        std::string best = m_ports.catalog ? m_ports.catalog->FindBestChartAt(clat, clon, 0) : std::string();
        if (best.empty() && m_ports.catalog) {
            best = m_ports.catalog->FindBestChartAt(settings.defaultLat, settings.defaultLon, kDefaultScale);
            if (!best.empty()) {
                m_storedLat = settings.defaultLat;
                m_storedLon = settings.defaultLon;
                m_storedScale = kDefaultScale;
                m_gpsLock = false;
            }
        }
        if (!best.empty()) {
            // A switch to that chart already under way is not started again.
            const bool underWay = m_switchPending && m_requestedName == best;
            const bool open = m_chart && m_chart->path == best;
            if (!underWay && !open)
                SwitchChart(best, false);
            else if (open && !m_switchPending) {
                m_noChart = false;
                RestoreView();
                ViewMoved();
            }
        } else {
            m_noChart = true;
            FetchFromMapStore(clat, clon);
        }
    }
    if (m_gpsLock)
        CentreOn(lat, lon, false);
}

void CRasterleafView::FetchFromMapStore(double latitude, double longitude)
{
    if (!m_ports.mapStore || !GetSettings().automaticDownload || m_lookupRunning)
        return;
    const std::pair<int64_t, int64_t> cell{int64_t(std::floor(latitude / kLookupCellDegrees)),
                                           int64_t(std::floor(longitude / kLookupCellDegrees))};
    const double now = Now();
    auto it = m_lookups.find(cell);
    if (it != m_lookups.end() && now - it->second < kLookupPeriodSeconds && now >= it->second)
        return;
    m_lookups[cell] = now;
    m_lookupRunning = true;
    std::weak_ptr<int> alive = m_alive;
    m_ports.mapStore->FetchMapAt(
        latitude, longitude,
        [this, alive](int status, const std::string& name, const std::string& localPath) {
            if (alive.expired())
                return;
            m_lookupRunning = false;
            if (name.find("miniscale") != std::string::npos)
                UseMetricGrid();
            if (status == 0 && !localPath.empty() && (m_noChart || !m_chart))
                SwitchChart(localPath, false);
        });
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

// ---- drawing ---------------------------------------------------------------------

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
    for (COverlayDisplayList::Entry* entry : m_overlays.InDrawingOrder()) {
        if (ProjectIntoView(entry->record, m_view))
            entry->object->Draw(painter, m_view, entry->record);
    }
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

// ---- state chunk ---------------------------------------------------------------------

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
