// Links and opened documents in the started application (offscreen): the
// view moves, marks are made, files download from the loopback servers over
// http and https and open by type, and hostile links touch nothing.
#include "app/shell/AppDelegate.h"
#include "app/shell/UrlCommands.h"
#include "app/window/ViewController.h"
#include "charts/chartlist/ChartList.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/platform/PlatformFolders.h"
#include "foundation/util/Folders.h"
#include "foundation/web/ChartServer.h"
#include "foundation/web/WebServer.h"
#include "loopback/LoopbackServer.h"
#include "mapview/view/RasterleafView.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/TrackManager.h"
#include "packagewriter/JobTestSupport.h"
#include "packagewriter/PackageWriter.h"
#include "support/ScriptedPresenter.h"
#include "support/TestPaths.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <optional>

namespace fs = std::filesystem;
using tessatest::PumpUntil;
using tessatest::ReadWholeFile;
using tessatest::WriteWholeFile;

namespace {

const std::string kGpx = "<?xml version=\"1.0\"?><gpx version=\"1.1\" creator=\"t\" "
                         "xmlns=\"http://www.topografix.com/GPX/1/1\"><wpt lat=\"50.1\" lon=\"-1.1\">"
                         "<name>W1</name></wpt></gpx>";

class UrlCommands : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!fs::exists(std::string(TESSA_BUILD_RESOURCES) + "/basemaps/world.rlt.COPY"))
            GTEST_SKIP() << "the world base map was not built";
        root = tessatest::MakeScratchDir("urlcommands");
        SetFolderRootForTesting(root);
        SetResourceFoldersForTesting({TESSA_BUILD_RESOURCES});
        ClearPendingCallbacksForTesting();
        ASSERT_NE(http.Port(), 0) << http.Error();
        ASSERT_NE(https.Port(), 0) << https.Error();
        setenv(CChartServer::kEnvironmentVariable, http.BaseURL().c_str(), 1);
        CWebServer::SetTrustedCertificates(https.CertificatePEM());
        CMarkManager::Get().ClearForTesting();
        CUrlCommands::Get().Reset();
    }
    void TearDown() override
    {
        if (root.empty())
            return;
        presenter.reset();
        app.reset();
        CUrlCommands::Get().SetLayoutOpener(nullptr);
        CMarkManager::Get().ClearForTesting();
        CTrackManager::Get().ClearForTesting();
        http.Stop();
        https.Stop();
        CWebServer::SetTrustedCertificates("");
        unsetenv(CChartServer::kEnvironmentVariable);
        SetFolderRootForTesting("");
        SetResourceFoldersForTesting({});
        fs::remove_all(root);
    }
    void Start(const std::vector<std::string>& beforeLaunch = {})
    {
        app = std::make_unique<AppDelegate>();
        if (!beforeLaunch.empty())
            app->applicationOpenURLs(beforeLaunch);
        app->Start(false);
        presenter.emplace();
        presenter->SetImmediate(true);
    }
    CRasterleafView& View() { return app->Window()->ChartView(); }
    // Runs one link or document and waits until its open is over.
    void Run(const std::string& url)
    {
        app->applicationOpenURLs({url});
        ASSERT_TRUE(PumpUntil([&] { return !CUrlCommands::Get().IsOpening() && !View().IsSwitching(); }));
    }
    size_t Shown(const std::string& title) const
    {
        size_t n = 0;
        for (const auto& box : presenter->Shown())
            n += box.title == title;
        return n;
    }
    std::vector<std::string> MarkNames() const
    {
        std::vector<std::string> names;
        for (const auto& mark : CMarkManager::Get().Marks())
            names.push_back(mark->GetName());
        return names;
    }
    bool ShowsChart(const std::string& path)
    {
        return PumpUntil([&] { return View().HasChart() && View().GetCurrentChartPath() == path; });
    }

    std::string root;
    std::unique_ptr<AppDelegate> app;
    std::optional<tessatest::CScriptedPresenter> presenter;
    tessatest::LoopbackServer http;
    tessatest::LoopbackServer https{true};
};

} // namespace

