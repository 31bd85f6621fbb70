// Navigation of the chart view: the centre, the scale, zoom, pan and the
// animation tick, and the transform kept aligned to device pixels.
#include "mapview/view/RasterleafView.h"

#include "geodesy/LocalPlane.h"
#include "mapview/view/ViewPlaces.h"

#include <algorithm>
#include <cmath>

using view_places::Finite;
using view_places::IsCentre;

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

void CRasterleafView::ShowArea(double west, double east, double south, double north)
{
    if (CRasterleafView* view = Global())
        view->ShowAreaHere(west, east, south, north);
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
    m_pan.Stop();
    m_lockX = m_centreX;
    m_lockY = m_centreY;
    if (IsCentre(m_ownLat, m_ownLon))
        CentreOn(m_ownLat, m_ownLon, false);
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
        m_ports.host->ShowHint(kOneChartHint);
        return;
    }
    if (delta == 0 || (delta > 0 && m_view.zoom >= m_maxZoomOut) || (delta < 0 && m_view.zoom <= kMinZoom)) {
        Redraw();
        return;
    }
    m_magnification *= delta > 0 ? 1.5 : 0.75;
    // Keeps the lock point on the own ship, as pinches do: a wheel zoom about
    // the pointer must not snap back at the next fix.
    ZoomStep(delta, x, y);
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
    const double oldX = m_view.originX, oldY = m_view.originY;
    m_view.originX -= dx / m_view.scale;
    m_view.originY -= dy / m_view.scale;
    ClampView();
    AlignOrigin();
    if (m_gpsLock) {
        // The own ship moves with the picture, as far as the chart's edge let
        // it move; once it leaves the view the user has panned away from it.
        m_lockX += (oldX - m_view.originX) * m_view.scale;
        m_lockY += (oldY - m_view.originY) * m_view.scale;
        const IntRect& r = m_view.viewRect;
        if (m_lockX < r.left || m_lockX > r.right || m_lockY < r.top || m_lockY > r.bottom)
            m_gpsLock = false;
    }
    ViewMoved();
}

void CRasterleafView::OnTimer()
{
    CheckGestureTimeout();
    if (m_animating && !m_pan.IsPressed()) {
        const CPanGesture::Step step = m_pan.Tick(m_view.zoom);
        if (m_magnification < 1.0)
            m_magnification = std::min(1.0, m_magnification + 0.25);
        else if (m_magnification > 1.0)
            m_magnification = std::max(1.0, m_magnification - 0.25);
        if (step.IsZero() && m_magnification == 1.0) {
            m_animating = false;
            m_pan.Stop();
            Redraw();
        } else if (!step.IsZero()) {
            PanBy(double(step.dx), double(step.dy));
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
