#include "foundation/jobs/ProgressWatch.h"

#include "foundation/dialogs/MessageBox.h"

CProgressWatch::CProgressWatch(std::shared_ptr<CProgressDialogData> data, std::string message,
                               IProgressView* view)
    : m_data(std::move(data)), m_message(std::move(message)), m_view(view)
{
    m_dcb.TakeOverPendingList();
}

CProgressWatch::~CProgressWatch()
{
    // A dialog dropped before its job ended must not leave the thread running
    // unjoined; the continuations it still holds go without running.
    if (!m_ended && m_data) {
        m_data->Cancel();
        m_data->Join();
    }
}

void CProgressWatch::Start()
{
    if (m_view) {
        m_view->ShowMessage(m_message);
        m_view->ShowTimeLabel(false);
        m_view->SetTimeText("");
    }
    m_awake.Acquire(m_message);
}

void CProgressWatch::Cancel()
{
    m_data->Cancel();
}

bool CProgressWatch::OnTimer()
{
    if (m_ended)
        return true;
    CProgressEstimate::Update update =
        m_estimate.Tick(m_data->progress.done.load(), m_data->progress.total.load());
    if (m_view && update.has_bar)
        m_view->SetBar(update.bar);
    if (m_view && update.has_estimate) {
        m_view->ShowTimeLabel(true);
        m_view->SetTimeText(update.text);
    }

    std::string message;
    if (m_data->TakeMessage(message) && m_view)
        m_view->ShowMessage(message);

    if (m_data->TakeReset()) {
        m_estimate.Reset();
        if (m_view) {
            m_view->ShowTimeLabel(false);
            m_view->SetTimeText("");
            m_view->SetBar(1.0);
        }
    }

    if (!m_data->IsDone())
        return false;
    End();
    return true;
}

void CProgressWatch::FinishBlocking()
{
    if (m_ended)
        return;
    m_data->Join();
    End();
}

void CProgressWatch::End()
{
    m_ended = true;
    int32_t code = m_data->IsCancelled() ? -1 : 0;
    std::string error = m_data->GetErrorText();
    if (m_data->parent && !error.empty())
        ShowOKMessage(m_data->parent, error, "Error");
    m_data->Join();
    m_awake.Release();
    m_dcb.EndDialog(code);
}
