// The progress dialog on screen: cancelling a job and a slow download from
// the dialog, the error box, the keep-awake pairing. The job threads run
// under ThreadSanitizer too (Qt's own threads are suppressed in tests/tsan.supp):
// TESSA_TSAN_LABEL
#include "ScriptedPresenter.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/jobs/ProgressJobs.h"
#include "foundation/jobs/ProgressWatch.h"
#include "foundation/jobs/progress_dialog.h"
#include "foundation/platform/KeepAwake.h"
#include "loopback/LoopbackServer.h"
#include "packagewriter/JobTestFixture.h"
#include "packagewriter/JobTestSupport.h"

#include <QWidget>
#include <chrono>
#include <gtest/gtest.h>
#include <set>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

struct CFakeView : IProgressView
{
    void ShowMessage(const std::string& m) override { message = m; }
    void SetBar(double f) override { bar = f; }
    void ShowTimeLabel(bool s) override { label = s; }
    void SetTimeText(const std::string& t) override { time = t; }
    std::string message, time;
    double bar = -1;
    bool label = true;
};

using tessatest::DownloadTest;
using tessatest::ProgressTest;

TEST_F(ProgressTest, DialogCancelGivesMinusOneAndErrorsShowTheirBox)
{
    tessatest::CFakeKeepAwake awake;
    tessatest::CScriptedPresenter presenter;
    QWidget window;
    tessatest::CCodeProbe probe;
    probe.Push();
    RunWithProgressDialog(&window, "Connecting", [](CProgressDialogData& d) {
        while (!d.IsCancelled())
            std::this_thread::sleep_for(2ms);
        d.SetErrorText("Connection refused");
    });
    EXPECT_FALSE(probe.Ran()); // the dialog holds it until the job ends
    auto* dialog = window.findChild<progress_dialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->MessageText(), "Connecting");
    EXPECT_EQ(awake.held.size(), 1u);
    dialog->onCancel();
    ASSERT_TRUE(tessatest::PumpUntil([&] { return probe.Ran(); }));
    EXPECT_EQ(*probe.code, -1);
    ASSERT_EQ(presenter.Shown().size(), 1u);
    EXPECT_EQ(presenter.Last().title, "Error");
    EXPECT_EQ(presenter.Last().text, "Connection refused");
    EXPECT_EQ(presenter.Last().buttons, std::vector<std::string>{"OK"});
    EXPECT_EQ(awake.acquired, awake.released);
    EXPECT_TRUE(tessatest::PumpUntil([&] { return window.findChild<progress_dialog*>() == nullptr; }));
    presenter.DeliverAll();
}

TEST_F(DownloadTest, SlowDownloadShowsTheDialogWhichCanCancelIt)
{
    tessatest::CFakeKeepAwake awake;
    QWidget window;
    SetQuickDownloadLimitForTesting(30);
    server.AddVirtualFile("/maps/big.bin", 400000);
    server.SetFault("/maps/big.bin", tessatest::LoopbackFault::Throttle, "", 20000);
    tessatest::CCodeProbe probe;
    probe.Push();
    DownloadWithProgress(&window, tessatest::LoopbackServer::Host(), "/maps/big.bin", folder + "/big.bin",
                         "Downloading Map...", false, server.Port());
    EXPECT_FALSE(probe.Ran());
    auto* dialog = window.findChild<progress_dialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->MessageText(), "Downloading Map...");
    ASSERT_TRUE(tessatest::PumpUntil([&] { return dialog->BarValue() > 0; }));
    dialog->onCancel();
    ASSERT_TRUE(tessatest::PumpUntil([&] { return probe.Ran(); }));
    EXPECT_EQ(*probe.code, -1);
    EXPECT_EQ(awake.acquired, 1);
    EXPECT_EQ(awake.released, 1);
    EXPECT_NE(access((folder + "/big.bin").c_str(), F_OK), 0);
}

} // namespace
