#include "charts/chunked/ChunkAddress.h"

#include "charts/chunked/ChunkFormat.h"
#include "foundation/web/ChartServer.h"
#include "foundation/web/WebServer.h"
#include "foundation/web/WebURL.h"

#include <cstring>
#include <mutex>

namespace {

std::mutex gHostMapMutex;
ChunkHostMap gHostMap;

constexpr size_t kMaxRedirectBytes = 199;

bool IsNameByte(uint8_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// The redirect is read from the chart server; false when it gives no host.
bool LookUpRedirect(CWebServer& web, const std::string& path, std::string& host)
{
    host.clear();
    if (!web.ContinueTest())
        return false;
    if (!CChartServer::PointClient(web))
        return false;
    uint8_t bytes[kMaxRedirectBytes];
    const int32_t got = web.ReadRange((path + ".slredir.txt").c_str(), 0, int32_t(sizeof bytes), bytes);
    if (got < 1)
        return false;
    host = ParseRedirectHost(bytes, size_t(got));
    return !host.empty();
}

bool Probe(CWebServer& web, const std::string& host, bool secure, const std::string& path, CChunkAddress& out)
{
    if (!PointClientAtChunkHost(web, host, secure, &out.connectHost, &out.port))
        return false;
    uint8_t magic[4];
    return web.ReadRange(path.c_str(), 0, 4, magic) == 4 && chunkfile::Get32(magic) == chunkfile::kMagic;
}

} // namespace

std::string CChunkAddress::URLText() const
{
    if (!HasAddress())
        return {};
    std::string text = secure ? "https://" : "http://";
    text.append(connectHost.empty() ? host : connectHost);
    if (port) {
        text.push_back(':');
        text.append(std::to_string(port));
    }
    text.append(path);
    return text;
}

CChunkAddressText SplitChunkAddress(const std::string& text)
{
    CChunkAddressText out;
    const size_t sep = text.find("://");
    if (sep == std::string::npos) {
        out.path = text;
        return out;
    }
    out.scheme = text.substr(0, sep);
    const size_t hostStart = sep + 3;
    const size_t slash = text.find('/', hostStart);
    out.host = text.substr(hostStart, slash == std::string::npos ? std::string::npos : slash - hostStart);
    if (slash != std::string::npos)
        out.path = text.substr(slash);
    return out;
}

bool HasForbiddenAddressByte(const std::string& text)
{
    static const char kForbidden[] = " \t\n<>{}()#%;,[]`:?\\*@^|!$&~";
    for (unsigned char c : text) {
        if (c < 0x21 || c >= 0x7F)
            return true;
        if (std::strchr(kForbidden, c))
            return true;
    }
    return false;
}

std::string ParseRedirectHost(const uint8_t* bytes, size_t length)
{
    if (!bytes || length < 1 || length > kMaxRedirectBytes)
        return {};
    auto space = [](uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    size_t begin = 0, end = length;
    while (begin < end && space(bytes[begin]))
        ++begin;
    while (end > begin && space(bytes[end - 1]))
        --end;
    if (begin == end)
        return {};
    for (size_t i = begin; i < end; ++i)
        if (!IsNameByte(bytes[i]))
            return {};
    std::string host(reinterpret_cast<const char*>(bytes + begin), end - begin);
    return IsValidWebHost(host) ? host : std::string();
}

std::string DefaultChunkPath(const std::string& chartPath)
{
    std::string name = chartPath;
    const size_t slash = name.find_last_of('/');
    if (slash != std::string::npos)
        name = name.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        name = name.substr(0, dot);
    std::string path = "/mapchunks/";
    path.append(name).append(".rl3");
    return path;
}

void SetChunkHostMapForTesting(ChunkHostMap map)
{
    std::lock_guard<std::mutex> lock(gHostMapMutex);
    gHostMap = std::move(map);
}

bool PointClientAtChunkHost(CWebServer& web, const std::string& host, bool secure, std::string* addressOut,
                            int* portOut)
{
    std::string address = host;
    int port = 0;
    {
        std::lock_guard<std::mutex> lock(gHostMapMutex);
        if (gHostMap && !gHostMap(host, address, port)) {
            address = host;
            port = 0;
        }
    }
    if (portOut)
        *portOut = port;
    if (addressOut)
        *addressOut = address;
    return web.SetHost(address.c_str(), secure, port);
}

CChunkAddress ResolveChunkAddress(CWebServer& web, const std::string& addressText,
                                  const std::string& chartPath)
{
    CChunkAddressText parts = SplitChunkAddress(addressText);
    bool secure = parts.scheme == "https";
    bool isDefault = false;
    if (parts.host.empty()) {
        const CWebAddress server = CChartServer::Get();
        parts.host = server.host;
        secure = server.secure;
        isDefault = true;
    }
    if (parts.path.empty())
        parts.path = DefaultChunkPath(chartPath);
    if (parts.path[0] != '/' || (!isDefault && HasForbiddenAddressByte(parts.host)) ||
        HasForbiddenAddressByte(parts.path))
        return {};
    if (!parts.scheme.empty() && parts.scheme != "http" && parts.scheme != "https")
        return {};

    CChunkAddress result;
    result.path = parts.path;
    if (isDefault) {
        // The chart server itself holds only the redirect to the chunk host.
        std::string host;
        if (!LookUpRedirect(web, parts.path, host))
            return {};
        if (!Probe(web, host, false, parts.path, result))
            return {};
        result.host = host;
        result.secure = false;
    } else if (Probe(web, parts.host, secure, parts.path, result)) {
        result.host = parts.host;
        result.secure = secure;
    } else {
        std::string host;
        if (!LookUpRedirect(web, parts.path, host) || !Probe(web, host, false, parts.path, result))
            return {};
        result.host = host;
        result.secure = false;
    }
    return result;
}
