#pragma once
// Text taken from files and replies written elsewhere, made safe to show and
// store: valid UTF-8 without control characters. Plain C++ only.
#include <string>
#include <string_view>

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or
// code points past U+10FFFF).
bool IsValidUTF8(std::string_view text);

// `text` with the C0 control characters other than tab and line feed removed, and every byte that does not
// start or belong to a well-formed UTF-8 sequence removed. Well-formed text without such characters comes
// back unchanged.
std::string CleanImportedText(std::string_view text);
