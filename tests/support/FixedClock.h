#pragma once
// A clock that stands still until the test moves it. The heartbeat keeps one
// time per tick, so each move also starts a new tick's time.
#include "foundation/events/Clock.h"
#include "foundation/events/Heartbeat.h"

namespace tessatest {

class CFixedClock
{
public:
    explicit CFixedClock(double start = 1700000000.0) : m_now(start)
    {
        SetClockForTesting([this] { return m_now; });
        Advance(0);
    }
    ~CFixedClock()
    {
        SetClockForTesting({});
        if (gHeartbeat)
            gHeartbeat->ClearEventTime();
    }
    CFixedClock(const CFixedClock&) = delete;
    CFixedClock& operator=(const CFixedClock&) = delete;

    void Advance(double seconds)
    {
        m_now += seconds;
        if (gHeartbeat)
            gHeartbeat->ClearEventTime();
    }
    double Now() const { return m_now; }

private:
    double m_now;
};

} // namespace tessatest
