#include "foundation/util/StringUtil.h"

#include "foundation/util/FormatString.h"

#include <QString>
#include <cctype>

namespace {

unsigned char Upper(char c)
{
    unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

int Sign(int v)
{
    return v < 0 ? -1 : v > 0 ? 1 : 0;
}

std::string Trimmed(const std::string& text)
{
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos)
        return std::string();
    size_t end = text.find_last_not_of(" \t");
    return text.substr(start, end - start + 1);
}

} // namespace

void MakeUpper(std::string& text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
}

void StringToLower(std::string& text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
}

void ClearString(std::string& text)
{
    text.clear();
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

int CompareNoCase(const std::string& a, const std::string& b)
{
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = Upper(a[i]), y = Upper(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int CompareNatural(const std::string& a, const std::string& b)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            // Compare the runs by value without converting them: leading
            // zeros skipped, then the longer run is the larger number.
            size_t si = i, sj = j;
            while (si < a.size() && a[si] == '0')
                ++si;
            while (sj < b.size() && b[sj] == '0')
                ++sj;
            size_t ei = si, ej = sj;
            while (ei < a.size() && IsDigit(a[ei]))
                ++ei;
            while (ej < b.size() && IsDigit(b[ej]))
                ++ej;
            if (ei - si != ej - sj)
                return ei - si < ej - sj ? -1 : 1;
            int c = a.compare(si, ei - si, b, sj, ej - sj);
            if (c != 0)
                return Sign(c);
            i = ei;
            j = ej;
            continue;
        }
        unsigned char x = Upper(a[i]), y = Upper(b[j]);
        if (x != y)
            return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    bool a_left = i < a.size(), b_left = j < b.size();
    return a_left == b_left ? 0 : (a_left ? 1 : -1);
}

void AppendToCommaList(std::string& list, const std::string& item)
{
    std::string wanted = Trimmed(item);
    if (wanted.empty())
        return;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        size_t end = comma == std::string::npos ? list.size() : comma;
        if (Trimmed(list.substr(start, end - start)) == wanted)
            return;
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (!list.empty())
        list += ", ";
    list += item;
}

std::string MakeSafeFileName(const std::string& text)
{
    std::string name;
    for (char c : text) {
        if (name.size() >= 25)
            break;
        bool keep =
            std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.' || c == '+';
        if (!(c & 0x80) && keep && !(name.empty() && c == '.'))
            name += c;
    }
    return name.empty() ? std::string("unnamed") : name;
}

std::string Latin1ToUTF8(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

bool IsValidUTF8(const std::string& text)
{
    size_t i = 0, n = text.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t len;
        uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (n - i < len)
            return false;
        for (size_t k = 1; k < len; ++k) {
            unsigned char cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
        static const uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

QString MakeNSString(const std::string& text)
{
    if (text.empty())
        return QString();
    if (IsValidUTF8(text))
        return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString MakeNSString(const char* text)
{
    return text ? MakeNSString(std::string(text)) : QString();
}

bool SplitURL(const std::string& url, std::string& scheme, std::string& host, std::string& rest)
{
    scheme.clear();
    host.clear();
    rest.clear();
    size_t mark = url.find("://");
    if (mark == std::string::npos)
        return false;
    scheme = url.substr(0, mark);
    StringToLower(scheme);
    size_t host_start = mark + 3;
    size_t slash = url.find('/', host_start);
    if (slash == std::string::npos) {
        host = url.substr(host_start);
    } else {
        host = url.substr(host_start, slash - host_start);
        rest = url.substr(slash);
    }
    return true;
}

std::string GetPlatformName()
{
    return "Linux";
}

std::string FormatByteSize(int64_t bytes)
{
    std::string text;
    if (bytes < 0)
        return text;
    if (bytes < 1024) {
        FormatString(text, "%d Bytes", static_cast<int>(bytes));
        return text;
    }
    double value = static_cast<double>(bytes) / 1024.0;
    char unit = 'K';
    for (char next : {'M', 'G'}) {
        if (value < 1024.0)
            break;
        value /= 1024.0;
        unit = next;
    }
    FormatString(text, "%.1f%cB", value, unit);
    return text;
}

std::string FormatDataSize(double bytes)
{
    std::string text;
    const double k = 1024.0, m = k * k, g = m * k;
    if (bytes > g)
        FormatString(text, "%.2fGB", bytes / g);
    else if (bytes > m)
        FormatString(text, "%.1fMB", bytes / m);
    else if (bytes > k)
        FormatString(text, "%.1fkB", bytes / k);
    else
        FormatString(text, "%.0fBytes", bytes);
    return text;
}
