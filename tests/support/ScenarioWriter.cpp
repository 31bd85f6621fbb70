#include "support/ScenarioWriter.h"

#include "chartwriter/ChartWriter.h"
#include "support/ConnectionDoubles.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace tessatest {

namespace {

constexpr double kMetresPerDegree = 1852.0 * 60.0;
constexpr double kKnot = 1852.0 / 3600.0;

// "ddmm.mmmm,N" or "dddmm.mmmm,E" of a latitude or longitude.
std::string Angle(double degrees, bool latitude)
{
    const char hemi = latitude ? (degrees < 0 ? 'S' : 'N') : (degrees < 0 ? 'W' : 'E');
    const double a = std::fabs(degrees);
    int whole = int(a);
    double minutes = (a - whole) * 60.0;
    if (minutes >= 59.99995) { // would print as 60.0000
        ++whole;
        minutes = 0;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, latitude ? "%02d%07.4f,%c" : "%03d%07.4f,%c", whole, minutes, hemi);
    return buf;
}

// Appends `bits` low bits of `value` to the bit string, most significant first.
void Put(std::vector<bool>& out, int64_t value, int bits)
{
    for (int i = bits - 1; i >= 0; --i)
        out.push_back(((uint64_t(value) >> i) & 1u) != 0);
}

} // namespace

void ScenarioVessel::At(double seconds, double& outLat, double& outLon) const
{
    const double metres = sog * kKnot * seconds;
    const double c = cog * M_PI / 180.0;
    outLat = lat + std::cos(c) * metres / kMetresPerDegree;
    outLon = lon + std::sin(c) * metres / (kMetresPerDegree * std::cos(lat * M_PI / 180.0));
}

std::string EncodeAisType1(uint32_t mmsi, double lat, double lon, double sog, double cog, int second)
{
    std::vector<bool> bits;
    Put(bits, 1, 6);                             // message type
    Put(bits, 0, 2);                             // repeat indicator
    Put(bits, mmsi, 30);                         // MMSI
    Put(bits, 0, 4);                             // under way using engine
    Put(bits, -128, 8);                          // no rate of turn
    Put(bits, std::lround(sog * 10), 10);        // 1/10 knot
    Put(bits, 1, 1);                             // position accuracy
    Put(bits, std::lround(lon * 600000.0), 28);  // 1/10000 minute
    Put(bits, std::lround(lat * 600000.0), 27);  // 1/10000 minute
    Put(bits, std::lround(cog * 10) % 3600, 12); // 1/10 degree
    Put(bits, std::lround(cog) % 360, 9);        // true heading
    Put(bits, second % 60, 6);                   // time stamp
    Put(bits, 0, 2 + 3 + 1 + 19);                // manoeuvre, spare, RAIM, radio
    std::string payload;
    for (size_t i = 0; i < bits.size(); i += 6) {
        int v = 0;
        for (size_t j = 0; j < 6; ++j)
            v = (v << 1) | (bits[i + j] ? 1 : 0);
        // The six-bit armour: 0..39 from '0', 40..63 from '`'.
        payload.push_back(char(v < 40 ? v + 48 : v + 56));
    }
    return payload;
}

std::vector<std::string> ScenarioLines(const Scenario& s)
{
    std::vector<std::string> lines;
    for (int i = 0; i < s.seconds; ++i) {
        const time_t t = time_t(s.startTime) + i;
        struct tm utc;
        gmtime_r(&t, &utc);
        char hms[32], dmy[32];
        std::snprintf(hms, sizeof hms, "%02d%02d%02d.00", utc.tm_hour, utc.tm_min, utc.tm_sec);
        std::snprintf(dmy, sizeof dmy, "%02d%02d%02d", utc.tm_mday, utc.tm_mon + 1, utc.tm_year % 100);
        double lat = 0, lon = 0;
        s.own.At(i, lat, lon);
        const std::string pos = Angle(lat, true) + "," + Angle(lon, false);
        char sogCog[32];
        std::snprintf(sogCog, sizeof sogCog, "%.1f,%.1f", s.own.sog, s.own.cog);
        lines.push_back(
            WithChecksum(std::string("GPRMC,") + hms + ",A," + pos + "," + sogCog + "," + dmy + ",,,A"));
        lines.push_back(WithChecksum(std::string("GPGGA,") + hms + "," + pos + ",1,08,0.9,3.0,M,45.0,M,,"));
        double tlat = 0, tlon = 0;
        s.target.At(i, tlat, tlon);
        std::string ais = WithChecksum(
            "AIVDM,1,1,,A," +
            EncodeAisType1(s.targetMmsi, tlat, tlon, s.target.sog, s.target.cog, utc.tm_sec) + ",0");
        ais[0] = '!';
        lines.push_back(ais);
    }
    return lines;
}

bool WriteScenarioFile(const std::string& path, const Scenario& scenario)
{
    std::ofstream out(path, std::ios::binary);
    for (const std::string& line : ScenarioLines(scenario))
        out << line << "\r\n";
    out.close();
    return bool(out);
}

bool WriteScenarioChart(const std::string& path, const Scenario& scenario)
{
    const double perLon = kMetresPerDegree * std::cos(scenario.own.lat * M_PI / 180.0);
    const double west = std::min(scenario.own.lon, scenario.target.lon) - 3000 / perLon;
    const double east = std::max(scenario.own.lon, scenario.target.lon) + 3000 / perLon;
    const double north = scenario.own.lat + 4000 / kMetresPerDegree;
    const double south = scenario.own.lat - 4000 / kMetresPerDegree;
    const uint32_t tilesX = uint32_t(std::ceil((east - west) * perLon / 7.0 / 64));
    const uint32_t tilesY = uint32_t(std::ceil((north - south) * kMetresPerDegree / 7.0 / 64));
    chartwriter::CChartWriter chart(tilesX, tilesY);
    chart.name = "Scenario waters";
    chart.mapType = "Nautical";
    chart.palette[0] = 0xB4D2F0;
    chart.palette[1] = 0xD8DCE0; // what the chart shows around its edge
    chartwriter::MixingTableByAverage(chart.palette, chart.mixing);
    chartwriter::PlateCarreeCoefficients(west, north, east, south, int(tilesX * 64), int(tilesY * 64),
                                         chart.forward, chart.inverse);
    const std::vector<uint8_t> sea(64 * 64, 0);
    for (uint32_t ty = 0; ty < tilesY; ++ty)
        for (uint32_t tx = 0; tx < tilesX; ++tx)
            chart.SetTile(tx, ty, sea.data());
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    return chart.Write(path);
}

} // namespace tessatest
