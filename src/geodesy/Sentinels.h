#pragma once
// The marker values that stand for "not known" in the data objects, the
// units and the overlays, and the one test of each. Every subsystem decides
// "unknown" through these, so a NaN from a parser or a caller is never taken
// as a real angle or depth.

// Direction, course, heading or bearing that is not known.
constexpr float kUnknownAngle = 999.0f;
// Latitude or longitude of "no position".
constexpr double kNoPosition = 999.0;
// Depth that is not known; anything at or below it prints as "---".
constexpr double kUnknownDepth = -9999.0;

// An angle of 900 or more is unknown (999 is the usual marker); so is NaN.
inline bool IsUnknownAngle(double angle)
{
    return !(angle < 900);
}

// A depth of -9999 or less is unknown; so is NaN.
inline bool IsUnknownDepth(double depth)
{
    return !(depth > kUnknownDepth);
}
