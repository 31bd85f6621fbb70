// Start timer and start line: distance and time to burn from the own fix,
// and the PTSX sentences in and out through a data connection.
#include "foundation/events/Clock.h"
#include "foundation/events/Heartbeat.h"
#include "foundation/settings/PersistantData.h"
#include "instruments/DataConnection.h"
#include "instruments/data/DataDistanceToStart.h"
#include "instruments/data/DataStartTimer.h"
#include "instruments/feeds/StartInfoFeed.h"
#include "instruments/nmea/PTSXSentences.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr double kNow = 1.7e9; // seconds since 1970

// Writes what the output filter lets through, as a port would.
class PortRecorder : public CDataConnection
{
public:
    PortRecorder() { AddNMEAFilter(m_outputFilters, "accept PTSX"); }
    bool Open() override { return true; }
    bool Write(const char* text) override
    {
        written.push_back(text);
        return true;
    }
    std::vector<std::string> written;
};

template <class T> struct Seen : Listener<T>
{
    void Notify(const T& t) override
    {
        ++count;
        last = t;
    }
    int count = 0;
    T last{};
};

struct DistanceSeen : Listener<CDataDistanceToStart>
{
    void Notify(const CDataDistanceToStart& d) override
    {
        ++count;
        distance = d.m_distance;
        distanceValid = d.m_distanceValid;
        timeToStart = d.m_timeToStart;
        timeToBurn = d.m_timeToBurn;
        burnValid = d.m_burnValid;
    }
    int count = 0;
    double distance = 0, timeToStart = 0, timeToBurn = 0;
    bool distanceValid = false, burnValid = false;
};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class StartTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetClockForTesting([] { return kNow; });
        if (gHeartbeat)
            gHeartbeat->ClearEventTime();
        m_dir = tessatest::MakeScratchDir("start_line");
        m_ini = m_dir + "/Tessaroute.ini";
        PersistantData::SetIniPaths(m_ini, m_dir + "/secondary.ini");
        PersistantData::LoadAll("Tessaroute");
        m_timer = CDataStartTimer::Global();
        m_line = CDataStartLine::Global();
        CDataStartTimer::Global() = CDataStartTimer();
        CDataStartLine::Global() = CDataStartLine();
    }
    void TearDown() override
    {
        CDataStartTimer::Global() = m_timer;
        CDataStartLine::Global() = m_line;
        PersistantData::SetIniPaths("", "");
        SetClockForTesting(nullptr);
        std::filesystem::remove_all(m_dir);
    }
    // Delivers a received line (checksum added) as the port would.
    void Receive(const std::string& body)
    {
        char buf[256];
        std::snprintf(buf, sizeof buf, "%s", body.c_str());
        AppendNMEAChecksum(buf, sizeof buf);
        DispatchNMEALine(buf, &m_port);
    }
    // A point x metres east and y metres north of the right end.
    static void At(double x, double y, double& lat, double& lon)
    {
        CLocalPlane(kRightLat, kRightLon).FromXY(x, y, lat, lon);
    }
    static void SetLine(double leftX, double leftY)
    {
        CDataStartLine line;
        line.m_rightLat = kRightLat;
        line.m_rightLon = kRightLon;
        At(leftX, leftY, line.m_leftLat, line.m_leftLon);
        FireEvent<CDataStartLine>(line);
    }
    static void Fix(double x, double y, float sog, float course)
    {
        CDataGPSPosition fix;
        double lat, lon;
        At(x, y, lat, lon);
        fix.SetPosition(lat, lon);
        fix.m_fixStatus = CDataGPSPosition::kGPSFix;
        fix.SetCourseSpeed(course, sog);
        fix.SelectSource();
        FireEvent<CDataGPSPosition>(fix);
    }

    static constexpr double kRightLat = 50.5;
    static constexpr double kRightLon = -1.25;
    std::string m_dir, m_ini;
    PortRecorder m_port;
    CDataStartTimer m_timer;
    CDataStartLine m_line;
};

} // namespace

