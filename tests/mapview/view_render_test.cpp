// Drawing the chart view offscreen: a tile source whose colours encode chart
// coordinates proves pan, zoom and pixel alignment by probing pixels at
// device pixel ratios 1 and 2; the real single-file tile source must give
// the renderer's own pixels; the print title strip; repeatable renders.
// TESSA_TSAN_LABEL
#include "charts/Rasterleaf.h"
#include "chartwriter/ChartWriter.h"
#include "mapview/view/CachedChartTiles.h"
#include "mapview/view/RasterleafView.h"
#include "support/TestChartView.h"
#include "support/TestPaths.h"

#include <QImage>
#include <QPainter>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr int kChartSide = 1024;

// Chart pixel (x, y) has colour (x & 255, y & 255, 64 + (x >> 8) * 16 + (y >> 8)).
QRgb ColourOf(int64_t x, int64_t y)
{
    return qRgb(int(x & 255), int(y & 255), int(64 + ((x >> 8) & 3) * 16 + ((y >> 8) & 3)));
}

// Paints the chart pixels the dirty area shows, one image pixel per chart
// pixel, scaled by the painter without smoothing (as the real source does).
class EncodedTiles : public ITileSource
{
public:
    void Draw(QPainter& painter, const CViewTransform& view, const QRectF& dirty) override
    {
        double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        view.ViewToChart(dirty.left(), dirty.top(), x0, y0);
        view.ViewToChart(dirty.right(), dirty.bottom(), x1, y1);
        const int64_t cx0 = std::max<int64_t>(0, int64_t(std::floor(x0)));
        const int64_t cy0 = std::max<int64_t>(0, int64_t(std::floor(y0)));
        const int64_t cx1 = std::min<int64_t>(kChartSide, int64_t(std::ceil(x1)));
        const int64_t cy1 = std::min<int64_t>(kChartSide, int64_t(std::ceil(y1)));
        if (cx1 <= cx0 || cy1 <= cy0)
            return;
        QImage image(int(cx1 - cx0), int(cy1 - cy0), QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, ColourOf(cx0 + x, cy0 + y));
        double vx = 0, vy = 0;
        view.ChartToView(double(cx0), double(cy0), vx, vy);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(QRectF(vx, vy, image.width() * view.scale, image.height() * view.scale), image);
    }
};

class OneChartOpener : public IChartOpener
{
public:
    void Open(const std::string& path, Completion done) override
    {
        auto chart = std::make_unique<COpenedChart>();
        chart->path = path;
        double forward[20], inverse[20];
        chartwriter::PlateCarreeCoefficients(-10, 10, 10, -10, kChartSide, kChartSide, forward, inverse);
        chart->georeference.Init(forward, inverse, kChartSide, kChartSide, 0, 0);
        chart->title = title;
        chart->rights = rights;
        chart->tiles = std::make_unique<EncodedTiles>();
        done(0, std::move(chart));
    }
    std::string title, rights;
};

QImage Render(CRasterleafView& view, int width, int height, double dpr)
{
    QImage image(int(width * dpr), int(height * dpr), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::black);
    QPainter painter(&image);
    view.Draw(painter, QRectF(0, 0, width, height));
    painter.end();
    return image;
}

// Every device pixel shows the chart pixel under its centre.
int CountMisplacedPixels(const CRasterleafView& view, const QImage& image, double dpr)
{
    const CViewTransform& t = view.Transform();
    int wrong = 0;
    for (int dy = 0; dy < image.height(); dy += 7) {
        for (int dx = 0; dx < image.width(); dx += 3) {
            double cx = 0, cy = 0;
            t.ViewToChart((dx + 0.5) / dpr, (dy + 0.5) / dpr, cx, cy);
            if (cx < 0 || cy < 0 || cx >= kChartSide || cy >= kChartSide)
                continue;
            if (image.pixel(dx, dy) != ColourOf(int64_t(std::floor(cx)), int64_t(std::floor(cy))))
                ++wrong;
        }
    }
    return wrong;
}

class ChartViewRender : public ::testing::TestWithParam<double>
{
protected:
    void SetUp() override
    {
        ports.opener = &opener;
        ports.catalog = &catalog;
        view = std::make_unique<CRasterleafView>(ports);
        view->SetDevicePixelRatio(GetParam());
        view->SetViewRect(0, 0, kWidth, kHeight);
        CRasterleafView::GetSettings().changeScaleByZooming = false;
        ASSERT_TRUE(view->GoToPosition(1.0, 2.0, 0));
        ASSERT_TRUE(view->HasChart());
    }
    void TearDown() override { CRasterleafView::GetSettings().changeScaleByZooming = true; }
    static constexpr int kWidth = 320, kHeight = 200;
    OneChartOpener opener;
    tessatest::CFileChartCatalog catalog{"encoded.rlt", -10, 10, 10, -10};
    CRasterleafView::Ports ports;
    std::unique_ptr<CRasterleafView> view;
};

} // namespace

