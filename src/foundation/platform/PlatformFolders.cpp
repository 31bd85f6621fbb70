#include "foundation/platform/PlatformFolders.h"

#include "foundation/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <system_error>
#include <unistd.h>

namespace {

std::mutex g_mutex;
std::string g_test_root;
std::vector<std::string> g_test_resources;
std::string g_temp_folder;
std::string g_temp_root_made_for;

// A private folder as made, so that only that very folder is ever removed.
struct MadeFolder
{
    std::string path;
    dev_t device;
    ino_t inode;
    pid_t maker; // a forked child exits without touching its parent's folders
};
std::vector<MadeFolder> g_made_folders;
bool g_exit_cleanup_registered = false;

const char* const kOwnerFile = ".owner";
const char* const kTempPrefix = "tessaroute-";

// Deeper trees are left in place rather than risk the stack.
constexpr int kMaxRemovalDepth = 64;

// Empties the open folder `dir` (which it closes). Entries are opened relative
// to their folder without following links, so a link planted or swapped in
// can never lead the removal outside.
bool RemoveFolderContents(int dir, int depth)
{
    DIR* stream = ::fdopendir(dir);
    if (!stream) {
        ::close(dir);
        return false;
    }
    bool ok = true;
    while (struct dirent* entry = ::readdir(stream)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        struct stat st;
        if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = false;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            const int child = depth < kMaxRemovalDepth
                                  ? ::openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                                  : -1;
            if (child < 0 || !RemoveFolderContents(child, depth + 1) ||
                ::unlinkat(dir, name, AT_REMOVEDIR) != 0)
                ok = false;
        } else if (::unlinkat(dir, name, 0) != 0) {
            ok = false;
        }
    }
    ::closedir(stream);
    return ok;
}

void RemoveMadeFolder(const MadeFolder& made)
{
    struct stat st;
    if (made.maker != ::getpid() || ::lstat(made.path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        st.st_dev != made.device || st.st_ino != made.inode)
        return;
    const int dir = ::open(made.path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0)
        return;
    // Checked again on the open folder: the path may have been swapped meanwhile.
    if (::fstat(dir, &st) != 0 || st.st_dev != made.device || st.st_ino != made.inode) {
        ::close(dir);
        return;
    }
    if (RemoveFolderContents(dir, 0))
        ::rmdir(made.path.c_str());
}

void RemoveTempFoldersAtExit()
{
    RemovePlatformTempFolders();
}

std::string TestRoot()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_test_root;
}

std::string StandardFolder(QStandardPaths::StandardLocation location, const char* fallback_below_home)
{
    QString folder = QStandardPaths::writableLocation(location);
    if (folder.isEmpty())
        folder = QDir::homePath() + "/" + fallback_below_home;
    return QFile::encodeName(folder).toStdString();
}

bool IsFolder(const std::string& path)
{
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ExecutableFolder()
{
    char buffer[4096];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return std::string();
    std::string exe(buffer, static_cast<size_t>(n));
    size_t slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

} // namespace

std::string GetPlatformDataFolder()
{
    std::string root = TestRoot();
    if (!root.empty())
        return root + "/data/tessaroute";
    return StandardFolder(QStandardPaths::GenericDataLocation, ".local/share") + "/tessaroute";
}

std::string GetPlatformDocumentsFolder()
{
    std::string root = TestRoot();
    if (!root.empty())
        return root + "/Documents/Tessaroute";
    return StandardFolder(QStandardPaths::DocumentsLocation, "Documents") + "/Tessaroute";
}

std::string GetPlatformCachesFolder()
{
    std::string root = TestRoot();
    if (!root.empty())
        return root + "/cache/tessaroute";
    return StandardFolder(QStandardPaths::GenericCacheLocation, ".cache") + "/tessaroute";
}

std::string GetPlatformTempFolder()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    // A new private folder whenever the root changes (tests) or the old one vanished.
    if (!g_temp_folder.empty() && g_temp_root_made_for == g_test_root && IsFolder(g_temp_folder))
        return g_temp_folder;
    std::string base;
    if (!g_test_root.empty()) {
        base = g_test_root + "/tmp";
        ::mkdir(g_test_root.c_str(), 0700);
        ::mkdir(base.c_str(), 0700);
    } else {
        const char* env = std::getenv("TMPDIR");
        base = (env && *env) ? env : "/tmp";
    }
    std::string pattern = base + "/tessaroute-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        return std::string();
    struct stat st;
    if (::lstat(pattern.c_str(), &st) != 0)
        return std::string();
    g_made_folders.push_back({pattern, st.st_dev, st.st_ino, ::getpid()});
    // The maker is named inside, so a later start can tell a folder left by a
    // killed process from one still in use.
    const int owner = ::open((pattern + "/" + kOwnerFile).c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (owner >= 0) {
        const std::string pid = std::to_string(::getpid()) + "\n";
        [[maybe_unused]] ssize_t n = ::write(owner, pid.data(), pid.size());
        ::close(owner);
    }
    if (!g_exit_cleanup_registered) {
        // Processes without the application's shutdown (tests, fuzzers) clean up here.
        g_exit_cleanup_registered = true;
        std::atexit(RemoveTempFoldersAtExit);
    }
    g_temp_folder = pattern;
    g_temp_root_made_for = g_test_root;
    return g_temp_folder;
}

void RemovePlatformTempFolders()
{
    std::vector<MadeFolder> made;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        made.swap(g_made_folders);
        g_temp_folder.clear();
    }
    for (const MadeFolder& folder : made)
        RemoveMadeFolder(folder);
}

