// The Linux folders and desktop services, with every folder root moved into a
// scratch folder so the real home is never touched.
#include "foundation/platform/PlatformFolders.h"
#include "foundation/platform/PlatformServices.h"
#include "foundation/util/Files.h"
#include "foundation/util/Folders.h"
#include "packagewriter/JobTestSupport.h"
#include "support/TestPaths.h"

#include <QDesktopServices>
#include <QObject>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class PlatformFoldersTest : public testing::Test
{
protected:
    void SetUp() override
    {
        root = tessatest::MakeScratchDir("platform_folders");
        SetFolderRootForTesting(root);
    }
    void TearDown() override
    {
        SetFolderRootForTesting("");
        SetResourceFoldersForTesting({});
    }
    std::string root;
};

TEST_F(PlatformFoldersTest, UserFoldersAreMadeBelowTheRoot)
{
    EXPECT_EQ(GetApplicationSupportFolder(), root + "/data/tessaroute");
    EXPECT_TRUE(IsDirectory(root + "/data/tessaroute"));
    EXPECT_EQ(GetApplicationSupportFolder("maps/base"), root + "/data/tessaroute/maps/base");
    EXPECT_TRUE(IsDirectory(root + "/data/tessaroute/maps/base"));
    EXPECT_EQ(GetDocumentsFolder(""), root + "/Documents/Tessaroute");
    EXPECT_TRUE(IsDirectory(root + "/Documents/Tessaroute"));
    EXPECT_EQ(GetCachesFolder("tiles"), root + "/cache/tessaroute/tiles");
    EXPECT_TRUE(IsDirectory(root + "/cache/tessaroute/tiles"));
}

TEST_F(PlatformFoldersTest, TemporaryFolderIsPrivate)
{
    std::string temp = GetTempFolder();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.rfind(root + "/tmp/tessaroute-", 0), 0u) << temp;
    struct stat st;
    ASSERT_EQ(::stat(temp.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(GetTempFolder(), temp); // one per process
    std::string a = MakeTempFileName("gpx"), b = MakeTempFileName("gpx");
    EXPECT_EQ(a.rfind(temp + "/tmp", 0), 0u);
    EXPECT_EQ(a.substr(a.size() - 4), ".gpx");
    EXPECT_NE(a, b);
}

TEST_F(PlatformFoldersTest, TemporaryFolderIsRemovedWithItsContentsButNothingOutsideIt)
{
    namespace fs = std::filesystem;
    const std::string outside = root + "/outside";
    fs::create_directories(outside + "/deep");
    std::ofstream(outside + "/keep.txt") << "kept";
    std::ofstream(outside + "/deep/keep.txt") << "kept";

    const std::string temp = GetTempFolder();
    ASSERT_FALSE(temp.empty());
    fs::create_directories(temp + "/a/b");
    std::ofstream(temp + "/nmea_debug.txt") << "$GPRMC";
    std::ofstream(temp + "/a/b/part.bin") << "x";
    // Links out of the folder, to a folder and to a file: removed, never followed.
    fs::create_directory_symlink(outside, temp + "/a/to_outside");
    fs::create_symlink(outside + "/keep.txt", temp + "/file_link");
    RemovePlatformTempFolders();
    EXPECT_FALSE(fs::exists(fs::symlink_status(temp)));
    EXPECT_TRUE(fs::is_empty(root + "/tmp"));
    EXPECT_TRUE(fs::is_regular_file(outside + "/keep.txt"));
    EXPECT_TRUE(fs::is_regular_file(outside + "/deep/keep.txt"));

    // A new folder afterwards; a folder put in its place by someone else stays.
    const std::string next = GetTempFolder();
    ASSERT_FALSE(next.empty());
    EXPECT_NE(next, temp);
    fs::rename(next, root + "/moved");
    fs::create_directory(next);
    std::ofstream(next + "/theirs.txt") << "theirs";
    RemovePlatformTempFolders();
    EXPECT_TRUE(fs::is_regular_file(next + "/theirs.txt"));
}

TEST_F(PlatformFoldersTest, TemporaryFolderIsRemovedWhenAProcessWithoutTheApplicationExits)
{
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(
        {
            const bool made = !GetPlatformTempFolder().empty();
            std::exit(made ? 0 : 3);
        },
        testing::ExitedWithCode(0), "");
    ASSERT_TRUE(std::filesystem::is_directory(root + "/tmp"));
    EXPECT_TRUE(std::filesystem::is_empty(root + "/tmp"));
}

TEST_F(PlatformFoldersTest, ResourcesAreFoundInOrderAndStayInTheirFolders)
{
    std::string first = root + "/installed", second = root + "/build";
    CreateDirectoryPath(first);
    CreateDirectoryPath(second + "/images");
    std::ofstream(second + "/WMM.COF") << "coefficients";
    std::ofstream(second + "/images/anchor.png") << "png";
    std::ofstream(first + "/anchor.png") << "png";
    SetResourceFoldersForTesting({first, second});
    EXPECT_EQ(GetResourceFolder(), first);
    EXPECT_EQ(GetResourcePath("WMM", "COF"), second + "/WMM.COF");
    EXPECT_EQ(GetResourcePath("anchor", "png"), first + "/anchor.png");
    EXPECT_EQ(GetResourcePath("missing", "png"), "");
    EXPECT_EQ(GetResourcePath("../build/WMM", "COF"), "");
    EXPECT_EQ(GetResourcePath("/etc/passwd", ""), "");

    // The real search list holds the source resources of this tree.
    SetResourceFoldersForTesting({});
    std::vector<std::string> folders = GetResourceSearchFolders();
    ASSERT_FALSE(folders.empty());
    EXPECT_EQ(folders.back(), std::string(TESSA_SOURCE_RESOURCES));
}

TEST(PlatformServicesTest, ScaleFactorAndNetworkName)
{
    EXPECT_GE(GetScaleFactor(), 1.0);
    SetScaleFactorForTesting(2.0);
    EXPECT_EQ(GetScaleFactor(), 2.0);
    SetScaleFactorForTesting(0);
    // Without NetworkManager (as on build machines) the name is "Unknown";
    // with it, some name. Never empty, never a hang.
    EXPECT_FALSE(GetWiFiSSID().empty());
    EXPECT_EQ(GetBundleIdentifier(), "tessaroute");
    EXPECT_FALSE(GetShortVersionString().empty());
}

class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};

