#include "TestPaths.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <random>
#include <stdlib.h>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;

namespace tessatest {

namespace {

struct MadeDir
{
    std::string path;
    dev_t device;
    ino_t inode;
};

std::mutex g_madeMutex;
std::vector<MadeDir>& MadeDirs()
{
    static std::vector<MadeDir> made;
    return made;
}

} // namespace

std::string TestDataDir()
{
    const char* env = std::getenv("TESSA_TESTDATA");
    std::string dir = env && *env ? env : TESSA_TESTDATA_DIR;
    std::error_code ec;
    return fs::is_directory(dir, ec) ? dir : std::string();
}

std::string TestDataFile(const std::string& relative)
{
    std::string dir = TestDataDir();
    if (dir.empty())
        return {};
    std::string p = dir + "/" + relative;
    std::error_code ec;
    return fs::exists(p, ec) ? p : std::string();
}

std::string MakeScratchDir(const std::string& tag)
{
    const char* base = std::getenv("TESSA_TEST_TMP");
    std::error_code ec;
    std::string root = base && *base ? base : fs::temp_directory_path(ec).string();
    fs::create_directories(root, ec);
    std::string templ = root + "/" + tag + "-XXXXXX";
    if (!mkdtemp(templ.data()))
        return {};
    struct stat st;
    if (::lstat(templ.c_str(), &st) == 0) {
        std::lock_guard<std::mutex> lock(g_madeMutex);
        MadeDirs().push_back({templ, st.st_dev, st.st_ino});
    }
    return templ;
}

void RemoveScratchDirs()
{
    std::lock_guard<std::mutex> lock(g_madeMutex);
    for (const MadeDir& made : MadeDirs()) {
        struct stat st;
        if (::lstat(made.path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_dev != made.device ||
            st.st_ino != made.inode)
            continue;
        std::error_code ec;
        fs::remove_all(made.path, ec);
    }
    MadeDirs().clear();
}

} // namespace tessatest