TEST_P(ChartViewRender, PanAndMagnifiedZoomsLandOnTheExpectedChartPixels)
{
    const double dpr = GetParam();
    // The place asked for lies under the screen centre.
    double x = 0, y = 0;
    ASSERT_TRUE(view->LatLonToScreen(1.0, 2.0, x, y));
    EXPECT_NEAR(x, kWidth / 2.0, 1.0);
    EXPECT_NEAR(y, kHeight / 2.0, 1.0);
    QImage image = Render(*view, kWidth, kHeight, dpr);
    EXPECT_EQ(CountMisplacedPixels(*view, image, dpr), 0);

    // Panning by whole and by odd fractional amounts keeps pixels aligned.
    for (double d : {13.0, -7.25, 0.5}) {
        view->PanBy(d, -d * 2);
        image = Render(*view, kWidth, kHeight, dpr);
        EXPECT_EQ(CountMisplacedPixels(*view, image, dpr), 0) << "pan " << d;
    }
    // Magnified views: one chart pixel covers 2 and 4 view pixels.
    for (int zoom : {-1, -2}) {
        view->ZoomAboutCentre(-1);
        view->OnTimer();
        while (view->Magnification() != 1.0)
            view->OnTimer();
        ASSERT_EQ(view->Transform().zoom, zoom);
        view->PanBy(3.5, 1.25);
        image = Render(*view, kWidth, kHeight, dpr);
        EXPECT_EQ(CountMisplacedPixels(*view, image, dpr), 0) << "zoom " << zoom;
    }
    // Two renders of one state are the same image.
    EXPECT_EQ(Render(*view, kWidth, kHeight, dpr), Render(*view, kWidth, kHeight, dpr));
}

TEST_P(ChartViewRender, ZoomKeepsTheCentreAndReducedViewsShowBlockOrigins)
{
    const double dpr = GetParam();
    double lat0 = 0, lon0 = 0;
    view->GetCentreLatLon(lat0, lon0);
    for (int level = 1; level <= 3; ++level) {
        view->ZoomAboutCentre(1);
        while (view->Magnification() != 1.0)
            view->OnTimer();
        ASSERT_EQ(view->Transform().zoom, level);
        double lat = 0, lon = 0;
        view->GetCentreLatLon(lat, lon);
        EXPECT_NEAR(lat, lat0, 0.02 * (1 << level));
        EXPECT_NEAR(lon, lon0, 0.02 * (1 << level));
        // The origin sits on a block of 2^zoom chart pixels: each view pixel
        // starts exactly on a chart pixel, so its colour is that pixel's.
        EXPECT_EQ(std::fmod(view->Transform().originX, double(1 << level)), 0.0);
        const QImage image = Render(*view, kWidth, kHeight, dpr);
        double cx = 0, cy = 0;
        view->Transform().ViewToChart(kWidth / 2.0, kHeight / 2.0, cx, cy);
        const int px = int(kWidth / 2 * dpr), py = int(kHeight / 2 * dpr);
        double vx = 0, vy = 0;
        view->Transform().ViewToChart(px / dpr, py / dpr, vx, vy);
        const QRgb got = image.pixel(px, py);
        // Nearest-neighbour reduction takes one of the pixels of the block.
        const int64_t bx = int64_t(std::floor(vx)), by = int64_t(std::floor(vy));
        bool found = false;
        for (int64_t j = by - (1 << level); j <= by + (1 << level) && !found; ++j)
            for (int64_t i = bx - (1 << level); i <= bx + (1 << level) && !found; ++i)
                found = got == ColourOf(i, j);
        EXPECT_TRUE(found) << "zoom " << level;
    }
    // Beyond the maximum nothing changes.
    view->ZoomAboutCentre(1);
    EXPECT_EQ(view->Transform().zoom, 3);
}

