#include "charts/chartlist/ChartList.h"

#include "charts/chartlist/ChartFileTimes.h"
#include "charts/chunked/ChunkStorePath.h"
#include "foundation/events/Listener.h"
#include "foundation/util/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool OutlineBefore(const ChartOutlinePtr& a, const ChartOutlinePtr& b)
{
    if (a->scale != b->scale)
        return a->scale < b->scale;
    return a->path < b->path;
}

bool TrailingNumber(const std::string& text, uint64_t& number)
{
    size_t end = text.size(), start = end;
    while (start > 0 && text[start - 1] >= '0' && text[start - 1] <= '9')
        --start;
    if (start == end)
        return false;
    number = 0;
    for (size_t i = start; i < end && number < 1000000000000000000ull; ++i)
        number = number * 10 + uint64_t(text[i] - '0');
    return true;
}

} // namespace

CChartList::CChartList() = default;

CChartList::~CChartList() = default;

CChartList& CChartList::Instance()
{
    static CChartList list;
    return list;
}

ChartOutlinePtr CChartList::FindByPath(const std::string& path) const
{
    auto it = m_byPath.find(path);
    return it == m_byPath.end() ? nullptr : it->second;
}

ChartOutlinePtr CChartList::AddChart(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return nullptr;
    CFileId id{uint64_t(st.st_dev), uint64_t(st.st_ino)};
    // An outline is only good for the very file it was read from: a download
    // may have replaced the file at its path, or a new file may have been
    // given the inode of one deleted since the last scan.
    auto isThisFile = [&](const ChartOutlinePtr& o) {
        return o->fileId == id && o->fileSize == uint64_t(st.st_size) && o->modificationTimeNs == MtimeNs(st);
    };
    if (ChartOutlinePtr known = FindByPath(path)) {
        if (isThisFile(known))
            return known;
        Remove(known);
    }
    auto same = m_byId.find(id);
    if (same != m_byId.end()) {
        if (isThisFile(same->second))
            return same->second; // the same file reached under another path
        Remove(same->second);
    }

    ChartOutlinePtr outline;
    auto previous = m_previous.find(path);
    if (previous != m_previous.end() && previous->second->fileId == id &&
        previous->second->fileSize == uint64_t(st.st_size) &&
        previous->second->modificationTimeNs == MtimeNs(st))
        outline = previous->second;
    else
        outline = CChartOutline::FromFile(path);
    if (!outline)
        return nullptr;
    return Insert(outline);
}

ChartOutlinePtr CChartList::Insert(const ChartOutlinePtr& outline)
{
    auto same = m_byId.find(outline->fileId);
    if (same != m_byId.end())
        return same->second;
    m_outlines.insert(std::upper_bound(m_outlines.begin(), m_outlines.end(), outline, OutlineBefore),
                      outline);
    m_byPath[outline->path] = outline;
    m_byId[outline->fileId] = outline;
    return outline;
}

void CChartList::Remove(const ChartOutlinePtr& outline)
{
    auto it = std::find(m_outlines.begin(), m_outlines.end(), outline);
    if (it != m_outlines.end())
        m_outlines.erase(it);
    auto byPath = m_byPath.find(outline->path);
    if (byPath != m_byPath.end() && byPath->second == outline)
        m_byPath.erase(byPath);
    auto byId = m_byId.find(outline->fileId);
    if (byId != m_byId.end() && byId->second == outline)
        m_byId.erase(byId);
    if (m_current == outline)
        m_current = nullptr;
}

ChartOutlinePtr CChartList::FindBestChartAt(double latitude, double longitude, double targetScale) const
{
    const double target = std::isfinite(targetScale) && targetScale > 0 ? targetScale : 1e-8;
    for (bool shownOnly : {true, false}) {
        ChartOutlinePtr best;
        double bestFit = -1;
        for (const ChartOutlinePtr& o : m_outlines) {
            if (shownOnly && !CSelectMapTypes::IsTypeShown(*o))
                continue;
            if (!o->Contains(latitude, longitude))
                continue;
            double r = target / o->scale;
            double fit = std::min(r, 1 / r);
            if (fit > bestFit) {
                bestFit = fit;
                best = o;
            }
        }
        if (best)
            return best;
    }
    return nullptr;
}

