// Route directions: decoding a 100,000-point polyline (target: 50 ms), and a
// reply of 10,000 steps of 50 points each read and rebuilt into a route.
#include "foundation/util/Xml.h"
#include "overlays/model/OptimizeRoute.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/PolylineDecode.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <string>

namespace {

void AppendValue(std::string& out, long delta)
{
    uint32_t u = delta < 0 ? ~(uint32_t(delta) << 1) : uint32_t(delta) << 1;
    while (u >= 0x20) {
        out += char((0x20 | (u & 0x1F)) + 63);
        u >>= 5;
    }
    out += char(u + 63);
}

// A wandering path from `first` on; each step moves some tens of metres.
std::string MakePolyline(size_t points, size_t first)
{
    std::string out;
    long lat = 0, lon = 0;
    for (size_t i = first; i < first + points; ++i) {
        const long nextLat = 4500000 + long(i) * 30 + long(std::lround(200 * std::sin(i * 0.01)));
        const long nextLon = 1400000 + long(i) * 20;
        AppendValue(out, nextLat - lat);
        AppendValue(out, nextLon - lon);
        lat = nextLat;
        lon = nextLon;
    }
    return out;
}

void BM_DecodePolyline100kPoints(benchmark::State& state)
{
    const std::string text = MakePolyline(100000, 0);
    std::vector<std::pair<double, double>> out;
    for (auto _ : state) {
        out.clear();
        DecodePolyline(text, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["points"] = double(out.size());
}
BENCHMARK(BM_DecodePolyline100kPoints)->Unit(benchmark::kMillisecond);

void BM_ReadAndBuild10kSteps(benchmark::State& state)
{
    std::string xml = "<DirectionsResponse><status>OK</status><route><summary>S</summary><leg>";
    for (size_t s = 0; s < 10000; ++s)
        xml += "<step><maneuver>m</maneuver><polyline><points>" + MakePolyline(50, s * 49) +
               "</points></polyline></step>";
    xml += "</leg></route></DirectionsResponse>";
    size_t points = 0;
    for (auto _ : state) {
        std::unique_ptr<CXmlNode> root = CXmlNode::LoadText(xml);
        CDirectionsReply reply;
        ReadDirectionsReply(root.get(), reply);
        COverlayRoute route;
        BuildRouteFromDirections(reply, route);
        points = route.PointCount();
    }
    state.counters["route_points"] = double(points);
}
BENCHMARK(BM_ReadAndBuild10kSteps)->Unit(benchmark::kMillisecond);

} // namespace
