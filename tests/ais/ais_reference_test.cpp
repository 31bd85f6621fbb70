// Decoding checked against another decoder's results for public AIS
// recordings (the shared reference data; skipped when it is absent).
#include "ais/AISSentence.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

using namespace CNEMA_AIS;

namespace {

// One decoded message, copied out of the pooled sentence.
struct Decoded
{
    uint32_t type, mmsi;
    double lat, lon;
    float sog, cog, draught;
    uint32_t heading, status, second, shipType, bow, stern, port, starboard, part, altitude;
    uint32_t year, month, day, hour, minute, utcSecond, etaMonth, etaDay, etaHour, etaMinute, imo;
    bool rateValid;
    std::string name, callSign, destination, vendor, line;
};

struct Collector : Listener<VDM>, Listener<VDO>
{
    void Notify(const VDM& s) override { Keep(s); }
    void Notify(const VDO& s) override { Keep(s); }
    void Keep(const CAIS_Sentence& s)
    {
        if (s.m_messageType == 0)
            return;
        Decoded d{s.m_messageType, s.m_mmsi,        s.m_latitude,
                  s.m_longitude,   s.m_sog,         s.m_cog,
                  s.m_draught,     s.m_heading,     s.m_navigationStatus,
                  s.m_second,      s.m_shipType,    s.m_toBow,
                  s.m_toStern,     s.m_toPort,      s.m_toStarboard,
                  s.m_partNumber,  s.m_altitude,    s.m_year,
                  s.m_month,       s.m_day,         s.m_hour,
                  s.m_minute,      s.m_utcSecond,   s.m_etaMonth,
                  s.m_etaDay,      s.m_etaHour,     s.m_etaMinute,
                  s.m_imo,         s.m_rateValid,   s.m_name,
                  s.m_callSign,    s.m_destination, s.m_vendorId,
                  current};
        messages.push_back(d);
    }
    std::vector<Decoded> messages;
    std::string current;
};

std::vector<std::string> Lines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string l;
    while (std::getline(in, l)) {
        while (!l.empty() && (l.back() == '\r' || l.back() == ' '))
            l.pop_back();
        if (!l.empty())
            lines.push_back(l);
    }
    return lines;
}

std::vector<Decoded> DecodeFile(const std::string& path)
{
    CAIS_Sentence::ResetReassembly();
    Collector c;
    for (const std::string& l : Lines(path)) {
        if (l[0] != '!' && l[0] != '$')
            continue;
        c.current = l;
        std::vector<char> buf(l.begin(), l.end());
        buf.push_back('\0');
        DispatchNMEALine(buf.data(), nullptr);
    }
    return c.messages;
}

// The value of a key of one flat JSON record.
std::optional<std::string> Field(const std::string& json, const std::string& key)
{
    const std::string k = "\"" + key + "\":";
    size_t at = json.find(k);
    if (at == std::string::npos)
        return std::nullopt;
    at += k.size();
    if (json[at] == '"') {
        std::string v;
        for (size_t i = at + 1; i < json.size() && json[i] != '"'; ++i) {
            if (json[i] == '\\' && i + 1 < json.size())
                ++i;
            v += json[i];
        }
        return v;
    }
    size_t end = json.find_first_of(",}", at);
    return json.substr(at, end - at);
}

long Number(const std::string& json, const std::string& key)
{
    auto v = Field(json, key);
    return v ? std::strtol(v->c_str(), nullptr, 10) : -99999;
}

std::vector<std::string> Records(const std::string& path)
{
    std::vector<std::string> out;
    for (const std::string& l : Lines(path))
        if (l.find("\"class\":\"AIS\"") != std::string::npos)
            out.push_back(l);
    return out;
}

// Unscaled position in 1/10000 minute as this decoder reports it.
void ExpectPosition(const Decoded& d, long lat, long lon, const std::string& where)
{
    if (std::labs(lat) > 54000000 || std::labs(lon) > 108000000) {
        EXPECT_EQ(d.lat, kNoLatitude) << where;
        EXPECT_EQ(d.lon, kNoLongitude) << where;
        return;
    }
    EXPECT_NEAR(d.lat, lat / 600000.0, 1e-9) << where;
    EXPECT_NEAR(d.lon, lon / 600000.0, 1e-9) << where;
}

void ExpectCourse(const Decoded& d, long course, const std::string& where)
{
    if (course >= 3600) {
        EXPECT_EQ(d.cog, kNoCourse) << where;
    } else {
        EXPECT_NEAR(d.cog, course * 0.1, 1e-4) << where;
    }
}

void ExpectSpeedTenths(const Decoded& d, long speed, const std::string& where)
{
    EXPECT_NEAR(d.sog, speed > 1000 ? 0 : speed * 0.1, 1e-4) << where;
}

void ExpectHeading(const Decoded& d, long heading, const std::string& where)
{
    EXPECT_EQ(d.heading, heading <= 359 ? uint32_t(heading) : kNoHeading) << where;
}

