#pragma once
// Checks on places shared by the chart view's files.
#include <cmath>

namespace view_places {

inline bool Finite(double a, double b)
{
    return std::isfinite(a) && std::isfinite(b);
}

// A stored centre that can be placed (999 marks "none").
inline bool IsCentre(double latitude, double longitude)
{
    return Finite(latitude, longitude) && std::fabs(latitude) < 90.0 && std::fabs(longitude) <= 400.0;
}

} // namespace view_places