TEST_F(UrlCommands, ViewAndMarkTakeOnlyWholePositions)
{
    // Received before the launch: runs once the stores are loaded.
    Start({"tessro://mark?lat=50.5&lon=-1.25&name=Buoy+7"});
    EXPECT_EQ(MarkNames(), std::vector<std::string>{"Buoy 7"});

    Run("tessro://view?lat=50.5&lon=-1.25&scale=50000");
    EXPECT_EQ(View().StoredLat(), 50.5);
    EXPECT_EQ(View().StoredLon(), -1.25);
    EXPECT_EQ(View().StoredScale(), 2.0);

    // Only the first of two links runs.
    app->applicationOpenURLs({"tessro://mark?lat=10&lon=10", "tessro://mark?lat=11&lon=11&name=Second"});
    for (const char* bad : {"tessro://mark?lat=nan&lon=1", "tessro://mark?lat=inf&lon=1",
                            "tessro://mark?lon=1", "tessro://mark?lat=999&lon=1"})
        Run(bad);
    EXPECT_EQ(MarkNames(), (std::vector<std::string>{"Buoy 7", "Mark"}));
    EXPECT_EQ(Shown("Invalid position in link"), 4u);
}

TEST_F(UrlCommands, OpenDownloadsOnceFetchAgainAndAFailedFetchKeepsTheChart)
{
    const std::string bytes = tessatest::MakeSmallChart("Solent", -1.4, 50.6, -1.1, 50.4);
    https.AddFile("/maps/MVT/UK/chart.rlt", bytes);
    Start();
    const std::string local = GetMVTFolder() + "/UK/chart.rlt";
    const std::string link =
        "tessro://open?https://127.0.0.1:" + std::to_string(https.Port()) + "/maps/MVT/UK/chart.rl3";
    Run(link);
    // Another host than the chart server: the user was asked.
    EXPECT_EQ(Shown("Open file?"), 1u);
    EXPECT_EQ(ReadWholeFile(local), bytes);
    EXPECT_TRUE(ShowsChart(local));
    EXPECT_EQ(https.RequestCount(), 1u);
    Run(link);
    EXPECT_EQ(https.RequestCount(), 1u);
    Run("tessro://fetch?https://127.0.0.1:" + std::to_string(https.Port()) + "/maps/MVT/UK/chart.rl3");
    EXPECT_EQ(https.RequestCount(), 2u);
    EXPECT_TRUE(ShowsChart(local));

    https.SetStatus("/maps/MVT/UK/chart.rlt", 500);
    Run("tessro://fetch?https://127.0.0.1:" + std::to_string(https.Port()) + "/maps/MVT/UK/chart.rlt");
    EXPECT_EQ(https.RequestCount(), 3u);
    EXPECT_EQ(ReadWholeFile(local), bytes);
    EXPECT_TRUE(ShowsChart(local));
    EXPECT_FALSE(View().IsChartPending());

    // Hostile addresses: one message each, no request, nothing written.
    const std::string base = "tessro://open?" + http.BaseURL();
    const size_t before = presenter->Shown().size();
    for (const std::string& bad :
         {base + "/MVT/../../x.rlt", base + "/MVT/%2e%2e/%2e%2e/x.gpx", base + "/MVT/a\\b.gpx",
          base + "/MVT/a%2fb.gpx", std::string("tessro://open?ftp://127.0.0.1/x.gpx"),
          "tessro://fetch?http://user@127.0.0.1:" + std::to_string(http.Port()) + "/x.gpx"}) {
        Run(bad);
        EXPECT_EQ(presenter->Last().title, "This link cannot be opened") << bad;
    }
    EXPECT_EQ(presenter->Shown().size(), before + 6);
    EXPECT_EQ(http.RequestCount(), 0u);
    EXPECT_FALSE(fs::exists(root + "/x.rlt"));
}

