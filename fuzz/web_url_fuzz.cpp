// Address text from chart files, packages, redirect files and server replies:
// host checks, path encoding, absolute URLs and Content-Range values. Every
// result that is accepted must be safe to hand to libcurl.
#include "foundation/web/WebURL.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

bool SafeURLByte(char c)
{
    auto u = static_cast<unsigned char>(c);
    return u > 0x20 && u < 0x7F;
}

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    bool plain = IsValidWebHost(text);
    if (plain) {
        Check(IsValidWebHost(text, true));
        for (char c : text)
            Check(SafeURLByte(c) && c != '/' && c != ':' && c != '@');
    }
    IsPlaceholderHost(text);
    HasParentComponent(text);

    std::string encoded = EncodeURLPath(text);
    for (char c : encoded)
        Check(SafeURLByte(c) && c != '?' && c != '#');
    if (auto relative = EncodeRelativeURL(text)) {
        Check(!relative->empty() && (*relative)[0] == '/');
        Check(relative->size() < 2 || (*relative)[1] != '/' || text.substr(0, 2) != "//");
        for (char c : *relative)
            Check(SafeURLByte(c));
    }
    for (bool ipv6 : {false, true}) {
        if (auto address = ParseWebAddress(text, ipv6)) {
            Check(IsValidWebHost(address->host, ipv6));
            Check(address->port >= 0 && address->port <= 65535);
            Check(!address->path.empty() && address->path[0] == '/');
            for (char c : address->path)
                Check(SafeURLByte(c));
        }
    }
    int64_t start = ParseContentRangeStart(text);
    Check(start >= -1);
    return 0;
}
