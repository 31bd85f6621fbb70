// Real receiver and instrument logs through the line splitter and the dispatcher.
#include "instruments/nmea/NMEASentence.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct LogCounts
{
    const char* file;
    int good;     // lines with a valid checksum
    int failed;   // lines with a start character that were refused
    int rmcOrGga; // good lines whose address ends in RMC or GGA
};

// Counted independently of this code, from the logs themselves.
const LogCounts kLogs[] = {
    {"GPSmap-76S.log", 151, 0, 24},    {"bundg_zeus_9.log", 4999, 0, -1},   {"hemi.log", 753, 0, 215},
    {"humminbird-M37.log", 98, 0, 25}, {"nmea-fuzzy-cases.log", 28, 0, 28}, {"pypilot.log", 29, 1, 0},
    {"sounder.log", 244, 0, 0},        {"tcp-test.log", 7, 0, 2},           {"triton400.log", 27, 1, 8},
};

struct RawCounter : Listener<CNMEA_Raw>
{
    void Notify(const CNMEA_Raw& r) override { texts.emplace_back(r.text); }
    std::vector<std::string> texts;
};

// Splits a byte stream into lines the way a connection does: at CR or LF.
std::vector<std::string> SplitLines(const std::string& data)
{
    std::vector<std::string> lines;
    std::string cur;
    for (char c : data) {
        if (c == '\r' || c == '\n') {
            if (!cur.empty())
                lines.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty())
        lines.push_back(cur);
    return lines;
}

} // namespace

TEST(NMEALogsTest, CountsPerLogAndBadLinesNeverDispatched)
{
    TESSA_REQUIRE_TESTDATA("nmea");
    // Every registered sentence type subscribed, so every parser runs.
    std::vector<std::unique_ptr<CNMEASentenceType::AnySubscription>> subs;
    std::vector<std::string> typed;
    for (CNMEASentenceType* t = CNMEASentenceType::First(); t; t = t->m_next)
        subs.push_back(t->SubscribeAny([&](const CNMEASentence& s) { typed.push_back(s.m_type->m_code); }));

    for (const auto& log : kLogs) {
        SCOPED_TRACE(log.file);
        std::string path = tessatest::TestDataFile(std::string("nmea/") + log.file);
        ASSERT_FALSE(path.empty());
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        RawCounter raw;
        typed.clear();
        int accepted = 0, refused = 0;
        for (std::string line : SplitLines(ss.str())) {
            bool hasStart = line.find_first_of("$!") != std::string::npos;
            bool ok = DispatchNMEALine(line.data(), nullptr);
            if (ok)
                ++accepted;
            else if (hasStart)
                ++refused;
        }
        EXPECT_EQ(accepted, log.good);
        EXPECT_EQ(refused, log.failed);
        ASSERT_EQ(int(raw.texts.size()), log.good);
        int rmcGga = 0;
        for (const auto& t : raw.texts) {
            ASSERT_GE(t.size(), 9u);
            EXPECT_TRUE(t[0] == '$' || t[0] == '!');
            EXPECT_EQ(t.substr(t.size() - 2), "\r\n");
            EXPECT_TRUE(VerifyNMEAChecksum(t.c_str()));
            std::string addr = t.substr(3, 3);
            if (t[1] != 'P' && (addr == "RMC" || addr == "GGA"))
                ++rmcGga;
            // The merged, unterminated GGA of one log never gets through.
            EXPECT_EQ(t.find("$GPGGA,030130$"), std::string::npos);
        }
        if (log.rmcOrGga >= 0) {
            EXPECT_EQ(rmcGga, log.rmcOrGga);
        }
        // Typed deliveries only ever come from lines that passed.
        EXPECT_LE(typed.size(), raw.texts.size());
    }
}

TEST(NMEALogsTest, LeadingGarbageIsDroppedNotDispatched)
{
    TESSA_REQUIRE_TESTDATA("nmea/tcp-test.log");
    std::ifstream in(tessatest::TestDataFile("nmea/tcp-test.log"), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    RawCounter raw;
    for (std::string line : SplitLines(ss.str()))
        DispatchNMEALine(line.data(), nullptr);
    ASSERT_FALSE(raw.texts.empty());
    // The first line of the stream is the tail of a cut sentence.
    for (const auto& t : raw.texts)
        EXPECT_NE(t.rfind(",1.7,-30.40", 0), 0u);
    EXPECT_EQ(raw.texts.front().rfind("$GPGGA,193221.00", 0), 0u);
}
