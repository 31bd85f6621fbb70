#pragma once
// The most recently used decoded chunks of one chunked chart (16, 1 MB each).
// Up to four rendering threads meet here: the cache mutex guards only the
// list; each entry's read-write lock guards its buffer. Readers copy tiles
// under the read lock; decoding holds the write lock. The cache mutex may be
// held while an entry lock is tried, never the other way round, and an entry
// that another thread is using is never re-keyed under it.
#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <shared_mutex>

class CDecodedChunkCache
{
public:
    static constexpr int kCapacity = 16;
    static constexpr int kNothing = 999;

    struct Entry
    {
        std::shared_mutex lock;
        std::atomic<int64_t> key{-1};
        std::atomic<int> decodedFor{kNothing}; // the level asked when it was decoded
        int decodedLevel = 10;                 // the level the data really had
        std::unique_ptr<uint8_t[]> buffer;     // 1024 x 1024, stored row order
    };
    // Decodes chunk `key` into the entry (write lock held) for `level`,
    // setting decodedFor and decodedLevel.
    using DecodeFunction = void (*)(void* argument, Entry& entry, int64_t key, int level);

    CDecodedChunkCache() = default;
    CDecodedChunkCache(const CDecodedChunkCache&) = delete;
    CDecodedChunkCache& operator=(const CDecodedChunkCache&) = delete;

    // The entry holding chunk `key` decoded for `level` or finer, returned
    // with its read lock held: the caller calls entry->lock.unlock_shared().
    Entry* Lookup(int64_t key, int level, DecodeFunction decode, void* argument);
    // Waits for the entry of `key` (if any) and forgets its data.
    void Invalidate(int64_t key);
    // Forgets every entry's data (the entries stay for reuse).
    void Clear();
    size_t EntryCount();

private:
    std::mutex m_mutex;
    std::list<std::unique_ptr<Entry>> m_entries; // most recently used first
};
