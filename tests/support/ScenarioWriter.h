#pragma once
// Writes a simulation file as an instrument bus would log it: each second an
// RMC and a GGA of the own ship on a straight course at constant speed, and a
// type 1 AIS position report ("!AIVDM") of one other vessel on its own
// straight course. Sentences carry correct checksums; the AIS payload is
// armoured six-bit text.
#include <cstdint>
#include <string>
#include <vector>

namespace tessatest {

struct ScenarioVessel
{
    double lat = 0, lon = 0; // at the first second, degrees
    double cog = 0;          // degrees true
    double sog = 0;          // knots
    // Position after `seconds` along the rhumb line (flat over a few miles).
    void At(double seconds, double& outLat, double& outLon) const;
};

struct Scenario
{
    ScenarioVessel own;
    ScenarioVessel target;
    uint32_t targetMmsi = 244123456;
    int seconds = 120;
    // Seconds since 1970 of the first fix (its RMC time and date).
    double startTime = 1735732800.0;
};

// The armoured payload of a type 1 report (28 characters, no fill bits).
std::string EncodeAisType1(uint32_t mmsi, double lat, double lon, double sog, double cog, int second);
// The NMEA lines of the scenario, each without its line end.
std::vector<std::string> ScenarioLines(const Scenario& scenario);
// Writes the lines to `path`, each ended by CR LF; false when it could not.
bool WriteScenarioFile(const std::string& path, const Scenario& scenario);
// A plain sea-blue chart of the scenario's waters at about 7 m a pixel, from
// 3 km west of the own ship's start to 3 km east of the target's, 4 km
// either side of the own ship's latitude.
bool WriteScenarioChart(const std::string& path, const Scenario& scenario);

} // namespace tessatest
