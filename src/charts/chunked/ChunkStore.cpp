#include "charts/chunked/ChunkStore.h"

#include "charts/TileDecoders.h"
#include "foundation/web/WebServer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

using namespace chunkfile;

namespace {

std::mutex gRegistryMutex;
std::map<std::string, std::weak_ptr<CChunkStore>> gRegistry;
std::atomic<int> gRetryDelayMs{1000};

std::string CanonicalStorePath(const std::string& path)
{
    std::error_code ec;
    std::filesystem::path p = std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec);
    if (ec || p.empty())
        return path;
    return p.lexically_normal().string();
}

} // namespace

std::shared_ptr<CChunkStore> CChunkStore::Acquire(const std::string& localPath, int columns, int rows)
{
    if (localPath.empty() || columns < 1 || rows < 1 || uint64_t(columns) * uint64_t(rows) > kMaxChunks)
        return nullptr;
    const std::string key = CanonicalStorePath(localPath);
    // A store that fails to open is destroyed after the registry lock is
    // released: its destructor takes that lock too.
    std::shared_ptr<CChunkStore> store;
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    auto it = gRegistry.find(key);
    if (it != gRegistry.end()) {
        if (auto existing = it->second.lock()) {
            if (existing->m_columns != columns || existing->m_rows != rows)
                return nullptr;
            return existing;
        }
        gRegistry.erase(it);
    }
    store.reset(new CChunkStore(key, columns, rows));
    if (!store->Open())
        return nullptr;
    gRegistry[key] = store;
    return store;
}

size_t CChunkStore::LiveStoreCount()
{
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    size_t n = 0;
    for (const auto& [path, weak] : gRegistry)
        n += weak.expired() ? 0 : 1;
    return n;
}

CChunkStore::CChunkStore(std::string localPath, int columns, int rows)
    : m_localPath(std::move(localPath)), m_columns(columns), m_rows(rows)
{
}

CChunkStore::~CChunkStore()
{
    m_file.Close();
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    auto it = gRegistry.find(m_localPath);
    if (it != gRegistry.end() && it->second.expired())
        gRegistry.erase(it);
}

void CChunkStore::SetRetryDelayForTesting(int milliseconds)
{
    gRetryDelayMs = std::max(0, milliseconds);
}

bool CChunkStore::Open()
{
    if (!m_file.Open(m_localPath, CSegmentedFile::kReadWrite) &&
        !m_file.Open(m_localPath, CSegmentedFile::kReadOnly))
        return false;
    uint8_t header[kHeaderSize];
    const int64_t got = m_file.Read(0, header, sizeof header);
    if (got < 0) {
        // A folder without part 0 yet is a new store.
        if (!m_file.IsFolder()) {
            m_file.Close();
            return false;
        }
        return true;
    }
    if (got < int64_t(kHeaderSize))
        return true; // the header comes from the server with the first fetch
    if (Get32(header) != kMagic) {
        // Not ours: leave the file alone.
        m_file.Close();
        return false;
    }
    // A header of another grid is treated as not loaded: the first fetch
    // writes a fresh header and index for this chart.
    if (Get32(header + kColumnsOffset) == uint32_t(m_columns) &&
        Get32(header + kRowsOffset) == uint32_t(m_rows))
        m_loaded.store(true, std::memory_order_release);
    return true;
}

bool CChunkStore::IsWritable() const
{
    const int mode = m_file.GetMode();
    return mode == CSegmentedFile::kCreateTruncate || mode == CSegmentedFile::kReadWrite;
}

void CChunkStore::SetServerPath(const std::string& path)
{
    std::lock_guard<std::mutex> lock(m_indexMutex);
    if (m_serverPath != path)
        m_indexCache.clear();
    m_serverPath = path;
}

std::string CChunkStore::GetServerPath() const
{
    std::lock_guard<std::mutex> lock(m_indexMutex);
    return m_serverPath;
}

uint64_t CChunkStore::EntryOffset(int row, int column) const
{
    return kIndexOffset + (uint64_t(row) * uint64_t(m_columns) + uint64_t(column)) * 8;
}

int64_t CChunkStore::ReadEntry(int row, int column)
{
    if (!IsLoaded() || row < 0 || column < 0 || row >= m_rows || column >= m_columns)
        return 0;
    uint8_t b[8];
    if (m_file.Read(EntryOffset(row, column), b, 8) != 8)
        return 0;
    return Get64(b);
}

