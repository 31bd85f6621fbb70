// Chart switching of the chart view: which chart opens, when the view moves
// to another one, and the map-store look-up when no chart covers a place.
#include "mapview/view/RasterleafView.h"

#include "charts/ChartFileUse.h"
#include "charts/mapstore/MapStore.h"
#include "foundation/util/Files.h"
#include "geodesy/Units.h"
#include "mapview/units/UnitsMenus.h"
#include "mapview/view/ViewPlaces.h"

#include <algorithm>
#include <cmath>

using view_places::Finite;
using view_places::IsCentre;

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
    m_chartPending = false;
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

void CRasterleafView::ReopenAtCentre()
{
    if (!m_chart && IsCentre(m_storedLat, m_storedLon))
        GoToPosition(m_storedLat, m_storedLon, m_storedScale);
}

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

void CRasterleafView::UseMetricGrid()
{
    // The maps of that store area are drawn on the national grid in metres.
    CUnitsMenus::ChooseUnitSystem(CUnits::kMetric);
    if (const CUnits::PositionFormatType* grid = CUnits::PositionFormatType::Find("British National Grid"))
        CUnitsMenus::ChoosePositionFormat(*grid);
}

void CRasterleafView::ReleaseChartFiles(const std::vector<std::string>& paths)
{
    if (!m_chart)
        return;
    const CFileId open = GetFileId(m_chart->path);
    for (const std::string& path : paths) {
        if (path == m_chart->path || GetFileId(path) == open) {
            m_releasedChart = m_chart->path;
            CloseChart();
            return;
        }
    }
}

void CRasterleafView::ReacquireChartFiles(const std::vector<std::string>&)
{
    if (m_releasedChart.empty())
        return;
    const std::string path = std::move(m_releasedChart);
    m_releasedChart.clear();
    // Another chart opened meanwhile (the user moved on): that one stays.
    if (!m_chart && !m_switchPending)
        OpenChart(path);
}
