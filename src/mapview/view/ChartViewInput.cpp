// Input of the chart view: press, drag, release and tap, right click, the
// pinch and scroll gestures, the wheel and the keys. The window only turns
// its events into these calls, so all of it runs without one.
//
// Overlays offered a tap may delete themselves or add new overlays (a tapped
// mark merged into a route, a new route point): hits are collected first and
// each is checked to be still shown, by its display-list key, before it is
// offered anything.
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/menus/MenuTree.h"
#include "foundation/notify/StatusLine.h"
#include "foundation/util/PortSlot.h"
#include "mapview/overlay/OverlayTool.h"
#include "mapview/view/ChartInputPorts.h"
#include "mapview/view/RasterleafView.h"
#include "mapview/view/ViewPlaces.h"

#include <QPoint>
#include <QRectF>
#include <algorithm>
#include <cmath>
#include <qnamespace.h>
#include <string_view>

using view_places::Finite;

namespace {

// A pointer that moved this far from the press point no longer taps.
constexpr double kTapSlopSquared = 9.0;
// A pinch or precise scroll without events this long has ended.
constexpr double kGestureIdleSeconds = 0.25;
constexpr double kMinPinchDistance = 0.05;
constexpr double kMinMagnification = 0.25;
constexpr double kMaxMagnification = 4.0;
constexpr int kWheelStep = 120;
// At most this many zoom steps are kept from one burst of wheel events.
constexpr int kWheelLimit = 4 * kWheelStep;
constexpr double kArrowPixels = 100.0;

} // namespace

COverlayTap CRasterleafView::MakeTap(double x, double y) const
{
    COverlayTap tap;
    tap.x = x;
    tap.y = y;
    double lat = 0, lon = 0;
    if (ScreenToLatLon(x, y, lat, lon) && Finite(lat, lon)) {
        tap.latitude = lat;
        tap.longitude = lon;
    }
    return tap;
}

void CRasterleafView::ProjectOverlaysIntoView()
{
    for (COverlayDisplayList::Entry* entry : m_overlays.InDrawingOrder())
        ProjectIntoView(entry->record, m_view);
}

std::vector<CRasterleafView::OverlayHit> CRasterleafView::CollectOverlayHits(double x, double y)
{
    std::vector<OverlayHit> hits;
    if (!GetGeoreference() || m_noChart)
        return hits;
    // Screen points are emptied by every pan and rebuilt by the next draw;
    // the press may come first.
    ProjectOverlaysIntoView();
    // Topmost first: what is drawn last lies over the rest.
    auto& entries = m_overlays.Entries();
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        if (HitTest(it->second.record, x, y, 1.0))
            hits.push_back(OverlayHit{it->first, it->second.object});
    return hits;
}

bool CRasterleafView::IsStillShown(const OverlayHit& hit) const
{
    const auto& entries = m_overlays.Entries();
    const auto found = entries.find(hit.key);
    return found != entries.end() && found->second.object == hit.object;
}

void CRasterleafView::Press(double x, double y, bool hitTest)
{
    if (!Finite(x, y))
        return;
    m_input.pressX = m_input.lastX = x;
    m_input.pressY = m_input.lastY = y;
    m_input.tapCancelled = false;
    m_input.pressedOverlay = false;
    m_input.pressedObject = nullptr;
    m_input.pressedToolObject = false;
    m_input.pressedLabelTool = nullptr;
    m_input.toolDragged = false;
    // A press on the shown label of the active tool belongs to the tool.
    const COverlayTool* active = COverlayTool::GetActiveTool();
    if (hitTest && active && !active->GetText().empty() && active->LastLabelRect().contains(x, y)) {
        m_input.pressedLabelTool = active;
        hitTest = false;
    }
    if (hitTest) {
        const COverlayTap tap = MakeTap(x, y);
        for (const OverlayHit& hit : CollectOverlayHits(x, y)) {
            if (!IsStillShown(hit))
                continue;
            if (hit.object->OnDoubleTap(*this, tap)) {
                // The object may be gone already; the key tells on use.
                m_input.pressedOverlay = true;
                m_input.pressedKey = hit.key;
                m_input.pressedObject = hit.object;
                const COverlayTool* tool = COverlayTool::GetActiveTool();
                m_input.pressedToolObject =
                    tool && (tool->GetMark() == hit.object || tool->GetTrackSection() == hit.object);
                break;
            }
        }
    }
    m_pan.Press(x, y, Now());
    m_animating = true;
}

