#include "foundation/jobs/ProgressJobs.h"

#include "foundation/dialogs/DialogCallback.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/events/Clock.h"
#include "foundation/jobs/JobPorts.h"
#include "foundation/jobs/ProgressWatch.h"
#include "foundation/util/PortSlot.h"
#include "foundation/web/WebServer.h"

#include <atomic>
#include <chrono>

namespace {

std::atomic<int> g_quickDownloadMs{1000};

// What a download leaves for its continuation; written by the job thread
// before the record is marked done, read after.
struct CDownloadOutcome
{
    std::string server_error;
};

// The box takes over the continuations still pending; its button passes the
// failure on to them, so that they see -1 and not the box's own 0.
void ShowDownloadFailed(QWidget* parent, const std::string& text)
{
    MessageBox(parent, nullptr, "Download failed", text,
               {{"OK", [](void*, int, int) {
                     CCallback failure;
                     PushProgressCallback(failure, CCallback([](int32_t) { return -1; }));
                 }}});
}

// The quick-download limit is measured on the system clock, looked at once a
// tick: tests that hold the clock still or move it tell a quick download from
// a slow one without timing anything. The wait itself wakes as soon as the
// job ends.
constexpr std::chrono::milliseconds kQuickWaitTick{20};

bool EndsWithinQuickLimit(CProgressDialogData& data)
{
    const double limitSeconds = g_quickDownloadMs.load() / 1000.0;
    const double start = GetClockTime();
    while (!data.WaitDone(kQuickWaitTick)) {
        if (GetClockTime() - start >= limitSeconds)
            return false;
    }
    return true;
}

bool DownloadContinueTest(void* arg)
{
    return !static_cast<CProgressDialogData*>(arg)->IsCancelled();
}

} // namespace

progress_dialog* IProgressDialogOpener::OpenProgressDialog(QWidget*, std::shared_ptr<CProgressDialogData>,
                                                           const std::string&)
{
    return nullptr;
}

progress_dialog* ShowProgressDialog(QWidget* parent, std::shared_ptr<CProgressDialogData> data,
                                    const std::string& message)
{
    data->parent = parent;
    if (IsPortInstalled<IProgressDialogOpener>())
        return Port<IProgressDialogOpener>().OpenProgressDialog(parent, std::move(data), message);
    CProgressWatch watch(std::move(data), message, nullptr);
    watch.Start();
    watch.FinishBlocking();
    return nullptr;
}

void RunWithProgressDialog(QWidget* parent, const std::string& message, ProgressJobFunction job)
{
    auto data = std::make_shared<CProgressDialogData>();
    data->parent = parent;
    // Holds the record until the continuations have run.
    CCallback storage;
    PushProgressCallback(storage, CCallback([data](int32_t code) { return code; }));
    data->StartThread(std::move(job));
    if (parent) {
        ShowProgressDialog(parent, data, message);
    } else {
        // Never shown: the call itself waits for the job by joining it.
        CProgressWatch watch(data, message, nullptr);
        watch.Start();
        watch.FinishBlocking();
    }
    RunDialogCallbacksUntil(storage);
}

void DownloadWithProgress(QWidget* parent, const std::string& host, const std::string& relativeURL,
                          const std::string& localPath, const std::string& message, bool secure, int port)
{
    auto data = std::make_shared<CProgressDialogData>();
    data->parent = parent;
    auto outcome = std::make_shared<CDownloadOutcome>();

    data->StartThread([host, relativeURL, localPath, secure, port, outcome](CProgressDialogData& d) {
        CWebServer server(host.c_str(), secure, port);
        server.SetProgress(&d.progress);
        server.SetProgressCallback(DownloadContinueTest, &d);
        bool ok = server.DownloadFile(relativeURL.c_str(), localPath.c_str());
        if (!ok)
            outcome->server_error = server.GetErrorText();
        d.SetSucceeded(ok && !d.IsCancelled());
    });

    CCallback storage;
    PushProgressCallback(storage, CCallback([data, outcome, parent](int32_t code) {
                             // The dialog joined the thread when one was shown; a quick
                             // download's thread is joined here.
                             data->Join();
                             if (!data->Succeeded()) {
                                 code = -1;
                                 if (parent && !outcome->server_error.empty())
                                     ShowDownloadFailed(parent, outcome->server_error);
                             }
                             return code;
                         }));

    if (!EndsWithinQuickLimit(*data)) {
        ShowProgressDialog(parent, data, message);
    } else {
        // Ended before a dialog was needed: end as a dialog would, at once, so
        // that the caller's continuations see the download's code (a scope end
        // would hand them 0 even after a failure).
        CDialogCallbackList quick;
        quick.TakeOverPendingList();
        quick.EndDialog(0);
    }
    RunDialogCallbacksUntil(storage);
}

void SetQuickDownloadLimitForTesting(int milliseconds)
{
    g_quickDownloadMs.store(milliseconds);
}
