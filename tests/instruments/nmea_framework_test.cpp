#include "ais/AISSentence.h"
#include "foundation/NumberText.h"
#include "instruments/DataConnection.h"
#include "instruments/nmea/GPSSentences.h"
#include "instruments/nmea/InstrumentSentences.h"
#include "instruments/nmea/NMEAFields.h"
#include "instruments/nmea/NMEAFilter.h"
#include "instruments/nmea/NMEASentence.h"
#include "instruments/nmea/NMEASentenceTypes.h"
#include "instruments/nmea/PTSXSentences.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Sentence classes of this test only, with codes no real sentence uses.
class ZzqSentence : public CNMEASentence
{
public:
    explicit ZzqSentence(CNMEASentenceType* type) : CNMEASentence(type) { ++created; }
    bool Parse(char* line) override
    {
        ++parsed;
        char* f[4];
        SplitNMEAFields(line, 4, f);
        first = f[1];
        return std::strcmp(f[1], "bad") != 0;
    }
    std::string first;
    static inline int created = 0;
    static inline int parsed = 0;
    static CNMEASentenceTypeOf<ZzqSentence> Type;
};
CNMEASentenceTypeOf<ZzqSentence> ZzqSentence::Type(3, "ZZQ");

class PzztSentence : public CNMEASentence
{
public:
    explicit PzztSentence(CNMEASentenceType* type) : CNMEASentence(type) {}
    bool Parse(char*) override { return true; }
    static CNMEASentenceTypeOf<PzztSentence> Type;
};
CNMEASentenceTypeOf<PzztSentence> PzztSentence::Type(1, "PZZT,Probe");

std::string WithChecksum(std::string body)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, "%s", body.c_str());
    AppendNMEAChecksum(buf, sizeof buf);
    return buf;
}

// The test's own types join the list only when registered.
class NMEADispatchTest : public ::testing::Test
{
protected:
    void SetUp() override { ZzqSentence::Type.Register(); }
};

bool Dispatch(std::string line, CDataConnection* connection = nullptr)
{
    std::vector<char> buf(line.begin(), line.end());
    buf.push_back('\0');
    return DispatchNMEALine(buf.data(), connection);
}

struct ZzqListener : Listener<ZzqSentence>
{
    explicit ZzqListener(int32_t priority = 0) : Listener<ZzqSentence>(priority) {}
    void Notify(const ZzqSentence& s) override
    {
        seen.push_back(s.first);
        connections.push_back(s.m_connection);
        objects.push_back(&s);
        if (stop)
            Source()->StopDelivery();
    }
    std::vector<std::string> seen;
    std::vector<CDataConnection*> connections;
    std::vector<const ZzqSentence*> objects;
    bool stop = false;
};

struct RawListener : Listener<CNMEA_Raw>
{
    void Notify(const CNMEA_Raw& r) override
    {
        texts.push_back(r.text);
        connections.push_back(r.connection);
    }
    std::vector<std::string> texts;
    std::vector<CDataConnection*> connections;
};

class RecordingConnection : public CDataConnection
{
public:
    bool Open() override { return true; }
    bool Write(const char* text) override
    {
        written.push_back(text);
        return true;
    }
    std::vector<std::string> written;
};

} // namespace

