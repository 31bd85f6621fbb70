#pragma once
// The arithmetic of a panel's grid: choosing the arrangement for a window,
// cell sizes, cell rectangles and the cell under a point. Values come from
// layout files, so everything is computed wide enough not to overflow and
// every rectangle is brought back into 32 bits.
#include <cstdint>

struct CGridSpec
{
    int32_t rows = 1;
    int32_t columns = 1;
    int32_t margin = 3;
    int32_t minCellWidth = 50;
    int32_t minCellHeight = 50;
};

// The ranges a stored grid must keep; anything else refuses the file.
namespace GridLimits {
constexpr int32_t kMaxRows = 100;
constexpr int32_t kMaxColumns = 100;
constexpr int32_t kMaxMargin = 1000;
constexpr int32_t kMaxMinCell = 10000;
} // namespace GridLimits

bool IsValidGrid(const CGridSpec& grid);
// The nearest grid inside the ranges.
CGridSpec ClampGrid(const CGridSpec& grid);

// How badly a grid designed for W x H fits a w x h window (lower is better):
// |h - H| * w + |w - W| * h, plus 100000 when one is landscape (or square)
// and the other portrait. Saturates instead of overflowing.
constexpr uint64_t kOrientationPenalty = 100000;
uint64_t ArrangementScore(uint32_t designWidth, uint32_t designHeight, int32_t width, int32_t height);

// The rows and columns of the grid made for a window that has none.
void DefaultGridSize(int32_t width, int32_t height, int32_t& rows, int32_t& columns);

struct CPanelRect
{
    int32_t x = 0, y = 0, width = 0, height = 0;
    bool operator==(const CPanelRect& o) const
    {
        return x == o.x && y == o.y && width == o.width && height == o.height;
    }
};

// Where an item that does not fit the grid goes: out of sight.
constexpr CPanelRect kOutOfSight{-1000, -1000, 0, 0};

// Cell width and height of a grid in a w x h window.
void CellSize(const CGridSpec& grid, int32_t width, int32_t height, int32_t& cellWidth, int32_t& cellHeight);
// The rectangle of an item at (row, column) spanning rows x columns, or
// kOutOfSight when it starts outside the grid or spans less than a cell.
CPanelRect CellRect(const CGridSpec& grid, int32_t cellWidth, int32_t cellHeight, int32_t row, int32_t column,
                    int32_t rows, int32_t columns);
// The cell under a point; false when the point lies outside the grid.
bool CellAtPoint(int32_t x, int32_t y, int32_t cellWidth, int32_t cellHeight, int32_t gridRows,
                 int32_t gridColumns, int32_t& row, int32_t& column);
// Whether an item at (row, column) spanning rows x columns covers the cell.
bool SpanCovers(int32_t row, int32_t column, int32_t rows, int32_t columns, int32_t cellRow,
                int32_t cellColumn);
