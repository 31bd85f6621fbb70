// A chart missing at the own position comes from the map store without
// holding up the window: the look-up runs on its own thread, the answer is
// collected on a heartbeat tick, the offered chart downloads and opens.
// TESSA_TSAN_LABEL
#include "app/window/MapStoreFetcher.h"
#include "charts/chartlist/ChartList.h"
#include "charts/mapstore/MapStore.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/events/Heartbeat.h"
#include "foundation/platform/PlatformFolders.h"
#include "foundation/web/ChartServer.h"
#include "loopback/LoopbackServer.h"
#include "mapview/view/CachedChartTiles.h"
#include "mapview/view/ChartListCatalog.h"
#include "mapview/view/RasterleafView.h"
#include "packagewriter/JobTestSupport.h"
#include "packagewriter/PackageWriter.h"
#include "support/TestPaths.h"

#include <QWidget>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>

namespace {

class MapStoreForTheView : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = tessatest::MakeScratchDir("viewmapstore");
        SetFolderRootForTesting(root);
        ClearPendingCallbacksForTesting();
        ASSERT_NE(server.Port(), 0) << server.Error();
        setenv(CChartServer::kEnvironmentVariable, server.BaseURL().c_str(), 1);
        CChartFolders folders;
        folders.standard = {root + "/charts"};
        folders.mapStore = GetMVTFolder();
        CChartList::Instance().Init(folders);
        server.AddPostHandler("/cgi-bin/mapstore3.cgi", [this](const tessatest::LoopbackRequest&) {
            ++lookups;
            if (stall) {
                // Held until the test lets go, or until it is clear nobody will.
                std::unique_lock<std::mutex> lock(mutex);
                if (!released.wait_for(lock, std::chrono::seconds(20), [this] { return letGo; }))
                    heldToTheEnd = true;
            }
            tessatest::LoopbackResponse r;
            r.body = reply;
            return r;
        });
    }
    void TearDown() override
    {
        // Its threads may still be in a handler that reads the members below.
        server.Stop();
        unsetenv(CChartServer::kEnvironmentVariable);
        SetFolderRootForTesting("");
        std::filesystem::remove_all(root);
    }
    std::string root;
    // Point look-ups are answered with the held products first (none here).
    std::vector<uint32_t> held;
    std::string reply = tessatest::MapStoreReply(0, &held, {});
    std::atomic<int> lookups{0};
    std::atomic<bool> stall{false};
    std::mutex mutex;
    std::condition_variable released;
    bool letGo = false;
    std::atomic<bool> heldToTheEnd{false};
    // Last, so it stops before the members its handler uses go away.
    tessatest::LoopbackServer server;
};

} // namespace

TEST_F(MapStoreForTheView, AFixWithNoChartFetchesTheOfferedChartOnceAndOpensIt)
{
    server.AddFile("/MVT/single/bay.rlt", tessatest::MakeSmallChart("Bay", 11.0, 56.0, 11.1, 55.9, "Topo"));
    reply = tessatest::MapStoreReply(0, &held, {{"Bay", 0.02f, "Topo", "MVT/single/bay.rlt", 0}});
    QWidget window;
    CCachedChartOpener opener(&window);
    CChartListCatalog catalog(CChartList::Instance());
    CMapStoreFetcher fetcher(&window);
    CRasterleafView::Ports ports;
    ports.opener = &opener;
    ports.catalog = &catalog;
    ports.mapStore = &fetcher;
    CRasterleafView view(ports);
    view.SetViewRect(0, 0, 400, 300);

    // Fixes every second while the look-up runs: one request only.
    CDataGPSPosition fix;
    fix.SetPosition(55.95, 11.05);
    for (int i = 0; i < 5; ++i)
        FireEvent(fix);
    EXPECT_TRUE(view.IsNoChartState());
    ASSERT_TRUE(tessatest::PumpUntil([&] {
        CHeartbeat::Tick();
        return view.HasChart();
    }));
    EXPECT_EQ(lookups.load(), 1);
    EXPECT_FALSE(view.IsNoChartState());
    EXPECT_EQ(view.GetCurrentChartPath(), GetMVTFolder() + "/single/bay.rlt");
    EXPECT_EQ(view.GetMapTitle(), "Bay");
}

TEST_F(MapStoreForTheView, NoOfferEndsTheLookUpWithoutAChart)
{
    CMapStoreFetcher fetcher(nullptr);
    int status = 1, calls = 0;
    fetcher.FetchMapAt(-30.0, 100.0, [&](int s, const std::string&, const std::string&) {
        status = s;
        ++calls;
    });
    // A second look-up while one runs fails at once instead of waiting.
    int second = 1;
    fetcher.FetchMapAt(-31.0, 100.0, [&](int s, const std::string&, const std::string&) { second = s; });
    EXPECT_EQ(second, -1);
    ASSERT_TRUE(tessatest::PumpUntil([&] {
        CHeartbeat::Tick();
        return calls > 0;
    }));
    EXPECT_EQ(status, -1);
    EXPECT_EQ(lookups.load(), 1);
    EXPECT_FALSE(fetcher.IsLookingUp());
}

TEST_F(MapStoreForTheView, EndingTheApplicationCancelsALookUpThatHangs)
{
    stall = true;
    {
        CMapStoreFetcher fetcher(nullptr);
        fetcher.FetchMapAt(-30.0, 100.0, [](int, const std::string&, const std::string&) {});
        ASSERT_TRUE(tessatest::PumpUntil([&] { return lookups.load() == 1; }));
    }
    // The fetcher is gone while the server still holds the request.
    {
        std::lock_guard<std::mutex> lock(mutex);
        letGo = true;
    }
    released.notify_all();
    EXPECT_FALSE(heldToTheEnd.load());
}
