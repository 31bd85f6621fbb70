// Worker pools, run in the background and until idle. TESSA_TSAN_LABEL: these
// tests also run under ThreadSanitizer.
#include "foundation/threads/WorkerThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <set>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

int ThreadNice()
{
    errno = 0;
    return getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
}

// A queue of numbered jobs; each run records its thread and niceness.
class CTestPool : public CWorkerThread
{
public:
    CTestPool(int nice, int threads) : CWorkerThread(nice, threads) {}
    ~CTestPool() override { StopAndJoin(); }

    void Add(int job, bool signal = true)
    {
        {
            CScopedLock lock(GetMutexCondition());
            m_queue.push_back(job);
        }
        if (signal)
            GetMutexCondition().Signal();
    }
    std::vector<int> Done()
    {
        CScopedLock lock(GetMutexCondition());
        return m_done;
    }
    std::set<std::thread::id> Threads()
    {
        CScopedLock lock(GetMutexCondition());
        return m_threads;
    }
    std::set<int> Nices()
    {
        CScopedLock lock(GetMutexCondition());
        return m_nices;
    }

    std::atomic<int> running{0};
    std::atomic<bool> release{true};
    std::atomic<bool> refuseStart{false};
    std::chrono::milliseconds jobTime{0};

protected:
    struct CJob : JobData
    {
        explicit CJob(CTestPool& pool) : m_pool(pool) {}
        bool GetJob() override
        {
            if (m_pool.m_queue.empty())
                return false;
            m_job = m_pool.m_queue.front();
            m_pool.m_queue.pop_front();
            return true;
        }
        void DoJob() override
        {
            ++m_pool.running;
            while (!m_pool.release)
                std::this_thread::yield();
            std::this_thread::sleep_for(m_pool.jobTime);
            int nice = ThreadNice();
            CScopedLock lock(m_pool.GetMutexCondition());
            m_pool.m_done.push_back(m_job);
            m_pool.m_threads.insert(std::this_thread::get_id());
            m_pool.m_nices.insert(nice);
        }
        CTestPool& m_pool;
        int m_job = -1;
    };
    std::unique_ptr<JobData> CreateJobData(int) override { return std::make_unique<CJob>(*this); }
    bool OnStart() override { return !refuseStart; }

private:
    std::deque<int> m_queue;
    std::vector<int> m_done;
    std::set<std::thread::id> m_threads;
    std::set<int> m_nices;
};

template <class F> bool WaitFor(F condition)
{
    for (int i = 0; i < 5000 && !condition(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return condition();
}

} // namespace

TEST(WorkerPool, RunUntilIdleRunsEveryJobAndKeepsTheCallersPriority)
{
    const int callerNice = ThreadNice();
    CTestPool single(2, 1);
    for (int i = 0; i < 5; ++i)
        single.Add(i, false);
    single.RunUntilIdle();
    EXPECT_EQ(single.Done(), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(single.Threads(), (std::set<std::thread::id>{std::this_thread::get_id()}));
    EXPECT_EQ(single.GetStartedThreads(), 0);
    EXPECT_TRUE(single.IsStopping());

    CTestPool four(1, 4);
    four.jobTime = std::chrono::milliseconds(2);
    for (int i = 0; i < 10; ++i)
        four.Add(i, false);
    four.RunUntilIdle();
    EXPECT_EQ(four.Done().size(), 10u);
    EXPECT_EQ(four.GetStartedThreads(), 3);
    // Pool threads ran lowered; the caller's thread was never reniced.
    for (int nice : four.Nices())
        EXPECT_TRUE(nice == callerNice || nice == std::min(19, callerNice + 1)) << nice;
    EXPECT_EQ(ThreadNice(), callerNice);
}

TEST(WorkerPool, StartedPoolSleepsUntilAJobArrivesAndStopsCleanly)
{
    const int callerNice = ThreadNice();
    CTestPool pool(2, 4);
    ASSERT_TRUE(pool.Start());
    EXPECT_FALSE(pool.Start()); // once only
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(pool.Done().empty());
    pool.Add(42);
    ASSERT_TRUE(WaitFor([&] { return pool.Done().size() == 1; }));
    EXPECT_EQ(pool.Done()[0], 42);
    EXPECT_EQ(pool.Nices(), (std::set<int>{std::min(19, callerNice + 2)}));
    EXPECT_EQ(ThreadNice(), callerNice);
    pool.StopAndJoin();
    pool.StopAndJoin();
    pool.Add(43);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(pool.Done().size(), 1u);
}

TEST(WorkerPool, StopLetsRunningJobsFinishAndTakesNoMore)
{
    CTestPool pool(1, 2);
    pool.release = false;
    for (int i = 0; i < 6; ++i)
        pool.Add(i);
    ASSERT_TRUE(pool.Start());
    ASSERT_TRUE(WaitFor([&] { return pool.running.load() >= 1; }));
    std::thread stopper([&] { pool.StopAndJoin(); });
    ASSERT_TRUE(WaitFor([&] { return pool.IsStopping(); }));
    pool.release = true;
    stopper.join();
    const size_t done = pool.Done().size();
    EXPECT_GE(done, 1u);
    EXPECT_LE(done, 2u); // only the jobs already running
}

TEST(WorkerPool, StopWhileThreadsAreStillStartingJoinsThemAll)
{
    // Destroying pools straight after Start races the sibling creation; every
    // thread must still be joined (TSan and the leak checker watch this).
    for (int round = 0; round < 50; ++round) {
        CTestPool pool(1, 8);
        for (int i = 0; i < 3; ++i)
            pool.Add(i);
        ASSERT_TRUE(pool.Start());
        if (round % 2)
            pool.StopAndJoin();
    }
}

TEST(WorkerPool, RefusedStartRunsNothingAndCountsAreClamped)
{
    CTestPool refused(1, 4);
    refused.refuseStart = true;
    refused.Add(1, false);
    refused.RunUntilIdle();
    EXPECT_TRUE(refused.Done().empty());
    EXPECT_EQ(refused.GetStartedThreads(), 0);

    EXPECT_EQ(CTestPool(1, 0).GetThreadCount(), 1);
    EXPECT_EQ(CTestPool(1, 99).GetThreadCount(), 8);
    EXPECT_EQ(CTestPool(1, -3).GetThreadCount(), 1);
}
