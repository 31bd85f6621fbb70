#include "instruments/nmea/GPSSentences.h"
#include "instruments/nmea/InstrumentSentences.h"
#include "instruments/nmea/NMEAFields.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <optional>
#include <string>

namespace {

// Dispatches one line (checksum added) and returns a copy of what subscribers saw.
template <class S> struct Catch : Listener<S>
{
    void Notify(const S& s) override
    {
        ++count;
        last = &s;
        copy(s);
    }
    std::function<void(const S&)> copy = [](const S&) {};
    int count = 0;
    const S* last = nullptr;
};

bool Send(const std::string& body)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, "%s", body.c_str());
    AppendNMEAChecksum(buf, sizeof buf);
    return DispatchNMEALine(buf, nullptr);
}

} // namespace

TEST(NMEAFieldValidityTest, PositionsTimesAndDates)
{
    double lat = 7, lon = 7;
    EXPECT_TRUE(ParseNMEAPosition("5130.5000", "N", "00007.5000", "W", lat, lon));
    EXPECT_NEAR(lat, 51.508333333, 1e-9);
    EXPECT_NEAR(lon, -0.125, 1e-12);
    EXPECT_TRUE(ParseNMEAPosition("530.5", "S", "1142.5722", "E", lat, lon));
    EXPECT_NEAR(lat, -(5 + 30.5 / 60), 1e-12);
    EXPECT_NEAR(lon, 11 + 42.5722 / 60, 1e-12);
    struct Bad
    {
        const char *lat, *ns, *lon, *ew;
    } bad[] = {
        {"9999.99", "N", "00000.0", "E"}, {"5130.5", "N", "99999.9", "E"},  {"5160.0", "N", "00000.0", "E"},
        {"5130.5", "X", "00000.0", "E"},  {"5130.5", "N", "", "E"},         {"51", "N", "00000.0", "E"},
        {"51a0.5", "N", "00000.0", "E"},  {"9000.1", "N", "00000.0", "E"},  {"5130.5", "N", "18000.1", "W"},
        {"5130.5", "N", "42.5", "E"},     {"5130.5", "N", "001142.5", "E"}, {"-530.5", "N", "00000.0", "E"},
        {"5130.5", "N", "1160.0", "E"},   {"5130.5", "N", "1142", "E"}};
    for (const auto& b : bad) {
        lat = lon = 7;
        EXPECT_FALSE(ParseNMEAPosition(b.lat, b.ns, b.lon, b.ew, lat, lon)) << b.lat << " " << b.lon;
        EXPECT_EQ(lat, 7);
        EXPECT_EQ(lon, 7);
    }
    int t = -1;
    EXPECT_TRUE(ParseNMEATimeChecked("235960.5", t)); // leap second
    EXPECT_FALSE(ParseNMEATimeChecked("999999", t));
    EXPECT_FALSE(ParseNMEATimeChecked("2400001", t));
    EXPECT_EQ(ParseNMEATime("999999"), 0);
    double d = -1;
    EXPECT_FALSE(ParseNMEADateChecked("321299", d));
    EXPECT_FALSE(ParseNMEADateChecked("011399", d));
    EXPECT_FALSE(ParseNMEADateChecked("290223", d)); // 2023 is no leap year
    EXPECT_TRUE(ParseNMEADateChecked("290224", d));
    EXPECT_FALSE(ParseNMEADateChecked("0101", d));
    char dst[1] = {'x'};
    CopyNMEAText(dst, "abc", 0); // nothing written
    EXPECT_EQ(dst[0], 'x');
}

