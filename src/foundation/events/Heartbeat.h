#pragma once
// The 20-per-second heartbeat that drives all periodic work on the main
// thread, and the counters that run every N of its ticks.
#include "foundation/events/Listener.h"

#include <cstdint>

class CHeartbeat
{
public:
    static constexpr int kTicksPerSecond = 20;

    // One heartbeat: every counter is visited, whatever any of them does.
    static void Tick();
    // The current time of this tick (one clock read per tick), or the clock
    // itself when no counter exists.
    static double GetTime();

    class Counter;
};

// A periodic job: OnTick runs once every `period` heartbeat ticks, first after
// a random 1..period ticks so that equal periods spread over different ticks.
class CHeartbeat::Counter : public Listener<CHeartbeat>
{
public:
    explicit Counter(int32_t period);
    Counter(const Counter& other);
    Counter& operator=(const Counter&) { return *this; }
    ~Counter() override = default;

    // The heartbeat calls counters directly; this handler is never used.
    void Notify(const CHeartbeat&) override {}
    virtual void OnTick() = 0;

    // Re-phases the counter so that its next run falls on the next whole
    // 1/n-second boundary of the clock (n = 0 changes nothing).
    void AlignToClock(int n);

    int32_t GetCount() const { return m_count; }
    int32_t GetPeriod() const { return m_period; }
    void SetPeriod(int32_t period);
    void SetCount(int32_t count) { m_count = count; }

protected:
    // Subscribes again after DetachFromSource, stepped by the heartbeat as
    // before (the listener's own re-attach would link its plain handler).
    void AttachToSource();

private:
    static void TickTrampoline(void* object, const void* event);
    void Step();

    int32_t m_count = 1;
    int32_t m_period = 1;
};

// The heartbeat's source (null until the first counter exists).
inline CListenerList*& gHeartbeat = gListenerSource<CHeartbeat>;
