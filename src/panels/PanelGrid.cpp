#include "panels/PanelGrid.h"

#include <algorithm>
#include <limits>

namespace {

int32_t Clamp32(int64_t value)
{
    return static_cast<int32_t>(
        std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

} // namespace

bool IsValidGrid(const CGridSpec& g)
{
    using namespace GridLimits;
    return g.rows >= 1 && g.rows <= kMaxRows && g.columns >= 1 && g.columns <= kMaxColumns && g.margin >= 0 &&
           g.margin <= kMaxMargin && g.minCellWidth >= 1 && g.minCellWidth <= kMaxMinCell &&
           g.minCellHeight >= 1 && g.minCellHeight <= kMaxMinCell;
}

CGridSpec ClampGrid(const CGridSpec& g)
{
    using namespace GridLimits;
    return {std::clamp(g.rows, 1, kMaxRows), std::clamp(g.columns, 1, kMaxColumns),
            std::clamp(g.margin, 0, kMaxMargin), std::clamp(g.minCellWidth, 1, kMaxMinCell),
            std::clamp(g.minCellHeight, 1, kMaxMinCell)};
}

uint64_t ArrangementScore(uint32_t designWidth, uint32_t designHeight, int32_t width, int32_t height)
{
    const int64_t w = std::max(width, 0), h = std::max(height, 0);
    const int64_t W = designWidth, H = designHeight;
    using U = unsigned __int128;
    U score = U(h > H ? h - H : H - h) * U(w) + U(w > W ? w - W : W - w) * U(h);
    if ((W >= H) != (w >= h))
        score += kOrientationPenalty;
    return score > U(std::numeric_limits<uint64_t>::max()) ? std::numeric_limits<uint64_t>::max()
                                                           : static_cast<uint64_t>(score);
}

void DefaultGridSize(int32_t width, int32_t height, int32_t& rows, int32_t& columns)
{
    rows = std::clamp(std::max(height, 0) / 100 + 1, 1, GridLimits::kMaxRows);
    columns = std::clamp(std::max(width, 0) / 150 + 1, 1, GridLimits::kMaxColumns);
}

void CellSize(const CGridSpec& grid, int32_t width, int32_t height, int32_t& cellWidth, int32_t& cellHeight)
{
    const CGridSpec g = ClampGrid(grid);
    cellWidth =
        Clamp32(std::max<int64_t>(std::max(width, 0) / g.columns, int64_t(g.minCellWidth) + 2 * g.margin));
    cellHeight =
        Clamp32(std::max<int64_t>(std::max(height, 0) / g.rows, int64_t(g.minCellHeight) + 2 * g.margin));
}

CPanelRect CellRect(const CGridSpec& grid, int32_t cellWidth, int32_t cellHeight, int32_t row, int32_t column,
                    int32_t rows, int32_t columns)
{
    if (row < 0 || column < 0 || row >= grid.rows || column >= grid.columns || rows < 1 || columns < 1)
        return kOutOfSight;
    const int64_t m = grid.margin;
    return {Clamp32(int64_t(column) * cellWidth + m), Clamp32(int64_t(row) * cellHeight + m),
            Clamp32(int64_t(cellWidth) * columns - 2 * m), Clamp32(int64_t(cellHeight) * rows - 2 * m)};
}

bool CellAtPoint(int32_t x, int32_t y, int32_t cellWidth, int32_t cellHeight, int32_t gridRows,
                 int32_t gridColumns, int32_t& row, int32_t& column)
{
    // Integer division truncates towards zero: a point just left of or above
    // the panel must not land in the first cell.
    if (x < 0 || y < 0 || cellWidth <= 0 || cellHeight <= 0)
        return false;
    const int32_t r = y / cellHeight, c = x / cellWidth;
    if (r >= gridRows || c >= gridColumns)
        return false;
    row = r;
    column = c;
    return true;
}

bool SpanCovers(int32_t row, int32_t column, int32_t rows, int32_t columns, int32_t cellRow,
                int32_t cellColumn)
{
    return row <= cellRow && int64_t(cellRow) < int64_t(row) + rows && column <= cellColumn &&
           int64_t(cellColumn) < int64_t(column) + columns;
}
