// The package install flow: the space question, the progress dialog, the
// boxes for damaged packages and failed blocks, and the codes callers get.
#include "charts/Rasterleaf.h"
#include "charts/packages/InstallPackage.h"
#include "charts/packages/MapDownloadState.h"
#include "charts/packages/PackageInstaller.h"
#include "charts/packages/PackageManifest.h"
#include "charts/packages/Packages.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/jobs/progress_dialog.h"
#include "foundation/platform/KeepAwake.h"
#include "loopback/LoopbackServer.h"
#include "packagewriter/JobTestSupport.h"
#include "packagewriter/PackageWriter.h"
#include "ScriptedPresenter.h"

#include <QWidget>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using tessatest::CPackageWriter;
using tessatest::LoopbackServer;

std::string Pattern(size_t size, uint8_t seed)
{
    std::string bytes(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(x >> 16);
    }
    return bytes;
}

class PackageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearPendingCallbacksForTesting();
        ASSERT_NE(server.Port(), 0) << server.Error();
        char tmpl[] = "/tmp/tessa-pkg-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        folder = root + "/MVT/test";
        ASSERT_EQ(system(("mkdir -p '" + folder + "'").c_str()), 0);
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
        (void)system(("rm -rf '" + root + "'").c_str());
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

TEST_F(PackageTest, InstallFlowAsksForSpaceShowsProgressAndReportsErrors)
{
    tessatest::CFakeKeepAwake awake;
    tessatest::CScriptedPresenter presenter;
    QWidget window;
    ASSERT_TRUE(writer.Write(pkg));
    writer.Serve(server);

    // Not enough room: the question, answered No, starts nothing.
    SetFreeSpaceForTesting(1000);
    presenter.AnswerButton(1);
    tessatest::CCodeProbe refused;
    refused.Push();
    InstallPackage(&window, pkg);
    ASSERT_EQ(presenter.Shown().size(), 1u);
    EXPECT_EQ(presenter.Last().title, "Not enough space");
    EXPECT_EQ(presenter.Last().text, NotEnoughSpaceText("Test Package", chart.size() + big.size(), 1000));
    EXPECT_EQ(presenter.Last().buttons, (std::vector<std::string>{"Yes", "No"}));
    presenter.DeliverAll();
    EXPECT_EQ(*refused.code, -1);
    EXPECT_FALSE(GetMapDownloadState().IsRunning());
    EXPECT_FALSE(tessatest::PathExists(folder + "/charts/harbour.rlt"));

    // Answered Yes: the install runs under the progress dialog.
    presenter.AnswerButton(0);
    tessatest::CCodeProbe accepted;
    accepted.Push();
    InstallPackage(&window, pkg);
    presenter.DeliverAll();
    EXPECT_TRUE(GetMapDownloadState().IsRunning());
    auto* dialog = window.findChild<progress_dialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->MessageText(), "Downloading map package: Test Package");
    ASSERT_TRUE(tessatest::PumpUntil([&] { return accepted.Ran(); }));
    EXPECT_EQ(*accepted.code, 0);
    EXPECT_FALSE(GetMapDownloadState().IsRunning());
    EXPECT_TRUE(tessatest::ReadWholeFile(folder + "/charts/big.rl3") == big);
    EXPECT_EQ(awake.acquired, awake.released);

    // A damaged manifest cannot be opened.
    presenter.ClearShown();
    SetFreeSpaceForTesting(0);
    ASSERT_TRUE(tessatest::WriteWholeFile(pkg, writer.Manifest().substr(0, 40)));
    tessatest::CCodeProbe damaged;
    damaged.Push();
    InstallPackage(&window, pkg);
    ASSERT_EQ(presenter.Shown().size(), 1u);
    EXPECT_EQ(presenter.Last().title, "Error opening TS Package");
    EXPECT_EQ(presenter.Last().text, pkg);
    presenter.DeliverAll();
    EXPECT_EQ(*damaged.code, -1);

    // A failing block shows its text under "Error" and gives -1.
    presenter.ClearShown();
    writer.files[1].bytes = Pattern(1048576 + 1, 9);
    ASSERT_TRUE(writer.Write(pkg));
    tessatest::CCodeProbe failed;
    failed.Push();
    InstallPackage(&window, pkg);
    ASSERT_TRUE(tessatest::PumpUntil([&] { return failed.Ran(); }));
    EXPECT_EQ(*failed.code, -1);
    ASSERT_FALSE(presenter.Shown().empty());
    EXPECT_EQ(presenter.Last().title, "Error");
    EXPECT_NE(presenter.Last().text.find("damaged"), std::string::npos);
    presenter.DeliverAll();
}

} // namespace
