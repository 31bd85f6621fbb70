#include "foundation/NumberText.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

locale_t CLocale()
{
    static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

} // namespace

CCLocaleScope::CCLocaleScope() : m_previous(uselocale(CLocale())) {}

CCLocaleScope::~CCLocaleScope()
{
    uselocale(m_previous);
}

bool ParseDouble(std::string_view text, double& out)
{
    std::string_view s = Trim(text);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    if (s.empty())
        return false;
    // Only digits, sign, point and exponent: from_chars would take "inf" and "nan".
    for (char c : s)
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' || c == 'e' ||
              c == 'E'))
            return false;
    double v = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (ec != std::errc() || ptr != s.data() + s.size() || !std::isfinite(v))
        return false;
    out = v;
    return true;
}

bool ParsePlainDecimal(std::string_view s, double& out)
{
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    if (s.empty())
        return false;
    bool digit = false;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (std::isdigit(static_cast<unsigned char>(c)))
            digit = true;
        else if (!(c == '.' || (c == '-' && i == 0)))
            return false;
    }
    if (!digit)
        return false;
    double v = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::fixed);
    if (ec != std::errc() || ptr != s.data() + s.size() || !std::isfinite(v))
        return false;
    out = v;
    return true;
}

bool ParseInt64(std::string_view text, int64_t& out)
{
    std::string_view s = Trim(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty())
        return false;
    uint64_t v = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
    if (ec != std::errc() || ptr != s.data() + s.size())
        return false;
    if (negative) {
        if (v > uint64_t(INT64_MAX) + 1)
            return false;
        out = static_cast<int64_t>(0 - v);
    } else {
        if (v > uint64_t(INT64_MAX))
            return false;
        out = static_cast<int64_t>(v);
    }
    return true;
}

std::string FormatDouble(double value, const char* format)
{
    CCLocaleScope c;
    char buf[512];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int n = std::snprintf(buf, sizeof buf, format, value);
#pragma GCC diagnostic pop
    if (n < 0)
        return {};
    return std::string(buf, std::min<size_t>(size_t(n), sizeof buf - 1));
}

std::string FormatDoubleRoundTrip(double value)
{
    char buf[64];
    auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value);
    if (ec != std::errc())
        return {};
    return std::string(buf, ptr);
}