TEST_F(UrlCommands, OneDownloadAtATimeAndTheNextRunsAfterAFailure)
{
    http.AddFile("/files/a.gpx", kGpx);
    http.AddFile("/files/b.gpx", kGpx);
    http.SetFault("/files/a.gpx", tessatest::LoopbackFault::StallBeforeHeaders);
    Start();
    app->applicationOpenURLs({"tessro://open?" + http.BaseURL() + "/files/a.gpx"});
    ASSERT_TRUE(PumpUntil([&] { return http.RequestCount() == 1; }));
    EXPECT_TRUE(CUrlCommands::Get().IsOpening());
    app->applicationOpenURLs({"tessro://open?" + http.BaseURL() + "/files/b.gpx"});
    http.ReleaseStalls();
    ASSERT_TRUE(PumpUntil([&] { return !CUrlCommands::Get().IsOpening(); }));
    EXPECT_EQ(http.RequestCount(), 1u);
    EXPECT_EQ(MarkNames(), std::vector<std::string>{"W1"});
    // The chart server's own host asks nothing.
    EXPECT_EQ(Shown("Open file?"), 0u);

    Run("tessro://open?" + http.BaseURL() + "/files/missing.gpx");
    EXPECT_FALSE(fs::exists(GetApplicationSupportFolder() + "/downloads/missing.gpx"));
    Run("tessro://open?" + http.BaseURL() + "/files/b.gpx");
    EXPECT_EQ(http.RequestCount(), 3u);
    EXPECT_TRUE(fs::exists(GetApplicationSupportFolder() + "/downloads/b.gpx"));
}

TEST_F(UrlCommands, DocumentsOpenBySniffedTypeUnderTheirOwnNames)
{
    Start();
    const std::string docs = root + "/docs";
    fs::create_directories(docs);
    // A GPX file without extension is imported where it is and keeps its name.
    ASSERT_TRUE(WriteWholeFile(docs + "/route", kGpx));
    Run(docs + "/route");
    EXPECT_EQ(MarkNames(), std::vector<std::string>{"W1"});
    EXPECT_TRUE(fs::exists(docs + "/route"));
    EXPECT_FALSE(fs::exists(docs + "/route.gpx"));

    // A chart with the alternative magic and no name is opened from a copy.
    std::string chart = tessatest::MakeSmallChart("Copy", -1.4, 50.6, -1.1, 50.4);
    chart[0] = '\xFE';
    ASSERT_TRUE(WriteWholeFile(docs + "/chart", chart));
    Run("file://" + docs + "/chart");
    const std::string copy = GetApplicationSupportFolder() + "/downloads/chart.rlt";
    EXPECT_TRUE(ShowsChart(copy));
    EXPECT_EQ(ReadWholeFile(copy), chart);
    EXPECT_TRUE(fs::exists(docs + "/chart"));

    std::vector<std::string> layouts;
    CUrlCommands::Get().SetLayoutOpener([&](const std::string& path) {
        layouts.push_back(path);
        return true;
    });
    ASSERT_TRUE(
        WriteWholeFile(docs + "/panels", std::string("\x49\xF2\xAC\x73\xBE\x20\0\0\0\x3B\x82\x85\x9D", 13)));
    Run(docs + "/panels");
    EXPECT_EQ(layouts, std::vector<std::string>{docs + "/panels"});
    ASSERT_TRUE(WriteWholeFile(docs + "/notes.txt", "text"));
    Run(docs + "/notes.txt");
    EXPECT_EQ(presenter->Last().title, "Unknown file type");
    // Documents the user opened ask nothing; a link naming a local file does.
    EXPECT_EQ(Shown("Open file?"), 0u);
    presenter->AnswerButton(1);
    Run("tessro://open?" + docs + "/panels");
    EXPECT_EQ(Shown("Open file?"), 1u);
    EXPECT_EQ(layouts.size(), 1u);
}

