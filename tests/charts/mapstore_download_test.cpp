// Downloads from the map store into its folder: charts join the chart list,
// packages install from the loopback server, updates fetch changed blocks.
// TESSA_TSAN_LABEL
#include "ScriptedPresenter.h"
#include "charts/Rasterleaf.h"
#include "charts/chartlist/ChartList.h"
#include "charts/mapstore/MapStoreDownload.h"
#include "charts/packages/MapDownloadState.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/platform/PlatformFolders.h"
#include "foundation/web/ChartServer.h"
#include "loopback/LoopbackServer.h"
#include "packagewriter/JobTestSupport.h"
#include "packagewriter/PackageWriter.h"
#include "support/TestPaths.h"

#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>

namespace {

using namespace std::chrono_literals;

// The map-store folder is worked out once per process: one root for all,
// under the temporary folder and gone when the process ends.
std::string Root()
{
    static std::string root = [] {
        std::string made = tessatest::MakeScratchDir("tessa-mvt");
        SetFolderRootForTesting(made);
        static std::string removeAtExit;
        removeAtExit = made;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(removeAtExit, ec);
        });
        return made;
    }();
    return root;
}

class MapStoreDownloadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(Root().empty());
        ClearPendingCallbacksForTesting();
        ASSERT_NE(server.Port(), 0) << server.Error();
        setenv(CChartServer::kEnvironmentVariable, server.BaseURL().c_str(), 1);
        mvt = GetMVTFolder();
        ASSERT_EQ(mvt.rfind(Root(), 0), 0u) << mvt;
        (void)system(("rm -rf '" + mvt + "' '" + Root() + "/opened.rlt'").c_str());
        // Forget the files of the test before: a new file may reuse a deleted
        // one's inode, which the list would take for the chart it knew.
        CChartList::Instance().Rescan();
        chart = tessatest::MakeSmallChart("Harbour", 10.0, 55.0, 10.1, 54.95, "Nautical");
        big = std::string(1048576 + 300, 'b');
        writer.host = "127.0.0.1:" + std::to_string(server.Port());
        writer.folder = "/MVT/files";
        writer.name = "Harbour Pack";
        writer.files = {{"harbour/harbour.rlt", chart}, {"harbour/harbour.rl3", big}};
        writer.Serve(server);
        server.AddFile("/MVT/harbour.tspkg", writer.Manifest());
    }
    void TearDown() override
    {
        unsetenv(CChartServer::kEnvironmentVariable);
        ClearPendingCallbacksForTesting();
    }
    size_t RangedReads() const
    {
        size_t n = 0;
        for (const auto& r : server.Requests())
            if (r.method == "GET" && !r.Header("range").empty())
                ++n;
        return n;
    }

    tessatest::LoopbackServer server;
    tessatest::CPackageWriter writer;
    std::string mvt, chart, big;
    QWidget window;
};

TEST_F(MapStoreDownloadTest, PackageFromTheStoreInstallsChartsThatOpen)
{
    tessatest::CCodeProbe probe;
    probe.Push();
    std::string local;
    ASSERT_TRUE(DownloadMapFile(&window, server.BaseURL() + "/MVT/harbour.tspkg", local));
    RunDialogCallbacksUntil(probe.storage);
    EXPECT_EQ(local, mvt + "/harbour.tspkg");
    ASSERT_TRUE(tessatest::PumpUntil([&] { return probe.Ran(); }));
    EXPECT_EQ(*probe.code, 0);
    EXPECT_FALSE(GetMapDownloadState().IsRunning());

    std::string installed = mvt + "/harbour/harbour.rlt";
    EXPECT_TRUE(tessatest::ReadWholeFile(installed) == chart);
    EXPECT_TRUE(tessatest::ReadWholeFile(mvt + "/harbour/harbour.rl3") == big);
    ChartOutlinePtr outline = CChartList::Instance().FindByPath(installed);
    ASSERT_NE(outline, nullptr);
    EXPECT_EQ(outline->mapType, "Nautical");
    std::unique_ptr<CRasterleaf> opened(CRasterleaf::OpenFile(nullptr, installed));
    EXPECT_NE(opened, nullptr);

    // The update check downloads the manifest again: one block changed.
    std::string big2 = big;
    big2[1048576 + 7] = 'c';
    writer.files[1].bytes = big2;
    writer.Serve(server);
    server.AddFile("/MVT/harbour.tspkg", writer.Manifest());
    server.ClearRequests();
    tessatest::CCodeProbe update;
    update.Push();
    CheckForMapUpdates(&window);
    RunDialogCallbacksUntil(update.storage);
    ASSERT_TRUE(tessatest::PumpUntil([&] { return update.Ran(); }));
    EXPECT_EQ(*update.code, 0);
    EXPECT_TRUE(tessatest::ReadWholeFile(mvt + "/harbour/harbour.rl3") == big2);
    EXPECT_EQ(RangedReads(), 1u);
}