void CRasterleafView::DragTo(double x, double y)
{
    if (!Finite(x, y))
        return;
    if (!m_pan.IsPressed()) {
        // A drag that began outside the view or with another button.
        Press(x, y, false);
        return;
    }
    const double fx = x - m_input.pressX, fy = y - m_input.pressY;
    if (fx * fx + fy * fy >= kTapSlopSquared)
        m_input.tapCancelled = true;
    COverlayTool* tool = COverlayTool::GetActiveTool();
    if (tool && m_input.pressedOverlay && m_input.pressedToolObject &&
        IsStillShown(OverlayHit{m_input.pressedKey, m_input.pressedObject})) {
        const float dx = float(x - m_input.lastX), dy = float(y - m_input.lastY);
        m_input.lastX = x;
        m_input.lastY = y;
        m_input.toolDragged = true;
        tool->DragBy(dx, dy);
        return;
    }
    m_input.lastX = x;
    m_input.lastY = y;
    const CPanGesture::Step step = m_pan.DragTo(x, y, Now(), m_view.zoom);
    if (!step.IsZero())
        PanBy(double(step.dx), double(step.dy));
}

void CRasterleafView::Release()
{
    const bool wasPressed = m_pan.IsPressed();
    m_pan.Release();
    const bool hadOverlay = m_input.pressedOverlay;
    const OverlayHit pressed{m_input.pressedKey, m_input.pressedObject};
    m_input.pressedOverlay = false;
    m_input.pressedObject = nullptr;
    EndToolDrag();
    const COverlayTool* labelTool = m_input.pressedLabelTool;
    m_input.pressedLabelTool = nullptr;
    if (!wasPressed || m_input.tapCancelled)
        return;
    m_input.tapCancelled = true;
    if (labelTool) {
        // A tap on the label opens the action menu of the tool's object.
        if (COverlayTool* tool = COverlayTool::GetActiveTool(); tool == labelTool)
            tool->Tap();
        return;
    }
    TapAt(m_input.pressX, m_input.pressY, MakeTap(m_input.pressX, m_input.pressY), hadOverlay, pressed);
}

void CRasterleafView::EndToolDrag()
{
    if (!m_input.toolDragged)
        return;
    m_input.toolDragged = false;
    if (COverlayTool* tool = COverlayTool::GetActiveTool())
        tool->EndDrag();
}

void CRasterleafView::CancelPress()
{
    m_pan.Release();
    m_input.tapCancelled = true;
    m_input.pressedOverlay = false;
    m_input.pressedObject = nullptr;
    m_input.pressedLabelTool = nullptr;
    EndToolDrag();
}

bool CRasterleafView::TapAt(double x, double y, const COverlayTap& tap, bool hadPressedOverlay,
                            const OverlayHit& pressed)
{
    if (!GetGeoreference() || m_noChart)
        return false;
    if (hadPressedOverlay) {
        // The press was that overlay's: the tap goes to it alone, so one
        // click never acts on two objects.
        return IsStillShown(pressed) && pressed.object->OnTap(*this, tap);
    }
    for (const OverlayHit& hit : CollectOverlayHits(x, y))
        if (IsStillShown(hit) && hit.object->OnTap(*this, tap))
            return true;
    COverlayTool::EndActiveTool();
    ClearStatusMessage();

    double lat = 0, lon = 0;
    if (!m_ports.catalog || !ScreenToLatLon(x, y, lat, lon) || !Finite(lat, lon) || ChartContains(lat, lon))
        return false;
    const CPolynomialProjection* geo = GetGeoreference();
    double cx = 0, cy = 0;
    m_view.ViewToChart(m_centreX, m_centreY, cx, cy);
    double scale = geo->ScaleAt(cx, cy);
    if (!std::isfinite(scale) || scale < 0)
        scale = 0;
    const std::string best = m_ports.catalog->FindBestChartAt(lat, lon, scale);
    if (!best.empty() && best != m_chart->path)
        SwitchChart(best, true);
    return false;
}

