#include "foundation/platform/PlatformFolders.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <cstdlib>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::mutex g_mutex;
std::string g_test_root;
std::vector<std::string> g_test_resources;
std::string g_temp_folder;
std::string g_temp_root_made_for;

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
    g_temp_folder = pattern;
    g_temp_root_made_for = g_test_root;
    return g_temp_folder;
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
