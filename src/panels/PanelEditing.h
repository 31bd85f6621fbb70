#pragma once
// The arithmetic of editing a panel's grid: snapping a dragged frame to
// cells, which cells are taken, and where a displaced cell can go. Plain
// functions over plain values, so that they can be checked (and timed)
// without a panel.
#include <cstdint>
#include <vector>

// A cell's place: top-left cell and the rows and columns it spans.
struct CPanelSpan
{
    int32_t row = 0, column = 0, rows = 1, columns = 1;
    bool operator==(const CPanelSpan& o) const
    {
        return row == o.row && column == o.column && rows == o.rows && columns == o.columns;
    }
};

// Whether two places share a cell; touching edges do not.
bool SpansOverlap(const CPanelSpan& a, const CPanelSpan& b);

// The place of a frame (left, top, right, bottom in panel points) snapped to
// the nearest cell edges, spanning at least one cell and lying wholly inside
// a grid of gridRows x gridColumns. A resize keeps the top-left cell where it
// can and cuts the span at the grid's edge; a move keeps the span and shifts
// the place back inside.
CPanelSpan SnapToGrid(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t cellWidth,
                      int32_t cellHeight, int32_t gridRows, int32_t gridColumns, bool resizing);

// Which cells of a grid are taken. Places reaching out of the grid (a file may
// hold them) mark only their part inside it.
class COccupancyGrid
{
public:
    COccupancyGrid(int32_t rows, int32_t columns);
    void Mark(const CPanelSpan& span);
    // Whether every cell of the place is inside the grid and free.
    bool IsFree(const CPanelSpan& span) const;
    int32_t Rows() const { return m_rows; }
    int32_t Columns() const { return m_columns; }

private:
    friend bool FindFreePlace(const COccupancyGrid&, const CPanelSpan&, CPanelSpan&);
    void Sum() const;

    int32_t m_rows, m_columns;
    std::vector<uint8_t> m_taken;
    // Prefix sums of the taken cells, (rows + 1) x (columns + 1), made on
    // demand so that each test of a place costs the same whatever its size.
    mutable std::vector<int32_t> m_sums;
    mutable bool m_sumsValid = false;
};

// The free place nearest `wanted` for a cell of wanted's spans: every free
// top-left position is scored by the squared distances of its top-left and
// bottom-right corners from wanted's, the first lowest wins. When no place of
// that size is free, both spans are halved (rounded up) and the search runs
// again, down to one cell. False when not even one cell is free.
bool FindFreePlace(const COccupancyGrid& grid, const CPanelSpan& wanted, CPanelSpan& found);
