#pragma once
// Where a chunked chart's chunk file lies on the server: the address written
// in the chart (scheme, host, path), or the chart server with the default
// path "/mapchunks/<chart name>.rl3", possibly moved to another host by the
// redirect file "<path>.slredir.txt" on the chart server. Everything here is
// text from outside (chart files, redirect files): it is checked before any
// of it reaches a request.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class CWebServer;

struct CChunkAddress
{
    bool secure = false;
    std::string host;
    std::string path;
    // Where requests for the host really go: the host itself unless tests
    // map it to their loopback server (address and port; 0: the scheme's default).
    std::string connectHost;
    int port = 0;

    bool HasAddress() const { return !host.empty() && !path.empty(); }
    // "http[s]://<connect host>[:port]path", "" without an address.
    std::string URLText() const;
};

// The parts of a chart's address text: "scheme://host/path" or a bare path.
struct CChunkAddressText
{
    std::string scheme, host, path;
};
CChunkAddressText SplitChunkAddress(const std::string& text);

// True when a host or path must not be used: space and the other characters
// that change a URL's meaning, any control byte and any byte outside ASCII.
bool HasForbiddenAddressByte(const std::string& text);

// The host named by a redirect file's bytes: 1 to 199 bytes that, trimmed of
// spaces, tabs and line ends, are only letters, digits, '-' and '.'; "" otherwise.
std::string ParseRedirectHost(const uint8_t* bytes, size_t length);

// The default path of a chart's chunk file: "/mapchunks/" + name + ".rl3".
std::string DefaultChunkPath(const std::string& chartPath);

// Resolves the address of a chart's chunk file with `web` (which is left
// pointed at the result). `addressText` is the chart's own address ("" when
// it has none). No address: an empty result.
CChunkAddress ResolveChunkAddress(CWebServer& web, const std::string& addressText,
                                  const std::string& chartPath);

// Points a client at a chunk host, through the host map when one is set.
bool PointClientAtChunkHost(CWebServer& web, const std::string& host, bool secure,
                            std::string* addressOut = nullptr, int* portOut = nullptr);

// Tests map the host names of chart addresses and redirect files to their
// loopback server: (name, secure) -> (address, port); false leaves the name.
using ChunkHostMap = std::function<bool(const std::string& host, std::string& address, int& port)>;
void SetChunkHostMapForTesting(ChunkHostMap map);