TEST(PlatformServicesTest, WebPagesAndFilesGoToTheDesktop)
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    // The opener takes the address last; only its end says whether a browser took it.
    const std::string page = "https://example.org/help?x=1";
    const std::pair<std::vector<std::string>, bool> openers[] = {
        {{"sh", "-c", "test \"$1\" = '" + page + "'", "opener"}, false},
        {{"sh", "-c", "exit 3", "opener"}, true}, // no browser behind it
        {{"/nonexistent/xdg-open"}, true},
    };
    for (const auto& [opener, fails] : openers) {
        SetURLOpenerCommandForTesting(opener);
        bool failed = false;
        EXPECT_TRUE(OpenURLInBrowser(page, [&failed] { failed = true; }));
        EXPECT_TRUE(QTest::qWaitFor([] { return !IsURLOpenerRunningForTesting(); }));
        EXPECT_EQ(failed, fails) << opener.back();
    }
    EXPECT_TRUE(OpenFileWithDefaultApp("/tmp/route 1.gpx"));
    EXPECT_FALSE(OpenURLInBrowser(""));
    // A link from an imported file never opens a local file.
    EXPECT_FALSE(OpenURLInBrowser("file:///tmp/route%201.gpx"));
    EXPECT_FALSE(OpenFileWithDefaultApp(""));
    SetURLOpenerCommandForTesting({});
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0].toLocalFile().toStdString(), "/tmp/route 1.gpx");
}

} // namespace

#include "platform_folders_test.moc"

