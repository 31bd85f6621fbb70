// Map packages: manifests, block-by-block install and update from the
// loopback chart server, damaged manifests and blocks.
// The installer runs four worker threads: TESSA_TSAN_LABEL
#include "ScriptedPresenter.h"
#include "charts/Rasterleaf.h"
#include "charts/packages/InstallPackage.h"
#include "charts/packages/MapDownloadState.h"
#include "charts/packages/PackageInstaller.h"
#include "charts/packages/PackageManifest.h"
#include "charts/packages/Packages.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/platform/KeepAwake.h"
#include "loopback/LoopbackServer.h"
#include "packagewriter/JobTestSupport.h"
#include "packagewriter/PackageTestFixture.h"
#include "packagewriter/PackageWriter.h"

#include <clocale>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using tessatest::CPackageWriter;
using tessatest::LoopbackServer;

using tessatest::PackageTest;
using tessatest::Pattern;

TEST(PackageManifestRules, BlockChecksAndNames)
{
    std::string mb(1048576, '\x01');
    EXPECT_EQ(tessatest::BlockChecks(mb).size(), 1u);
    EXPECT_EQ(tessatest::BlockChecks(mb + "\xff").size(), 2u);
    EXPECT_EQ(tessatest::BlockChecks(mb + "\xff")[1], 255u);
    std::string bytes = "\xff\xff\xff";
    EXPECT_EQ(PackageBlockSum(bytes.data(), bytes.size()), 765u); // bytes count unsigned

    for (const char* good : {"a.rlt", "charts/a b.rl3", "x/y/z.rl3/0", "x/Z.RL3/99", "A.RLT"})
        EXPECT_TRUE(IsSafePackageFileName(good)) << good;
    for (const char* bad : {"",          "../x.rlt",   "a/../../x.rlt", "/etc/x.rlt",
                            "a//b.rlt",  "./a.rlt",    "a/.",           "a\\..\\b.rlt",
                            "a\nb.rlt",  "a/",         ".bashrc",       ".config/autostart/x.desktop",
                            "..a.rlt",   "a/.x/b.rlt", "x\x1b.rlt",     "a.rlt\x7f",
                            "x.desktop", "a..",        "x.rlt/0",       "x.rl3/100",
                            "x.rl3/07",  "x.rl3/a",    ".rlt",          "x.tspkg"})
        EXPECT_FALSE(IsSafePackageFileName(bad)) << bad;

    std::string host;
    int port = -1;
    EXPECT_TRUE(SplitPackageHost("maps.example:8080", host, port));
    EXPECT_EQ(host, "maps.example");
    EXPECT_EQ(port, 8080);
    EXPECT_TRUE(SplitPackageHost("maps.example", host, port));
    EXPECT_EQ(port, 0);
    EXPECT_FALSE(SplitPackageHost("maps.example:99999", host, port));

    // The space question's sizes never take the user's decimal comma.
    const char* before = setlocale(LC_ALL, nullptr);
    std::string saved = before ? before : "C";
    if (setlocale(LC_ALL, "de_DE.UTF-8")) {
        EXPECT_EQ(NotEnoughSpaceText("Harbour", 1572864, 1024),
                  "The package \"Harbour\" will take up 1.5MB, but the device has only 1.0KB available.\n\n"
                  "Would you like to continue?");
        setlocale(LC_ALL, saved.c_str());
    }
}

TEST_F(PackageTest, InstallBringsTheChartsThatThenOpen)
{
    ASSERT_TRUE(writer.Write(pkg));
    EXPECT_EQ(GetPackageName(pkg), "Test Package");
    EXPECT_EQ(GetPackageFirstFile(pkg), folder + "/charts/harbour.rlt");
    EXPECT_FALSE(IsPackageInstalled(pkg));
    EXPECT_EQ(GetPackageMissingBytes(pkg), static_cast<int64_t>(chart.size() + big.size()));
    writer.Serve(server);

    std::string error;
    ASSERT_TRUE(Install(error)) << error;
    EXPECT_EQ(error, "");
    EXPECT_EQ(lastTotal, static_cast<int64_t>(chart.size() + big.size()));
    EXPECT_EQ(lastDone, lastTotal);
    EXPECT_TRUE(tessatest::ReadWholeFile(folder + "/charts/harbour.rlt") == chart);
    EXPECT_TRUE(tessatest::ReadWholeFile(folder + "/charts/big.rl3") == big);
    EXPECT_TRUE(IsPackageInstalled(pkg));
    EXPECT_EQ(GetPackageMissingBytes(pkg), 0);
    std::vector<std::string> rlts;
    ListPackageFiles(pkg, "rlt", rlts);
    EXPECT_EQ(rlts, std::vector<std::string>{folder + "/charts/harbour.rlt"});
    std::set<std::string> folders;
    ListPackageFolders(pkg, "RL3", folders);
    EXPECT_EQ(folders, std::set<std::string>{folder + "/charts"});

    std::unique_ptr<CRasterleaf> opened(CRasterleaf::OpenFile(nullptr, folder + "/charts/harbour.rlt"));
    ASSERT_NE(opened, nullptr);

    // Installed and unchanged: nothing is fetched again.
    server.ClearRequests();
    ASSERT_TRUE(Install(error)) << error;
    EXPECT_EQ(RangedReads(), 0u);
}

