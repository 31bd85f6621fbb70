// AIS messages: the six-bit armour, the bit reader, reassembly of fragments
// and the fields of the decoded message types, from messages built bit by bit.
#include "ais/AISSentence.h"
#include "foundation/events/Clock.h"
#include "instruments/DataConnection.h"
#include "instruments/nmea/DSCSentences.h"
#include "instruments/nmea/PTSXSentences.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using namespace CNEMA_AIS;

namespace {

// Builds a payload field by field, most significant bit first.
struct BitWriter
{
    std::string bits;
    BitWriter& Put(int64_t value, int n)
    {
        for (int i = n - 1; i >= 0; --i)
            bits += ((uint64_t(value) >> i) & 1) ? '1' : '0';
        return *this;
    }
    BitWriter& Text(const std::string& text, int chars)
    {
        for (int i = 0; i < chars; ++i) {
            const int c = i < int(text.size()) ? text[size_t(i)] : '@';
            Put(c >= 64 ? c - 64 : c, 6);
        }
        return *this;
    }
    // Armoured, padded with zero bits to whole characters.
    std::string Armour(size_t bitCount = std::string::npos) const
    {
        std::string b = bits.substr(0, bitCount);
        while (b.size() % 6)
            b += '0';
        std::string out;
        for (size_t i = 0; i < b.size(); i += 6) {
            const int v = std::stoi(b.substr(i, 6), nullptr, 2);
            out += char(v < 40 ? v + 48 : v + 56);
        }
        return out;
    }
};

std::string Sentence(const std::string& kind, int total, int number, const std::string& seq, char channel,
                     const std::string& payload)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, "!AI%s,%d,%d,%s,%c,%s,0", kind.c_str(), total, number, seq.c_str(),
                  channel, payload.c_str());
    AppendNMEAChecksum(buf, sizeof buf);
    return buf;
}

bool Dispatch(const std::string& line, CDataConnection* connection = nullptr)
{
    std::vector<char> buf(line.begin(), line.end());
    buf.push_back('\0');
    return DispatchNMEALine(buf.data(), connection);
}

template <class S> struct Catch : Listener<S>
{
    void Notify(const S& s) override
    {
        types.push_back(s.m_messageType);
        last = &s;
    }
    std::vector<uint32_t> types;
    const S* last = nullptr;
};

BitWriter PositionReport(int32_t rot, uint32_t sog, int32_t lon, int32_t lat, uint32_t cog, uint32_t heading)
{
    BitWriter w;
    w.Put(1, 6).Put(0, 2).Put(244660390, 30).Put(5, 4).Put(rot, 8).Put(sog, 10).Put(1, 1);
    w.Put(lon, 28).Put(lat, 27).Put(cog, 12).Put(heading, 9).Put(33, 6).Put(0, 25);
    return w;
}

BitWriter StaticReport(const std::string& name, const std::string& destination)
{
    BitWriter w;
    w.Put(5, 6).Put(0, 2).Put(211111110, 30).Put(1, 2).Put(9266633, 30).Text("HP6683", 7).Text(name, 20);
    w.Put(37, 8).Put(100, 9).Put(10, 9).Put(6, 6).Put(5, 6).Put(1, 4);
    w.Put(11, 4).Put(21, 5).Put(12, 5).Put(30, 6).Put(31, 8).Text(destination, 20).Put(0, 2);
    return w;
}

class AISTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CAIS_Sentence::ResetReassembly();
        SetClockForTesting([this] { return now; });
    }
    void TearDown() override
    {
        SetClockForTesting(nullptr);
        CAIS_Sentence::ResetReassembly();
    }
    double now = 1.7e9;
};

} // namespace

