#include "charts/cache/CacheWorkers.h"

#include "charts/chunked/ChunkStore.h"
#include "charts/chunked/Rasterleaf3.h"
#include "foundation/web/WebServer.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kSquare = 256;

} // namespace

// ---------------------------------------------------------------- web worker

CCachedRasterleaf::CWebWorker::CWebWorker(CRasterleaf3& chart)
    : CWorkerThread(1, kThreads), m_chart(chart), m_store(chart.ShareChunkStore())
{
}

CCachedRasterleaf::CWebWorker::~CWebWorker()
{
    StopAndJoin();
}

void CCachedRasterleaf::CWebWorker::OnStopping()
{
    // Running transfers end at once instead of at their timeouts.
    for (Job* job : m_jobs)
        if (job && job->web)
            job->web->Cancel();
}

std::unique_ptr<CWorkerThread::JobData> CCachedRasterleaf::CWebWorker::CreateJobData(int threadIndex)
{
    auto job = std::make_unique<Job>(*this);
    CScopedLock lock(GetMutexCondition());
    if (threadIndex >= 0 && threadIndex < kThreads)
        m_jobs[threadIndex] = job.get();
    return job;
}

bool CCachedRasterleaf::CWebWorker::ContinueHook(void* self)
{
    return !static_cast<CWebWorker*>(self)->IsStopping();
}

CWebServer& CCachedRasterleaf::CWebWorker::ClientOf(Job& job)
{
    if (!job.web) {
        job.web = std::make_unique<CWebServer>();
        job.web->SetConnectHook(&CWebWorker::ContinueHook, this);
    }
    return *job.web;
}

bool CCachedRasterleaf::CWebWorker::OnStart()
{
    CWebServer* web = nullptr;
    {
        CScopedLock lock(GetMutexCondition());
        if (m_store && m_jobs[0])
            web = &ClientOf(*m_jobs[0]);
    }
    if (web)
        m_address = m_chart.GetChunkURL(*web);
    CScopedLock lock(GetMutexCondition());
    m_starting = false;
    m_started = web && m_address.HasAddress();
    return m_started;
}

bool CCachedRasterleaf::CWebWorker::TooManyFailures() const
{
    return m_failed.load() + m_chart.DecodeFailureCount() >= kMaxFailures;
}

void CCachedRasterleaf::CWebWorker::AddRequest(uint32_t key, int decodedLevel, int wantedLevel)
{
    {
        CScopedLock lock(GetMutexCondition());
        m_requests[key] = decodedLevel;
        m_threshold = wantedLevel;
    }
    GetMutexCondition().Signal();
}

void CCachedRasterleaf::CWebWorker::Prune(int threshold, int64_t firstColumn, int64_t firstRow,
                                          int64_t lastColumn, int64_t lastRow)
{
    CScopedLock lock(GetMutexCondition());
    m_threshold = threshold;
    for (auto it = m_requests.begin(); it != m_requests.end();) {
        const int64_t row = it->first >> 16, column = it->first & 0xFFFF;
        if (row < firstRow || row > lastRow || column < firstColumn || column > lastColumn)
            it = m_requests.erase(it);
        else
            ++it;
    }
}

std::map<uint32_t, int> CCachedRasterleaf::CWebWorker::TakeArrivals()
{
    std::map<uint32_t, int> out;
    std::lock_guard<std::mutex> lock(m_doneMutex);
    out.swap(m_done);
    return out;
}

bool CCachedRasterleaf::CWebWorker::HasArrivals()
{
    std::lock_guard<std::mutex> lock(m_doneMutex);
    return !m_done.empty();
}

bool CCachedRasterleaf::CWebWorker::IsFetching()
{
    CScopedLock lock(GetMutexCondition());
    for (Job* job : m_jobs)
        if (job && job->level > 0)
            return true;
    return false;
}

bool CCachedRasterleaf::CWebWorker::HasWork()
{
    if (HasArrivals())
        return true;
    CScopedLock lock(GetMutexCondition());
    if (m_starting && !IsStopping())
        return true;
    for (Job* job : m_jobs)
        if (job && job->busy)
            return true;
    // Requests count only while someone can still take them.
    if (IsStopping() || TooManyFailures() || !m_started)
        return false;
    for (const auto& [key, level] : m_requests)
        if (level > m_threshold)
            return true;
    return false;
}