TEST(GPSSentencesTest, RmcValidityPositionAndTime)
{
    Catch<CNMEA_GPS::RMC> rmc;
    struct Seen
    {
        bool valid, hasPos, hasTime;
        double lat, lon, time;
        float sog, cog;
        char talker;
    } seen{};
    rmc.copy = [&](const CNMEA_GPS::RMC& s) {
        seen = {s.m_valid, s.m_hasPosition, s.m_hasTime, s.m_latitude, s.m_longitude,
                s.m_time,  s.m_sog,         s.m_cog,     s.m_talker};
    };
    ASSERT_TRUE(Send("$GNRMC,030131.0,A,2638.1728,N,08011.3893,W,0.50,219.6,010413,,"));
    EXPECT_TRUE(seen.valid);
    EXPECT_TRUE(seen.hasPos);
    EXPECT_EQ(seen.talker, 'N');
    EXPECT_NEAR(seen.lat, 26 + 38.1728 / 60, 1e-12);
    EXPECT_NEAR(seen.lon, -(80 + 11.3893 / 60), 1e-12);
    EXPECT_EQ(seen.time, 1364774400.0 + 3 * 3600 + 1 * 60 + 31); // 2013-04-01 03:01:31 UTC
    EXPECT_FLOAT_EQ(seen.sog, 0.5f);
    EXPECT_FLOAT_EQ(seen.cog, 219.6f);

    Send("$GPRMC,030131.0,V,2638.1728,N,08011.3893,W,0.0,,010413,,,A");
    EXPECT_TRUE(seen.valid);     // mode A despite status V
    EXPECT_EQ(seen.cog, 999.0f); // an empty course is unknown, never north
    Send("$GPRMC,030131.0,V,2638.1728,N,08011.3893,W,0.0,,010413,,,");
    EXPECT_FALSE(seen.valid);
    Send("$GPRMC,030131.0,V,2638.1728,N,08011.3893,W,0.0,,010413,,,N");
    EXPECT_FALSE(seen.valid);
    // Empty position fields: no position. A bad half: no position either.
    Send("$GPRMC,030131.0,A,,,,,0.0,,010413,,");
    EXPECT_FALSE(seen.hasPos);
    EXPECT_EQ(seen.lat, 0);
    Send("$GPRMC,030131.0,A,5130.5,N,99999.9,E,0.0,,010413,,");
    EXPECT_FALSE(seen.hasPos);
    // An empty or impossible date leaves the time to the delivery.
    Send("$GPRMC,030131.0,A,5130.5,N,00000.0,E,0.0,,,,");
    EXPECT_FALSE(seen.hasTime);
    Send("$GPRMC,030131.0,A,5130.5,N,00000.0,E,0.0,,321399,,");
    EXPECT_FALSE(seen.hasTime);
    // A proprietary sentence is not an RMC.
    int before = rmc.count;
    Send("$PGRMC,030131.0,A,5130.5,N,00000.0,E");
    EXPECT_EQ(rmc.count, before);
}

TEST(GPSSentencesTest, LinesAsReceiversWriteThem)
{
    // Whole lines with their own checksums: short longitudes, lower-case hex.
    Catch<CNMEA_GPS::RMC> rmc;
    Catch<CNMEA_GPS::GGA> gga;
    const struct
    {
        const char* line;
        bool delivered;
    } rows[] = {
        {"$GNRMC,060512.00,A,2232.0186,N,1142.5722,E,0.011,45.6,250324,,,A*4F", true},
        {"$GNRMC,060512.00,A,2232.0186,N,1142.5722,E,0.011,45.6,250324,,,A*4f", true},
        {"$GNRMC,060512.00,A,2232.0186,N,1142.5722,E,0.011,45.6,250324,,,A*4e", false},
        {"$GNRMC,060512.00,A,2232.0186,N,1142.5722,E,0.011,45.6,250324,,,A*4", false},
        {"$GPGGA,060512.00,2232.0186,N,1142.5722,E,1,08,0.9,42.1,M,-2.4,M,,*7b", true},
    };
    for (const auto& row : rows) {
        const int before = rmc.count + gga.count;
        char buf[200];
        std::snprintf(buf, sizeof buf, "%s", row.line);
        EXPECT_EQ(DispatchNMEALine(buf, nullptr), row.delivered) << row.line;
        ASSERT_EQ(rmc.count + gga.count, before + (row.delivered ? 1 : 0)) << row.line;
        if (!row.delivered)
            continue;
        const CNMEA_GPS::GGA* g = std::strstr(row.line, "GGA") ? gga.last : nullptr;
        EXPECT_TRUE(g ? g->m_hasPosition : rmc.last->m_hasPosition) << row.line;
        EXPECT_NEAR(g ? g->m_latitude : rmc.last->m_latitude, 22 + 32.0186 / 60, 1e-12) << row.line;
        EXPECT_NEAR(g ? g->m_longitude : rmc.last->m_longitude, 11 + 42.5722 / 60, 1e-12) << row.line;
    }
}

