#pragma once
// A pool of 1 to 8 threads that share one mutex and one condition. Each
// thread owns a job context (JobData) that takes the next job out of the
// owner's queue with the mutex held and runs it without. A pool either runs
// in the background (Start ... StopAndJoin) or in the calling thread until
// no job is left (RunUntilIdle).
//
// Threads made by the pool run at a lowered priority (the nice value); the
// caller's own thread is never reniced. Thread 0 makes the others and joins
// them before it ends, so whoever joins thread 0 has joined the whole pool.
#include "foundation/threads/MutexCondition.h"

#include <atomic>
#include <memory>
#include <thread>
#include <utility>

class CWorkerThread
{
public:
    static constexpr int kMaxThreads = 8;

    class JobData
    {
    public:
        virtual ~JobData() = default;
        // With the pool's mutex held: takes the next job into this context;
        // false when there is none.
        virtual bool GetJob() = 0;
        // Without the lock: runs the taken job.
        virtual void DoJob() = 0;
        CWorkerThread* GetPool() const { return m_pool; }

    private:
        friend class CWorkerThread;
        CWorkerThread* m_pool = nullptr;
    };

    // `threadCount` is clamped to 1..8. No thread starts here.
    CWorkerThread(int niceValue, int threadCount);
    // Stops and joins a pool still running. Pools made by MakeWorkerPool are
    // joined before any member of the derived class is destroyed; others must
    // call StopAndJoin() in their own destructors.
    virtual ~CWorkerThread();
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // Starts thread 0 (which starts the others) and returns at once. False
    // when the thread could not be made or the pool ran already.
    bool Start();
    // Runs the pool with the calling thread as thread 0 until no thread finds
    // a job, joins the other threads, then sets the stop flag.
    void RunUntilIdle();
    // Sets the stop flag, wakes every thread and joins them all. Jobs that
    // are running finish; no further job is taken. Safe to call repeatedly.
    void StopAndJoin();

    bool IsStopping() const { return m_stop.load(); }
    int GetThreadCount() const { return m_threadCount; }
    int GetNiceValue() const { return m_niceValue; }
    // Threads that were made besides thread 0 in the last run.
    int GetStartedThreads() const { return m_started.load(); }
    // The pool's mutex and condition, shared with the owner's job queue: add
    // jobs with it locked, then Signal() or Broadcast().
    CMutexCondition& GetMutexCondition() { return m_mc; }

protected:
    // Makes the job context of one thread (index 0..count-1); the pool keeps it.
    virtual std::unique_ptr<JobData> CreateJobData(int threadIndex) = 0;
    // Runs first on thread 0; false ends the pool without running a job.
    virtual bool OnStart() { return true; }
    // Runs in StopAndJoin with the mutex held, after the stop flag is set and
    // before the join: ends waits that would hold the join up (transfers).
    virtual void OnStopping() {}

private:
    void StartPool(bool ownThread);
    void WorkLoop(JobData& job, bool ownThread);
    void LowerPriority();

    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_exitWhenIdle{false};
    CMutexCondition m_mc;
    const int m_niceValue;
    const int m_threadCount;
    int m_baseNice = 0; // the owner's niceness when the pool began
    bool m_ran = false; // owner's thread only
    std::thread m_thread0;
    std::unique_ptr<JobData> m_jobs[kMaxThreads];
    std::thread m_threads[kMaxThreads]; // 1..count-1, made and joined by thread 0
    std::atomic<int> m_started{0};
};

// The most derived class of a pool made by MakeWorkerPool: its destructor runs
// first, so the threads are joined while every member they read still exists.
template <class Pool> class CJoinedWorkerPool final : public Pool
{
public:
    template <class... Args> explicit CJoinedWorkerPool(Args&&... args) : Pool(std::forward<Args>(args)...) {}
    ~CJoinedWorkerPool() override { this->StopAndJoin(); }
};

template <class Pool, class... Args> std::unique_ptr<Pool> MakeWorkerPool(Args&&... args)
{
    return std::make_unique<CJoinedWorkerPool<Pool>>(std::forward<Args>(args)...);
}