TEST(AISPayload, ArmourAndBitReader)
{
    struct Armour
    {
        char c;
        int v;
    } armour[] = {{'0', 0},  {'W', 39}, {'`', 40}, {'w', 63}, {'1', 1},  {'a', 41},
                  {'X', -1}, {'_', -1}, {'x', -1}, {' ', -1}, {'/', -1}, {'\xff', -1}};
    for (const auto& a : armour)
        EXPECT_EQ(DearmourSixBit(a.c), a.v) << a.c;

    // Fields across the 32-bit word boundary, signed and unsigned.
    BitWriter w;
    w.Put(0x2A, 6).Put(-3, 20).Put(0x12345, 17).Put(-1, 1).Put(0xDEADBEEF, 32).Put(-100000, 28);
    CAISPayload p;
    ASSERT_TRUE(p.Append(w.Armour().c_str()));
    EXPECT_EQ(p.BitCount(), w.Armour().size() * 6);
    CAISBitReader r(p);
    uint32_t u = 0;
    int32_t s = 0;
    EXPECT_TRUE(r.Unsigned(6, u));
    EXPECT_EQ(u, 0x2Au);
    EXPECT_TRUE(r.Signed(20, s));
    EXPECT_EQ(s, -3);
    EXPECT_TRUE(r.Unsigned(17, u));
    EXPECT_EQ(u, 0x12345u);
    EXPECT_TRUE(r.Signed(1, s));
    EXPECT_EQ(s, -1);
    EXPECT_TRUE(r.Unsigned(32, u));
    EXPECT_EQ(u, 0xDEADBEEFu);
    EXPECT_TRUE(r.Signed(28, s));
    EXPECT_EQ(s, -100000);
    // Past the bits received: absent, never zeros.
    EXPECT_FALSE(r.Unsigned(6, u));
    EXPECT_EQ(u, 0xDEADBEEFu);

    // A character outside the armour leaves the payload as it was.
    EXPECT_FALSE(p.Append("00X0"));
    EXPECT_EQ(p.BitCount(), w.Armour().size() * 6);

    // Never more than 992 bits, however long the payload.
    CAISPayload big;
    const std::string w200(200, 'w');
    ASSERT_TRUE(big.Append(w200.c_str()));
    EXPECT_EQ(big.BitCount(), CAISPayload::kMaxBits);
    CAISBitReader end(big, 960);
    EXPECT_TRUE(end.Unsigned(32, u));
    EXPECT_EQ(u, 0xFFFFFFFFu);
    EXPECT_FALSE(end.Unsigned(1, u));
}

TEST(AISPayload, TextFields)
{
    // Two bits before the text, as in a real message, so characters do not
    // line up with the armour.
    struct Case
    {
        std::string text;
        size_t bits; // payload bits kept, padded to whole armour characters
        const char* expected;
    } cases[] = {
        {"SEA@ENTER", 122, "SEA@ENTER"},                      // an inner "@" stays
        {"ABCDEFGH", 122, "ABCDEFGH"},                        // eight letters then twelve "@"
        {"NAME  ", 122, "NAME"},                              // trailing spaces go
        {"R'DAM/LWARDEN", 122, "R'DAM/LWARDEN"},              // punctuation of 32..63
        {"ABCDEFGHIJKLMNOPQRST", 120, "ABCDEFGHIJKLMNOPQRS"}, // only whole characters
        {"ABCDEFGHIJKLMNOPQRST", 12, "A"},
        {"ABCDEFGHIJKLMNOPQRST", 6, ""},
    };
    for (const auto& c : cases) {
        BitWriter w;
        w.Put(0, 2).Text(c.text, 20);
        CAISPayload p;
        ASSERT_TRUE(p.Append(w.Armour(c.bits).c_str()));
        char out[21];
        CAISBitReader r(p, 2);
        r.Text(120, out, sizeof out);
        EXPECT_STREQ(out, c.expected) << c.text << " " << c.bits;
    }
    // A small buffer is filled and ended, never overrun.
    BitWriter w;
    w.Text("ABCDEFG", 7);
    CAISPayload p;
    p.Append(w.Armour().c_str());
    char small[4] = {'x', 'x', 'x', 'x'};
    CAISBitReader(p).Text(42, small, sizeof small);
    EXPECT_STREQ(small, "ABC");
}