TEST(GPSSentencesTest, GgaVtgGsaGsv)
{
    Catch<CNMEA_GPS::GGA> gga;
    Catch<CNMEA_GPS::VTG> vtg;
    Catch<CNMEA_GPS::GSA> gsa;
    Catch<CNMEA_GPS::GSV> gsv;
    ASSERT_TRUE(Send("$GPGGA,193221.00,2037.72792,N,08704.08478,W,2,04,1.7,-30.40,M,-13.9,M,,"));
    EXPECT_TRUE(gga.last->m_hasPosition);
    EXPECT_EQ(gga.last->m_quality, 2);
    EXPECT_EQ(gga.last->m_satellites, 4);
    EXPECT_FLOAT_EQ(gga.last->m_hdop, 1.7f);
    EXPECT_FLOAT_EQ(gga.last->m_altitude, -30.4f);
    Send("$GPGGA,,,,,,,,,,M,,M,,");
    EXPECT_FALSE(gga.last->m_hasPosition);
    EXPECT_EQ(gga.last->m_quality, -1);

    Send("$GPVTG,,T,,M,,N,,K,N");
    EXPECT_EQ(vtg.last->m_cog, 999.0f);
    EXPECT_EQ(vtg.last->m_sog, 0.0f);
    Send("$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K");
    EXPECT_FLOAT_EQ(vtg.last->m_cog, 54.7f);
    EXPECT_FLOAT_EQ(vtg.last->m_sog, 5.5f);

    Send("$GNGSA,A,3,03,19,301,,,,,,,,,,1.5,0.9,1.2");
    EXPECT_EQ(gsa.last->m_mode, 'A');
    EXPECT_EQ(gsa.last->m_fixType, 3);
    EXPECT_EQ(gsa.last->m_prn[0], 3);
    EXPECT_EQ(gsa.last->m_prn[2], 301); // numbers above 255 are kept
    EXPECT_EQ(gsa.last->m_prn[3], 0);
    EXPECT_FLOAT_EQ(gsa.last->m_vdop, 1.2f);

    Send("$GPGSV,3,3,11,20,09,138,36,13,04,183,51,32,03,113,44,,,,");
    EXPECT_EQ(gsv.last->m_messages, 3);
    EXPECT_EQ(gsv.last->m_messageNumber, 3);
    EXPECT_EQ(gsv.last->m_inView, 11);
    EXPECT_EQ(gsv.last->m_satellites[1].prn, 13);
    EXPECT_EQ(gsv.last->m_satellites[1].azimuth, 183);
    EXPECT_EQ(gsv.last->m_satellites[3].prn, 0);
}

