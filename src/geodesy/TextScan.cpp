#include "geodesy/TextScan.h"

#include <charconv>
#include <cmath>

namespace geodesy {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

void SkipBlanks(std::string_view s, size_t& pos)
{
    while (pos < s.size() && IsBlank(s[pos]))
        ++pos;
}

bool ScanDouble(std::string_view s, size_t& pos, double& value)
{
    size_t i = pos;
    SkipBlanks(s, i);
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    const size_t numberStart = i;
    size_t digits = 0;
    while (i < s.size() && IsAsciiDigit(s[i]))
        ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && IsAsciiDigit(s[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    // An exponent only counts when digits follow it ("1e" reads as 1).
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        if (j < s.size() && IsAsciiDigit(s[j])) {
            while (j < s.size() && IsAsciiDigit(s[j]))
                ++j;
            i = j;
        }
    }
    double v = 0;
    auto [ptr, ec] = std::from_chars(s.data() + numberStart, s.data() + i, v, std::chars_format::general);
    if (ec != std::errc() || ptr != s.data() + i || !std::isfinite(v))
        return false;
    value = negative ? -v : v;
    pos = i;
    return true;
}

bool ScanInt(std::string_view s, size_t& pos, int64_t& value)
{
    size_t i = pos;
    SkipBlanks(s, i);
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    const size_t numberStart = i;
    while (i < s.size() && IsAsciiDigit(s[i]))
        ++i;
    if (i == numberStart)
        return false;
    int64_t v = 0;
    auto [ptr, ec] = std::from_chars(s.data() + numberStart, s.data() + i, v);
    if (ec != std::errc() || ptr != s.data() + i)
        return false;
    value = negative ? -v : v;
    pos = i;
    return true;
}

} // namespace geodesy
