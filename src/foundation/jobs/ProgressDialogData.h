#pragma once
// The record a long job shares with the progress dialog that watches it. The
// job thread writes the counters, the message, the error text and the flags;
// the main thread reads them on its timer. Counters and flags are atomics,
// the texts sit under a lock, and the done flag is published last (release)
// so that whoever sees it also sees everything the job wrote.
#include "foundation/platform/DialogParent.h"
#include "foundation/web/WebServer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class CProgressDialogData
{
public:
    CProgressDialogData() = default;
    ~CProgressDialogData() { Join(); }
    CProgressDialogData(const CProgressDialogData&) = delete;
    CProgressDialogData& operator=(const CProgressDialogData&) = delete;

    // Bytes done and bytes total; nothing is shown while the total is 0. A web
    // client can write them directly (CWebServer::SetProgress).
    CWebProgress progress;

    // The job changes the dialog's message; the dialog takes it once.
    void SetMessage(const std::string& message);
    bool TakeMessage(std::string& out);

    // The job starts a new phase: the dialog clears its estimate.
    void RequestReset() { m_reset.store(true, std::memory_order_release); }
    bool TakeReset() { return m_reset.exchange(false, std::memory_order_acq_rel); }

    // Set by the Cancel button; the job polls it and stops.
    void Cancel() { m_cancel.store(true, std::memory_order_release); }
    bool IsCancelled() const { return m_cancel.load(std::memory_order_acquire); }
    // The flag itself, for jobs whose own failure flag doubles as cancel.
    std::atomic<bool>& CancelFlag() { return m_cancel; }

    // A non-empty error text at the end is shown to the user.
    void SetErrorText(const std::string& text);
    std::string GetErrorText() const;

    // The job's own verdict (a download that failed); true unless set.
    void SetSucceeded(bool ok) { m_succeeded.store(ok, std::memory_order_release); }
    bool Succeeded() const { return m_succeeded.load(std::memory_order_acquire); }

    // Set by the thread wrapper after the job function returned.
    void MarkDone();
    bool IsDone() const { return m_done.load(std::memory_order_acquire); }
    // Waits until done or until the time is up; true when done.
    bool WaitDone(std::chrono::milliseconds limit);

    // Runs `job` on a new joinable thread and marks the record done after it.
    // False when the thread could not be made (the record is then marked done).
    bool StartThread(std::function<void(CProgressDialogData&)> job);
    // Joins the job thread when there is one (main thread only).
    void Join();

    // The window the dialog and its message boxes belong to, or null.
    QWidget* parent = nullptr;

private:
    std::atomic<bool> m_reset{false};
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_succeeded{true};

    mutable std::mutex m_mutex;
    std::condition_variable m_doneSignal;
    bool m_hasMessage = false;
    std::string m_message;
    std::string m_errorText;

    std::thread m_thread;
};
