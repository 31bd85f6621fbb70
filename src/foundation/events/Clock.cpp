#include "foundation/events/Clock.h"

#include <time.h>

namespace {
std::function<double()>& ClockForTesting()
{
    static std::function<double()> clock;
    return clock;
}
} // namespace

double GetClockTime()
{
    if (auto& c = ClockForTesting(); c)
        return c();
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

void SetClockForTesting(std::function<double()> clock)
{
    ClockForTesting() = std::move(clock);
}