TEST_F(StartTest, DistanceAndTimeToBurn)
{
    DistanceSeen seen;
    CDataStartTimer::Global().m_timeOfStart = kNow + 60;

    // Lines too short or too long are no lines: nothing is computed.
    for (double length : {4.0, 12000.0}) {
        SetLine(-length, 0);
        Fix(-2, -100, 2.5f, 0);
        EXPECT_EQ(seen.count, 0) << length;
        EXPECT_FALSE(CDataDistanceToStart::Global().m_distanceValid) << length;
    }

    // 100 m on the approach side, 60 s before the start, straight at the line.
    SetLine(-200, 0);
    Fix(-100, -100, 2.5f, 0);
    ASSERT_GT(seen.count, 0);
    EXPECT_TRUE(seen.distanceValid);
    EXPECT_NEAR(seen.distance, 100, 1e-6);
    EXPECT_NEAR(seen.timeToStart, 60, 1e-9);
    ASSERT_TRUE(seen.burnValid);
    EXPECT_NEAR(seen.timeToBurn + seen.timeToStart, 77.8, 0.05);
    EXPECT_NEAR(seen.timeToBurn, 17.8, 0.05);

    // Sailing along the line closes nothing; on the far side the distance is negative.
    Fix(-100, -100, 2.5f, 90);
    EXPECT_TRUE(seen.distanceValid);
    EXPECT_FALSE(seen.burnValid);
    Fix(-100, 30, 2.5f, 0);
    EXPECT_NEAR(seen.distance, -30, 1e-6);
    EXPECT_FALSE(seen.burnValid);

    // After the start: still a distance, no time to burn.
    CDataStartTimer::Global().m_timeOfStart = kNow - 5;
    Fix(-100, -100, 2.5f, 0);
    EXPECT_TRUE(seen.distanceValid);
    EXPECT_NEAR(seen.timeToStart, -5, 1e-9);
    EXPECT_FALSE(seen.burnValid);

    // A line whose right end is cleared leaves no old line behind.
    const int before = seen.count;
    CDataStartLine none;
    FireEvent<CDataStartLine>(none);
    Fix(-100, -100, 2.5f, 0);
    EXPECT_EQ(seen.count, before);
    EXPECT_FALSE(CDataDistanceToStart::Global().m_distanceValid);
}

TEST_F(StartTest, LocalChangesGoOutReceivedOnesAreNotSentBack)
{
    CDataStartTimer timer;
    timer.m_timeOfStart = kNow + 300;
    timer.m_periodMinutes = 5;
    FireEvent<CDataStartTimer>(timer);
    ASSERT_EQ(m_port.written.size(), 1u);
    EXPECT_EQ(m_port.written[0].substr(0, m_port.written[0].find('*')), "$PTSX,SetStartTimer,1700000300,5");
    EXPECT_TRUE(VerifyNMEAChecksum(m_port.written[0].c_str()));

    // Numbers in the sentence never follow the user's locale.
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    const bool german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    CDataStartLine line;
    line.m_leftLat = 50.5;
    line.m_leftLon = -1.25;
    line.m_rightLat = 50.501;
    line.m_rightLon = -1.2;
    FireEvent<CDataStartLine>(line);
    std::setlocale(LC_NUMERIC, saved.c_str());
    ASSERT_EQ(m_port.written.size(), 2u) << german;
    EXPECT_EQ(m_port.written[1].substr(0, m_port.written[1].find('*')),
              "$PTSX,SetStartLine,50.500000,-1.250000,50.501000,-1.200000");

    // A line with its left end unset is not sent.
    line.m_leftLat = 0;
    line.m_leftLon = 0;
    FireEvent<CDataStartLine>(line);
    EXPECT_EQ(m_port.written.size(), 2u);

    // Received: stored, saved, published locally, not sent back.
    Seen<CDataStartTimer> timers;
    Seen<CDataStartLine> lines;
    m_port.written.clear();
    Receive("$PTSX,SetStartTimer,1700000600,7");
    EXPECT_EQ(timers.count, 1);
    EXPECT_EQ(timers.last.m_timeOfStart, kNow + 600);
    EXPECT_EQ(CDataStartTimer::Global().m_periodMinutes, 7);
    Receive("$PTSX,SetStartLine,50.5,-1.25,50.501,-1.2");
    EXPECT_EQ(lines.count, 1);
    EXPECT_EQ(CDataStartLine::Global().m_rightLon, -1.2);
    EXPECT_TRUE(m_port.written.empty());
    EXPECT_FALSE(Feed_StartInfo::Global().IsApplying());
    const std::string file = ReadFile(m_ini);
    EXPECT_NE(file.find("CDataStartTimer:period_minutes=0x7"), std::string::npos) << file;
    EXPECT_NE(file.find("CDataStartLine:right_lon="), std::string::npos) << file;

    // The same values again are published but not written again.
    std::filesystem::remove(m_ini);
    Receive("$PTSX,SetStartTimer,1700000600,7");
    Receive("$PTSX,SetStartLine,50.5,-1.25,50.501,-1.2");
    EXPECT_EQ(timers.count, 2);
    EXPECT_EQ(lines.count, 2);
    EXPECT_FALSE(std::filesystem::exists(m_ini));

    // An explicit 0 is a cleared end, and is taken.
    Receive("$PTSX,SetStartLine,0,0,50.501,-1.2");
    EXPECT_EQ(CDataStartLine::Global().m_leftLat, 0);
    Receive("$PTSX,SetStartTimer,0,5");
    EXPECT_EQ(CDataStartTimer::Global().m_timeOfStart, 0);
}

