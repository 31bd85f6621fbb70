#pragma once
// The encoded polyline text of directions replies: pairs of zigzag-coded
// differences in 5-bit groups, latitude first, in units of 1e-5 degrees.
#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

// Appends the positions (latitude, longitude in degrees) of `text` to `out`,
// at most `maxPositions` of them. Decoding stops, dropping the unfinished
// point, when the text ends inside a point or a value runs past seven groups;
// it stops, dropping that point, at the first position outside latitude
// -90..90 or longitude -360..360. True when the whole text was decoded.
bool DecodePolyline(std::string_view text, std::vector<std::pair<double, double>>& out,
                    size_t maxPositions = static_cast<size_t>(-1));