TEST_F(PackageTest, UpdateFetchesOnlyChangedBlocksAndTrimsShrunkFiles)
{
    ASSERT_TRUE(writer.Write(pkg));
    writer.Serve(server);
    std::string error;
    ASSERT_TRUE(Install(error)) << error;

    // The second megabyte changed, and the chart got shorter.
    std::string big2 = big;
    big2[1048576 + 10] ^= 0x5A;
    std::string chart2 = chart.substr(0, chart.size() - 100);
    writer.files = {{"charts/harbour.rlt", chart2}, {"charts/big.rl3", big2}};
    ASSERT_TRUE(writer.Write(pkg));
    writer.Serve(server);
    server.ClearRequests();
    ASSERT_TRUE(Install(error)) << error;
    EXPECT_TRUE(tessatest::ReadWholeFile(folder + "/charts/big.rl3") == big2);
    EXPECT_TRUE(tessatest::ReadWholeFile(folder + "/charts/harbour.rlt") == chart2); // no stale tail
    // Only the changed block; the shorter chart keeps its bytes and is cut.
    EXPECT_EQ(RangedReads(), 1u);
}

TEST_F(PackageTest, CorruptBlockFailsAndLeavesTheInstalledFilesAlone)
{
    ASSERT_TRUE(writer.Write(pkg));
    writer.Serve(server);
    std::string error;
    ASSERT_TRUE(Install(error)) << error;

    // The manifest announces a new third block that the server serves damaged.
    std::string big2 = big;
    big2[2 * 1048576 + 1] ^= 0x01;
    writer.files = {{"charts/harbour.rlt", chart}, {"charts/big.rl3", big2}};
    ASSERT_TRUE(writer.Write(pkg));
    server.AddFile("/MVT/test/charts/big.rl3", big); // stale copy: sums do not match
    EXPECT_FALSE(Install(error));
    EXPECT_NE(error.find("charts/big.rl3 is damaged"), std::string::npos) << error;
    EXPECT_TRUE(tessatest::ReadWholeFile(folder + "/charts/big.rl3") == big);
    EXPECT_TRUE(tessatest::ReadWholeFile(folder + "/charts/harbour.rlt") == chart);
}

TEST_F(PackageTest, DamagedManifestsInstallNothing)
{
    writer.Serve(server);
    std::string full = writer.Manifest();
    std::string error;

    // Cut inside the second entry's check values.
    writer.truncateTo = full.size() - 6;
    ASSERT_TRUE(writer.Write(pkg));
    EXPECT_FALSE(Install(error));
    EXPECT_EQ(error, "package damaged: entry 2 of 2, \"charts/big.rl3\": check value 2 of 3 is missing");
    EXPECT_EQ(GetPackageMissingBytes(pkg, &error), -1);
    EXPECT_EQ(error, "package damaged: entry 2 of 2, \"charts/big.rl3\": check value 2 of 3 is missing");
    EXPECT_FALSE(tessatest::PathExists(folder + "/charts"));

    // A name leading out of the package's folder.
    writer.truncateTo = SIZE_MAX;
    writer.useRawEntries = true;
    writer.rawEntries = {{"charts/harbour.rlt", chart.size(), tessatest::BlockChecks(chart)},
                         {"../x", 5, {tessatest::BlockChecks("hello")}}};
    server.AddFile("/MVT/x", "hello");
    ASSERT_TRUE(writer.Write(pkg));
    EXPECT_FALSE(Install(error));
    EXPECT_EQ(error,
              "package damaged: entry 2 of 2, \"../x\": the name leads out of the package's folder or is "
              "not a chart");
    EXPECT_FALSE(tessatest::PathExists(root + "/MVT/x"));
    EXPECT_FALSE(tessatest::PathExists(folder + "/charts/harbour.rlt"));
    EXPECT_EQ(RangedReads(), 0u);

    // An entry larger than the whole package, and a size of 0.
    writer.rawEntries = {{"a.rlt", 10, {0}}};
    writer.totalOverride = 5;
    ASSERT_TRUE(writer.Write(pkg));
    EXPECT_FALSE(Install(error));
    EXPECT_EQ(error,
              "package damaged: entry 1 of 1, \"a.rlt\": a size of 10 bytes, not from 1 to the package's 5");
    writer.rawEntries = {{"a.rlt", 0, {}}};
    writer.totalOverride = -1;
    ASSERT_TRUE(writer.Write(pkg));
    EXPECT_FALSE(Install(error));

    // More entries announced than present.
    writer.useRawEntries = false;
    writer.countOverride = 3;
    ASSERT_TRUE(writer.Write(pkg));
    EXPECT_FALSE(Install(error));
    EXPECT_EQ(error, "package damaged: entry 3 of 3, the list ends early");

    // Not a package at all.
    ASSERT_TRUE(tessatest::WriteWholeFile(pkg, "not a package"));
    EXPECT_FALSE(Install(error));
    EXPECT_EQ(GetPackageName(pkg), "");
    EXPECT_FALSE(tessatest::PathExists(folder + "/a.rlt"));
}

TEST_F(PackageTest, ServerFailureAndCancelDeleteOnlyWhatTheyTouched)
{
    ASSERT_TRUE(writer.Write(pkg));
    server.AddFile("/MVT/test/charts/harbour.rlt", chart);
    server.SetStatus("/MVT/test/charts/big.rl3", 404);
    std::string error;
    EXPECT_FALSE(Install(error));
    EXPECT_NE(error.find("404"), std::string::npos) << error;
    EXPECT_FALSE(tessatest::PathExists(folder + "/charts/big.rl3"));

    // A failure flag already set (cancel) fetches nothing and says nothing.
    server.ClearRequests();
    CWebProgress progress;
    std::atomic<bool> failure{true};
    EXPECT_FALSE(PackageInstall(pkg, &progress, &failure, error));
    EXPECT_EQ(error, "");
    EXPECT_EQ(RangedReads(), 0u);
}

} // namespace
