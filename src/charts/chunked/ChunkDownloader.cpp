#include "charts/chunked/ChunkDownloader.h"

#include "charts/chunked/ChunkStore.h"

#include <algorithm>
#include <cmath>

namespace {

// The chunk numbers first..last of the pixel span lo..hi in a grid of `count`
// chunks: truncated towards zero, clamped to the grid while still a double.
void SpanToChunks(double lo, double hi, int count, int& first, int& last)
{
    const double a = std::trunc(lo / kChunkPixelSide);
    const double b = std::trunc(hi / kChunkPixelSide);
    if (count < 1 || !(a <= b) || a > count - 1 || b < 0) {
        first = 0;
        last = -1;
        return;
    }
    first = a < 0 ? 0 : int(a);
    last = b > count - 1 ? count - 1 : int(b);
}

} // namespace

std::vector<CPolyPoint> FinitePoints(const std::vector<CPolyPoint>& points)
{
    std::vector<CPolyPoint> kept;
    kept.reserve(points.size());
    for (const CPolyPoint& p : points)
        if (std::isfinite(p.x) && std::isfinite(p.y))
            kept.push_back(p);
    return kept;
}

CChunkRange ChunkRangeOf(const std::vector<CPolyPoint>& points, double grow, int columns, int rows)
{
    CChunkRange range;
    CBoundingBox box;
    for (const CPolyPoint& p : points)
        if (std::isfinite(p.x) && std::isfinite(p.y))
            box.Extend(p.x, p.y);
    if (box.IsEmpty())
        return range;
    if (!(grow > 0))
        grow = 0; // NaN and negative widths grow nothing
    SpanToChunks(box.minX - grow, box.maxX + grow, columns, range.firstColumn, range.lastColumn);
    SpanToChunks(box.minY - grow, box.maxY + grow, rows, range.firstRow, range.lastRow);
    if (range.IsEmpty())
        return CChunkRange();
    return range;
}

// ---- CRL3Downloader ----

CRL3Downloader::CRL3Downloader(std::shared_ptr<CChunkStore> store, const CChunkAddress& address,
                               std::atomic<int64_t>* total, std::atomic<int64_t>* progress,
                               CWebServer::Callback proceed, void* argument)
    : CWorkerThread(kNice, kThreads), m_store(std::move(store)), m_address(address), m_total(total),
      m_progress(progress), m_proceed(proceed), m_argument(argument)
{
}

CRL3Downloader::~CRL3Downloader()
{
    // Run() joins its threads before it returns; this only covers a pool
    // that never ran.
    StopAndJoin();
}

std::unique_ptr<CWorkerThread::JobData> CRL3Downloader::CreateJobData(int)
{
    return std::make_unique<Job>(*this);
}

int CRL3Downloader::GetStoreColumns() const
{
    return m_store ? m_store->Columns() : 0;
}

int CRL3Downloader::GetStoreRows() const
{
    return m_store ? m_store->Rows() : 0;
}

bool CRL3Downloader::Proceed()
{
    return !m_proceed || m_proceed(m_argument);
}

int64_t CRL3Downloader::Count()
{
    int64_t count = 0;
    if (!m_range.IsEmpty())
        for (int r = m_range.firstRow; r <= m_range.lastRow; ++r)
            for (int c = m_range.firstColumn; c <= m_range.lastColumn; ++c)
                if (Qualifies(r, c))
                    ++count;
    if (m_total)
        m_total->store(count);
    return count;
}

bool CRL3Downloader::TakeNext(int& row, int& column)
{
    if (m_finished)
        return false;
    if (!Proceed()) {
        m_stopped = true;
        m_finished = true;
        return false;
    }
    while (true) {
        if (++m_column > m_range.lastColumn) {
            m_column = m_range.firstColumn;
            ++m_row;
        }
        if (m_row > m_range.lastRow) {
            m_finished = true;
            return false;
        }
        if (Qualifies(m_row, m_column)) {
            row = m_row;
            column = m_column;
            if (m_progress)
                m_progress->fetch_add(1);
            return true;
        }
    }
}