void CRasterleafView::RightClick(double x, double y)
{
    if (!Finite(x, y) || !GetGeoreference() || m_noChart)
        return;
    const COverlayTap tap = MakeTap(x, y);
    for (const OverlayHit& hit : CollectOverlayHits(x, y))
        if (IsStillShown(hit) && hit.object->ShowActionMenu(*this, tap))
            return;
    double lat = 0, lon = 0;
    if (!m_ports.catalog || !ScreenToLatLon(x, y, lat, lon) || !Finite(lat, lon))
        return;
    const std::vector<IChartCatalog::ChartAtPoint> charts = m_ports.catalog->ListChartsAt(lat, lon);
    if (charts.empty())
        return;
    // Flat: chart names may hold ':'.
    auto menu = std::make_unique<CActionSheetMenu>("Maps at cursor", nullptr);
    const std::weak_ptr<int> alive = m_alive;
    for (const IChartCatalog::ChartAtPoint& chart : charts) {
        const std::string path = chart.path;
        menu->AddActionSheetFunc(chart.name, CMenuTree::kPlain, [this, alive, path] {
            if (!alive.expired())
                SwitchChart(path, true);
        });
    }
    CMenuTree::PopUp(std::move(menu), m_ports.host ? m_ports.host->MenuParent() : nullptr,
                     QPoint(int(std::lround(x)), int(std::lround(y))));
}

void CRasterleafView::ZoomStep(int delta, double x, double y)
{
    const int32_t zoom = m_view.zoom + delta;
    if (zoom < kMinZoom || zoom > m_maxZoomOut)
        return;
    double cx = 0, cy = 0, lx = 0, ly = 0;
    m_view.ViewToChart(x, y, cx, cy);
    m_view.ViewToChart(m_lockX, m_lockY, lx, ly);
    m_view.SetZoom(zoom);
    m_view.SetOriginFor(x, y, cx, cy);
    if (m_gpsLock) {
        // The lock point stays on the own ship's chart point.
        double vx = 0, vy = 0;
        m_view.ChartToView(lx, ly, vx, vy);
        if (Finite(vx, vy)) {
            m_lockX = vx;
            m_lockY = vy;
        }
    }
    AlignOrigin();
    ViewMoved();
}

void CRasterleafView::Magnify(double x, double y, double amount)
{
    if (amount == 0 || !std::isfinite(amount) || !Finite(x, y) || !m_chart || m_noChart) {
        if (amount == 0)
            EndGesture();
        return;
    }
    if (!m_input.pinching) {
        m_input.pinching = true;
        m_input.pinchDistance = 1.0;
        m_input.startMagnification = 1.0;
        Press(x, y, false);
        // A gesture never taps.
        m_input.tapCancelled = true;
    }
    m_input.lastGestureTime = Now();
    // The gesture's end zooms about where the fingers are now, not where they began.
    m_input.lastX = x;
    m_input.lastY = y;
    m_input.pinchDistance = std::max(kMinPinchDistance, m_input.pinchDistance + amount);
    const CPanGesture::Step step = m_pan.DragTo(x, y, Now(), m_view.zoom);
    if (!step.IsZero())
        PanBy(double(step.dx), double(step.dy));
    m_magnification =
        std::clamp(m_input.pinchDistance * m_input.startMagnification, kMinMagnification, kMaxMagnification);
    while (m_magnification > 1.75 && m_view.zoom >= -1) {
        m_magnification /= 2;
        m_input.startMagnification /= 2;
        ZoomStep(-1, x, y);
    }
    Redraw();
}

void CRasterleafView::EndGesture()
{
    if (!m_input.pinching)
        return;
    m_input.pinching = false;
    m_pan.Release();
    m_input.tapCancelled = true;
    if (!m_chart || m_noChart)
        return;
    if (!std::isfinite(m_magnification) || m_magnification <= 0)
        m_magnification = 1.0;
    const double mag = m_magnification;
    if (GetSettings().changeScaleByZooming && m_ports.catalog) {
        UpdateCentrePosition();
        std::string other;
        if (mag < 0.7 && m_view.zoom >= m_maxZoomOut - 1)
            other = m_ports.catalog->FindHigherScaleChartAt(m_storedLat, m_storedLon);
        else if (mag > 1.75 && m_view.zoom < 0)
            other = m_ports.catalog->FindLowerScaleChartAt(m_storedLat, m_storedLon);
        if (!other.empty() && other != m_chart->path) {
            // The new chart opens at the scale the gesture showed.
            m_storedScale /= mag;
            SwitchChart(other, false);
            return;
        }
    }
    if (mag > 1.75 && m_view.zoom <= kMinZoom && m_ports.catalog && m_ports.catalog->ChartCount() == 1 &&
        m_ports.host)
        m_ports.host->ShowHint(kOneChartHint);
    const double x = m_input.lastX, y = m_input.lastY;
    if (m_magnification > 1.0) {
        while (m_magnification > 1.01 && m_view.zoom >= -1) {
            m_magnification /= 2;
            ZoomStep(-1, x, y);
        }
        m_magnification = std::min(m_magnification, 2.0);
    } else {
        while (m_magnification < 0.99 && m_view.zoom < m_maxZoomOut) {
            m_magnification *= 2;
            ZoomStep(1, x, y);
        }
        m_magnification = std::max(m_magnification, 0.5);
    }
    m_animating = true;
    Redraw();
}

