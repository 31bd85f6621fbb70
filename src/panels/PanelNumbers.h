#pragma once
// Outside values (sentences, files) reach the panel texts as floats of any
// size. Turning them into integers is done here only: a value that is not
// finite or does not fit is refused instead of being converted (which C++
// leaves undefined).
#include <cmath>
#include <cstdint>
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

// An angle in degrees brought into [0, 360); NaN stays NaN.
inline double NormaliseDegrees(double degrees)
{
    double a = std::fmod(degrees, 360.0);
    if (a < 0)
        a += 360.0;
    // -1e-20 + 360 rounds to 360 itself.
    return a >= 360.0 ? 0.0 : a;
}
