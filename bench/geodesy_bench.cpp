// Magnetic variation reads its coefficient file on every call; it must stay
// well below a millisecond. Position texts are formatted on every redraw.
#include "geodesy/LocalPlane.h"
#include "geodesy/MagneticVariation.h"
#include "geodesy/Units.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

const std::string kCoefficients = std::string(TESSA_SOURCE_RESOURCES) + "/WMM_COF";

void BM_GetMagneticVariation(benchmark::State& state)
{
    const double t = (2027.0 - 1970.0) * 31557600.0;
    double lat = -60;
    for (auto _ : state) {
        benchmark::DoNotOptimize(GetMagneticVariation(kCoefficients, lat, 20, 100, t));
        lat = lat > 60 ? -60 : lat + 0.37;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetMagneticVariation)->Unit(benchmark::kMicrosecond);

void BM_FormatAndParseEveryFormat(benchmark::State& state)
{
    std::string text;
    double lat = 51.5, lon = -0.1;
    for (auto _ : state) {
        for (const CUnits::PositionFormatType* f = CUnits::PositionFormatType::First(); f; f = f->Next()) {
            f->Format(text, 51.5, -0.12);
            benchmark::DoNotOptimize(f->Parse(text, lat, lon));
        }
    }
    state.SetItemsProcessed(state.iterations() * 8);
}
BENCHMARK(BM_FormatAndParseEveryFormat);

void BM_LocalPlaneRangeBearing(benchmark::State& state)
{
    CLocalPlane plane(50, -1);
    double range, bearing, lat = 50.1;
    for (auto _ : state) {
        plane.RangeBearingTo(lat, -0.9, range, bearing);
        benchmark::DoNotOptimize(range + bearing);
        lat += 1e-9;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LocalPlaneRangeBearing);

} // namespace