TEST(NMEAChecksumTest, VerifyAndAppend)
{
    const std::string rmc = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W";
    const struct
    {
        std::string line;
        bool good;
    } rows[] = {
        {"$GPGLL,2638.1726,N,08011.3892,W,030129.000,A,A*47", true},
        {"$GPGLL,2638.1726,N,08011.3892,W,030129.000,A,A*48", false},
        {"$GPGLL,2638.1726,N,08011.3892,W,030129.000,A,A", false},
        // Devices write the hex digits in either case.
        {rmc + "*6A", true},
        {rmc + "*6a", true},
        {rmc + "*6b", false},
        // The checksum needs both of its characters, and both must be hex digits.
        {"$GPGLL,2638*", false},
        {"$GPGLL,2638*4", false},
        {rmc + "*6", false},
        {"$AA*00", true},
        {"$AA*0G", false},
        {"$AA*g0", false},
        {"$AA* 0", false},
        {"GPGLL*00", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(VerifyNMEAChecksum(row.line.c_str()), row.good) << row.line;

    // What we send keeps upper case.
    EXPECT_EQ(WithChecksum(rmc), rmc + "*6A");
    char small[8] = "$AB";
    EXPECT_TRUE(AppendNMEAChecksum(small, sizeof small));
    EXPECT_STREQ(small, "$AB*03");
    char full[6] = "$ABCD";
    EXPECT_FALSE(AppendNMEAChecksum(full, sizeof full));
}

TEST(NMEAFilterTest, PatternsAndVerdicts)
{
    NMEAFilterList out;
    ASSERT_TRUE(AddNMEAFilter(out, "accept ??RMC"));
    ASSERT_TRUE(AddNMEAFilter(out, "  Reject GPRMC"));
    bool v = false;
    ApplyNMEAFilters(out, "$GPRMC,1*00", v);
    EXPECT_FALSE(v);
    v = false;
    ApplyNMEAFilters(out, "$GNRMC,1*00", v);
    EXPECT_TRUE(v);
    v = false;
    ApplyNMEAFilters(NMEAFilterList{}, "$GNRMC,1*00", v);
    EXPECT_FALSE(v); // an empty output list sends nothing

    NMEAFilterEntry e;
    ASSERT_TRUE(ParseNMEAFilter(e, "Accept EC"));
    EXPECT_EQ(e.action, 1);
    EXPECT_STREQ(e.pattern, "EC");
    ASSERT_TRUE(ParseNMEAFilter(e, "x GPGSV*12"));
    EXPECT_EQ(e.action, 0);
    EXPECT_STREQ(e.pattern, "GPGSV");
    ASSERT_TRUE(ParseNMEAFilter(e, "a ABCDEFGH"));
    EXPECT_STREQ(e.pattern, "ABCDEF");
    EXPECT_FALSE(ParseNMEAFilter(e, "   "));

    // '?' never matches past the end of a short line.
    ASSERT_TRUE(ParseNMEAFilter(e, "accept ??????"));
    EXPECT_FALSE(NMEAFilterMatches(e, "$GP"));
    EXPECT_FALSE(NMEAFilterMatches(e, "$GPRMC"));
    EXPECT_TRUE(NMEAFilterMatches(e, "$GPRMC,"));

    NMEAFilterList two;
    AddNMEAFilter(two, "Accept", "AI*");
    AddNMEAFilter(two, "accept", "GP"); // lower-case action text: reject
    EXPECT_EQ(two[0].action, 1);
    EXPECT_STREQ(two[0].pattern, "AI");
    EXPECT_EQ(two[1].action, 0);
}

TEST_F(NMEADispatchTest, TalkersGarbageAndProprietaryAddresses)
{
    ZzqListener listener;
    EXPECT_TRUE(Dispatch(WithChecksum("$GPZZQ,a")));
    EXPECT_TRUE(Dispatch(WithChecksum("$GNZZQ,b")));
    EXPECT_TRUE(Dispatch("xx\x01garbage" + WithChecksum("$IIZZQ,c") + "\r\n"));
    // A proprietary address is not a talker plus code.
    EXPECT_FALSE(Dispatch(WithChecksum("$PAZZQ,d")));
    EXPECT_FALSE(Dispatch(WithChecksum("$GPZZQ,bad"))); // the parser refused it
    EXPECT_FALSE(Dispatch("$GPZZQ,e*00"));              // wrong checksum
    EXPECT_FALSE(Dispatch("no start character"));
    EXPECT_FALSE(Dispatch("$GPZ"));
    EXPECT_EQ(listener.seen, (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(NMEADispatchTest, ParsesOnlyWithSubscribersAndReusesPooledObjects)
{
    int parsedBefore = ZzqSentence::parsed;
    EXPECT_FALSE(Dispatch(WithChecksum("$GPZZQ,a")));
    EXPECT_EQ(ZzqSentence::parsed, parsedBefore);

    ZzqListener listener;
    for (int i = 0; i < 5; ++i)
        Dispatch(WithChecksum("$GPZZQ,x"));
    ASSERT_EQ(listener.objects.size(), 5u);
    for (auto* o : listener.objects)
        EXPECT_EQ(o, listener.objects[0]);
    EXPECT_EQ(ZzqSentence::Type.m_pool, listener.objects[0]);
    EXPECT_EQ(listener.objects[0]->m_useCount, 0u);
}

TEST_F(NMEADispatchTest, RawRecordsAndTheStopFlag)
{
    RawListener raw;
    ZzqListener typed;
    RecordingConnection conn;
    std::string line = WithChecksum("$GPZZQ,a");
    EXPECT_TRUE(Dispatch(line + "\r\n", &conn));
    ASSERT_EQ(raw.texts.size(), 1u);
    EXPECT_EQ(raw.texts[0], line + "\r\n");
    EXPECT_EQ(raw.connections[0], &conn);
    EXPECT_EQ(typed.connections[0], &conn);

    // A subscriber that stops the typed delivery also holds back the raw record.
    typed.stop = true;
    EXPECT_TRUE(Dispatch(line));
    EXPECT_EQ(raw.texts.size(), 1u);
    typed.stop = false;

    // A line too long for a raw record gives an empty text.
    std::string longLine = WithChecksum("$GPXXX," + std::string(190, 'A'));
    ASSERT_GT(longLine.size(), kMaxRawLineLength);
    EXPECT_TRUE(Dispatch(longLine));
    EXPECT_EQ(raw.texts.back(), "");
    std::string edge = WithChecksum("$GPXXX," + std::string(197 - 10, 'A'));
    ASSERT_EQ(edge.size(), kMaxRawLineLength);
    EXPECT_TRUE(Dispatch(edge));
    EXPECT_EQ(raw.texts.back(), edge + "\r\n");
}

TEST_F(NMEADispatchTest, InputFilterOfTheDeliveringConnection)
{
    RawListener raw;
    RecordingConnection conn;
    AddNMEAFilter(conn.m_inputFilters, "reject ??GSV");
    EXPECT_FALSE(Dispatch(WithChecksum("$GPGSV,1"), &conn));
    EXPECT_TRUE(Dispatch(WithChecksum("$GPGSV,1"), nullptr)); // no connection: no filter
    EXPECT_TRUE(Dispatch(WithChecksum("$GPRMC,1"), &conn));
    EXPECT_EQ(raw.texts.size(), 2u);
}

TEST(NMEASendTest, OutputFiltersLengthsAndOwnLines)
{
    RecordingConnection a, b;
    AddNMEAFilter(a.m_outputFilters, "accept EC");
    AddNMEAFilter(b.m_outputFilters, "accept ??RMB");
    CNMEA_Raw record;
    ClearNMEAOutput(record);
    std::snprintf(record.text, sizeof record.text, "$ECRMB,A");
    EXPECT_TRUE(SendNMEASentence(record));
    ASSERT_EQ(a.written.size(), 1u);
    EXPECT_EQ(a.written[0], WithChecksum("$ECRMB,A") + "\r\n");
    EXPECT_EQ(b.written.size(), 1u);

    // 194 characters go out as 199; 195 are not sent.
    ClearNMEAOutput(record);
    std::string t194 = "$EC" + std::string(191, 'X');
    std::snprintf(record.text, sizeof record.text, "%s", t194.c_str());
    EXPECT_TRUE(SendNMEASentence(record));
    EXPECT_EQ(a.written.back().size(), 199u);
    ClearNMEAOutput(record);
    std::string t195 = t194 + "X";
    std::snprintf(record.text, sizeof record.text, "%s", t195.c_str());
    size_t before = a.written.size();
    EXPECT_FALSE(SendNMEASentence(record));
    EXPECT_EQ(a.written.size(), before);

    // A received line is forwarded to the other connection, never back to its own.
    AddNMEAFilter(a.m_outputFilters, "accept GP");
    AddNMEAFilter(b.m_outputFilters, "accept GP");
    before = a.written.size();
    size_t beforeB = b.written.size();
    Dispatch(WithChecksum("$GPGGA,1"), &a);
    EXPECT_EQ(a.written.size(), before);
    EXPECT_EQ(b.written.size(), beforeB + 1);

    // Without raw-record subscription a connection gets nothing.
    b.StopRawRecords();
    ClearNMEAOutput(record);
    std::snprintf(record.text, sizeof record.text, "$ECRMB,B");
    SendNMEASentence(record);
    EXPECT_EQ(b.written.size(), beforeB + 1);
    b.StartRawRecords();
    EXPECT_TRUE(b.ReceivesRawRecords());
}

TEST(NMEAFieldsTest, SplitAndNumbers)
{
    char line[] = "$GPRMC,a,,c*4F";
    char* f[6];
    SplitNMEAFields(line, 6, f);
    EXPECT_STREQ(f[0], "$GPRMC");
    EXPECT_STREQ(f[1], "a");
    EXPECT_STREQ(f[2], "");
    EXPECT_STREQ(f[3], "c");
    EXPECT_STREQ(f[4], "");
    EXPECT_STREQ(f[5], "");

    double v = 42;
    for (const char* bad : {"", "nan", "inf", "-inf", "1e5", "0x10", "1,5", " 1", "1.2.3", "-", "."}) {
        EXPECT_FALSE(ParseNMEANumber(bad, v)) << bad;
        EXPECT_EQ(v, 42);
    }
    EXPECT_TRUE(ParseNMEANumber("-12.50", v));
    EXPECT_EQ(v, -12.5);
    EXPECT_EQ(NMEANumberOr("x", 999), 999);
}

TEST(NMEAFieldsTest, PositionsTimesAndDatesUnderAGermanLocale)
{
    const char* old = std::setlocale(LC_ALL, nullptr);
    std::string saved = old ? old : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        GTEST_SKIP() << "de_DE.UTF-8 locale not installed";

    // Positions are read by the point; 0.0 stands for "no position".
    const struct
    {
        bool longitude;
        const char *value, *hemisphere;
        double expected;
    } positions[] = {
        {false, "5130.5", "N", 51 + 30.5 / 60},
        {false, "5130.5", "S", -(51 + 30.5 / 60)},
        {false, "530.5", "N", 5 + 30.5 / 60}, // receivers drop the leading zero
        {false, "0530.5", "S", -(5 + 30.5 / 60)},
        {false, "00030.5", "N", 0.0}, // three digits of degrees: not a latitude
        {false, "30.5", "N", 0.0},    // no degrees at all
        {false, "", "N", 0.0},
        {false, "51nan", "N", 0.0},
        {false, "5160.0", "N", 0.0}, // minutes 60
        {false, "9000.0", "N", 90.0},
        {false, "9000.1", "N", 0.0},
        {false, "-530.5", "N", 0.0},
        {false, "+530.5", "N", 0.0},
        {false, "5130", "N", 0.0}, // no point
        {false, "51 30.5", "N", 0.0},
        {false, "5130.5e1", "N", 0.0},
        {true, "08011.3892", "W", -(80 + 11.3892 / 60)},
        {true, "8011.3892", "W", -(80 + 11.3892 / 60)},
        {true, "1142.5722", "E", 11 + 42.5722 / 60},
        {true, "142.5722", "E", 1 + 42.5722 / 60},
        {true, "17959.9999", "W", -(179 + 59.9999 / 60)},
        {true, "18000.0001", "E", 0.0},
        {true, "001142.5722", "E", 0.0}, // four digits of degrees
        {true, "42.5722", "E", 0.0},
        {true, "11a2.5722", "E", 0.0},
        {true, "1142.57x2", "E", 0.0},
        {true, "1142.5722.1", "E", 0.0},
    };
    for (const auto& p : positions) {
        const double got = p.longitude ? ParseNMEALongitude(p.value, p.hemisphere)
                                       : ParseNMEALatitude(p.value, p.hemisphere);
        EXPECT_NEAR(got, p.expected, 1e-12) << p.value << " " << p.hemisphere;
    }

    EXPECT_EQ(ParseNMEATime("123456"), 12 * 3600 + 34 * 60 + 56);
    EXPECT_EQ(ParseNMEATime("123456.789"), 12 * 3600 + 34 * 60 + 56);
    EXPECT_EQ(ParseNMEATime(""), 0);

    EXPECT_EQ(ParseNMEADate("010100"), 946684800.0);  // 2000-01-01
    EXPECT_EQ(ParseNMEADate("311299"), 4102358400.0); // 2099-12-31
    EXPECT_EQ(ParseNMEADate("311299"), 4102358400.0); // cached
    EXPECT_EQ(ParseNMEADate(""), 0.0);

    char dst[5];
    CopyNMEAText(dst, "abcdefgh", sizeof dst);
    EXPECT_STREQ(dst, "abcd");
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(NMEARegistryTest, TypesInMatchingOrderAndOthersOnlyOnceRegistered)
{
    // Start-up (and the test main) registers the instruments' types, then the AIS ones.
    const std::vector<std::string> expected = {"RMC",
                                               "GGA",
                                               "VTG",
                                               "GSA",
                                               "GSV",
                                               "MWV",
                                               "MWD",
                                               "VHW",
                                               "HDG",
                                               "DPT",
                                               "DBT",
                                               "MTW",
                                               "RSA",
                                               "RPM",
                                               "XDR",
                                               "PTSX,SetStartTimer",
                                               "PTSX,SetStartLine",
                                               "DSC",
                                               "DSE",
                                               "VDM",
                                               "VDO"};
    auto codes = [] {
        std::vector<std::string> listed;
        for (CNMEASentenceType* t = CNMEASentenceType::First(); t; t = t->m_next)
            listed.emplace_back(t->m_code);
        return listed;
    };
    // Types of other tests registered before this one come after these.
    const std::vector<std::string> before = codes();
    ASSERT_GE(before.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(before.begin(), before.begin() + expected.size()), expected);
    RegisterNMEASentenceTypes();
    RegisterAISSentenceTypes();
    EXPECT_EQ(codes(), before) << "a second registration adds nothing";

    // A type outside the lists is matched only once registered, after them.
    EXPECT_EQ(FindNMEASentenceType("$PZZT,Probe,1"), nullptr);
    PzztSentence::Type.Register();
    PzztSentence::Type.Register();
    EXPECT_EQ(FindNMEASentenceType("$PZZT,Probe,1"), &PzztSentence::Type);
    EXPECT_EQ(FindNMEASentenceType("$PZZT,Other"), nullptr);
    std::vector<std::string> withProbe = before;
    withProbe.emplace_back("PZZT,Probe");
    EXPECT_EQ(codes(), withProbe);
}

namespace {

// Probe types of the look-up test: a code shorter than a key, and keyed codes
// whose lines other types also take, registered on both sides of the short one.
template <int N> class ProbeSentence : public CNMEASentence
{
public:
    explicit ProbeSentence(CNMEASentenceType* type) : CNMEASentence(type) {}
    bool Parse(char*) override { return true; }
    static CNMEASentenceTypeOf<ProbeSentence> Type;
};
template <> CNMEASentenceTypeOf<ProbeSentence<1>> ProbeSentence<1>::Type(1, "PTSX,Set");
template <> CNMEASentenceTypeOf<ProbeSentence<2>> ProbeSentence<2>::Type(4, "Z");
template <> CNMEASentenceTypeOf<ProbeSentence<3>> ProbeSentence<3>::Type(3, "ZZW");
template <> CNMEASentenceTypeOf<ProbeSentence<4>> ProbeSentence<4>::Type(0, "$QQ");

// The rule every look-up must keep: the first registered type that matches.
CNMEASentenceType* FirstMatchingType(const char* line)
{
    for (CNMEASentenceType* t = CNMEASentenceType::First(); t; t = t->m_next)
        if (t->Matches(line))
            return t;
    return nullptr;
}

} // namespace

TEST_F(NMEADispatchTest, LookupFindsTheFirstRegisteredMatchingType)
{
    ProbeSentence<1>::Type.Register();
    ProbeSentence<2>::Type.Register();
    ProbeSentence<3>::Type.Register();
    ProbeSentence<4>::Type.Register();
    const std::vector<std::pair<const char*, CNMEASentenceType*>> cases = {
        {"$GPRMC,1", &CNMEA_GPS::RMC::Type},
        {"$IIRMC", &CNMEA_GPS::RMC::Type},
        {"$GPRMCX,1", &CNMEA_GPS::RMC::Type}, // codes are prefixes
        {"!AIVDO,1", &CNEMA_AIS::VDO::Type},
        {"$PTSX,SetStartTimer,1", &NMEA_PTSX::SetStartTimer::Type},
        {"$PTSX,SetStartLine,1", &NMEA_PTSX::SetStartLine::Type},
        {"$PTSX,SetOther", &ProbeSentence<1>::Type}, // same key, later type
        {"$PTSX,Se", nullptr},
        {"$PGRMC,1", nullptr}, // proprietary, not a talker and RMC
        {"$GPZZQ,a", &ZzqSentence::Type},
        {"$GPZZW,a", &ProbeSentence<2>::Type}, // the short code came first
        {"$GPAZ", &ProbeSentence<2>::Type},
        {"$QQXYZ", &ProbeSentence<4>::Type},
        {"$QQRMC", &CNMEA_GPS::RMC::Type}, // across offsets too, the earlier type
        {"$GP", nullptr},
        {"$GPRM", nullptr},
        {"", nullptr},
    };
    for (const auto& [line, expected] : cases) {
        EXPECT_EQ(FindNMEASentenceType(line), expected) << line;
        EXPECT_EQ(FindNMEASentenceType(line), FirstMatchingType(line)) << line;
    }
}

TEST(NMEAFieldsTest, NumbersAndChecksumsAgreeWithTheGeneralRules)
{
    // Numbers: the same acceptance and the same double, bit for bit.
    // clang-format off
    std::vector<std::string> fields = {"181.6", "-0.25", "5.", ".5", "-.5", "-0", "000123.4500",
                                       "9007199254740992", "9007199254740993", "123456789.123456789",
                                       "0.0000000000000000000001", "0.00000000000000000000001",
                                       "1e5", "+1", "1.2.3", "-", ".", "12a", "--1"};
    // clang-format on
    for (int i = 0; i < 2000; ++i) {
        char text[40];
        std::snprintf(text, sizeof text, "%.*f", i % 9, (i * 7919 % 100003) * (i % 2 ? -0.0137 : 3.1));
        fields.emplace_back(text);
    }
    for (const std::string& field : fields) {
        double fast = 1234.5, general = 1234.5;
        const bool fastOk = ParseNMEANumber(field.c_str(), fast);
        const bool generalOk = ParsePlainDecimal(field, general);
        EXPECT_EQ(fastOk, generalOk) << field;
        EXPECT_EQ(std::memcmp(&fast, &general, sizeof fast), 0) << field << ": " << fast << " " << general;
    }
    // Checksums: a body of every length around the word size, then faults.
    std::string body = "$GP";
    for (int n = 0; n < 20; ++n, body += char('A' + n)) {
        const std::string good = WithChecksum(body);
        EXPECT_TRUE(VerifyNMEAChecksum(good.c_str())) << good;
        std::string bad = good;
        bad[bad.size() - 1] = bad.back() == '0' ? '1' : '0';
        EXPECT_FALSE(VerifyNMEAChecksum(bad.c_str())) << bad;
    }
    for (const char* line : {"$GPZZQ,e*00", "$GPZZQ,e*4", "$GPZZQ,e", "GPZZQ,e*0F", ""})
        EXPECT_FALSE(VerifyNMEAChecksum(line)) << line;
    EXPECT_TRUE(VerifyNMEAChecksum("$GPZZQ,e*0ftrailing"));
}