bool CCachedRasterleaf::CWebWorker::Job::GetJob()
{
    CWebWorker& w = m_owner;
    if (w.TooManyFailures() || !w.m_store || !w.m_started)
        return false;
    for (auto it = w.m_requests.begin(); it != w.m_requests.end();) {
        if (it->second <= w.m_threshold)
            it = w.m_requests.erase(it);
        else
            ++it;
    }
    const std::map<uint32_t, int>::value_type* best = nullptr;
    for (const auto& request : w.m_requests) {
        bool taken = false;
        for (Job* other : w.m_jobs)
            taken |= other && other != this && other->busy && other->key == request.first;
        if (!taken && (!best || request.second > best->second))
            best = &request;
    }
    if (!best)
        return false;
    key = best->first;
    level = best->second;
    busy = true;
    w.ClientOf(*this);
    return true;
}

void CCachedRasterleaf::CWebWorker::Job::DoJob()
{
    CWebWorker& w = m_owner;
    const int fetchLevel = std::min(level, kCoarsestFetch) - 1;
    // The client was made under the lock; only this thread uses it.
    CWebServer& client = *web;
    PointClientAtChunkHost(client, w.m_address.host, w.m_address.secure);
    const bool ok = w.m_store->FetchChunk(client, int(key >> 16), int(key & 0xFFFF), fetchLevel);
    if (ok) {
        {
            CScopedLock lock(w.GetMutexCondition());
            auto it = w.m_requests.find(key);
            if (it != w.m_requests.end())
                it->second = fetchLevel; // refined again while above the threshold
        }
        std::lock_guard<std::mutex> lock(w.m_doneMutex);
        w.m_done[key] = fetchLevel;
    } else {
        ++w.m_failed;
    }
    CScopedLock lock(w.GetMutexCondition());
    busy = false;
    level = 0;
}

// ------------------------------------------------------------ decoding pool

CCachedRasterleaf::CWorker::CWorker(CRasterleaf& chart, const std::atomic<bool>& automaticDownload,
                                    int threads)
    : CWorkerThread(2, threads), m_chart(chart), m_automaticDownload(automaticDownload)
{
    for (Slot& slot : m_slots) {
        slot.worker = this;
        slot.bitmap.assign(size_t(kSquare) * kSquare, 0);
        slot.work = std::make_unique<CTileWorkBlock>();
        slot.work->context.request = &CWorker::Request;
        slot.work->context.argument = &slot;
    }
}

CCachedRasterleaf::CWorker::~CWorker()
{
    // No rendering thread may ask for chunks once the web worker goes.
    StopAndJoin();
    m_webPointer.store(nullptr);
    m_web.reset();
}

std::unique_ptr<CWorkerThread::JobData> CCachedRasterleaf::CWorker::CreateJobData(int threadIndex)
{
    return std::make_unique<Job>(*this, m_slots[std::clamp(threadIndex, 0, kSlots - 1)]);
}

CCachedRasterleaf::CWebWorker* CCachedRasterleaf::CWorker::GetWebWorker()
{
    return m_webPointer.load();
}

bool CCachedRasterleaf::CWorker::Request(void* argument, void*, int row, int column, int decodedLevel,
                                         int wantedLevel)
{
    auto* slot = static_cast<Slot*>(argument);
    CWorker& w = *slot->worker;
    if (!w.m_automaticDownload.load())
        return false;
    auto* chunked = dynamic_cast<CRasterleaf3*>(&w.m_chart);
    if (!chunked)
        return false;
    CWebWorker* web;
    bool start = false;
    {
        CScopedLock lock(w.GetMutexCondition());
        if (!w.m_web) {
            w.m_web = MakeWorkerPool<CWebWorker>(*chunked);
            start = true;
        }
        if (slot->square)
            slot->square->state = DIB_square::kWaiting;
        web = w.m_web.get();
    }
    // The web worker's own mutex, never inside ours.
    if (start) {
        web->Start();
        w.m_webPointer.store(web);
    }
    web->AddRequest(CRasterleaf3::ChunkKey(row, column), decodedLevel, wantedLevel);
    return true;
}

void CCachedRasterleaf::CWorker::Enqueue(const std::vector<std::pair<int64_t, DIB_square*>>& squares)
{
    if (squares.empty())
        return;
    {
        CScopedLock lock(GetMutexCondition());
        for (const auto& [key, square] : squares)
            m_queued.emplace(key, square);
    }
    GetMutexCondition().Broadcast();
}

