// Receiver logs replayed through the position feed with recording on: the
// recorded points are the log's fixes, in time order, thinned by the rules.
#include "instruments/nmea/NMEASentence.h"
#include "mapview/ownship/FeedRMC_to_GPSPosition.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "overlays/model/TrackManager.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace {

// The fixes the feed published, with whether the velocity deviated then.
struct Fixes : Listener<CDataGPSPosition>
{
    explicit Fixes(const CDataGPSPosition& only) : only(only) {}
    void Notify(const CDataGPSPosition& p) override
    {
        if (&p == &only && p.m_fixStatus != 0 && p.HasPosition())
            seen.push_back({p.m_fixTime, p.m_latitude, p.m_longitude, p.DeviatesFromAverage()});
    }
    struct Fix
    {
        double time, lat, lon;
        bool deviated;
    };
    const CDataGPSPosition& only;
    std::vector<Fix> seen;
};

// Positions another decoder reported for the log.
std::vector<std::pair<double, double>> ReportedPositions(const std::string& path)
{
    std::vector<std::pair<double, double>> out;
    std::ifstream in(path);
    std::string line;
    const std::regex lat("\"lat\":(-?[0-9.]+)"), lon("\"lon\":(-?[0-9.]+)");
    while (std::getline(in, line)) {
        std::smatch a, b;
        if (line.find("\"class\":\"TPV\"") != std::string::npos && std::regex_search(line, a, lat) &&
            std::regex_search(line, b, lon))
            out.emplace_back(std::stod(a[1]), std::stod(b[1]));
    }
    return out;
}

} // namespace

TEST(TrackReplay, RecordedPointsAreTheLogsFixesInOrder)
{
    TESSA_REQUIRE_TESTDATA("nmea");
    for (const char* name : {"humminbird-M37.log", "bundg_zeus_9.log", "triton400.log", "GPSmap-76S.log"}) {
        SCOPED_TRACE(name);
        if (tessatest::TestDataFile(std::string("nmea/") + name).empty())
            continue;
        CTrackManager& manager = CTrackManager::Get();
        manager.ClearForTesting();
        CTrackManager::Settings().doRecordTrack = true;
        COverlayGPSPosition own;
        CFeedRMC_to_GPSPosition feed(own);
        Fixes fixes(own);
        std::ifstream in(tessatest::TestDataFile(std::string("nmea/") + name));
        std::string line;
        while (std::getline(in, line))
            DispatchNMEALine(line.data(), nullptr);
        const auto reports = ReportedPositions(tessatest::TestDataFile(std::string("nmea/") + name + ".chk"));
        size_t points = 0, reported = 0;
        for (const auto& track : manager.Tracks()) {
            const std::vector<CTrackPoint> p = track->AllPoints();
            for (size_t i = 0; i < p.size(); ++i) {
                ++points;
                // A fix the feed published, at its own time and place.
                const Fixes::Fix* fix = nullptr;
                for (const auto& f : fixes.seen)
                    if (f.time == p[i].time && std::fabs(f.lat - p[i].latitude) <= 1e-7 &&
                        std::fabs(f.lon - p[i].longitude) <= 1e-7)
                        fix = &f;
                ASSERT_NE(fix, nullptr) << std::fixed << p[i].time;
                bool near = false;
                for (const auto& r : reports) {
                    near = near || (std::fabs(r.first - p[i].latitude) <= 1e-3 &&
                                    std::fabs(r.second - p[i].longitude) <= 1e-3);
                    if (std::fabs(r.first - p[i].latitude) <= 1e-7 &&
                        std::fabs(r.second - p[i].longitude) <= 1e-7) {
                        ++reported;
                        break;
                    }
                }
                EXPECT_TRUE(near);
                if (i == 0)
                    continue;
                const double dt = p[i].time - p[i - 1].time;
                EXPECT_GE(dt, 0);
                const CLocalPlane plane(p[i - 1].latitude, p[i - 1].longitude);
                const double d = plane.DistanceTo(p[i].latitude, p[i].longitude);
                EXPECT_TRUE(dt >= 20 || d >= 20 || fix->deviated) << std::fixed << p[i].time;
            }
        }
        std::printf("%s: %zu points recorded from %zu fixes, %zu at a reported position\n", name, points,
                    fixes.seen.size(), reported);
        EXPECT_GT(points, 0u);
        manager.ClearForTesting();
        CTrackManager::Settings().doRecordTrack = false;
    }
}
