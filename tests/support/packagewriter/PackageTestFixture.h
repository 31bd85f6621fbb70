#pragma once
// The fixture of the package tests: a loopback chart server, a package with a
// small chart and a chunk store of a few blocks, and a scratch MVT folder.
#include "charts/packages/InstallPackage.h"
#include "charts/packages/PackageInstaller.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/util/Folders.h"
#include "loopback/LoopbackServer.h"
#include "packagewriter/JobTestSupport.h"
#include "packagewriter/PackageWriter.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string>

namespace tessatest {

// Bytes of a fixed pseudo-random pattern.
inline std::string Pattern(size_t size, uint8_t seed)
{
    std::string bytes(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(x >> 16);
    }
    return bytes;
}

class PackageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ClearPendingCallbacksForTesting();
        ASSERT_NE(server.Port(), 0) << server.Error();
        char tmpl[] = "/tmp/tessa-pkg-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        folder = root + "/MVT/test";
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        ASSERT_FALSE(ec) << ec.message();
        writer.host = "127.0.0.1:" + std::to_string(server.Port());
        writer.folder = "/MVT/test";
        chart = tessatest::MakeSmallChart("Harbour", 10.0, 55.0, 10.1, 54.95);
        big = Pattern(2 * 1048576 + 5000, 7);
        writer.files = {{"charts/harbour.rlt", chart}, {"charts/big.rl3", big}};
        pkg = folder + "/test.tspkg";
    }
    void TearDown() override
    {
        SetFreeSpaceForTesting(0);
        ClearPendingCallbacksForTesting();
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    size_t RangedReads() const
    {
        size_t n = 0;
        for (const auto& r : server.Requests())
            if (r.method == "GET" && !r.Header("range").empty())
                ++n;
        return n;
    }
    bool Install(std::string& error)
    {
        CWebProgress progress;
        std::atomic<bool> failure{false};
        bool ok = PackageInstall(pkg, &progress, &failure, error);
        lastDone = progress.done.load();
        lastTotal = progress.total.load();
        return ok;
    }

    LoopbackServer server;
    CPackageWriter writer;
    std::string root, folder, pkg, chart, big;
    int64_t lastDone = 0, lastTotal = 0;
};

} // namespace tessatest
