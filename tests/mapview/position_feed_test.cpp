// From NMEA lines to the own ship: talker choice, fix status, GGA-only
// receivers, satellites, headings, and real receiver logs against the fixes
// another decoder read from them.
#include "foundation/events/Clock.h"
#include "geodesy/Units.h"
#include "instruments/nmea/NMEAFields.h"
#include "mapview/ownship/FeedRMC_to_GPSPosition.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

class FeedTest : public ::testing::Test
{
protected:
    FeedTest() : feed(ship)
    {
        SetClockForTesting([this] { return now; });
    }
    ~FeedTest() override { SetClockForTesting({}); }

    bool Send(const std::string& body)
    {
        char buf[256];
        std::snprintf(buf, sizeof buf, "%s", body.c_str());
        AppendNMEAChecksum(buf, sizeof buf);
        return DispatchNMEALine(buf, nullptr);
    }

    double now = 1.7e9;
    COverlayGPSPosition ship;
    CFeedRMC_to_GPSPosition feed;
};

// The application's own ship and feed run beside the test's: listen to one ship only.
struct Fixes : Listener<CDataGPSPosition>
{
    explicit Fixes(const CDataGPSPosition& only) : only(only) {}
    void Notify(const CDataGPSPosition& p) override
    {
        if (&p == &only && p.m_fixStatus != 0 && p.HasPosition())
            seen.push_back({p.m_fixTime, p.m_latitude, p.m_longitude, p.m_sog, p.m_cog});
    }
    struct Fix
    {
        double time, lat, lon;
        float sog, cog;
    };
    const CDataGPSPosition& only;
    std::vector<Fix> seen;
};

struct SatelliteViews : Listener<CDataGPSSatelliteSignals>
{
    explicit SatelliteViews(const CDataGPSSatelliteSignals& only) : only(only) {}
    void Notify(const CDataGPSSatelliteSignals& s) override
    {
        if (&s != &only)
            return;
        ++count;
        used = s.m_satellites[0].used;
        entries = s.CountEntries();
    }
    const CDataGPSSatelliteSignals& only;
    int count = 0, entries = 0;
    bool used = false;
};

} // namespace

TEST_F(FeedTest, CombinedTalkerWinsOverGPSOnly)
{
    Send("$GNRMC,120000,A,5000.000,N,00100.000,E,0.0,,010125,,,A");
    Send("$GPRMC,120000,A,5100.000,N,00100.000,E,0.0,,010125,,,A");
    Send("$GNRMC,120001,A,5000.001,N,00100.000,E,0.0,,010125,,,A");
    Send("$GPRMC,120001,A,5100.001,N,00100.000,E,0.0,,010125,,,A");
    EXPECT_EQ(feed.ChosenRMCTalker(), 'N');
    EXPECT_NEAR(ship.m_latitude, 50 + 0.001 / 60, 1e-9);

    char chosen = 'P';
    EXPECT_FALSE(CFeedRMC_to_GPSPosition::ChooseTalker('L', chosen, true));
    EXPECT_TRUE(CFeedRMC_to_GPSPosition::ChooseTalker('L', chosen, false)); // no fix: any talker
    EXPECT_EQ(chosen, 'L');
    EXPECT_TRUE(CFeedRMC_to_GPSPosition::ChooseTalker('P', chosen, true));
    EXPECT_EQ(chosen, 'P');
}

TEST_F(FeedTest, RmcValidityEmptyPositionsAndDates)
{
    Send("$GPRMC,120000,V,5000.000,N,00100.000,E,0.0,,010125,,,A");
    EXPECT_EQ(ship.m_fixStatus, CDataGPSPosition::kGPSFix); // mode A counts
    Send("$GPRMC,120001,V,5000.000,N,00100.000,E,0.0,,010125,,,");
    EXPECT_EQ(ship.m_fixStatus, CDataGPSPosition::kNoFix);

    // Empty position: the time is set and nothing else.
    Send("$GPRMC,120002,A,5000.000,N,00100.000,E,0.0,,010125,,,A");
    double lat = ship.m_latitude;
    Send("$GPRMC,120500,A,,,,,0.0,,010125,,,A");
    EXPECT_EQ(ship.m_fixTime, 1735689600.0 + 12 * 3600 + 5 * 60); // 2025-01-01 12:05
    EXPECT_EQ(ship.m_latitude, lat);
    // Half a position is no position: never a fix on the prime meridian.
    Send("$GPRMC,120600,A,5030.000,N,99999.0,E,0.0,,010125,,,A");
    EXPECT_EQ(ship.m_latitude, lat);
    // No date: the delivery's time, never 1970.
    Send("$GPRMC,120700,A,5000.000,N,00100.000,E,0.0,,,,,A");
    EXPECT_EQ(ship.m_fixTime, now);
}

