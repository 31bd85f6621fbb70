// The package install flow: the space question, the progress dialog, the
// boxes for damaged packages and failed blocks, and the codes callers get.
// TESSA_TSAN_LABEL
#include "ScriptedPresenter.h"
#include "charts/Rasterleaf.h"
#include "charts/chunked/MapDataDownload.h"
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
#include "packagewriter/PackageTestFixture.h"
#include "packagewriter/PackageWriter.h"
#include "support/QtAdaptors.h"

#include <QWidget>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using tessatest::CPackageWriter;
using tessatest::LoopbackServer;

using tessatest::PackageTest;
using tessatest::Pattern;

TEST_F(PackageTest, InstallFlowAsksForSpaceShowsProgressAndReportsErrors)
{
    tessatest::CQtAdaptors adaptors;
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
    // Another install or map download meanwhile is refused with a box; the running one goes on.
    presenter.ClearShown();
    for (int i = 0; i < 2; ++i) {
        tessatest::CCodeProbe second;
        second.Push();
        if (i == 0)
            InstallPackage(&window, pkg);
        else
            StartMapDataDownloadAll(&window, pkg);
        ASSERT_EQ(presenter.Shown().size(), size_t(i + 1));
        EXPECT_EQ(presenter.Last().text, CMapDownloadState::kAlreadyRunningText);
        presenter.DeliverAll();
        EXPECT_EQ(*second.code, -1);
        EXPECT_TRUE(GetMapDownloadState().IsRunning());
    }
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
    EXPECT_EQ(presenter.Last().text, pkg + "\n\npackage damaged: the header ends early");
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

    // A question still open when another install starts: its Yes is told
    // that one is running, and the running one goes on.
    presenter.ClearShown();
    SetFreeSpaceForTesting(1000);
    tessatest::CCodeProbe late;
    late.Push();
    InstallPackage(&window, pkg);
    ASSERT_EQ(presenter.OpenCount(), 1u);
    SetFreeSpaceForTesting(0);
    tessatest::CCodeProbe running;
    running.Push();
    InstallPackage(&window, pkg);
    ASSERT_TRUE(GetMapDownloadState().IsRunning());
    presenter.DeliverAll();
    EXPECT_EQ(presenter.Last().text, CMapDownloadState::kAlreadyRunningText);
    EXPECT_EQ(*late.code, -1);
    EXPECT_TRUE(GetMapDownloadState().IsRunning());
    ASSERT_TRUE(tessatest::PumpUntil([&] { return running.Ran(); }));
    presenter.DeliverAll();
}

} // namespace
