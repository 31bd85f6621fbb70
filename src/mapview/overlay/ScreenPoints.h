#pragma once
// What the map view keeps for each displayed overlay: its geometry projected
// onto the chart (chart pixels at full resolution) and into the view (view
// pixels), its box and how it is hit-tested; and the view's mapping between
// the two.
#include "geodesy/Polygon.h"

#include <cstdint>
#include <vector>

// The map view's current mapping from chart pixels to view pixels.
struct CViewTransform
{
    int32_t zoom = 0;   // view shows 1/2^zoom (negative: magnified 2^-zoom)
    float scale = 1.0f; // view pixels per chart pixel (2^-zoom)
    double originX = 0; // chart pixel at the view's top left
    double originY = 0;
    IntRect viewRect{0, 0, 2, 2}; // view pixels

    // Sets the zoom and the matching scale.
    void SetZoom(int32_t zoomShift);

    void ChartToView(double cx, double cy, double& vx, double& vy) const;
    void ViewToChart(double vx, double vy, double& cx, double& cy) const;
    // The chart-pixel rectangle that a view rectangle shows.
    IntRect ViewRectToChartRect(const IntRect& rect) const;
    // Moves the origin so that view point (vx, vy) shows chart point (cx, cy).
    void SetOriginFor(double vx, double vy, double cx, double cy);
};

struct ScreenPoints
{
    // Hit modes.
    enum : uint32_t {
        kHitNone = 0,
        kHitPoints = 1,
        kHitPolyline = 2,
        kHitWhole = 4,
    };
    static constexpr int32_t kEmptyBox = 0x7fffffff;
    // Overlays reaching this far (view pixels) beyond the view are still
    // projected and drawn, so icons drawn around a point do not pop at the edge.
    static constexpr int32_t kViewMargin = 50;

    // Chart-pixel box of the map points; right and bottom are exclusive, so a
    // single point has a one-pixel box.
    IntRect box{kEmptyBox, kEmptyBox, kEmptyBox, kEmptyBox};
    std::vector<CPolyPoint> mapPoints;    // chart pixels, full resolution
    std::vector<CPolyPoint> screenPoints; // view pixels; emptied when the view moves
    float northX = 0;                     // unit vector of north on the chart at the object
    float northY = 0;
    uint32_t hitMode = kHitNone;
    int32_t hitPointCount = 0; // points hit-tested in mode 1

    // Empties both point lists; hit mode none; box empty.
    void Reset();
    // Box around the map points (a zero box when there are none). Points that
    // are not finite are left out.
    void ComputeBounds();
    bool HasBox() const;
};

// Projects a record for the view: false when its box lies wholly outside the
// view (with the margin), and then it is not drawn. Screen points already
// present are kept.
bool ProjectIntoView(ScreenPoints& record, const CViewTransform& view);
// The chart-pixel rectangle a record's box must meet to be drawn: the view
// with the margin. Worked out once, it serves every record of a draw pass.
IntRect VisibleChartRect(const CViewTransform& view);
bool ProjectIntoView(ScreenPoints& record, const CViewTransform& view, const IntRect& visibleChartRect);
// Whether the view point (x, y) hits the record; `displayScale` is the
// screen's points-to-pixels factor (the radius is 20 points).
bool HitTest(const ScreenPoints& record, double x, double y, double displayScale);
