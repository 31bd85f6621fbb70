#pragma once
// The chart on the screen: paints the chart view and turns the pointer,
// wheel, pinch, key, focus and size events into the chart view's input
// calls. No logic of its own.
#include <QPointF>
#include <QWidget>

class CRasterleafView;
class QNativeGestureEvent;
class QPainter;

class QtRasterleafView : public QWidget
{
    Q_OBJECT
public:
    explicit QtRasterleafView(QWidget* parent = nullptr);
    void SetChartView(CRasterleafView* view);
    // Background where no chart pixels are.
    static QColor BackgroundColour();
    // What the screen shows of `area` (widget pixels), painted into any
    // painter: the widget's own painting and printing share it.
    void PaintChart(QPainter& painter, const QRectF& area);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void SyncGeometry();
    void NativeGesture(QNativeGestureEvent* event);

    CRasterleafView* m_view = nullptr;
    // The left button pressed with Control acts as the right button until released.
    bool m_controlClick = false;
};