void ExpectDimensions(const Decoded& d, const std::string& r, const std::string& where)
{
    EXPECT_EQ(long(d.bow), Number(r, "to_bow")) << where;
    EXPECT_EQ(long(d.stern), Number(r, "to_stern")) << where;
    EXPECT_EQ(long(d.port), Number(r, "to_port")) << where;
    EXPECT_EQ(long(d.starboard), Number(r, "to_starboard")) << where;
}

// Names longer than 20 characters carry the rest in a name extension that
// this decoder does not read: only the first 20 characters are compared.
void ExpectText(const std::string& ours, const std::optional<std::string>& theirs, size_t limit,
                const std::string& where)
{
    ASSERT_TRUE(theirs) << where;
    EXPECT_EQ(ours, theirs->substr(0, limit)) << where;
}

void CompareStatic(const Decoded& d, const std::string& r, const std::string& where)
{
    EXPECT_EQ(long(d.imo), Number(r, "imo")) << where;
    ExpectText(d.callSign, Field(r, "callsign"), 7, where);
    ExpectText(d.name, Field(r, "shipname"), 20, where);
    ExpectText(d.destination, Field(r, "destination"), 20, where);
    EXPECT_EQ(long(d.shipType), Number(r, "shiptype")) << where;
    ExpectDimensions(d, r, where);
    EXPECT_NEAR(d.draught, Number(r, "draught") * 0.1, 1e-4) << where;
    char eta[16];
    std::snprintf(eta, sizeof eta, "%02u-%02uT%02u:%02uZ", d.etaMonth, d.etaDay, d.etaHour, d.etaMinute);
    EXPECT_EQ(eta, Field(r, "eta").value_or("")) << where;
}

} // namespace

TEST(AISReference, SampleMessagesMatchInOrder)
{
    TESSA_REQUIRE_TESTDATA("ais/sample.aivdm");
    TESSA_REQUIRE_TESTDATA("ais/sample.aivdm.ju.chk");
    const std::vector<Decoded> ours = DecodeFile(tessatest::TestDataFile("ais/sample.aivdm"));
    const std::vector<std::string> theirs = Records(tessatest::TestDataFile("ais/sample.aivdm.ju.chk"));
    ASSERT_FALSE(theirs.empty());

    // Messages the other decoder reports not at all: part A of a class B
    // static report has no record of its own there (the record of part B
    // carries both), and a part B without a part A before it is held back:
    // a repeated part B of 271041815 and the lone part B of 271020195.
    const std::set<std::pair<uint32_t, uint32_t>> heldBack = {{24, 271041815}, {24, 271020195}};
    size_t i = 0;
    std::vector<std::pair<uint32_t, uint32_t>> skipped;
    int compared = 0;
    for (const std::string& r : theirs) {
        const uint32_t type = uint32_t(Number(r, "type"));
        const uint32_t mmsi = uint32_t(Number(r, "mmsi"));
        auto matches = [&](const Decoded& d) {
            return d.type == type && d.mmsi == mmsi && !(type == 24 && d.part == 0);
        };
        while (i < ours.size() && !matches(ours[i])) {
            if (!(ours[i].type == 24 && ours[i].part == 0))
                skipped.emplace_back(ours[i].type, ours[i].mmsi);
            ++i;
        }
        ASSERT_LT(i, ours.size()) << "no message for " << r;
        const Decoded& d = ours[i++];
        const std::string where = d.line + "\n  " + r;
        ++compared;
        switch (type) {
        case 1:
        case 2:
        case 3:
            ExpectPosition(d, Number(r, "lat"), Number(r, "lon"), where);
            ExpectSpeedTenths(d, Number(r, "speed"), where);
            ExpectCourse(d, Number(r, "course"), where);
            ExpectHeading(d, Number(r, "heading"), where);
            EXPECT_EQ(long(d.status), Number(r, "status")) << where;
            EXPECT_EQ(long(d.second), Number(r, "second")) << where;
            EXPECT_EQ(d.rateValid, std::labs(Number(r, "turn")) < 127) << where;
            break;
        case 4:
        case 11: {
            ExpectPosition(d, Number(r, "lat"), Number(r, "lon"), where);
            char ts[32];
            std::snprintf(ts, sizeof ts, "%04u-%02u-%02uT%02u:%02u:%02uZ", d.year, d.month, d.day, d.hour,
                          d.minute, d.utcSecond);
            EXPECT_EQ(ts, Field(r, "timestamp").value_or("")) << where;
            break;
        }
        case 5:
            CompareStatic(d, r, where);
            break;
        case 9:
            ExpectPosition(d, Number(r, "lat"), Number(r, "lon"), where);
            EXPECT_EQ(long(d.altitude), Number(r, "alt")) << where;
            EXPECT_NEAR(d.sog, Number(r, "speed") == 1023 ? 0 : Number(r, "speed"), 1e-6) << where;
            ExpectCourse(d, Number(r, "course"), where);
            EXPECT_EQ(long(d.second), Number(r, "second")) << where;
            break;
        case 18:
        case 19:
            ExpectPosition(d, Number(r, "lat"), Number(r, "lon"), where);
            ExpectSpeedTenths(d, Number(r, "speed"), where);
            ExpectCourse(d, Number(r, "course"), where);
            ExpectHeading(d, Number(r, "heading"), where);
            EXPECT_EQ(long(d.second), Number(r, "second")) << where;
            if (type == 19) {
                ExpectText(d.name, Field(r, "shipname"), 20, where);
                EXPECT_EQ(long(d.shipType), Number(r, "shiptype")) << where;
                ExpectDimensions(d, r, where);
            }
            break;
        case 21:
            ExpectPosition(d, Number(r, "lat"), Number(r, "lon"), where);
            // Text ends only by trailing "@" and spaces here; the other
            // decoder ends it at the first "@", before the fill that follows.
            if (d.mmsi == 4000003) {
                EXPECT_EQ(d.name, "IBC G BUOY@?????????") << where;
            } else {
                ExpectText(d.name, Field(r, "name"), 20, where);
            }
            EXPECT_EQ(long(d.stern), Number(r, "to_stern")) << where;
            break;
        case 24:
            // The record holds both parts; this is part B, part A came just before.
            EXPECT_EQ(d.part, 1u) << where;
            EXPECT_EQ(long(d.shipType), Number(r, "shiptype")) << where;
            ExpectText(d.callSign, Field(r, "callsign"), 7, where);
            ExpectDimensions(d, r, where);
            // Its vendor id is split into maker, model and serial there; the
            // maker's three characters begin ours.
            EXPECT_EQ(d.vendor.substr(0, 3), Field(r, "vendorid").value_or("").substr(0, 3)) << where;
            // Part A of the same station, earlier in the recording.
            for (size_t a = i - 1; a-- > 0;) {
                if (ours[a].type == 24 && ours[a].part == 0 && ours[a].mmsi == mmsi) {
                    ExpectText(ours[a].name, Field(r, "shipname"), 20, where);
                    break;
                }
            }
            break;
        default:
            break;
        }
    }
    for (; i < ours.size(); ++i)
        if (!(ours[i].type == 24 && ours[i].part == 0))
            skipped.emplace_back(ours[i].type, ours[i].mmsi);
    for (const auto& s : skipped)
        EXPECT_TRUE(heldBack.count(s)) << "unexpected message type " << s.first << " MMSI " << s.second;
    EXPECT_EQ(compared, int(theirs.size()));
    // The interleaved block ("2,1,6,B", "2,1,2,A", "2,2,2,A", "2,2,6,B")
    // gives both static reports of its station.
    int interleaved = 0;
    for (const Decoded& d : ours)
        interleaved += d.type == 5 && d.mmsi == 271010059;
    EXPECT_EQ(interleaved, 2);
}

