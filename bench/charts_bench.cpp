// Tile decoding per kind on the world base map's own tiles, and rendering a
// full-HD area: a chart view redraws by these paths.
#include "charts/Rasterleaf.h"
#include "chartwriter/ChartWriter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::string kBaseMap = std::string(TESSA_BUILD_DIR) + "/resources/basemaps/world.rlt.COPY";

struct CBaseMap
{
    std::unique_ptr<CRasterleaf> chart;
    std::vector<std::vector<uint8_t>> images; // every tile in image row order
};

CBaseMap& BaseMap()
{
    static CBaseMap map = [] {
        CBaseMap m;
        m.chart.reset(CRasterleaf::OpenFile(nullptr, kBaseMap));
        if (!m.chart)
            return m;
        uint8_t stored[kTilePixels];
        for (int ty = 0; ty < m.chart->HeightInTiles(); ++ty)
            for (int tx = 0; tx < m.chart->WidthInTiles(); ++tx) {
                m.chart->GetTile(tx, ty, 0, stored, nullptr);
                std::vector<uint8_t> image(kTilePixels);
                for (int s = 0; s < 64; ++s)
                    std::copy(stored + 64 * s, stored + 64 * s + 64, image.begin() + 64 * BitReverse6(s));
                m.images.push_back(std::move(image));
            }
        return m;
    }();
    return map;
}

// The base map's tiles re-encoded in one kind (those the kind can hold).
const std::vector<std::vector<uint8_t>>& TilesOfKind(chartwriter::TileKind kind)
{
    static std::vector<std::vector<uint8_t>> cache[4];
    auto& tiles = cache[int(kind)];
    if (tiles.empty())
        for (const auto& image : BaseMap().images) {
            auto bytes = chartwriter::EncodeTile(image.data(), kind);
            if (!bytes.empty())
                tiles.push_back(std::move(bytes));
        }
    return tiles;
}

void DecodeKind(benchmark::State& state, chartwriter::TileKind kind)
{
    if (!BaseMap().chart) {
        state.SkipWithError("the build makes the base map; it is missing");
        return;
    }
    const auto& tiles = TilesOfKind(kind);
    const int level = int(state.range(0));
    uint8_t out[kTilePixels];
    size_t bytes = 0;
    for (const auto& t : tiles)
        bytes += t.size();
    for (auto _ : state) {
        for (const auto& t : tiles) {
            DecodeTileBytes(t.data(), t.size(), out, kTileSide >> level);
            benchmark::DoNotOptimize(out[0]);
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(tiles.size()) * (kTilePixels >> level));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
    state.counters["tiles"] = double(tiles.size());
}

void BM_DecodeHuffmanTiles(benchmark::State& state)
{
    DecodeKind(state, chartwriter::TileKind::Huffman);
}
void BM_DecodeRunLengthTiles(benchmark::State& state)
{
    DecodeKind(state, chartwriter::TileKind::RunLength);
}
void BM_DecodePackedTiles(benchmark::State& state)
{
    DecodeKind(state, chartwriter::TileKind::Packed);
}
void BM_DecodeAsShipped(benchmark::State& state)
{
    DecodeKind(state, chartwriter::TileKind::Smallest);
}
BENCHMARK(BM_DecodeHuffmanTiles)->Arg(0)->Arg(2);
BENCHMARK(BM_DecodeRunLengthTiles)->Arg(0)->Arg(2);
BENCHMARK(BM_DecodePackedTiles)->Arg(0)->Arg(2);
BENCHMARK(BM_DecodeAsShipped)->Arg(0);

// A 1920 x 1080 view at zoom shifts -1 (magnified), 0 and 1 (blended). Only
// the part of the view the map covers is rendered (at shift 1 the base map is
// smaller than the view), so the figure is the rate of rendering map pixels.
void BM_RenderFullHD(benchmark::State& state)
{
    CRasterleaf* chart = BaseMap().chart.get();
    if (!chart) {
        state.SkipWithError("the build makes the base map; it is missing");
        return;
    }
    const int shift = int(state.range(0));
    const auto covered = [shift](int chartPixels) {
        return shift >= 0 ? chartPixels >> shift : chartPixels << -shift;
    };
    const int width = std::min(1920, covered(chart->WidthInTiles() * kTileSide));
    const int height = std::min(1080, covered(chart->HeightInTiles() * kTileSide));
    std::vector<uint32_t> pixels(size_t(width) * size_t(height));
    auto work = std::make_unique<CTileWorkBlock>();
    for (auto _ : state) {
        chart->GetPixels(0, 0, width, height, width, shift, pixels.data(), work.get());
        benchmark::DoNotOptimize(pixels[0]);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * width * height);
    state.counters["width"] = width;
    state.counters["height"] = height;
}
BENCHMARK(BM_RenderFullHD)->Arg(-1)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
