// AIS messages built bit by bit: armour, bit reader, reassembly of fragments
// and the fields of the decoded types with their "not available" values.
#include "ais/AISSentence.h"
#include "foundation/events/Clock.h"
#include "instruments/DataConnection.h"
#include "instruments/nmea/DSCSentences.h"
#include "instruments/nmea/PTSXSentences.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

using namespace CNEMA_AIS;

namespace {

// A payload written field by field, most significant bit first.
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
        for (int i = 0; i < chars; ++i)
            Put(i < int(text.size()) ? text[size_t(i)] % 64 : 0, 6);
        return *this;
    }
    // The first `count` bits, armoured and padded to whole characters.
    std::string Armour(size_t count = std::string::npos) const
    {
        std::string b = bits.substr(0, count), out;
        b.resize((b.size() + 5) / 6 * 6, '0');
        for (size_t i = 0; i < b.size(); i += 6) {
            const int v = std::stoi(b.substr(i, 6), nullptr, 2);
            out += char(v < 40 ? v + 48 : v + 56);
        }
        return out;
    }
};

bool Dispatch(const std::string& kind, int total, int number, const std::string& seq, char channel,
              const std::string& payload, CDataConnection* connection = nullptr)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, "!AI%s,%d,%d,%s,%c,%s,0", kind.c_str(), total, number, seq.c_str(),
                  channel, payload.c_str());
    AppendNMEAChecksum(buf, sizeof buf);
    return DispatchNMEALine(buf, connection);
}

template <class S> struct Catch : Listener<S>
{
    void Notify(const S& s) override
    {
        types.push_back(s.m_messageType);
        last = &s; // pooled: valid until the next sentence of its type
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
    void TearDown() override { SetClockForTesting(nullptr); }
    double now = 1.7e9;
    Catch<VDM> vdm;
    Catch<VDO> vdo;
};

} // namespace

TEST(AISPayload, ArmourBitsAndText)
{
    const std::pair<char, int> armour[] = {{'0', 0},  {'W', 39}, {'`', 40}, {'w', 63},
                                           {'X', -1}, {'_', -1}, {'x', -1}, {'\xff', -1}};
    for (const auto& [c, v] : armour)
        EXPECT_EQ(DearmourSixBit(c), v) << c;

    // Fields across word boundaries, signed and unsigned; nothing past the end.
    BitWriter w;
    w.Put(0x2A, 6).Put(-3, 20).Put(0x12345, 17).Put(0xDEADBEEF, 32).Put(-100000, 28);
    CAISPayload p;
    ASSERT_TRUE(p.Append(w.Armour().c_str()));
    CAISBitReader r(p);
    uint32_t u = 0;
    int32_t s = 0;
    EXPECT_TRUE(r.Unsigned(6, u) && u == 0x2Au);
    EXPECT_TRUE(r.Signed(20, s) && s == -3);
    EXPECT_TRUE(r.Unsigned(17, u) && u == 0x12345u);
    EXPECT_TRUE(r.Unsigned(32, u) && u == 0xDEADBEEFu);
    EXPECT_TRUE(r.Signed(28, s) && s == -100000);
    EXPECT_FALSE(r.Unsigned(6, u));
    EXPECT_FALSE(p.Append("00X0")); // refused whole
    EXPECT_EQ(p.BitCount(), w.Armour().size() * 6);
    CAISPayload big;
    ASSERT_TRUE(big.Append(std::string(200, 'w').c_str()));
    EXPECT_EQ(big.BitCount(), CAISPayload::kMaxBits);

    // Text two bits into the payload: trailing "@" and spaces go, whole characters only.
    const std::tuple<std::string, size_t, const char*> texts[] = {
        {"SEA@ENTER", 122, "SEA@ENTER"},
        {"ABCDEFGH", 122, "ABCDEFGH"},
        {"NAME  ", 122, "NAME"},
        {"R'DAM/LW", 122, "R'DAM/LW"},
        {"ABCDEFGHIJKLMNOPQRST", 120, "ABCDEFGHIJKLMNOPQRS"},
        {"ABCDEFGHIJKLMNOPQRST", 12, "A"},
        {"ABCDEFGHIJKLMNOPQRST", 6, ""}};
    for (const auto& [text, bits, expected] : texts) {
        BitWriter t;
        t.Put(0, 2).Text(text, 20);
        CAISPayload tp;
        ASSERT_TRUE(tp.Append(t.Armour(bits).c_str()));
        char out[21];
        CAISBitReader(tp, 2).Text(120, out, sizeof out);
        EXPECT_STREQ(out, expected) << text << " " << bits;
    }
    char small[4];
    CAISBitReader(p).Text(42, small, sizeof small);
    EXPECT_EQ(std::strlen(small), 3u);
}

