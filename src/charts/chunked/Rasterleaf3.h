#pragma once
// The chunked chart: a chart file without tiles whose pixels live in a chunk
// store beside it ("<name>.rl3", or ".RL3" when that exists), filled from the
// chart server chunk by chunk. Tiles are cut from decoded 1024 x 1024 chunks
// kept in a small cache shared by the rendering threads.
#include "charts/Rasterleaf.h"
#include "charts/chunked/ChunkAddress.h"
#include "charts/chunked/ChunkStore.h"
#include "charts/chunked/DecodedChunkCache.h"
#include "foundation/platform/DialogParent.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>

class CWebServer;

class CRasterleaf3 : public CRasterleaf
{
public:
    CRasterleaf3() = default;
    ~CRasterleaf3() override;

    bool OpenChunkFile() override;
    bool IsDownloadable() const override;
    // 1 without a chunk store (the caller abandons its drawing); else 0.
    // A chunk decoded coarser than asked raises the context's largest
    // shortfall and is passed to its request function.
    int GetTile(int x, int y, int level, uint8_t* buffer, CTileContext* context) override;
    void InvalidateTile(uint32_t chunkKey) override;
    void ClearTileCache() override;

    // The chunk file's address, resolved with `web` on the first call (which
    // also gives the store its server path); later calls return the same.
    // `web` is left pointed at the chunk host.
    CChunkAddress GetChunkURL(CWebServer& web);
    // Why the address could not be resolved: the web client's text ("" when
    // it has none, or after a cancel).
    std::string GetChunkURLError() const;
    // "http[s]://host[:port]path" of the resolved address ("" before or without one).
    std::string GetChunkURLText() const;
    // The chunk file's size on the server, its part files added; 0 without
    // an address, -1 when the server does not tell.
    int64_t GetChunkFileSize(CWebServer& web);
    static constexpr int kMaxServerParts = 4096;

    bool DownloadPolygon(const std::vector<CPolyPoint>& points, std::atomic<int64_t>* total,
                         std::atomic<int64_t>* progress, DownloadProceed proceed, void* argument,
                         CChunkDownloadOutcome* outcome = nullptr) override;
    bool DownloadRoute(const std::vector<CPolyPoint>& points, std::atomic<int64_t>* total,
                       std::atomic<int64_t>* progress, DownloadProceed proceed, void* argument,
                       double corridorMetres, CChunkDownloadOutcome* outcome = nullptr) override;
    bool DownloadAll(std::atomic<int64_t>* total, std::atomic<int64_t>* progress, DownloadProceed proceed,
                     void* argument, CChunkDownloadOutcome* outcome = nullptr) override;
    // The chart's outline (or its image corners when it has none) as a polygon.
    bool DownloadOutline(std::atomic<int64_t>* total, std::atomic<int64_t>* progress, DownloadProceed proceed,
                         void* argument, CChunkDownloadOutcome* outcome = nullptr);
    bool NextChunkArea(int& chunk, double corners[8], int& flags) override;
    // The same for runs of chunks not (wholly) on the device; `flags` 0.
    bool NextMissingChunkArea(int& chunk, double corners[8], int& flags);
    // Some chunk of the chart is not wholly on the device.
    bool HasMissingChunks();
    // Nautical miles per chart pixel at the image centre.
    double CentreScale() const;

    CChunkStore* GetChunkStore() const { return m_store.get(); }
    std::shared_ptr<CChunkStore> ShareChunkStore() const { return m_store; }
    int ChunkColumns() const;
    int ChunkRows() const;
    int LastLevel() const { return m_lastLevel.load(); }
    // Chunks whose local data did not decode: drawn as index 0 and not asked
    // for again while this chart is open.
    bool HasFailedToDecode(uint32_t chunkKey) const;
    int DecodeFailureCount() const { return m_decodeFailures.load(); }

    static uint32_t ChunkKey(int row, int column) { return (uint32_t(row) << 16) | uint32_t(column); }

protected:
    bool IsChunked() const override { return true; }

private:
    bool NextArea(bool complete, int& chunk, double corners[8]);
    // Resolves the chunk address for a download; false with the reason.
    bool DownloadAddress(DownloadProceed proceed, void* argument, CChunkAddress& address,
                         CChunkDownloadOutcome* outcome);
    static void DecodeEntry(void* self, CDecodedChunkCache::Entry& entry, int64_t key, int level);

    std::shared_ptr<CChunkStore> m_store;
    CDecodedChunkCache m_cache;
    std::atomic<int> m_lastLevel{0};

    mutable std::mutex m_failedMutex;
    std::set<uint32_t> m_failed;
    std::atomic<int> m_decodeFailures{0};

    mutable std::mutex m_addressMutex;
    bool m_addressDone = false;
    CChunkAddress m_address;
    std::string m_addressError;
};

// Opens any chart file (CRasterleaf::OpenFile, which makes chunked charts
// CRasterleaf3). Null when it is not a chart this system can show.
CRasterleaf* OpenChartFile(QWidget* owner, const std::string& path);
