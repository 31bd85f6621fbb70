#pragma once
// Reading the numbers of settings values the way hand-edited files expect:
// a number is taken as far as it goes ("12abc" is 12) and a text with no
// number at its start is refused. Nothing here depends on the locale.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// An integer in the forms of "%i": decimal, "0x" hexadecimal or leading-0
// octal, optional sign. Saturates at the int64 range.
bool ParseLeadingInteger(std::string_view text, int64_t& out);

// A decimal number with '.' ("2.5", "-1e3"); values beyond the double range
// are clamped to the largest finite double. "inf", "nan" and hex floats are refused.
bool ParseLeadingDecimal(std::string_view text, double& out);

// An integer as an unsigned 32-bit settings value: negatives wrap as a
// signed 32-bit value would, out-of-range values are clamped.
uint32_t ClampToU32(int64_t value);

// Lower-case hex pairs of the bytes, and back: at most `size` bytes from the
// leading complete pairs, a non-hex character counting 0. Returns the number
// of bytes changed.
std::string BytesToHex(const void* data, size_t size);
size_t HexToBytes(std::string_view text, void* data, size_t size);
