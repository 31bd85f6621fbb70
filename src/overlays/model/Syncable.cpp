#include "overlays/model/Syncable.h"

#include "foundation/events/Heartbeat.h"
#include "foundation/objectfile/Serializable.h"
#include "foundation/util/StringUtil.h"
#include "overlays/model/OverlayModelPorts.h"

#include <chrono>
#include <cmath>
#include <mutex>
#include <random>
#include <sys/random.h>
#include <unistd.h>
#include <unordered_set>

namespace {

struct IdSource
{
    std::mutex lock;
    std::mt19937_64 random;
    pid_t seededPid = 0;
    std::unordered_set<uint64_t> used;

    // Seeded from the system per process: a forked child must not repeat its
    // parent's sequence.
    void SeedIfNeeded()
    {
        const pid_t pid = ::getpid();
        if (seededPid == pid)
            return;
        uint64_t seed[2] = {0, 0};
        if (::getrandom(seed, sizeof seed, 0) != static_cast<ssize_t>(sizeof seed)) {
            // No entropy source: the clock and the process still differ between runs.
            seed[0] =
                static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
            seed[1] = static_cast<uint64_t>(pid) << 32 ^ reinterpret_cast<uintptr_t>(&seed);
        }
        std::seed_seq sequence{uint32_t(seed[0]), uint32_t(seed[0] >> 32), uint32_t(seed[1]),
                               uint32_t(seed[1] >> 32)};
        random.seed(sequence);
        seededPid = pid;
    }
};

IdSource& Ids()
{
    static IdSource source;
    return source;
}

void RememberId(uint64_t id)
{
    if (id == 0)
        return;
    IdSource& ids = Ids();
    std::lock_guard<std::mutex> guard(ids.lock);
    ids.used.insert(id);
}

} // namespace

CSyncable::CSyncable()
{
    static uint64_t serials = 0;
    m_serial = ++serials;
    m_modified = m_created = Now();
}

double CSyncable::Now()
{
    return CHeartbeat::GetTime();
}

uint64_t CSyncable::MakeSyncId(double now)
{
    const uint64_t account = Port<IAccountNumberSource>().AccountNumber();
    const uint32_t time = std::isfinite(now) && now > 0 && now < 1.8e19 ? uint32_t(uint64_t(now)) : 0;
    IdSource& ids = Ids();
    std::lock_guard<std::mutex> guard(ids.lock);
    ids.SeedIfNeeded();
    for (;;) {
        const uint32_t low = uint32_t(ids.random()) ^ time;
        const uint64_t id = account << 32 | low;
        if (id != 0 && ids.used.insert(id).second)
            return id;
    }
}

uint64_t CSyncable::GetSyncId()
{
    if (m_syncId == 0)
        m_syncId = MakeSyncId(Now());
    return m_syncId;
}

void CSyncable::SetSyncId(uint64_t id)
{
    m_syncId = id;
    RememberId(id);
}

std::string CSyncable::FormatSyncTag() const
{
    char text[32];
    std::snprintf(text, sizeof text, "tsid:%llX", static_cast<unsigned long long>(m_syncId));
    return text;
}

uint64_t CSyncable::ParseSyncTag(const std::string& text)
{
    if (text.size() < 5)
        return 0;
    const size_t at = text.find("tsid:");
    if (at == std::string::npos)
        return 0;
    uint64_t id = 0;
    size_t digits = 0;
    for (size_t i = at + 5; i < text.size(); ++i) {
        const int d = HexDigit(text[i]);
        if (d < 0)
            break;
        // More than 64 bits names no id of ours.
        if (++digits > 16)
            return 0;
        id = id << 4 | uint64_t(d);
    }
    return id;
}

void CSyncable::Touch()
{
    m_modified = Now();
}

bool CSyncable::ModifiedSince(double time) const
{
    return !m_doNotSync && m_modified > time;
}

void CSyncable::MarkDeleted()
{
    m_deleted = true;
    m_visible = false;
    m_modified = Now();
    // Never synchronised: the tombstone has nobody to tell.
    if (m_syncId == 0)
        m_doNotSync = true;
}

void CSyncable::Undelete()
{
    m_deleted = false;
    m_visible = true;
    m_modified = Now();
}

void CSyncable::SetVisible(bool visible)
{
    if (m_visible == visible || m_deleted)
        return;
    m_visible = visible;
    m_modified = Now();
}

void CSyncable::SetLocked(bool locked)
{
    if (m_locked == locked || m_deleted)
        return;
    m_locked = locked;
    m_modified = Now();
}

void CSyncable::SetDoNotSync(bool doNotSync)
{
    if (m_doNotSync == doNotSync || m_deleted)
        return;
    m_doNotSync = doNotSync;
    m_modified = Now();
}

bool CSyncable::SerializeSyncBlock(CSerialStream& stream)
{
    CSerialChunk chunk(stream);
    uint64_t id = m_syncId;
    bool doNotSync = m_doNotSync, deleted = m_deleted, visible = m_visible, locked = m_locked;
    double modified = m_modified, created = m_created;
    int exchanged = 0;
    bool ok = true;
    // A field counts as exchanged only when it was present to read.
    auto field = [&](auto exchange) {
        if (!ok)
            return;
        const bool present = !chunk.AtEnd();
        ok = exchange();
        if (ok && present)
            ++exchanged;
    };
    field([&] { return chunk.Exchange(id); });
    field([&] { return chunk.ExchangeBool(doNotSync); });
    field([&] { return chunk.Exchange(modified); });
    field([&] { return chunk.ExchangeBool(deleted); });
    field([&] { return chunk.Exchange(created); });
    field([&] { return chunk.ExchangeBool(visible); });
    field([&] { return chunk.ExchangeBool(locked); });
    ok = chunk.Close() && ok;
    if (stream.IsReading() && ok) {
        m_syncId = id;
        RememberId(id);
        m_doNotSync = doNotSync;
        if (std::isfinite(modified))
            m_modified = modified;
        m_deleted = deleted;
        if (std::isfinite(created))
            m_created = created;
        m_visible = visible;
        m_locked = locked;
        if (m_deleted)
            m_visible = false;
        FixTimesAfterRead();
    }
    return ok && exchanged == 7;
}

void CSyncable::FixTimesAfterRead()
{
    if (!std::isfinite(m_modified))
        m_modified = Now();
    if (!std::isfinite(m_created) || m_created > m_modified)
        m_created = m_modified;
}
