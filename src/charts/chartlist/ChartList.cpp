#include "charts/chartlist/ChartList.h"

#include "charts/chunked/ChunkStorePath.h"
#include "foundation/events/Listener.h"
#include "foundation/settings/PersistantData.h"
#include "foundation/util/Folders.h"
#include "foundation/util/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Deeper folder trees than this are not charts folders but accidents.
constexpr int kMaxFolderDepth = 64;

class SelectMapTypesSettings : public PersistantData
{
public:
    SelectMapTypesSettings() : PersistantData("CSelectMapTypes")
    {
        values.show = CSelectMapTypes::DefaultTypes();
    }
    void Exchange() override
    {
        ExchangeStringSet("show", values.show);
        ExchangeBool("types_hint", values.typesHint);
        ExchangeBool("show_old_maps", values.showOldMaps);
        uint32_t option = uint32_t(values.mvtStorageOption);
        ExchangeHex("MVT_storage_option", option);
        values.mvtStorageOption = int32_t(option);
        if (IsLoading() && values.show.empty())
            values.show = CSelectMapTypes::DefaultTypes();
    }
    CSelectMapTypes::Settings values;
};

SelectMapTypesSettings& MapTypeSettings()
{
    static SelectMapTypesSettings settings;
    return settings;
}
// Registered with the settings list before start-up loads it.
[[maybe_unused]] const bool kMapTypeSettingsMade = (MapTypeSettings(), true);

bool OutlineBefore(const ChartOutlinePtr& a, const ChartOutlinePtr& b)
{
    if (a->scale != b->scale)
        return a->scale < b->scale;
    return a->path < b->path;
}

bool EndsWithRlt(const char* name)
{
    size_t n = std::strlen(name);
    return n >= 4 && name[n - 4] == '.' && (name[n - 3] | 0x20) == 'r' && (name[n - 2] | 0x20) == 'l' &&
           (name[n - 1] | 0x20) == 't';
}

