// Offscreen pixel tests of the drawing layer: dash patterns, colours, tinted
// images and their resolution choice.
#include "foundation/drawing/Drawing.h"
#include "foundation/drawing/GraphicsColor.h"
#include "foundation/drawing/Images.h"
#include "foundation/platform/PlatformFolders.h"
#include "foundation/util/ChangeSetters.h"
#include "support/TestPaths.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// Lengths of the alternating dark and light runs along one row, starting with dark.
std::vector<int> RunsAlongRow(const QImage& image, int y, int from, int to)
{
    std::vector<int> runs;
    bool dark = true;
    int length = 0;
    for (int x = from; x < to; ++x) {
        bool is_dark = qGray(image.pixel(x, y)) < 128;
        if (is_dark == dark) {
            ++length;
        } else {
            runs.push_back(length);
            dark = is_dark;
            length = 1;
        }
    }
    runs.push_back(length);
    return runs;
}

TEST(DrawingTest, DashStylesGiveTheirPatternInPixels)
{
    EXPECT_EQ(GetLineDashPattern(3, 2), (std::vector<double>{10, 2, 2, 2}));
    EXPECT_EQ(GetLineDashPattern(1, 3), (std::vector<double>{15, 3}));
    EXPECT_EQ(GetLineDashPattern(4, 1), (std::vector<double>{5, 1, 1, 1, 1, 1}));
    EXPECT_TRUE(GetLineDashPattern(0, 2).empty());
    EXPECT_TRUE(GetLineDashPattern(9, 2).empty());

    QImage image(100, 20, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    SetStrokeColor(painter, GraphicsColor(0, 0, 0));
    SetLineStyle(painter, 3, 2);
    DrawLine(painter, 0, 10, 64, 10);
    painter.end();
    std::vector<int> runs = RunsAlongRow(image, 10, 0, 64);
    ASSERT_GE(runs.size(), 8u);
    EXPECT_EQ(std::vector<int>(runs.begin(), runs.begin() + 8), (std::vector<int>{10, 2, 2, 2, 10, 2, 2, 2}));
    // The line is two pixels wide.
    EXPECT_LT(qGray(image.pixel(1, 9)), 128);
    EXPECT_GT(qGray(image.pixel(1, 8)), 128);
    EXPECT_GT(qGray(image.pixel(1, 11)), 128);
}

TEST(DrawingTest, PolygonsAndRectangles)
{
    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    SetFillColor(painter, GraphicsColor(0, 0, 1));
    const QPointF triangle[] = {{0, 0}, {30, 0}, {0, 30}};
    FillPolygon(painter, triangle, 3);
    FillRectangle(painter, 30, 30, 5, 5, GraphicsColor(1, 0, 0));
    FillPolygon(painter, nullptr, 3); // refused quietly
    painter.end();
    EXPECT_EQ(image.pixel(5, 5), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(25, 25), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(32, 32), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(36, 36), qRgb(255, 255, 255));
}

TEST(GraphicsColorTest, PackedColoursAndComponents)
{
    GraphicsColor red;
    red.SetRGB(0x0000FF);
    EXPECT_EQ(red.GetRed(), 255);
    EXPECT_EQ(red.GetGreen(), 0);
    EXPECT_EQ(red.GetAlpha(), 255);
    EXPECT_EQ(red.GetPacked(), 0xFF0000FFu);

    GraphicsColor c;
    c.SetRGBA(12, 34, 56, 78);
    GraphicsColor back;
    back.SetRGB(c.GetPacked() & 0xFFFFFF);
    EXPECT_EQ(back.GetPacked(), (c.GetPacked() & 0xFFFFFF) | 0xFF000000u);
    EXPECT_EQ(c.GetPacked(), 12u | (34u << 8) | (56u << 16) | (78u << 24));

    // Truncation, not rounding: 0.999 x 255 = 254.7 gives 254.
    GraphicsColor almost(0.999, 0.5, 0, 1);
    EXPECT_EQ(almost.GetRed(), 254);
    EXPECT_EQ(almost.GetGreen(), 127);

    // Out-of-range and NaN components from stored files are clamped.
    GraphicsColor wild;
    wild.SetComponentsF(2.0f, -1.0f, std::nanf(""), 0.5f);
    float r, g, b, a;
    wild.GetComponentsF(r, g, b, a);
    EXPECT_EQ(r, 1.0f);
    EXPECT_EQ(g, 0.0f);
    EXPECT_EQ(b, 0.0f);
    EXPECT_EQ(a, 0.5f);

    GraphicsColor half = red.SetAlpha(0.5);
    EXPECT_EQ(half.GetAlpha(), 127);
    EXPECT_EQ(red.GetAlpha(), 255);

    GraphicsColor target = red;
    EXPECT_FALSE(SetColourIfChanged(target, red));
    EXPECT_TRUE(SetColourIfChanged(target, half));
    EXPECT_EQ(target, half);
    int32_t n = 1;
    EXPECT_FALSE(SetIntIfChanged(n, 1));
    EXPECT_TRUE(SetIntIfChanged(n, 2));
    std::string s = "a";
    EXPECT_TRUE(SetStringIfChanged(s, "b"));
}

class ImagesTest : public testing::Test
{
protected:
    void SetUp() override
    {
        dir = tessatest::MakeScratchDir("drawing_images");
        SetResourceFoldersForTesting({dir});
        SetHighResolutionImagesForTesting(false);
    }
    void TearDown() override
    {
        SetResourceFoldersForTesting({});
        SetHighResolutionImagesForTesting(false);
    }
    void Save(const QImage& image, const std::string& name)
    {
        ASSERT_TRUE(image.save(QString::fromStdString(dir + "/" + name + ".png"), "PNG"));
    }
    std::string dir;
};

TEST(TintTest, GreyTakesTheHueAndKeepsItsLightness)
{
    int h, l, s;
    RGBtoHLS(255, 0, 0, h, l, s);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(l, 126);
    EXPECT_EQ(s, 252);
    RGBtoHLS(128, 128, 128, h, l, s);
    EXPECT_EQ(s, 0);
    EXPECT_EQ(h, 168);

    QImage layer(3, 1, QImage::Format_ARGB32);
    layer.setPixel(0, 0, qRgba(128, 128, 128, 255));
    layer.setPixel(1, 0, qRgba(0, 0, 0, 0));
    layer.setPixel(2, 0, qRgba(64, 64, 64, 255));
    QImage tinted = TintImage(layer, GraphicsColor(1, 0, 0)).convertToFormat(QImage::Format_ARGB32);
    QRgb p = tinted.pixel(0, 0);
    EXPECT_GT(qRed(p), 200);
    EXPECT_EQ(qGreen(p), 0);
    EXPECT_EQ(qBlue(p), 0);
    int lightness_before = (128 + 128) * 252 / 510, lightness_after = (qRed(p) + 0) * 252 / 510;
    EXPECT_NEAR(lightness_after, lightness_before, 1);
    EXPECT_EQ(qAlpha(tinted.pixel(1, 0)), 0);
    QRgb dark = tinted.pixel(2, 0);
    EXPECT_LT(qRed(dark), qRed(p));
    EXPECT_EQ(qGreen(dark), 0);
}

TEST(TintTest, HalfTransparentEdgesStayValid)
{
    // A half-covered grey edge pixel: tinting must give a colour whose
    // premultiplied components never exceed its alpha.
    QImage layer(1, 1, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    // Premultiplied grey of 200 at half coverage, written raw.
    reinterpret_cast<QRgb*>(layer.scanLine(0))[0] = qRgba(100, 100, 100, 128);
    QImage tinted = TintImage(layer, GraphicsColor(0, 0, 1));
    ASSERT_EQ(tinted.format(), QImage::Format_ARGB32_Premultiplied);
    QRgb raw = reinterpret_cast<const QRgb*>(tinted.constScanLine(0))[0];
    QRgb p = qUnpremultiply(raw);
    EXPECT_EQ(qAlpha(p), 128);
    EXPECT_LE(qBlue(raw), qAlpha(raw));
    EXPECT_LE(qRed(raw), qAlpha(raw));
    // The straight colour is a light blue (lightness of 200 kept), not a
    // dark one computed from premultiplied values.
    EXPECT_GT(qBlue(p), 230);
    EXPECT_GT(qRed(p), 120);
}

TEST_F(ImagesTest, TintedImageDrawsTheLayerOverTheBase)
{
    QImage base(4, 4, QImage::Format_ARGB32);
    base.fill(qRgba(255, 255, 255, 255));
    QImage layer(4, 4, QImage::Format_ARGB32);
    layer.fill(qRgba(0, 0, 0, 0));
    layer.setPixel(1, 1, qRgba(128, 128, 128, 255));
    Save(base, "mark");
    Save(layer, "mark_c");
    QImage icon = LoadTintedImage("mark", GraphicsColor(1, 0, 0));
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.size(), QSize(4, 4));
    QRgb tinted = icon.pixel(1, 1);
    EXPECT_GT(qRed(tinted), 200);
    EXPECT_EQ(qGreen(tinted), 0);
    EXPECT_EQ(icon.pixel(0, 0), qRgb(255, 255, 255));
}

TEST_F(ImagesTest, ImageWithoutLayerDrawsAlone)
{
    QImage base(3, 2, QImage::Format_ARGB32);
    base.fill(qRgba(10, 200, 30, 255));
    base.setPixel(2, 1, qRgba(0, 0, 0, 0));
    Save(base, "plain");
    QImage icon = LoadTintedImage("plain", GraphicsColor(1, 0, 0));
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.size(), QSize(3, 2));
    EXPECT_EQ(icon.pixel(0, 0), qRgba(10, 200, 30, 255));
    EXPECT_EQ(qAlpha(icon.pixel(2, 1)), 0);
    EXPECT_TRUE(LoadTintedImage("absent", GraphicsColor(1, 0, 0)).isNull());
    EXPECT_TRUE(LoadImageResource("../escape").isNull());
}

