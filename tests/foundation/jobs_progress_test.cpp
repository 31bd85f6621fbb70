// Progress-watched jobs: the estimate, the dialog's ticks without a window,
// jobs without a parent, and quick or failing downloads from the loopback server.
// Threads are involved throughout: TESSA_TSAN_LABEL
#include "ScriptedPresenter.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/events/Clock.h"
#include "foundation/jobs/JobPorts.h"
#include "foundation/jobs/ProgressEstimate.h"
#include "foundation/jobs/ProgressJobs.h"
#include "foundation/jobs/ProgressWatch.h"
#include "foundation/jobs/progress_dialog.h"
#include "foundation/platform/KeepAwake.h"
#include "loopback/LoopbackServer.h"
#include "packagewriter/JobTestFixture.h"
#include "packagewriter/JobTestSupport.h"

#include <QWidget>
#include <algorithm>
#include <chrono>
#include <functional>
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

TEST(ProgressEstimateText, SingularNumbersKeepTheirSpace)
{
    EXPECT_EQ(FormatTimeRemaining(3725), "1 hour , 2 minutes");
    EXPECT_EQ(FormatTimeRemaining(3660), "1 hour , 1 minute ");
    EXPECT_EQ(FormatTimeRemaining(7200), "2 hours, 0 minutes");
    EXPECT_EQ(FormatTimeRemaining(179), "2 minutes");
    EXPECT_EQ(FormatTimeRemaining(61), "1 minute, 1 second ");
    EXPECT_EQ(FormatTimeRemaining(60), "1 minute, 0 seconds");
    EXPECT_EQ(FormatTimeRemaining(20), "20 seconds");
    EXPECT_EQ(FormatTimeRemaining(1), "1 second ");
    EXPECT_EQ(FormatTimeRemaining(0), "0 seconds");
}

TEST(ProgressEstimateTicks, FollowsTheRatioRule)
{
    CProgressEstimate e;
    // Total unknown: no bar, no estimate, however long it runs.
    for (int i = 0; i < 150; ++i) {
        auto u = e.Tick(5, 0);
        EXPECT_FALSE(u.has_bar);
        EXPECT_FALSE(u.has_estimate);
    }
    e.Reset();
    // Half done after ten ticks: 2.5 s for 0.5, so 2.5 s for the rest.
    for (int i = 0; i < 9; ++i)
        EXPECT_FALSE(e.Tick(i * 5, 100).has_estimate);
    auto first = e.Tick(50, 100);
    ASSERT_TRUE(first.has_estimate);
    EXPECT_EQ(first.seconds_left, 2);
    // 0.5 -> 0.6 in ten ticks: 0.4 left is four times the growth, 10 seconds.
    for (int i = 0; i < 9; ++i)
        EXPECT_FALSE(e.Tick(55, 100).has_estimate);
    auto second = e.Tick(60, 100);
    ASSERT_TRUE(second.has_estimate);
    EXPECT_EQ(second.text, "10 seconds");
    EXPECT_DOUBLE_EQ(second.bar, 0.6);
}

TEST(ProgressEstimateTicks, SlowGrowthWaitsForAHundredTicks)
{
    // 0 -> 0.2 in ten ticks: 0.8 left is four times the growth, estimated.
    CProgressEstimate f;
    for (int i = 0; i < 9; ++i)
        f.Tick(0, 1000);
    ASSERT_TRUE(f.Tick(200, 1000).has_estimate);
    for (int i = 0; i < 9; ++i)
        f.Tick(250, 1000);
    EXPECT_FALSE(f.Tick(300, 1000).has_estimate); // 0.7 left, seven times 0.1: nothing
    for (int i = 0; i < 89; ++i)
        EXPECT_FALSE(f.Tick(300, 1000).has_estimate);
    auto late = f.Tick(300, 1000);
    ASSERT_TRUE(late.has_estimate); // a hundred ticks: 0.7 * 25 s / 0.1
    EXPECT_EQ(late.seconds_left, 175);
    EXPECT_EQ(late.text, "2 minutes");
}