bool CChunkStore::WriteEntry(int row, int column, int64_t value)
{
    uint8_t b[8];
    Put64(b, value);
    return m_file.Write(EntryOffset(row, column), b, 8);
}

bool CChunkStore::RegionInside(int64_t position, uint64_t length) const
{
    if (position < 1)
        return false;
    if (!m_file.IsFolder())
        return uint64_t(position) + length >= uint64_t(position);
    return (uint64_t(position) >> 32) < uint64_t(CSegmentedFile::kMaxParts) &&
           (uint64_t(position) & 0xFFFFFFFFu) + length <= CSegmentedFile::kPartLimit;
}

bool CChunkStore::ReadLocalRecord(int64_t position, CRecordHeader& header)
{
    if (!RegionInside(position, kRecordHeaderSize))
        return false;
    if (m_file.Read(uint64_t(position), header.raw, kRecordHeaderSize) != int64_t(kRecordHeaderSize))
        return false;
    return header.Valid() && RegionInside(position, kRecordHeaderSize + 4 * uint64_t(header.Count(0)));
}

bool CChunkStore::IsAbsent(int row, int column)
{
    // A chunk known to be empty (-1) is not missing.
    return IsAbsentEntry(ReadEntry(row, column));
}

bool CChunkStore::IsComplete(int row, int column)
{
    const int64_t entry = ReadEntry(row, column);
    if (!IsPosition(entry))
        return false;
    CRecordHeader h;
    return ReadLocalRecord(entry, h) && h.Present() == h.Count(0);
}

void CChunkStore::FillAbsentPattern(uint8_t* buffer)
{
    // Stored row 0 is image row 0 (the top edge); column 0 of every row is the left edge.
    std::memset(buffer, 1, kChunkPixels);
    std::memset(buffer, 0, kChunkSide);
    for (uint32_t r = 0; r < uint32_t(kChunkSide); ++r)
        buffer[size_t(r) * kChunkSide] = 0;
}

CChunkStore::DecodeResult CChunkStore::DecodeChunk(int row, int column, int level, uint8_t* buffer,
                                                   int& decodedLevel)
{
    decodedLevel = kLevels;
    if (!buffer || level < 0 || level >= kLevels)
        return DecodeResult::Failed;
    if (row < 0 || column < 0 || row >= m_rows || column >= m_columns)
        return DecodeResult::Failed;
    const int64_t entry = ReadEntry(row, column);
    if (!IsLoaded() || IsAbsentEntry(entry)) {
        FillAbsentPattern(buffer);
        return DecodeResult::Decoded;
    }
    if (entry == kEmptyEntry) {
        std::memset(buffer, 1, size_t(kChunkSide) * size_t(kChunkSide >> level));
        decodedLevel = level;
        return DecodeResult::Decoded;
    }
    // Local data that does not read back is dropped from the index, so a
    // later fetch writes the chunk afresh.
    CRecordHeader h;
    if (!ReadLocalRecord(entry, h)) {
        if (IsWritable())
            WriteEntry(row, column, 0);
        return DecodeResult::Undecodable;
    }
    const int decoded = h.FirstDecodableLevel(level);
    if (decoded >= kLevels) {
        // Nothing usable yet: never leave another chunk's pixels in the buffer.
        FillAbsentPattern(buffer);
        return DecodeResult::Decoded;
    }
    const uint32_t n = h.Count(decoded);
    // The word buffer grows in steps of 1,024 words and is kept per thread.
    thread_local std::vector<uint8_t> words;
    const size_t need = (size_t(n) + 1023) / 1024 * 1024 * 4;
    if (words.size() < need)
        words.resize(need);
    const int64_t got = m_file.Read(uint64_t(entry) + kRecordHeaderSize, words.data(), 4 * size_t(n));
    if (got != int64_t(4) * n || !DecodeRecordWords(h, words.data(), n, level, buffer, decodedLevel)) {
        if (IsWritable())
            WriteEntry(row, column, 0);
        decodedLevel = kLevels;
        return DecodeResult::Undecodable;
    }
    return DecodeResult::Decoded;
}

