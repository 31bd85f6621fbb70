// The application run offscreen with its own temporary folder (TMPDIR) and a
// private home: the private folder it made, with the connection's capture in
// it, is gone after the application shut down.
#include "app/shell/AppDelegate.h"
#include "foundation/platform/PlatformFolders.h"
#include "foundation/util/Folders.h"
#include "instruments/connections/ConnectionRegistry.h"
#include "support/TestPaths.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

class ApplicationTempFolder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = tessatest::MakeScratchDir("apptemp");
        ASSERT_FALSE(root.empty());
        tmp = root + "/tmp";
        fs::create_directories(tmp);
        SetFolderRootForTesting("");
        SetResourceFoldersForTesting({TESSA_BUILD_RESOURCES});
        // Every folder the application looks up lies in the scratch folder
        // (each test runs in a process of its own).
        setenv("TMPDIR", tmp.c_str(), 1);
        for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
            setenv(name, (root + "/" + name).c_str(), 1);
    }
    void TearDown() override
    {
        SetResourceFoldersForTesting({});
        if (!root.empty())
            fs::remove_all(root);
    }
    std::string root, tmp;
};

} // namespace

TEST_F(ApplicationTempFolder, IsEmptyAfterTheApplicationExits)
{
    AppDelegate app;
    app.Start(false);
    ASSERT_EQ(GetApplicationSupportFolder().rfind(root + "/", 0), 0u) << GetApplicationSupportFolder();
    ASSERT_TRUE(StartNMEACapture());
    EXPECT_EQ(GetNMEACapturePath().rfind(tmp + "/tessaroute-", 0), 0u) << GetNMEACapturePath();
    WriteNMEACapture("$GPRMC,120000,A,4000.000,N,04500.000,W,5.0,90.0,010125,,,A");
    std::ofstream(MakeTempFileName("gpx")) << "<gpx/>";
    ASSERT_FALSE(fs::is_empty(tmp));
    app.Shutdown();
    EXPECT_TRUE(fs::is_empty(tmp));
}

TEST_F(ApplicationTempFolder, TheStartUpSweepReachesTheRealFoldersOfTheApplication)
{
    const std::string data = root + "/XDG_DATA_HOME/tessaroute", docs = root + "/HOME/Documents/Tessaroute";
    ASSERT_EQ(GetPlatformDataFolder(), data);
    ASSERT_EQ(GetPlatformDocumentsFolder(), docs);
    const std::string left[] = {data + "/sync/sync_request.bin.tmp-Ab12Cd", data + "/MVT/a/b.rlt.tmp-Ab12Cd",
                                docs + "/MVT/c.tspkg.tmp-Ab12Cd", docs + "/live.dvtf.tmp-Ab12Cd"};
    for (const std::string& path : left) {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path) << "x";
    }
    EXPECT_EQ(SweepApplicationFolders(), 4);
    for (const std::string& path : left)
        EXPECT_FALSE(fs::exists(path)) << path;
}
