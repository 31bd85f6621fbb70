// The line splitter shared by the serial, TCP/IP and UDP connections, fed by
// scripted reads; the raw capture file shows every line it handed on and
// every error it wrote.
#include "foundation/util/Folders.h"
#include "instruments/connections/ConnectionReader.h"
#include "instruments/connections/ConnectionRegistry.h"
#include "instruments/nmea/NMEASentence.h"
#include "support/ConnectionDoubles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A line with a valid checksum: "$" + body + "*HH".
// A valid sentence of exactly `length` characters.
std::string SentenceOfLength(size_t length)
{
    std::string body = "PXXX,";
    body.append(length - 4 - body.size(), 'A');
    return tessatest::WithChecksum(body);
}

struct Script
{
    std::deque<std::string> reads; // "" reads nothing; "<closed>" ends the connection
    static ssize_t Read(void* context, char* buffer, size_t size)
    {
        auto* s = static_cast<Script*>(context);
        if (s->reads.empty())
            return CConnectionReader::kNothing;
        std::string chunk = s->reads.front();
        s->reads.pop_front();
        if (chunk == "<closed>")
            return CConnectionReader::kClosed;
        size_t n = std::min(size, chunk.size());
        std::memcpy(buffer, chunk.data(), n);
        if (n < chunk.size())
            s->reads.push_front(chunk.substr(n));
        return static_cast<ssize_t>(n);
    }
};

std::vector<std::string> CaptureLines()
{
    std::ifstream in(GetNMEACapturePath());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string Repeat(const std::string& line, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i)
        out += line + "\r\n";
    return out;
}

const char* kNotNMEA = "Error: Data not NMEA format.";
const char* kTooMany = "Error: too many sentences - discarding the input buffer";
const char* kStale = "Error: Data is not fresh - discarding the input buffer";

struct Case
{
    const char* name;
    CConnectionReader::Kind kind;
    std::vector<std::string> reads;
    int ticks;
    std::vector<std::string> captured; // lines and errors, in order
    bool closed = false;
};

} // namespace

TEST(ConnectionReaderTest, SplitsLimitsAndDrops)
{
    using K = CConnectionReader::Kind;
    const std::string a = tessatest::WithChecksum("GPGLL,1,N,2,E");
    const std::string b = tessatest::WithChecksum("GPZDA,1,2,3,2024");
    const std::string l199 = SentenceOfLength(199);
    const std::string l200 = SentenceOfLength(200);
    const std::string manyShort = Repeat(a, 150);
    std::vector<std::string> hundred(100, a);
    hundred.push_back(kTooMany);
    std::string full(CConnectionReader::kBufferSize, 'x');
    // Exactly one full read of sentences (empty lines pad it).
    std::string fullOfLines;
    std::vector<std::string> fullLines;
    while (fullOfLines.size() + a.size() + 1 <= CConnectionReader::kBufferSize) {
        fullOfLines += a + "\n";
        fullLines.push_back(a);
    }
    fullOfLines.append(CConnectionReader::kBufferSize - fullOfLines.size(), '\n');

    const Case cases[] = {
        {"lines across reads, CR skipped",
         K::Stream,
         {a.substr(0, 5), a.substr(5) + "\r\n" + b, "\r\n"},
         1,
         {a, b}},
        {"199 characters pass", K::Stream, {l199 + "\n"}, 1, {l199}},
        {"the 200th character resets", K::Stream, {l200 + "\n" + a + "\n"}, 2, {kNotNMEA, a}},
        {"100 lines a tick over TCP", K::Stream, {manyShort}, 2, hundred},
        {"a full network read is stale", K::Stream, {full, a + "\n"}, 2, {kStale, a}},
        {"a full serial read is data", K::Serial, {fullOfLines}, 1, fullLines},
        {"serial counts accepted lines only", K::Serial, {Repeat("$GPXXX,bad*00", 150) + a + "\n"}, 1, {}},
        {"a datagram's end ends its line", K::Datagram, {a, b + "\n"}, 1, {a, b}},
        {"a stream line waits for its end", K::Stream, {a, b + "\n"}, 1, {a + b}},
        {"peer gone", K::Stream, {a + "\n", "<closed>"}, 1, {a}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(StartNMEACapture());
        CConnectionReader reader(c.kind);
        Script script{std::deque<std::string>(c.reads.begin(), c.reads.end())};
        bool closed = false;
        for (int i = 0; i < c.ticks; ++i)
            closed |= reader.Tick(nullptr, &Script::Read, &script) == CConnectionReader::Outcome::Closed;
        StopNMEACapture(nullptr);
        std::vector<std::string> lines = CaptureLines();
        if (std::string(c.name) == "serial counts accepted lines only") {
            // Refused lines do not count: all 150 and the good one go through in one tick.
            ASSERT_EQ(lines.size(), 151u);
            EXPECT_EQ(lines.back(), a);
        } else {
            EXPECT_EQ(lines, c.captured);
        }
        EXPECT_EQ(closed, c.closed);
    }
}

TEST(ConnectionReaderTest, SerialGarbageCannotHoldATick)
{
    // Lines that are never accepted never reach the line limit; the byte cap ends the tick.
    ASSERT_TRUE(StartNMEACapture());
    CConnectionReader reader(CConnectionReader::Kind::Serial);
    std::string garbage = Repeat("$no checksum here", 4000);
    Script script{{garbage}};
    reader.Tick(nullptr, &Script::Read, &script);
    StopNMEACapture(nullptr);
    EXPECT_LE(reader.BytesReceived(), CConnectionReader::kMaxBytesPerTick + CConnectionReader::kBufferSize);
    EXPECT_FALSE(script.reads.empty());
}
