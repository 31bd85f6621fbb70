#pragma once
// The user's display units and every formatter that turns the internal
// quantities (metres, knots, degrees Celsius, degrees true, seconds) into
// display text in those units. One object, CDefaultUnits, serves the whole
// application; changes to it are announced on Listener<CUnits>.
#include "foundation/settings/GlobalSettingsType.h"
#include "foundation/settings/PersistantData.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

class CUnits
{
public:
    // A named way of writing and reading positions (WGS84 degrees, north and east
    // positive). The formats join the list through RegisterPositionFormats; the
    // list is the menu of formats.
    class PositionFormatType
    {
    public:
        explicit PositionFormatType(const char* name);
        PositionFormatType(const PositionFormatType&) = delete;
        PositionFormatType& operator=(const PositionFormatType&) = delete;

        // Writes the text; false (with a placeholder text) only when the position
        // cannot be shown in this format.
        virtual bool Format(std::string& text, double latitude, double longitude) const = 0;
        // True when the text was read; the outputs are written only then.
        virtual bool Parse(std::string_view text, double& latitude, double& longitude) const = 0;

        const std::string& Name() const { return m_name; }
        const PositionFormatType* Next() const { return m_next; }

        // Appends the format to the list; a second call does nothing.
        void Register();

        // The first look-up registers the built-in formats.
        static const PositionFormatType* First();
        // The format with exactly this name, or the default "Deg,Min" format.
        static const PositionFormatType* Find(std::string_view name);

    protected:
        // Format objects live for the whole process and are never deleted through the base.
        ~PositionFormatType() = default;

    private:
        std::string m_name;
        const PositionFormatType* m_next = nullptr;
        bool m_registered = false;
    };

    // Latitude and longitude with hemisphere letters; style 0 degrees,
    // 1 degrees and minutes, 2 degrees, minutes and seconds.
    class PosFmtLatLon : public PositionFormatType
    {
    public:
        PosFmtLatLon(const char* name, int style) : PositionFormatType(name), m_style(style) {}
        bool Format(std::string& text, double latitude, double longitude) const override;
        bool Parse(std::string_view text, double& latitude, double& longitude) const override;

        bool FormatLatLon(std::string& text, double latitude, double longitude) const;
        // One coordinate's magnitude with its letter (pos for >= 0, neg otherwise).
        std::string FormatCoordinate(double value, char pos, char neg) const;
        int Style() const { return m_style; }

    private:
        int m_style;
    };
    class PosFmtDeg : public PosFmtLatLon
    {
    public:
        PosFmtDeg() : PosFmtLatLon("Degrees", 0) {}
    };
    class PosFmtDegMin : public PosFmtLatLon
    {
    public:
        PosFmtDegMin() : PosFmtLatLon("Deg,Min", 1) {}
    };
    class PosFmtDMS : public PosFmtLatLon
    {
    public:
        PosFmtDMS() : PosFmtLatLon("Deg,Min,Sec", 2) {}
    };

    // Reads one coordinate ("50 30.5N", "50°30.5'", "1d15'W", "-1.25") as
    // degrees. Returns 999 when no number can be read; `letter` is the first
    // letter other than D and E, upper case, or 0.
    static double ParseCoordinate(std::string_view text, char& letter);

    // One row of a unit table: display name and factor per internal unit.
    struct UnitEntry
    {
        const char* name;
        float factor;
    };

    // Distance units; the first three are also the unit systems.
    enum : uint32_t {
        kMiles = 0,
        kNauticalMiles = 1,
        kKilometres = 2,
        kMetres = 3,
        kFeet = 4,
        kYards = 5,
        kDistanceUnitCount = 6,
    };
    enum : uint32_t { kStatute = 0, kNautical = 1, kMetric = 2 };
    enum : uint32_t { kMph = 0, kKnots = 1, kKmh = 2, kMetresPerSecond = 3, kSpeedUnitCount = 4 };
    enum : uint32_t { kDepthFeet = 0, kDepthMetres = 1, kFathoms = 2, kDepthUnitCount = 3 };
    enum : uint32_t { kBearingsTrue = 0, kBearingsMagnetic = 1 };
    enum : uint32_t { kCelsius = 0, kFahrenheit = 1 };

    // The tables; an index outside a table gives its first row.
    static const UnitEntry& DistanceUnit(uint32_t index);
    static const UnitEntry& SpeedUnit(uint32_t index);
    static const UnitEntry& DepthUnit(uint32_t index);
    // The short-distance unit that goes with a unit system (0..2), else `fallback`.
    static uint32_t SmallDistanceUnitFor(uint32_t distanceUnit, uint32_t fallback);

    CUnits() = default;
    virtual ~CUnits() = default;
    CUnits(const CUnits&) = default;
    CUnits& operator=(const CUnits&) = default;

