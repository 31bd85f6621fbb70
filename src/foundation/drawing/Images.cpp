#include "foundation/drawing/Images.h"

#include "foundation/platform/PlatformServices.h"
#include "foundation/util/Folders.h"

#include <QFile>
#include <algorithm>
#include <atomic>
#include <cmath>

namespace {

constexpr int kHLSMax = 252;
constexpr int kRGBMax = 255;
constexpr int kUndefinedHue = kHLSMax * 2 / 3;

// -1 not yet worked out, else 0 or 1.
std::atomic<int> g_high_resolution{-1};

int HueToRGB(int n1, int n2, int hue)
{
    if (hue < 0)
        hue += kHLSMax;
    if (hue > kHLSMax)
        hue -= kHLSMax;
    if (hue < kHLSMax / 6)
        return n1 + (((n2 - n1) * hue + (kHLSMax / 12)) / (kHLSMax / 6));
    if (hue < kHLSMax / 2)
        return n2;
    if (hue < (kHLSMax * 2) / 3)
        return n1 + (((n2 - n1) * (((kHLSMax * 2) / 3) - hue) + (kHLSMax / 12)) / (kHLSMax / 6));
    return n1;
}

int ClampByte(int v)
{
    return std::clamp(v, 0, 255);
}

} // namespace

void RGBtoHLS(int red, int green, int blue, int& hue, int& lightness, int& saturation)
{
    int c_max = std::max({red, green, blue});
    int c_min = std::min({red, green, blue});
    lightness = (((c_max + c_min) * kHLSMax) + kRGBMax) / (2 * kRGBMax);
    if (c_max == c_min) {
        saturation = 0;
        hue = kUndefinedHue;
        return;
    }
    if (lightness <= kHLSMax / 2)
        saturation = (((c_max - c_min) * kHLSMax) + ((c_max + c_min) / 2)) / (c_max + c_min);
    else
        saturation = (((c_max - c_min) * kHLSMax) + ((2 * kRGBMax - c_max - c_min) / 2)) /
                     (2 * kRGBMax - c_max - c_min);
    int span = c_max - c_min;
    int r_delta = (((c_max - red) * (kHLSMax / 6)) + (span / 2)) / span;
    int g_delta = (((c_max - green) * (kHLSMax / 6)) + (span / 2)) / span;
    int b_delta = (((c_max - blue) * (kHLSMax / 6)) + (span / 2)) / span;
    if (red == c_max)
        hue = b_delta - g_delta;
    else if (green == c_max)
        hue = (kHLSMax / 3) + r_delta - b_delta;
    else
        hue = ((2 * kHLSMax) / 3) + g_delta - r_delta;
    if (hue < 0)
        hue += kHLSMax;
    if (hue > kHLSMax)
        hue -= kHLSMax;
}

void HLStoRGB(int hue, int lightness, int saturation, int& red, int& green, int& blue)
{
    if (saturation == 0) {
        red = green = blue = ClampByte((lightness * kRGBMax) / kHLSMax);
        return;
    }
    int magic2;
    if (lightness <= kHLSMax / 2)
        magic2 = (lightness * (kHLSMax + saturation) + (kHLSMax / 2)) / kHLSMax;
    else
        magic2 = lightness + saturation - ((lightness * saturation) + (kHLSMax / 2)) / kHLSMax;
    int magic1 = 2 * lightness - magic2;
    red = ClampByte((HueToRGB(magic1, magic2, hue + (kHLSMax / 3)) * kRGBMax + (kHLSMax / 2)) / kHLSMax);
    green = ClampByte((HueToRGB(magic1, magic2, hue) * kRGBMax + (kHLSMax / 2)) / kHLSMax);
    blue = ClampByte((HueToRGB(magic1, magic2, hue - (kHLSMax / 3)) * kRGBMax + (kHLSMax / 2)) / kHLSMax);
}

bool UseHighResolutionImages()
{
    int state = g_high_resolution.load();
    if (state < 0) {
        state = GetScaleFactor() >= 1.5 ? 1 : 0;
        g_high_resolution.store(state);
    }
    return state == 1;
}

void SetHighResolutionImagesForTesting(bool high)
{
    g_high_resolution.store(high ? 1 : 0);
}

QImage LoadImageResource(const std::string& name)
{
    std::string path = GetResourcePath(name, "png");
    if (path.empty())
        return QImage();
    QImage image;
    if (!image.load(QFile::decodeName(path.c_str()), "PNG"))
        return QImage();
    return image;
}

