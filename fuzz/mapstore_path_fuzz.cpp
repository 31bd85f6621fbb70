// A map-store listing's URL path becomes a local path in the map-store
// folder. The folder holds a subfolder, a file and a link to a folder outside
// it; whatever path is accepted must stay inside the folder: no "..", no
// absolute or empty part, no NUL, and no existing link on the way.
#include "charts/mapstore/MapStoreDownload.h"

#include "FuzzScratch.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string root = fuzzsupport::ScratchFolder("mapstorepath");
    static const std::string folder = [] {
        if (root.empty())
            return std::string();
        const std::string mvt = root + "/MVT";
        ::mkdir(mvt.c_str(), 0700);
        ::mkdir((mvt + "/sub").c_str(), 0700);
        ::mkdir((root + "/outside").c_str(), 0700);
        std::ofstream(mvt + "/sub/chart.rlt") << "chart";
        [[maybe_unused]] int a = ::symlink((root + "/outside").c_str(), (mvt + "/out").c_str());
        [[maybe_unused]] int b = ::symlink((root + "/outside").c_str(), (mvt + "/sub/out").c_str());
        [[maybe_unused]] int c = ::symlink("../../outside/x.rlt", (mvt + "/sub/file.rlt").c_str());
        return mvt;
    }();
    if (folder.empty())
        return 0;
    const std::string url(reinterpret_cast<const char*>(data), size);
    std::string local;
    if (!MapStoreLocalPath(folder, url, local)) {
        Check(local.empty());
        return 0;
    }
    Check(local.size() > folder.size() + 1 && local.compare(0, folder.size() + 1, folder + "/") == 0);
    Check(local.find('\0') == std::string::npos);
    const std::string rest = local.substr(folder.size() + 1);
    size_t start = 0;
    for (;;) {
        const size_t slash = rest.find('/', start);
        const std::string part =
            rest.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        Check(!part.empty() && part != "." && part != "..");
        struct stat st;
        const std::string prefix = folder + "/" + rest.substr(0, slash);
        Check(::lstat(prefix.c_str(), &st) != 0 || !S_ISLNK(st.st_mode));
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    // The empty URL path and the folder itself are never a file's place.
    MapStoreLocalPath("", url, local);
    Check(local.empty());
    return 0;
}