TEST_F(UrlCommands, ReferenceGpxDocumentsImport)
{
    TESSA_REQUIRE_TESTDATA("gpx/route.gpx");
    Start();
    for (const auto& entry :
         fs::directory_iterator(fs::path(tessatest::TestDataFile("gpx/route.gpx")).parent_path()))
        if (entry.path().extension() == ".gpx")
            Run(entry.path().string());
    EXPECT_FALSE(CMarkManager::Get().Marks().empty());
    EXPECT_FALSE(CMarkManager::Get().Routes().empty());
    EXPECT_FALSE(CTrackManager::Get().Tracks().empty());
}

TEST_F(UrlCommands, APackageLinkInstallsAndShowsItsChart)
{
    tessatest::CPackageWriter writer;
    writer.host = "127.0.0.1:" + std::to_string(http.Port());
    writer.folder = "/MVT/files";
    writer.name = "Harbour Pack";
    writer.files = {{"harbour/harbour.rlt", tessatest::MakeSmallChart("Harbour", 10.0, 55.0, 10.1, 54.95)}};
    writer.Serve(http);
    http.AddFile("/MVT/harbour.tspkg", writer.Manifest());
    Start();
    Run("tessro://open?" + http.BaseURL() + "/MVT/harbour.tspkg");
    ASSERT_TRUE(PumpUntil([&] { return View().HasChart() && View().GetMapTitle() == "Harbour"; }));
    EXPECT_TRUE(fs::exists(GetMVTFolder() + "/harbour.tspkg"));
    EXPECT_FALSE(View().IsChartPending());
}

TEST_F(UrlCommands, AHostilePackageInTheHomeFolderWritesNothingAnywhere)
{
    tessatest::CPackageWriter writer;
    writer.host = "127.0.0.1:" + std::to_string(http.Port());
    writer.folder = "/MVT/files";
    writer.name = "Hostile";
    writer.files = {{"harbour/harbour.rlt", tessatest::MakeSmallChart("Harbour", 10.0, 55.0, 10.1, 54.95)},
                    {".bashrc", "echo owned\n"},
                    {".config/autostart/x.desktop", "[Desktop Entry]\n"},
                    {"../outside.rlt", "x"}};
    writer.Serve(http);
    const std::string home = root + "/home";
    fs::create_directories(home);
    ASSERT_TRUE(WriteWholeFile(home + "/.bashrc", "# mine\n"));
    ASSERT_TRUE(writer.Write(home + "/x.tspkg"));
    // The scratch home is the user's home for this test.
    const char* realHome = std::getenv("HOME");
    const std::string savedHome = realHome ? realHome : "";
    setenv("HOME", home.c_str(), 1);
    struct RestoreHome
    {
        std::string value;
        ~RestoreHome() { value.empty() ? unsetenv("HOME") : setenv("HOME", value.c_str(), 1); }
    } restoreHome{savedHome};
    Start();
    // Every name outside the map-store folder: its kind, mode, bytes or link target.
    const std::string store = GetMVTFolder();
    auto tree = [&] {
        std::map<std::string, std::string> entries;
        for (const auto& e : fs::recursive_directory_iterator(root)) {
            const std::string path = e.path().string();
            if (path == store || path.rfind(store + "/", 0) == 0)
                continue;
            const fs::file_status st = e.symlink_status();
            std::string& d = entries[path];
            d = std::to_string(int(st.type())) + " " + std::to_string(int(st.permissions())) + " ";
            if (fs::is_symlink(st))
                d += fs::read_symlink(e.path()).string();
            else if (fs::is_regular_file(st))
                d += ReadWholeFile(path);
        }
        return entries;
    };
    const auto before = tree();
    http.ClearRequests();
    Run(home + "/x.tspkg");
    EXPECT_EQ(Shown("Error opening TS Package"), 1u);
    // The box says which entry refused the package, and why.
    EXPECT_EQ(presenter->Last().text, home +
                                          "/x.tspkg\n\npackage damaged: entry 2 of 4, \".bashrc\": the name "
                                          "leads out of the package's folder or is not a chart");
    EXPECT_EQ(tree(), before);
    EXPECT_TRUE(http.Requests().empty()) << "nothing of the package is fetched";
}

