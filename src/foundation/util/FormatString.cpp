#include "foundation/util/FormatString.h"

#include "foundation/NumberText.h"

#include <cstdio>
#include <limits>

size_t Utf8SafeCut(const std::string& text, size_t max_bytes)
{
    if (text.size() <= max_bytes)
        return text.size();
    size_t cut = max_bytes;
    // Step back over continuation bytes to the start of the cut character.
    size_t back = cut;
    while (back > 0 && (static_cast<unsigned char>(text[back]) & 0xC0) == 0x80 && cut - back < 4)
        --back;
    if ((static_cast<unsigned char>(text[back]) & 0xC0) == 0x80)
        return cut; // not UTF-8 here: cut at the byte limit
    return back;
}

void AppendFormatV(std::string& out, const char* format, va_list args, size_t limit)
{
    if (!format)
        return;
    CCLocaleScope c_locale;
    char buffer[1024];
    va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(buffer, sizeof buffer, format, copy);
    va_end(copy);
    if (needed < 0)
        return;
    std::string text;
    if (static_cast<size_t>(needed) < sizeof buffer) {
        text.assign(buffer, static_cast<size_t>(needed));
    } else {
        text.resize(static_cast<size_t>(needed) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<size_t>(needed));
    }
    text.resize(Utf8SafeCut(text, limit));
    out += text;
}

void FormatStringV(std::string& out, const char* format, va_list args, size_t limit)
{
    std::string result;
    AppendFormatV(result, format, args, limit);
    out.swap(result);
}

void FormatString(std::string& out, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatStringV(out, format, args, kFormatStringLimit);
    va_end(args);
}

void AppendFormat(std::string& out, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    AppendFormatV(out, format, args, kFormatStringLimit);
    va_end(args);
}

void FormatLongString(std::string& out, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatStringV(out, format, args, std::numeric_limits<size_t>::max());
    va_end(args);
}

void AppendLongFormat(std::string& out, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    AppendFormatV(out, format, args, std::numeric_limits<size_t>::max());
    va_end(args);
}
