#pragma once
// Magnetic variation (declination) from the World Magnetic Model: a
// spherical-harmonic model of the main field to degree 12, read from a
// coefficient file.
#include <array>
#include <istream>
#include <string>

struct CMagneticModel
{
    static constexpr int kMaxDegree = 12;
    static constexpr int kCount = (kMaxDegree + 1) * (kMaxDegree + 2) / 2; // 91, index n (n + 1) / 2 + m

    double epoch = 0; // decimal year
    std::string name;
    int maxDegree = kMaxDegree;
    int maxDegreeSecular = kMaxDegree;
    std::array<double, kCount> g{};     // nT
    std::array<double, kCount> h{};     // nT
    std::array<double, kCount> gRate{}; // nT per year
    std::array<double, kCount> hRate{}; // nT per year

    static constexpr int Index(int n, int m) { return n * (n + 1) / 2 + m; }
};

// Reads a coefficient file: a header line "<epoch> <name> [<date>]", then lines
// "n m g h gRate hRate", ended by a line starting "9999" or by the end of the text.
// Rows of a degree or order this model does not carry (n outside 1..12, m outside
// 0..n) are skipped. False, with `model` untouched, when the header or any row
// is malformed or holds a non-finite number.
bool ReadMagneticModel(std::istream& in, CMagneticModel& model);
bool LoadMagneticModel(const std::string& path, CMagneticModel& model);

// The model's validity: its epoch to five years later.
double ClampModelYear(const CMagneticModel& model, double decimalYear);

// Declination in degrees (east positive) at a WGS84 position, altitude in
// metres above the ellipsoid, for a decimal year already within the model's validity.
double MagneticDeclination(const CMagneticModel& model, double latitude, double longitude,
                           double altitudeMetres, double decimalYear);

// The one entry point the rest of the system uses. Reads the coefficient file on
// every call. Time in seconds since 1970 (UTC); times before 2000 count as
// unknown and the clock is used instead; the date is held within the model's
// validity. 0 when the file cannot be read or the position is not usable.
float GetMagneticVariation(const std::string& coefficientFile, double latitude, double longitude,
                           double altitudeMetres, double time);

// The shipped coefficient resource "WMM_COF" ("" when it cannot be found).
std::string MagneticModelResourcePath();
