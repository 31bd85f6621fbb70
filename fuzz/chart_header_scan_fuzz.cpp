// The chart list's header scan on arbitrary bytes: from memory, padded to the
// smallest chart size so short inputs reach the deeper checks, and from a
// file (plain reads, the outline read again on first use). Nothing may read
// outside the bytes, allocate by an unchecked count or hang.
#include "charts/ChartFormat.h"
#include "charts/chartlist/ChartOutline.h"

#include "support/MemoryFile.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

void Exercise(const CChartOutline& outline, const IChartHeaderSource& source)
{
    CPolygon polygon;
    outline.ReadOutline(source, polygon);
    (void)CChartOutline::InfoText(source, outline.path);
    double lat = (outline.minLat + outline.maxLat) / 2, lon = (outline.minLon + outline.maxLon) / 2;
    if (polygon.Size() >= 3)
        (void)polygon.Contains(lon, lat);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    {
        CChartBufferSource source(data, size);
        if (auto outline = CChartOutline::FromSource(source, "fuzz.rlt"))
            Exercise(*outline, source);
        (void)CChartOutline::InfoText(source, "fuzz.rlt");
        (void)EditionNumber(std::string(reinterpret_cast<const char*>(data), std::min<size_t>(size, 64)));
    }
    if (size < chartfile::kMinFileSize) {
        std::vector<uint8_t> padded(data, data + size);
        padded.resize(chartfile::kMinFileSize + 64, 0);
        CChartBufferSource source(padded.data(), padded.size());
        if (auto outline = CChartOutline::FromSource(source, "fuzz.rlt"))
            Exercise(*outline, source);
    }

    tessatest::CMemoryFile file(data, size);
    if (!file.IsOpen())
        return 0;
    const std::string path = file.Path();
    if (auto outline = CChartOutline::FromFile(path)) {
        (void)outline->Contains((outline->minLat + outline->maxLat) / 2,
                                (outline->minLon + outline->maxLon) / 2);
        (void)outline->GetInfoText();
    }
    return 0;
}