namespace {

std::string TempBase()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_test_root.empty())
        return g_test_root + "/tmp";
    const char* env = std::getenv("TMPDIR");
    return (env && *env) ? env : "/tmp";
}

// The pid written in a private folder's owner file; 0 when there is none.
pid_t OwnerOf(int dir)
{
    const int fd = ::openat(dir, kOwnerFile, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char text[32] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0)
        return 0;
    char* end = nullptr;
    const long pid = std::strtol(text, &end, 10);
    return pid > 0 && end != text && (*end == '\n' || *end == 0) ? pid_t(pid) : 0;
}

// Removes the writer's leftovers in the open folder `dir` (which it closes)
// and, with `below`, in every folder under it; links are never followed.
int SweepLeftoversIn(int dir, bool below, int depth)
{
    DIR* stream = ::fdopendir(dir);
    if (!stream) {
        ::close(dir);
        return 0;
    }
    int removed = 0;
    std::vector<std::string> folders;
    while (struct dirent* entry = ::readdir(stream)) {
        const std::string name = entry->d_name;
        struct stat st;
        if (name == "." || name == ".." || ::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            if (below && depth < kMaxRemovalDepth)
                folders.push_back(name);
        } else if (S_ISREG(st.st_mode) && st.st_uid == ::getuid() && IsAtomicWriterTempName(name) &&
                   ::unlinkat(dir, name.c_str(), 0) == 0) {
            ++removed;
        }
    }
    for (const std::string& name : folders) {
        const int child = ::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child >= 0)
            removed += SweepLeftoversIn(child, true, depth + 1);
    }
    ::closedir(stream);
    return removed;
}

int SweepLeftovers(const std::string& folder, bool below)
{
    // A folder of ours replaced by a link is not entered: the link may lead
    // to files that only look like ours.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    return dir < 0 ? 0 : SweepLeftoversIn(dir, below, 0);
}

} // namespace

int SweepDeadTempFolders()
{
    const std::string base = TempBase();
    const int baseFd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (baseFd < 0)
        return 0;
    DIR* stream = ::fdopendir(baseFd);
    if (!stream) {
        ::close(baseFd);
        return 0;
    }
    int removed = 0;
    const size_t prefix = std::strlen(kTempPrefix);
    while (struct dirent* entry = ::readdir(stream)) {
        const std::string name = entry->d_name;
        if (name.size() != prefix + 6 || name.compare(0, prefix, kTempPrefix) != 0)
            continue;
        struct stat st;
        if (::fstatat(baseFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) ||
            st.st_uid != ::getuid())
            continue;
        const int dir = ::openat(baseFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (dir < 0)
            continue;
        const pid_t owner = OwnerOf(dir);
        // No owner file: not a folder this system can judge. A live owner keeps it.
        if (owner == 0 || owner == ::getpid() || ::kill(owner, 0) == 0 || errno != ESRCH) {
            ::close(dir);
            continue;
        }
        if (RemoveFolderContents(dir, 0) && ::unlinkat(baseFd, name.c_str(), AT_REMOVEDIR) == 0)
            ++removed;
    }
    ::closedir(stream);
    return removed;
}

int SweepWriterLeftovers(const std::string& folder)
{
    return SweepLeftovers(folder, false);
}

int SweepApplicationFolders()
{
    const std::string documents = GetPlatformDocumentsFolder();
    return SweepLeftovers(GetPlatformDataFolder(), true) + SweepLeftovers(documents, false) +
           SweepLeftovers(documents + "/MVT", true) + SweepDeadTempFolders();
}

namespace {

const char* const kLockName = ".lock";

// Whether some process holds a lock on this file. A lock file this user
// cannot open may still be that of a running start (under another user).
bool IsLockedByAnyone(const struct stat& st)
{
    FILE* locks = std::fopen("/proc/locks", "re");
    if (!locks)
        return false;
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, " %02x:%02x:%llu ", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    char line[256];
    bool found = false;
    while (!found && std::fgets(line, sizeof line, locks))
        found = std::strstr(line, wanted) != nullptr;
    std::fclose(locks);
    return found;
}

// Starts on one folder repair its lock file one at a time, so that none
// removes the lock file another has just made and locked. Held briefly; a
// folder that takes no locks, or a guard that stays taken, is gone past.
class CFolderGuard
{
public:
    explicit CFolderGuard(int dir) : m_dir(dir)
    {
        for (int i = 0; i < 200; ++i) {
            if (::flock(dir, LOCK_EX | LOCK_NB) == 0) {
                m_held = true;
                return;
            }
            if (errno != EWOULDBLOCK)
                return;
            ::usleep(10000);
        }
    }
    ~CFolderGuard()
    {
        if (m_held)
            ::flock(m_dir, LOCK_UN);
    }
    CFolderGuard(const CFolderGuard&) = delete;
    CFolderGuard& operator=(const CFolderGuard&) = delete;

private:
    int m_dir;
    bool m_held = false;
};

// Removes what stands where the lock file belongs. A folder that holds
// something is kept aside instead: it is not ours to throw away.
bool ClearLockName(int dir, const std::string& path, const struct stat& st, std::string& note,
                   std::string& error)
{
    if (!S_ISDIR(st.st_mode)) {
        if (::unlinkat(dir, kLockName, 0) == 0 || errno == ENOENT)
            return true;
    } else if (::unlinkat(dir, kLockName, AT_REMOVEDIR) == 0 || errno == ENOENT) {
        return true;
    } else if (errno == ENOTEMPTY || errno == EEXIST) {
        for (int n = 1; n < 100; ++n) {
            std::string aside = std::string(kLockName) + ".old";
            if (n > 1)
                aside += '-' + std::to_string(n);
            struct stat taken;
            if (::fstatat(dir, aside.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0)
                continue;
            if (::renameat(dir, kLockName, dir, aside.c_str()) != 0)
                break;
            note = "the folder " + path + " was in the way; it is kept as " + aside;
            return true;
        }
    }
    error = path + " is in the way and cannot be replaced: " + std::strerror(errno);
    return false;
}

} // namespace

CDataFolderLock::~CDataFolderLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // closing releases the lock
}

CDataFolderLock::Result CDataFolderLock::Take(const std::string& folder, std::string& error)
{
    error.clear();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        error = folder + ": " + std::strerror(errno);
        return Result::Failed;
    }
    const Result result = TakeIn(dir, folder, error);
    ::close(dir);
    return result;
}

