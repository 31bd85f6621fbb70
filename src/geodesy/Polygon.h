#pragma once
// Plane geometry on (x, y) points: chart outlines and coverage (degrees),
// hit-testing of lines drawn on the map and screen rectangles (pixels).
#include <cstddef>
#include <cstdint>
#include <vector>

struct CPolyPoint
{
    double x = 0;
    double y = 0;
};

class CPolygon
{
public:
    CPolygon() = default;
    // The four corners of a rectangle, starting at (x, y) and going round.
    CPolygon(double x, double y, double width, double height);

    void Add(double x, double y) { m_points.push_back({x, y}); }
    void Clear() { m_points.clear(); }
    size_t Size() const { return m_points.size(); }
    const std::vector<CPolyPoint>& Points() const { return m_points; }
    std::vector<CPolyPoint>& Points() { return m_points; }
    int Flags() const { return m_flags; }
    void SetFlags(int flags) { m_flags = flags; }

    // Winding test of the implicitly closed polygon; orientation does not matter.
    bool Contains(double x, double y) const;
    // Any vertex of one inside the other.
    bool Overlaps(const CPolygon& other) const;
    // Does the square x..x+size, y..y+size touch the polygon.
    bool IntersectsSquare(double x, double y, double size) const;
    // Does the open polyline pass within sqrt(toleranceSquared) of the point.
    bool IsNear(double x, double y, double toleranceSquared) const;
    // The same in single precision (the map view's drawing coordinates).
    bool IsNearFloat(float x, float y, float toleranceSquared) const;

private:
    std::vector<CPolyPoint> m_points;
    int m_flags = 0; // 1 for polygons made as rectangles
};

bool IsPointNearSegment(double px, double py, double ax, double ay, double bx, double by,
                        double toleranceSquared);

class CBoundingBox
{
public:
    CBoundingBox() = default;
    explicit CBoundingBox(const CPolygon& polygon);

    void Extend(double x, double y);
    bool IsEmpty() const { return minX > maxX || minY > maxY; }

    double minX = 1e300;
    double maxX = -1e300;
    double minY = 1e300;
    double maxY = -1e300;
};

// Integer rectangle; the right and bottom edges are exclusive.
struct IntRect
{
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    // Overlap with positive area; rectangles sharing only an edge do not intersect.
    bool Intersects(const IntRect& other) const;
    bool Contains(int32_t x, int32_t y) const;
};