TEST_F(ProgressTest, WatchShowsMessagesResetsAndEndsWithContinuations)
{
    tessatest::CFakeKeepAwake awake;
    auto data = std::make_shared<CProgressDialogData>();
    tessatest::CCodeProbe probe;
    probe.Push();
    CFakeView view;
    CProgressWatch watch(data, "Syncing", &view);
    EXPECT_EQ(GetPendingCallbackCount(), 0u); // the dialog took it over
    watch.Start();
    EXPECT_EQ(view.message, "Syncing");
    EXPECT_FALSE(view.label);
    EXPECT_EQ(awake.acquired, 1);
    EXPECT_EQ(awake.reasons.back(), "Syncing");

    data->progress.total = 100;
    for (int i = 1; i <= 10; ++i) {
        data->progress.done = i * 5;
        EXPECT_FALSE(watch.OnTimer());
    }
    EXPECT_TRUE(view.label);
    EXPECT_EQ(view.time, "2 seconds");
    EXPECT_DOUBLE_EQ(view.bar, 0.5);

    data->SetMessage("Phase two");
    data->RequestReset();
    EXPECT_FALSE(watch.OnTimer());
    EXPECT_EQ(view.message, "Phase two");
    EXPECT_FALSE(view.label);
    EXPECT_EQ(view.time, "");
    EXPECT_DOUBLE_EQ(view.bar, 1.0);
    view.message = "unchanged";
    EXPECT_FALSE(watch.OnTimer());
    EXPECT_EQ(view.message, "unchanged"); // a message is taken once

    data->StartThread([](CProgressDialogData&) {});
    ASSERT_TRUE(data->WaitDone(5s));
    EXPECT_TRUE(watch.OnTimer());
    EXPECT_TRUE(probe.Ran());
    EXPECT_EQ(*probe.code, 0);
    EXPECT_EQ(awake.released, 1);
    EXPECT_TRUE(awake.held.empty());
}

TEST_F(ProgressTest, ParentlessJobJoinsAndPassesCancelOn)
{
    tessatest::CFakeKeepAwake awake;
    tessatest::CCodeProbe ok;
    ok.Push();
    std::atomic<bool> ran{false};
    RunWithProgressDialog(nullptr, "Working", [&](CProgressDialogData& d) {
        std::this_thread::sleep_for(20ms);
        d.progress.done = 1;
        ran = true;
    });
    // Without a parent the call waited for the job; its continuation ran.
    EXPECT_TRUE(ran.load());
    EXPECT_EQ(*ok.code, 0);

    tessatest::CCodeProbe cancelled;
    cancelled.Push();
    RunWithProgressDialog(nullptr, "Working", [](CProgressDialogData& d) { d.Cancel(); });
    EXPECT_EQ(*cancelled.code, -1);
    EXPECT_EQ(awake.acquired, 2);
    EXPECT_EQ(awake.released, 2);
}

TEST_F(ProgressTest, WithoutADialogOpenerAParentedJobWaitsLikeAParentlessOne)
{
    // A program without the Qt adaptors: no window can show, so the call
    // itself waits for the job, joins it and runs the continuations.
    InstallPort<IProgressDialogOpener>(nullptr);
    tessatest::CFakeKeepAwake awake;
    QWidget window;
    for (const bool cancel : {false, true}) {
        tessatest::CCodeProbe probe;
        probe.Push();
        std::atomic<bool> ran{false};
        RunWithProgressDialog(&window, "Working", [&](CProgressDialogData& d) {
            std::this_thread::sleep_for(20ms);
            if (cancel)
                d.Cancel();
            ran = true;
        });
        EXPECT_TRUE(ran.load()) << cancel;
        EXPECT_EQ(*probe.code, cancel ? -1 : 0);
    }
    EXPECT_EQ(window.findChild<progress_dialog*>(), nullptr);
    EXPECT_EQ(awake.acquired, awake.released);
}

