#pragma once
// The chart on the screen: paints the chart view and forwards the pointer,
// wheel, keys and size changes to it. No logic of its own.
#include <QPointF>
#include <QWidget>

class CRasterleafView;

class MapWidget : public QWidget
{
    Q_OBJECT
public:
    explicit MapWidget(QWidget* parent = nullptr);
    void SetChartView(CRasterleafView* view);
    // Background where no chart pixels are.
    static QColor BackgroundColour();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void SyncGeometry();

    CRasterleafView* m_view = nullptr;
};
