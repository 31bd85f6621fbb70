#include "foundation/drawing/Drawing.h"

#include <QImage>
#include <QPainterPath>
#include <QPen>
#include <QPixmap>
#include <cmath>

void SetFillColor(QPainter& context, const GraphicsColor& color)
{
    context.setBrush(color.ToQColor());
}

void SetStrokeColor(QPainter& context, const GraphicsColor& color)
{
    QPen pen = context.pen();
    pen.setColor(color.ToQColor());
    context.setPen(pen);
}

std::vector<double> GetLineDashPattern(int style, double width)
{
    double w = width;
    switch (style) {
    case 1:
        return {5 * w, w};
    case 2:
        return {w, w};
    case 3:
        return {5 * w, w, w, w};
    case 4:
        return {5 * w, w, w, w, w, w};
    default:
        return {};
    }
}

void SetLineStyle(QPainter& context, int style, double width)
{
    if (!std::isfinite(width) || width < 0)
        width = 0;
    QPen pen = context.pen();
    pen.setWidthF(width);
    pen.setCapStyle(Qt::FlatCap);
    std::vector<double> pattern = GetLineDashPattern(style, width);
    if (pattern.empty() || width <= 0) {
        pen.setStyle(Qt::SolidLine);
    } else {
        // Qt measures dashes in line widths.
        QList<qreal> dashes;
        for (double d : pattern)
            dashes.append(d / width);
        pen.setDashPattern(dashes);
    }
    context.setPen(pen);
}

bool GetVisibleUserRect(const QPainter& context, QRectF& rect)
{
    const QPaintDevice* device = context.device();
    if (!device)
        return false;
    QRectF logical;
    switch (device->devType()) {
    case QInternal::Image:
        logical = QRectF(QPointF(0, 0), static_cast<const QImage*>(device)->deviceIndependentSize());
        break;
    case QInternal::Pixmap:
        logical = QRectF(QPointF(0, 0), static_cast<const QPixmap*>(device)->deviceIndependentSize());
        break;
    case QInternal::Widget:
        logical = QRectF(0, 0, device->width(), device->height());
        break;
    default:
        return false;
    }
    bool invertible = false;
    const QTransform inverse = context.worldTransform().inverted(&invertible);
    if (!invertible || logical.isEmpty())
        return false;
    rect = inverse.mapRect(logical);
    return std::isfinite(rect.left()) && std::isfinite(rect.top()) && std::isfinite(rect.right()) &&
           std::isfinite(rect.bottom());
}

namespace {

// Both ends beyond the same side of the rectangle: nothing of the segment shows.
bool SegmentBeyond(const QPointF& a, const QPointF& b, const QRectF& r)
{
    return (a.x() < r.left() && b.x() < r.left()) || (a.x() > r.right() && b.x() > r.right()) ||
           (a.y() < r.top() && b.y() < r.top()) || (a.y() > r.bottom() && b.y() > r.bottom());
}

} // namespace

void TrimPolylineToRect(const QPointF* points, int n, const QRectF& visible, double margin, int& first,
                        int& last)
{
    first = 0;
    last = n - 1;
    if (!points || n < 3 || !std::isfinite(margin) || margin < 0)
        return;
    const QRectF grown = visible.adjusted(-margin, -margin, margin, margin);
    while (last - first > 1 && SegmentBeyond(points[first], points[first + 1], grown))
        ++first;
    while (last - first > 1 && SegmentBeyond(points[last - 1], points[last], grown))
        --last;
}

void DrawLine(QPainter& context, double x1, double y1, double x2, double y2)
{
    context.drawLine(QPointF(x1, y1), QPointF(x2, y2));
}

void StrokePolyline(QPainter& context, const QPointF* points, int n)
{
    if (!points || n < 2)
        return;
    context.drawPolyline(points, n);
}

void FillPolygon(QPainter& context, const QPointF* points, int n)
{
    if (!points || n < 3)
        return;
    QPainterPath path;
    path.addPolygon(QPolygonF(QList<QPointF>(points, points + n)));
    path.closeSubpath();
    context.fillPath(path, context.brush());
}

void FillStrokePolygon(QPainter& context, const QPointF* points, int n)
{
    if (!points || n < 2)
        return;
    context.drawPolygon(points, n);
}

void FillRectangle(QPainter& context, int x, int y, int width, int height, const GraphicsColor& color)
{
    context.fillRect(x, y, width, height, color.ToQColor());
}
