#include "foundation/settings/SettingsValueText.h"

#include "foundation/NumberText.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

int DigitValue(char c, int base)
{
    int v = -1;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
    return v < base ? v : -1;
}

} // namespace

bool ParseLeadingInteger(std::string_view text, int64_t& out)
{
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '0') {
        if (i + 2 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
            DigitValue(text[i + 2], 16) >= 0) {
            base = 16;
            i += 2;
        } else {
            base = 8;
        }
    }
    if (i >= text.size() || DigitValue(text[i], base) < 0)
        return false;
    const uint64_t limit = negative ? uint64_t(1) << 63 : uint64_t(std::numeric_limits<int64_t>::max());
    uint64_t magnitude = 0;
    for (int d; i < text.size() && (d = DigitValue(text[i], base)) >= 0; ++i) {
        if (magnitude > (limit - uint64_t(d)) / uint64_t(base))
            magnitude = limit;
        else
            magnitude = magnitude * uint64_t(base) + uint64_t(d);
    }
    if (negative)
        out = magnitude == limit ? std::numeric_limits<int64_t>::min() : -int64_t(magnitude);
    else
        out = int64_t(magnitude);
    return true;
}

bool ParseLeadingDecimal(std::string_view text, double& out)
{
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    size_t digits = 0;
    while (i < text.size() && IsDigit(text[i]))
        ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            ++j;
        if (j < text.size() && IsDigit(text[j])) {
            while (j < text.size() && IsDigit(text[j]))
                ++j;
            i = j;
        }
    }
    std::string number(text.substr(start, i - start));
    double value;
    {
        CCLocaleScope cLocale;
        value = std::strtod(number.c_str(), nullptr);
    }
    if (std::isnan(value))
        return false;
    if (std::isinf(value))
        value = value > 0 ? DBL_MAX : -DBL_MAX;
    out = value;
    return true;
}

uint32_t ClampToU32(int64_t value)
{
    if (value > int64_t(std::numeric_limits<uint32_t>::max()))
        return std::numeric_limits<uint32_t>::max();
    if (value < int64_t(std::numeric_limits<int32_t>::min()))
        return uint32_t(1) << 31;
    return static_cast<uint32_t>(value);
}

std::string BytesToHex(const void* data, size_t size)
{
    static const char kHex[] = "0123456789abcdef";
    const unsigned char* p = static_cast<const unsigned char*>(data);
    std::string out;
    out.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        out.push_back(kHex[p[i] >> 4]);
        out.push_back(kHex[p[i] & 15]);
    }
    return out;
}

size_t HexToBytes(std::string_view text, void* data, size_t size)
{
    unsigned char* p = static_cast<unsigned char*>(data);
    size_t n = std::min(size, text.size() / 2);
    for (size_t i = 0; i < n; ++i) {
        int hi = DigitValue(text[2 * i], 16);
        int lo = DigitValue(text[2 * i + 1], 16);
        p[i] = static_cast<unsigned char>((hi < 0 ? 0 : hi) * 16 + (lo < 0 ? 0 : lo));
    }
    return n;
}
