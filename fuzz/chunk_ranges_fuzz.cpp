// Chunk ranges and qualification for any point list: byte 0 and 1 give a grid
// of 1 to 32 columns and rows, the next eight bytes the corridor in pixels,
// and the rest points as raw doubles (x, y), so NaN, infinities and 1e300
// all occur. Whatever the points, the range lies inside the grid and the
// number of qualifying chunks is at most the range's size; no conversion of
// a double to a chunk number may overflow (UBSan).
#include "charts/chunked/ChunkDownloader.h"
#include "charts/chunked/ChunkStore.h"

#include "FuzzScratch.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

double ReadDouble(const uint8_t* data)
{
    double value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

// One store per grid, made once: only its grid is used (nothing is fetched).
std::shared_ptr<CChunkStore> StoreFor(int columns, int rows)
{
    static std::map<int, std::shared_ptr<CChunkStore>> stores;
    const int key = columns * 64 + rows;
    auto it = stores.find(key);
    if (it != stores.end())
        return it->second;
    const std::string& folder = fuzzsupport::ScratchFolder("chunk_ranges");
    if (folder.empty())
        return nullptr;
    auto store = CChunkStore::Acquire(folder + "/grid" + std::to_string(key) + ".rl3", columns, rows);
    stores[key] = store;
    return store;
}

bool InsideGrid(const CChunkRange& r, int columns, int rows)
{
    return r.IsEmpty() || (0 <= r.firstRow && r.firstRow <= r.lastRow && r.lastRow < rows &&
                           0 <= r.firstColumn && r.firstColumn <= r.lastColumn && r.lastColumn < columns);
}

int64_t RangeSize(const CChunkRange& r)
{
    return r.IsEmpty() ? 0 : int64_t(r.lastRow - r.firstRow + 1) * (r.lastColumn - r.firstColumn + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 10)
        return 0;
    const int columns = 1 + data[0] % 32, rows = 1 + data[1] % 32;
    const double corridor = ReadDouble(data + 2);
    std::vector<CPolyPoint> points;
    for (size_t at = 10; at + 16 <= size && points.size() < 256; at += 16)
        points.push_back({ReadDouble(data + at), ReadDouble(data + at + 8)});

    const CChunkRange plain = ChunkRangeOf(points, 0, columns, rows);
    const CChunkRange grown = ChunkRangeOf(points, corridor, columns, rows);
    Check(InsideGrid(plain, columns, rows));
    Check(InsideGrid(grown, columns, rows));
    for (const CPolyPoint& p : FinitePoints(points))
        Check(p.x == p.x && p.y == p.y && p.x - p.x == 0 && p.y - p.y == 0);

    std::shared_ptr<CChunkStore> store = StoreFor(columns, rows);
    if (!store)
        return 0;
    std::atomic<int64_t> total{-1};
    CPolygonDownloader area(store, CChunkAddress(), points, &total, nullptr, nullptr, nullptr);
    Check(InsideGrid(area.Range(), columns, rows));
    const int64_t inArea = area.Count();
    Check(inArea == total.load() && 0 <= inArea && inArea <= RangeSize(area.Range()));

    CRouteDownloader route(store, CChunkAddress(), points, corridor, &total, nullptr, nullptr, nullptr);
    Check(InsideGrid(route.Range(), columns, rows));
    const int64_t alongRoute = route.Count();
    Check(alongRoute == total.load() && 0 <= alongRoute && alongRoute <= RangeSize(route.Range()));
    return 0;
}