TEST_F(MapStoreDownloadTest, ChartFilesJoinTheListAndNamesStayInTheFolder)
{
    server.AddFile("/MVT/single/bay.rlt", tessatest::MakeSmallChart("Bay", 11.0, 56.0, 11.1, 55.9, "Topo"));
    tessatest::CCodeProbe probe;
    probe.Push();
    std::string local;
    ASSERT_TRUE(DownloadMapFile(&window, "/MVT/single/bay.rlt", local)); // the chart server
    RunDialogCallbacksUntil(probe.storage);
    EXPECT_EQ(*probe.code, 0);
    EXPECT_NE(CChartList::Instance().FindByPath(mvt + "/single/bay.rlt"), nullptr);

    server.ClearRequests();
    for (const char* bad : {"/MVT/../x.rlt", "/MVT/a/../../x.rlt", "/MVT/", "http://127.0.0.1:1/MVT/..",
                            "/MVT/a\\..\\..\\x.rlt"}) {
        EXPECT_FALSE(DownloadMapFile(&window, bad, local)) << bad;
    }
    EXPECT_EQ(server.RequestCount(), 0u);
    EXPECT_FALSE(tessatest::PathExists(Root() + "/data/tessaroute/x.rlt"));

    // A file that is not there: "Download failed" and -1, nothing added.
    tessatest::CScriptedPresenter presenter;
    tessatest::CCodeProbe missing;
    missing.Push();
    ASSERT_TRUE(DownloadMapFile(&window, "/MVT/single/none.rlt", local));
    RunDialogCallbacksUntil(missing.storage);
    ASSERT_EQ(presenter.Shown().size(), 1u);
    EXPECT_EQ(presenter.Last().title, "Download failed");
    presenter.DeliverAll();
    EXPECT_EQ(*missing.code, -1);
    EXPECT_EQ(CChartList::Instance().FindByPath(mvt + "/single/none.rlt"), nullptr);

    // A download that is no chart goes again, and so does a package new to
    // the store whose install fails.
    presenter.SetImmediate(true);
    server.AddFile("/MVT/single/junk.rlt", "not a chart");
    tessatest::CPackageWriter unserved = writer;
    unserved.folder = "/MVT/unserved";
    server.AddFile("/MVT/unserved.tspkg", unserved.Manifest());
    for (const char* path : {"/MVT/single/junk.rlt", "/MVT/unserved.tspkg"}) {
        SCOPED_TRACE(path);
        tessatest::CCodeProbe refused;
        refused.Push();
        ASSERT_TRUE(DownloadMapFile(&window, path, local));
        RunDialogCallbacksUntil(refused.storage);
        ASSERT_TRUE(tessatest::PumpUntil([&] { return refused.Ran(); }));
        EXPECT_EQ(*refused.code, -1);
        EXPECT_FALSE(tessatest::PathExists(local));
    }
}

TEST_F(MapStoreDownloadTest, OpenedFilesAndTheEmptyUpdateCheck)
{
    tessatest::CScriptedPresenter presenter;
    CheckForMapUpdates(&window);
    ASSERT_EQ(presenter.Shown().size(), 1u);
    EXPECT_EQ(presenter.Last().title, "No Packages to Check");
    EXPECT_EQ(presenter.Last().text, "Check for Map Updates only works with MVT Packages");
    presenter.DeliverAll();

    // A chart opened from the desktop joins the list and its type is shown.
    std::string path = Root() + "/opened.rlt";
    ASSERT_TRUE(
        tessatest::WriteWholeFile(path, tessatest::MakeSmallChart("Opened", 1, 2, 1.1, 1.9, "Hiking")));
    CSelectMapTypes::HideType("Hiking");
    InstallFile(&window, path);
    EXPECT_NE(CChartList::Instance().FindByPath(path), nullptr);
    EXPECT_TRUE(CSelectMapTypes::IsTypeShown("Hiking"));
}

} // namespace
