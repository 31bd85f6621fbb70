// The simulation file replay at one fix every 20 heartbeat ticks, its rewind
// and its hooks, and the log-file connection.
#include "foundation/events/Heartbeat.h"
#include "instruments/connections/ConnectionRegistry.h"
#include "instruments/connections/NMEASimulation.h"
#include "instruments/nmea/GPSSentences.h"
#include "support/ConnectionDoubles.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

struct Positions : Listener<CDataGPSPosition>
{
    void Notify(const CDataGPSPosition& p) override { fixes.emplace_back(p.m_latitude, p.m_longitude); }
    std::vector<std::pair<double, double>> fixes;
};

class SimulationTest : public ::testing::Test
{
protected:
    void SetUp() override { m_dir = tessatest::MakeScratchDir("connections_simulation"); }
    std::string Write(const std::string& name, const std::string& text)
    {
        std::string path = m_dir + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        CNMEASimulation::Settings().filename = path;
        return path;
    }
    static void Ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            CHeartbeat::Tick();
    }
    std::string m_dir;
    tessatest::RecordingConnectionEvents m_events;
};

} // namespace

TEST_F(SimulationTest, ReplaysOneFixPerSecondInRMCOrder)
{
    TESSA_REQUIRE_TESTDATA("nmea/GPSmap-76S.log");
    std::ifstream in(tessatest::TestDataFile("nmea/GPSmap-76S.log"), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    Write("gps.txt", ss.str());

    // The positions of the log's RMC sentences, read straight.
    std::vector<std::pair<double, double>> expected;
    {
        struct Rmc : Listener<CNMEA_GPS::RMC>
        {
            void Notify(const CNMEA_GPS::RMC& s) override
            {
                if (s.m_hasPosition)
                    out->emplace_back(s.m_latitude, s.m_longitude);
            }
            std::vector<std::pair<double, double>>* out;
        } rmc;
        rmc.out = &expected;
        std::istringstream lines(ss.str());
        for (std::string line; std::getline(lines, line);)
            DispatchNMEALine(line.data(), nullptr);
    }
    ASSERT_GE(expected.size(), 5u);

    Positions positions;
    CNMEASimulation sim;
    ASSERT_TRUE(sim.Open());
    EXPECT_EQ(m_events.simulationResets, 1);
    EXPECT_EQ(m_events.trackBegun, 1);
    for (size_t i = 0; i < 5; ++i) {
        Ticks(CNMEASimulation::kTickPeriod);
        ASSERT_EQ(positions.fixes.size(), i + 1) << "one fix per 20 ticks";
        EXPECT_NEAR(positions.fixes[i].first, expected[i].first, 1e-9);
        EXPECT_NEAR(positions.fixes[i].second, expected[i].second, 1e-9);
    }
    sim.Close();
    EXPECT_EQ(m_events.trackEnded, 1);
    Ticks(40);
    EXPECT_EQ(positions.fixes.size(), 5u) << "a closed simulation reads nothing";
}

TEST_F(SimulationTest, RewindRunsBothHooksAndGarbagePublishesNothing)
{
    const std::string rmc =
        tessatest::WithChecksum("GPRMC,120000,A,5000.000,N,00100.000,E,5.0,90.0,010124,,,A");
    struct Case
    {
        const char* name;
        std::string text;
        size_t fixes;   // after one replay step
        int minRewinds; // reset hooks run by that step (the open's included)
    };
    const Case cases[] = {
        {"one fix, rewound at its end", "noise " + rmc + "\r\n", 1, 1},
        {"no start character anywhere", std::string(500, 'x') + "\n", 0, 31},
        {"empty file", "", 0, 31},
        {"a line over 200 characters is cut and fails",
         rmc.substr(0, rmc.size() - 3) + std::string(250 - rmc.size(), '0') + rmc.substr(rmc.size() - 3) +
             "\n",
         0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Write("case.txt", c.text);
        m_events.resets = m_events.trackBegun = 0;
        Positions positions;
        tessatest::RawLineRecorder raw;
        CNMEASimulation sim;
        ASSERT_TRUE(sim.Open());
        Ticks(CNMEASimulation::kTickPeriod);
        EXPECT_EQ(positions.fixes.size(), c.fixes);
        EXPECT_GE(m_events.resets, c.minRewinds);
        EXPECT_EQ(m_events.resets, m_events.trackBegun) << "each rewind also begins the simulation track";
        if (c.fixes == 0) {
            EXPECT_TRUE(raw.lines.empty());
        }
        sim.Close();
    }
}

TEST_F(SimulationTest, MissingFileFailsWithItsText)
{
    CNMEASimulation::Settings().filename = m_dir + "/absent.txt";
    CNMEASimulation sim;
    EXPECT_FALSE(sim.Open());
    EXPECT_EQ(sim.m_statusText, "Simulation file error");
}

TEST_F(SimulationTest, LogfileRecordsSentencesAndThePowerDown)
{
    const std::string path = m_dir + "/log.txt";
    CNMEALogfile log(path);
    ASSERT_TRUE(log.Open());
    EXPECT_TRUE(log.Write("$ECRMB,1*00\r\n"));
    EXPECT_FALSE(log.Write(""));
    FireEvent(ShutDown{});
    EXPECT_FALSE(log.Write("$late\r\n"));
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_EQ(ss.str(), "$ECRMB,1*00\r\n\n---- Power Down-----\n\n\n");

    CNMEALogfile bad(m_dir + "/no/such/folder/log.txt");
    EXPECT_FALSE(bad.Open());
    EXPECT_EQ(bad.m_statusText, "File open error");
}
