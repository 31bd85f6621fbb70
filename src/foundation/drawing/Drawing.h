#pragma once
// Line and polygon drawing on any QPainter (widget, image or printer).
#include "foundation/drawing/GraphicsColor.h"

#include <QPainter>
#include <QPointF>
#include <vector>

void SetFillColor(QPainter& context, const GraphicsColor& color);
void SetStrokeColor(QPainter& context, const GraphicsColor& color);

// The dash pattern of a line style at width w, in device units: 1 dash
// [5w, w]; 2 dot [w, w]; 3 dash-dot [5w, w, w, w]; 4 dash-dot-dot
// [5w, w, w, w, w, w]; anything else solid (empty).
std::vector<double> GetLineDashPattern(int style, double width);
// Sets the line width and the dash pattern of the style. Line ends are flat,
// so dashes are exactly as long as the pattern says.
void SetLineStyle(QPainter& context, int style, double width);

void DrawLine(QPainter& context, double x1, double y1, double x2, double y2);
// An open path through n points.
void StrokePolyline(QPainter& context, const QPointF* points, int n);
// The closed path through n points, filled (and stroked).
void FillPolygon(QPainter& context, const QPointF* points, int n);
void FillStrokePolygon(QPainter& context, const QPointF* points, int n);
void FillRectangle(QPainter& context, int x, int y, int width, int height, const GraphicsColor& color);
