#pragma once
// printf-style formatting into std::string, always in the C locale so that
// numbers in files, settings and messages use '.' whatever the user's language.
#include <cstdarg>
#include <string>

#define TESSA_PRINTF_FORMAT(fmt_index, first_arg) __attribute__((format(printf, fmt_index, first_arg)))

// The longest result of FormatString and AppendFormat, in bytes.
constexpr size_t kFormatStringLimit = 999;

// Replaces `out` by the formatted text, cut to at most 999 bytes; a cut never
// splits a UTF-8 character. For display texts; paths use FormatLongString.
void FormatString(std::string& out, const char* format, ...) TESSA_PRINTF_FORMAT(2, 3);
// The same, appended to `out` (the appended part is cut to 999 bytes).
void AppendFormat(std::string& out, const char* format, ...) TESSA_PRINTF_FORMAT(2, 3);

// Uncut forms, for paths and anything else that must not be shortened.
void FormatLongString(std::string& out, const char* format, ...) TESSA_PRINTF_FORMAT(2, 3);
void AppendLongFormat(std::string& out, const char* format, ...) TESSA_PRINTF_FORMAT(2, 3);

// va_list forms of the above.
void FormatStringV(std::string& out, const char* format, va_list args, size_t limit)
    TESSA_PRINTF_FORMAT(2, 0);
void AppendFormatV(std::string& out, const char* format, va_list args, size_t limit)
    TESSA_PRINTF_FORMAT(2, 0);

// The longest prefix of `text` of at most `max_bytes` that does not end inside
// a UTF-8 character.
size_t Utf8SafeCut(const std::string& text, size_t max_bytes);
