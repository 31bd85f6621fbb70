#pragma once
// Small views used by the dialogs.
#include <QModelIndex>
#include <QPointer>
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

// Qt's coordinates already run top-down; the class keeps the dialogs' view
// hierarchy as it is described.
class FlippedView : public QWidget
{
    Q_OBJECT

public:
    using QWidget::QWidget;
};
