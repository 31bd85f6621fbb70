// GPX files from anywhere: importing one must never crash, and no value that
// is not finite, nor a point off the globe, may reach the mark store.
#include "overlays/GpxFile.h"
#include "overlays/MarkManager.h"
#include "overlays/OverlayMark.h"
#include "overlays/OverlayRoute.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

void CheckMark(const COverlayMark& mark)
{
    if (!mark.HasPosition() || std::fabs(mark.GetLongitude()) > 180.0)
        std::abort();
    if (!(mark.GetInnerRadius() >= 0 && mark.GetInnerRadius() <= 1e7f) ||
        !(mark.GetOuterRadius() >= 0 && mark.GetOuterRadius() <= 1e7f))
        std::abort();
    if (!std::isfinite(mark.GetCreated()))
        std::abort();
}

const std::string& InputPath()
{
    static const std::string path = [] {
        char name[] = "/tmp/gpx_import_fuzz_XXXXXX";
        int fd = mkstemp(name);
        if (fd >= 0)
            close(fd);
        return std::string(name);
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::FILE* f = std::fopen(InputPath().c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    CMarkManager& manager = CMarkManager::Get();
    manager.ClearForTesting();
    bool imported = ImportGPXFile(InputPath());
    // A second import of the same bytes adds nothing.
    size_t marks = manager.Marks().size(), routes = manager.Routes().size();
    ImportGPXFile(InputPath());
    if (manager.Marks().size() != marks || manager.Routes().size() != routes)
        std::abort();
    if (!imported && (marks || routes))
        std::abort();
    for (const auto& mark : manager.Marks())
        CheckMark(*mark);
    for (const auto& route : manager.Routes()) {
        const CLineStyle& style = route->GetLineStyle();
        if (!std::isfinite(style.width) || style.width < 0)
            std::abort();
        for (const auto& point : route->Points())
            CheckMark(*point);
    }
    manager.ClearForTesting();
    return 0;
}
