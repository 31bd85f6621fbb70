// A "tessro:" link from a web page: the command and its pairs, then the open
// planner on the argument. Whatever is accepted has finite coordinates in
// range, no control bytes in its pairs, and a local path inside its folder
// with no "." or ".." component.
#include "app/shell/LinkCommand.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

bool HasDotComponent(const std::string& path)
{
    return path.find("/./") != std::string::npos || path.find("/../") != std::string::npos ||
           (path.size() >= 2 && path.compare(path.size() - 2, 2, "/.") == 0) ||
           (path.size() >= 3 && path.compare(path.size() - 3, 3, "/..") == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    CLinkCommand command;
    const std::string link = text.rfind("tessro:", 0) == 0 ? text : "tessro://" + text;
    if (!ParseLinkCommand(link, command))
        return 0;
    const std::vector<CLinkPair> pairs = ParseLinkPairs(command.argument);
    for (const CLinkPair& pair : pairs)
        for (char c : pair.key + pair.value)
            Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    double lat = 0, lon = 0, scale = 0;
    if (LinkPosition(pairs, lat, lon, scale))
        Check(std::isfinite(lat) && std::isfinite(lon) && std::isfinite(scale) && lat >= -90 && lat <= 90 &&
              lon >= -180 && lon <= 180 && scale >= 0);
    Check(LinkMarkName(pairs).size() <= kMaxLinkNameBytes);

    // The map-store folder does not exist: the planner reads nothing there.
    const std::string mvt = "/nonexistent-fuzz/MVT", downloads = "/nonexistent-fuzz/downloads";
    COpenPlan plan;
    if (!PlanOpen(command.argument, mvt, downloads, plan))
        return 0;
    if (plan.remote) {
        Check(IsInsideFolder(plan.local, mvt) || IsInsideFolder(plan.local, downloads));
        Check(!HasDotComponent(plan.local) && plan.local.find('\\') == std::string::npos);
        Check(plan.remotePath.size() > 0 && plan.remotePath[0] == '/');
    } else {
        Check(!plan.local.empty() && plan.local[0] == '/');
    }
    for (char c : plan.local)
        Check(static_cast<unsigned char>(c) >= 0x20);
    return 0;
}