TEST_F(AISTest, PositionReportsAndNotAvailable)
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
        {10, 1023, 0, 0, 3600, 472, true, 4.464f, 0, 0, 0, 999, 511},
        {-10, 1001, 108600000, 54600000, 4095, 360, true, -4.464f, 0, 91, 181, 999, 511},
        {0, 1000, 1000, -60900000, 3599, 359, true, 0, 100, 91, 181, 359.9f, 359}, // latitude -101.5
        {0, 50, 1000, -59640000, 0, 0, true, 0, 5, 91, 181, 0, 0},                 // latitude -99.4
        {126, 50, -108000000, -54000000, 1, 1, true, 708.71f, 5, -90, -180, 0.1f, 1},
    };
    for (const auto& c : cases) {
        Dispatch("VDM", 1, 1, "", 'B', PositionReport(c.rot, c.sog, c.lon, c.lat, c.cog, c.heading).Armour());
        ASSERT_TRUE(vdm.last);
        const VDM& s = *vdm.last;
        const std::string at = std::to_string(c.lat) + " " + std::to_string(c.rot);
        EXPECT_EQ(s.m_messageType * 1000000000ull + s.m_mmsi, 1244660390ull) << at;
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
    // Search and rescue aircraft: speed 1023 is not available, not 1023 kn.
    BitWriter t9;
    t9.Put(9, 6).Put(0, 2).Put(111232511, 30).Put(303, 12).Put(1023, 10).Put(0, 1).Put(-600000, 28);
    t9.Put(600000, 27).Put(1234, 12).Put(15, 6).Put(0, 56);
    Dispatch("VDM", 1, 1, "", 'A', t9.Armour());
    EXPECT_EQ(vdm.last->m_altitude, 303u);
    EXPECT_EQ(vdm.last->m_sog, 0);
    EXPECT_NEAR(vdm.last->m_longitude, -1, 1e-12);
    EXPECT_NEAR(vdm.last->m_cog, 123.4, 1e-4);
}

TEST_F(AISTest, ShortMessagesReadOnlyWhatArrived)
{
    const BitWriter w = PositionReport(0, 55, 1000, 2000, 100, 90);
    Dispatch("VDM", 1, 1, "", 'A', w.Armour(36)); // cannot name an MMSI: refused
    EXPECT_TRUE(vdm.types.empty());
    Dispatch("VDM", 1, 1, "", 'A', w.Armour(48)); // type, MMSI, status; no speed, no position
    ASSERT_EQ(vdm.types.size(), 1u);
    EXPECT_EQ(vdm.last->m_mmsi, 244660390u);
    EXPECT_EQ(vdm.last->m_latitude, kNoLatitude);
    EXPECT_EQ(vdm.last->m_longitude, kNoLongitude);
    EXPECT_EQ(vdm.last->m_sog, 0);
    EXPECT_EQ(vdm.last->m_cog, kNoCourse);
    Dispatch("VDM", 1, 1, "", 'A', w.Armour(114)); // latitude cut short: no position
    EXPECT_NEAR(vdm.last->m_sog, 5.5, 1e-4);
    EXPECT_EQ(vdm.last->m_latitude, kNoLatitude);
    // A static report of 420 bits: the whole characters of its destination.
    Dispatch("VDM", 1, 1, "", 'A', StaticReport("ABCDEFGH", "ABCDEFGHIJKLMNOPQRST").Armour(420));
    EXPECT_STREQ(vdm.last->m_destination, "ABCDEFGHIJKLMNOPQRS");
    EXPECT_STREQ(vdm.last->m_name, "ABCDEFGH"); // eight letters and twelve "@"
    EXPECT_NEAR(vdm.last->m_draught, 3.1, 1e-5);
    std::string bad = w.Armour();
    bad[10] = 'x'; // outside the armour
    Dispatch("VDM", 1, 1, "", 'A', bad);
    EXPECT_EQ(vdm.types.size(), 3u);
}

