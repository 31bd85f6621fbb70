#include "foundation/jobs/ProgressDialogData.h"

#include <exception>
#include <system_error>

void CProgressDialogData::SetMessage(const std::string& message)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_message = message;
    m_hasMessage = true;
}

bool CProgressDialogData::TakeMessage(std::string& out)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_hasMessage)
        return false;
    out = std::move(m_message);
    m_message.clear();
    m_hasMessage = false;
    return true;
}

void CProgressDialogData::SetErrorText(const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_errorText = text;
}

std::string CProgressDialogData::GetErrorText() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_errorText;
}

void CProgressDialogData::MarkDone()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_done.store(true, std::memory_order_release);
    }
    m_doneSignal.notify_all();
}

bool CProgressDialogData::WaitDone(std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_doneSignal.wait_for(lock, limit, [this] { return m_done.load(std::memory_order_acquire); });
}

bool CProgressDialogData::StartThread(std::function<void(CProgressDialogData&)> job)
{
    try {
        m_thread = std::thread([this, job = std::move(job)] {
            if (job)
                job(*this);
            MarkDone();
        });
    } catch (const std::system_error&) {
        SetErrorText("Could not start the background task.");
        SetSucceeded(false);
        MarkDone();
        return false;
    }
    return true;
}

void CProgressDialogData::Join()
{
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}