TEST(InstrumentSentencesTest, WindUnitsAndValidity)
{
    Catch<CNMEA_Instruments::MWV> mwv;
    Catch<CNMEA_Instruments::MWD> mwd;
    ASSERT_TRUE(Send("$IIMWV,45.0,R,12.0,K,A"));
    EXPECT_FLOAT_EQ(mwv.last->m_angle, 45.0f);
    EXPECT_NEAR(mwv.last->m_speed, 6.48, 0.001);
    EXPECT_FALSE(mwv.last->m_true);
    EXPECT_FALSE(Send("$IIMWV,45.0,R,12.0,K,V"));
    EXPECT_EQ(mwv.count, 1);
    Send("$IIMWV,45.0,T,10,M,A");
    EXPECT_NEAR(mwv.last->m_speed, 19.44, 0.002);
    EXPECT_TRUE(mwv.last->m_true);
    Send("$IIMWV,45.0,T,10,S,A");
    EXPECT_NEAR(mwv.last->m_speed, 8.69, 0.001);
    EXPECT_FALSE(Send("$IIMWV,45.0,X,10,N,A"));
    EXPECT_FALSE(Send("$IIMWV,,R,,N,A")); // no reading at all

    EXPECT_TRUE(Send("$WIMWD,328.2,T,326.8,M,11.2,N,5.8,M"));
    EXPECT_FLOAT_EQ(mwd.last->m_direction, 328.2f);
    EXPECT_FLOAT_EQ(mwd.last->m_speed, 11.2f);
    EXPECT_FALSE(Send("$WIMWD,328.2,M,326.8,M,11.2,N,5.8,M"));
    EXPECT_EQ(mwd.count, 1);
}

TEST(InstrumentSentencesTest, HeadingDepthTemperatureAndEngines)
{
    Catch<CNMEA_Instruments::HDG> hdg;
    Catch<CNMEA_Instruments::DPT> dpt;
    Catch<CNMEA_Instruments::DBT> dbt;
    Catch<CNMEA_Instruments::MTW> mtw;
    Catch<CNMEA_Instruments::VHW> vhw;
    Catch<CNMEA_Instruments::RPM> rpm;
    Catch<CNMEA_Instruments::RSA> rsa;
    Catch<CNMEA_Instruments::XDR> xdr;

    ASSERT_TRUE(Send("$SDHDG,229.8,2.0,W,1.3,E"));
    EXPECT_FLOAT_EQ(hdg.last->m_heading, 229.8f);
    EXPECT_FLOAT_EQ(hdg.last->m_deviation, -2.0f);
    EXPECT_FLOAT_EQ(hdg.last->m_variation, 1.3f);
    for (const char* bad : {"$IIHDG,,,,,", "$IIHDG,999.9,,,,", "$IIHDG,-500,,,,", "$IIHDG,nan,,,,"})
        EXPECT_FALSE(Send(bad)) << bad;

    Send("$SDDPT,4.5,-1.2");
    EXPECT_FLOAT_EQ(dpt.last->m_depth, 4.5f);
    EXPECT_FLOAT_EQ(dpt.last->m_waterlineOffset, 0.0f);
    EXPECT_FLOAT_EQ(dpt.last->m_keelOffset, 1.2f);
    Send("$SDDPT,5.3,0.4,");
    EXPECT_FLOAT_EQ(dpt.last->m_waterlineOffset, 0.4f);
    EXPECT_FALSE(Send("$SDDPT,,0.4,")); // lost bottom: no depth, not 0 m
    Send("$SDDBT,18.0,f,5.4,M,3.0,F");
    EXPECT_FLOAT_EQ(dbt.last->m_depth, 5.4f);
    EXPECT_FALSE(Send("$SDDBT,18.0,f,5.4,X,3.0,F"));
    EXPECT_TRUE(Send("$SDMTW,17.5,C"));
    EXPECT_FLOAT_EQ(mtw.last->m_temperature, 17.5f);
    EXPECT_FALSE(Send("$SDMTW,,C"));
    EXPECT_FALSE(Send("$SDMTW,63.5,F"));

    Send("$SDVHW,,T,,M,6.6,N,12.3,K");
    EXPECT_TRUE(vhw.last->m_hasSpeed);
    EXPECT_FALSE(vhw.last->m_hasHeading);
    EXPECT_FLOAT_EQ(vhw.last->m_speed, 6.6f);
    EXPECT_FALSE(Send("$SDVHW,,T,,M,,N,,K"));

    Send("$IIRPM,E,1,2200,,A");
    Send("$IIRPM,E,2,1800,,A");
    EXPECT_FLOAT_EQ(rpm.last->m_engine01, 2200);
    EXPECT_FLOAT_EQ(rpm.last->m_engine2, 1800);
    Send("$IIRPM,E,3,999,,A"); // engine 3 changes nothing
    EXPECT_FLOAT_EQ(rpm.last->m_engine01, 2200);
    EXPECT_FLOAT_EQ(rpm.last->m_engine2, 1800);

    // The pooled object carries the smoothing over.
    Send("$IIRSA,10.0,A,,");
    EXPECT_FLOAT_EQ(rsa.last->m_smoothedAngle, 10.0f);
    Send("$IIRSA,20.0,A,,");
    EXPECT_NEAR(rsa.last->m_smoothedAngle, 0.0115 * 20 + 0.9885 * 10, 1e-4);

    Send("$IIXDR,C,,C,AIRTEMP,A,-1.0,D,HEEL");
    EXPECT_EQ(xdr.last->m_first.type, 'C');
    EXPECT_EQ(xdr.last->m_first.name, "AIRTEMP");
    EXPECT_FLOAT_EQ(xdr.last->m_second.value, -1.0f);
    EXPECT_EQ(xdr.last->m_second.name, "HEEL");
    Send("$APXDR,A,0.135,D,PTCH");
    EXPECT_EQ(xdr.last->m_second.type, 0);
    EXPECT_EQ(xdr.last->m_second.name, "");
}

