#pragma once
// The wall clock of the whole system: seconds since 1970 (UTC) as a double.
// Tests replace it to make time stand still or jump.
#include <functional>

double GetClockTime();

// Installs a replacement clock; an empty function restores the real one.
void SetClockForTesting(std::function<double()> clock);
