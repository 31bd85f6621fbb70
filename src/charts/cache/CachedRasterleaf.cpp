#include "charts/cache/CachedRasterleaf.h"

#include "charts/cache/CacheWorkers.h"
#include "charts/chunked/Rasterleaf3.h"
#include "foundation/drawing/Drawing.h"
#include "foundation/web/WebServer.h"

#include <QPainter>

#include <algorithm>

namespace {

constexpr int kSquare = 256;
// A square shown once more after its chunk data arrived loses to any new rendering.
constexpr int kStaleShortfall = 1000;
std::atomic<int> gDecodeThreads{0};

int64_t ToLevel(int64_t chartPixel, int shift)
{
    return shift >= 0 ? chartPixel >> shift : chartPixel * (int64_t(1) << -shift);
}

int64_t ToChart(int64_t levelPixel, int shift)
{
    return shift >= 0 ? levelPixel * (int64_t(1) << shift) : levelPixel >> -shift;
}

// The chart rectangle a square of zoom `shift` covers.
void SquareChartRect(const CCachedRasterleaf::DIB_square& s, int64_t& x0, int64_t& y0, int64_t& x1,
                     int64_t& y1)
{
    x0 = ToChart(s.x, s.zoom);
    y0 = ToChart(s.y, s.zoom);
    x1 = ToChart(s.x + kSquare, s.zoom);
    y1 = ToChart(s.y + kSquare, s.zoom);
}

} // namespace

void CCachedRasterleaf::DIB_square::MakeFree()
{
    zoom = kFree;
    state = kRendered;
    shortfall = 0;
    arrivedWhileRendering = false;
    image = QImage();
}

CCachedRasterleaf::CCachedRasterleaf(QWidget* owner) : m_owner(owner) {}

void CCachedRasterleaf::SetDecodeThreadsForTesting(int threads)
{
    gDecodeThreads.store(std::clamp(threads, 0, CCachedRasterleaf::CWorker::kSlots));
}

CCachedRasterleaf::~CCachedRasterleaf()
{
    Close();
}

int CCachedRasterleaf::Open(QWidget* parent, const std::string& path)
{
    Close();
    m_chart.reset(OpenChartFile(parent ? parent : m_owner, path));
    if (!m_chart)
        return -1;
    m_width = m_chart->PixelWidth();
    m_height = m_chart->PixelHeight();
    return 0;
}

void CCachedRasterleaf::Close()
{
    // The worker first: its threads use the chart and the squares.
    m_worker.reset();
    m_chart.reset();
    m_width = m_height = 0;
    m_pool.clear();
    m_squares.clear();
    m_main.Reset(0, 0, nullptr);
    m_half.Reset(0, 0, nullptr);
    m_double.Reset(0, 0, nullptr);
}

int CCachedRasterleaf::FailedFetchCount()
{
    CWebWorker* web = m_worker ? m_worker->GetWebWorker() : nullptr;
    return web ? web->FailedCount() : 0;
}

bool CCachedRasterleaf::IsBusy()
{
    if (!m_worker)
        return false;
    if (m_worker->HasFinished())
        return true;
    CWebWorker* web = m_worker->GetWebWorker();
    return web && web->HasArrivals();
}

bool CCachedRasterleaf::IsFetching()
{
    CWebWorker* web = m_worker ? m_worker->GetWebWorker() : nullptr;
    return web && web->IsFetching();
}

bool CCachedRasterleaf::HasWork()
{
    if (!m_worker)
        return false;
    if (m_worker->HasQueuedOrInWork())
        return true;
    CWebWorker* web = m_worker->GetWebWorker();
    return web && web->HasWork();
}

CCachedRasterleaf::DIB_square* CCachedRasterleaf::NewSquare()
{
    m_squares.push_back(std::make_unique<DIB_square>());
    return m_squares.back().get();
}

bool CCachedRasterleaf::InsideMap(const DIB_square& square) const
{
    return square.zoom == m_shift && square.x >= m_mapX && square.y >= m_mapY &&
           square.x < m_mapX + int64_t(kSquare) * m_main.Columns() &&
           square.y < m_mapY + int64_t(kSquare) * m_main.Rows();
}

void CCachedRasterleaf::MarkRequested(const DIB_square& square)
{
    if (InsideMap(square))
        m_requested.At(int((square.x - m_mapX) / kSquare), int((square.y - m_mapY) / kSquare)) = 1;
}

