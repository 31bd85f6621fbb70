#pragma once
// Outside values (sentences, files) reach the panel texts as floats of any
// size. Turning them into integers is done here only: a value that is not
// finite or does not fit is refused instead of being converted (which C++
// leaves undefined).
#include <cmath>
#include <cstdint>
#include <ctime>
#include <limits>

// The value truncated toward zero; false for NaN, infinities and values
// outside the range of int32_t.
inline bool SafeToInt(double value, int32_t& out)
{
    if (!std::isfinite(value))
        return false;
    const double truncated = std::trunc(value);
    if (truncated < double(std::numeric_limits<int32_t>::min()) ||
        truncated > double(std::numeric_limits<int32_t>::max()))
        return false;
    out = static_cast<int32_t>(truncated);
    return true;
}

// A time in seconds since 1970 truncated toward zero, when it is finite and
// within the years a calendar can show (about 1970 +- 8000: localtime can
// still name the year).
inline bool SafeToTime(double seconds, time_t& out)
{
    constexpr double kLimit = 2.5e11;
    const double t = std::trunc(seconds);
    // Comparisons with NaN are false: a NaN never passes.
    if (!(t >= -kLimit && t <= kLimit))
        return false;
    out = static_cast<time_t>(t);
    return true;
}

// An angle in degrees brought into [0, 360); NaN stays NaN.
inline double NormaliseDegrees(double degrees)
{
    double a = std::fmod(degrees, 360.0);
    if (a < 0)
        a += 360.0;
    // -1e-20 + 360 rounds to 360 itself.
    return a >= 360.0 ? 0.0 : a;
}
