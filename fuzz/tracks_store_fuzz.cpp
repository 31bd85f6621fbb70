// The tracks store as read at start-up: the records, then the load rules
// (dropping trivial tracks, thinning dense ones), then a save of what was read.
#include "overlays/model/TrackManager.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CTrackManager store;
    store.LoadFromBuffer(data, size, {}, nullptr, CTrackManager::kFileId);
    store.AfterLoad();
    for (const auto& track : store.Tracks()) {
        // What was read is always drawable: finite points, a sane style.
        const CLineStyle& style = track->GetLineStyle();
        if (!(style.width > 0) || !std::isfinite(style.width) || style.pattern > CLineStyle::kDashDotDot)
            std::abort();
        for (const auto& section : track->Sections()) {
            if (section->Count() == 0 || section->Count() > CTrackSection::kMaxPoints)
                std::abort();
            for (uint32_t i = 0; i < section->Count(); ++i)
                if (!std::isfinite(section->Point(i).latitude) || !std::isfinite(section->Point(i).time))
                    std::abort();
        }
    }
    std::string out;
    if (!store.SaveToBuffer(out, {}, nullptr, CTrackManager::kFileId))
        std::abort();
    return 0;
}