TEST_F(AISTest, PositionReportFieldsAndNotAvailable)
{
    struct Case
    {
        int32_t rot;
        uint32_t sog;
        int32_t lon, lat;
        uint32_t cog, heading;
        bool rateValid;
        float rate, sogKn;
        double latDeg, lonDeg;
        float cogDeg;
        uint32_t headingDeg;
    } cases[] = {
        {-127, 123, -74037230, 29028980, 2240, 215, false, 0, 12.3f, 48.381633333, -123.395383333, 224, 215},
        {-128, 0, -42454920, 25848090, 934, 511, false, 0, 0, 43.08015, -70.7582, 93.4f, 511},
        {10, 1023, 0, 0, 3600, 472, true, 4.464f, 0, 0, 0, 999, 511}, // SOG, COG and heading not available
        {-10, 1001, 108600000, 54600000, 4095, 360, true, -4.464f, 0, 91, 181, 999, 511},
        {0, 1000, 1000, -60900000, 3599, 359, true, 0, 100, 91, 181, 359.9f, 359}, // lat -101.5
        {0, 50, 1000, -59640000, 0, 0, true, 0, 5, 91, 181, 0, 0},                 // lat -99.4
        {126, 50, -108000000, -54000000, 1, 1, true, 708.71f, 5, -90, -180, 0.1f, 1},
    };
    Catch<VDM> vdm;
    for (const auto& c : cases) {
        ASSERT_TRUE(Dispatch(Sentence(
            "VDM", 1, 1, "", 'B', PositionReport(c.rot, c.sog, c.lon, c.lat, c.cog, c.heading).Armour())));
        const VDM& s = *vdm.last;
        const std::string at = std::to_string(c.lat) + " " + std::to_string(c.rot);
        EXPECT_EQ(s.m_messageType, 1u) << at;
        EXPECT_EQ(s.m_mmsi, 244660390u) << at;
        EXPECT_EQ(s.m_channel, 'B') << at;
        EXPECT_EQ(s.m_navigationStatus, 5u) << at;
        EXPECT_EQ(s.m_rateValid, c.rateValid) << at;
        EXPECT_NEAR(s.m_rateOfTurn, c.rate, 0.01) << at;
        EXPECT_NEAR(s.m_sog, c.sogKn, 1e-4) << at;
        EXPECT_NEAR(s.m_latitude, c.latDeg, 1e-9) << at;
        EXPECT_NEAR(s.m_longitude, c.lonDeg, 1e-9) << at;
        EXPECT_NEAR(s.m_cog, c.cogDeg, 1e-4) << at;
        EXPECT_EQ(s.m_heading, c.headingDeg) << at;
        EXPECT_EQ(s.m_second, 33u) << at;
    }
}

TEST_F(AISTest, ShortMessagesReadOnlyWhatArrived)
{
    Catch<VDM> vdm;
    const BitWriter w = PositionReport(0, 55, 1000, 2000, 100, 90);
    // 36 bits cannot name an MMSI: refused.
    EXPECT_FALSE(Dispatch(Sentence("VDM", 1, 1, "", 'A', w.Armour(36))));
    EXPECT_TRUE(vdm.types.empty());
    // 48 bits: type, MMSI and status only; no position, no speed.
    ASSERT_TRUE(Dispatch(Sentence("VDM", 1, 1, "", 'A', w.Armour(48))));
    ASSERT_EQ(vdm.types.size(), 1u);
    EXPECT_EQ(vdm.last->m_messageType, 1u);
    EXPECT_EQ(vdm.last->m_mmsi, 244660390u);
    EXPECT_EQ(vdm.last->m_latitude, kNoLatitude);
    EXPECT_EQ(vdm.last->m_longitude, kNoLongitude);
    EXPECT_EQ(vdm.last->m_sog, 0);
    EXPECT_EQ(vdm.last->m_cog, kNoCourse);
    // 114 bits: the latitude is cut short, so there is no position at all.
    ASSERT_TRUE(Dispatch(Sentence("VDM", 1, 1, "", 'A', w.Armour(114))));
    EXPECT_NEAR(vdm.last->m_sog, 5.5, 1e-4);
    EXPECT_EQ(vdm.last->m_latitude, kNoLatitude);

    // A static report sent as 420 bits keeps the whole characters of its destination.
    const BitWriter s = StaticReport("ABCDEFGH", "ABCDEFGHIJKLMNOPQRST");
    ASSERT_TRUE(Dispatch(Sentence("VDM", 1, 1, "", 'A', s.Armour(420))));
    EXPECT_STREQ(vdm.last->m_destination, "ABCDEFGHIJKLMNOPQRS");
    EXPECT_STREQ(vdm.last->m_name, "ABCDEFGH");
    EXPECT_NEAR(vdm.last->m_draught, 3.1, 1e-5);

    // A character outside the armour refuses the sentence.
    std::string bad = w.Armour();
    bad[10] = 'x';
    EXPECT_FALSE(Dispatch(Sentence("VDM", 1, 1, "", 'A', bad)));
    EXPECT_EQ(vdm.types.size(), 3u);
}

