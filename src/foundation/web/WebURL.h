#pragma once
// Building request addresses from text that comes from chart files, packages,
// redirect files and server listings. Nothing from outside reaches libcurl
// unchecked: hosts are restricted to name characters, path bytes are
// percent-encoded, and only http and https are spoken.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct CWebAddress
{
    bool secure = false; // https
    std::string host;    // validated; a bracketed IPv6 literal only from configuration
    int port = 0;        // 0: the scheme's default
    std::string path;    // raw (not yet encoded), begins with '/'

    // "scheme://host[:port]" without a path.
    std::string Base() const;
};

// A host name of letters, digits, '-' and '.' (at most 253 bytes, no empty
// label edge cases that libcurl would reinterpret), or when `allowIPv6` a
// bracketed IPv6 literal of hex digits, ':' and '.'.
bool IsValidWebHost(std::string_view host, bool allowIPv6 = false);

// True for the reserved ".example" names of the unset chart server: such a
// host is never contacted.
bool IsPlaceholderHost(std::string_view host);

// Percent-encodes every byte outside the unreserved characters and '/'.
std::string EncodeURLPath(std::string_view path);

// A path relative to a base address: refused (nullopt) when it carries a
// scheme or starts with "//"; otherwise encoded and given a leading '/'.
std::optional<std::string> EncodeRelativeURL(std::string_view relative);

// "http://host[:port][/path]" or "https://...". Anything else (other schemes,
// user info, bad hosts or ports, control bytes) is refused.
std::optional<CWebAddress> ParseWebAddress(std::string_view url, bool allowIPv6 = false);

// The first byte offset of a "Content-Range: bytes a-b/n" value; -1 when the
// value is not of that form.
int64_t ParseContentRangeStart(std::string_view value);

// True when a local path has a ".." component.
bool HasParentComponent(std::string_view path);
