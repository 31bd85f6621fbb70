#include "foundation/drawing/Drawing.h"

#include <QPainterPath>
#include <QPen>
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