void CRasterleafView::CheckGestureTimeout()
{
    // Not every device reports the end of a scroll; the view must never stay pressed.
    if (m_input.pinching && !(Now() - m_input.lastGestureTime < kGestureIdleSeconds))
        EndGesture();
}

void CRasterleafView::ScrollPixels(double x, double y, double dx, double dy)
{
    if (!Finite(dx, dy))
        return;
    if (!GetSettings().useMagicMouse) {
        PanBy(2 * dx, 2 * dy);
        return;
    }
    const double distance = m_input.pinching ? m_input.pinchDistance : 1.0;
    Magnify(x, y, dy != 0 ? dy * distance / 100 : 0.0);
}

void CRasterleafView::ScrollWheel(double x, double y, int angleDelta)
{
    if (angleDelta == 0 || !Finite(x, y))
        return;
    // A turn the other way starts afresh.
    if ((angleDelta > 0) != (m_input.wheelAngle > 0))
        m_input.wheelAngle = 0;
    m_input.wheelAngle = std::clamp(m_input.wheelAngle + std::clamp(angleDelta, -kWheelLimit, kWheelLimit),
                                    -kWheelLimit, kWheelLimit);
    while (m_input.wheelAngle >= kWheelStep) {
        m_input.wheelAngle -= kWheelStep;
        ZoomAbout(-1, x, y);
    }
    while (m_input.wheelAngle <= -kWheelStep) {
        m_input.wheelAngle += kWheelStep;
        ZoomAbout(1, x, y);
    }
}

void CRasterleafView::InputFocusLost()
{
    EndGesture();
    if (m_pan.IsPressed())
        CancelPress();
    m_input.wheelAngle = 0;
}

bool CRasterleafView::KeyDown(int key, const std::string& text)
{
    switch (key) {
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        if (COverlayTool* tool = COverlayTool::GetActiveTool()) {
            COverlayObject* mark = tool->GetMark();
            COverlayObject* section = mark ? nullptr : tool->GetTrackSection();
            if (mark || section)
                Port<IChartDeleteTool>().DeleteToolObject(mark, section);
        }
        return true;
    case Qt::Key_Left:
        PanBy(kArrowPixels, 0);
        return true;
    case Qt::Key_Right:
        PanBy(-kArrowPixels, 0);
        return true;
    case Qt::Key_Down:
        PanBy(0, -kArrowPixels);
        return true;
    case Qt::Key_Up:
        PanBy(0, kArrowPixels);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        RunPendingAction();
        return true;
    default:
        break;
    }
    std::string_view c = text;
    if (c.empty())
        c = key == Qt::Key_Plus ? "+" : key == Qt::Key_Minus ? "-" : key == Qt::Key_Equal ? "=" : "";
    if (c == "\n" || c == "\r") {
        RunPendingAction();
    } else if (c == "+" || c == "=") {
        ZoomAboutCentre(-1);
    } else if (c == "-") {
        ZoomAboutCentre(1);
    } else if (c == "I" || c == "i" || c == "O" || c == "o") {
        double lat = 0, lon = 0;
        if (!m_chart || m_noChart || !m_ports.catalog || !GetCentreLatLon(lat, lon))
            return true;
        const bool detailed = c == "I" || c == "i";
        const std::string other = detailed ? m_ports.catalog->FindLowerScaleChartAt(lat, lon)
                                           : m_ports.catalog->FindHigherScaleChartAt(lat, lon);
        if (!other.empty() && other != m_chart->path)
            SwitchChart(other, true);
    } else {
        return false;
    }
    return true;
}
