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

// The part of the painter's device that user coordinates reach, in user
// coordinates: false where that is not known (printers, transforms that do
// not invert), and then nothing may be left out as unseen.
bool GetVisibleUserRect(const QPainter& context, QRectF& rect);
// The first and last index of the part of the open polyline through n points
// that can show within `visible`: runs of segments at either end that lie
// wholly beyond one side of it grown by `margin` are left off. For solid
// lines only: the dash phase would move. The margin must cover how far the
// pen's joins reach from a point.
void TrimPolylineToRect(const QPointF* points, int n, const QRectF& visible, double margin, int& first,
                        int& last);

void DrawLine(QPainter& context, double x1, double y1, double x2, double y2);
// An open path through n points.
void StrokePolyline(QPainter& context, const QPointF* points, int n);
// The closed path through n points, filled (and stroked).
void FillPolygon(QPainter& context, const QPointF* points, int n);
void FillStrokePolygon(QPainter& context, const QPointF* points, int n);
void FillRectangle(QPainter& context, int x, int y, int width, int height, const GraphicsColor& color);
