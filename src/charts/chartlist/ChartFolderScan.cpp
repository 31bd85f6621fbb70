// The chart folders and their scan: which folders hold charts, and reading
// them again when something below them changed.
#include "charts/chartlist/ChartList.h"

#include "charts/chartlist/ChartFileTimes.h"
#include "foundation/AtomicFile.h"
#include "foundation/events/Listener.h"
#include "foundation/util/Files.h"
#include "foundation/util/Folders.h"
#include "foundation/util/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Deeper folder trees than this are not charts folders but accidents.
constexpr int kMaxFolderDepth = 64;

bool EndsWithRlt(const char* name)
{
    size_t n = std::strlen(name);
    return n >= 4 && name[n - 4] == '.' && (name[n - 3] | 0x20) == 'r' && (name[n - 2] | 0x20) == 'l' &&
           (name[n - 1] | 0x20) == 't';
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

} // namespace

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
    std::ifstream file(folders.mapFoldersFile, std::ios::binary);
    std::string path;
    // Whole lines, however long: the rest of a long line read as a line of
    // its own could name a folder relative to wherever the program runs.
    // Folders are added with their full paths; anything else is no folder.
    while (std::getline(file, path)) {
        while (!path.empty() && (path.back() == '\n' || path.back() == '\r'))
            path.pop_back();
        if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos)
            continue;
        RegisterFolder(path);
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
        // Replaced whole, so a crash mid-write never loses the folders noted
        // before; a list that exists but cannot be read is left as it is
        // rather than replaced by this folder alone.
        std::vector<uint8_t> bytes;
        std::string error;
        if (!ReadFileToBuffer(m_config.mapFoldersFile, bytes) &&
            ::access(m_config.mapFoldersFile.c_str(), F_OK) == 0)
            error = "could not be read, so the folder was not added to it";
        std::string text(bytes.begin(), bytes.end());
        text.append("\n").append(path);
        if (error.empty())
            WriteFileAtomically(m_config.mapFoldersFile, text, &error);
        if (!error.empty())
            std::fprintf(stderr, "%s: %s\n", m_config.mapFoldersFile.c_str(), error.c_str());
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
