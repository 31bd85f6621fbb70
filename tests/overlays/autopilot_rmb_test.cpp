// The autopilot's RMB sentences: golden texts for the edge cases, the steer
// letter, random names and values (also under a German locale), the
// arrival and identifier rules along a followed route, and the lines an
// autopilot on a serial port reads.
// TESSA_TSAN_LABEL: the serial connection opens its device on a thread.
#include "instruments/connections/SerialConnection.h"
#include "instruments/nmea/NMEAFilter.h"
#include "instruments/nmea/NMEASentence.h"
#include "overlays/model/AutopilotRMB.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "support/ConnectionDoubles.h"
#include "support/FixedClock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cmath>
#include <random>
#include <regex>
#include <thread>

namespace {

// The sentence as it goes out, with its checksum and line end.
std::string Sent(const std::string& text)
{
    char buffer[200];
    std::snprintf(buffer, sizeof buffer, "%s", text.c_str());
    EXPECT_TRUE(AppendNMEAChecksum(buffer, sizeof buffer));
    EXPECT_TRUE(VerifyNMEAChecksum(buffer));
    return std::string(buffer) + "\r\n";
}

TEST(AutopilotRMB, GoldenSentences)
{
    struct Case
    {
        const char* what;
        CRMBFields f;
        const char* text; // nullptr: nothing is sent
    } cases[] = {
        {"steer left back to a north-bound leg",
         {100, "T", 47.6, -122.25, 540.3f, 349, 0, false},
         "$ECRMB,A,0.054,L,X,T,4736.000,N,12215.000,W,0.292,349.0,0.00,V,A"},
        {"left of the leg steers right",
         {-100, "T", -33.5, 151.0, 1852, 12.5f, 4.25f, true},
         "$ECRMB,A,0.054,R,X,T,3330.000,S,15100.000,E,1.000,12.5,4.25,A,A"},
        {"minutes rounded before the split",
         {0, "A", 47.99999999, 8.99999999, 0, 0, 0, false},
         "$ECRMB,A,0.000,R,X,A,4800.000,N,00900.000,E,0.000,0.0,0.00,V,A"},
        {"caps",
         {1e6f, "Buoy no. 7a", 89.5, 179.99, 1e7f, 359.94f, -150, false},
         "$ECRMB,A,9.990,L,X,BUOYNO,8930.000,N,17959.400,E,5399.568,359.9,-99.99,V,A"},
        {"no bearing yet",
         {0, "X", 1, 1, 100, 999, 0, false},
         "$ECRMB,V,0.000,R,X,X,0100.000,N,00100.000,E,0.054,999.0,0.00,V,A"},
        {"longitude beyond 180",
         {0, "X", 1, 190, 0, 0, 0, false},
         "$ECRMB,A,0.000,R,X,X,0100.000,N,17000.000,W,0.000,0.0,0.00,V,A"},
        {"a bearing that rounds up to 360 wraps to 0",
         {0, "X", 1, 1, 0, 359.97f, 0, false},
         "$ECRMB,A,0.000,R,X,X,0100.000,N,00100.000,E,0.000,0.0,0.00,V,A"},
        {"a damaged range is capped",
         {0, "X", 1, 1, 3e38f, 0, 0, false},
         "$ECRMB,A,0.000,R,X,X,0100.000,N,00100.000,E,99999.999,0.0,0.00,V,A"},
        {"nan cross-track", {NAN, "X", 1, 1, 0, 0, 0, false}, nullptr},
        {"infinite range", {0, "X", 1, 1, INFINITY, 0, 0, false}, nullptr},
        {"nan bearing", {0, "X", 1, 1, 0, NAN, 0, false}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string text = "unchanged";
        EXPECT_EQ(FormatAutopilotRMB(c.f, text), c.text != nullptr);
        if (c.text) {
            EXPECT_EQ(text, c.text);
            EXPECT_LE(Sent(text).size(), 82u);
        } else {
            EXPECT_EQ(text, "unchanged");
        }
    }
    EXPECT_EQ(MakeRMBIdentifier("Buoy no. 7a"), "BUOYNO");
    EXPECT_EQ(MakeRMBIdentifier("\xc3\x86r\xc3\xb8 1-2"), "R12"); // bytes of UTF-8 are skipped whole
    EXPECT_EQ(MakeRMBIdentifier(""), "");
}

TEST(AutopilotRMB, RandomNamesAndValuesGiveValidSentencesInAnyLocale)
{
    const std::regex shape(
        R"(\$ECRMB,[AV],\d\.\d{3},[LR],X,[A-Z0-9]{0,6},\d{4}\.\d{3},[NS],\d{5}\.\d{3},[EW],\d+\.\d{3},\d{1,3}\.\d,-?\d{1,2}\.\d{2},[AV],A)");
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    for (const char* locale : {"C", "de_DE.UTF-8"}) {
        if (!std::setlocale(LC_ALL, locale)) {
            ADD_FAILURE() << "locale " << locale << " is missing";
            continue;
        }
        std::mt19937 rng(7);
        std::uniform_real_distribution<double> unit(0, 1);
        for (int i = 0; i < 2000; ++i) {
            std::string name;
            const size_t length = rng() % 200;
            for (size_t k = 0; k < length; ++k)
                name += char(rng() % 256);
            CRMBFields f;
            f.crossTrack = float((unit(rng) - 0.5) * 4e6);
            f.identifier = name;
            f.latitude = (unit(rng) - 0.5) * 180;
            f.longitude = (unit(rng) - 0.5) * 720;
            f.distance = float(unit(rng) * 2.1e7);
            f.bearing = i % 7 == 0 ? 999.0f : float(unit(rng) * 360);
            f.closingKnots = float((unit(rng) - 0.5) * 1000);
            f.arrived = i % 2;
            std::string text;
            ASSERT_TRUE(FormatAutopilotRMB(f, text));
            ASSERT_TRUE(std::regex_match(text, shape)) << locale << ": " << text;
            ASSERT_EQ(text.find("nan"), std::string::npos);
            ASSERT_LE(Sent(text).size(), 82u) << text;
        }
    }
    std::setlocale(LC_ALL, saved.c_str());
}

class AutopilotFeed : public ::testing::Test
{
protected:
    void SetUp() override { manager.ClearForTesting(); }
    void TearDown() override { manager.ClearForTesting(); }
    void Fix(double x, double y)
    {
        double lat = 0, lon = 0;
        origin.FromXY(x, y, lat, lon);
        CDataGPSPosition fix;
        fix.SetPosition(lat, lon);
        fix.m_fixStatus = CDataGPSPosition::kGPSFix;
        manager.OnGPSPosition(fix);
    }
    COverlayMark* Point(const std::string& name, double x, double y, COverlayRoute* route)
    {
        double lat = 0, lon = 0;
        origin.FromXY(x, y, lat, lon);
        std::unique_ptr<COverlayMark> p;
        {
            CMarkManager::RoutePointScope scope;
            p = std::make_unique<COverlayMark>();
        }
        p->SetName(name);
        p->SetPosition(lat, lon);
        return route ? route->AddPoint(std::move(p)) : manager.AddMark(std::move(p));
    }
    // Field 13 (arrival) and field 5 (identifier) of each line, with range and bearing on request.
    std::vector<std::string> ArrivalsAndIds(bool rangeAndBearing = false) const
    {
        std::vector<std::string> out;
        for (const std::string& line : raw.lines) {
            std::vector<std::string> f;
            size_t start = 0;
            for (size_t at; (at = line.find_first_of(",*", start)) != std::string::npos; start = at + 1)
                f.push_back(line.substr(start, at - start));
            out.push_back(f.size() < 14     ? line
                          : rangeAndBearing ? f[13] + " " + f[5] + " " + f[10] + " " + f[11]
                                            : f[13] + " " + f[5]);
        }
        return out;
    }

    CMarkManager& manager = CMarkManager::Get();
    CLocalPlane origin{50.0, -4.0};
    tessatest::CFixedClock clock;
    tessatest::RawLineRecorder raw;
};

TEST_F(AutopilotFeed, ArrivalAndIdentifierAlongARoute)
{
    COverlayMark* free = Point("Buoy no. 7a", 0, 5000, nullptr);
    auto made = std::make_unique<COverlayRoute>();
    COverlayRoute* route = manager.AddRoute(std::move(made));
    Point("a", 0, 0, route);
    Point("wp 2", 0, 1000, route);
    Point("wp-3", 0, 2000, route);

    ASSERT_TRUE(manager.GotoMark(free));
    Fix(0, 0);
    ASSERT_EQ(raw.lines.size(), 2u);
    EXPECT_EQ(raw.lines[0].substr(0, 9), "$ECRMB,V,"); // no bearing when the go-to starts
    EXPECT_EQ(raw.lines[1].substr(0, 9), "$ECRMB,A,");
    for (const std::string& line : raw.lines)
        EXPECT_TRUE(VerifyNMEAChecksum(line.c_str())) << line;

    raw.lines.clear();
    manager.CancelGoto(); // sends nothing
    EXPECT_TRUE(raw.lines.empty());
    manager.FollowRoute(route);
    Fix(10, 500);
    Fix(10, 600);
    Fix(10, 1500); // the next point is taken over
    Fix(10, 1600);
    EXPECT_EQ(ArrivalsAndIds(), (std::vector<std::string>{"V WP2", "V WP2", "A WP3", "V WP3"}));

    // A deleted target is forgotten, also while the route goes on: nothing was passed.
    raw.lines.clear();
    manager.DeleteMark(route->Points().back().get());
    Fix(10, 1700);
    EXPECT_EQ(ArrivalsAndIds(), std::vector<std::string>{"V WP2"});

    // And after the route: the next go-to starts afresh.
    raw.lines.clear();
    manager.DeleteRoute(route);
    COverlayMark* other = Point("Other", 0, 100, nullptr);
    manager.GotoMark(other);
    EXPECT_EQ(ArrivalsAndIds(), std::vector<std::string>{"V OTHER"});
}

TEST_F(AutopilotFeed, AcrossTheDateLineAsTenDegreesWest)
{
    const std::vector<std::string> expected = {
        "V P2 7.019 90.0", "V P2 5.400 90.0", "A P3 7.019 90.0", "V P3 2.700 90.0", // the route
        "V E 5.400 270.0", "V W 5.400 90.0",                                        // go-to both ways
    };
    for (double meridian : {179.95, 169.95}) {
        SCOPED_TRACE(meridian);
        manager.ClearForTesting();
        origin = CLocalPlane(-10, meridian); // 180 degrees lies 5.5 km east of it
        COverlayRoute* route = manager.AddRoute(std::make_unique<COverlayRoute>());
        for (auto [name, x] : {std::pair{"P1", -5000.0}, {"P2", 10000.0}, {"P3", 25000.0}})
            Point(name, x, 0, route);
        COverlayMark* east = Point("E", 0, 0, nullptr);
        COverlayMark* west = Point("W", 10000, 0, nullptr);
        manager.FollowRoute(route);
        for (double x : {-3000.0, 0.0, 12000.0, 20000.0})
            Fix(x, -20);
        for (auto [mark, x] : {std::pair{east, 10000.0}, {west, 0.0}}) {
            manager.GotoMark(mark);
            Fix(x, 0);
        }
        std::vector<std::string> seen = ArrivalsAndIds(true);
        std::erase_if(seen, [](const std::string& s) { return s.ends_with("999.0"); }); // go-to starts
        EXPECT_EQ(seen, expected);
        raw.lines.clear();
    }
}

TEST_F(AutopilotFeed, AnAutopilotOnASerialPortReadsTheSentences)
{
    tessatest::PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    CSerialConnection c;
    ASSERT_TRUE(c.SetPort(pty.SlavePath(), 4800));
    AddNMEAFilter(c.m_outputFilters, "Accept ECRMB");
    ASSERT_TRUE(c.Open());
    for (int i = 0; i < 2000 && CSerialConnection::OpenersRunning() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    c.OnTick();
    ASSERT_GE(c.Descriptor(), 0) << c.m_statusText;

    COverlayMark* target = Point("Pier", 0, 0, nullptr);
    manager.GotoMark(target);
    Fix(100, -500);
    std::string received;
    for (int i = 0; i < 20 && std::count(received.begin(), received.end(), '\n') < 2; ++i)
        received += pty.Receive(50);
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = received.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(received.substr(start, end - start));
    ASSERT_EQ(lines.size(), 2u) << received;
    for (const std::string& line : lines) {
        EXPECT_EQ(line.rfind("$ECRMB,", 0), 0u) << line;
        EXPECT_TRUE(VerifyNMEAChecksum(line.c_str())) << line;
    }
    EXPECT_NE(lines[1].find(",L,X,PIER,"), std::string::npos) << lines[1];
    c.Close();
}

} // namespace
