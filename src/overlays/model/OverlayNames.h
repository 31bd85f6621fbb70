#pragma once
// Names of marks, routes and icons as users and files give them: numbers
// after a name prefix, icon names, plain point names. Any bytes are accepted.
#include <cstdint>
#include <string>

// The largest number read after a name prefix; larger ones saturate here,
// so one more is still a valid number.
constexpr uint64_t kMaxNameNumber = 999999999999999999ull;

// The number at `from` as atoi reads it (leading blanks, a sign, digits),
// saturated at kMaxNameNumber; 0 when there is none or it is negative.
uint64_t ParseNameNumber(const std::string& text, size_t from);

// "MOB" unchanged; else the first letter upper case and the other letters
// lower case, blanks and underscores '_', digits kept, everything else
// dropped; at most 64 characters.
std::string NormaliseIconName(const std::string& name);

// 'P' followed by a character below ':' (a number): a name the system made.
bool IsPlainPointName(const std::string& name);