TEST_F(UrlCommands, APackagesOwnWordsStayOnTheirLineAndAFailedCopyGoes)
{
    tessatest::CPackageWriter writer;
    // Line breaks, an escape and a right-to-left override in the name and host;
    // port 0 is no port, so the install fails.
    writer.host = "127.0.0.1\n\xE2\x80\xAE:0";
    writer.folder = "/MVT/files";
    writer.name = "Harbour\nThis package comes from the official chart server.\x1b[1m\xE2\x80\xAE";
    writer.files = {{"harbour/harbour.rlt", tessatest::MakeSmallChart("Harbour", 10.0, 55.0, 10.1, 54.95)}};
    const std::string home = root + "/home";
    fs::create_directories(home);
    ASSERT_TRUE(writer.Write(home + "/x.tspkg"));
    Start();
    Run(home + "/x.tspkg");
    ASSERT_EQ(Shown("Install map package?"), 1u);
    EXPECT_EQ(
        presenter->Shown()[0].text,
        "Install the map package \"Harbour This package comes from the official chart server.[1m\" from "
        "127.0.0.1 :0 into " +
            GetMVTFolder() + "?");
    // The install fails; the copy made for it does not stay in the map store.
    ASSERT_TRUE(PumpUntil([&] { return Shown("Error") == 1; }));
    EXPECT_TRUE(PumpUntil([&] { return !fs::exists(GetMVTFolder() + "/x.tspkg"); }));
    EXPECT_TRUE(fs::exists(home + "/x.tspkg"));
}

TEST_F(UrlCommands, AFileThatIsNotAChartChangesNoFolders)
{
    Start();
    const std::string downloads = root + "/Downloads";
    fs::create_directories(downloads);
    std::string noise(4096, '\0');
    uint32_t x = 12345;
    for (char& c : noise) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 16);
    }
    ASSERT_TRUE(WriteWholeFile(downloads + "/x.rlt", noise));
    const std::string list = CChartList::ApplicationFolders().mapFoldersFile;
    const bool existed = fs::exists(list);
    const std::string before = existed ? ReadWholeFile(list) : std::string();
    const size_t folders = CChartList::Instance().Folders().size();
    Run(downloads + "/x.rlt");
    EXPECT_EQ(presenter->Last().title, "Unknown file type");
    EXPECT_EQ(fs::exists(list), existed);
    if (existed)
        EXPECT_EQ(ReadWholeFile(list), before);
    EXPECT_EQ(CChartList::Instance().Folders().size(), folders);
}

TEST(ChartServerLink, SchemeHostAndPortMustAllMatch)
{
    struct Case
    {
        bool secure;
        const char* host;
        int port;
        bool serverSecure;
        int serverPort;
        bool expected;
    };
    const Case cases[] = {
        {true, "maps.example", 0, true, 0, true},       {true, "MAPS.example", 443, true, 0, true},
        {true, "maps.example", 0, true, 443, true},     {false, "maps.example", 80, false, 0, true},
        {false, "maps.example", 0, true, 0, false},     {true, "maps.example", 0, false, 0, false},
        {true, "maps.example", 8443, true, 0, false},   {true, "maps.example", 0, true, 8443, false},
        {false, "maps.example", 443, true, 443, false}, {true, "evil.example", 0, true, 0, false},
        {true, "maps.example.evil", 0, true, 0, false}, {true, "maps.example", 444, true, 443, false},
    };
    for (const Case& c : cases) {
        COpenPlan plan;
        plan.remote = true;
        plan.secure = c.secure;
        plan.host = c.host;
        plan.port = c.port;
        CWebAddress server;
        server.secure = c.serverSecure;
        server.host = "maps.example";
        server.port = c.serverPort;
        EXPECT_EQ(IsChartServerLink(plan, server), c.expected)
            << (c.secure ? "https://" : "http://") << c.host << ":" << c.port << " vs port " << c.serverPort;
    }
    COpenPlan local;
    local.host = "maps.example";
    EXPECT_FALSE(IsChartServerLink(local, CWebAddress{true, "maps.example", 0, "/"}));
}
