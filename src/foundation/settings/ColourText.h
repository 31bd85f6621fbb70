#pragma once
// Colours in settings text: '#' and hexadecimal digits, alpha first.
#include <string>
#include <string_view>

// "#AARRGGBB" in upper case from red, green, blue, alpha components 0..1.
// Components outside 0..1 are clamped and NaN counts 0, so each always gives
// exactly two digits.
std::string ColorToHexString(const double rgba[4]);

// Accepts '#' and 3 (RGB), 4 (ARGB), 6 (RRGGBB) or 8 (AARRGGBB) digits; a
// single digit d stands for d * 16, a non-hex character counts 0. Any other
// text leaves `rgba` unchanged and returns false.
bool ColorFromHexString(std::string_view text, double rgba[4]);
