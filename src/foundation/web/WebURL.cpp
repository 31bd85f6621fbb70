#include "foundation/web/WebURL.h"

#include <charconv>

namespace {

bool IsUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

bool IsHostChar(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char a = text[i];
        if (a >= 'A' && a <= 'Z')
            a = static_cast<char>(a - 'A' + 'a');
        if (a != prefix[i])
            return false;
    }
    return true;
}

} // namespace

std::string CWebAddress::Base() const
{
    std::string out = secure ? "https://" : "http://";
    out += host;
    if (port != 0)
        out += ":" + std::to_string(port);
    return out;
}

bool IsValidWebHost(std::string_view host, bool allowIPv6)
{
    if (host.empty() || host.size() > 253)
        return false;
    if (host.front() == '[') {
        if (!allowIPv6 || host.size() < 4 || host.back() != ']')
            return false;
        bool colon = false;
        for (char c : host.substr(1, host.size() - 2)) {
            bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
            if (c == ':')
                colon = true;
            else if (!hex && c != '.')
                return false;
        }
        return colon;
    }
    // A leading '-' or '.' is never a name and could be read as an option or a
    // relative reference further down.
    if (host.front() == '-' || host.front() == '.')
        return false;
    for (char c : host)
        if (!IsHostChar(static_cast<unsigned char>(c)))
            return false;
    return host.find("..") == std::string_view::npos;
}

bool IsPlaceholderHost(std::string_view host)
{
    while (!host.empty() && host.back() == '.')
        host.remove_suffix(1);
    constexpr std::string_view kReserved = "example";
    if (host.size() < kReserved.size())
        return false;
    std::string_view tail = host.substr(host.size() - kReserved.size());
    if (!StartsWithNoCase(tail, kReserved))
        return false;
    return host.size() == kReserved.size() || host[host.size() - kReserved.size() - 1] == '.';
}

std::string EncodeURLPath(std::string_view path)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (char ch : path) {
        auto c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c) || c == '/') {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::optional<std::string> EncodeRelativeURL(std::string_view relative)
{
    if (relative.size() >= 2 && relative[0] == '/' && relative[1] == '/')
        return std::nullopt;
    // A ':' before the first '/' would make the text a scheme.
    size_t colon = relative.find(':');
    size_t slash = relative.find('/');
    if (colon != std::string_view::npos && (slash == std::string_view::npos || colon < slash))
        return std::nullopt;
    std::string out = EncodeURLPath(relative);
    if (out.empty() || out.front() != '/')
        out.insert(out.begin(), '/');
    return out;
}

std::optional<CWebAddress> ParseWebAddress(std::string_view url, bool allowIPv6)
{
    CWebAddress address;
    if (StartsWithNoCase(url, "https://")) {
        address.secure = true;
        url.remove_prefix(8);
    } else if (StartsWithNoCase(url, "http://")) {
        url.remove_prefix(7);
    } else {
        return std::nullopt;
    }
    size_t end = url.find_first_of("/?#");
    std::string_view authority = url.substr(0, end);
    std::string_view rest = end == std::string_view::npos ? std::string_view() : url.substr(end);
    if (authority.find('@') != std::string_view::npos)
        return std::nullopt;
    std::string_view host = authority;
    std::string_view port;
    size_t close = authority.rfind(']');
    size_t colon = authority.rfind(':');
    if (colon != std::string_view::npos && (close == std::string_view::npos || colon > close)) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
        int value = 0;
        auto [p, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (port.empty() || ec != std::errc() || p != port.data() + port.size() || value < 1 || value > 65535)
            return std::nullopt;
        address.port = value;
    }
    if (!IsValidWebHost(host, allowIPv6))
        return std::nullopt;
    address.host = std::string(host);
    if (!rest.empty() && rest.front() != '/')
        return std::nullopt; // queries and fragments are not part of any exchange
    for (char c : rest)
        if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) >= 0x7F)
            return std::nullopt;
    address.path = rest.empty() ? "/" : std::string(rest);
    return address;
}

int64_t ParseContentRangeStart(std::string_view value)
{
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    if (!StartsWithNoCase(value, "bytes"))
        return -1;
    value.remove_prefix(5);
    if (value.empty() || (value.front() != ' ' && value.front() != '='))
        return -1;
    value.remove_prefix(1);
    int64_t first = -1;
    auto [p, ec] = std::from_chars(value.data(), value.data() + value.size(), first);
    if (ec != std::errc() || first < 0 || p == value.data() + value.size() || *p != '-')
        return -1;
    return first;
}

bool HasParentComponent(std::string_view path)
{
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos)
            end = path.size();
        if (path.substr(start, end - start) == "..")
            return true;
        start = end + 1;
    }
    return false;
}