bool DecodeRecordWords(const CRecordHeader& header, const uint8_t* words, uint32_t wordCount, int level,
                       uint8_t* buffer, int& decodedLevel)
{
    decodedLevel = kLevels;
    if (!words || !buffer || level < 0 || level >= kLevels || !header.Valid())
        return false;
    const int decoded = header.FirstDecodableLevel(level);
    if (decoded >= kLevels) {
        CChunkStore::FillAbsentPattern(buffer);
        return true;
    }
    const uint32_t n = header.Count(decoded);
    if (n > wordCount)
        return false;
    const uint32_t count = uint32_t(kChunkSide) * uint32_t(kChunkSide >> decoded);
    if (!DecodeChunkStream(words, n, buffer, count))
        return false;
    // Widen a coarser picture: each stored row gains a copy as its odd neighbour.
    for (int k = decoded; k > level; --k) {
        const size_t half = size_t(0x100000) >> k;
        std::memcpy(buffer + half, buffer, half);
    }
    decodedLevel = decoded;
    return true;
}

bool CChunkStore::LoadServerHeader(CWebServer& web, const std::string& serverPath)
{
    std::lock_guard<std::mutex> lock(m_indexMutex);
    if (IsLoaded())
        return true;
    uint8_t header[kHeaderSize];
    if (web.ReadRange(serverPath.c_str(), 0, int32_t(kHeaderSize), header) != int32_t(kHeaderSize))
        return false;
    if (Get32(header) != kMagic)
        return false;
    // The server's grid must be the chart's before anything is written.
    if (Get32(header + kColumnsOffset) != uint32_t(m_columns) ||
        Get32(header + kRowsOffset) != uint32_t(m_rows))
        return false;
    // The zeroed index first, the header last: a store cut short in between
    // still reads as not loaded.
    std::vector<uint8_t> zeros(size_t(m_columns) * 8, 0);
    for (int r = 0; r < m_rows; ++r)
        if (!m_file.Write(EntryOffset(r, 0), zeros.data(), zeros.size()))
            return false;
    if (!m_file.Write(0, header, sizeof header))
        return false;
    m_loaded.store(true, std::memory_order_release);
    return true;
}

bool CChunkStore::ServerEntry(CWebServer& web, const std::string& serverPath, int row, int column,
                              int64_t& entry)
{
    const uint64_t offset = EntryOffset(row, column);
    const uint64_t block = offset >> 7;
    const size_t slot = size_t((offset & 127) / 8);
    {
        std::lock_guard<std::mutex> lock(m_indexMutex);
        auto it = m_indexCache.find(block);
        if (it != m_indexCache.end()) {
            entry = it->second[slot];
            return true;
        }
    }
    // The network read runs without the lock; two threads may both read a block.
    uint8_t bytes[128];
    const int32_t got = web.ReadRange(serverPath.c_str(), int64_t(block << 7), 128, bytes);
    if (got < int32_t(slot * 8 + 8))
        return false;
    entry = Get64(bytes + slot * 8);
    if (got == 128) {
        std::array<int64_t, 16> entries;
        for (size_t i = 0; i < 16; ++i)
            entries[i] = Get64(bytes + 8 * i);
        std::lock_guard<std::mutex> lock(m_indexMutex);
        if (m_serverPath == serverPath) {
            if (m_indexCache.size() > 1000)
                m_indexCache.clear();
            m_indexCache[block] = entries;
        }
    }
    return true;
}

bool CChunkStore::FetchChunk(CWebServer& web, int row, int column, int level)
{
    if (level < 0 || level >= kLevels || row < 0 || column < 0 || row >= m_rows || column >= m_columns)
        return false;
    if (!IsWritable() || m_file.HasWriteError())
        return false;
    // One fetch per chunk at a time: a second thread waits and then finds the words there.
    const uint32_t key = (uint32_t(row) << 16) | uint32_t(column);
    {
        std::unique_lock<std::mutex> lock(m_busyMutex);
        m_busyDone.wait(lock, [&] { return !m_busy.count(key); });
        m_busy.insert(key);
    }
    const bool ok = FetchLocked(web, row, column, level);
    {
        std::lock_guard<std::mutex> lock(m_busyMutex);
        m_busy.erase(key);
    }
    m_busyDone.notify_all();
    return ok;
}