TEST_F(StartTest, RefusedSentencesChangeNothing)
{
    Receive("$PTSX,SetStartTimer,1700000600,7");
    Receive("$PTSX,SetStartLine,50.5,-1.25,50.501,-1.2");
    const std::string before = ReadFile(m_ini);
    ASSERT_FALSE(before.empty());
    Seen<CDataStartTimer> timers;
    Seen<CDataStartLine> lines;
    const char* refused[] = {
        "$PTSX,SetStartTimer",
        "$PTSX,SetStartTimer,,",
        "$PTSX,SetStartTimer,soon,5",
        "$PTSX,SetStartTimer,nan,5",
        "$PTSX,SetStartTimer,inf,5",
        "$PTSX,SetStartTimer,1.7e9,5",
        "$PTSX,SetStartTimer,2100000000,5", // twelve years ahead
        "$PTSX,SetStartTimer,1700000600,-1",
        "$PTSX,SetStartTimer,1700000600,1441",
        "$PTSX,SetStartTimer,1700000600,2.5",
        "$PTSX,SetStartTimer,1700000600",
        "$PTSX,SetStartTimerX,1700000600,5",
        "$PTSX,SetStartLine",
        "$PTSX,SetStartLine,,,,",
        "$PTSX,SetStartLine,nan,-1.25,50.501,-1.2",
        "$PTSX,SetStartLine,50.5,-1.25,50.501,inf",
        "$PTSX,SetStartLine,90.5,-1.25,50.501,-1.2",
        "$PTSX,SetStartLine,50.5,-180.5,50.501,-1.2",
        "$PTSX,SetStartLine,50.5,-1.25,-91,-1.2",
        "$PTSX,SetStartLine,50.5,-1.25,50.501",
        "$PTSX,SetStartLine,50.5,-1.25,50.501,1e1",
    };
    for (const char* body : refused) {
        Receive(body);
        EXPECT_EQ(timers.count + lines.count, 0) << body;
    }
    EXPECT_EQ(ReadFile(m_ini), before);
    EXPECT_EQ(CDataStartTimer::Global().m_timeOfStart, kNow + 600);
    EXPECT_EQ(CDataStartTimer::Global().m_periodMinutes, 7);
    EXPECT_EQ(CDataStartLine::Global().m_leftLat, 50.5);
    EXPECT_TRUE(m_port.written.empty());
}

TEST_F(StartTest, LoadedLineIsPublished)
{
    {
        std::ofstream out(m_ini);
        out << "CDataStartLine:left_lat=50.5\nCDataStartLine:left_lon=-1.25\n"
               "CDataStartLine:right_lat=50.501\nCDataStartLine:right_lon=-1.2\n"
               "CDataStartTimer:period_minutes=99999\n";
    }
    Seen<CDataStartLine> lines;
    PersistantData::LoadAll("Tessaroute");
    EXPECT_EQ(lines.count, 1);
    EXPECT_EQ(lines.last.m_rightLat, 50.501);
    // A damaged period falls back to the default.
    EXPECT_EQ(CDataStartTimer::Global().m_periodMinutes, CDataStartTimer::kDefaultPeriodMinutes);
}
