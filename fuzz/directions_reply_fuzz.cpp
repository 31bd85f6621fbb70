// Directions replies come from the network: whatever the bytes, reading them
// must end in a route or one of the messages, decode only positions in range
// and never build more route points than the cap. The bytes are also decoded
// as a bare polyline text.
#include "overlays/model/OptimizeRoute.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/PolylineDecode.h"

#include "foundation/util/Xml.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void CheckPositions(const std::vector<std::pair<double, double>>& positions)
{
    for (const auto& [lat, lon] : positions)
        if (!(std::fabs(lat) <= 90.0) || !(std::fabs(lon) <= 360.0))
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1000000)
        return 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    std::vector<std::pair<double, double>> bare;
    const bool whole = DecodePolyline(text, bare);
    CheckPositions(bare);
    if (bare.size() > size / 2 || (whole && size > 0 && bare.empty()))
        std::abort();

    std::unique_ptr<CXmlNode> root = CXmlNode::LoadText(text);
    CDirectionsReply reply;
    const std::string error = ReadDirectionsReply(root.get(), reply);
    if (!error.empty()) {
        if (error != "Corrupt response" && error.rfind("Status: ", 0) != 0)
            std::abort();
        if (!reply.steps.empty())
            std::abort();
        return 0;
    }
    for (const CDirectionsStep& step : reply.steps)
        CheckPositions(step.positions);

    COverlayRoute route;
    const std::string built = BuildRouteFromDirections(reply, route);
    if (!built.empty() && built != "Corrupt response")
        std::abort();
    if (built.empty() && route.PointCount() > kMaxDirectionsPoints)
        std::abort();
    for (const auto& p : route.Points())
        if (p->GetRoute() != &route || !std::isfinite(p->GetLatitude()))
            std::abort();
    return 0;
}
