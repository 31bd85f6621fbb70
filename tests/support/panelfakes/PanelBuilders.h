#pragma once
// Grids and cells for tests, built without a layout file.
#include "panels/DisplayView.h"

#include <memory>

namespace tessatest {

inline std::unique_ptr<CDisplayView::CItemArrangement> MakeGrid(uint32_t designWidth, uint32_t designHeight,
                                                                int32_t rows, int32_t columns)
{
    auto a = std::make_unique<CDisplayView::CItemArrangement>();
    a->m_designWidth = designWidth;
    a->m_designHeight = designHeight;
    a->m_rows = rows;
    a->m_columns = columns;
    return a;
}

// Appends a description of type S placed at the cell; returns it.
template <class S>
CDisplayView::CItemSettings* AddCell(CDisplayView::CItemArrangement& a, int32_t row, int32_t column,
                                     int32_t rows = 1, int32_t columns = 1)
{
    auto s = std::make_unique<S>();
    s->m_row = row;
    s->m_column = column;
    s->m_rows = rows;
    s->m_columns = columns;
    a.m_cells.push_back(std::move(s));
    return a.m_cells.back().get();
}

// A panel's arrangements from a list of grids.
template <class... G> CDisplayView::ArrangementList Arrangements(G... grids)
{
    CDisplayView::ArrangementList list;
    (list.push_back(std::move(grids)), ...);
    return list;
}

} // namespace tessatest