CDataFolderLock::Result CDataFolderLock::TakeIn(int dir, const std::string& folder, std::string& error)
{
    const std::string path = folder + "/" + kLockName;
    const CFolderGuard guard(dir);
    std::string note;
    Result result = Result::Failed;
    // The second round opens the file made in place of what was in the way.
    for (int round = 0; round < 2; ++round) {
        // Read access is enough for the lock, so a file a start under another
        // user left readable serves as it is.
        const int fd =
            ::openat(dir, kLockName, O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        const int openError = errno;
        struct stat st;
        if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                if (m_fd >= 0)
                    ::close(m_fd);
                m_fd = fd;
                error = note;
                result = Result::Held;
                break;
            }
            const int lockError = errno;
            ::close(fd);
            if (lockError == EWOULDBLOCK) {
                error = "another process holds " + path;
                result = Result::Busy;
            } else if (lockError == ENOLCK) {
                error = "the file system of " + folder + " has no locks";
                result = Result::NoLocking;
            } else {
                error = path + ": " + std::strerror(lockError);
            }
            break;
        }
        if (fd >= 0)
            ::close(fd);
        // Nothing there: the file could not be made (a read-only folder, a full disk).
        if (::fstatat(dir, kLockName, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            error = path + ": " + std::strerror(fd >= 0 ? errno : openError);
            break;
        }
        if (round > 0) {
            error = path + " is still in the way after it was replaced";
            break;
        }
        if (S_ISREG(st.st_mode) && IsLockedByAnyone(st)) {
            error = "another process holds " + path;
            result = Result::Busy;
            break;
        }
        if (!ClearLockName(dir, path, st, note, error))
            break;
    }
    return result;
}

std::vector<std::string> GetResourceSearchFolders()
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!g_test_resources.empty())
            return g_test_resources;
    }
    std::vector<std::string> folders;
    std::string exe = ExecutableFolder();
    if (!exe.empty() && IsFolder(exe + "/../share/tessaroute"))
        folders.push_back(exe + "/../share/tessaroute");
#ifdef TESSA_BUILD_RESOURCES
    if (IsFolder(TESSA_BUILD_RESOURCES))
        folders.push_back(TESSA_BUILD_RESOURCES);
#endif
#ifdef TESSA_SOURCE_RESOURCES
    if (IsFolder(TESSA_SOURCE_RESOURCES))
        folders.push_back(TESSA_SOURCE_RESOURCES);
#endif
    return folders;
}

void SetFolderRootForTesting(const std::string& root)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_test_root = root;
}

void SetResourceFoldersForTesting(const std::vector<std::string>& folders)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_test_resources = folders;
}
