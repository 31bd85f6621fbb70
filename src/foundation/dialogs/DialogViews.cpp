#include "foundation/dialogs/DialogViews.h"

#include <QContextMenuEvent>
#include <QEvent>
#include <QPainter>

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