bool CCachedRasterleaf::Draw(QPainter& context, int left, int top, int right, int bottom, int64_t originX,
                             int64_t originY, int shift)
{
    const int width = right - left, height = bottom - top;
    if (!m_chart) {
        FillRectangle(context, left, top, std::max(width, 0), std::max(height, 0), GraphicsColor(1, 1, 1, 1));
        return false;
    }
    if (width <= 0 || height <= 0)
        return true;
    ++m_frame;
    m_shift = shift;
    m_originX = ToLevel(originX, shift);
    m_originY = ToLevel(originY, shift);
    m_mapX = (m_originX >> 8) << 8;
    m_mapY = (m_originY >> 8) << 8;
    const int columns = int(((m_originX + width + 255) >> 8) - (m_originX >> 8));
    const int rows = int(((m_originY + height + 255) >> 8) - (m_originY >> 8));
    m_halfX = (m_mapX >> 9) << 9;
    m_halfY = (m_mapY >> 9) << 9;
    m_requested.Reset(columns, rows, 0);
    m_main.Reset(columns, rows, nullptr);
    m_half.Reset(int(((m_mapX + int64_t(kSquare) * columns + 511) >> 9) - (m_mapX >> 9)),
                 int(((m_mapY + int64_t(kSquare) * rows + 511) >> 9) - (m_mapY >> 9)), nullptr);
    m_double.Reset(2 * columns, 2 * rows, nullptr);

    if (!m_worker) {
        // Chunked charts decode on four threads, single-file charts on one.
        const bool chunked = m_chart->HeaderWord(1) > 0xFFFFFF;
        const int forced = gDecodeThreads.load();
        m_worker = MakeWorkerPool<CWorker>(*m_chart, m_automaticDownload,
                                           forced > 0 ? forced
                                           : chunked  ? 4
                                                      : 1);
        m_worker->Start();
    }
    CollectFinished(shift);
    ApplyArrivals(shift);
    PruneQueue(shift);
    while (m_squares.size() < size_t(3) * size_t(columns) * size_t(rows))
        m_pool.push_back(NewSquare());
    PlaceSquares(shift);
    context.save();
    context.setClipRect(left, top, width, height);
    Paint(context, left, top);
    context.restore();
    Queue(shift);
    return true;
}

void CCachedRasterleaf::CollectFinished(int shift)
{
    m_worker->TakeFinished(
        [this](DIB_square* square) {
            if (square->arrivedWhileRendering && square->state == DIB_square::kWaiting)
                square->state = DIB_square::kArrived;
            square->arrivedWhileRendering = false;
            m_pool.push_front(square);
        },
        [this, shift](DIB_square& square) {
            if (square.zoom == shift)
                MarkRequested(square);
        });
}

void CCachedRasterleaf::ApplyArrivals(int shift)
{
    CWebWorker* web = m_worker->GetWebWorker();
    if (!web)
        return;
    // Taken out under the arrivals mutex; the chunk locks are taken after it is released.
    const std::map<uint32_t, int> done = web->TakeArrivals();
    if (done.empty())
        return;
    int64_t x0 = INT64_MAX, y0 = INT64_MAX, x1 = INT64_MIN, y1 = INT64_MIN;
    for (const auto& [key, level] : done) {
        m_chart->InvalidateTile(key);
        const int64_t cx = int64_t(key & 0xFFFF) * 1024, cy = int64_t(key >> 16) * 1024;
        x0 = std::min(x0, cx);
        y0 = std::min(y0, cy);
        x1 = std::max(x1, cx + 1024);
        y1 = std::max(y1, cy + 1024);
    }
    auto meets = [&](const DIB_square& s) {
        int64_t sx0, sy0, sx1, sy1;
        SquareChartRect(s, sx0, sy0, sx1, sy1);
        return sx0 < x1 && sx1 > x0 && sy0 < y1 && sy1 > y0;
    };
    for (DIB_square* square : m_pool) {
        if (square->state != DIB_square::kWaiting || square->zoom == DIB_square::kFree || !meets(*square))
            continue;
        if (square->zoom == shift)
            square->state = DIB_square::kArrived;
        else
            square->MakeFree();
    }
    // Squares rendering now, or finished since the collection above, may hold the old data.
    m_worker->ForEachRendered([&meets](DIB_square& square) {
        if (meets(square))
            square.arrivedWhileRendering = true;
    });
}

void CCachedRasterleaf::PruneQueue(int shift)
{
    m_worker->PruneQueued(
        [this, shift](DIB_square& square) {
            if (square.zoom != shift || !InsideMap(square))
                return false;
            MarkRequested(square);
            return true;
        },
        [this](DIB_square* square) {
            square->MakeFree();
            m_pool.push_back(square);
        });
    if (CWebWorker* web = m_worker->GetWebWorker()) {
        // The visible chunks, in chart pixels.
        const int64_t cx0 = ToChart(m_mapX, shift), cy0 = ToChart(m_mapY, shift);
        const int64_t cx1 = ToChart(m_mapX + int64_t(kSquare) * m_main.Columns(), shift);
        const int64_t cy1 = ToChart(m_mapY + int64_t(kSquare) * m_main.Rows(), shift);
        web->Prune(std::max(shift - 1, 0), cx0 >> 10, cy0 >> 10, (cx1 - 1) >> 10, (cy1 - 1) >> 10);
    }
    for (DIB_square* square : m_pool)
        if (square->state == DIB_square::kWaiting && (square->zoom != shift || !InsideMap(*square)))
            square->MakeFree();
}

