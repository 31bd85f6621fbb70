#include "geodesy/Polygon.h"

#include <algorithm>

CPolygon::CPolygon(double x, double y, double width, double height)
    : m_points{{x, y}, {x + width, y}, {x + width, y + height}, {x, y + height}}, m_flags(1)
{
}

bool CPolygon::Contains(double x, double y) const
{
    const size_t count = m_points.size();
    if (count < 3)
        return false;
    int s = 0;
    for (size_t i = 0; i < count; ++i) {
        const CPolyPoint& p1 = m_points[i];
        const CPolyPoint& p2 = m_points[(i + 1) % count];
        int dir;
        if (p1.y < y && y <= p2.y)
            dir = 1;
        else if (p2.y < y && y <= p1.y)
            dir = -1;
        else
            continue;
        const double xc = ((p2.y - y) * p1.x + (y - p1.y) * p2.x) / (p2.y - p1.y);
        s += x >= xc ? dir : -dir;
    }
    return s != 0;
}

bool CPolygon::Overlaps(const CPolygon& other) const
{
    for (const CPolyPoint& p : m_points)
        if (other.Contains(p.x, p.y))
            return true;
    for (const CPolyPoint& p : other.m_points)
        if (Contains(p.x, p.y))
            return true;
    return false;
}

bool CPolygon::IntersectsSquare(double x, double y, double size) const
{
    if (Contains(x, y) || Contains(x + size, y) || Contains(x + size, y + size) || Contains(x, y + size) ||
        Contains(x + size / 2, y + size / 2))
        return true;
    for (const CPolyPoint& p : m_points)
        if (x <= p.x && p.x <= x + size && y <= p.y && p.y <= y + size)
            return true;
    return false;
}

bool IsPointNearSegment(double px, double py, double ax, double ay, double bx, double by,
                        double toleranceSquared)
{
    const double dx = bx - ax, dy = by - ay;
    const double wx = px - ax, wy = py - ay;
    const double dot = wx * dx + wy * dy;
    const double len2 = dx * dx + dy * dy;
    if (dot < 0 || dot > len2)
        return false;
    const double cross = wx * dy - wy * dx;
    return cross * cross <= len2 * toleranceSquared;
}

bool CPolygon::IsNear(double x, double y, double toleranceSquared) const
{
    if (m_points.empty())
        return false;
    for (const CPolyPoint& v : m_points) {
        const double dx = x - v.x, dy = y - v.y;
        if (dx * dx + dy * dy <= toleranceSquared)
            return true;
    }
    for (size_t i = 0; i + 1 < m_points.size(); ++i) {
        const CPolyPoint& a = m_points[i];
        const CPolyPoint& b = m_points[i + 1];
        if (IsPointNearSegment(x, y, a.x, a.y, b.x, b.y, toleranceSquared))
            return true;
    }
    return false;
}

bool CPolygon::IsNearFloat(float x, float y, float toleranceSquared) const
{
    if (m_points.empty())
        return false;
    for (const CPolyPoint& v : m_points) {
        const float dx = x - static_cast<float>(v.x), dy = y - static_cast<float>(v.y);
        if (dx * dx + dy * dy <= toleranceSquared)
            return true;
    }
    for (size_t i = 0; i + 1 < m_points.size(); ++i) {
        const float ax = static_cast<float>(m_points[i].x), ay = static_cast<float>(m_points[i].y);
        const float dx = static_cast<float>(m_points[i + 1].x) - ax;
        const float dy = static_cast<float>(m_points[i + 1].y) - ay;
        const float wx = x - ax, wy = y - ay;
        const float dot = wx * dx + wy * dy;
        const float len2 = dx * dx + dy * dy;
        if (dot < 0 || dot > len2)
            continue;
        const float cross = wx * dy - wy * dx;
        if (cross * cross < len2 * toleranceSquared)
            return true;
    }
    return false;
}

CBoundingBox::CBoundingBox(const CPolygon& polygon)
{
    for (const CPolyPoint& p : polygon.Points())
        Extend(p.x, p.y);
}

void CBoundingBox::Extend(double x, double y)
{
    if (x < minX)
        minX = x;
    if (x > maxX)
        maxX = x;
    if (y < minY)
        minY = y;
    if (y > maxY)
        maxY = y;
}

bool IntRect::Intersects(const IntRect& other) const
{
    // Compared as overlap extents so that an empty rectangle never intersects.
    return std::max(left, other.left) < std::min(right, other.right) &&
           std::max(top, other.top) < std::min(bottom, other.bottom);
}

bool IntRect::Contains(int32_t x, int32_t y) const
{
    return left <= x && x < right && top <= y && y < bottom;
}