TEST_F(PlatformFoldersTest, LeftoversOfAKilledProcessAreSweptAndNothingElse)
{
    namespace fs = std::filesystem;
    GTEST_FLAG_SET(death_test_style, "fast");
    // A process killed while its private folder held files: no exit handler ran.
    EXPECT_EXIT(
        {
            const std::string made = GetPlatformTempFolder();
            std::ofstream(made + "/targets-1") << "x";
            std::_Exit(made.empty() ? 3 : 0);
        },
        testing::ExitedWithCode(0), "");
    const std::string tmp = root + "/tmp";
    fs::create_directories(tmp + "/tessaroute-Foreig"); // no owner file: not ours to judge
    fs::create_directories(root + "/elsewhere");
    std::ofstream(root + "/elsewhere/keep") << "x";
    fs::create_directory_symlink(root + "/elsewhere", tmp + "/tessaroute-Linked");
    const std::string live = GetPlatformTempFolder(); // this process: alive
    ASSERT_FALSE(live.empty());
    EXPECT_EQ(SweepDeadTempFolders(), 1);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(tmp))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    std::vector<std::string> kept{"tessaroute-Foreig", "tessaroute-Linked",
                                  fs::path(live).filename().string()};
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(left, kept);
    EXPECT_TRUE(fs::exists(root + "/elsewhere/keep"));

    // The writer's temporary files go; links, other names and the stores stay.
    const std::string data = root + "/data";
    fs::create_directories(data);
    for (const char* name :
         {"marks_routes.bin", "marks_routes.bin.tmp-Ab12Cd", "notes.tmp-1", "a.tmp-Ab12Cd.bak"})
        std::ofstream(data + "/" + name) << "x";
    fs::create_symlink(root + "/elsewhere/keep", data + "/tracks.bin.tmp-Zz99Yy");
    EXPECT_EQ(SweepWriterLeftovers(data), 1);
    EXPECT_FALSE(fs::exists(data + "/marks_routes.bin.tmp-Ab12Cd"));
    for (const char* name : {"marks_routes.bin", "notes.tmp-1", "a.tmp-Ab12Cd.bak", "tracks.bin.tmp-Zz99Yy"})
        EXPECT_TRUE(fs::exists(fs::symlink_status(data + "/" + name))) << name;

    // Everywhere the application writes, only names of exactly the writer's
    // form go; linked folders are not entered and links stay.
    const std::string app = root + "/data/tessaroute", docs = root + "/Documents/Tessaroute";
    fs::create_directories(app + "/downloads");
    fs::create_directories(docs);
    std::ofstream(root + "/elsewhere/notes.txt.tmp-Ab12Cd") << "x";
    fs::create_directory_symlink(root + "/elsewhere", app + "/basemaps");
    fs::create_directory_symlink(root + "/elsewhere", docs + "/MVT");
    const struct
    {
        std::string path;
        bool swept;
    } rows[] = {
        {app + "/marks_routes.bin.tmp-Ab12Cd", true},
        {app + "/sync/request.bin.tmp-9zZ9zZ", true},
        {app + "/MVT/charts/big.rlt.tmp-Q1w2E3", true},
        {app + "/background/sea.png.tmp-x0Y0x0", true},
        {docs + "/map_folders.txt.tmp-Ab12Cd", true},
        {app + "/notes.tmp-backup", false},
        {app + "/notes.tmp-BACK12", false},
        {app + "/notes.tmp-Ab12Cd7", false},
        {app + "/notes.tmp-Ab1Cd", false},
        {app + "/notes.tmp-Ab-2Cd", false},
        {app + "/.tmp-Ab12Cd", false},
        {app + "/notes.TMP-Ab12Cd", false},
        {docs + "/mine/chart.rlt.tmp-Ab12Cd", false}, // the user's own folder
    };
    for (const auto& row : rows) {
        fs::create_directories(fs::path(row.path).parent_path());
        std::ofstream(row.path) << "x";
    }
    fs::create_directories(app + "/MVT/deep");
    fs::create_symlink(root + "/elsewhere/keep", app + "/MVT/deep/tracks.bin.tmp-Zz99Yy");
    EXPECT_EQ(SweepApplicationFolders(), 5);
    for (const auto& row : rows)
        EXPECT_EQ(fs::exists(row.path), !row.swept) << row.path;
    EXPECT_TRUE(fs::is_symlink(app + "/MVT/deep/tracks.bin.tmp-Zz99Yy"));
    EXPECT_TRUE(fs::exists(root + "/elsewhere/notes.txt.tmp-Ab12Cd"));
    EXPECT_EQ(SweepWriterLeftovers(app + "/basemaps"), 0);
    EXPECT_TRUE(fs::exists(root + "/elsewhere/notes.txt.tmp-Ab12Cd"));

    // One holder of a data folder's lock at a time.
    using Lock = CDataFolderLock::Result;
    std::string error;
    auto first = std::make_unique<CDataFolderLock>();
    ASSERT_EQ(first->Take(data, error), Lock::Held) << error;
    CDataFolderLock second;
    EXPECT_EQ(second.Take(data, error), Lock::Busy);
    first.reset();
    EXPECT_EQ(second.Take(data, error), Lock::Held) << error;

    // A folder in the lock file's way that holds something is kept aside,
    // under a name not yet taken.
    const std::string other = root + "/other";
    fs::create_directories(other + "/.lock.old");
    fs::create_directories(other + "/.lock");
    std::ofstream(other + "/.lock/a") << "a";
    EXPECT_EQ(CDataFolderLock().Take(other, error), Lock::Held) << error;
    EXPECT_EQ(tessatest::ReadWholeFile(other + "/.lock.old-2/a"), "a");
    // Where no lock file can be made the start is refused, not run unlocked.
    CDataFolderLock none;
    EXPECT_EQ(none.Take(data + "/marks_routes.bin/below", error), Lock::Failed);
    EXPECT_FALSE(error.empty());
}
