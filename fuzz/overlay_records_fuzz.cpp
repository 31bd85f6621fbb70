// Mark and route records from stored files: a free mark, a route point (no
// sync block) or a whole route, chosen by the first byte; the rest is the file.
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void CheckMark(const COverlayMark& mark)
{
    // Read values are always usable: the sentinel or a place, finite radii,
    // created never after modified.
    if (!mark.HasPosition() && mark.GetLatitude() != COverlayMark::kNoPosition)
        std::abort();
    if (!(mark.GetInnerRadius() >= 0) || !std::isfinite(mark.GetOuterRadius()) || mark.GetOuterRadius() < 0)
        std::abort();
    if (!(mark.GetCreated() <= mark.GetModified()))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t kind = data[0] % 3;
    ++data;
    --size;
    if (kind == 0) {
        COverlayMark mark;
        mark.LoadFromBuffer(data, size);
        CheckMark(mark);
    } else if (kind == 1) {
        CMarkManager::RoutePointScope scope;
        COverlayMark point;
        point.LoadFromBuffer(data, size);
        CheckMark(point);
    } else {
        COverlayRoute route;
        route.LoadFromBuffer(data, size);
        if (CMarkManager::IsMakingRoutePoints())
            std::abort();
        for (const auto& p : route.Points()) {
            if (p->GetRoute() != &route)
                std::abort();
            CheckMark(*p);
        }
        route.TotalDistance();
    }
    return 0;
}
