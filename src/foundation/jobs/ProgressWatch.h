#pragma once
// What the progress dialog does on each quarter-second tick, without any
// widget: it reads the job's record, updates a view, and when the job is done
// joins its thread, lets the machine sleep again and ends as a dialog (its
// continuations run with 0, or -1 when the job was cancelled).
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/jobs/ProgressDialogData.h"
#include "foundation/jobs/ProgressEstimate.h"
#include "foundation/platform/KeepAwake.h"

#include <memory>
#include <string>

class IProgressView
{
public:
    virtual ~IProgressView() = default;
    virtual void ShowMessage(const std::string& message) = 0;
    virtual void SetBar(double fraction) = 0;
    virtual void ShowTimeLabel(bool shown) = 0;
    virtual void SetTimeText(const std::string& text) = 0;
};

class CProgressWatch
{
public:
    // Takes over the pending continuations, as every dialog does when made.
    // `view` may be null (a dialog that is never shown).
    CProgressWatch(std::shared_ptr<CProgressDialogData> data, std::string message, IProgressView* view);
    ~CProgressWatch();
    CProgressWatch(const CProgressWatch&) = delete;
    CProgressWatch& operator=(const CProgressWatch&) = delete;

    // The dialog appears: message shown, no estimate yet, machine kept awake.
    void Start();
    // The Cancel button: only asks the job to stop.
    void Cancel();
    // One tick; true when the job was done and the dialog has ended (its
    // continuations have run), false when the next tick is wanted.
    bool OnTimer();
    // Waits for the job without ticking and ends (the dialog that is never shown).
    void FinishBlocking();

    bool HasEnded() const { return m_ended; }
    const std::shared_ptr<CProgressDialogData>& Data() const { return m_data; }

private:
    void End();

    std::shared_ptr<CProgressDialogData> m_data;
    std::string m_message;
    IProgressView* m_view;
    CProgressEstimate m_estimate;
    CKeepAwakeHold m_awake;
    CDialogCallbackList m_dcb;
    bool m_ended = false;
};
