#include "charts/ChartFileUse.h"

#include "charts/ChartPorts.h"

#include <map>
#include <mutex>
#include <sys/stat.h>
#include <utility>

namespace {

struct Uses
{
    int mappings = 0;
    int rewrites = 0;
};

std::mutex gMutex;
std::map<CFileId, Uses> gUses;

void Drop(std::map<CFileId, Uses>::iterator it)
{
    if (it->second.mappings <= 0 && it->second.rewrites <= 0)
        gUses.erase(it);
}

} // namespace

CFileId FileIdOfDescriptor(int fd)
{
    CFileId id;
    struct stat st;
    if (fd >= 0 && ::fstat(fd, &st) == 0) {
        id.device = uint64_t(st.st_dev);
        id.inode = uint64_t(st.st_ino);
    }
    return id;
}

bool BeginChartFileMapping(const CFileId& id)
{
    std::lock_guard<std::mutex> lock(gMutex);
    Uses& uses = gUses[id];
    if (uses.rewrites > 0) {
        Drop(gUses.find(id));
        return false;
    }
    ++uses.mappings;
    return true;
}

void EndChartFileMapping(const CFileId& id)
{
    std::lock_guard<std::mutex> lock(gMutex);
    auto it = gUses.find(id);
    if (it == gUses.end())
        return;
    --it->second.mappings;
    Drop(it);
}

bool BeginChartFileRewrite(const CFileId& id)
{
    std::lock_guard<std::mutex> lock(gMutex);
    Uses& uses = gUses[id];
    if (uses.mappings > 0)
        return false;
    ++uses.rewrites;
    return true;
}

void EndChartFileRewrite(const CFileId& id)
{
    std::lock_guard<std::mutex> lock(gMutex);
    auto it = gUses.find(id);
    if (it == gUses.end())
        return;
    --it->second.rewrites;
    Drop(it);
}

void ReleaseChartFiles(const std::vector<std::string>& paths)
{
    Port<IChartRewriteHooks>().ReleaseChartFiles(paths);
}

void ReacquireChartFiles(const std::vector<std::string>& paths)
{
    Port<IChartRewriteHooks>().ReacquireChartFiles(paths);
}
