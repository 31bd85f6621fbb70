// Names from files and users: sync tags, icon names, '#' numbering templates
// and route names. Lines of the input are the names.
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayNames.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/Syncable.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i)
        if (i == text.size() || text[i] == '\n') {
            lines.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    if (lines.size() > 64)
        lines.resize(64);

    CMarkManager& manager = CMarkManager::Get();
    manager.ClearForTesting();
    for (const std::string& line : lines) {
        CSyncable::ParseSyncTag(line);
        const std::string icon = NormaliseIconName(line);
        if (icon.size() > 64)
            std::abort();
        if (icon != "MOB")
            for (char c : icon)
                if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'))
                    std::abort();
        if (ParseNameNumber(line, line.size() / 2) > kMaxNameNumber)
            std::abort();
        auto mark = std::make_unique<COverlayMark>();
        mark->SetName(line);
        manager.AddMark(std::move(mark));
        auto route = std::make_unique<COverlayRoute>();
        route->SetName(line);
        manager.AddRoute(std::move(route));
    }
    for (const std::string& line : lines) {
        COverlayMark source;
        source.SetName(line);
        const std::string copy = COverlayMark::MakeCopy(source)->GetName();
        if (copy.size() > line.size() + 20)
            std::abort();
    }
    const std::string route = manager.NextRouteName();
    if (route.size() < 2 || route.size() > 20 || route[0] != 'R')
        std::abort();
    manager.ClearForTesting();
    return 0;
}
