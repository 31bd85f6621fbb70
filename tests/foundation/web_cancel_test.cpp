// Cancelling from another thread: a stalled or slow transfer ends at once,
// the caller's file is untouched, and the client refuses later requests.
// TESSA_TSAN_LABEL
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "foundation/web/WebServer.h"
#include "support/TestPaths.h"
#include "support/loopback/LoopbackServer.h"

using tessatest::LoopbackFault;
using tessatest::LoopbackServer;

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

TEST(WebCancel, StalledReadEndsSoonAfterCancel)
{
    LoopbackServer server;
    ASSERT_NE(server.Port(), 0);
    server.AddFile("/stall.bin", "data");
    server.SetFault("/stall.bin", LoopbackFault::StallBeforeHeaders);
    CWebServer web(LoopbackServer::Host(), false, server.Port());
    web.SetTimeouts(10000, 10000);

    std::atomic<bool> started{false};
    Clock::time_point cancelAt;
    std::thread canceller([&] {
        while (server.RequestCount() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        started = true;
        cancelAt = Clock::now();
        web.Cancel();
    });
    char buffer[4] = {};
    int32_t got = web.ReadRange("/stall.bin", 0, 4, buffer);
    canceller.join();
    EXPECT_TRUE(started.load());
    EXPECT_LT(SecondsSince(cancelAt), 1.5);
    EXPECT_EQ(got, 0);
    EXPECT_EQ(web.GetErrorCode(), -1);
    EXPECT_TRUE(web.GetErrorText().empty());

    // Cancelled for good: nothing more starts.
    server.SetFault("/stall.bin", LoopbackFault::None);
    size_t before = server.RequestCount();
    EXPECT_EQ(web.ReadRange("/stall.bin", 0, 4, buffer), 0);
    EXPECT_FALSE(web.ContinueTest());
    EXPECT_EQ(server.RequestCount(), before);
    server.ReleaseStalls();
}

TEST(WebCancel, SlowDownloadCancelledKeepsTheOldFile)
{
    LoopbackServer server;
    ASSERT_NE(server.Port(), 0);
    server.AddFile("/slow.rlt", std::string(1 << 20, 's'));
    server.SetFault("/slow.rlt", LoopbackFault::Throttle, "", 20000);
    std::string folder = tessatest::MakeScratchDir("web_cancel");
    std::string target = folder + "/slow.rlt";
    std::ofstream(target) << "keep me";

    CWebServer web(LoopbackServer::Host(), false, server.Port());
    CWebProgress progress;
    web.SetProgress(&progress);
    Clock::time_point cancelAt;
    std::thread canceller([&] {
        // Cancel once bytes are flowing; the progress pair is read while written.
        while (progress.done.load() < 4000)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        cancelAt = Clock::now();
        web.Cancel();
    });
    bool ok = web.DownloadFile("/slow.rlt", target.c_str());
    canceller.join();
    EXPECT_FALSE(ok);
    EXPECT_LT(SecondsSince(cancelAt), 1.5);
    EXPECT_EQ(progress.total.load(), 1 << 20);
    EXPECT_EQ(web.GetErrorCode(), -1);
    EXPECT_TRUE(web.GetErrorText().empty());
    std::ifstream in(target);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "keep me");
    size_t files = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(folder))
        ++files;
    EXPECT_EQ(files, 1u);
    std::filesystem::remove_all(folder);
}

TEST(WebCancel, ClientsOnSeveralThreadsShareOneServer)
{
    LoopbackServer server;
    ASSERT_NE(server.Port(), 0);
    server.AddVirtualFile("/mapchunks/x.rl3", 1 << 24);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            CWebServer web(LoopbackServer::Host(), false, server.Port());
            std::vector<uint8_t> buffer(4096);
            for (int i = 0; i < 20; ++i) {
                int64_t offset = (int64_t(t) * 20 + i) * 65536 + 13;
                if (web.ReadRange("/mapchunks/x.rl3", offset, 4096, buffer.data()) != 4096 ||
                    buffer[100] != LoopbackServer::PatternByte(offset + 100))
                    ++failures;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(server.ConnectionCount(), 4);
}
