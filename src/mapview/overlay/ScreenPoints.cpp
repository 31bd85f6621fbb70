#include "mapview/overlay/ScreenPoints.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Chart coordinates far outside any chart are clamped so that integer boxes
// never overflow.
constexpr double kCoordinateLimit = 1e9;

int32_t ClampToInt(double v)
{
    return static_cast<int32_t>(std::clamp(v, -kCoordinateLimit, kCoordinateLimit));
}

int64_t ShiftByZoom(int64_t value, int32_t zoom)
{
    if (zoom >= 0)
        return value * (int64_t{1} << std::min(zoom, 30));
    // Division rounding towards minus infinity, like an arithmetic shift.
    const int64_t d = int64_t{1} << std::min(-zoom, 30);
    return value >= 0 ? value / d : -((-value + d - 1) / d);
}

int32_t ClampInt64(int64_t v)
{
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min() / 2,
                                                    std::numeric_limits<int32_t>::max() / 2));
}

} // namespace

void CViewTransform::SetZoom(int32_t zoomShift)
{
    zoom = zoomShift;
    scale = std::ldexp(1.0f, -zoomShift);
}

void CViewTransform::ChartToView(double cx, double cy, double& vx, double& vy) const
{
    vx = (cx - originX) * scale;
    vy = (cy - originY) * scale;
}

void CViewTransform::ViewToChart(double vx, double vy, double& cx, double& cy) const
{
    cx = vx / scale + originX;
    cy = vy / scale + originY;
}

IntRect CViewTransform::ViewRectToChartRect(const IntRect& rect) const
{
    const int64_t ox = ClampToInt(originX), oy = ClampToInt(originY);
    return IntRect{
        ClampInt64(ShiftByZoom(rect.left, zoom) + ox), ClampInt64(ShiftByZoom(rect.top, zoom) + oy),
        ClampInt64(ShiftByZoom(rect.right, zoom) + ox), ClampInt64(ShiftByZoom(rect.bottom, zoom) + oy)};
}

void CViewTransform::SetOriginFor(double vx, double vy, double cx, double cy)
{
    originX = cx - vx / scale;
    originY = cy - vy / scale;
}

void ScreenPoints::Reset()
{
    mapPoints.clear();
    screenPoints.clear();
    hitMode = kHitNone;
    box = IntRect{kEmptyBox, kEmptyBox, kEmptyBox, kEmptyBox};
}

void ScreenPoints::ComputeBounds()
{
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
    bool any = false;
    for (const CPolyPoint& p : mapPoints) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y))
            continue;
        if (!any) {
            minX = maxX = p.x;
            minY = maxY = p.y;
            any = true;
            continue;
        }
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    if (!any) {
        box = IntRect{0, 0, 0, 0};
        return;
    }
    // Inclusive of every point: a lone point gets a one-pixel box that can
    // intersect the view.
    box = IntRect{ClampToInt(std::floor(minX)), ClampToInt(std::floor(minY)),
                  ClampToInt(std::floor(maxX)) + 1, ClampToInt(std::floor(maxY)) + 1};
}

bool ScreenPoints::HasBox() const
{
    return box.right > box.left && box.bottom > box.top && box.left != kEmptyBox;
}

IntRect VisibleChartRect(const CViewTransform& view)
{
    IntRect visible = view.viewRect;
    visible.left -= ScreenPoints::kViewMargin;
    visible.top -= ScreenPoints::kViewMargin;
    visible.right += ScreenPoints::kViewMargin;
    visible.bottom += ScreenPoints::kViewMargin;
    return view.ViewRectToChartRect(visible);
}

bool ProjectIntoView(ScreenPoints& record, const CViewTransform& view)
{
    return ProjectIntoView(record, view, VisibleChartRect(view));
}

bool ProjectIntoView(ScreenPoints& record, const CViewTransform& view, const IntRect& visibleChartRect)
{
    if (!record.HasBox() || !record.box.Intersects(visibleChartRect))
        return false;
    if (!record.screenPoints.empty())
        return true;
    record.screenPoints.resize(record.mapPoints.size());
    for (size_t i = 0; i < record.mapPoints.size(); ++i)
        view.ChartToView(record.mapPoints[i].x, record.mapPoints[i].y, record.screenPoints[i].x,
                         record.screenPoints[i].y);
    return true;
}

bool HitTest(const ScreenPoints& record, double x, double y, double displayScale)
{
    const double limit = 400.0 * displayScale * displayScale;
    switch (record.hitMode) {
    case ScreenPoints::kHitPoints: {
        const size_t count = std::min(record.screenPoints.size(),
                                      static_cast<size_t>(std::max<int32_t>(record.hitPointCount, 0)));
        for (size_t i = 0; i < count; ++i) {
            const double dx = record.screenPoints[i].x - x, dy = record.screenPoints[i].y - y;
            if (dx * dx + dy * dy < limit)
                return true;
        }
        return false;
    }
    case ScreenPoints::kHitPolyline: {
        CPolygon line;
        line.Points() = record.screenPoints;
        return line.IsNearFloat(static_cast<float>(x), static_cast<float>(y), static_cast<float>(limit));
    }
    case ScreenPoints::kHitWhole:
        return true;
    default:
        return false;
    }
}
