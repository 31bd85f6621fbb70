// The web client's reply callbacks without a network: which replies a ranged
// read keeps, how much of them, and when a refused reply ends the transfer.
#include "foundation/web/WebServer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(WebReply, RangedReadsKeepOnlyTheRangeTheyAskedFor)
{
    const struct
    {
        const char* what;
        long status;
        int64_t start;
        std::vector<std::string> headers;
        std::string body;
        bool accepted;
        int64_t got;
        bool complete;
        bool stopped;
    } cases[] = {
        {"206 for the range",
         206,
         100,
         {"HTTP/1.1 206 Partial\r\n", "Content-Range: bytes 100-107/900\r\n"},
         "abcdefgh",
         true,
         8,
         true,
         false},
        {"206 for another range",
         206,
         100,
         {"HTTP/1.1 206 Partial\r\n", "content-range: bytes 0-7/900\r\n"},
         "abcdefgh",
         false,
         0,
         false,
         false},
        {"206 without a range", 206, 0, {"HTTP/1.1 206 Partial\r\n"}, "abcdefgh", false, 0, false, false},
        {"200 from the start", 200, 0, {"HTTP/1.1 200 OK\r\n"}, "abcdefghijkl", true, 8, true, true},
        {"200 for a later range", 200, 100, {"HTTP/1.1 200 OK\r\n"}, "abcdefgh", false, 0, false, false},
        {"short reply",
         206,
         8,
         {"HTTP/1.1 206 Partial\r\n", "Content-Range: bytes 8-15/12\r\n"},
         "abcd",
         true,
         4,
         false,
         false},
        {"a new reply starts over",
         206,
         8,
         {"HTTP/1.1 206 Partial\r\n", "Content-Range: bytes 8-15/99\r\n", "HTTP/1.1 206 Partial\r\n"},
         "abcdefgh",
         false,
         0,
         false,
         false},
        {"long error page",
         404,
         0,
         {"HTTP/1.1 404 Not Found\r\n"},
         std::string(70 * 1024, 'x'),
         false,
         0,
         false,
         true},
    };
    for (const auto& c : cases) {
        CWebReplay replay;
        replay.status = c.status;
        replay.rangeStart = c.start;
        replay.want = 8;
        char destination[9] = "--------";
        replay.destination = destination;
        replay.headerLines = c.headers;
        for (size_t at = 0; at < c.body.size(); at += 5000)
            replay.bodyPieces.push_back(c.body.substr(at, 5000));
        CWebServer::ReplayForTesting(replay);
        EXPECT_EQ(replay.accepted, c.accepted) << c.what;
        EXPECT_EQ(replay.got, c.got) << c.what;
        EXPECT_EQ(replay.complete, c.complete) << c.what;
        EXPECT_EQ(replay.stopped, c.stopped) << c.what;
        EXPECT_EQ(std::string(destination, size_t(c.got)), c.body.substr(0, size_t(c.got))) << c.what;
        EXPECT_EQ(destination[8], '\0') << c.what;
    }
}

} // namespace