TEST(InstrumentSentencesTest, InstrumentLogValuesAtChosenLines)
{
    TESSA_REQUIRE_TESTDATA("nmea/bundg_zeus_9.log");
    Catch<CNMEA_Instruments::MWV> mwv;
    Catch<CNMEA_Instruments::VHW> vhw;
    Catch<CNMEA_Instruments::DPT> dpt;
    Catch<CNMEA_Instruments::HDG> hdg;
    Catch<CNMEA_Instruments::MWD> mwd;
    std::optional<float> firstApparentAngle, firstTrueAngle, firstBoatSpeed, firstDepth, firstHeading,
        firstTwd;
    mwv.copy = [&](const CNMEA_Instruments::MWV& s) {
        auto& slot = s.m_true ? firstTrueAngle : firstApparentAngle;
        if (!slot)
            slot = s.m_angle;
    };
    vhw.copy = [&](const CNMEA_Instruments::VHW& s) {
        if (!firstBoatSpeed)
            firstBoatSpeed = s.m_speed;
    };
    dpt.copy = [&](const CNMEA_Instruments::DPT& s) {
        if (!firstDepth)
            firstDepth = s.m_depth;
    };
    hdg.copy = [&](const CNMEA_Instruments::HDG& s) {
        if (!firstHeading)
            firstHeading = s.m_heading;
    };
    mwd.copy = [&](const CNMEA_Instruments::MWD& s) {
        if (!firstTwd)
            firstTwd = s.m_direction;
    };
    std::ifstream in(tessatest::TestDataFile("nmea/bundg_zeus_9.log"));
    std::string line;
    while (std::getline(in, line))
        DispatchNMEALine(line.data(), nullptr);
    // The first of each, as the log's own lines read.
    EXPECT_FLOAT_EQ(*firstApparentAngle, 57.5f); // $WIMWV,57.5,R,13.0,N,A
    EXPECT_FLOAT_EQ(*firstTrueAngle, 96.6f);     // $WIMWV,96.6,T,11.2,N,A
    EXPECT_FLOAT_EQ(*firstBoatSpeed, 6.6f);      // $SDVHW,231.3,T,229.9,M,6.6,N,...
    EXPECT_FLOAT_EQ(*firstDepth, 5.3f);          // $SDDPT,5.3,0.4,
    EXPECT_FLOAT_EQ(*firstHeading, 229.8f);      // $SDHDG,229.8,,,1.3,E
    EXPECT_FLOAT_EQ(*firstTwd, 328.2f);          // $WIMWD,328.2,T,...
    EXPECT_EQ(mwv.count, 300);
    EXPECT_EQ(hdg.count, 1457);
}
