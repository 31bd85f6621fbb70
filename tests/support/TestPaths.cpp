#include "TestPaths.h"

#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdlib.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace tessatest {

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
    return templ;
}

} // namespace tessatest
