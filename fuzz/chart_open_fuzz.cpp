// Opening a chart file made of arbitrary bytes, then reading everything a
// view would: strings, outline, georeference, tiles at every level and the
// renderer at several zooms. Nothing may read outside the file or hang.
#include "charts/Rasterleaf.h"
#include "support/MemoryFile.h"
#include "support/ScriptedPresenter.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static tessatest::CScriptedPresenter* presenter = [] {
        auto* p = new tessatest::CScriptedPresenter;
        p->SetImmediate(true);
        return p;
    }();
    presenter->ClearShown();

    tessatest::CMemoryFile file(data, size);
    if (!file.IsOpen())
        return 0;
    const std::string path = file.Path();
    std::unique_ptr<CRasterleaf> chart(CRasterleaf::OpenFile(nullptr, path));
    if (chart) {
        (void)chart->GetTitle();
        (void)chart->GetRightsNotice();
        (void)chart->GetMapType();
        std::vector<std::pair<double, double>> outline;
        chart->ReadOutline(outline);
        double lat, lon;
        chart->PixelToLatLon(chart->PixelWidth() / 3, chart->PixelHeight() / 3, lat, lon);
        int x, y;
        chart->LatLonToPixelInt(lat, lon, x, y);
        auto work = std::make_unique<CTileWorkBlock>();
        const int w = std::min(chart->WidthInTiles(), 4), h = std::min(chart->HeightInTiles(), 4);
        for (int ty = -1; ty <= h; ++ty)
            for (int tx = -1; tx <= w; ++tx)
                for (int level = 0; level <= kMaxTileLevel; level += 3)
                    chart->GetTile(tx, ty, level, work->tile, &work->context);
        // One small area across the origin at each shift: the edges and the
        // scaling paths are what differ, not the area drawn.
        std::vector<uint32_t> pixels(32 * 32);
        for (int shift : {0, 1, 3, -2})
            chart->GetPixels(-16, -16, 32, 32, 32, shift, pixels.data(), work.get());
    }
    return 0;
}
