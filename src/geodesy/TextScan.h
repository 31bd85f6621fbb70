#pragma once
// Reading numbers out of position texts people type, the way a printf-style
// scan would, but independent of the locale and without "nan", "inf" or hex.
#include <cstdint>
#include <string_view>

namespace geodesy {

bool IsBlank(char c);
bool IsAsciiLetter(char c);
bool IsAsciiDigit(char c);
void SkipBlanks(std::string_view s, size_t& pos);

// Skips blanks, then reads a decimal number (sign, digits, point, exponent) at
// pos. On success pos is past the number; on failure pos is unchanged.
bool ScanDouble(std::string_view s, size_t& pos, double& value);
// Skips blanks, then reads a base-10 integer at pos.
bool ScanInt(std::string_view s, size_t& pos, int64_t& value);

} // namespace geodesy
