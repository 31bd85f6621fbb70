#include "geodesy/GridFormats.h"
#include "geodesy/TransverseMercator.h"
#include "geodesy/Units.h"

#include <GeographicLib/MGRS.hpp>
#include <GeographicLib/OSGB.hpp>
#include <GeographicLib/UTMUPS.hpp>
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

const CUnits::PositionFormatType& Fmt(const char* name)
{
    const CUnits::PositionFormatType* f = CUnits::PositionFormatType::Find(name);
    EXPECT_EQ(f->Name(), name);
    return *f;
}

// Reads "zone letter easting E northing N" back into numbers for comparisons.
void SplitUTM(const std::string& text, int& zone, char& letter, double& e, double& n)
{
    // "%lfE" would take the E for an exponent, so the text is split by hand.
    const size_t blank = text.find(' '), eMark = text.find('E', blank), nMark = text.find('N', eMark);
    ASSERT_TRUE(blank != std::string::npos && eMark != std::string::npos && nMark != std::string::npos)
        << text;
    zone = std::stoi(text.substr(0, blank - 1));
    letter = text[blank - 1];
    e = std::stod(text.substr(blank + 1, eMark - blank - 1));
    n = std::stod(text.substr(eMark + 1, nMark - eMark - 1));
}

TEST(PositionFormats, RegistryOrderAndLookup)
{
    std::vector<std::string> names;
    for (const CUnits::PositionFormatType* f = CUnits::PositionFormatType::First(); f; f = f->Next())
        names.push_back(f->Name());
    const std::vector<std::string> expected = {
        "UTM/WGS84 bands", "UTM on WGS84",          "NZTM", "Degrees", "Deg,Min,Sec",
        "Deg,Min",         "British National Grid", "MGRS"};
    EXPECT_EQ(names, expected);
    RegisterPositionFormats(); // a second registration adds nothing
    size_t count = 0;
    for (const CUnits::PositionFormatType* f = CUnits::PositionFormatType::First(); f; f = f->Next())
        ++count;
    EXPECT_EQ(count, expected.size());
    EXPECT_EQ(CUnits::PositionFormatType::Find("MGRS")->Name(), "MGRS");
    EXPECT_EQ(CUnits::PositionFormatType::Find("mgrs")->Name(), "Deg,Min");
    EXPECT_EQ(CUnits::PositionFormatType::Find("")->Name(), "Deg,Min");
    EXPECT_EQ(CUnits::PositionFormatType::Find("Deg,Min,Se")->Name(), "Deg,Min");

    CUnits units;
    EXPECT_EQ(units.PositionFormat().Name(), "Deg,Min");
    units.SetPositionFormat(Fmt("NZTM"));
    EXPECT_EQ(units.PositionFormat().Name(), "NZTM");
}

TEST(PositionFormats, LatLonTexts)
{
    std::string s;
    EXPECT_TRUE(Fmt("Deg,Min").Format(s, 50.5, -1.25));
    EXPECT_EQ(s, "50\u00b030.000'N, 1\u00b015.000'W");
    EXPECT_TRUE(Fmt("Degrees").Format(s, 50.5, -1.25));
    EXPECT_EQ(s, "50.50000\u00b0N,  1.25000\u00b0W"); // width 8
    EXPECT_TRUE(Fmt("Deg,Min,Sec").Format(s, -33.5, 151.25));
    EXPECT_EQ(s, "33\u00b030'00.0\"S, 151\u00b015'00.0\"E");

    // Rounding never shows 60 minutes or seconds.
    Fmt("Deg,Min").Format(s, 50 + 59.99999 / 60, 0);
    EXPECT_EQ(s.substr(0, s.find(',')), "51\u00b000.000'N");
    Fmt("Deg,Min,Sec").Format(s, 50 + 59.0 / 60 + 59.96 / 3600, 0);
    EXPECT_EQ(s.substr(0, s.find(',')), "51\u00b00'00.0\"N");

    // Longitudes outside [-180, 180) are shown on the right side of the world.
    Fmt("Deg,Min").Format(s, 10, 200);
    EXPECT_EQ(s, "10\u00b000.000'N, 160\u00b000.000'W");
}

