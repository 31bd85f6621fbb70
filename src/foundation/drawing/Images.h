#pragma once
// Resource images at the screen's resolution, optionally tinted in a colour.
// High-resolution images ("<name>@2x.png") carry a device pixel ratio of 2, so
// they draw at half their pixel size; plain images draw at their pixel size.
#include "foundation/drawing/GraphicsColor.h"

#include <QImage>
#include <QPainter>
#include <QSizeF>
#include <string>

// Whether "@2x" images are used: the display scale factor is 1.5 or more.
// Worked out once, at the first call.
bool UseHighResolutionImages();
// Tests: forces the choice.
void SetHighResolutionImagesForTesting(bool high);

// The resource "<name>.png"; a null image when it is absent or unreadable.
QImage LoadImageResource(const std::string& name);
// With high-resolution images, "<name>@2x" when it exists (is_high_resolution
// true), else the plain name.
QImage LoadImageForScreen(const std::string& name, bool* is_high_resolution = nullptr);

// Draws the image with its origin corner at (x, y), extending towards larger
// x and y, at its size in points.
void DrawImageAt(QPainter& context, const QImage& image, double x, double y);
// Width and height in points.
QSizeF GetImageSize(const QImage& image);

// The image `name` with the layer "<name>_c" tinted in `colour` drawn over
// it; the base alone when there is no layer; null when the base is missing
// or its size is empty or above 10,000,000 pixels.
QImage LoadTintedImage(const std::string& name, const GraphicsColor& colour);
// The image with the layer's lightness kept and the colour's hue and
// saturation; transparent pixels stay transparent.
QImage TintImage(const QImage& image, const GraphicsColor& colour);
// The part of the image holding every pixel that is not wholly transparent,
// with the image's pixel ratio, and in `offset` where that part starts in
// points. Drawn there it gives the pixels of the whole image for less work.
// A null image when no pixel shows; the image itself when it has no alpha.
QImage TrimTransparentBorder(const QImage& image, QPointF& offset);
// Top and bottom swapped.
QImage FlipImageVertically(const QImage& image);

// The integer hue-lightness-saturation conversion used for tinting, on the
// scale 0..252 for each of the three.
void RGBtoHLS(int red, int green, int blue, int& hue, int& lightness, int& saturation);
void HLStoRGB(int hue, int lightness, int saturation, int& red, int& green, int& blue);
