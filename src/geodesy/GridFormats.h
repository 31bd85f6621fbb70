#pragma once
// Grid position formats: UTM (hemisphere letter or latitude band), New Zealand
// Transverse Mercator, the British National Grid and MGRS.
#include "geodesy/Units.h"

class CUnitsPositionUTM84 : public CUnits::PositionFormatType
{
public:
    CUnitsPositionUTM84() : PositionFormatType("UTM on WGS84") {}
    bool Format(std::string& text, double latitude, double longitude) const override;
    bool Parse(std::string_view text, double& latitude, double& longitude) const override;
};

class CUnitsPositionUTM84bands : public CUnits::PositionFormatType
{
public:
    CUnitsPositionUTM84bands() : PositionFormatType("UTM/WGS84 bands") {}
    bool Format(std::string& text, double latitude, double longitude) const override;
    bool Parse(std::string_view text, double& latitude, double& longitude) const override;
};

class CUnitsNZTM : public CUnits::PositionFormatType
{
public:
    CUnitsNZTM() : PositionFormatType("NZTM") {}
    bool Format(std::string& text, double latitude, double longitude) const override;
    bool Parse(std::string_view text, double& latitude, double& longitude) const override;
};

class CUnitsOSGB : public CUnits::PositionFormatType
{
public:
    CUnitsOSGB() : PositionFormatType("British National Grid") {}
    bool Format(std::string& text, double latitude, double longitude) const override;
    bool Parse(std::string_view text, double& latitude, double& longitude) const override;

    // Easting and northing in metres from a grid reference such as "TQ 30028 80380".
    static bool ParseGridReference(std::string_view text, double& easting, double& northing);
};

class CUnitsMGRS : public CUnits::PositionFormatType
{
public:
    CUnitsMGRS() : PositionFormatType("MGRS") {}
    bool Format(std::string& text, double latitude, double longitude) const override;
    bool Parse(std::string_view text, double& latitude, double& longitude) const override;
};

namespace geodesy {
// UTM zone 1..60 for a longitude (normalised first).
int UTMZone(double longitude);
// Latitude band letter of the banded UTM format.
char UTMBandLetter(double latitude);
} // namespace geodesy
