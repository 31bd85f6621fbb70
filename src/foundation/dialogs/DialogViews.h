#pragma once
// Small views used by the dialogs.
#include <QModelIndex>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QWidget>

// Fills itself with the light grey of dialogs and swallows every mouse,
// wheel, key and tablet event, so the views below an open dialog cannot be used.
class ViewDialogBackground : public QWidget
{
    Q_OBJECT

public:
    explicit ViewDialogBackground(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
};

// What a right click on a row of an OutlineViewWithRightClick is told to.
class IRightClickTarget
{
public:
    virtual ~IRightClickTarget() = default;
    virtual void onRightClick(const QModelIndex& item) = 0;
};

// A tree view that reports right clicks on a row to its target instead of
// showing a context menu of its own.
class OutlineViewWithRightClick : public QTreeView
{
    Q_OBJECT

public:
    explicit OutlineViewWithRightClick(QWidget* parent = nullptr);
    void setRight_click_target(IRightClickTarget* target) { m_target = target; }
    IRightClickTarget* right_click_target() const { return m_target; }

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    IRightClickTarget* m_target = nullptr;
};

// What a click on the info button of a TableCellView_withInfoButton is told to.
class ITableCellInfoButtonDelegate
{
public:
    virtual ~ITableCellInfoButtonDelegate() = default;
    virtual void TableCellInfoButtonWasClicked(int row, const QModelIndex& item) = 0;
};

// Paints each cell as usual with a small info button at its right edge, and
// reports a click on that button to its info delegate. The button is only
// painted: lists may hold thousands of rows, too many for a widget per row.
class TableCellView_withInfoButton : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit TableCellView_withInfoButton(QObject* parent = nullptr);
    void setInfoDelegate(ITableCellInfoButtonDelegate* delegate) { m_info_delegate = delegate; }
    ITableCellInfoButtonDelegate* info_delegate() const { return m_info_delegate; }
    // Where the button sits in a cell with the rectangle `cellRect`.
    QRect infoButtonRect(const QRect& cellRect) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

private:
    ITableCellInfoButtonDelegate* m_info_delegate = nullptr;
};

// Qt's coordinates already run top-down; the class keeps the dialogs' view
// hierarchy as it is described.
class FlippedView : public QWidget
{
    Q_OBJECT

public:
    using QWidget::QWidget;
};
