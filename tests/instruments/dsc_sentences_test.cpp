// DSC calls and their expansions: addresses, positions and the presence mask.
#include "instruments/nmea/DSCSentences.h"
#include "support/NMEALines.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace CNMEA_DSC;

namespace {

// Parsed objects return to their pool after delivery and keep their fields
// until the next line of their type is parsed.
template <class S> struct Catch : Listener<S>
{
    void Notify(const S& s) override
    {
        ++count;
        last = &s;
    }
    int count = 0;
    const S* last = nullptr;
    const S& Last() const { return *last; }
};

using tessatest::SendSentence;

} // namespace

TEST(DSCSentences, DistressCallWithExpansion)
{
    Catch<DSC> dsc;
    SendSentence("$CDDSC,12,3380400790,12,06,00,1423108312,2019,,,S,E*6A");
    ASSERT_EQ(dsc.count, 1);
    const DSC& s = dsc.Last();
    EXPECT_EQ(s.m_mmsi, 338040079u);
    EXPECT_EQ(s.m_format, 12);
    EXPECT_EQ(s.m_category, 12);
    EXPECT_EQ(s.m_nature, 6);
    EXPECT_NEAR(s.m_latitude, 42.516667, 1e-6);
    EXPECT_NEAR(s.m_longitude, -83.2, 1e-9);
    EXPECT_EQ(s.m_quadrant, 1u);
    EXPECT_EQ(s.m_acknowledgement, 'S');
    EXPECT_TRUE(s.m_expansion);

    Catch<DSE> dse;
    SendSentence("$CDDSE,1,1,A,3380400790,00,45894494*1B");
    ASSERT_EQ(dse.count, 1);
    EXPECT_EQ(dse.Last().m_mmsi, 338040079u);
    EXPECT_EQ(dse.Last().m_mask, DSE::kHasPosition);
    EXPECT_EQ(dse.Last().m_latitudeExtra, 4589);
    EXPECT_EQ(dse.Last().m_longitudeExtra, 4494);
    EXPECT_EQ(dse.Last().m_total, 1);
    EXPECT_EQ(dse.Last().m_number, 1);
}

TEST(DSCSentences, Addresses)
{
    struct Case
    {
        const char* field;
        bool ok;
        uint32_t mmsi;
    } cases[] = {
        {"3380400790", true, 338040079}, // a tenth digit 0 is cut off
        {"0123456789", true, 123456789}, // any other tenth digit is kept
        {"0000000000", true, 0},
        {"9999999999", false, 0},  // would overflow 32 bits, and is no MMSI
        {"4294967297", false, 0},  // 2^32 + 1 must not wrap to 1
        {"1234567891", false, 0},  // above 999,999,999
        {"338040079", false, 0},   // nine digits: not an address
        {"33804007900", false, 0}, // eleven
        {"", false, 0},
        {"33804a0790", false, 0},
        {"-338040079", false, 0},
    };
    for (const auto& c : cases) {
        uint32_t mmsi = 7;
        EXPECT_EQ(ParseDSCAddress(c.field, mmsi), c.ok) << c.field;
        EXPECT_EQ(mmsi, c.ok ? c.mmsi : 7u) << c.field;
    }
    // A call whose address is refused is no call at all.
    Catch<DSC> dsc;
    Catch<DSE> dse;
    SendSentence("$CDDSC,12,9999999999,12,06,00,1423108312,2019,,,S,E");
    SendSentence("$CDDSC,12,338040079,12,06,00,1423108312,2019,,,S,E");
    SendSentence("$CDDSE,1,1,A,33804007,00,45894494");
    EXPECT_EQ(dsc.count, 0);
    EXPECT_EQ(dse.count, 0);
}

TEST(DSCSentences, Positions)
{
    struct Case
    {
        const char* field;
        double lat, lon;
        uint32_t quadrant;
    } cases[] = {
        {"1513000130", 51.5, -1.5, 1},  {"0000000000", 0, 0, 0},
        {"3900018000", -90, -180, 3},   {"2453012345", -45.5, 123.75, 2},
        {"9999999999", -999, -999, 0}, // "no position" must never become a place
        {"4513000130", -999, -999, 0}, // quadrant 4
        {"0516000130", -999, -999, 0}, // latitude minutes 60
        {"0513000160", -999, -999, 0}, // longitude minutes 60
        {"0910000000", -999, -999, 0}, // latitude 91
        {"0000018100", -999, -999, 0}, // longitude 181
        {"0900118000", -999, -999, 0}, // 90 degrees 1 minute
        {"05130A0130", -999, -999, 0},  {"151300013", -999, -999, 0},
        {"15130001300", -999, -999, 0}, {"", -999, -999, 0},
    };
    Catch<DSC> dsc;
    for (const auto& c : cases) {
        SendSentence(std::string("$CDDSC,16,2111111110,12,06,00,") + c.field + ",2019,,,S,");
        ASSERT_EQ(dsc.count, int(&c - cases) + 1) << c.field;
        EXPECT_NEAR(dsc.Last().m_latitude, c.lat, 1e-12) << c.field;
        EXPECT_NEAR(dsc.Last().m_longitude, c.lon, 1e-12) << c.field;
        EXPECT_EQ(dsc.Last().m_quadrant, c.quadrant) << c.field;
        EXPECT_FALSE(dsc.Last().m_expansion);
        EXPECT_EQ(dsc.Last().m_format, 16);
    }
}

TEST(DSCSentences, ExpansionPairsAndMask)
{
    struct Case
    {
        const char* pairs;
        uint32_t mask;
        int32_t latExtra, lonExtra;
        float course, speed;
    } cases[] = {
        {"00,12345678,03,2255,,", DSE::kHasPosition | DSE::kHasCourse, 1234, 5678, 225.5f, -1},
        {"02,125,03,900", DSE::kHasCourse | DSE::kHasSpeed, -1, -1, 90, 12.5f},
        {"00,1234567,03,100", DSE::kHasCourse, -1, -1, 10, -1}, // seven digits: skipped
        {"00,123456789,02,50", DSE::kHasSpeed, -1, -1, -1, 5},
        {"00,1234a678", 0, -1, -1, -1, -1},
        {"05,1,00,00001111", DSE::kHasPosition, 0, 1111, -1, -1}, // other codes skipped
        {",,00,11112222", 0, -1, -1, -1, -1},                     // reading stops at an empty code
        {"03,nan,02,inf", 0, -1, -1, -1, -1},
        {"", 0, -1, -1, -1, -1},
    };
    Catch<DSE> dse;
    for (const auto& c : cases) {
        // The pooled object keeps old values: the mask says what is new.
        const int before = dse.count;
        SendSentence(std::string("$CDDSE,2,2,R,2111111110,") + c.pairs);
        ASSERT_EQ(dse.count, before + 1) << c.pairs;
        const DSE& s = dse.Last();
        EXPECT_EQ(s.m_mask, c.mask) << c.pairs;
        if (c.latExtra >= 0) {
            EXPECT_EQ(s.m_latitudeExtra, c.latExtra) << c.pairs;
            EXPECT_EQ(s.m_longitudeExtra, c.lonExtra) << c.pairs;
        }
        if (c.course >= 0) {
            EXPECT_FLOAT_EQ(s.m_course, c.course) << c.pairs;
        }
        if (c.speed >= 0) {
            EXPECT_FLOAT_EQ(s.m_speed, c.speed) << c.pairs;
        }
        EXPECT_EQ(s.m_mmsi, 211111111u);
        EXPECT_EQ(s.m_queryReply, 'R');
    }
}