int64_t MtimeNs(const struct stat& st)
{
    return int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// The newest modification time of a folder and every folder below it,
// following links as the scan does and visiting each folder once.
int64_t NewestFolderTime(const std::string& path, std::set<CFileId>& visited, int depth)
{
    struct stat st;
    if (depth > kMaxFolderDepth || ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return 0;
    if (!visited.insert(CFileId{uint64_t(st.st_dev), uint64_t(st.st_ino)}).second)
        return 0;
    int64_t newest = MtimeNs(st);
    for (const std::string& name : ListSubfolders(path))
        newest = std::max(newest, NewestFolderTime(path + "/" + name, visited, depth + 1));
    return newest;
}

// The number a text ends in, if it ends in a digit.
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

bool StartsWithFolder(const std::string& path, const std::string& folder)
{
    return !folder.empty() && path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

} // namespace

CSelectMapTypes::Settings& CSelectMapTypes::Get()
{
    return MapTypeSettings().values;
}

std::set<std::string> CSelectMapTypes::DefaultTypes()
{
    return {"Topo", "4WD", "Basemap"};
}

bool CSelectMapTypes::IsTypeShown(const std::string& mapType)
{
    return Get().show.count(mapType) != 0;
}

bool CSelectMapTypes::IsTypeShown(const CChartOutline& outline)
{
    return IsTypeShown(outline.mapType);
}

void CSelectMapTypes::ShowType(const std::string& mapType)
{
    if (Get().show.insert(mapType).second)
        MapTypeSettings().SetModified();
}

void CSelectMapTypes::HideType(const std::string& mapType)
{
    if (Get().show.erase(mapType))
        MapTypeSettings().SetModified();
}

std::string GetMVTFolder()
{
    // Asked each time: the storage option and the data folder can change.
    return (CSelectMapTypes::Get().mvtStorageOption != 0 ? GetApplicationSupportFolder()
                                                         : GetDocumentsFolder()) +
           "/MVT";
}

CChartList::CChartList() = default;
CChartList::~CChartList() = default;

CChartList& CChartList::Instance()
{
    static CChartList list;
    return list;
}

CChartFolders CChartList::ApplicationFolders()
{
    CChartFolders f;
    f.documents = GetDocumentsFolder();
    f.standard = {f.documents, GetCachesFolder(), GetApplicationSupportFolder()};
    f.mapFoldersFile = f.documents + "/map_folders.txt";
    f.resources = GetResourceFolder();
    f.mapStore = GetMVTFolder();
    return f;
}

void CChartList::Init()
{
    Init(ApplicationFolders());
}

void CChartList::Init(const CChartFolders& folders)
{
    m_config = folders;
    m_folders.clear();
    for (const std::string& path : folders.standard)
        RegisterFolder(path);
    if (FILE* file = std::fopen(folders.mapFoldersFile.c_str(), "r")) {
        char line[4096];
        while (std::fgets(line, sizeof line, file)) {
            std::string path(line);
            while (!path.empty() && (path.back() == '\n' || path.back() == '\r'))
                path.pop_back();
            if (path.empty() || path[0] == '#')
                continue;
            RegisterFolder(path);
        }
        std::fclose(file);
    }
    Rescan();
}

bool CChartList::RegisterFolder(const std::string& path)
{
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    CFileId id{uint64_t(st.st_dev), uint64_t(st.st_ino)};
    for (const CFolderAndTime& f : m_folders)
        if (f.id == id)
            return false;
    m_folders.push_back({path, id, 0});
    return true;
}

bool CChartList::AddFolder(const std::string& path)
{
    // One folder a line: a name with a line break would become two folders.
    if (path.find_first_of("\r\n") != std::string::npos)
        return false;
    if (!RegisterFolder(path))
        return false;
    if (!m_config.mapFoldersFile.empty()) {
        if (FILE* file = std::fopen(m_config.mapFoldersFile.c_str(), "a")) {
            std::fprintf(file, "\n%s", path.c_str());
            std::fclose(file);
        }
    }
    Rescan();
    return true;
}

bool CChartList::RescanIfChanged()
{
    for (const CFolderAndTime& f : m_folders) {
        std::set<CFileId> visited;
        if (NewestFolderTime(f.path, visited, 0) != f.newestNs) {
            Rescan();
            return true;
        }
    }
    return false;
}

void CChartList::Rescan()
{
    std::string currentPath = m_current ? m_current->path : std::string();
    m_previous = std::move(m_byPath);
    m_byPath.clear();
    m_byId.clear();
    m_outlines.clear();
    m_visited.clear();

    for (CFolderAndTime& f : m_folders) {
        // The time is taken before the files are read, so a change during the
        // scan shows as a change next time.
        std::set<CFileId> visited;
        f.newestNs = NewestFolderTime(f.path, visited, 0);
        ScanFolder(f.path, 0);
    }
    if (!m_config.resources.empty())
        ScanFolder(m_config.resources, 0);
    m_previous.clear();

    m_current = currentPath.empty() ? nullptr : FindByPath(currentPath);
    FireEvent<CChartList>(*this);
}

void CChartList::ScanFolder(const std::string& path, int depth)
{
    struct stat st;
    if (depth > kMaxFolderDepth || ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return;
    // A folder reached again through a link is scanned once.
    if (!m_visited.insert(CFileId{uint64_t(st.st_dev), uint64_t(st.st_ino)}).second)
        return;
    DIR* dir = ::opendir(path.c_str());
    if (!dir)
        return;
    std::vector<std::string> charts, folders;
    while (struct dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        bool isRlt = EndsWithRlt(name);
        bool dotName = name[0] == '.';
        if (!isRlt && dotName)
            continue;
        unsigned char type = entry->d_type;
        if (type == DT_LNK || type == DT_UNKNOWN) {
            struct stat target;
            std::string full = path + "/" + name;
            if (::stat(full.c_str(), &target) != 0)
                continue;
            type = S_ISDIR(target.st_mode) ? DT_DIR : S_ISREG(target.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type == DT_REG && isRlt)
            charts.emplace_back(name);
        else if (type == DT_DIR && !dotName)
            folders.emplace_back(name);
    }
    ::closedir(dir);
    std::sort(charts.begin(), charts.end());
    std::sort(folders.begin(), folders.end());
    for (const std::string& name : charts)
        AddChart(path + "/" + name);
    for (const std::string& name : folders)
        ScanFolder(path + "/" + name, depth + 1);
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

bool CChartList::DeleteChart(const ChartOutlinePtr& outline)
{
    if (!outline)
        return false;
    if (::unlink(outline->path.c_str()) != 0 && errno != ENOENT)
        return false;
    // The chunk store beside it, in every spelling: one file, or a folder of
    // numbered part files.
    for (const std::string& store : ExistingChunkStorePaths(outline->path)) {
        struct stat st;
        if (::lstat(store.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            DeleteFolder(store);
        else
            ::unlink(store.c_str());
    }
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

std::string CChartList::TreePath(const CChartOutline& o, bool byType) const
{
    if (byType)
        return (o.mapType.empty() ? std::string(" - ") : o.mapType) + "|" + o.name;
    if (IsInAppBundle(o.path) || StartsWithFolder(o.path, m_config.resources))
        return "Built-in|" + o.name;
    if (StartsWithFolder(o.path, m_config.mapStore)) {
        std::string below = PathDirectory(o.path.substr(m_config.mapStore.size() + 1));
        std::string path = "MVT|";
        for (char c : below)
            path += c == '/' ? '|' : c;
        return path + "|" + o.name;
    }
    if (StartsWithFolder(o.path, m_config.documents))
        return "Documents|" + o.name;
    return "Internal|" + o.name;
}

std::unique_ptr<CChartTree> CChartList::MakeTree(bool byType, const double* point) const
{
    auto root = std::make_unique<CChartTree>();
    for (const ChartOutlinePtr& o : m_outlines) {
        if (point && !o->Contains(point[0], point[1]))
            continue;
        CChartTree* leaf = root->Add(TreePath(*o, byType), o);
        if (byType)
            leaf->Parent()->checked = CSelectMapTypes::IsTypeShown(*o);
    }
    return root;
}

std::unique_ptr<CChartTree> CChartList::MakeTreeAll(bool byType) const
{
    return MakeTree(byType, nullptr);
}

std::unique_ptr<CChartTree> CChartList::MakeTreeAt(double latitude, double longitude, bool byType) const
{
    const double point[2] = {latitude, longitude};
    return MakeTree(byType, point);
}

template <> void CMapTreeNode<CChartOutline>::StoreSelectedTypes()
{
    std::string type;
    if (m_item)
        type = m_item->mapType;
    else if (m_parent && !m_parent->m_parent)
        type = m_label == " - " ? std::string() : m_label; // a type group
    if (m_parent && (m_item || !m_parent->m_parent)) {
        if (IsCheckedUpwards())
            CSelectMapTypes::ShowType(type);
        else
            CSelectMapTypes::HideType(type);
    }
    size_t visited = 0;
    for (auto& child : m_children) {
        if (++visited > 51)
            break;
        child->StoreSelectedTypes();
    }
}

template <> bool CMapTreeNode<CChartOutline>::ExpandPathTo(const std::string& path)
{
    return ExpandWhere([&path](const CChartOutline& o) { return o.path == path; });
}