TEST_F(FeedTest, GgaOnlyReceiversAndStatusFromQuality)
{
    Fixes fixes(ship);
    Send("$GPGGA,120000,5000.000,N,00100.000,E,2,08,0.9,12.0,M,,M,,");
    ASSERT_EQ(fixes.seen.size(), 1u);
    EXPECT_EQ(ship.m_fixStatus, CDataGPSPosition::kDifferentialFix);
    EXPECT_EQ(ship.m_fixTime, now);
    EXPECT_EQ(ship.m_satellitesUsed, 8u);
    // Status 2 survives the next valid RMC, which then takes over the position.
    Send("$GPRMC,120001,A,5001.000,N,00100.000,E,0.0,,010125,,,D");
    EXPECT_EQ(ship.m_fixStatus, CDataGPSPosition::kDifferentialFix);
    now += 1;
    Send("$GPGGA,120002,5100.000,N,00100.000,E,1,08,0.9,12.0,M,,M,,");
    EXPECT_NEAR(ship.m_latitude, 50 + 1.0 / 60, 1e-9); // GGA no longer moves it
    // An impossible quality leaves the status; an empty position only notes GGA.
    Send("$GPGGA,120003,,,,,-1,08,0.9,12.0,M,,M,,");
    EXPECT_EQ(ship.m_fixStatus, CDataGPSPosition::kGPSFix);

    // When the fix is lost, a source that only sends GGA moves the ship again.
    for (int i = 0; i < COverlayGPSPosition::kFixLostTicks; ++i)
        CHeartbeat::Tick();
    EXPECT_FALSE(feed.RMCSeen());
    Send("$GPGGA,120010,5200.000,N,00100.000,E,1,08,0.9,12.0,M,,M,,");
    EXPECT_NEAR(ship.m_latitude, 52, 1e-9);
}

TEST_F(FeedTest, SatelliteViewPublishedOncePerSequenceWithUsedFlags)
{
    SatelliteViews views(ship);
    // Two systems' GSA of one epoch add up.
    Send("$GNGSA,A,3,03,19,27,13,,,,,,,,,1.5,0.9,1.2");
    Send("$GNGSA,A,3,88,87,,,,,,,,,,,1.5,0.9,1.2");
    EXPECT_EQ(ship.m_satellitesUsed, 6u);
    Send("$GPGSV,3,1,11,03,75,303,44,07,66,172,51,11,51,055,36,28,39,325,36");
    Send("$GPGSV,3,2,11,17,31,254,51,26,13,295,51,09,12,322,36,19,12,046,51");
    EXPECT_EQ(views.count, 0);
    Send("$GPGSV,3,3,11,20,09,138,36,13,04,183,51,32,03,113,44,,,,");
    EXPECT_EQ(views.count, 1);
    EXPECT_EQ(views.entries, 11);
    EXPECT_TRUE(views.used); // PRN 3 is in the GSA list
    EXPECT_EQ(ship.m_satellitesInView, 11u);
    // A new epoch starts a new list.
    Send("$GPRMC,120000,A,5000.000,N,00100.000,E,0.0,,010125,,,A");
    Send("$GNGSA,A,3,07,,,,,,,,,,,,1.5,0.9,1.2");
    EXPECT_EQ(ship.m_satellitesUsed, 1u);
    // Message numbers past 6 are ignored, not written out of range.
    Send("$GPGSV,9,9,36,40,09,138,36,41,04,183,51,42,03,113,44,43,1,1,1");
}

TEST_F(FeedTest, HeadingsAreCalibratedAndCorrectedForVariation)
{
    struct Restore
    {
        float variation = CDefaultUnits::Get().m_variation;
        CMovingTargetSettings settings = CMovingTargetSettings::Global();
        ~Restore()
        {
            CDefaultUnits::Get().m_variation = variation;
            CMovingTargetSettings::Global() = settings;
        }
    } restore;
    CDefaultUnits::Get().m_variation = -3.0f;
    CMovingTargetSettings::Global().SetCalibrationText("2,0,0,0,0,0,0,0,0,0,0,0,");
    Send("$IIHDG,0.0,,,,");
    EXPECT_NEAR(ship.GetHeading(), 359.0, 1e-4); // 0 + 2 deviation - 3 variation
    Send("$IIHDG,,,,,");                         // no compass: nothing changes
    EXPECT_NEAR(ship.GetHeading(), 359.0, 1e-4);
}

