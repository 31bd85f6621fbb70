#include "charts/chunked/ChunkStorePath.h"

#include "foundation/util/Files.h"

#include <strings.h>
#include <sys/stat.h>

namespace {

// The path without its extension.
std::string StemOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return hasExtension ? path.substr(0, dot) : path;
}

bool Exists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

} // namespace

std::string ChunkStorePathFor(const std::string& chartPath)
{
    const std::string stem = StemOf(chartPath);
    struct stat st;
    if (::stat((stem + ".RL3").c_str(), &st) == 0)
        return stem + ".RL3";
    return stem + ".rl3";
}

std::vector<std::string> ExistingChunkStorePaths(const std::string& chartPath)
{
    const std::string stem = StemOf(chartPath);
    const size_t slash = stem.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : stem.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? stem : stem.substr(slash + 1);
    std::vector<std::string> found;
    for (const std::string& name : ListFolder(folder)) {
        if (name.size() == base.size() + 4 && name.compare(0, base.size(), base) == 0 &&
            ::strcasecmp(name.c_str() + base.size(), ".rl3") == 0) {
            const std::string path = slash == std::string::npos ? name : folder + name;
            if (Exists(path))
                found.push_back(path);
        }
    }
    return found;
}