TEST(PositionFormats, TextsPeopleType)
{
    const CUnits::PositionFormatType& f = Fmt("Deg,Min");
    struct Case
    {
        const char* text;
        double lat, lon;
    } cases[] = {
        {"50\u00b030.5'N, 1\u00b015'W", 50.508333333, -1.25},
        {"50.5 -1.25", 50.5, -1.25},
        {"  50.5\t-1.25 ", 50.5, -1.25},
        {"50 30.5N, 1 15W", 50.508333333, -1.25},
        {"50 30.5N 1 15W", 50.508333333, -1.25},
        {"50 30.5 N 1 15 W", 50.508333333, -1.25},
        {"12\u00b034'.5S, 1d15'30\"E", -12.575, 1.258333333},
        {"33 52 0.5 S, 151 12 30 E", -(33 + 52.0 / 60 + 0.5 / 3600), 151.208333333},
        {"50, -1 15", 50, -1.25}, // minutes follow the sign of the degrees
        {"-0 30, 10", -0.5, 10},
        {"10, 180", 10, -180},
        {"10, 359", 10, -1},
        {"1e1, 2", 10, 2},
    };
    for (const Case& c : cases) {
        double lat = 0, lon = 0;
        EXPECT_TRUE(f.Parse(c.text, lat, lon)) << c.text;
        EXPECT_NEAR(lat, c.lat, 1e-8) << c.text;
        EXPECT_NEAR(lon, c.lon, 1e-8) << c.text;
    }
}

TEST(PositionFormats, BadLatLonTextsFailWithoutWriting)
{
    const CUnits::PositionFormatType& f = Fmt("Degrees");
    for (const char* text :
         {"", "50", "90.5, 0", "-90.001, 0", "50N, 400W", "nan, nan", "inf, 1", "50, nan", "1e999, 1",
          "50.5 -1.25 3", "50,5, 1,25", "abc def", "50 x", ",", "N", "50N", "-nan -nan", "n50 30.5 w1 15"}) {
        double lat = 7, lon = 8;
        EXPECT_FALSE(f.Parse(text, lat, lon)) << text;
        EXPECT_EQ(lat, 7) << text;
        EXPECT_EQ(lon, 8) << text;
    }
    double lat = 7, lon = 8;
    std::string s = "x";
    for (const char* name :
         {"Degrees", "Deg,Min", "Deg,Min,Sec", "UTM on WGS84", "UTM/WGS84 bands", "NZTM", "MGRS"}) {
        EXPECT_FALSE(Fmt(name).Format(s, NAN, 0)) << name;
        EXPECT_EQ(s, "---") << name;
        EXPECT_FALSE(Fmt(name).Format(s, 10, INFINITY)) << name;
        EXPECT_FALSE(Fmt(name).Format(s, 999, 999)) << name;
    }
    EXPECT_FALSE(Fmt("British National Grid").Format(s, NAN, NAN));
    EXPECT_EQ(s, "<off grid>");
    (void)lat;
    (void)lon;
}