void CCachedRasterleaf::CWorker::PruneQueued(const std::function<bool(DIB_square&)>& keep,
                                             const std::function<void(DIB_square*)>& dropped)
{
    CScopedLock lock(GetMutexCondition());
    for (auto it = m_queued.begin(); it != m_queued.end();) {
        DIB_square* square = it->second;
        if (keep(*square)) {
            ++it;
        } else {
            it = m_queued.erase(it);
            dropped(square);
        }
    }
}

void CCachedRasterleaf::CWorker::TakeFinished(const std::function<void(DIB_square*)>& finished,
                                              const std::function<void(DIB_square&)>& inWork)
{
    CScopedLock lock(GetMutexCondition());
    for (DIB_square* square : m_finished)
        finished(square);
    m_finished.clear();
    for (const Slot& slot : m_slots)
        if (slot.square)
            inWork(*slot.square);
}

void CCachedRasterleaf::CWorker::ForEachRendered(const std::function<void(DIB_square&)>& each)
{
    CScopedLock lock(GetMutexCondition());
    for (const Slot& slot : m_slots)
        if (slot.square)
            each(*slot.square);
    for (DIB_square* square : m_finished)
        each(*square);
}

bool CCachedRasterleaf::CWorker::HasFinished()
{
    CScopedLock lock(GetMutexCondition());
    return !m_finished.empty();
}

bool CCachedRasterleaf::CWorker::HasQueuedOrInWork()
{
    CScopedLock lock(GetMutexCondition());
    if (!m_queued.empty())
        return true;
    for (const Slot& slot : m_slots)
        if (slot.square)
            return true;
    return false;
}

bool CCachedRasterleaf::CWorker::Job::GetJob()
{
    if (m_owner.m_queued.empty())
        return false;
    // In chunk-key order, but a chunk another thread is on is left to it
    // while other chunks wait: its decoding would only be waited for.
    auto& queued = m_owner.m_queued;
    auto pick = queued.begin();
    for (auto it = queued.begin(); it != queued.end(); it = queued.upper_bound(it->first)) {
        bool taken = false;
        for (const Slot& other : m_owner.m_slots)
            taken |= &other != &m_slot && other.square && other.key == it->first;
        if (!taken) {
            pick = it;
            break;
        }
    }
    m_slot.square = pick->second;
    m_slot.key = pick->first;
    queued.erase(pick);
    return true;
}

void CCachedRasterleaf::CWorker::Job::DoJob()
{
    m_owner.Render(m_slot);
    {
        CScopedLock lock(m_owner.GetMutexCondition());
        m_owner.m_finished.push_back(m_slot.square);
        m_slot.square = nullptr;
    }
}

void CCachedRasterleaf::CWorker::Render(Slot& slot)
{
    DIB_square& square = *slot.square;
    square.image = QImage();
    slot.work->context.largestShortfall = 0;
    slot.work->context.square = &square;
    std::fill(slot.bitmap.begin(), slot.bitmap.end(), 0xFFFFFFFFu);
    const int s = square.zoom;
    const int64_t cx = s >= 0 ? square.x * (int64_t(1) << s) : square.x >> -s;
    const int64_t cy = s >= 0 ? square.y * (int64_t(1) << s) : square.y >> -s;
    constexpr int64_t kLimit = int64_t(1) << 30;
    if (cx > -kLimit && cx < kLimit && cy > -kLimit && cy < kLimit)
        m_chart.GetPixels(int(cx), int(cy), kSquare, kSquare, kSquare, s, slot.bitmap.data(),
                          slot.work.get());
    // The renderer writes the picture's top row last; images run top-down.
    QImage image(kSquare, kSquare, QImage::Format_RGB32);
    for (int r = 0; r < kSquare; ++r) {
        auto* out = reinterpret_cast<uint32_t*>(image.scanLine(r));
        const uint32_t* in = slot.bitmap.data() + size_t(kSquare - 1 - r) * kSquare;
        for (int i = 0; i < kSquare; ++i)
            out[i] = in[i] | 0xFF000000u;
    }
    square.image = std::move(image);
    square.shortfall = slot.work->context.largestShortfall;
}
