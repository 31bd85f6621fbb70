#include "charts/chunked/Rasterleaf3.h"

#include "charts/chunked/ChunkStorePath.h"
#include "foundation/web/WebServer.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace chunkfile;

CRasterleaf* OpenChartFile(QWidget* owner, const std::string& path)
{
    return CRasterleaf::OpenFile(owner, path);
}

CRasterleaf3::~CRasterleaf3()
{
    m_store.reset();
}

int CRasterleaf3::ChunkColumns() const
{
    return int(ChunkGridSize(uint32_t(WidthInTiles())));
}

int CRasterleaf3::ChunkRows() const
{
    return int(ChunkGridSize(uint32_t(HeightInTiles())));
}

bool CRasterleaf3::OpenChunkFile()
{
    m_store.reset();
    m_cache.Clear();
    {
        std::lock_guard<std::mutex> lock(m_failedMutex);
        m_failed.clear();
    }
    m_store = CChunkStore::Acquire(ChunkStorePathFor(Path()), ChunkColumns(), ChunkRows());
    return m_store != nullptr;
}

bool CRasterleaf3::IsDownloadable() const
{
    return m_store && m_store->IsWritable();
}

void CRasterleaf3::DecodeEntry(void* self, CDecodedChunkCache::Entry& entry, int64_t key, int level)
{
    auto* chart = static_cast<CRasterleaf3*>(self);
    if (!entry.buffer)
        entry.buffer = std::make_unique<uint8_t[]>(kChunkPixels);
    const int row = int(key >> 16), column = int(key & 0xFFFF);
    int decoded = kLevels;
    const CChunkStore::DecodeResult result =
        chart->m_store ? chart->m_store->DecodeChunk(row, column, level, entry.buffer.get(), decoded)
                       : CChunkStore::DecodeResult::Failed;
    if (result == CChunkStore::DecodeResult::Decoded) {
        entry.decodedLevel = decoded;
    } else {
        // Index 0 and no further request: fetching again would bring the same words.
        std::memset(entry.buffer.get(), 0, kChunkPixels);
        entry.decodedLevel = level;
        std::lock_guard<std::mutex> lock(chart->m_failedMutex);
        if (chart->m_failed.insert(uint32_t(key)).second)
            ++chart->m_decodeFailures;
    }
    entry.decodedFor.store(level);
}

bool CRasterleaf3::HasFailedToDecode(uint32_t chunkKey) const
{
    std::lock_guard<std::mutex> lock(m_failedMutex);
    return m_failed.count(chunkKey) != 0;
}

int CRasterleaf3::GetTile(int x, int y, int level, uint8_t* buffer, CTileContext* context)
{
    if (!m_store || !buffer || level < 0 || level > kMaxTileLevel)
        return 1;
    const int rows = kTileSide >> level;
    if (x < 0 || y < 0 || x >= WidthInTiles() || y >= HeightInTiles()) {
        std::memset(buffer, 1, size_t(rows) * kTileSide);
        return 0;
    }
    m_lastLevel.store(level);
    const int row = y >> 4, column = x >> 4;
    const uint32_t key = ChunkKey(row, column);
    if (HasFailedToDecode(key)) {
        std::memset(buffer, 0, size_t(rows) * kTileSide);
        return 0;
    }
    CDecodedChunkCache::Entry* e = m_cache.Lookup(key, level, &CRasterleaf3::DecodeEntry, this);
    const uint8_t* chunk = e->buffer.get();
    const size_t firstRow = size_t(BitReverse4(y & 15));
    const size_t column0 = size_t(64 * (x & 15));
    for (int j = 0; j < rows; ++j)
        std::memcpy(buffer + size_t(64 * j), chunk + (16 * size_t(j) + firstRow) * kChunkSide + column0, 64);
    const int decoded = e->decodedLevel;
    e->lock.unlock_shared();
    // The request runs with no chunk lock held: it takes the worker's mutex.
    if (decoded > level && context) {
        if (decoded - level > context->largestShortfall)
            context->largestShortfall = decoded - level;
        if (context->request)
            context->request(context->argument, m_store.get(), row, column, decoded, level);
    }
    return 0;
}

void CRasterleaf3::InvalidateTile(uint32_t chunkKey)
{
    m_cache.Invalidate(int64_t(chunkKey));
}

void CRasterleaf3::ClearTileCache()
{
    m_cache.Clear();
}

CChunkAddress CRasterleaf3::GetChunkURL(CWebServer& web)
{
    std::lock_guard<std::mutex> lock(m_addressMutex);
    if (m_addressDone) {
        // Every caller's client ends up pointed at the chunk host.
        if (m_address.HasAddress())
            PointClientAtChunkHost(web, m_address.host, m_address.secure);
        return m_address;
    }
    std::string text;
    if (ChunkAddressString())
        ReadString(ChunkAddressString(), text);
    m_address = ResolveChunkAddress(web, text, Path());
    m_addressDone = true;
    if (!m_address.HasAddress())
        m_addressError = web.GetErrorText();
    if (m_store && m_address.HasAddress())
        m_store->SetServerPath(m_address.path);
    return m_address;
}

std::string CRasterleaf3::GetChunkURLError() const
{
    std::lock_guard<std::mutex> lock(m_addressMutex);
    return m_addressError;
}

std::string CRasterleaf3::GetChunkURLText() const
{
    std::lock_guard<std::mutex> lock(m_addressMutex);
    return m_addressDone ? m_address.URLText() : std::string();
}

int64_t CRasterleaf3::GetChunkFileSize(CWebServer& web)
{
    const std::string url = GetChunkURL(web).URLText();
    if (url.empty())
        return 0;
    int64_t total = web.GetRemoteFileSize(url.c_str());
    // Files past 2 GiB lie on the server as parts "<path>.1", "<path>.2", ...
    // each following a full part; the first size query that fails ends them.
    int64_t last = total;
    for (int part = 1; part <= kMaxServerParts && last >= CWebServer::kPartSize; ++part) {
        last = web.GetRemoteFileSize((url + "." + std::to_string(part)).c_str());
        if (last > 0)
            total += last;
    }
    return total;
}
