#pragma once
// Downloading many chunks of a chunked chart for use without a network: the
// chunks over an area (a polygon in chart pixels) or along a route within a
// corridor. A downloader lives for one download: it works out the chunk range,
// counts the chunks that qualify, then four worker threads (each with its own
// web client) take the qualifying chunks in row order and fetch each at full
// resolution with retries, until all are done or the continue test says stop.
#include "charts/chunked/ChunkAddress.h"
#include "foundation/threads/WorkerThread.h"
#include "foundation/web/WebServer.h"
#include "geodesy/Polygon.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class CChunkStore;

// Chunks are 1024 x 1024 chart pixels.
constexpr int kChunkPixelSide = 1024;

// Rows first..last, columns first..last (inclusive); empty when first > last.
struct CChunkRange
{
    int firstRow = 0, lastRow = -1;
    int firstColumn = 0, lastColumn = -1;
    bool IsEmpty() const { return firstRow > lastRow || firstColumn > lastColumn; }
};

// The chunks under the bounding box of the finite points, grown by `grow`
// pixels on every side, in a grid of columns x rows. Points that are not
// finite are left out; bounds far outside the grid are clamped to it before
// they become chunk numbers, so any input gives a range inside the grid.
CChunkRange ChunkRangeOf(const std::vector<CPolyPoint>& points, double grow, int columns, int rows);

// The points without those that are not finite.
std::vector<CPolyPoint> FinitePoints(const std::vector<CPolyPoint>& points);

// What a download leaves besides its result.
struct CChunkDownloadOutcome
{
    int64_t failed = 0;   // chunks that failed every attempt
    bool stopped = false; // the continue test ended the hand-out early
    std::string error;    // why nothing could start (no store, no chunk address)
};

class CRL3Downloader : private CWorkerThread
{
public:
    static constexpr int kThreads = 4;
    static constexpr int kNice = 1;

    // `total` gets the number of qualifying chunks, `progress` the chunks
    // handed out so far (either may be null). `proceed` (null: always) is
    // asked before every chunk is handed out and, as each client's connect
    // hook, before every request.
    CRL3Downloader(std::shared_ptr<CChunkStore> store, const CChunkAddress& address,
                   std::atomic<int64_t>* total, std::atomic<int64_t>* progress, CWebServer::Callback proceed,
                   void* argument);
    ~CRL3Downloader() override;

    void SetRange(const CChunkRange& range) { m_range = range; }
    const CChunkRange& Range() const { return m_range; }
    // Counts the qualifying chunks of the range and writes the total.
    int64_t Count();
    // Counts, then fetches every qualifying chunk. True when every one was
    // handed out and fetched.
    bool Run(CChunkDownloadOutcome* outcome = nullptr);

    // Does chunk (row, column) belong to the download. Any thread.
    virtual bool Qualifies(int row, int column) const = 0;

    class Job : public CWorkerThread::JobData
    {
    public:
        explicit Job(CRL3Downloader& owner);
        bool GetJob() override;
        void DoJob() override;

    private:
        CRL3Downloader& m_owner;
        int m_row = -1, m_column = -1;
        bool m_result = false;
        CWebServer m_web;
    };

protected:
    int GetStoreColumns() const;
    int GetStoreRows() const;

private:
    std::unique_ptr<JobData> CreateJobData(int threadIndex) override;
    bool Proceed();
    // With the pool's mutex held: the next qualifying chunk, or false.
    bool TakeNext(int& row, int& column);

    std::shared_ptr<CChunkStore> m_store;
    CChunkAddress m_address;
    std::atomic<int64_t>* m_total;
    std::atomic<int64_t>* m_progress;
    CWebServer::Callback m_proceed;
    void* m_argument;
    CChunkRange m_range;
    int m_row = 0, m_column = 0; // the cursor: the chunk handed out last
    bool m_finished = false;
    bool m_stopped = false;
    std::atomic<int64_t> m_failed{0};
};

// The chunks that the polygon (chart pixels) touches.
class CPolygonDownloader : public CRL3Downloader
{
public:
    CPolygonDownloader(std::shared_ptr<CChunkStore> store, const CChunkAddress& address,
                       const std::vector<CPolyPoint>& polygon, std::atomic<int64_t>* total,
                       std::atomic<int64_t>* progress, CWebServer::Callback proceed, void* argument);
    ~CPolygonDownloader() override;
    bool Qualifies(int row, int column) const override;

private:
    CPolygon m_polygon;
};

// The chunks whose centre lies within the corridor of the route (chart pixels).
class CRouteDownloader : public CRL3Downloader
{
public:
    // The chunk's half-diagonal: a chunk whose centre is this close touches the line.
    static constexpr double kHalfDiagonal = 724.0704;

    // `corridor` is the corridor's width in chart pixels.
    CRouteDownloader(std::shared_ptr<CChunkStore> store, const CChunkAddress& address,
                     const std::vector<CPolyPoint>& route, double corridor, std::atomic<int64_t>* total,
                     std::atomic<int64_t>* progress, CWebServer::Callback proceed, void* argument);
    ~CRouteDownloader() override;
    bool Qualifies(int row, int column) const override;
    double DistanceLimitSquared() const { return m_limitSquared; }

private:
    CPolygon m_route;
    double m_limitSquared;
};
