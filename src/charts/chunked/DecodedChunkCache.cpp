#include "charts/chunked/DecodedChunkCache.h"

CDecodedChunkCache::Entry* CDecodedChunkCache::Lookup(int64_t key, int level, DecodeFunction decode,
                                                      void* argument)
{
    for (;;) {
        Entry* e = nullptr;
        bool writing = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
                if ((*it)->key.load() == key) {
                    m_entries.splice(m_entries.begin(), m_entries, it);
                    e = m_entries.front().get();
                    break;
                }
            }
            if (!e) {
                // Re-key the least recently used entry that nobody is using;
                // with all of them busy (or fewer than 16) make another one.
                if (int(m_entries.size()) >= kCapacity) {
                    for (auto it = m_entries.end(); it != m_entries.begin();) {
                        --it;
                        if ((*it)->lock.try_lock()) {
                            m_entries.splice(m_entries.begin(), m_entries, it);
                            e = m_entries.front().get();
                            break;
                        }
                    }
                }
                if (!e) {
                    m_entries.push_front(std::make_unique<Entry>());
                    e = m_entries.front().get();
                    e->lock.lock();
                }
                e->key.store(key);
                e->decodedFor.store(kNothing);
                writing = true;
            }
        }
        if (writing) {
            decode(argument, *e, key, level);
            e->lock.unlock();
        }
        for (;;) {
            e->lock.lock_shared();
            // Between our decode and this lock another thread may have re-keyed it.
            if (e->key.load() == key && e->decodedFor.load() <= level)
                return e;
            e->lock.unlock_shared();
            e->lock.lock();
            if (e->key.load() != key) {
                e->lock.unlock();
                break; // look again
            }
            if (e->decodedFor.load() > level)
                decode(argument, *e, key, level);
            e->lock.unlock();
        }
    }
}

void CDecodedChunkCache::Invalidate(int64_t key)
{
    Entry* e = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto& entry : m_entries)
            if (entry->key.load() == key)
                e = entry.get();
    }
    if (!e)
        return;
    std::unique_lock<std::shared_mutex> write(e->lock);
    if (e->key.load() == key) {
        e->key.store(-1);
        e->decodedFor.store(kNothing);
    }
}

void CDecodedChunkCache::Clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& entry : m_entries) {
        std::unique_lock<std::shared_mutex> write(entry->lock);
        entry->key.store(-1);
        entry->decodedFor.store(kNothing);
    }
}

size_t CDecodedChunkCache::EntryCount()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries.size();
}