TEST_F(AISTest, FragmentsAreReassembledPerSource)
{
    const std::string whole = StaticReport("SEA ENTERPRISE", "R'DAM").Armour();
    const std::string a = whole.substr(0, 25), b = whole.substr(25, 25), c = whole.substr(50);
    const std::string other = StaticReport("ANOTHER SHIP", "HULL").Armour();
    const std::string oa = other.substr(0, 40), ob = other.substr(40);
    CDataConnection first, second;
    struct Step
    {
        std::string kind;
        int total, number;
        std::string seq;
        char channel;
        std::string payload;
        CDataConnection* connection;
        int published; // -1 refused, else the type published
    };
    struct Case
    {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        {"in order",
         {{"VDM", 3, 1, "1", 'A', a, nullptr, 0},
          {"VDM", 3, 2, "1", 'A', b, nullptr, 0},
          {"VDM", 3, 3, "1", 'A', c, nullptr, 5}}},
        {"second without first", {{"VDM", 3, 2, "1", 'A', b, nullptr, -1}}},
        {"lost middle",
         {{"VDM", 3, 1, "1", 'A', a, nullptr, 0},
          {"VDM", 3, 3, "1", 'A', c, nullptr, -1},
          {"VDM", 3, 2, "1", 'A', b, nullptr, -1},
          {"VDM", 3, 3, "1", 'A', c, nullptr, -1},
          {"VDM", 3, 1, "1", 'A', a, nullptr, 0},
          {"VDM", 3, 2, "1", 'A', b, nullptr, 0},
          {"VDM", 3, 3, "1", 'A', c, nullptr, 5}}},
        {"interleaved channels",
         {{"VDM", 3, 1, "6", 'B', a, nullptr, 0},
          {"VDM", 2, 1, "2", 'A', oa, nullptr, 0},
          {"VDM", 2, 2, "2", 'A', ob, nullptr, 5},
          {"VDM", 3, 2, "6", 'B', b, nullptr, 0},
          {"VDM", 3, 3, "6", 'B', c, nullptr, 5}}},
        {"VDM and VDO apart",
         {{"VDM", 3, 1, "1", 'A', a, nullptr, 0}, {"VDO", 3, 2, "1", 'A', b, nullptr, -1}}},
        {"connections apart",
         {{"VDM", 3, 1, "1", 'A', a, &first, 0},
          {"VDM", 3, 1, "1", 'A', oa, &second, 0},
          {"VDM", 3, 2, "1", 'A', b, &first, 0},
          {"VDM", 3, 3, "1", 'A', c, &first, 5}}},
        {"sequence ids apart",
         {{"VDM", 3, 1, "1", 'A', a, nullptr, 0}, {"VDM", 3, 2, "2", 'A', b, nullptr, -1}}},
        {"total changes",
         {{"VDM", 3, 1, "1", 'A', a, nullptr, 0},
          {"VDM", 2, 2, "1", 'A', b, nullptr, -1},
          {"VDM", 3, 3, "1", 'A', c, nullptr, -1}}},
        {"bad counts", {{"VDM", 3, 4, "1", 'A', a, nullptr, -1}, {"VDM", 0, 0, "1", 'A', a, nullptr, -1}}},
        {"bad armour ends the message",
         {{"VDM", 3, 1, "1", 'A', a, nullptr, 0},
          {"VDM", 3, 2, "1", 'A', b + "~", nullptr, -1},
          {"VDM", 3, 3, "1", 'A', c, nullptr, -1}}},
        {"new first fragment restarts",
         {{"VDM", 3, 1, "1", 'A', oa, nullptr, 0},
          {"VDM", 3, 1, "1", 'A', a, nullptr, 0},
          {"VDM", 3, 2, "1", 'A', b, nullptr, 0},
          {"VDM", 3, 3, "1", 'A', c, nullptr, 5}}},
    };
    Catch<VDM> vdm;
    Catch<VDO> vdo;
    for (const auto& cs : cases) {
        CAIS_Sentence::ResetReassembly();
        for (size_t i = 0; i < cs.steps.size(); ++i) {
            const Step& st = cs.steps[i];
            vdm.types.clear();
            vdo.types.clear();
            Dispatch(Sentence(st.kind, st.total, st.number, st.seq, st.channel, st.payload), st.connection);
            const auto& types = st.kind == "VDM" ? vdm.types : vdo.types;
            if (st.published < 0) {
                EXPECT_TRUE(types.empty()) << cs.name << " step " << i;
                continue;
            }
            ASSERT_EQ(types.size(), 1u) << cs.name << " step " << i;
            EXPECT_EQ(types[0], uint32_t(st.published)) << cs.name << " step " << i;
            if (st.published == 5) {
                const bool isOther = st.payload == ob;
                EXPECT_STREQ(vdm.last->m_name, isOther ? "ANOTHER SHIP" : "SEA ENTERPRISE") << cs.name;
                EXPECT_STREQ(vdm.last->m_destination, isOther ? "HULL" : "R'DAM") << cs.name;
                EXPECT_STREQ(vdm.last->m_callSign, "HP6683") << cs.name;
                EXPECT_EQ(vdm.last->m_imo, 9266633u) << cs.name;
                EXPECT_STREQ(vdm.last->m_shipTypeText, "Pleasure craft") << cs.name;
                EXPECT_EQ(vdm.last->m_toBow + vdm.last->m_toStern, 110u) << cs.name;
                EXPECT_EQ(vdm.last->m_etaMonth * 100 + vdm.last->m_etaDay, 1121u) << cs.name;
            }
        }
    }
}

