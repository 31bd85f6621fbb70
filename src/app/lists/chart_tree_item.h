#pragma once
// The rows of the chart list window: one chart_tree_item per node of the
// device charts tree or of the map-store tree, the item model the outline
// reads them through, the cell painter, and the outline view with its
// expand and select helpers. Rows hold tree nodes, never widgets, so that
// thousands of charts cost no more than their nodes.
#include "charts/chartlist/ChartList.h"
#include "charts/mapstore/MapStore.h"
#include "foundation/dialogs/DialogViews.h"

#include <QAbstractItemModel>
#include <QTreeView>
#include <memory>
#include <unordered_map>
#include <vector>

struct chart_tree_item
{
    CChartTree* co_item = nullptr;   // a node of the device charts tree
    CMapShopTree* ms_item = nullptr; // or a node of the map-store tree
    chart_tree_item* parent = nullptr;
    std::vector<chart_tree_item*> children; // in the order shown
    int row = 0;

    const std::string& Label() const;
    bool IsStore() const { return ms_item != nullptr; }
    // A row for one chart or one store entry (not a folder, type or group).
    bool HasEntry() const;
};

class CChartTreeModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    // Whether a row shows the info button (store rows do not).
    static constexpr int kInfoButtonRole = Qt::UserRole + 1;

    explicit CChartTreeModel(QObject* parent = nullptr);
    ~CChartTreeModel() override;

    // Shows the tree: groups first in label order, then the entries in the
    // order of `rank` (lower first; entries missing from it go last). Null
    // shows nothing. The tree must outlive the model's use of it. Map types
    // can be ticked only in a chart tree grouped by type.
    void SetChartTree(CChartTree* root, const std::unordered_map<const CChartOutline*, size_t>& rank,
                      bool byType);
    void SetStoreTree(CMapShopTree* root, const std::unordered_map<const MapShopData*, size_t>& rank);
    void Clear();

    // The one item made for a node; null when the node is not shown.
    chart_tree_item* ItemFor(const void* node) const;
    chart_tree_item* Item(const QModelIndex& index) const;
    QModelIndex IndexOf(const chart_tree_item* item) const;
    // Every item, parents before their children.
    const std::vector<std::unique_ptr<chart_tree_item>>& Items() const { return m_items; }

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    template <class Node, class Entry>
    void Build(Node* root, const std::unordered_map<const Entry*, size_t>& rank);
    // Whether the row may be ticked: a node that stands for a map type and
    // has rows below it.
    bool IsTypeRow(const chart_tree_item& item) const;

    chart_tree_item m_root;
    std::vector<std::unique_ptr<chart_tree_item>> m_items;
    std::unordered_map<const void*, chart_tree_item*> m_byNode;
    bool m_typesTickable = false;
};

// Paints a row 30 pixels high, with the info button unless the model says
// the row has none.
class CMapListCellView : public TableCellView_withInfoButton
{
    Q_OBJECT

public:
    static constexpr int kRowHeight = 30;
    using TableCellView_withInfoButton::TableCellView_withInfoButton;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
};

// The outline of the chart list window.
class CChartOutlineView : public QTreeView
{
    Q_OBJECT

public:
    explicit CChartOutlineView(QWidget* parent = nullptr);

    // Expands every collapsed ancestor of the row, nearest first.
    void expandParentsOfItem(const QModelIndex& index);
    // Makes the row show (expanding its ancestors when needed) and selects it alone.
    void selectItem(const QModelIndex& index);
    // Makes the rows of every child of the row exist.
    void createChildrenNow(const QModelIndex& index);
    // The row whose info button is at `point` of the viewport, if any.
    QModelIndex infoButtonAt(const QPoint& point) const;

protected:
    // A click on an info button opens the details only: it must not select
    // the row too, which would open its chart.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QPersistentModelIndex m_infoPressed;
};
