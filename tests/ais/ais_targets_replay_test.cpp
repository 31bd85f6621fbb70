// A recorded session with GPS and AIS replayed through the dispatcher into
// the application's target manager, checked against another decoder's
// results and against geodesic range and bearing (skipped without the data).
#include "ais/AISTargetManager.h"
#include "foundation/events/Clock.h"
#include "mapview/ownship/FeedRMC_to_GPSPosition.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "support/TestPaths.h"

#include <GeographicLib/Geodesic.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

std::string Field(const std::string& record, const std::string& key)
{
    const std::string k = "\"" + key + "\":";
    size_t at = record.find(k);
    if (at == std::string::npos)
        return "";
    at += k.size();
    if (record[at] == '"') {
        const size_t end = record.find('"', at + 1);
        return record.substr(at + 1, end - at - 1);
    }
    const size_t end = record.find_first_of(",}", at);
    return record.substr(at, end - at);
}

struct Expected
{
    double lat = 999, lon = 999;
    std::string name;
    long bow = -1, stern = -1;
};

TEST(AISTargetsReplay, OneTargetPerStationWhereItLastReported)
{
    TESSA_REQUIRE_TESTDATA("ais/ais-nmea.log.chk");
    const std::string log = tessatest::TestDataFile("ais/ais-nmea.log");
    const std::string chk = tessatest::TestDataFile("ais/ais-nmea.log.chk");
    SetClockForTesting([] { return 1.7e9; });
    CFeedRMC_to_GPSPosition::Global();
    CAISTargetManager& manager = CAISTargetManager::Global();
    CAISTargetManager::GetSettings().enableSettings = true; // no settings file written
    manager.Clear();
    CNEMA_AIS::CAIS_Sentence::ResetReassembly();

    std::ifstream in(log, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (line.empty() || (line[0] != '!' && line[0] != '$'))
            continue;
        std::vector<char> work(line.begin(), line.end());
        work.push_back('\0');
        DispatchNMEALine(work.data(), nullptr);
    }

    std::map<uint32_t, Expected> expected;
    std::ifstream records(chk, std::ios::binary);
    while (std::getline(records, line)) {
        if (Field(line, "class") != "AIS")
            continue;
        const long mmsi = std::atol(Field(line, "mmsi").c_str());
        if (mmsi < 1 || mmsi > 999999999)
            continue;
        Expected& e = expected[uint32_t(mmsi)];
        const int type = std::atoi(Field(line, "type").c_str());
        const std::string lat = Field(line, "lat"), lon = Field(line, "lon");
        if (!lat.empty() && !lon.empty() &&
            (type <= 3 || type == 18 || type == 19 || type == 9 || type == 21)) {
            // Unscaled: ten-thousandths of a minute.
            const double la = std::atof(lat.c_str()) / 600000, lo = std::atof(lon.c_str()) / 600000;
            if (std::fabs(la) < 90 && std::fabs(lo) < 180)
                e.lat = la, e.lon = lo;
        }
        if (!Field(line, "shipname").empty())
            e.name = Field(line, "shipname");
        if (!Field(line, "to_bow").empty() && (type == 5 || type == 24)) {
            e.bow = std::atol(Field(line, "to_bow").c_str());
            e.stern = std::atol(Field(line, "to_stern").c_str());
        }
    }
    ASSERT_FALSE(expected.empty());
    // A station only this decoder reads (a static report the other refused)
    // may add a target, but never one on the chart.
    for (const auto& [mmsi, t] : manager.Targets())
        if (!expected.count(mmsi)) {
            EXPECT_FALSE(t->m_hasPosition) << mmsi;
        }
    EXPECT_GE(manager.Count(), expected.size());

    const COverlayGPSPosition& own = COverlayGPSPosition::Global();
    ASSERT_TRUE(own.HasPosition());
    const GeographicLib::Geodesic& wgs84 = GeographicLib::Geodesic::WGS84();
    int ranged = 0;
    for (const auto& [mmsi, e] : expected) {
        SCOPED_TRACE(mmsi);
        CAISTarget* t = manager.Find(mmsi);
        ASSERT_NE(t, nullptr);
        if (e.lat != 999) {
            EXPECT_NEAR(t->m_latitude, e.lat, 1e-5);
            EXPECT_NEAR(t->m_longitude, e.lon, 1e-5);
        }
        if (!e.name.empty()) {
            EXPECT_EQ(t->m_name, e.name);
        }
        if (e.bow >= 0) {
            EXPECT_EQ(t->m_toBow, e.bow);
            EXPECT_EQ(t->m_toStern, e.stern);
        }
        if (e.lat == 999 || !t->m_hasPosition)
            continue;
        // Against the own ship as it is now (it drifted while the targets were heard).
        manager.CheckCPA(*t);
        double s12 = 0, azi1 = 0, azi2 = 0;
        wgs84.Inverse(own.m_latitude, own.m_longitude, t->m_latitude, t->m_longitude, s12, azi1, azi2);
        if (s12 > 20000 || s12 < 50)
            continue;
        EXPECT_NEAR(t->m_range, s12, s12 * 0.003);
        // 0.3 % of the range as an angle.
        const double bearingError = std::fabs(std::remainder(t->m_bearing - azi1, 360.0));
        EXPECT_LT(bearingError * M_PI / 180 * s12, s12 * 0.003 + 1);
        ++ranged;
    }
    EXPECT_GT(ranged, 0);
    manager.Clear();
    SetClockForTesting({});
}

} // namespace
