#include "foundation/events/Heartbeat.h"

#include "foundation/events/Clock.h"

#include <cmath>
#include <random>

namespace {

int32_t RandomPhase(int32_t period)
{
    static std::minstd_rand rng{std::random_device{}()};
    return int32_t((rng() & 0x7FFF) % uint32_t(period)) + 1;
}

} // namespace

void CHeartbeat::Tick()
{
    CListenerList* source = gHeartbeat;
    if (!source)
        return;
    static const CHeartbeat event{};
    source->Fire(&event, /*honourStop=*/false);
}

double CHeartbeat::GetTime()
{
    return GetEventTimeOf(gHeartbeat);
}

CHeartbeat::Counter::Counter(int32_t period) : Listener<CHeartbeat>(0)
{
    SetPeriod(period);
    m_count = RandomPhase(m_period);
    m_node.m_callback = &TickTrampoline;
}

CHeartbeat::Counter::Counter(const Counter& other) : Listener<CHeartbeat>(other)
{
    m_period = other.m_period;
    m_count = RandomPhase(m_period);
    m_node.m_callback = &TickTrampoline;
}

void CHeartbeat::Counter::AttachToSource()
{
    Listener<CHeartbeat>::AttachToSource();
    m_node.m_callback = &TickTrampoline;
}

void CHeartbeat::Counter::SetPeriod(int32_t period)
{
    m_period = period < 1 ? 1 : period;
}

void CHeartbeat::Counter::TickTrampoline(void* object, const void*)
{
    // The node's object is the Listener<CHeartbeat> base of a counter.
    static_cast<Counter*>(static_cast<Listener<CHeartbeat>*>(object))->Step();
}

void CHeartbeat::Counter::Step()
{
    int32_t before = m_count--;
    if (before <= 1) {
        m_count = m_period;
        OnTick(); // may delete this counter: nothing of it is touched afterwards
    }
}

void CHeartbeat::Counter::AlignToClock(int n)
{
    if (n == 0)
        return;
    double t = GetTime();
    double x = t * n;
    double frac = x - std::floor(x);
    // Ticks left until the next whole 1/n second, so the run lands on the boundary.
    double ticks = std::ceil((1.0 - frac) / n * kTicksPerSecond);
    if (!std::isfinite(ticks) || ticks < 1)
        ticks = 1;
    if (ticks > 0x7FFFFFFF)
        ticks = 0x7FFFFFFF;
    m_count = int32_t(ticks);
}
