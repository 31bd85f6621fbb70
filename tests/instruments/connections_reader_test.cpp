// The line splitter shared by the serial, TCP/IP and UDP connections, fed by
// scripted reads; the raw capture file shows every line it handed on and
// every error it wrote.
#include "foundation/notify/StatusLine.h"
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
    // Over the limit: the tick says so, then hands on its newest 100 lines.
    std::vector<std::string> hundred(101, a);
    hundred[0] = kTooMany;
    const std::string bad = "$GPXXX,bad*00";
    std::vector<std::string> badThenGood(100, bad);
    badThenGood[0] = kTooMany;
    badThenGood.push_back(a);
    // Exactly one full read of sentences (empty lines pad it).
    std::string fullOfLines;
    std::vector<std::string> fullLines;
    for (int i = 0; i < 80; ++i) {
        fullOfLines += a + "\n";
        fullLines.push_back(a);
    }
    fullOfLines.append(CConnectionReader::kBufferSize - fullOfLines.size(), '\n');
    fullLines.push_back(b); // read after it, in the same tick
    const std::string tooLong(300, 'x');

    const Case cases[] = {
        {"lines across reads, CR skipped",
         K::Stream,
         {a.substr(0, 5), a.substr(5) + "\r\n" + b, "\r\n"},
         1,
         {a, b}},
        {"199 characters pass", K::Stream, {l199 + "\n"}, 1, {l199}},
        {"the 200th character resets", K::Stream, {l200 + "\n" + a + "\n"}, 2, {kNotNMEA, a}},
        {"100 lines a tick over TCP", K::Stream, {manyShort}, 2, hundred},
        {"a full network read is data", K::Stream, {fullOfLines, b + "\n"}, 1, fullLines},
        {"an over-long line is skipped to its end",
         K::Stream,
         {tooLong, tooLong + a + "\n" + b + "\n"},
         1,
         {kNotNMEA, b}},
        {"the newest lines of a tick are kept", K::Serial, {Repeat(bad, 150) + a + "\n"}, 1, badThenGood},
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
        EXPECT_EQ(CaptureLines(), c.captured);
        EXPECT_EQ(closed, c.closed);
    }
}

TEST(ConnectionReaderTest, AFloodKeepsTheNewestWholeLinesAndTellsWhatItDropped)
{
    // Three ticks' worth of numbered lines, each tick's share cut mid-line and
    // read in full 4000-byte reads.
    std::vector<std::string> sent;
    std::string data;
    for (int i = 0; i < 900; ++i) {
        sent.push_back(tessatest::WithChecksum("GPTXT," + std::to_string(i)));
        data += sent.back() + "\r\n";
    }
    ASSERT_TRUE(StartNMEACapture());
    ClearStatusMessage();
    CConnectionReader reader(CConnectionReader::Kind::Stream);
    Script script;
    const size_t share = data.size() / 3 + 7;
    for (size_t from = 0; from < data.size(); from += share) {
        const std::string part = data.substr(from, share);
        for (size_t pos = 0; pos < part.size(); pos += CConnectionReader::kBufferSize)
            script.reads.push_back(part.substr(pos, CConnectionReader::kBufferSize));
        reader.Tick(nullptr, &Script::Read, &script);
        // Told while it lasts, with what it has dropped so far.
        EXPECT_EQ(GetStatusMessage(),
                  "Input too fast: " + std::to_string(reader.LinesDropped()) + " older sentences dropped");
    }
    const std::string told = GetStatusMessage();
    // The message goes once the input has been quiet for a while.
    for (int i = 1; i < CConnectionReader::kQuietTicksAfterOverload; ++i)
        reader.Tick(nullptr, &Script::Read, &script);
    EXPECT_EQ(GetStatusMessage(), told);
    reader.Tick(nullptr, &Script::Read, &script);
    EXPECT_FALSE(IsStatusLineShown()) << GetStatusMessage();
    StopNMEACapture(nullptr);

    std::vector<std::string> handedOn;
    for (const std::string& line : CaptureLines())
        if (line != kTooMany)
            handedOn.push_back(line);
    ASSERT_EQ(handedOn.size(), 3u * CConnectionReader::kMaxLinesPerTick);
    // Whole lines, in order, ending with the last one sent.
    size_t next = 0;
    for (const std::string& line : handedOn) {
        while (next < sent.size() && sent[next] != line)
            ++next;
        ASSERT_LT(next, sent.size()) << "not sent, or out of order: " << line;
    }
    EXPECT_EQ(handedOn.back(), sent.back());
    const uint64_t dropped = sent.size() - handedOn.size();
    EXPECT_EQ(reader.LinesDropped(), dropped);
    EXPECT_EQ(told, "Input too fast: " + std::to_string(dropped) + " older sentences dropped");
}

TEST(ConnectionReaderTest, AnEndlessSourceCannotHoldATick)
{
    // The byte cap ends the tick of a source that never runs dry.
    ASSERT_TRUE(StartNMEACapture());
    CConnectionReader reader(CConnectionReader::Kind::Serial);
    std::string garbage = Repeat("$no checksum here", 70000);
    Script script{{garbage}};
    reader.Tick(nullptr, &Script::Read, &script);
    StopNMEACapture(nullptr);
    EXPECT_LE(reader.BytesReceived(), CConnectionReader::kMaxBytesPerTick + CConnectionReader::kBufferSize);
    EXPECT_FALSE(script.reads.empty());
}
