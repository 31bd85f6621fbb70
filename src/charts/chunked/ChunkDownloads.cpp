// The chunked chart's downloads for use without a network, and the areas of
// its chunks that the chart details outline on the map.
#include "charts/PolynomialProjection.h"
#include "charts/chunked/ChunkDownloader.h"
#include "charts/chunked/Rasterleaf3.h"
#include "foundation/web/WebServer.h"

#include <cmath>

namespace {

constexpr int kAreaInset = 50;

} // namespace

double CRasterleaf3::CentreScale() const
{
    return PolynomialScaleAt(ForwardCoefficients(), PixelWidth() / 2.0, PixelHeight() / 2.0);
}

bool CRasterleaf3::DownloadAddress(DownloadProceed proceed, void* argument, CChunkAddress& address,
                                   CChunkDownloadOutcome* outcome)
{
    if (!m_store || !m_store->IsWritable()) {
        if (outcome)
            outcome->error = "Map storage is not writable!";
        return false;
    }
    CWebServer web;
    if (proceed)
        web.SetConnectHook(proceed, argument);
    address = GetChunkURL(web);
    if (address.HasAddress())
        return true;
    if (outcome) {
        outcome->stopped = proceed && !proceed(argument);
        // A cancel leaves no text: the user asked for the stop.
        outcome->error = outcome->stopped ? std::string() : GetChunkURLError();
        if (outcome->error.empty() && !outcome->stopped)
            outcome->error = "The map data of this chart could not be found on the chart server.";
    }
    return false;
}

bool CRasterleaf3::DownloadPolygon(const std::vector<CPolyPoint>& points, std::atomic<int64_t>* total,
                                   std::atomic<int64_t>* progress, DownloadProceed proceed, void* argument,
                                   CChunkDownloadOutcome* outcome)
{
    if (total)
        total->store(0);
    CChunkAddress address;
    if (!DownloadAddress(proceed, argument, address, outcome))
        return false;
    CPolygonDownloader downloader(m_store, address, points, total, progress, proceed, argument);
    return downloader.Run(outcome);
}

bool CRasterleaf3::DownloadRoute(const std::vector<CPolyPoint>& points, std::atomic<int64_t>* total,
                                 std::atomic<int64_t>* progress, DownloadProceed proceed, void* argument,
                                 double corridorMetres, CChunkDownloadOutcome* outcome)
{
    if (total)
        total->store(0);
    CChunkAddress address;
    if (!DownloadAddress(proceed, argument, address, outcome))
        return false;
    const double scale = CentreScale();
    double corridor = 0;
    if (std::isfinite(scale) && scale > 0 && std::isfinite(corridorMetres) && corridorMetres > 0)
        corridor = corridorMetres / (scale * 1852.0);
    CRouteDownloader downloader(m_store, address, points, corridor, total, progress, proceed, argument);
    return downloader.Run(outcome);
}

bool CRasterleaf3::DownloadAll(std::atomic<int64_t>* total, std::atomic<int64_t>* progress,
                               DownloadProceed proceed, void* argument, CChunkDownloadOutcome* outcome)
{
    return DownloadOutline(total, progress, proceed, argument, outcome);
}

bool CRasterleaf3::DownloadOutline(std::atomic<int64_t>* total, std::atomic<int64_t>* progress,
                                   DownloadProceed proceed, void* argument, CChunkDownloadOutcome* outcome)
{
    std::vector<std::pair<double, double>> outline;
    std::vector<CPolyPoint> polygon;
    if (ReadOutline(outline))
        for (const auto& [lat, lon] : outline) {
            CPolyPoint p;
            LatLonToPixel(lat, lon, p.x, p.y);
            polygon.push_back(p);
        }
    if (polygon.empty()) {
        // No outline: the image rectangle.
        const double w = PixelWidth(), h = PixelHeight();
        polygon = {{0, 0}, {w, 0}, {w, h}, {0, h}};
    }
    return DownloadPolygon(polygon, total, progress, proceed, argument, outcome);
}

bool CRasterleaf3::NextArea(bool complete, int& chunk, double corners[8])
{
    const int columns = ChunkColumns(), rows = ChunkRows();
    const int64_t count = int64_t(columns) * rows;
    auto present = [&](int r, int c) { return m_store && m_store->IsComplete(r, c); };
    for (int64_t n = chunk < 0 ? 0 : int64_t(chunk) + 1; n < count; ++n) {
        const int row = int(n / columns), first = int(n % columns);
        if (present(row, first) != complete)
            continue;
        int last = first;
        while (last + 1 < columns && present(row, last + 1) == complete)
            ++last;
        const int left = kChunkPixelSide * first + kAreaInset;
        const int right = kChunkPixelSide * (last + 1) - kAreaInset;
        const int top = kChunkPixelSide * row + kAreaInset;
        const int bottom = kChunkPixelSide * (row + 1) - kAreaInset;
        const int xs[4] = {left, right, right, left};
        const int ys[4] = {top, top, bottom, bottom};
        for (int i = 0; i < 4; ++i) {
            double lat, lon;
            PixelToLatLon(xs[i], ys[i], lat, lon);
            corners[2 * i] = lon;
            corners[2 * i + 1] = lat;
        }
        chunk = row * columns + last;
        return true;
    }
    chunk = -1;
    return false;
}

bool CRasterleaf3::NextChunkArea(int& chunk, double corners[8], int& flags)
{
    flags = 1;
    const bool found = NextArea(true, chunk, corners);
    if (!found)
        flags = 0;
    return found;
}

bool CRasterleaf3::NextMissingChunkArea(int& chunk, double corners[8], int& flags)
{
    flags = 0;
    return NextArea(false, chunk, corners);
}

bool CRasterleaf3::HasMissingChunks()
{
    if (!m_store)
        return true;
    for (int r = 0; r < ChunkRows(); ++r)
        for (int c = 0; c < ChunkColumns(); ++c)
            if (!m_store->IsComplete(r, c))
                return true;
    return false;
}
