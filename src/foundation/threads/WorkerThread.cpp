#include "foundation/threads/WorkerThread.h"

#include <algorithm>
#include <cerrno>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <system_error>
#include <unistd.h>

namespace {

// Linux keeps a nice value per thread; PRIO_PROCESS with a thread id addresses one.
id_t ThisThreadId()
{
    return static_cast<id_t>(syscall(SYS_gettid));
}

int CurrentNice()
{
    errno = 0;
    int value = getpriority(PRIO_PROCESS, ThisThreadId());
    return errno == 0 ? value : 0;
}

} // namespace

CWorkerThread::CWorkerThread(int niceValue, int threadCount)
    : m_niceValue(niceValue), m_threadCount(std::clamp(threadCount, 1, kMaxThreads))
{
}

CWorkerThread::~CWorkerThread()
{
    StopAndJoin();
}

bool CWorkerThread::Start()
{
    if (m_ran)
        return false;
    m_ran = true;
    m_baseNice = CurrentNice();
    m_jobs[0] = CreateJobData(0);
    if (!m_jobs[0])
        return false;
    m_jobs[0]->m_pool = this;
    try {
        m_thread0 = std::thread([this] { StartPool(true); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CWorkerThread::RunUntilIdle()
{
    if (m_ran)
        return;
    m_ran = true;
    m_baseNice = CurrentNice();
    m_exitWhenIdle = true;
    m_jobs[0] = CreateJobData(0);
    if (m_jobs[0]) {
        m_jobs[0]->m_pool = this;
        StartPool(false);
    }
    std::lock_guard<std::mutex> lock(m_mc.Mutex());
    m_stop = true;
}

void CWorkerThread::StopAndJoin()
{
    {
        std::lock_guard<std::mutex> lock(m_mc.Mutex());
        const bool first = !m_stop.exchange(true);
        if (first && m_thread0.joinable())
            OnStopping();
    }
    m_mc.Broadcast();
    if (m_thread0.joinable())
        m_thread0.join();
}

void CWorkerThread::StartPool(bool ownThread)
{
    if (!OnStart()) {
        std::lock_guard<std::mutex> lock(m_mc.Mutex());
        m_stop = true;
    }
    for (int i = 1; i < m_threadCount && !m_stop; ++i) {
        m_jobs[i] = CreateJobData(i);
        if (!m_jobs[i])
            continue;
        m_jobs[i]->m_pool = this;
        try {
            m_threads[i] = std::thread([this, i] { WorkLoop(*m_jobs[i], true); });
            ++m_started;
        } catch (const std::system_error&) {
            // The pool runs with fewer threads.
        }
    }
    WorkLoop(*m_jobs[0], ownThread);
    for (int i = 1; i < m_threadCount; ++i)
        if (m_threads[i].joinable())
            m_threads[i].join();
}

void CWorkerThread::LowerPriority()
{
    // Absolute, from the owner's value: a second run never lowers it further.
    setpriority(PRIO_PROCESS, ThisThreadId(), std::min(19, m_baseNice + m_niceValue));
}

void CWorkerThread::WorkLoop(JobData& job, bool ownThread)
{
    if (ownThread)
        LowerPriority();
    if (m_stop)
        return;
    std::unique_lock<std::mutex> lock(m_mc.Mutex());
    while (!m_stop) {
        bool haveJob = false;
        while (!m_stop) {
            if (job.GetJob()) {
                haveJob = true;
                break;
            }
            if (m_exitWhenIdle)
                return;
            m_mc.Wait(lock);
        }
        if (!haveJob)
            break;
        lock.unlock();
        if (!m_stop)
            job.DoJob();
        lock.lock();
    }
}
