#include "app/lists/chart_tree_item.h"

#include <QApplication>
#include <QFont>
#include <QMouseEvent>
#include <QStyle>
#include <algorithm>
#include <limits>
#include <type_traits>

namespace {

const std::string kNoLabel;
constexpr double kFontPoints = 13.0;

} // namespace

const std::string& chart_tree_item::Label() const
{
    if (co_item)
        return co_item->Label();
    return ms_item ? ms_item->Label() : kNoLabel;
}

bool chart_tree_item::HasEntry() const
{
    return (co_item && co_item->Item()) || (ms_item && ms_item->Item());
}

CChartTreeModel::CChartTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

CChartTreeModel::~CChartTreeModel() = default;

template <class Node, class Entry>
void CChartTreeModel::Build(Node* root, const std::unordered_map<const Entry*, size_t>& rank)
{
    if (!root)
        return;
    auto rankOf = [&rank](const Node& node) {
        if (!node.Item())
            return size_t(0); // groups keep their label order, ahead of entries
        auto found = rank.find(node.Item().get());
        return found == rank.end() ? std::numeric_limits<size_t>::max() : found->second + 1;
    };
    // Breadth first, so that parents come before their children in m_items.
    std::vector<std::pair<Node*, chart_tree_item*>> pending{{root, &m_root}};
    for (size_t next = 0; next < pending.size(); ++next) {
        auto [node, item] = pending[next];
        std::vector<Node*> children;
        children.reserve(node->Children().size());
        for (const auto& child : node->Children())
            children.push_back(child.get());
        std::stable_sort(children.begin(), children.end(),
                         [&](const Node* a, const Node* b) { return rankOf(*a) < rankOf(*b); });
        item->children.reserve(children.size());
        for (Node* child : children) {
            auto made = std::make_unique<chart_tree_item>();
            if constexpr (std::is_same_v<Node, CMapShopTree>)
                made->ms_item = child;
            else
                made->co_item = child;
            made->parent = item;
            made->row = int(item->children.size());
            item->children.push_back(made.get());
            m_byNode[child] = made.get();
            pending.emplace_back(child, made.get());
            m_items.push_back(std::move(made));
        }
    }
}

void CChartTreeModel::SetChartTree(CChartTree* root,
                                   const std::unordered_map<const CChartOutline*, size_t>& rank, bool byType)
{
    beginResetModel();
    m_typesTickable = byType;
    m_root = chart_tree_item();
    m_items.clear();
    m_byNode.clear();
    m_root.co_item = root;
    Build(root, rank);
    endResetModel();
}

void CChartTreeModel::SetStoreTree(CMapShopTree* root,
                                   const std::unordered_map<const MapShopData*, size_t>& rank)
{
    beginResetModel();
    m_root = chart_tree_item();
    m_items.clear();
    m_byNode.clear();
    m_root.ms_item = root;
    m_typesTickable = true;
    Build(root, rank);
    endResetModel();
}

void CChartTreeModel::Clear()
{
    SetChartTree(nullptr, {}, false);
}

chart_tree_item* CChartTreeModel::ItemFor(const void* node) const
{
    auto found = m_byNode.find(node);
    return found == m_byNode.end() ? nullptr : found->second;
}

chart_tree_item* CChartTreeModel::Item(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<chart_tree_item*>(index.internalPointer()) : nullptr;
}

QModelIndex CChartTreeModel::IndexOf(const chart_tree_item* item) const
{
    if (!item || item == &m_root)
        return {};
    return createIndex(item->row, 0, const_cast<chart_tree_item*>(item));
}

QModelIndex CChartTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    const chart_tree_item* owner = parent.isValid() ? Item(parent) : &m_root;
    if (column != 0 || row < 0 || size_t(row) >= owner->children.size())
        return {};
    return createIndex(row, 0, owner->children[size_t(row)]);
}

QModelIndex CChartTreeModel::parent(const QModelIndex& child) const
{
    const chart_tree_item* item = Item(child);
    return item ? IndexOf(item->parent) : QModelIndex();
}

int CChartTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    const chart_tree_item* owner = parent.isValid() ? Item(parent) : &m_root;
    return int(owner->children.size());
}

int CChartTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

bool CChartTreeModel::hasChildren(const QModelIndex& parent) const
{
    return rowCount(parent) > 0;
}

bool CChartTreeModel::IsTypeRow(const chart_tree_item& item) const
{
    std::string type;
    if (!m_typesTickable || item.children.empty())
        return false;
    return item.co_item ? item.co_item->StandsForType(type) : item.ms_item->StandsForType(type);
}

