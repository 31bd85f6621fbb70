#pragma once
// Times as seconds since 1970 and dates as text.
#include <cstdint>
#include <string>

// Seconds since 1970 from the system clock (replaceable in tests, see
// foundation/events/Clock.h).
double GetCurrentTime();

// "No date" for 0; "Yesterday", "Today" or "Tomorrow" when the time falls on
// that local calendar day; else the date in the user's medium style. The local
// day is worked out at every call, so days of uptime and daylight-saving
// changes cannot shift it.
std::string FormatRelativeDate(double seconds_since_1970);

// "m/d/y" (three numbers) gives y * 10000 + m * 100 + d; any other text the
// number its digits spell (at most 18 digits are used).
int64_t ParseDateNumber(const std::string& text);
