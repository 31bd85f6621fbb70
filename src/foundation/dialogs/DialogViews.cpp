#include "foundation/dialogs/DialogViews.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QEvent>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <algorithm>

namespace {

// The button's side and its distance from the cell's right edge, in pixels.
constexpr int kInfoButtonSide = 16;
constexpr int kInfoButtonMargin = 2;

} // namespace

ViewDialogBackground::ViewDialogBackground(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

void ViewDialogBackground::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
}

bool ViewDialogBackground::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
    case QEvent::TabletEnterProximity:
    case QEvent::TabletLeaveProximity:
    case QEvent::ContextMenu:
        event->accept();
        return true;
    default:
        return QWidget::event(event);
    }
}

OutlineViewWithRightClick::OutlineViewWithRightClick(QWidget* parent) : QTreeView(parent) {}

void OutlineViewWithRightClick::contextMenuEvent(QContextMenuEvent* event)
{
    QModelIndex index = indexAt(event->pos());
    if (m_target && index.isValid())
        m_target->onRightClick(index);
    event->accept();
}

TableCellView_withInfoButton::TableCellView_withInfoButton(QObject* parent) : QStyledItemDelegate(parent) {}

QRect TableCellView_withInfoButton::infoButtonRect(const QRect& cellRect) const
{
    int side = std::min(kInfoButtonSide, cellRect.height() - 2 * kInfoButtonMargin);
    side = std::min(side, cellRect.width() - 2 * kInfoButtonMargin);
    if (side <= 0)
        return {};
    int left = cellRect.right() - kInfoButtonMargin - side + 1;
    int top = cellRect.top() + (cellRect.height() - side) / 2;
    return QRect(left, top, side, side);
}

void TableCellView_withInfoButton::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const
{
    QRect button = infoButtonRect(option.rect);
    QStyleOptionViewItem item(option);
    if (button.isValid())
        item.rect.setRight(button.left() - kInfoButtonMargin - 1); // the text elides before the button
    QStyledItemDelegate::paint(painter, item, index);
    if (!button.isValid())
        return;
    // The selection colour runs on under the button, so the row reads as one.
    if (option.state & QStyle::State_Selected)
        painter->fillRect(QRect(item.rect.right() + 1, option.rect.top(),
                                option.rect.right() - item.rect.right(), option.rect.height()),
                          option.palette.highlight());
    const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    QIcon icon = style->standardIcon(QStyle::SP_MessageBoxInformation, &option, option.widget);
    QIcon::Mode mode = (option.state & QStyle::State_Enabled) ? QIcon::Normal : QIcon::Disabled;
    icon.paint(painter, button, Qt::AlignCenter, mode);
}

QSize TableCellView_withInfoButton::sizeHint(const QStyleOptionViewItem& option,
                                             const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.rwidth() += kInfoButtonSide + 2 * kInfoButtonMargin;
    size.setHeight(std::max(size.height(), kInfoButtonSide + 2 * kInfoButtonMargin));
    return size;
}

bool TableCellView_withInfoButton::editorEvent(QEvent* event, QAbstractItemModel* model,
                                               const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (m_info_delegate && index.isValid() && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            infoButtonRect(option.rect).contains(mouse->position().toPoint())) {
            m_info_delegate->TableCellInfoButtonWasClicked(index.row(), index);
            return true;
        }
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}