    // Formatters: each replaces the contents of the output text.
    // Metres as a number and a unit name (the short unit for 0.1 units or less).
    void FormatDistanceValue(float metres, std::string& number, std::string& unit) const;
    // Number, one blank, unit name.
    void FormatDistance(float metres, std::string& text) const;
    // The number alone, always in the main distance unit.
    void FormatDistanceNumber(float metres, std::string& text) const;
    void FormatSpeedValue(float knots, std::string& text) const;
    // Number followed directly by the unit name.
    void FormatSpeed(float knots, std::string& text) const;
    // "---" for an unknown depth (-9999 or less).
    void FormatDepthValue(float metres, std::string& text) const;
    // Number, one blank, unit name; "---" for an unknown depth.
    void FormatDepth(float metres, std::string& text) const;
    void FormatTemperatureValue(float celsius, std::string& text) const;
    const char* TemperatureUnitName() const;
    // Whole degrees "%03d", magnetic in magnetic mode; empty for an unknown bearing.
    void FormatBearingValue(float degreesTrue, std::string& text) const;
    const char* BearingSuffix() const;
    // Value followed directly by the suffix.
    void FormatBearing(float degreesTrue, std::string& text) const;
    // "59s", "1:01", "1:00:00", "10h:00", "1D 1h:01", "Negative ...".
    static void FormatDuration(double seconds, std::string& text);
    // Local time "hh:mm:ss".
    static void FormatClockTime(time_t time, std::string& text);
    // Local time "h:mmam" / "h:mmpm" (midnight shows 0).
    static void FormatClockTime12(time_t time, std::string& text);

    uint32_t GetSpeedUnit() const { return m_speedUnit; }
    // Writes the row of a unit system (0 Statute, 1 Nautical, 2 Metric); 3..5
    // write only the distance unit. False, changing nothing, for other values.
    bool SetUnitSystem(uint32_t system);
    // Recomputes the variation when the position is a degree or more from the
    // last one (or there is none). Positions that are not valid are ignored.
    // Fires Listener<CUnits> when it recomputed.
    void UpdateMagneticVariation(double latitude, double longitude, double time);
    // Recomputes at the last position and time on the next occasion: now.
    void ResetMagneticVariation();
    // Brings every unit index into its table (out of range: the default).
    void ClampIndices();

    // Never null: the default format until one is chosen.
    const PositionFormatType& PositionFormat() const;
    void SetPositionFormat(const PositionFormatType& format) { m_positionFormat = &format; }

    bool FormatPosition(std::string& text, double latitude, double longitude) const
    {
        return PositionFormat().Format(text, latitude, longitude);
    }
    bool ParsePosition(std::string_view text, double& latitude, double& longitude) const
    {
        return PositionFormat().Parse(text, latitude, longitude);
    }

    // The settings category "Units": opens the units menu through the units
    // port (geodesy/UnitsPorts.h).
    class CUnitSettingsType : public CGlobalSettingsType
    {
    public:
        CUnitSettingsType() : CGlobalSettingsType("Units") {}
        void Open() override;
        bool CanOpen() const override;
    };

    uint32_t m_distanceUnit = kMiles;
    uint32_t m_smallDistanceUnit = kFeet;
    uint32_t m_speedUnit = kMph;
    uint32_t m_depthUnit = kDepthFeet;
    uint32_t m_bearings = kBearingsTrue;
    uint32_t m_temperature = kFahrenheit;
    float m_variation = 0;            // degrees, east positive
    double m_variationLatitude = 999; // where it was computed; 999 when nowhere
    double m_variationLongitude = 999;
    double m_variationTime = 999; // seconds since 1970; 999 when never

private:
    // Null means the default; resolved on use so that a units object built by a
    // static initialiser does not depend on the formats being built first.
    const PositionFormatType* m_positionFormat = nullptr;
};

// The formats in menu order: "UTM/WGS84 bands", "UTM on WGS84", "NZTM",
// "Degrees", "Deg,Min,Sec", "Deg,Min", "British National Grid", "MGRS". A
// second call adds nothing.
void RegisterPositionFormats();

// The units of the whole application, saved as settings object "CDefaultUnits".
class CDefaultUnits : public CUnits
{
public:
    // The one object; built before the settings are read.
    static CDefaultUnits& Get();

    class Persistant : public PersistantData
    {
    public:
        explicit Persistant(CUnits& units) : PersistantData("CDefaultUnits"), m_units(units) {}
        void Exchange() override;

    private:
        CUnits& m_units;
    };
    static Persistant& Settings();

private:
    CDefaultUnits() = default;
};

// Builds the geodesy settings objects; start-up calls it before the settings are read.
void CreateGeodesySettings();

// The coefficient file of the magnetic model ("" when missing); tests may
// point it elsewhere.
std::string GetMagneticModelPath();
void SetMagneticModelPathForTesting(const std::string& path);
