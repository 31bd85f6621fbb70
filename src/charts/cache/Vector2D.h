#pragma once
// A grid of cells addressed by column and row, rebuilt for every frame.
#include <cstddef>
#include <vector>

template <class T> class Vector2D
{
public:
    void Reset(int columns, int rows, const T& fill)
    {
        m_columns = columns > 0 ? columns : 0;
        m_rows = rows > 0 ? rows : 0;
        m_cells.assign(size_t(m_columns) * size_t(m_rows), fill);
    }
    int Columns() const { return m_columns; }
    int Rows() const { return m_rows; }
    bool Inside(long long column, long long row) const
    {
        return column >= 0 && row >= 0 && column < m_columns && row < m_rows;
    }
    T& At(int column, int row) { return m_cells[size_t(row) * size_t(m_columns) + size_t(column)]; }
    const T& At(int column, int row) const
    {
        return m_cells[size_t(row) * size_t(m_columns) + size_t(column)];
    }

private:
    int m_columns = 0;
    int m_rows = 0;
    std::vector<T> m_cells;
};
