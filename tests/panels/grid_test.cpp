// The grid arithmetic on the values a layout file can carry.
#include "panels/PanelGrid.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

TEST(PanelGrid, ArrangementScore)
{
    struct Case
    {
        uint32_t W, H;
        int32_t w, h;
        uint64_t score;
    };
    const Case cases[] = {
        {800, 400, 800, 400, 0},
        // |700 - 400| x 500 + |500 - 800| x 700, plus the orientation penalty.
        {800, 400, 500, 700, 150000 + 210000 + kOrientationPenalty},
        {400, 800, 500, 700, 50000 + 70000},
        // A square grid counts as landscape.
        {600, 600, 500, 700, 50000 + 70000 + kOrientationPenalty},
        {600, 600, 700, 500, 70000 + 50000},
        // Design sizes of a hostile file do not wrap around.
        {0xFFFFFFFF, 0xFFFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF00000000ull},
        {0xFFFFFFFF, 0, 1, 1, 0xFFFFFFFFull},
        // A negative size counts as 0.
        {800, 400, -10, -10, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ArrangementScore(c.W, c.H, c.w, c.h), c.score)
            << c.W << "x" << c.H << " in " << c.w << "x" << c.h;
}

TEST(PanelGrid, GridRanges)
{
    struct Case
    {
        CGridSpec grid;
        bool valid;
    };
    const Case cases[] = {
        {{1, 1, 0, 1, 1}, true},
        {{100, 100, 1000, 10000, 10000}, true},
        {{0, 1, 3, 50, 50}, false},
        {{101, 1, 3, 50, 50}, false},
        {{1, 0, 3, 50, 50}, false},
        {{1, 101, 3, 50, 50}, false},
        {{1, 1, -1, 50, 50}, false},
        {{1, 1, 1001, 50, 50}, false},
        {{1, 1, 3, 0, 50}, false},
        {{1, 1, 3, 50, 10001}, false},
        {{-2147483647 - 1, 1, 3, 50, 50}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsValidGrid(c.grid), c.valid)
            << c.grid.rows << " " << c.grid.columns << " " << c.grid.margin;
        EXPECT_TRUE(IsValidGrid(ClampGrid(c.grid)));
        if (c.valid) {
            CGridSpec same = ClampGrid(c.grid);
            EXPECT_EQ(same.rows, c.grid.rows);
            EXPECT_EQ(same.minCellHeight, c.grid.minCellHeight);
        }
    }
}

TEST(PanelGrid, CellSizesAndRectanglesStayIn32Bits)
{
    struct Case
    {
        CGridSpec grid;
        int32_t width, height;
        int32_t cellWidth, cellHeight;
    };
    const Case cases[] = {
        {{3, 4, 3, 50, 50}, 600, 400, 150, 133},
        {{3, 4, 3, 50, 50}, 10, 10, 56, 56},
        {{1, 1, 1000, 10000, 10000}, 100, 100, 12000, 12000},
        {{1, 1, 0, 1, 1}, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF},
        {{2, 2, 3, 50, 50}, -100, -100, 56, 56},
    };
    for (const Case& c : cases) {
        int32_t cw = 0, ch = 0;
        CellSize(c.grid, c.width, c.height, cw, ch);
        EXPECT_EQ(cw, c.cellWidth);
        EXPECT_EQ(ch, c.cellHeight);
    }
    // The widest grid with huge cells and spans clamps instead of wrapping.
    CGridSpec wide{100, 100, 0, 1, 1};
    CPanelRect r = CellRect(wide, 0x7FFFFFFF, 0x7FFFFFFF, 99, 99, 0x7FFFFFFF, 0x7FFFFFFF);
    EXPECT_EQ(r.x, 0x7FFFFFFF);
    EXPECT_EQ(r.width, 0x7FFFFFFF);
    EXPECT_TRUE(SpanCovers(0x7FFFFFF0, 0, 0x7FFFFFFF, 1, 0x7FFFFFFE, 0));
    EXPECT_FALSE(SpanCovers(5, 5, 0, 1, 5, 5));
    EXPECT_FALSE(SpanCovers(5, 5, -3, 1, 4, 5));
}

} // namespace
