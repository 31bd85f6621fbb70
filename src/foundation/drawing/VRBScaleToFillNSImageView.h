#pragma once
// An image view that always scales its image to fill its whole bounds,
// drawing it anew at each paint so it follows the view's size.
#include <QImage>
#include <QWidget>

class VRBScaleToFillNSImageView : public QWidget
{
    Q_OBJECT

public:
    explicit VRBScaleToFillNSImageView(QWidget* parent = nullptr);
    void setImage(const QImage& image);
    const QImage& image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
};
