// The store of marks and routes read into a scratch manager: a load either
// fails or yields whole, usable objects, and what loaded saves and reads back.
#include "foundation/objectfile/Serializable.h"
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
    auto scratch = CMarkManager::MakeScratch();
    if (!scratch->LoadFromBuffer(data, size, {}, nullptr, CMarkManager::kFileId)) {
        if (!scratch->Marks().empty() || !scratch->Routes().empty())
            std::abort(); // a failed read keeps nothing
        return 0;
    }
    for (const auto& m : scratch->Marks()) {
        if (m->GetRoute())
            std::abort();
        CheckMark(*m);
    }
    for (const auto& r : scratch->Routes())
        for (const auto& p : r->Points()) {
            if (p->GetRoute() != r.get())
                std::abort();
            CheckMark(*p);
        }
    if (CMarkManager::IsMakingRoutePoints())
        std::abort();
    // What loaded saves, and the saved bytes read back to the same bytes.
    std::string first;
    if (!scratch->SaveToBuffer(first, {}, nullptr, CMarkManager::kFileId))
        std::abort();
    auto again = CMarkManager::MakeScratch();
    std::string second;
    if (!again->LoadFromBuffer(first.data(), first.size(), {}, nullptr, CMarkManager::kFileId) ||
        !again->SaveToBuffer(second, {}, nullptr, CMarkManager::kFileId) || first != second)
        std::abort();
    return 0;
}
