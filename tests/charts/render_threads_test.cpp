// Decoding threads share one open chart: each renders with its own work block
// from the one mapping, with no lock. TESSA_TSAN_LABEL
#include "charts/Rasterleaf.h"
#include "chartwriter/ChartWriter.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <thread>
#include <vector>

TEST(RasterleafThreads, ConcurrentRenderingGivesTheSamePixels)
{
    std::mt19937 rng(2);
    chartwriter::CChartWriter w(8, 8);
    chartwriter::PlateCarreeCoefficients(0, 10, 10, 0, 512, 512, w.forward, w.inverse);
    std::vector<uint8_t> image(kTilePixels);
    for (uint32_t ty = 0; ty < 8; ++ty)
        for (uint32_t tx = 0; tx < 8; ++tx) {
            for (auto& p : image)
                p = uint8_t(rng() % 4 ? (&p == image.data() ? 0 : (&p)[-1]) : rng() % 128);
            w.SetTile(tx, ty, image.data());
        }
    const std::string path = tessatest::MakeScratchDir("render_threads") + "/chart.rlt";
    ASSERT_TRUE(w.Write(path));
    std::unique_ptr<CRasterleaf> chart(CRasterleaf::OpenFile(nullptr, path));
    ASSERT_TRUE(chart);

    auto render = [&](int shift, std::vector<uint32_t>& out) {
        auto work = std::make_unique<CTileWorkBlock>();
        out.assign(256 * 256, 0);
        return chart->GetPixels(0, 0, 256, 256, 256, shift, out.data(), work.get());
    };
    std::vector<uint32_t> expected[2];
    ASSERT_EQ(render(0, expected[0]), 0);
    ASSERT_EQ(render(1, expected[1]), 0);

    std::vector<std::vector<uint32_t>> results(8);
    std::vector<int> codes(8, -1);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&, i] {
            for (int round = 0; round < 5; ++round)
                codes[size_t(i)] = render(i % 2, results[size_t(i)]);
        });
    for (auto& t : threads)
        t.join();
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(codes[size_t(i)], 0);
        EXPECT_EQ(results[size_t(i)], expected[i % 2]) << i;
    }
}