QVariant CChartTreeModel::data(const QModelIndex& index, int role) const
{
    const chart_tree_item* item = Item(index);
    if (!item)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(item->Label());
    case Qt::FontRole: {
        QFont font = QApplication::font();
        font.setPointSizeF(kFontPoints);
        font.setBold(item->IsStore() && item->Label().rfind("Package", 0) == 0);
        return font;
    }
    case Qt::DecorationRole:
        // Rows without a chart (folders, types, groups) show no icon.
        if (item->HasEntry())
            return QApplication::style()->standardIcon(QStyle::SP_FileIcon);
        return {};
    case Qt::CheckStateRole:
        if (IsTypeRow(*item)) {
            const bool checked = item->co_item ? item->co_item->checked : item->ms_item->checked;
            return checked ? Qt::Checked : Qt::Unchecked;
        }
        return {};
    case kInfoButtonRole:
        return !item->IsStore();
    default:
        return {};
    }
}

bool CChartTreeModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    chart_tree_item* item = Item(index);
    if (!item || role != Qt::CheckStateRole || !IsTypeRow(*item))
        return false;
    const bool checked = value.toInt() == Qt::Checked;
    if (item->co_item)
        item->co_item->checked = checked;
    else
        item->ms_item->checked = checked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags CChartTreeModel::flags(const QModelIndex& index) const
{
    const chart_tree_item* item = Item(index);
    if (!item)
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (IsTypeRow(*item))
        f |= Qt::ItemIsUserCheckable;
    return f;
}

void CMapListCellView::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const
{
    if (index.data(CChartTreeModel::kInfoButtonRole).toBool())
        TableCellView_withInfoButton::paint(painter, option, index);
    else
        QStyledItemDelegate::paint(painter, option, index);
}

QSize CMapListCellView::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(kRowHeight);
    return size;
}

bool CMapListCellView::editorEvent(QEvent* event, QAbstractItemModel* model,
                                   const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (index.data(CChartTreeModel::kInfoButtonRole).toBool())
        return TableCellView_withInfoButton::editorEvent(event, model, option, index);
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

CChartOutlineView::CChartOutlineView(QWidget* parent) : QTreeView(parent)
{
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
}

void CChartOutlineView::expandParentsOfItem(const QModelIndex& index)
{
    for (QModelIndex up = index.parent(); up.isValid(); up = up.parent())
        if (!isExpanded(up))
            expand(up);
}

void CChartOutlineView::selectItem(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    expandParentsOfItem(index);
    selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    scrollTo(index);
}

void CChartOutlineView::createChildrenNow(const QModelIndex& index)
{
    QAbstractItemModel* m = model();
    if (m && m->canFetchMore(index))
        m->fetchMore(index);
}

QModelIndex CChartOutlineView::infoButtonAt(const QPoint& point) const
{
    const QModelIndex index = indexAt(point);
    auto* cells = qobject_cast<TableCellView_withInfoButton*>(itemDelegate());
    if (!index.isValid() || !cells || !cells->info_delegate() ||
        !index.data(CChartTreeModel::kInfoButtonRole).toBool())
        return {};
    return cells->infoButtonRect(visualRect(index)).contains(point) ? index : QModelIndex();
}

void CChartOutlineView::mousePressEvent(QMouseEvent* event)
{
    m_infoPressed = QPersistentModelIndex();
    if (event->button() == Qt::LeftButton) {
        const QModelIndex index = infoButtonAt(event->position().toPoint());
        if (index.isValid()) {
            m_infoPressed = index;
            event->accept();
            return;
        }
    }
    QTreeView::mousePressEvent(event);
}

void CChartOutlineView::mouseReleaseEvent(QMouseEvent* event)
{
    const QPersistentModelIndex pressed = m_infoPressed;
    m_infoPressed = QPersistentModelIndex();
    if (!pressed.isValid()) {
        QTreeView::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    if (event->button() == Qt::LeftButton &&
        infoButtonAt(event->position().toPoint()) == QModelIndex(pressed)) {
        auto* cells = qobject_cast<TableCellView_withInfoButton*>(itemDelegate());
        cells->info_delegate()->TableCellInfoButtonWasClicked(pressed.row(), pressed);
    }
}

void CChartOutlineView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (infoButtonAt(event->position().toPoint()).isValid()) {
        event->accept();
        return;
    }
    QTreeView::mouseDoubleClickEvent(event);
}