TEST_F(ImagesTest, HighResolutionFormsDrawAtHalfTheirPixelSize)
{
    QImage plain(8, 6, QImage::Format_ARGB32);
    plain.fill(qRgba(0, 0, 255, 255));
    QImage high(16, 12, QImage::Format_ARGB32);
    high.fill(qRgba(255, 0, 0, 255));
    Save(plain, "ship");
    Save(high, "ship@2x");
    Save(plain, "buoy"); // no high-resolution form

    bool is_high = true;
    QImage chosen = LoadImageForScreen("ship", &is_high);
    EXPECT_FALSE(is_high);
    EXPECT_EQ(chosen.size(), QSize(8, 6));

    SetHighResolutionImagesForTesting(true);
    chosen = LoadImageForScreen("ship", &is_high);
    EXPECT_TRUE(is_high);
    EXPECT_EQ(chosen.size(), QSize(16, 12));
    EXPECT_EQ(GetImageSize(chosen), QSizeF(8, 6));
    // Without an "@2x" form the plain image keeps its size.
    QImage buoy = LoadImageForScreen("buoy", &is_high);
    EXPECT_FALSE(is_high);
    EXPECT_EQ(GetImageSize(buoy), QSizeF(8, 6));

    QImage canvas(20, 20, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    DrawImageAt(painter, chosen, 2, 3);
    painter.end();
    EXPECT_EQ(canvas.pixel(2, 3), qRgb(255, 0, 0));
    EXPECT_EQ(canvas.pixel(9, 8), qRgb(255, 0, 0));
    EXPECT_EQ(canvas.pixel(10, 8), qRgb(255, 255, 255));
    EXPECT_EQ(canvas.pixel(9, 9), qRgb(255, 255, 255));

    QImage icon = LoadTintedImage("ship", GraphicsColor(0, 1, 0));
    EXPECT_EQ(icon.size(), QSize(16, 12));
    EXPECT_EQ(GetImageSize(icon), QSizeF(8, 6));

    QImage flipped = FlipImageVertically(canvas);
    EXPECT_EQ(flipped.pixel(2, 16), qRgb(255, 0, 0));
    EXPECT_EQ(flipped.pixel(2, 3), qRgb(255, 255, 255));
}

} // namespace