TEST(PositionFormats, NumbersIgnoreTheUserLocale)
{
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        GTEST_SKIP() << "de_DE.UTF-8 locale not generated";
    std::string s;
    Fmt("Deg,Min").Format(s, 50.5, -1.25);
    EXPECT_EQ(s, "50\u00b030.000'N, 1\u00b015.000'W");
    Fmt("Degrees").Format(s, 50.5, -1.25);
    EXPECT_EQ(s, "50.50000\u00b0N,  1.25000\u00b0W");
    double lat = 0, lon = 0;
    EXPECT_TRUE(Fmt("Degrees").Parse("50.5 -1.25", lat, lon));
    EXPECT_EQ(lat, 50.5);
    EXPECT_TRUE(Fmt("NZTM").Parse("1576041.150 6188574.240", lat, lon));
    EXPECT_NEAR(lat, -34.444066, 1e-5);
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(PositionFormats, EveryFormatRoundTrips)
{
    struct Spec
    {
        const char* name;
        double tolerance; // degrees of latitude the text's precision allows
        double latMin, latMax, lonMin, lonMax;
    } specs[] = {
        {"Degrees", 6e-6, -89, 89, -180, 179.9},
        {"Deg,Min", 1e-5, -89, 89, -180, 179.9},
        {"Deg,Min,Sec", 2e-5, -89, 89, -180, 179.9},
        {"UTM on WGS84", 2e-5, -80, 84, -180, 179.9},
        {"UTM/WGS84 bands", 2e-5, -80, 84, -180, 179.9},
        {"MGRS", 2e-5, -89, 89, -180, 179.9},
        {"NZTM", 2e-5, -52, -30, 165, 179},
        {"British National Grid", 2e-5, 50, 60, -6, 1.5},
    };
    for (const Spec& sp : specs) {
        const CUnits::PositionFormatType& f = Fmt(sp.name);
        for (int i = 0; i <= 12; ++i) {
            for (int j = 0; j <= 12; ++j) {
                const double lat = sp.latMin + (sp.latMax - sp.latMin) * i / 12;
                const double lon = sp.lonMin + (sp.lonMax - sp.lonMin) * j / 12;
                std::string text;
                ASSERT_TRUE(f.Format(text, lat, lon)) << sp.name << " " << lat << " " << lon;
                double lat2 = 999, lon2 = 999;
                ASSERT_TRUE(f.Parse(text, lat2, lon2)) << sp.name << " " << text;
                EXPECT_NEAR(lat2, lat, sp.tolerance) << sp.name << " " << text;
                const double scale = std::max(std::cos(lat * M_PI / 180), 0.02);
                EXPECT_NEAR(geodesy::NormalizeLongitude(lon2 - lon) * scale, 0, sp.tolerance)
                    << sp.name << " " << text;
            }
        }
    }
}

// Great-circle distance in metres on the mean earth sphere; the longitude
// of a pole does not matter.
double DistanceMetres(double lat1, double lon1, double lat2, double lon2)
{
    const double r = M_PI / 180, dLat = (lat2 - lat1) * r, dLon = (lon2 - lon1) * r;
    const double h = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(lat1 * r) * std::cos(lat2 * r) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * 6371008.8 * std::asin(std::min(1.0, std::sqrt(h)));
}

TEST(PositionFormats, EveryRegisteredFormatReadsBackWhatItWrites)
{
    // How far a read-back point may lie from the written one: the format's
    // last digit on both axes.
    const std::map<std::string, double> resolutionMetres = {
        {"Degrees", 1.6},         {"Deg,Min", 2.7}, {"Deg,Min,Sec", 4.4}, {"UTM on WGS84", 1.5},
        {"UTM/WGS84 bands", 1.5}, {"NZTM", 1.5},    {"MGRS", 1.5},        {"British National Grid", 1.5},
    };
    // Every pairing of these: the poles and just short of them, UTM band and
    // MGRS cap edges, 0 and just south of it (a denormal projects to a
    // northing of 0), the date line from both sides, zone edges, New Zealand's
    // meridian, the Chatham Islands and the edges of that grid's reach.
    const double lats[] = {90,     89.9999999,  84.0000001, 84,   83.9999999,  72,      71.9999999,
                           51.5,   8,           0,          -0.0, -0.0000001,  -2e-323, -8,
                           -43.95, -80.0000001, -80,        -89,  -89.9999999, -90};
    const double lons[] = {180,          179.9999999, -180, -179.9999999, 0,   -0.0000001, 6,
                           5.9999999,    -6.0000001,  3,    -0.13,        173, 174.78,     143.0000001,
                           -157.0000001, -176.56,     -132, -5.3};
    std::vector<std::pair<double, double>> points;
    for (double lat : lats)
        for (double lon : lons)
            points.emplace_back(lat, lon);
    for (double lat = -90; lat <= 90; lat += 7.5)
        for (double lon = -180; lon <= 180; lon += 13.7)
            points.emplace_back(lat, lon);

    for (const CUnits::PositionFormatType* f = CUnits::PositionFormatType::First(); f; f = f->Next()) {
        const auto row = resolutionMetres.find(f->Name());
        ASSERT_NE(row, resolutionMetres.end()) << f->Name() << " has no row here";
        int written = 0;
        for (const auto& [lat, lon] : points) {
            std::string text;
            if (!f->Format(text, lat, lon))
                continue;
            ++written;
            double lat2 = 999, lon2 = 999;
            if (!f->Parse(text, lat2, lon2)) {
                ADD_FAILURE() << f->Name() << " (" << lat << ", " << lon << ") wrote " << text
                              << ", which it cannot read";
                continue;
            }
            EXPECT_LE(DistanceMetres(lat, lon, lat2, lon2), row->second)
                << f->Name() << " (" << lat << ", " << lon << "): " << text << " read as (" << lat2 << ", "
                << lon2 << ")";
        }
        EXPECT_GT(written, 0) << f->Name();
    }
}

TEST(PositionFormats, UTMAgreesWithReference)
{
    struct P
    {
        double lat, lon;
    } points[] = {{51, -1},          {-33.9, 18.4},  {40.7, -74},   {-41.3, 174.8}, {0, 3},
                  {0.0001, -0.0001}, {-0.0001, 10},  {84, 2.9},     {-80, -177},    {60, 5.999},
                  {60, 6.001},       {-45, -179.99}, {10, 179.999}, {56, 2.5},      {72, 20.9}};
    for (const P& p : points) {
        std::string text;
        ASSERT_TRUE(Fmt("UTM on WGS84").Format(text, p.lat, p.lon));
        int zone;
        char letter;
        double e, n;
        SplitUTM(text, zone, letter, e, n);
        EXPECT_EQ(zone, geodesy::UTMZone(p.lon));
        int refZone;
        bool northp;
        double x, y;
        GeographicLib::UTMUPS::Forward(p.lat, p.lon, refZone, northp, x, y, zone);
        EXPECT_EQ(letter, northp ? 'N' : 'S') << text;
        EXPECT_NEAR(e, x, 0.51) << text;
        EXPECT_NEAR(n, y, 0.51) << text;

        // MGRS takes the library's standard zones (Norway and Svalbard included).
        std::string mgrs, reference;
        ASSERT_TRUE(Fmt("MGRS").Format(mgrs, p.lat, p.lon));
        {
            int z;
            bool np;
            double mx, my;
            GeographicLib::UTMUPS::Forward(p.lat, p.lon, z, np, mx, my);
            GeographicLib::MGRS::Forward(z, np, mx, my, p.lat, 5, reference);
        }
        EXPECT_EQ(mgrs, reference);

        std::string banded;
        ASSERT_TRUE(Fmt("UTM/WGS84 bands").Format(banded, p.lat, p.lon));
        char band;
        SplitUTM(banded, zone, band, e, n);
        if (p.lat < 84) {
            const std::string mgrs = [&] {
                std::string m;
                GeographicLib::MGRS::Forward(zone, northp, x, y, p.lat, 0, m);
                return m;
            }();
            // The band letter follows the zone digits in the grid reference.
            EXPECT_EQ(band, mgrs[mgrs.find_first_not_of("0123456789")]) << banded << " " << mgrs;
        }
    }
    std::string s;
    Fmt("UTM on WGS84").Format(s, 10, -180);
    EXPECT_EQ(s.substr(0, 3), "1N ");
    Fmt("UTM on WGS84").Format(s, 10, 179.9);
    EXPECT_EQ(s.substr(0, 3), "60N");
    Fmt("UTM on WGS84").Format(s, 10, 180); // the same meridian as -180
    EXPECT_EQ(s.substr(0, 3), "1N ");
    Fmt("UTM/WGS84 bands").Format(s, -75, 0);
    EXPECT_EQ(s.substr(0, 3), "31C");
    Fmt("UTM/WGS84 bands").Format(s, 80, 0);
    EXPECT_EQ(s.substr(0, 3), "31X");
}

TEST(PositionFormats, UTMTextsAndRefusals)
{
    double lat = 7, lon = 8;
    EXPECT_TRUE(Fmt("UTM on WGS84").Parse("30N 699316E 5710163N", lat, lon));
    double x, y;
    int zone;
    bool northp;
    GeographicLib::UTMUPS::Forward(lat, lon, zone, northp, x, y, 30);
    EXPECT_NEAR(x, 699316, 0.01);
    EXPECT_NEAR(y, 5710163, 0.01);
    EXPECT_TRUE(Fmt("UTM/WGS84 bands").Parse("30u 699316 E 5710163", lat, lon));
    EXPECT_NEAR(lat, 51.5, 0.1);
    EXPECT_TRUE(Fmt("UTM/WGS84 bands").Parse("34H 261880E 6243186N", lat, lon));
    EXPECT_NEAR(lat, -33.9, 0.1);
    EXPECT_TRUE(Fmt("UTM on WGS84").Parse("34S 261880E 6243186N", lat, lon));
    EXPECT_NEAR(lat, -33.9, 0.1);
    // The poles as written, rounded just past them.
    EXPECT_TRUE(Fmt("UTM on WGS84").Parse("31N 500000E 9997965N", lat, lon));
    EXPECT_EQ(lat, 90);
    EXPECT_TRUE(Fmt("UTM/WGS84 bands").Parse("31C 500000E 002035N", lat, lon));
    EXPECT_EQ(lat, -90);

    for (const char* text : {"", "30N", "30N 699316E", "0N 500000E 0N", "61N 500000E 0N", "30N -1E 0N",
                             "30N 1000001E 0N", "30N 500000E 10000001N", "30N 500000E 1000000000000N",
                             "30 N 500000E 0N", "30N 500000 0", "99999999999999999999N 1E 1N", "30! 1E 1N",
                             // A kilometre past the pole is no rounding of it.
                             "31N 500000E 9999000N"}) {
        lat = 7;
        lon = 8;
        EXPECT_FALSE(Fmt("UTM on WGS84").Parse(text, lat, lon)) << text;
        EXPECT_FALSE(Fmt("UTM/WGS84 bands").Parse(text, lat, lon)) << text;
        EXPECT_EQ(lat, 7) << text;
        EXPECT_EQ(lon, 8) << text;
    }
}

TEST(PositionFormats, NationalGrid)
{
    double e, n;
    ASSERT_TRUE(CUnitsOSGB::ParseGridReference("TQ 300 800", e, n));
    EXPECT_EQ(e, 530000);
    EXPECT_EQ(n, 180000);
    ASSERT_TRUE(CUnitsOSGB::ParseGridReference("tq 3000 8000", e, n));
    EXPECT_EQ(e, 530000);
    EXPECT_EQ(n, 180000);
    ASSERT_TRUE(CUnitsOSGB::ParseGridReference(" \tTQ 30028 80380", e, n));
    EXPECT_EQ(e, 530028);
    EXPECT_EQ(n, 180380);
    ASSERT_TRUE(CUnitsOSGB::ParseGridReference("HP 000 000", e, n));
    EXPECT_EQ(e, 400000);
    EXPECT_EQ(n, 1200000);
    ASSERT_TRUE(CUnitsOSGB::ParseGridReference("SV 000 000", e, n));
    EXPECT_EQ(e, 0);
    EXPECT_EQ(n, 0);
    for (const char* text :
         {"", "T", "TQ", "TQ 30 80", "TQ 3000 800", "TQ 30000 8000", "TI 300 800", "T1 300 800", "1Q 300 800",
          "XQ 300 800", "TQ 300000 800000", "T\xC3\xA9 300 800"}) {
        EXPECT_FALSE(CUnitsOSGB::ParseGridReference(text, e, n)) << text;
    }

    // The typed reference lands where the grid puts it: the OSGB36 position of
    // the same easting and northing is within a few hundred metres of WGS84.
    double lat = 7, lon = 8;
    ASSERT_TRUE(Fmt("British National Grid").Parse("TQ 30028 80380", lat, lon));
    double latOS, lonOS;
    GeographicLib::OSGB::Reverse(530028, 180380, latOS, lonOS);
    EXPECT_NEAR(lat, latOS, 0.002);
    EXPECT_NEAR(lon, lonOS, 0.003);
    std::string s;
    ASSERT_TRUE(Fmt("British National Grid").Format(s, lat, lon));
    EXPECT_EQ(s, "TQ 30028 80380");

    // The worked example's grid reference.
    ASSERT_TRUE(Fmt("British National Grid").Parse("TG 51409 13177", lat, lon));
    ASSERT_TRUE(Fmt("British National Grid").Format(s, lat, lon));
    EXPECT_EQ(s, "TG 51409 13177");

    // Ireland lies west of the grid.
    EXPECT_FALSE(Fmt("British National Grid").Format(s, 53.3, -9.5));
    EXPECT_EQ(s, "<off grid>");
    // A letter pair outside the grid's extent.
    lat = 7;
    EXPECT_FALSE(Fmt("British National Grid").Parse("JE 000 000", lat, lon));
    EXPECT_EQ(lat, 7);
}

TEST(PositionFormats, NZTM)
{
    std::string s;
    ASSERT_TRUE(Fmt("NZTM").Format(s, -34.444065991, 172.739193967));
    EXPECT_EQ(s, "1576041 6188574");
    double lat = 7, lon = 8;
    ASSERT_TRUE(Fmt("NZTM").Parse(" 1307103.220 4826464.860", lat, lon));
    EXPECT_NEAR(lat, -46.651295012, 1e-8);
    EXPECT_NEAR(lon, 169.172062008, 1e-8);
    // Across 180 degrees (the Chatham Islands, the Kermadecs) and far from New Zealand.
    const struct
    {
        double lat, lon;
        const char* text;
    } rows[] = {
        {-43.95, -176.56, "2437876 5080399"},
        {-29.25, -177.9, "2486154 6729745"},
        {-41.29, 174.78, "1749046 5427521"},
        {0, 0, "<off grid>"},
        {-45, 150, "<off grid>"},
        {-45, -164, "<off grid>"},
        {-40, 143.5, "<off grid>"},
        {0.001, 173, "<off grid>"},
        {-90, 0, "<off grid>"},
        {-88, 5.438873794021694e+185, "<off grid>"}, // that is 4 degrees west
    };
    for (const auto& row : rows) {
        const bool onGrid = row.text[0] != '<';
        EXPECT_EQ(Fmt("NZTM").Format(s, row.lat, row.lon), onGrid) << row.lat << " " << row.lon;
        EXPECT_EQ(s, row.text) << row.lat << " " << row.lon;
        if (!onGrid)
            continue;
        ASSERT_TRUE(Fmt("NZTM").Parse(row.text, lat, lon)) << row.text;
        EXPECT_NEAR(lat, row.lat, 1e-5) << row.text;
        EXPECT_NEAR(lon, row.lon, 1e-5) << row.text;
    }
    for (const char* text : {"", "1576041", "nan nan", "inf 1", "1e12 1e12", "1576041 1e12", "-5 6188574",
                             "1576041 -6188574", "0x10 0x10"}) {
        lat = 7;
        EXPECT_FALSE(Fmt("NZTM").Parse(text, lat, lon)) << text;
        EXPECT_EQ(lat, 7) << text;
    }
}

TEST(PositionFormats, MGRS)
{
    const CUnits::PositionFormatType& f = Fmt("MGRS");
    double lat = 7, lon = 8;
    ASSERT_TRUE(f.Parse("30U XC 99316 10163", lat, lon));
    int zone, prec;
    bool northp;
    double x, y, refLat, refLon;
    GeographicLib::MGRS::Reverse("30UXC9931610163", zone, northp, x, y, prec);
    GeographicLib::UTMUPS::Reverse(zone, northp, x, y, refLat, refLon);
    EXPECT_NEAR(lat, refLat, 1e-9);
    EXPECT_NEAR(lon, refLon, 1e-9);
    std::string s;
    ASSERT_TRUE(f.Format(s, lat, lon));
    EXPECT_EQ(s, "30UXC9931610163");

    // Polar caps (UPS) and both hemispheres.
    for (double la : {89.5, -89.5, 84.5, -80.5, -33.9, 0.0}) {
        ASSERT_TRUE(f.Format(s, la, 20)) << la;
        ASSERT_TRUE(f.Parse(s, lat, lon)) << s;
        EXPECT_NEAR(lat, la, 1e-5) << s;
    }

    // The library's refusals become failed parses, outputs untouched.
    for (const char* text : {"INVALID", "", "   ", "99U XC 1 1", "30UXC993161016", "30I XC 1 1",
                             "30UXC99316101630000000000000000000000000000000000000000000000000000000000"}) {
        lat = 7;
        lon = 8;
        EXPECT_FALSE(f.Parse(text, lat, lon)) << text;
        EXPECT_EQ(lat, 7) << text;
        EXPECT_EQ(lon, 8) << text;
    }
}

} // namespace