TEST_F(AISTest, FragmentsAreReassembledPerSource)
{
    const std::string whole = StaticReport("SEA ENTERPRISE", "R'DAM").Armour();
    const std::string other = StaticReport("ANOTHER SHIP", "HULL").Armour();
    const std::map<char, std::string> parts = {{'a', whole.substr(0, 25)}, {'b', whole.substr(25, 25)},
                                               {'c', whole.substr(50)},    {'x', other.substr(0, 40)},
                                               {'y', other.substr(40)},    {'!', whole.substr(25, 25) + "~"}};
    CDataConnection first, second;
    // Steps "kind total number sequence channel part connection result": the
    // result is the type published, or "-" when the sentence is refused.
    const std::pair<const char*, std::vector<const char*>> cases[] = {
        {"in order", {"M311Aa-0", "M321Ab-0", "M331Ac-5"}},
        {"second without first", {"M321Ab--"}},
        {"lost middle", {"M311Aa-0", "M331Ac--", "M321Ab--", "M331Ac--", "M311Aa-0", "M321Ab-0", "M331Ac-5"}},
        {"interleaved channels", {"M316Ba-0", "M212Ax-0", "M222Ay-5", "M326Bb-0", "M336Bc-5"}},
        {"VDM and VDO apart", {"M311Aa-0", "O321Ab--"}},
        {"connections apart", {"M311Aa10", "M311Ax20", "M321Ab10", "M331Ac15"}},
        {"sequence ids apart", {"M311Aa-0", "M322Ab--"}},
        {"total changes", {"M311Aa-0", "M221Ab--", "M331Ac--"}},
        {"bad counts", {"M341Aa--", "M001Aa--"}},
        {"bad armour ends the message", {"M311Aa-0", "M321A!--", "M331Ac--"}},
        {"new first fragment restarts", {"M311Ax-0", "M311Aa-0", "M321Ab-0", "M331Ac-5"}},
    };
    for (const auto& [name, steps] : cases) {
        CAIS_Sentence::ResetReassembly();
        for (const char* st : steps) {
            vdm.types.clear();
            vdo.types.clear();
            CDataConnection* connection = st[6] == '1' ? &first : st[6] == '2' ? &second : nullptr;
            Dispatch(st[0] == 'M' ? "VDM" : "VDO", st[1] - '0', st[2] - '0', std::string(1, st[3]), st[4],
                     parts.at(st[5]), connection);
            const auto& types = st[0] == 'M' ? vdm.types : vdo.types;
            if (st[7] == '-') {
                EXPECT_TRUE(types.empty()) << name << " " << st;
                continue;
            }
            ASSERT_EQ(types.size(), 1u) << name << " " << st;
            EXPECT_EQ(types[0], uint32_t(st[7] - '0')) << name << " " << st;
            if (st[7] == '5') {
                const bool isOther = st[5] == 'y';
                EXPECT_STREQ(vdm.last->m_name, isOther ? "ANOTHER SHIP" : "SEA ENTERPRISE") << name;
                EXPECT_STREQ(vdm.last->m_destination, isOther ? "HULL" : "R'DAM") << name;
                EXPECT_STREQ(vdm.last->m_callSign, "HP6683") << name;
                EXPECT_EQ(vdm.last->m_imo, 9266633u) << name;
                EXPECT_STREQ(vdm.last->m_shipTypeText, "Pleasure craft") << name;
                EXPECT_EQ(vdm.last->m_toBow * 1000 + vdm.last->m_toStern, 100010u) << name;
                EXPECT_EQ(vdm.last->m_etaMonth * 100 + vdm.last->m_etaDay, 1121u) << name;
            }
        }
    }
    // A partial message older than ten seconds is dropped.
    for (double wait : {9.0, 11.0}) {
        Dispatch("VDM", 2, 1, "3", 'A', whole.substr(0, 50));
        now += wait;
        Dispatch("VDM", 2, 2, "3", 'A', whole.substr(50));
        EXPECT_EQ(vdm.types.back(), wait < 10 ? 5u : 0u) << wait;
    }
}

TEST(AISShipType, Texts)
{
    const std::pair<uint32_t, const char*> cases[] = {{37, "Pleasure craft"},
                                                      {71, "Cargo ship:Haz A"},
                                                      {99, "Ship"},
                                                      {120, "Type 120"},
                                                      {0, "Unknown"},
                                                      {39, "Type 39"},
                                                      {51, "Search and rescue"},
                                                      {84, "Tanker:Haz D"},
                                                      {65, "Passenger ship"},
                                                      {14, "1:Haz D"},
                                                      {29, "WIG"},
                                                      {40, "HSC"},
                                                      {255, "Type 255"}};
    for (const auto& [type, text] : cases) {
        char out[25];
        ShipTypeText(type, out, sizeof out);
        EXPECT_STREQ(out, text) << type;
    }
    char small[5];
    ShipTypeText(65, small, sizeof small);
    EXPECT_STREQ(small, "Pass");
}

TEST(AISRegistry, EverySentenceTypeOfThisInputIsFound)
{
    const std::pair<const char*, const CNMEASentenceType*> cases[] = {
        {"!AIVDM,1,1,,A,0,0*00", &VDM::Type},
        {"!BSVDO,1,1,,A,0,0*00", &VDO::Type},
        {"$CDDSC,12,3380400790*00", &CNMEA_DSC::DSC::Type},
        {"$CDDSE,1,1,A,3380400790*00", &CNMEA_DSC::DSE::Type},
        {"$PTSX,SetStartTimer,0,5*00", &NMEA_PTSX::SetStartTimer::Type},
        {"$PTSX,SetStartLine,0,0,0,0*00", &NMEA_PTSX::SetStartLine::Type},
        {"$PTVDM,1,1*00", nullptr}, // a proprietary address is no talker
    };
    for (const auto& [line, type] : cases)
        EXPECT_EQ(FindNMEASentenceType(line), type) << line;
}
