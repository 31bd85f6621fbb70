#include "foundation/settings/IniFile.h"

#include "foundation/AtomicFile.h"
#include "foundation/util/StringUtil.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Collects lines across read blocks; a line over the limit is dropped whole.
class CLineCollector
{
public:
    explicit CLineCollector(CIniMap& map) : m_map(map) {}

    void Feed(const char* data, size_t size)
    {
        for (size_t i = 0; i < size; ++i) {
            char c = data[i];
            if (c == '\n') {
                EndLine();
            } else if (c != '\r' && c != '\0' && !m_tooLong) {
                if (m_line.size() >= kIniMaxLineLength) {
                    m_tooLong = true;
                    m_line.clear();
                    m_line.shrink_to_fit();
                } else {
                    m_line.push_back(c);
                }
            }
        }
    }

    void EndLine()
    {
        if (!m_tooLong)
            ParseKeyValueList(m_line, m_map);
        m_line.clear();
        m_tooLong = false;
    }

private:
    CIniMap& m_map;
    std::string m_line;
    bool m_tooLong = false;
};

} // namespace

std::string UrlEscape(std::string_view text)
{
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            (c != 0 && std::strchr("$-_.!*'()", c))) {
            out.push_back(ch);
        } else if (c == ' ') {
            out.push_back('+');
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

std::string UrlUnescape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char c = text[i];
        if (c == '+') {
            out.push_back(' ');
            ++i;
        } else if (c == '%') {
            if (text.size() - i < 3)
                break;
            int hi = HexDigit(text[i + 1]);
            int lo = HexDigit(text[i + 2]);
            if (hi >= 0 && lo >= 0)
                out.push_back(static_cast<char>(hi * 16 + lo));
            else
                out.append(text.substr(i, 3));
            i += 3;
        } else {
            out.push_back(c);
            ++i;
        }
    }
    return out;
}

void ParseKeyValueList(std::string_view line, CIniMap& map)
{
    std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == '#')
        return;
    while (true) {
        size_t amp = line.find('&');
        std::string_view part = line.substr(0, amp);
        size_t eq = part.find('=');
        std::string_view key = Trim(part.substr(0, eq));
        std::string_view value =
            eq == std::string_view::npos ? std::string_view() : Trim(part.substr(eq + 1));
        if (!key.empty() && !value.empty()) {
            std::string decoded = UrlUnescape(value);
            if (!decoded.empty())
                map[std::string(key)] = std::move(decoded);
        }
        if (amp == std::string_view::npos)
            break;
        line.remove_prefix(amp + 1);
    }
}

void ParseIniText(std::string_view text, CIniMap& map)
{
    CLineCollector lines(map);
    lines.Feed(text.data(), text.size());
    lines.EndLine();
}

IniReadResult ReadIniFile(const std::string& path, CIniMap& map, std::string* error)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        if (errno == ENOENT)
            return IniReadResult::Missing;
        if (error)
            *error = "cannot open " + path + ": " + std::strerror(errno);
        return IniReadResult::Failed;
    }
    CLineCollector lines(map);
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        lines.Feed(buffer, got);
    bool failed = std::ferror(f) != 0;
    int readErrno = errno;
    std::fclose(f);
    if (failed) {
        if (error)
            *error = "cannot read " + path + ": " + std::strerror(readErrno);
        return IniReadResult::Failed;
    }
    lines.EndLine();
    return IniReadResult::Read;
}

std::string FormatIniText(const CIniMap& map)
{
    std::string text;
    for (const auto& [key, value] : map) {
        if (key.empty() || value.empty())
            continue;
        text += key;
        text += '=';
        text += UrlEscape(value);
        text += '\n';
    }
    return text;
}

bool WriteIniFile(const std::string& path, const CIniMap& map, std::string* error)
{
    return WriteFileAtomically(path, FormatIniText(map), error);
}
