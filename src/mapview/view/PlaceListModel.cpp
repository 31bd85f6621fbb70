#include "mapview/view/PlaceListModel.h"

#include <QSize>

CPlaceListModel::CPlaceListModel(const CGeoNameDatabase& database, QObject* parent)
    : QAbstractListModel(parent), m_database(database)
{
}

void CPlaceListModel::Search(const std::string& text)
{
    beginResetModel();
    m_text = text;
    m_found.clear();
    m_cursor = nullptr;
    m_searching = m_database.IsOpen();
    endResetModel();
}

const uint8_t* CPlaceListModel::RecordAt(int row) const
{
    return row >= 0 && size_t(row) < m_found.size() ? m_found[size_t(row)] : nullptr;
}

int CPlaceListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_found.size());
}

QVariant CPlaceListModel::data(const QModelIndex& index, int role) const
{
    if (role == Qt::SizeHintRole)
        return QSize(0, kRowHeight);
    CGeoNameRecord record;
    if (role != Qt::DisplayRole || !m_database.GetRecord(RecordAt(index.row()), record))
        return QVariant();
    return QString::fromLatin1(record.name);
}

bool CPlaceListModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && m_searching;
}

void CPlaceListModel::fetchMore(const QModelIndex& parent)
{
    if (parent.isValid() || !m_searching)
        return;
    std::deque<const uint8_t*> batch;
    while (batch.size() < size_t(kBatch)) {
        if (!m_database.Search(m_cursor, -1, m_text)) {
            m_searching = false;
            break;
        }
        batch.push_back(m_cursor);
    }
    if (batch.empty())
        return;
    const int first = int(m_found.size());
    beginInsertRows(QModelIndex(), first, first + int(batch.size()) - 1);
    m_found.insert(m_found.end(), batch.begin(), batch.end());
    endInsertRows();
}
