#pragma once
// The places whose names contain a search text, as a list model for the
// find-place dialog.
#include "mapview/places/GeoNameDatabase.h"

#include <QAbstractListModel>
#include <cstdint>
#include <deque>
#include <string>

// The places whose names contain the search text, in file order. Rows are
// found in batches only when the view asks for more.
class CPlaceListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    static constexpr int kBatch = 100;
    static constexpr int kRowHeight = 30;

    explicit CPlaceListModel(const CGeoNameDatabase& database, QObject* parent = nullptr);

    // Starts a new search (an upper-case text; "" lists every place).
    void Search(const std::string& text);
    const uint8_t* RecordAt(int row) const;
    bool IsSearching() const { return m_searching; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    const CGeoNameDatabase& m_database;
    std::string m_text;
    std::deque<const uint8_t*> m_found;
    const uint8_t* m_cursor = nullptr;
    bool m_searching = false;
};