namespace {

struct TPV
{
    double time = -1; // -1: the report has no time
    double lat = 0, lon = 0;
    double speed = -1, track = -1; // metres per second, degrees; -1 when absent
};

std::vector<TPV> ReadReports(const std::string& path)
{
    std::vector<TPV> out;
    std::ifstream in(path);
    std::string line;
    const std::regex timeRe("\"time\":\"(\\d+)-(\\d+)-(\\d+)T(\\d+):(\\d+):(\\d+(\\.\\d+)?)Z\"");
    auto number = [&](const std::string& key, double& v) {
        std::smatch m;
        std::regex re("\"" + key + "\":(-?[0-9.]+)");
        if (!std::regex_search(line, m, re))
            return false;
        v = std::stod(m[1]);
        return true;
    };
    while (std::getline(in, line)) {
        if (line.find("\"class\":\"TPV\"") == std::string::npos)
            continue;
        TPV r;
        std::smatch m;
        if (std::regex_search(line, m, timeRe)) {
            std::tm tm{};
            tm.tm_year = std::stoi(m[1]) - 1900;
            tm.tm_mon = std::stoi(m[2]) - 1;
            tm.tm_mday = std::stoi(m[3]);
            tm.tm_hour = std::stoi(m[4]);
            tm.tm_min = std::stoi(m[5]);
            // Our fix times keep whole seconds.
            r.time = double(timegm(&tm)) + std::floor(std::stod(m[6]));
        }
        if (!number("lat", r.lat) || !number("lon", r.lon))
            continue;
        number("speed", r.speed);
        number("track", r.track);
        out.push_back(r);
    }
    return out;
}

} // namespace

TEST_F(FeedTest, ReceiverLogsGiveTheFixesAnotherDecoderRead)
{
    TESSA_REQUIRE_TESTDATA("nmea");
    struct Log
    {
        const char* name;
        int minMatched;     // fixes of ours that the other decoder reports at the same second
        bool compareMotion; // false where its course and speed come from VTG, not RMC
    } logs[] = {{"GPSmap-76S.log", 0, true},        {"humminbird-M37.log", 16, true},
                {"nmea-fuzzy-cases.log", 13, true}, {"tcp-test.log", 1, true},
                {"triton400.log", 4, true},         {"bundg_zeus_9.log", 80, false}};
    for (const auto& log : logs) {
        SCOPED_TRACE(log.name);
        COverlayGPSPosition own;
        CFeedRMC_to_GPSPosition logFeed(own);
        Fixes fixes(own);
        std::ifstream in(tessatest::TestDataFile(std::string("nmea/") + log.name));
        std::string line;
        while (std::getline(in, line))
            DispatchNMEALine(line.data(), nullptr);
        std::vector<TPV> reports =
            ReadReports(tessatest::TestDataFile(std::string("nmea/") + log.name + ".chk"));
        // Where the other decoder reports a fix at the same second as one of
        // ours, both lie at the same place with the same course and speed.
        // Receivers differ in which sentence carries a second's position, so
        // the other decoder's report of a second may come from GGA or GLL.
        // Wherever it reports our position, it reports our time, course and speed.
        int matched = 0;
        for (const auto& f : fixes.seen) {
            for (const TPV& r : reports) {
                if (r.time != f.time || std::fabs(f.lat - r.lat) > 1e-7 || std::fabs(f.lon - r.lon) > 1e-7)
                    continue;
                if (log.compareMotion && f.sog > 0.1f && r.speed >= 0 && r.track >= 0) {
                    EXPECT_NEAR(f.sog, r.speed * 3600.0 / 1852.0, 0.01) << std::fixed << f.time;
                    EXPECT_NEAR(f.cog, r.track, 0.01) << std::fixed << f.time;
                }
                ++matched;
                break;
            }
        }
        std::printf("%s: %d of our %zu fixes found in the reports\n", log.name, matched, fixes.seen.size());
        EXPECT_GE(matched, log.minMatched);
        // Nothing of ours lies away from every place the other decoder saw.
        for (const auto& f : fixes.seen) {
            bool near = false;
            for (const TPV& r : reports)
                near = near || (std::fabs(f.lat - r.lat) < 1e-3 && std::fabs(f.lon - r.lon) < 1e-3);
            EXPECT_TRUE(near) << f.lat << " " << f.lon;
        }
    }
}

TEST_F(FeedTest, EmptyFieldsGiveNoFixAndNoHeading)
{
    TESSA_REQUIRE_TESTDATA("nmea/hemi.log");
    COverlayGPSPosition own;
    CFeedRMC_to_GPSPosition logFeed(own);
    Fixes fixes(own);
    std::ifstream in(tessatest::TestDataFile("nmea/hemi.log"));
    std::string line;
    while (std::getline(in, line))
        DispatchNMEALine(line.data(), nullptr);
    // The log opens with sentences whose fields are all empty; its later
    // fixes all lie near Boston, none at 0 N 0 E.
    ASSERT_FALSE(fixes.seen.empty());
    for (const auto& f : fixes.seen) {
        EXPECT_NEAR(f.lat, 42.36, 0.01);
        EXPECT_NEAR(f.lon, -71.03, 0.01);
    }
    EXPECT_TRUE(IsUnknownAngle(own.GetHeading())); // empty true headings give none
}
