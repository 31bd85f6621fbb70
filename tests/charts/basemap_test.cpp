#include "charts/Rasterleaf.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <filesystem>
#include <memory>

namespace {

std::string BaseMapPath()
{
    return std::string(TESSA_BUILD_DIR) + "/resources/basemaps/world.rlt.COPY";
}

bool IsOceanBlue(QRgb c)
{
    return qBlue(c) > qRed(c) + 20 && qBlue(c) > qGreen(c);
}

} // namespace

// The shipped world chart, made by the build from the NASA image.
TEST(WorldBaseMap, OpensRendersAndIsPlacedOnTheWorld)
{
    ASSERT_TRUE(std::filesystem::exists(BaseMapPath())) << "the build makes " << BaseMapPath();
    std::unique_ptr<CRasterleaf> chart(CRasterleaf::OpenFile(nullptr, BaseMapPath()));
    ASSERT_TRUE(chart);
    EXPECT_EQ(chart->PixelWidth(), 2048);
    EXPECT_EQ(chart->PixelHeight(), 1024);
    EXPECT_EQ(chart->GetTitle(), "World");
    EXPECT_NE(chart->GetRightsNotice().find("NASA"), std::string::npos);

    // 0 N 0 E is the image centre; the corners are the world's.
    double x, y;
    chart->LatLonToPixel(0, 0, x, y);
    EXPECT_NEAR(x, 1024, 1e-9);
    EXPECT_NEAR(y, 512, 1e-9);
    double lat, lon;
    chart->PixelToLatLon(0, 0, lat, lon);
    EXPECT_NEAR(lat, 90, 1e-9);
    EXPECT_NEAR(lon, -180, 1e-9);

    // Render the whole world at full size into a 32-bit image and look at
    // known places.
    QImage image(2048, 1024, QImage::Format_RGB32);
    auto work = std::make_unique<CTileWorkBlock>();
    // The renderer writes bottom-up; a negative stride view is the upright picture.
    ASSERT_EQ(
        chart->GetPixels(0, 0, 2048, 1024, 2048, 0, reinterpret_cast<uint32_t*>(image.bits()), work.get()),
        0);
    image = image.mirrored(false, true);
    auto at = [&](double la, double lo) {
        double px, py;
        chart->LatLonToPixel(la, lo, px, py);
        return image.pixel(int(px), int(py));
    };
    EXPECT_TRUE(IsOceanBlue(at(0, -150))) << "mid Pacific";
    EXPECT_TRUE(IsOceanBlue(at(-30, -20))) << "South Atlantic";
    EXPECT_TRUE(IsOceanBlue(at(-25, 80))) << "Indian Ocean";
    EXPECT_FALSE(IsOceanBlue(at(23, 13))) << "Sahara";
    EXPECT_FALSE(IsOceanBlue(at(-25, 133))) << "central Australia";
    EXPECT_FALSE(IsOceanBlue(at(40, -100))) << "the American plains";

    // Zoomed out by 4, blended: the Pacific stays blue.
    QImage small(512, 256, QImage::Format_RGB32);
    ASSERT_EQ(chart->GetPixels(0, 0, 512, 256, 512, 2, reinterpret_cast<uint32_t*>(small.bits()), work.get()),
              0);
    small = small.mirrored(false, true);
    EXPECT_TRUE(IsOceanBlue(small.pixel(512 * 30 / 360, 128)));
    EXPECT_FALSE(IsOceanBlue(small.pixel(512 * 193 / 360, 128 - 23 * 256 / 180)));
}