bool CRL3Downloader::Run(CChunkDownloadOutcome* outcome)
{
    Count();
    if (m_progress)
        m_progress->store(0);
    m_failed.store(0);
    m_stopped = false;
    m_finished = m_range.IsEmpty() || !m_store;
    // The cursor starts just before the first column of the first row.
    m_row = m_range.firstRow;
    m_column = m_range.firstColumn - 1;
    if (!m_finished)
        RunUntilIdle();
    if (outcome) {
        outcome->failed = m_failed.load();
        outcome->stopped = m_stopped;
    }
    return !m_stopped && m_failed.load() == 0;
}

CRL3Downloader::Job::Job(CRL3Downloader& owner) : m_owner(owner)
{
    PointClientAtChunkHost(m_web, owner.m_address.host, owner.m_address.secure);
    if (owner.m_proceed) {
        // Asked before each request and while one runs: a cancel stops
        // retries and ends a transfer in flight.
        m_web.SetConnectHook(owner.m_proceed, owner.m_argument);
        m_web.SetProgressCallback(owner.m_proceed, owner.m_argument);
    }
}

bool CRL3Downloader::Job::GetJob()
{
    return m_owner.TakeNext(m_row, m_column);
}

void CRL3Downloader::Job::DoJob()
{
    m_result = m_owner.m_store->FetchChunkWithRetries(m_web, m_row, m_column, 0);
    if (m_result)
        return;
    // A fetch cut short by the continue test is the cancel, not a failure.
    if (m_owner.Proceed())
        m_owner.m_failed.fetch_add(1);
    else {
        std::lock_guard<std::mutex> lock(m_owner.GetMutexCondition().Mutex());
        m_owner.m_stopped = true;
    }
}

// ---- CPolygonDownloader ----

CPolygonDownloader::CPolygonDownloader(std::shared_ptr<CChunkStore> store, const CChunkAddress& address,
                                       const std::vector<CPolyPoint>& polygon, std::atomic<int64_t>* total,
                                       std::atomic<int64_t>* progress, CWebServer::Callback proceed,
                                       void* argument)
    : CRL3Downloader(std::move(store), address, total, progress, proceed, argument)
{
    m_polygon.Points() = FinitePoints(polygon);
    const int columns = GetStoreColumns(), rows = GetStoreRows();
    SetRange(ChunkRangeOf(m_polygon.Points(), 0, columns, rows));
}

CPolygonDownloader::~CPolygonDownloader() = default;

bool CPolygonDownloader::Qualifies(int row, int column) const
{
    return m_polygon.IntersectsSquare(double(kChunkPixelSide) * column, double(kChunkPixelSide) * row,
                                      kChunkPixelSide);
}

// ---- CRouteDownloader ----

CRouteDownloader::CRouteDownloader(std::shared_ptr<CChunkStore> store, const CChunkAddress& address,
                                   const std::vector<CPolyPoint>& route, double corridor,
                                   std::atomic<int64_t>* total, std::atomic<int64_t>* progress,
                                   CWebServer::Callback proceed, void* argument)
    : CRL3Downloader(std::move(store), address, total, progress, proceed, argument)
{
    if (!(corridor > 0))
        corridor = 0;
    m_route.Points() = FinitePoints(route);
    const double reach = kHalfDiagonal + corridor;
    m_limitSquared = reach * reach;
    // Grown by the whole reach: a chunk whose centre lies within it of the
    // route may lie wholly outside the route's box grown by the corridor alone.
    SetRange(ChunkRangeOf(m_route.Points(), reach, GetStoreColumns(), GetStoreRows()));
}

CRouteDownloader::~CRouteDownloader() = default;

bool CRouteDownloader::Qualifies(int row, int column) const
{
    const double half = kChunkPixelSide / 2.0;
    return m_route.IsNear(double(kChunkPixelSide) * column + half, double(kChunkPixelSide) * row + half,
                          m_limitSquared);
}
