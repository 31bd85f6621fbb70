#include "panels/PanelEditing.h"

#include <algorithm>
#include <limits>

namespace {

// Rounds a point to the nearest cell edge: (p + cell / 2) / cell, floored so
// that points left of or above the panel give negative edges, not zero.
int64_t NearestEdge(int32_t point, int32_t cell)
{
    const int64_t p = int64_t(point) + cell / 2;
    return p >= 0 ? p / cell : -((-p + cell - 1) / cell);
}

int32_t Clamp32(int64_t v, int64_t low, int64_t high)
{
    return static_cast<int32_t>(std::clamp(v, low, high));
}

} // namespace

bool SpansOverlap(const CPanelSpan& a, const CPanelSpan& b)
{
    return int64_t(a.row) < int64_t(b.row) + b.rows && int64_t(b.row) < int64_t(a.row) + a.rows &&
           int64_t(a.column) < int64_t(b.column) + b.columns &&
           int64_t(b.column) < int64_t(a.column) + a.columns;
}

CPanelSpan SnapToGrid(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t cellWidth,
                      int32_t cellHeight, int32_t gridRows, int32_t gridColumns, bool resizing)
{
    cellWidth = std::max(cellWidth, 1);
    cellHeight = std::max(cellHeight, 1);
    gridRows = std::max(gridRows, 1);
    gridColumns = std::max(gridColumns, 1);
    int64_t row = NearestEdge(top, cellHeight), column = NearestEdge(left, cellWidth);
    int64_t bottomRow = NearestEdge(bottom, cellHeight), rightColumn = NearestEdge(right, cellWidth);
    if (resizing) {
        // The corner dragged past the grid stops at its edge.
        row = std::clamp<int64_t>(row, 0, gridRows - 1);
        column = std::clamp<int64_t>(column, 0, gridColumns - 1);
        bottomRow = std::min<int64_t>(bottomRow, gridRows);
        rightColumn = std::min<int64_t>(rightColumn, gridColumns);
    }
    CPanelSpan s;
    s.rows = Clamp32(bottomRow - row, 1, gridRows);
    s.columns = Clamp32(rightColumn - column, 1, gridColumns);
    s.row = Clamp32(row, 0, gridRows - s.rows);
    s.column = Clamp32(column, 0, gridColumns - s.columns);
    return s;
}

COccupancyGrid::COccupancyGrid(int32_t rows, int32_t columns)
    : m_rows(std::max(rows, 0)), m_columns(std::max(columns, 0)),
      m_taken(size_t(m_rows) * size_t(m_columns), 0)
{
}

void COccupancyGrid::Mark(const CPanelSpan& span)
{
    const int64_t r0 = std::max<int64_t>(span.row, 0);
    const int64_t c0 = std::max<int64_t>(span.column, 0);
    const int64_t r1 = std::min<int64_t>(int64_t(span.row) + span.rows, m_rows);
    const int64_t c1 = std::min<int64_t>(int64_t(span.column) + span.columns, m_columns);
    for (int64_t r = r0; r < r1; ++r)
        for (int64_t c = c0; c < c1; ++c)
            m_taken[size_t(r) * size_t(m_columns) + size_t(c)] = 1;
    m_sumsValid = false;
}

void COccupancyGrid::Sum() const
{
    if (m_sumsValid)
        return;
    const size_t stride = size_t(m_columns) + 1;
    m_sums.assign((size_t(m_rows) + 1) * stride, 0);
    for (int32_t r = 0; r < m_rows; ++r)
        for (int32_t c = 0; c < m_columns; ++c)
            m_sums[(size_t(r) + 1) * stride + size_t(c) + 1] =
                m_taken[size_t(r) * size_t(m_columns) + size_t(c)] +
                m_sums[size_t(r) * stride + size_t(c) + 1] + m_sums[(size_t(r) + 1) * stride + size_t(c)] -
                m_sums[size_t(r) * stride + size_t(c)];
    m_sumsValid = true;
}

bool COccupancyGrid::IsFree(const CPanelSpan& s) const
{
    if (s.row < 0 || s.column < 0 || s.rows < 1 || s.columns < 1 || s.rows > m_rows ||
        s.columns > m_columns || s.row > m_rows - s.rows || s.column > m_columns - s.columns)
        return false;
    Sum();
    const size_t stride = size_t(m_columns) + 1;
    const size_t r0 = size_t(s.row), c0 = size_t(s.column), r1 = r0 + size_t(s.rows),
                 c1 = c0 + size_t(s.columns);
    return m_sums[r1 * stride + c1] - m_sums[r0 * stride + c1] - m_sums[r1 * stride + c0] +
               m_sums[r0 * stride + c0] ==
           0;
}

bool FindFreePlace(const COccupancyGrid& grid, const CPanelSpan& wanted, CPanelSpan& found)
{
    // Places come from files: far-off values are brought near enough that
    // no score can overflow; beyond the grid they all rank alike anyway.
    constexpr int64_t kFar = 1 << 20;
    int64_t rows = std::clamp<int64_t>(wanted.rows, 1, kFar),
            columns = std::clamp<int64_t>(wanted.columns, 1, kFar);
    const int64_t r0 = std::clamp<int64_t>(wanted.row, -kFar, kFar);
    const int64_t c0 = std::clamp<int64_t>(wanted.column, -kFar, kFar);
    const int64_t wantedBottom = r0 + rows, wantedRight = c0 + columns;
    for (;;) {
        if (rows <= grid.Rows() && columns <= grid.Columns()) {
            bool any = false;
            uint64_t best = std::numeric_limits<uint64_t>::max();
            CPanelSpan place;
            for (int64_t r = 0; r <= grid.Rows() - rows; ++r) {
                for (int64_t c = 0; c <= grid.Columns() - columns; ++c) {
                    const CPanelSpan candidate{int32_t(r), int32_t(c), int32_t(rows), int32_t(columns)};
                    if (!grid.IsFree(candidate))
                        continue;
                    auto square = [](int64_t d) { return uint64_t(d * d); };
                    const uint64_t score = square(r - r0) + square(c - c0) + square(r + rows - wantedBottom) +
                                           square(c + columns - wantedRight);
                    if (!any || score < best) {
                        any = true;
                        best = score;
                        place = candidate;
                    }
                }
            }
            if (any) {
                found = place;
                return true;
            }
        }
        if (rows * columns < 2)
            return false;
        rows = (rows + 1) / 2;
        columns = (columns + 1) / 2;
    }
}