// Records when the dialog would open, then lets the stalled download go on
// and waits for it, as a program without windows does.
class COpenRecorder : public IProgressDialogOpener
{
public:
    explicit COpenRecorder(std::function<void()> opened) : m_opened(std::move(opened))
    {
        InstallPort<IProgressDialogOpener>(this);
    }
    ~COpenRecorder() override { InstallPort<IProgressDialogOpener>(nullptr); }
    progress_dialog* OpenProgressDialog(QWidget*, std::shared_ptr<CProgressDialogData> data,
                                        const std::string& message) override
    {
        m_opened();
        CProgressWatch watch(std::move(data), message, nullptr);
        watch.Start();
        watch.FinishBlocking();
        return nullptr;
    }

private:
    std::function<void()> m_opened;
};

TEST_F(DownloadTest, TheDialogOpensOnlyWhenTheDownloadOutlastsTheQuickLimit)
{
    // The limit is a second of the system clock, which moves a quarter second
    // a reading while the server holds the request back, and stands still
    // once it lets it go: however slow the machine, only the clock decides.
    struct Case
    {
        int releaseAtReading; // the server answers from this clock reading on
        int openedAtReading;  // 0: no dialog
    };
    const Case cases[] = {
        {2, 0},   // answered a tick in: quick, continuation at once
        {100, 5}, // still held at the limit: the dialog opens four ticks in
    };
    for (const Case& c : cases) {
        tessatest::CFakeKeepAwake awake;
        tessatest::LoopbackServer stalling;
        stalling.AddFile("/maps/small.bin", std::string(3000, 'x'));
        stalling.SetFault("/maps/small.bin", tessatest::LoopbackFault::StallBeforeHeaders);
        int readings = 0;
        SetClockForTesting([&] {
            ++readings;
            if (readings == c.releaseAtReading)
                stalling.ReleaseStalls();
            return 1700000000.0 + 0.25 * (std::min(readings, c.releaseAtReading) - 1);
        });
        int openedAt = 0;
        COpenRecorder opener([&] {
            openedAt = readings;
            stalling.ReleaseStalls();
        });
        QWidget window;
        tessatest::CCodeProbe probe;
        probe.Push();
        DownloadWithProgress(&window, tessatest::LoopbackServer::Host(), "/maps/small.bin",
                             folder + "/small.bin", "Downloading Map...", false, stalling.Port());
        SetClockForTesting({});
        EXPECT_EQ(openedAt, c.openedAtReading) << c.releaseAtReading;
        EXPECT_EQ(*probe.code, 0) << c.releaseAtReading;
        EXPECT_EQ(tessatest::ReadWholeFile(folder + "/small.bin"), std::string(3000, 'x'));
        EXPECT_EQ(awake.acquired, c.openedAtReading ? 1 : 0);
        EXPECT_EQ(awake.acquired, awake.released);
    }
}

TEST_F(DownloadTest, FailedDownloadShowsItsBoxAndPassesMinusOne)
{
    tessatest::CScriptedPresenter presenter;
    QWidget window;
    server.SetStatus("/maps/missing.bin", 404);
    tessatest::CCodeProbe probe;
    probe.Push();
    DownloadWithProgress(&window, tessatest::LoopbackServer::Host(), "/maps/missing.bin", folder + "/m.bin",
                         "Downloading Map...", false, server.Port());
    ASSERT_EQ(presenter.Shown().size(), 1u);
    EXPECT_EQ(presenter.Last().title, "Download failed");
    EXPECT_NE(presenter.Last().text.find("404"), std::string::npos);
    EXPECT_FALSE(probe.Ran()); // the box holds the caller's continuation
    presenter.DeliverAll();
    EXPECT_EQ(*probe.code, -1);
    EXPECT_NE(access((folder + "/m.bin").c_str(), F_OK), 0);

    // Without a parent nothing is shown, the code still says it failed.
    presenter.ClearShown();
    tessatest::CCodeProbe quiet;
    quiet.Push();
    DownloadWithProgress(nullptr, tessatest::LoopbackServer::Host(), "/maps/missing.bin", folder + "/m.bin",
                         "x", false, server.Port());
    EXPECT_EQ(*quiet.code, -1);
    EXPECT_TRUE(presenter.Shown().empty());
}

} // namespace