QImage LoadImageForScreen(const std::string& name, bool* is_high_resolution)
{
    if (is_high_resolution)
        *is_high_resolution = false;
    if (UseHighResolutionImages()) {
        QImage high = LoadImageResource(name + "@2x");
        if (!high.isNull()) {
            high.setDevicePixelRatio(2.0);
            if (is_high_resolution)
                *is_high_resolution = true;
            return high;
        }
    }
    return LoadImageResource(name);
}

QSizeF GetImageSize(const QImage& image)
{
    if (image.isNull())
        return QSizeF();
    return image.deviceIndependentSize();
}

void DrawImageAt(QPainter& context, const QImage& image, double x, double y)
{
    if (image.isNull())
        return;
    // A plain image drawn at its own size takes the painter's direct blending
    // path; the target-rectangle form goes through the much slower general
    // texture fill, for the same pixels.
    if (image.devicePixelRatio() == 1.0 && context.worldTransform().type() <= QTransform::TxTranslate) {
        context.drawImage(QPointF(x, y), image);
        return;
    }
    context.drawImage(QRectF(QPointF(x, y), GetImageSize(image)), image);
}

QImage TintImage(const QImage& image, const GraphicsColor& colour)
{
    if (image.isNull())
        return QImage();
    int hue, lightness, saturation;
    RGBtoHLS(colour.GetRed(), colour.GetGreen(), colour.GetBlue(), hue, lightness, saturation);
    // Straight (not premultiplied) alpha, so the lightness is that of the
    // pixel's own colour and the tinted colour goes back with its alpha intact.
    QImage tinted = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < tinted.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(tinted.scanLine(y));
        for (int x = 0; x < tinted.width(); ++x) {
            QRgb pixel = line[x];
            int alpha = qAlpha(pixel);
            if (alpha == 0)
                continue;
            int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
            int pixel_lightness =
                ((std::min({r, g, b}) + std::max({r, g, b})) * kHLSMax + kRGBMax) / (2 * kRGBMax);
            HLStoRGB(hue, pixel_lightness, saturation, r, g, b);
            line[x] = qRgba(r, g, b, alpha);
        }
    }
    tinted.setDevicePixelRatio(image.devicePixelRatio());
    return tinted.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage LoadTintedImage(const std::string& name, const GraphicsColor& colour)
{
    bool high = false;
    QImage base = LoadImageForScreen(name, &high);
    if (base.isNull())
        return QImage();
    QImage layer = LoadImageForScreen(name + "_c");
    if (!layer.isNull())
        layer = TintImage(layer, colour);

    double scale = UseHighResolutionImages() ? 2.0 : 1.0;
    QSizeF points = GetImageSize(base);
    double width = std::ceil(points.width() * scale), height = std::ceil(points.height() * scale);
    if (width <= 0 || height <= 0 || width * height > 10000000.0)
        return QImage();
    QImage result(static_cast<int>(width), static_cast<int>(height), QImage::Format_ARGB32_Premultiplied);
    if (result.isNull())
        return QImage();
    result.fill(Qt::transparent);
    result.setDevicePixelRatio(scale);
    QPainter painter(&result);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QRectF target(QPointF(0, 0), points);
    painter.drawImage(target, base);
    if (!layer.isNull())
        painter.drawImage(target, layer);
    painter.end();
    return result;
}

QImage TrimTransparentBorder(const QImage& image, QPointF& offset)
{
    offset = QPointF();
    if (image.isNull() || !image.hasAlphaChannel())
        return image;
    const QImage argb =
        image.format() == QImage::Format_ARGB32_Premultiplied || image.format() == QImage::Format_ARGB32
            ? image
            : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    int left = argb.width(), right = -1, top = argb.height(), bottom = -1;
    for (int y = 0; y < argb.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(line[x]) != 0) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = y;
            }
    }
    if (right < 0)
        return QImage();
    if (left == 0 && top == 0 && right == argb.width() - 1 && bottom == argb.height() - 1)
        return image;
    QImage trimmed = image.copy(left, top, right - left + 1, bottom - top + 1);
    trimmed.setDevicePixelRatio(image.devicePixelRatio());
    offset = QPointF(left / image.devicePixelRatio(), top / image.devicePixelRatio());
    return trimmed;
}

QImage FlipImageVertically(const QImage& image)
{
    if (image.isNull())
        return QImage();
    QImage flipped = image.mirrored(false, true);
    flipped.setDevicePixelRatio(image.devicePixelRatio());
    return flipped;
}
