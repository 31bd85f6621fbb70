// Chunk addresses from outside: the input's first line is the address a
// chunked chart carries, the rest the bytes of the redirect file on the chart
// server. The address is split and checked, resolved against a server in
// memory (a host probes as holding the chunk file when its name has an even
// length) and read through a real chart file. What is accepted must be a
// plain address that a request can use as it stands.
#include "charts/chunked/ChunkAddress.h"
#include "charts/chunked/Rasterleaf3.h"
#include "chunkwriter/ChunkWriter.h"
#include "foundation/web/ChartServer.h"
#include "foundation/web/WebURL.h"

#include "FuzzScratch.h"
#include "MemoryWebServer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

const uint8_t kMagicBytes[4] = {0x82, 0xF2, 0x4D, 0x48};

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

bool OnlyURLBytes(const std::string& text)
{
    for (unsigned char c : text)
        if (c < 0x21 || c > 0x7E)
            return false;
    return true;
}

void CheckAddress(const CChunkAddress& a)
{
    if (!a.HasAddress())
        return;
    Check(a.path[0] == '/' && !HasForbiddenAddressByte(a.path) && IsValidWebHost(a.host));
    const std::string url = a.URLText();
    Check(OnlyURLBytes(url));
    Check(ParseWebAddress(url).has_value());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool environment = [] {
        setenv(CChartServer::kEnvironmentVariable, "http://charts.fuzz.example.test", 1);
        return true;
    }();
    (void)environment;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t newline = input.find('\n');
    const std::string address = input.substr(0, newline);
    const std::string redirect = newline == std::string::npos ? std::string() : input.substr(newline + 1);

    const CChunkAddressText parts = SplitChunkAddress(address);
    Check(parts.host.find('/') == std::string::npos);
    Check(parts.path.empty() || parts.path[0] == '/' || parts.scheme.empty());
    if (!parts.scheme.empty())
        Check(parts.scheme + "://" + parts.host + parts.path == address);
    if (!HasForbiddenAddressByte(address))
        Check(OnlyURLBytes(address));

    const auto* redirectBytes = reinterpret_cast<const uint8_t*>(redirect.data());
    const std::string host = ParseRedirectHost(redirectBytes, redirect.size());
    if (!host.empty())
        Check(IsValidWebHost(host) && !HasForbiddenAddressByte(host) && host.size() < 200);

    fuzzsupport::CMemoryWebServer web([&](const std::string& path, const uint8_t*& bytes, size_t& length) {
        if (path.size() > 12 && path.compare(path.size() - 12, 12, ".slredir.txt") == 0) {
            bytes = redirectBytes;
            length = redirect.size();
            return true;
        }
        bytes = kMagicBytes;
        length = web.GetHost().size() % 2 == 0 ? sizeof kMagicBytes : 0;
        return true;
    });
    CheckAddress(ResolveChunkAddress(web, address, "/charts/fuzz.rlt"));
    Check(web.reads <= 4);

    // The same address as a chart carries it.
    const std::string& folder = fuzzsupport::ScratchFolder("chunkaddress");
    if (folder.empty() || address.size() > 1000)
        return 0;
    static chartwriter::CChartWriter writer =
        chunkwriter::CChunkedChart(1, 1, std::vector<uint8_t>(64 * 64, 3)).MakeWriter(true);
    writer.chunkAddress = address;
    const std::vector<uint8_t> bytes = writer.Build();
    const std::string path = folder + "/fuzz.rlt";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written)
        return 0;
    std::unique_ptr<CRasterleaf> opened(OpenChartFile(nullptr, path));
    if (auto* chunked = dynamic_cast<CRasterleaf3*>(opened.get())) {
        CheckAddress(chunked->GetChunkURL(web));
        CheckAddress(chunked->GetChunkURL(web)); // the second call answers from what the first found
    }
    return 0;
}
