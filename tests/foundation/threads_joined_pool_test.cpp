// Pools made by MakeWorkerPool join their threads before the members those
// threads read are destroyed, even when the subclass never calls StopAndJoin;
// OnStopping ends waits that would hold the join up.
// TESSA_TSAN_LABEL: these tests start threads.
#include "foundation/threads/WorkerThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <thread>

namespace {

// Marks its own destruction, so a thread that reads it afterwards is seen.
struct Sentinel
{
    ~Sentinel() { alive.store(false); }
    std::atomic<bool> alive{true};
};

std::atomic<int> gLateReads{0};

// Deliberately without StopAndJoin in its destructor.
class ForgetfulPool : public CWorkerThread
{
public:
    ForgetfulPool(int threads, int jobs) : CWorkerThread(0, threads)
    {
        for (int i = 0; i < jobs; ++i)
            m_queue.push_back(i);
    }
    std::atomic<int> done{0};

protected:
    class Job : public JobData
    {
    public:
        explicit Job(ForgetfulPool& pool) : m_pool(pool) {}
        bool GetJob() override
        {
            if (!m_pool.m_sentinel.alive.load())
                gLateReads.fetch_add(1);
            if (m_pool.m_queue.empty())
                return false;
            m_pool.m_queue.pop_front();
            return true;
        }
        void DoJob() override
        {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            if (!m_pool.m_sentinel.alive.load())
                gLateReads.fetch_add(1);
            m_pool.done.fetch_add(1);
        }

    private:
        ForgetfulPool& m_pool;
    };
    std::unique_ptr<JobData> CreateJobData(int) override { return std::make_unique<Job>(*this); }

private:
    std::deque<int> m_queue; // under the pool's mutex
    Sentinel m_sentinel;
};

// Jobs wait for a release that only OnStopping gives.
class BlockingPool : public CWorkerThread
{
public:
    BlockingPool() : CWorkerThread(0, 2) {}
    std::atomic<int> started{0};
    int stoppings = 0; // under the mutex

protected:
    class Job : public JobData
    {
    public:
        explicit Job(BlockingPool& pool) : m_pool(pool) {}
        bool GetJob() override
        {
            if (m_taken)
                return false;
            m_taken = true;
            return true;
        }
        void DoJob() override
        {
            m_pool.started.fetch_add(1);
            while (!m_pool.m_released.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }

    private:
        BlockingPool& m_pool;
        bool m_taken = false;
    };
    std::unique_ptr<JobData> CreateJobData(int) override { return std::make_unique<Job>(*this); }
    void OnStopping() override
    {
        ++stoppings;
        m_released.store(true);
    }

private:
    std::atomic<bool> m_released{false};
};

} // namespace

TEST(JoinedPool, ThreadsNeverOutliveTheMembersTheyRead)
{
    const struct
    {
        int threads, jobs;
        bool start;
        int waitForDone;
    } cases[] = {
        {1, 50, true, 1}, {4, 200, true, 10}, {8, 400, true, 40}, {8, 0, true, 0}, {3, 10, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.threads << " threads, " << c.jobs << " jobs");
        gLateReads = 0;
        std::unique_ptr<ForgetfulPool> pool = MakeWorkerPool<ForgetfulPool>(c.threads, c.jobs);
        if (c.start) {
            ASSERT_TRUE(pool->Start());
            // Destroyed with jobs still running and queued.
            while (pool->done.load() < c.waitForDone)
                std::this_thread::yield();
        }
        pool.reset();
        EXPECT_EQ(gLateReads.load(), 0);
    }
}

TEST(JoinedPool, OnStoppingRunsOnceBeforeTheJoin)
{
    std::unique_ptr<BlockingPool> pool = MakeWorkerPool<BlockingPool>();
    ASSERT_TRUE(pool->Start());
    while (pool->started.load() < 2)
        std::this_thread::yield();
    // Without OnStopping the jobs would never end and this would not return.
    pool->StopAndJoin();
    pool->StopAndJoin();
    EXPECT_EQ(pool->stoppings, 1);
    pool.reset();
}