TEST_F(AISTest, StalePartialMessagesAreDropped)
{
    const std::string whole = StaticReport("SEA ENTERPRISE", "R'DAM").Armour();
    Catch<VDM> vdm;
    for (double wait : {9.0, 11.0}) {
        vdm.types.clear();
        ASSERT_TRUE(Dispatch(Sentence("VDM", 2, 1, "3", 'A', whole.substr(0, 50))));
        now += wait;
        const bool ok = Dispatch(Sentence("VDM", 2, 2, "3", 'A', whole.substr(50)));
        EXPECT_EQ(ok, wait < 10) << wait;
        EXPECT_EQ(vdm.types.back(), wait < 10 ? 5u : 0u) << wait;
    }
}

TEST_F(AISTest, OtherTypes)
{
    Catch<VDM> vdm;
    struct Case
    {
        const char* name;
        BitWriter w;
    };
    BitWriter t9, t18, t19, t21, t24a, t24b, t27, t4;
    t9.Put(9, 6)
        .Put(0, 2)
        .Put(111232511, 30)
        .Put(303, 12)
        .Put(1023, 10)
        .Put(0, 1)
        .Put(-600000, 28)
        .Put(600000, 27);
    t9.Put(1234, 12).Put(15, 6).Put(0, 56);
    ASSERT_TRUE(Dispatch(Sentence("VDM", 1, 1, "", 'A', t9.Armour())));
    EXPECT_EQ(vdm.last->m_messageType, 9u);
    EXPECT_EQ(vdm.last->m_altitude, 303u);
    EXPECT_EQ(vdm.last->m_sog, 0); // 1023: not 1023 knots
    EXPECT_NEAR(vdm.last->m_longitude, -1, 1e-12);
    EXPECT_NEAR(vdm.last->m_latitude, 1, 1e-12);
    EXPECT_NEAR(vdm.last->m_cog, 123.4, 1e-4);
    EXPECT_EQ(vdm.last->m_second, 15u);

    t19.Put(19, 6).Put(0, 2).Put(367059850, 30).Put(0, 8).Put(87, 10).Put(0, 1).Put(-44000000, 28);
    t19.Put(17000000, 27).Put(3350, 12).Put(511, 9).Put(46, 6).Put(0, 4).Text("CAPT.J.RIMES", 20).Put(71, 8);
    t19.Put(5, 9).Put(21, 9).Put(4, 6).Put(4, 6).Put(0, 10);
    ASSERT_TRUE(Dispatch(Sentence("VDM", 1, 1, "", 'A', t19.Armour())));
    EXPECT_EQ(vdm.last->m_messageType, 19u);
    EXPECT_NEAR(vdm.last->m_sog, 8.7, 1e-4);
    EXPECT_NEAR(vdm.last->m_latitude, 17000000 / 600000.0, 1e-9);
    EXPECT_EQ(vdm.last->m_heading, 511u);
    EXPECT_STREQ(vdm.last->m_name, "CAPT.J.RIMES");
    EXPECT_STREQ(vdm.last->m_shipTypeText, "Cargo ship:Haz A");
    EXPECT_EQ(vdm.last->m_toStern, 21u);

    t21.Put(21, 6).Put(0, 2).Put(993692028, 30).Put(1, 5).Text("SF OAK BAY BR VAIS E", 20).Put(0, 1);
    t21.Put(-73000000, 28).Put(22700000, 27).Put(7, 9).Put(9, 9).Put(0, 30);
    ASSERT_TRUE(Dispatch(Sentence("VDM", 1, 1, "", 'A', t21.Armour())));
    EXPECT_EQ(vdm.last->m_aidType, 1u);
    EXPECT_STREQ(vdm.last->m_name, "SF OAK BAY BR VAIS E");
    EXPECT_EQ(vdm.last->m_toStern, 9u);

    t24a.Put(24, 6).Put(0, 2).Put(271041815, 30).Put(0, 2).Text("PROGUY", 20);
    ASSERT_TRUE(Dispatch(Sentence("VDM", 1, 1, "", 'A', t24a.Armour())));
    EXPECT_EQ(vdm.last->m_partNumber, 0u);
    EXPECT_STREQ(vdm.last->m_name, "PROGUY");
    t24b.Put(24, 6).Put(0, 2).Put(271041815, 30).Put(1, 2).Put(99, 8).Text("1D00014", 7).Text("TC6163", 7);
    t24b.Put(0, 9).Put(15, 9).Put(0, 6).Put(5, 6).Put(0, 6);
    ASSERT_TRUE(Dispatch(Sentence("VDM", 1, 1, "", 'A', t24b.Armour())));
    EXPECT_EQ(vdm.last->m_partNumber, 1u);
    EXPECT_STREQ(vdm.last->m_shipTypeText, "Ship");
    EXPECT_STREQ(vdm.last->m_vendorId, "1D00014");
    EXPECT_STREQ(vdm.last->m_callSign, "TC6163");
    EXPECT_EQ(vdm.last->m_toStarboard, 5u);
    EXPECT_STREQ(vdm.last->m_name, ""); // not carried over from part A

    // A type the table does not read, and one outside 1..24: type and MMSI only.
    for (uint32_t type : {27u, 63u}) {
        BitWriter w;
        w.Put(type, 6).Put(0, 2).Put(206914217, 30).Put(0, 58);
        ASSERT_TRUE(Dispatch(Sentence("VDM", 1, 1, "", 'A', w.Armour())));
        EXPECT_EQ(vdm.last->m_messageType, type);
        EXPECT_EQ(vdm.last->m_mmsi, 206914217u);
        EXPECT_EQ(vdm.last->m_latitude, kNoLatitude);
    }
}

