#include "geodesy/Polygon.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

CPolygon Triangle(bool clockwise)
{
    CPolygon p;
    p.Add(0, 0);
    if (clockwise) {
        p.Add(5, 10);
        p.Add(10, 0);
    } else {
        p.Add(10, 0);
        p.Add(5, 10);
    }
    return p;
}

TEST(Polygon, ContainsIgnoresOrientationAndCountsEdgesOnce)
{
    for (bool cw : {false, true}) {
        const CPolygon t = Triangle(cw);
        EXPECT_TRUE(t.Contains(5, 5));
        EXPECT_FALSE(t.Contains(5, 11));
        EXPECT_FALSE(t.Contains(-1, 1));
        EXPECT_FALSE(t.Contains(11, 1));
    }
    // A vertex at the top of an upward edge counts, at its bottom it does not.
    const CPolygon square(0, 0, 10, 10);
    EXPECT_EQ(square.Flags(), 1);
    EXPECT_TRUE(square.Contains(5, 10));
    EXPECT_FALSE(square.Contains(5, 0));

    CPolygon two;
    two.Add(0, 0);
    two.Add(10, 10);
    EXPECT_FALSE(two.Contains(5, 5));

    // A ring of two squares: the hole is outside.
    CPolygon concave;
    for (auto [x, y] : std::initializer_list<std::pair<double, double>>{
             {0, 0}, {10, 0}, {10, 10}, {6, 10}, {6, 4}, {4, 4}, {4, 10}, {0, 10}})
        concave.Add(x, y);
    EXPECT_FALSE(concave.Contains(5, 8));
    EXPECT_TRUE(concave.Contains(2, 8));
}

TEST(Polygon, OverlapsAndSquares)
{
    const CPolygon a(0, 0, 10, 10), b(5, 5, 10, 10), c(20, 20, 1, 1);
    EXPECT_TRUE(a.Overlaps(b));
    EXPECT_TRUE(b.Overlaps(a));
    EXPECT_FALSE(a.Overlaps(c));

    const CPolygon big(-100, -100, 200, 200);
    EXPECT_TRUE(big.IntersectsSquare(0, 0, 1)); // square wholly inside
    const CPolygon small(0.2, 0.2, 0.1, 0.1);
    EXPECT_TRUE(small.IntersectsSquare(0, 0, 1)); // polygon wholly inside the square
    EXPECT_FALSE(small.IntersectsSquare(2, 2, 1));
}

TEST(Polygon, NearLines)
{
    CPolygon line;
    EXPECT_FALSE(line.IsNear(0, 0, 100));
    line.Add(0, 0);
    EXPECT_TRUE(line.IsNear(0.5, 0.5, 1)); // one vertex only
    EXPECT_FALSE(line.IsNear(5, 0, 1));
    line.Add(10, 0);
    line.Add(10, 10);
    EXPECT_TRUE(line.IsNear(5, 0.9, 1));
    EXPECT_FALSE(line.IsNear(5, 1.1, 1));
    EXPECT_FALSE(line.IsNear(-1.5, 0, 1)); // beyond the segment's end
    EXPECT_FALSE(line.IsNear(5, 5, 1));    // open polyline: no closing edge
    EXPECT_TRUE(line.IsNearFloat(5, 0.9f, 1));
    EXPECT_FALSE(line.IsNearFloat(5, 1.1f, 1));
    EXPECT_TRUE(line.IsNear(5, 1, 1));       // on the tolerance
    EXPECT_FALSE(line.IsNearFloat(5, 1, 1)); // strict in single precision
    EXPECT_TRUE(IsPointNearSegment(3, 0.5, 0, 0, 10, 0, 0.25));
}

TEST(Polygon, BoxesAndRects)
{
    CBoundingBox empty;
    EXPECT_TRUE(empty.IsEmpty());
    const CBoundingBox box(Triangle(false));
    EXPECT_EQ(box.minX, 0);
    EXPECT_EQ(box.maxX, 10);
    EXPECT_EQ(box.minY, 0);
    EXPECT_EQ(box.maxY, 10);

    const IntRect r{0, 0, 10, 10};
    EXPECT_FALSE(r.Intersects({10, 0, 20, 10}));
    EXPECT_TRUE(r.Intersects({9, 9, 20, 20}));
    EXPECT_FALSE(r.Intersects({5, 5, 5, 8})); // no area
    EXPECT_FALSE(r.Contains(10, 5));
    EXPECT_TRUE(r.Contains(0, 0));
    EXPECT_FALSE(r.Contains(5, 10));
}

} // namespace