ChartOutlinePtr CChartList::FindLowerScaleChartAt(double latitude, double longitude) const
{
    if (!m_current)
        return nullptr;
    const double v = m_current->scale;
    auto start = std::lower_bound(m_outlines.begin(), m_outlines.end(), v,
                                  [](const ChartOutlinePtr& o, double s) { return o->scale < s; });
    for (auto it = start; it != m_outlines.begin();) {
        --it;
        if (CSelectMapTypes::IsTypeShown(**it) && (*it)->Contains(latitude, longitude))
            return *it;
    }
    return nullptr;
}

ChartOutlinePtr CChartList::FindHigherScaleChartAt(double latitude, double longitude) const
{
    if (!m_current)
        return nullptr;
    const double v = m_current->scale;
    auto start = std::upper_bound(m_outlines.begin(), m_outlines.end(), v,
                                  [](double s, const ChartOutlinePtr& o) { return s < o->scale; });
    for (auto it = start; it != m_outlines.end(); ++it)
        if (CSelectMapTypes::IsTypeShown(**it) && (*it)->Contains(latitude, longitude))
            return *it;
    return nullptr;
}

void CChartList::ListChartsAt(double latitude, double longitude, std::vector<ChartOutlinePtr>& out) const
{
    for (const ChartOutlinePtr& o : m_outlines)
        if (o->Contains(latitude, longitude))
            out.push_back(o);
}

namespace {

ChartFileRemover& Remover()
{
    static ChartFileRemover remover;
    return remover;
}

// Removes one file; a file already gone counts as removed.
bool RemoveChartFile(const std::string& path)
{
    const int rc = Remover() ? Remover()(path) : ::unlink(path.c_str());
    return rc == 0 || errno == ENOENT;
}

// A chunk store folder holds the numbered part files "0" to "99"; only those
// go, so that anything else the user put there survives, and the folder goes
// when nothing is left in it.
bool RemoveChunkPartFolder(const std::string& folder)
{
    bool all = true;
    for (int part = 0; part < 100; ++part) {
        const std::string file = folder + "/" + std::to_string(part);
        struct stat st;
        if (::lstat(file.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
            continue;
        all = RemoveChartFile(file) && all;
    }
    ::rmdir(folder.c_str()); // fails harmlessly while something else is inside
    return all;
}

} // namespace

void SetChartFileRemoverForTesting(ChartFileRemover remover)
{
    Remover() = std::move(remover);
}

bool CChartList::DeleteChart(const ChartOutlinePtr& outline)
{
    if (!outline)
        return false;
    // The chunk store beside it first, in every spelling: one file, or a
    // folder of numbered part files. A chart whose files did not all go
    // stays listed, so that the failure is seen and can be tried again.
    bool all = true;
    for (const std::string& store : ExistingChunkStorePaths(outline->path)) {
        struct stat st;
        if (::lstat(store.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            all = RemoveChunkPartFolder(store) && all;
        else
            all = RemoveChartFile(store) && all;
    }
    if (!all || !RemoveChartFile(outline->path))
        return false;
    Remove(outline);
    return true;
}

int CChartList::RemoveDuplicateMaps()
{
    std::map<std::string, std::vector<ChartOutlinePtr>> groups;
    for (const ChartOutlinePtr& o : m_outlines)
        groups[PathFileName(o->path)].push_back(o);

    // Whether a is the newer copy of b.
    auto beats = [](const CChartOutline& a, const CChartOutline& b) {
        if (a.fileId == b.fileId)
            return false; // one file: nothing to choose between
        if (a.edition != b.edition)
            return a.edition > b.edition;
        uint64_t na, nb;
        if (TrailingNumber(PathBaseName(a.path), na) && TrailingNumber(PathBaseName(b.path), nb))
            return na > nb;
        if (TrailingNumber(PathFileName(PathDirectory(a.path)), na) &&
            TrailingNumber(PathFileName(PathDirectory(b.path)), nb))
            return na > nb;
        return false;
    };

    std::vector<ChartOutlinePtr> beaten;
    for (auto& [name, group] : groups) {
        if (group.size() < 2)
            continue;
        for (const ChartOutlinePtr& candidate : group)
            for (const ChartOutlinePtr& other : group)
                if (other != candidate && beats(*other, *candidate)) {
                    beaten.push_back(candidate);
                    break;
                }
    }
    int removed = 0;
    for (const ChartOutlinePtr& o : beaten)
        removed += DeleteChart(o) ? 1 : 0;
    if (removed > 0)
        FireEvent<CChartList>(*this);
    return removed;
}