TEST(AISShipType, Texts)
{
    struct Case
    {
        uint32_t type;
        const char* text;
    } cases[] = {{37, "Pleasure craft"},
                 {71, "Cargo ship:Haz A"},
                 {99, "Ship"},
                 {120, "Type 120"},
                 {0, "Unknown"},
                 {30, "Fishing"},
                 {39, "Type 39"},
                 {51, "Search and rescue"},
                 {58, "Medical"},
                 {84, "Tanker:Haz D"},
                 {65, "Passenger ship"},
                 {35, "Military"},
                 {31, "Towing"},
                 {45, "HSC"},
                 {33, "Dredging"},
                 {14, "1:Haz D"},
                 {24, "WIG:Haz D"},
                 {255, "Type 255"},
                 {29, "WIG"},
                 {40, "HSC"}};
    for (const auto& c : cases) {
        char out[25];
        ShipTypeText(c.type, out, sizeof out);
        EXPECT_STREQ(out, c.text) << c.type;
    }
    char small[5];
    ShipTypeText(65, small, sizeof small);
    EXPECT_STREQ(small, "Pass");
}

TEST(AISRegistry, EverySentenceTypeOfThisInputIsFound)
{
    struct Case
    {
        const char* line;
        const CNMEASentenceType* type;
    } cases[] = {
        {"!AIVDM,1,1,,A,0,0*00", &VDM::Type},
        {"!BSVDO,1,1,,A,0,0*00", &VDO::Type},
        {"$CDDSC,12,3380400790*00", &CNMEA_DSC::DSC::Type},
        {"$CDDSE,1,1,A,3380400790*00", &CNMEA_DSC::DSE::Type},
        {"$PTSX,SetStartTimer,0,5*00", &NMEA_PTSX::SetStartTimer::Type},
        {"$PTSX,SetStartLine,0,0,0,0*00", &NMEA_PTSX::SetStartLine::Type},
        {"$PTVDM,1,1*00", nullptr}, // a proprietary address is no talker
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindNMEASentenceType(c.line), c.type) << c.line;
}
