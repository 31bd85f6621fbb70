#include "foundation/text/CleanText.h"

#include <cstddef>
#include <cstdint>

namespace {

// The length of the well-formed UTF-8 sequence at `i`, or 0.
size_t SequenceLength(std::string_view text, size_t i)
{
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    const uint8_t lead = byte(i);
    if (lead < 0x80)
        return 1;
    size_t length = 0;
    uint8_t low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // overlong
        else if (lead == 0xED)
            high = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90; // overlong
        else if (lead == 0xF4)
            high = 0x8F; // past U+10FFFF
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    if (byte(i + 1) < low || byte(i + 1) > high)
        return 0;
    for (size_t k = 2; k < length; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF)
            return 0;
    return length;
}

bool IsUnwantedControl(uint8_t c)
{
    return c < 0x20 && c != '\t' && c != '\n';
}

} // namespace

bool IsValidUTF8(std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        const size_t length = SequenceLength(text, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::string CleanImportedText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t length = SequenceLength(text, i);
        if (length == 0) {
            ++i; // a stray byte: dropped, the rest resynchronises
            continue;
        }
        if (length > 1 || !IsUnwantedControl(static_cast<uint8_t>(text[i])))
            out.append(text, i, length);
        i += length;
    }
    return out;
}