void CCachedRasterleaf::PlaceSquares(int shift)
{
    std::vector<Dib_List::iterator> placed;
    for (auto it = m_pool.begin(); it != m_pool.end(); ++it) {
        DIB_square* square = *it;
        if (square->zoom == DIB_square::kFree || square->image.isNull())
            continue;
        if (square->zoom == shift) {
            if (!InsideMap(*square))
                continue;
            DIB_square*& cell =
                m_main.At(int((square->x - m_mapX) / kSquare), int((square->y - m_mapY) / kSquare));
            if (cell) {
                // The finer rendering stays; on a tie the one placed first.
                if (square->shortfall < cell->shortfall) {
                    cell->MakeFree();
                    cell = square;
                } else {
                    square->MakeFree();
                    continue;
                }
            } else {
                cell = square;
            }
        } else if (square->zoom == shift + 1) {
            const int64_t c = (2 * square->x - m_halfX) / 512, r = (2 * square->y - m_halfY) / 512;
            if (2 * square->x < m_halfX || 2 * square->y < m_halfY || !m_half.Inside(c, r))
                continue;
            if (!m_half.At(int(c), int(r)))
                m_half.At(int(c), int(r)) = square;
        } else if (square->zoom == shift - 1) {
            if ((square->x & 1) || (square->y & 1))
                continue;
            const int64_t lx = square->x / 2, ly = square->y / 2;
            if (lx < m_mapX || ly < m_mapY)
                continue;
            const int64_t c = (lx - m_mapX) / 128, r = (ly - m_mapY) / 128;
            if (!m_double.Inside(c, r))
                continue;
            if (!m_double.At(int(c), int(r)))
                m_double.At(int(c), int(r)) = square;
        } else {
            continue;
        }
        square->placedFrame = m_frame;
        placed.push_back(it);
    }
    // Placed squares move to the front, keeping their order.
    for (auto rit = placed.rbegin(); rit != placed.rend(); ++rit)
        if ((**rit)->zoom != DIB_square::kFree)
            m_pool.splice(m_pool.begin(), m_pool, *rit);
}

void CCachedRasterleaf::Paint(QPainter& context, int left, int top)
{
    for (int r = 0; r < m_main.Rows(); ++r) {
        for (int c = 0; c < m_main.Columns(); ++c) {
            const int64_t X = m_mapX + int64_t(kSquare) * c, Y = m_mapY + int64_t(kSquare) * r;
            const int vx = int(X - m_originX + left), vy = int(Y - m_originY + top);
            DIB_square*& main = m_main.At(c, r);
            if (main && main->zoom != DIB_square::kFree) {
                context.drawImage(QPoint(vx, vy), main->image);
                if (main->state == DIB_square::kArrived) {
                    // Shown once more from its old image, then rendered again.
                    main->state = DIB_square::kRendered;
                    main->shortfall = kStaleShortfall;
                    main = nullptr;
                }
                continue;
            }
            main = nullptr;
            const int64_t hc = (X - m_halfX) / 512, hr = (Y - m_halfY) / 512;
            DIB_square* half = m_half.Inside(hc, hr) ? m_half.At(int(hc), int(hr)) : nullptr;
            if (half && half->zoom != DIB_square::kFree) {
                const int64_t hx = 2 * half->x, hy = 2 * half->y;
                context.drawImage(QRectF(vx, vy, kSquare, kSquare), half->image,
                                  QRectF(double(X - hx) / 2, double(Y - hy) / 2, 128, 128));
                continue;
            }
            for (int b = 0; b < 2; ++b)
                for (int a = 0; a < 2; ++a) {
                    DIB_square* d = m_double.At(2 * c + a, 2 * r + b);
                    if (d && d->zoom != DIB_square::kFree)
                        context.drawImage(QRectF(vx + 128 * a, vy + 128 * b, 128, 128), d->image);
                }
        }
    }
}

void CCachedRasterleaf::Queue(int shift)
{
    std::vector<std::pair<int64_t, DIB_square*>> queued;
    {
        for (int r = 0; r < m_main.Rows(); ++r) {
            for (int c = 0; c < m_main.Columns(); ++c) {
                if (m_main.At(c, r) || m_requested.At(c, r))
                    continue;
                // The least recently used square not shown in this frame.
                DIB_square* square = nullptr;
                for (auto it = m_pool.end(); it != m_pool.begin();) {
                    --it;
                    if ((*it)->placedFrame != m_frame) {
                        square = *it;
                        m_pool.erase(it);
                        break;
                    }
                }
                if (!square)
                    square = NewSquare();
                square->MakeFree();
                square->x = m_mapX + int64_t(kSquare) * c;
                square->y = m_mapY + int64_t(kSquare) * r;
                square->zoom = shift;
                const int64_t cx = ToChart(square->x, shift), cy = ToChart(square->y, shift);
                queued.emplace_back(((cy >> 10) << 16) + (cx >> 10), square);
                m_requested.At(c, r) = 1;
            }
        }
    }
    m_worker->Enqueue(queued);
}
