#include "app/shell/MapWidget.h"

#include "mapview/view/RasterleafView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>
#include <cmath>

MapWidget::MapWidget(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(64, 64);
}

QColor MapWidget::BackgroundColour()
{
    return QColor(0xd8, 0xdc, 0xe0);
}

void MapWidget::SetChartView(CRasterleafView* view)
{
    m_view = view;
    SyncGeometry();
}

void MapWidget::SyncGeometry()
{
    if (!m_view)
        return;
    m_view->SetDevicePixelRatio(devicePixelRatioF());
    m_view->SetViewRect(0, 0, width(), height());
}

void MapWidget::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), BackgroundColour());
    if (m_view)
        m_view->Draw(painter, QRectF(event->rect()));
}

void MapWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    SyncGeometry();
}

void MapWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_view)
        return;
    m_view->Press(event->position().x(), event->position().y());
}

void MapWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton) || !m_view)
        return;
    m_view->DragTo(event->position().x(), event->position().y());
}

void MapWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_view)
        m_view->Release();
}

void MapWidget::wheelEvent(QWheelEvent* event)
{
    if (!m_view)
        return;
    const int dy = event->angleDelta().y();
    if (dy != 0)
        m_view->ZoomAbout(dy > 0 ? -1 : 1, event->position().x(), event->position().y());
    event->accept();
}

void MapWidget::keyPressEvent(QKeyEvent* event)
{
    if (!m_view) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Left:
        m_view->PanBy(100, 0);
        break;
    case Qt::Key_Right:
        m_view->PanBy(-100, 0);
        break;
    case Qt::Key_Down:
        m_view->PanBy(0, -100);
        break;
    case Qt::Key_Up:
        m_view->PanBy(0, 100);
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        m_view->ZoomAboutCentre(-1);
        break;
    case Qt::Key_Minus:
        m_view->ZoomAboutCentre(1);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
}
