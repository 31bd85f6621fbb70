#pragma once
// The chart as the chart view draws it: any visible rectangle at a power-of-
// two zoom, from square images of 256 x 256 pixels kept between frames.
// Squares are rendered by a pool of decoding threads; for a chunked chart,
// chunk data still missing at the wanted level is fetched by a second pool
// and the affected squares are rendered again when it arrives. Drawing never
// waits: a square not ready yet is drawn from the next coarser or finer zoom
// when one is at hand, and the view redraws on its timer while IsBusy().
//
// Threads: Draw, Open and Close run on the main thread, which owns every
// square in the pool. Squares queued or in work belong to the worker until
// they come back through its finished list; worker threads never call the
// view. Locks are never nested: the worker mutex, the web worker's mutex, its
// arrivals mutex and the chart's chunk locks are each taken alone.
#include "charts/Rasterleaf.h"
#include "charts/cache/Vector2D.h"
#include "foundation/platform/DialogParent.h"

#include <QImage>

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

class QPainter;

class CCachedRasterleaf
{
public:
    class DIB_square
    {
    public:
        static constexpr int kFree = -999;
        enum State : int { kRendered = 0, kWaiting = 1, kArrived = 2 };

        int64_t x = 0, y = 0; // level coordinates of the top-left corner (multiples of 256)
        int zoom = kFree;
        int state = kRendered;
        int shortfall = 0; // how many levels too coarse its chunk data was
        QImage image;
        // Set while it renders when new chunk data for it arrives meanwhile.
        bool arrivedWhileRendering = false;
        uint64_t placedFrame = 0;

        void MakeFree();
    };
    using Dib_List = std::list<DIB_square*>;
    class CWorker;
    class CWebWorker;

    explicit CCachedRasterleaf(QWidget* owner = nullptr);
    ~CCachedRasterleaf();
    CCachedRasterleaf(const CCachedRasterleaf&) = delete;
    CCachedRasterleaf& operator=(const CCachedRasterleaf&) = delete;

    // 0, or -1 when the file does not open as a chart.
    int Open(QWidget* parent, const std::string& path);
    void Close();
    // Draws the view rectangle (left, top, right, bottom) whose top-left shows
    // chart pixel (originX, originY) at zoom `shift`. False (the rectangle
    // filled with white) when no chart is open.
    bool Draw(QPainter& context, int left, int top, int right, int bottom, int64_t originX, int64_t originY,
              int shift);

    // Finished squares not yet collected, or chunk data not yet applied.
    bool IsBusy();
    // A chunk fetch is running.
    bool IsFetching();
    // Squares queued or rendering, or chunks waiting to be fetched (tests and
    // benchmarks wait on it; finished squares are IsBusy's).
    bool HasWork();

    CRasterleaf* GetChart() const { return m_chart.get(); }
    int GetPixelWidth() const { return m_width; }
    int GetPixelHeight() const { return m_height; }
    // The view's "automatic_download": off, missing chunks are not fetched.
    void SetAutomaticDownload(bool on) { m_automaticDownload.store(on); }
    bool GetAutomaticDownload() const { return m_automaticDownload.load(); }
    // Fetches that failed since the chart was opened (three stop fetching).
    int FailedFetchCount();
    size_t SquareCount() const { return m_squares.size(); }
    // Decoding threads of pools made from now on (0: four for chunked charts,
    // one for single-file charts); benchmarks compare one and four.
    static void SetDecodeThreadsForTesting(int threads);

private:
    DIB_square* NewSquare();
    void CollectFinished(int shift);
    void ApplyArrivals(int shift);
    void PruneQueue(int shift);
    void PlaceSquares(int shift);
    void Paint(QPainter& context, int left, int top);
    void Queue(int shift);
    bool InsideMap(const DIB_square& square) const;
    void MarkRequested(const DIB_square& square);

    QWidget* m_owner;
    std::unique_ptr<CRasterleaf> m_chart;
    int m_width = 0;
    int m_height = 0;
    std::atomic<bool> m_automaticDownload{true};

    // The square map of the current frame.
    int64_t m_originX = 0, m_originY = 0; // level origin of the view
    int64_t m_mapX = 0, m_mapY = 0;       // rounded down to 256
    int64_t m_halfX = 0, m_halfY = 0;     // rounded down to 512
    int m_shift = 0;
    Vector2D<char> m_requested;
    Vector2D<DIB_square*> m_main, m_half, m_double;
    uint64_t m_frame = 0;

    std::vector<std::unique_ptr<DIB_square>> m_squares; // every square made
    Dib_List m_pool;                                    // squares the main thread holds
    std::unique_ptr<CWorker> m_worker;
};