TEST(AISReference, StaticReportsTextsAndDimensions)
{
    for (const char* name : {"ais/ais_unpack_sixbit.log", "ais/ais-nmea.log"}) {
        const std::string log = tessatest::TestDataFile(name);
        const std::string chk = tessatest::TestDataFile(std::string(name) + ".chk");
        if (log.empty() || chk.empty())
            GTEST_SKIP() << "reference data " << name << " not found under ../shared/testdata; skipping";
        std::multimap<uint32_t, std::string> records;
        for (const std::string& r : Records(chk))
            records.emplace(uint32_t(Number(r, "mmsi")), r);
        int compared = 0;
        for (const Decoded& d : DecodeFile(log)) {
            if (d.type != 5 && !(d.type == 24 && d.part == 1))
                continue;
            auto range = records.equal_range(d.mmsi);
            const std::string* match = nullptr;
            for (auto it = range.first; it != range.second; ++it)
                if (Number(it->second, "type") == long(d.type))
                    match = &it->second;
            ASSERT_NE(match, nullptr) << name << ": " << d.line;
            const std::string where = std::string(name) + ": " + d.line + "\n  " + *match;
            if (d.type == 5) {
                CompareStatic(d, *match, where);
            } else {
                EXPECT_EQ(long(d.shipType), Number(*match, "shiptype")) << where;
                ExpectText(d.callSign, Field(*match, "callsign"), 7, where);
                ExpectDimensions(d, *match, where);
            }
            ++compared;
        }
        EXPECT_GT(compared, 5) << name;
    }
}

TEST(AISReference, ImpossibleValuesAreNotAvailable)
{
    TESSA_REQUIRE_TESTDATA("ais/typeexamples.nmea");
    // Latitude -101.5 with heading 472 (type 2), latitude -99.4 (type 9) and
    // the senders' own 91/181 (type 4).
    const std::pair<uint32_t, uint32_t> cases[] = {{2, 277315048}, {9, 400214919}, {4, 3669713}};
    const std::vector<Decoded> ours = DecodeFile(tessatest::TestDataFile("ais/typeexamples.nmea"));
    for (const auto& [type, mmsi] : cases) {
        int seen = 0;
        for (const Decoded& d : ours) {
            if (d.type != type || d.mmsi != mmsi)
                continue;
            ++seen;
            EXPECT_EQ(d.lat, kNoLatitude) << d.line;
            EXPECT_EQ(d.lon, kNoLongitude) << d.line;
            EXPECT_EQ(d.heading, kNoHeading) << d.line;
        }
        EXPECT_EQ(seen, 1) << mmsi;
    }
}
