#include "foundation/drawing/VRBScaleToFillNSImageView.h"

#include <QPainter>

VRBScaleToFillNSImageView::VRBScaleToFillNSImageView(QWidget* parent) : QWidget(parent) {}

void VRBScaleToFillNSImageView::setImage(const QImage& image)
{
    m_image = image;
    update();
}

void VRBScaleToFillNSImageView::paintEvent(QPaintEvent*)
{
    if (m_image.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(rect()), m_image);
}
