#pragma once
// The local copy of a chunked chart's pixels, filled chunk by chunk and level
// by level from the chunk file on the chart server.
//
// There is one store object per store path in the process: the chart the view
// draws and any download of the same chart share it, so allocations and index
// writes go through one file object and one mutex.
//
// Locks, outermost first: the index mutex (header load and the server index
// cache), then the file's own mutex. The busy-chunk mutex is never held while
// another lock is taken.
#include "charts/chunked/ChunkFormat.h"
#include "charts/chunked/SegmentedFile.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

class CWebServer;

class CChunkStore
{
public:
    // The store at `localPath` for a chart whose chunk grid is columns x rows:
    // the existing object when the path is open already, else a new one opened
    // read-write (created when missing), read-only when that fails. Null when
    // it does not open, when its file holds something else, or when the path
    // is open for a chart of another grid.
    static std::shared_ptr<CChunkStore> Acquire(const std::string& localPath, int columns, int rows);
    // How many store objects are alive (one per path).
    static size_t LiveStoreCount();

    ~CChunkStore();
    CChunkStore(const CChunkStore&) = delete;
    CChunkStore& operator=(const CChunkStore&) = delete;

    bool IsWritable() const;
    bool IsLoaded() const { return m_loaded.load(std::memory_order_acquire); }
    int Columns() const { return m_columns; }
    int Rows() const { return m_rows; }
    const std::string& LocalPath() const { return m_localPath; }
    CSegmentedFile& File() { return m_file; }

    // The chunk file's path on the server (set when the chunk address is resolved).
    void SetServerPath(const std::string& path);
    std::string GetServerPath() const;

    // The local index entry (0 when unreadable or the store is not loaded).
    int64_t ReadEntry(int row, int column);
    // Not here at all (a chunk known to be empty is not absent).
    bool IsAbsent(int row, int column);
    // Every word of the chunk is here.
    bool IsComplete(int row, int column);

    enum class DecodeResult { Decoded, Failed, Undecodable };
    // Fills `buffer` (1024 x 1024 bytes, stored row order) for `level`.
    // Absent chunks give the absent pattern and decoded level 10; a chunk
    // known empty gives index 1. Undecodable: the words passed their check but
    // do not decode (the entry is cleared, so a later session fetches afresh).
    DecodeResult DecodeChunk(int row, int column, int level, uint8_t* buffer, int& decodedLevel);
    // Makes the words of `level` present locally. False on any failure.
    bool FetchChunk(CWebServer& web, int row, int column, int level);
    // Up to five attempts, asking the client's continue test after each
    // failure and pausing between attempts (not after the last).
    bool FetchChunkWithRetries(CWebServer& web, int row, int column, int level);
    static void SetRetryDelayForTesting(int milliseconds);

    // Index 1 with a line of index 0 along the top and the left edge.
    static void FillAbsentPattern(uint8_t* buffer);

private:
    CChunkStore(std::string localPath, int columns, int rows);
    bool Open();
    bool LoadServerHeader(CWebServer& web, const std::string& serverPath);
    bool ServerEntry(CWebServer& web, const std::string& serverPath, int row, int column, int64_t& entry);
    bool ReadLocalRecord(int64_t position, chunkfile::CRecordHeader& header);
    bool RegionInside(int64_t position, uint64_t length) const;
    bool WriteEntry(int row, int column, int64_t value);
    uint64_t EntryOffset(int row, int column) const;
    bool FetchLocked(CWebServer& web, int row, int column, int level);

    const std::string m_localPath;
    const int m_columns;
    const int m_rows;
    CSegmentedFile m_file;
    std::atomic<bool> m_loaded{false};

    mutable std::mutex m_indexMutex; // header load, server path and index cache
    std::string m_serverPath;
    std::map<uint64_t, std::array<int64_t, 16>> m_indexCache;

    std::mutex m_busyMutex; // chunks being fetched by some thread
    std::condition_variable m_busyDone;
    std::set<uint32_t> m_busy;
};

// Decodes a chunk record's words for `level` into `buffer` (1024 x 1024):
// the first level from `level` on whose words are present, widened to
// `level`; the absent pattern (decoded level 10) when none is. False when the
// header is invalid or the words do not decode.
bool DecodeRecordWords(const chunkfile::CRecordHeader& header, const uint8_t* words, uint32_t wordCount,
                       int level, uint8_t* buffer, int& decodedLevel);
