// HTTP replies without a network: the input picks the status and the kind of
// request, then gives header lines (up to an empty line) and a body cut into
// pieces, all handed to the web client's callbacks as libcurl hands them. A
// ranged read keeps at most what it asked for, and only from a reply that
// answers its range; a refused reply is read and dropped up to a limit. The
// body then becomes the reply of a server program and is read as the map
// store reads it.
#include "charts/mapstore/MapStore.h"
#include "foundation/web/WebBinaryCGI.h"
#include "foundation/web/WebServer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr long kStatuses[] = {200, 206, 204, 100, 302, 404, 416, 500};

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

std::string ReadBack(int fd)
{
    std::string bytes;
    char buffer[4096];
    ssize_t n;
    ::lseek(fd, 0, SEEK_SET);
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, size_t(n));
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4 || size > 256 * 1024)
        return 0;
    static const int fd = memfd_create("reply", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    CWebReplay replay;
    replay.status = kStatuses[data[0] % 8];
    replay.ranged = (data[0] & 8) == 0;
    replay.rangeStart = data[0] & 16 ? 0 : int64_t(data[1]) * 1000;
    replay.want = 1 + int64_t(data[2]) * 16;
    const size_t pieceSize = 1 + size_t(data[3]) * 16;
    std::vector<char> destination(size_t(replay.want) + 1, '\x5A');
    replay.destination = destination.data();
    if (::ftruncate(fd, 0) != 0)
        return 0;
    ::lseek(fd, 0, SEEK_SET);
    replay.fd = replay.ranged ? -1 : fd;

    // Header lines keep their line ends, as libcurl passes them.
    const std::string text(reinterpret_cast<const char*>(data + 4), size - 4);
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string line = text.substr(at, end - at);
        at = end;
        if (line == "\n" || line == "\r\n")
            break;
        replay.headerLines.push_back(line);
    }
    const std::string body = text.substr(at);
    for (size_t p = 0; p < body.size(); p += pieceSize)
        replay.bodyPieces.push_back(body.substr(p, pieceSize));

    CWebServer::ReplayForTesting(replay);
    Check(replay.got >= 0 && replay.got <= replay.want);
    Check(destination[size_t(replay.want)] == '\x5A');
    if (!replay.accepted) {
        Check(replay.got == 0);
        Check(replay.stopped == (replay.discarded > 64 * 1024));
    } else if (replay.ranged) {
        // The bytes kept are the body's first bytes, as many as fit.
        Check(replay.got == std::min<int64_t>(replay.want, int64_t(body.size())));
        Check(std::memcmp(destination.data(), body.data(), size_t(replay.got)) == 0);
        Check(replay.complete == (replay.got == replay.want));
        Check(replay.status == 200 ? replay.rangeStart == 0 : replay.contentRangeStart == replay.rangeStart);
    } else {
        Check(!replay.stopped && ReadBack(fd) == body);
    }

    // The body as a server program's reply.
    static CWebBinaryCGI cgi("cgi.fuzz.example.test", "/cgi-bin/fuzz.cgi", false);
    std::string copy = body;
    for (int pass = 0; pass < 2; ++pass) {
        FILE* file = copy.empty() ? std::fopen("/dev/null", "rb") : fmemopen(copy.data(), copy.size(), "rb");
        if (!file)
            return 0;
        cgi.SetReplyForTesting(file);
        CTypeSerializer& reply = cgi.Reply();
        if (pass == 0) {
            CMapShopListing listing(true);
            if (!ReadMapStoreReply(reply, true, {"hidden"}, listing))
                Check(listing.Size() == 0);
        } else {
            reply.SetWide(true);
            std::string field;
            uint32_t value = 0;
            for (int i = 0; i < 16 && reply.IsGood(); ++i) {
                reply.ExchangeString(field);
                Check(field.size() <= CTypeSerializer::kMaxStringLength);
                reply.Exchange(value);
            }
        }
    }
    return 0;
}
