#pragma once
// The cached chart's two pools: decoding threads that render squares, and web
// threads that fetch the chunk data a rendering found missing.
#include "charts/cache/CachedRasterleaf.h"
#include "charts/chunked/ChunkAddress.h"
#include "foundation/threads/WorkerThread.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class CChunkStore;
class CRasterleaf3;
class CWebServer;

class CCachedRasterleaf::CWebWorker : public CWorkerThread
{
public:
    static constexpr int kThreads = 4;
    static constexpr int kMaxFailures = 3;
    // Fetches never ask for finer words than this level plus one at a time.
    static constexpr int kCoarsestFetch = 7;

    class Job : public CWorkerThread::JobData
    {
    public:
        explicit Job(CWebWorker& owner) : m_owner(owner) {}
        bool GetJob() override;
        void DoJob() override;

        std::unique_ptr<CWebServer> web; // made on first use, under the pool's mutex
        int level = 0;                   // the request's level while a fetch runs (0: idle)
        uint32_t key = 0;
        bool busy = false;

    private:
        CWebWorker& m_owner;
    };

    CWebWorker(CRasterleaf3& chart);
    ~CWebWorker() override;

    // A chunk decoded at `decodedLevel` was wanted at `wantedLevel`.
    void AddRequest(uint32_t key, int decodedLevel, int wantedLevel);
    // Drops requests outside the visible chunks and sets the threshold.
    void Prune(int threshold, int64_t firstColumn, int64_t firstRow, int64_t lastColumn, int64_t lastRow);
    // Chunks whose data arrived since the last call (key -> level).
    std::map<uint32_t, int> TakeArrivals();
    bool HasArrivals();
    bool IsFetching();
    bool HasWork();
    int FailedCount() const { return m_failed.load(); }

protected:
    std::unique_ptr<JobData> CreateJobData(int threadIndex) override;
    bool OnStart() override;
    void OnStopping() override;

private:
    static bool ContinueHook(void* self);
    bool TooManyFailures() const;
    CWebServer& ClientOf(Job& job); // with the pool's mutex held

    CRasterleaf3& m_chart;
    std::shared_ptr<CChunkStore> m_store;
    CChunkAddress m_address; // written once by OnStart before any job runs

    // Under the pool's mutex.
    std::map<uint32_t, int> m_requests;
    int m_threshold = 0;
    Job* m_jobs[kThreads] = {};
    bool m_starting = true; // the address is being resolved
    bool m_started = false;

    std::mutex m_doneMutex;
    std::map<uint32_t, int> m_done;
    std::atomic<int> m_failed{0};
};

class CCachedRasterleaf::CWorker : public CWorkerThread
{
public:
    static constexpr int kSlots = 4;

    struct Slot
    {
        CWorker* worker = nullptr;
        DIB_square* square = nullptr; // under the pool's mutex
        int64_t key = -1;             // the chunk key of the square in work
        std::vector<uint32_t> bitmap;
        std::unique_ptr<CTileWorkBlock> work;
    };

    class Job : public CWorkerThread::JobData
    {
    public:
        Job(CWorker& owner, Slot& slot) : m_owner(owner), m_slot(slot) {}
        bool GetJob() override;
        void DoJob() override;

    private:
        CWorker& m_owner;
        Slot& m_slot;
    };

    CWorker(CRasterleaf& chart, const std::atomic<bool>& automaticDownload, int threads);
    ~CWorker() override;

    // The render queue. Each call takes the pool's mutex itself and runs its
    // callbacks under it; callbacks never call back into the queue.
    // Adds squares keyed by chunk and wakes the threads.
    void Enqueue(const std::vector<std::pair<int64_t, DIB_square*>>& squares);
    // Keeps the queued squares that `keep` accepts and hands the others to `dropped`.
    void PruneQueued(const std::function<bool(DIB_square&)>& keep,
                     const std::function<void(DIB_square*)>& dropped);
    // Hands over the squares finished since the last call, then shows every square in work.
    void TakeFinished(const std::function<void(DIB_square*)>& finished,
                      const std::function<void(DIB_square&)>& inWork);
    // Every square in work or finished and not yet taken.
    void ForEachRendered(const std::function<void(DIB_square&)>& each);
    bool HasFinished();
    bool HasQueuedOrInWork();

    // The web worker, made by the first chunk request (null until then).
    CWebWorker* GetWebWorker();
    static bool Request(void* argument, void* store, int row, int column, int decodedLevel, int wantedLevel);

protected:
    std::unique_ptr<JobData> CreateJobData(int threadIndex) override;

private:
    void Render(Slot& slot);

    // Under the pool's mutex.
    std::multimap<int64_t, DIB_square*> m_queued;
    std::vector<DIB_square*> m_finished;
    Slot m_slots[kSlots];

    CRasterleaf& m_chart;
    const std::atomic<bool>& m_automaticDownload;
    std::unique_ptr<CWebWorker> m_web; // made under the pool's mutex
    std::atomic<CWebWorker*> m_webPointer{nullptr};
};