bool CChunkStore::FetchLocked(CWebServer& web, int row, int column, int level)
{
    const std::string serverPath = GetServerPath();
    if (serverPath.empty())
        return false;
    if (!IsLoaded() && !LoadServerHeader(web, serverPath))
        return false;

    const int64_t entry = ReadEntry(row, column);
    if (entry == kEmptyEntry)
        return true;
    CRecordHeader local;
    const bool haveLocal = IsPosition(entry) && ReadLocalRecord(entry, local);
    if (haveLocal && local.Present() >= local.Count(level))
        return true;

    int64_t remote = 0;
    if (!ServerEntry(web, serverPath, row, column, remote))
        return false;
    if (remote == kEmptyEntry)
        return WriteEntry(row, column, kEmptyEntry);
    if (remote < 1 || remote >= kServerPositionLimit)
        return false;

    // `words` holds the record's words from 0 on; `stored` of them are on disk.
    std::vector<uint8_t> words;
    CRecordHeader header;
    int64_t position;
    uint32_t stored;
    uint32_t verified;
    if (haveLocal) {
        header = local;
        position = entry;
        verified = local.Present();
        words.resize(4 * size_t(verified));
        if (verified && m_file.Read(uint64_t(position) + kRecordHeaderSize, words.data(), words.size()) !=
                            int64_t(words.size()))
            return false;
        stored = verified;
    } else {
        std::vector<uint8_t> first(kFirstRecordRead);
        const int32_t got = web.ReadRange(serverPath.c_str(), remote, int32_t(first.size()), first.data());
        if (got < int32_t(kRecordHeaderSize))
            return false;
        std::memcpy(header.raw, first.data(), kRecordHeaderSize);
        header.SetPresent(0);
        if (!header.Valid())
            return false;
        const uint32_t available = std::min<uint32_t>(header.Count(0), uint32_t(got - kRecordHeaderSize) / 4);
        words.assign(first.begin() + kRecordHeaderSize,
                     first.begin() + kRecordHeaderSize + 4 * size_t(available));
        position = m_file.Allocate(kRecordHeaderSize + 4 * uint64_t(header.Count(0)), 4);
        if (position < 1)
            return false;
        // Written with no word marked present: nothing unverified is ever used.
        if (!m_file.WriteTwo(uint64_t(position), header.raw, kRecordHeaderSize, words.data(), words.size()))
            return false;
        if (!WriteEntry(row, column, position))
            return false;
        stored = available;
        verified = 0;
    }

    const uint32_t want = header.Count(level);
    const uint32_t have = uint32_t(words.size() / 4);
    if (have < want) {
        const size_t missing = 4 * size_t(want - have);
        words.resize(4 * size_t(want));
        const int64_t from = remote + int64_t(kRecordHeaderSize) + 4 * int64_t(have);
        if (web.ReadRange(serverPath.c_str(), from, int32_t(missing), words.data() + 4 * size_t(have)) !=
            int32_t(missing))
            return false;
    }
    // The words of the wanted level must pass their check before they count.
    if (CheckByte(words.data(), want) != header.Check(level)) {
        WriteEntry(row, column, 0);
        return false;
    }
    // Finer levels whose words happen to be here and pass their checks count too.
    uint32_t present = std::max(want, verified);
    const uint32_t inHand = uint32_t(words.size() / 4);
    for (int l = level - 1; l >= 0; --l) {
        const uint32_t n = header.Count(l);
        if (n > inHand || CheckByte(words.data(), n) != header.Check(l))
            break;
        present = std::max(present, n);
    }
    if (present > stored && !m_file.Write(uint64_t(position) + kRecordHeaderSize + 4 * uint64_t(stored),
                                          words.data() + 4 * size_t(stored), 4 * size_t(present - stored)))
        return false;
    if (present != verified) {
        uint8_t count[4];
        Put32(count, present);
        if (!m_file.Write(uint64_t(position) + kPresentOffset, count, 4))
            return false;
    }
    return true;
}

bool CChunkStore::FetchChunkWithRetries(CWebServer& web, int row, int column, int level)
{
    constexpr int kAttempts = 5;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        if (FetchChunk(web, row, column, level))
            return true;
        if (attempt == kAttempts || !web.ContinueTest())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(gRetryDelayMs.load()));
    }
    return false;
}
