#include "app/window/QtRasterleafView.h"

#include "foundation/dialogs/DialogCallback.h"
#include "mapview/view/RasterleafView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>
#include <cmath>

QtRasterleafView::QtRasterleafView(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(64, 64);
}

QColor QtRasterleafView::BackgroundColour()
{
    return QColor(0xd8, 0xdc, 0xe0);
}

void QtRasterleafView::SetChartView(CRasterleafView* view)
{
    m_view = view;
    SyncGeometry();
}

void QtRasterleafView::SyncGeometry()
{
    if (!m_view)
        return;
    m_view->SetDevicePixelRatio(devicePixelRatioF());
    m_view->SetViewRect(0, 0, width(), height());
}

bool QtRasterleafView::event(QEvent* event)
{
    if (event->type() == QEvent::NativeGesture) {
        NativeGesture(static_cast<QNativeGestureEvent*>(event));
        return true;
    }
    return QWidget::event(event);
}

void QtRasterleafView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    PaintChart(painter, QRectF(event->rect()));
}

void QtRasterleafView::PaintChart(QPainter& painter, const QRectF& area)
{
    painter.fillRect(area, BackgroundColour());
    if (m_view)
        m_view->Draw(painter, area);
}

void QtRasterleafView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    SyncGeometry();
}

void QtRasterleafView::mousePressEvent(QMouseEvent* event)
{
    if (!m_view)
        return;
    const QPointF p = event->position();
    switch (event->button()) {
    case Qt::LeftButton:
        m_controlClick = event->modifiers() & Qt::ControlModifier;
        if (m_controlClick)
            m_view->RightClick(p.x(), p.y());
        else
            m_view->Press(p.x(), p.y());
        break;
    case Qt::RightButton:
        m_view->RightClick(p.x(), p.y());
        break;
    case Qt::MiddleButton:
        // The middle button only pans.
        m_view->Press(p.x(), p.y(), false);
        break;
    default:
        break;
    }
}

void QtRasterleafView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_view || !(event->buttons() & (Qt::LeftButton | Qt::RightButton | Qt::MiddleButton)))
        return;
    m_view->DragTo(event->position().x(), event->position().y());
}

void QtRasterleafView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_view)
        return;
    if (event->button() == Qt::LeftButton && !m_controlClick)
        m_view->Release();
    else if (event->button() & (Qt::LeftButton | Qt::RightButton | Qt::MiddleButton))
        m_view->CancelPress();
    if (event->button() == Qt::LeftButton)
        m_controlClick = false;
}

void QtRasterleafView::wheelEvent(QWheelEvent* event)
{
    event->accept();
    if (!m_view)
        return;
    const QPointF p = event->position();
    // Pixel deltas come from touchpads and other precise devices; their
    // direction already follows the desktop's scrolling setting.
    const QPoint pixels = event->pixelDelta();
    if (!pixels.isNull())
        m_view->ScrollPixels(p.x(), p.y(), pixels.x(), pixels.y());
    else if (event->angleDelta().y() != 0)
        m_view->ScrollWheel(p.x(), p.y(), event->angleDelta().y());
    if (event->phase() == Qt::ScrollEnd)
        m_view->EndGesture();
}

void QtRasterleafView::NativeGesture(QNativeGestureEvent* event)
{
    if (!m_view)
        return;
    const QPointF p = event->position();
    switch (event->gestureType()) {
    case Qt::ZoomNativeGesture:
        m_view->Magnify(p.x(), p.y(), event->value());
        break;
    case Qt::EndNativeGesture:
        m_view->EndGesture();
        break;
    default:
        break;
    }
}

void QtRasterleafView::keyPressEvent(QKeyEvent* event)
{
    // Keys belong to the chart only while it has the focus and no dialog is
    // open; shortcuts with Control, Alt or Meta are the window's.
    const bool ours = m_view && hasFocus() && isActiveWindow() && GetOpenDialogCount() == 0 &&
                      !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (!ours || !m_view->KeyDown(event->key(), event->text().toStdString()))
        QWidget::keyPressEvent(event);
}

void QtRasterleafView::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    if (m_view)
        m_view->InputFocusLost();
}