TEST_P(ChartViewRender, PrintedMapsCarryTheTitleStrip)
{
    const double dpr = GetParam();
    opener.title = "Test Chart";
    opener.rights = "Rights Holder";
    view->SwitchChart("other.rlt", true);
    const QImage plain = Render(*view, kWidth, kHeight, dpr);
    view->SetTitleFlag(true);
    const QImage printed = Render(*view, kWidth, kHeight, dpr);
    view->SetTitleFlag(false);
    int dark[3] = {0, 0, 0};
    bool stripWhiteOrText = true;
    for (int y = 0; y < int(20 * dpr); ++y) {
        for (int x = 0; x < printed.width(); ++x) {
            const QRgb c = printed.pixel(x, y);
            if (qGray(c) < 128)
                ++dark[std::min(2, x * 3 / printed.width())];
            // Text is black on white: grey levels only.
            if (qRed(c) != qGreen(c) || qGreen(c) != qBlue(c))
                stripWhiteOrText = false;
        }
    }
    EXPECT_TRUE(stripWhiteOrText);
    EXPECT_GT(dark[0], 0) << "title on the left";
    EXPECT_GT(dark[2], 0) << "rights notice on the right";
    // Below the strip the chart is unchanged.
    EXPECT_EQ(printed.copy(0, int(21 * dpr), printed.width(), printed.height() - int(21 * dpr)),
              plain.copy(0, int(21 * dpr), plain.width(), plain.height() - int(21 * dpr)));
    EXPECT_EQ(Render(*view, kWidth, kHeight, dpr), plain);
}

INSTANTIATE_TEST_SUITE_P(DevicePixelRatios, ChartViewRender, ::testing::Values(1.0, 2.0));

TEST(ChartViewTiles, SingleFileChartShowsTheRenderersPixels)
{
    const std::string root = tessatest::MakeScratchDir("viewtiles");
    const std::string path = root + "/tiles.rlt";
    chartwriter::CChartWriter w(8, 6);
    w.name = "Tiles";
    chartwriter::PlateCarreeCoefficients(0, 6, 8, 0, 512, 384, w.forward, w.inverse);
    for (int i = 0; i < 128; ++i)
        w.palette[i] = uint32_t(i * 2) << 16 | uint32_t(255 - i) << 8 | uint32_t((i * 37) & 255);
    chartwriter::MixingTableByAverage(w.palette, w.mixing);
    uint8_t tile[64 * 64];
    for (uint32_t ty = 0; ty < 6; ++ty) {
        for (uint32_t tx = 0; tx < 8; ++tx) {
            for (int i = 0; i < 64 * 64; ++i)
                tile[i] = uint8_t((tx * 13 + ty * 7 + (i % 64) / 8 + (i / 64) / 16) & 127);
            w.SetTile(tx, ty, tile);
        }
    }
    ASSERT_TRUE(w.Write(path));
    std::unique_ptr<CRasterleaf> chart(CRasterleaf::OpenFile(nullptr, path));
    ASSERT_TRUE(chart);
    std::unique_ptr<COpenedChart> opened = CCachedChartOpener::OpenChartFile(nullptr, path);
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->title, "Tiles");
    EXPECT_FALSE(opened->chunked);
    ITileSource& source = *opened->tiles;

    // Draws until the workers have nothing left (bounded), as the view's timer would.
    auto drawSettled = [&](const CViewTransform& view, QImage& image) {
        for (int i = 0; i < 400; ++i) {
            image.fill(Qt::black);
            QPainter painter(&image);
            source.Draw(painter, view, QRectF(0, 0, image.width(), image.height()));
            painter.end();
            if (!source.HasWork() && !source.IsBusy() && i > 0)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    };
    for (int zoom : {0, 1, -1}) {
        CViewTransform view;
        view.SetZoom(zoom);
        view.originX = zoom >= 0 ? 64 << zoom : 40;
        view.originY = zoom >= 0 ? 32 << zoom : 24;
        const int width = 200, height = 120;
        view.viewRect = IntRect{0, 0, width, height};
        QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
        ASSERT_TRUE(drawSettled(view, image)) << "zoom " << zoom;
        std::vector<uint32_t> expected(size_t(width) * height);
        CTileWorkBlock work;
        ASSERT_EQ(chart->GetPixels(int(view.originX), int(view.originY), width, height, width, zoom,
                                   expected.data(), &work),
                  0);
        // Within the chart (512 x 384 pixels).
        const int insideW = std::min<int>(width, int((512 - view.originX) * view.scale));
        const int insideH = std::min<int>(height, int((384 - view.originY) * view.scale));
        int wrong = 0;
        for (int y = 0; y < insideH; ++y)
            for (int x = 0; x < insideW; ++x)
                if ((image.pixel(x, y) & 0xFFFFFF) !=
                    (expected[size_t(height - 1 - y) * width + x] & 0xFFFFFF))
                    ++wrong;
        EXPECT_EQ(wrong, 0) << "zoom " << zoom;
    }
    fs::remove_all(root);
}
