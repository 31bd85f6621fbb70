// The unit systems, the magnetic variation held by the units, and the
// application's units object with its settings.
#include "foundation/events/Listener.h"
#include "foundation/util/Folders.h"
#include "foundation/util/PortSlot.h"
#include "geodesy/LocalPlane.h"
#include "geodesy/MagneticVariation.h"
#include "geodesy/Units.h"
#include "geodesy/UnitsPorts.h"

#include <cmath>

namespace {

// Altitude at which the variation is computed, metres.
constexpr double kVariationAltitude = 100;

std::string& MagneticModelOverride()
{
    static std::string path;
    return path;
}

} // namespace

std::string GetMagneticModelPath()
{
    if (!MagneticModelOverride().empty())
        return MagneticModelOverride();
    return GetResourcePath("WMM_COF", "");
}

void SetMagneticModelPathForTesting(const std::string& path)
{
    MagneticModelOverride() = path;
}

bool CUnits::SetUnitSystem(uint32_t system)
{
    switch (system) {
    case kStatute:
        m_distanceUnit = kMiles;
        m_smallDistanceUnit = kFeet;
        m_speedUnit = kMph;
        m_depthUnit = kDepthFeet;
        m_temperature = kFahrenheit;
        return true;
    case kNautical:
        m_distanceUnit = kNauticalMiles;
        m_smallDistanceUnit = kYards;
        m_speedUnit = kKnots;
        return true;
    case kMetric:
        m_distanceUnit = kKilometres;
        m_smallDistanceUnit = kMetres;
        m_speedUnit = kKmh;
        m_depthUnit = kDepthMetres;
        m_temperature = kCelsius;
        return true;
    default:
        // Any other distance unit alone; beyond the table nothing at all.
        if (system >= kDistanceUnitCount)
            return false;
        m_distanceUnit = system;
        return true;
    }
}

void CUnits::ClampIndices()
{
    const CUnits defaults;
    if (m_distanceUnit >= kDistanceUnitCount)
        m_distanceUnit = defaults.m_distanceUnit;
    if (m_smallDistanceUnit >= kDistanceUnitCount)
        m_smallDistanceUnit = defaults.m_smallDistanceUnit;
    if (m_speedUnit >= kSpeedUnitCount)
        m_speedUnit = defaults.m_speedUnit;
    if (m_depthUnit >= kDepthUnitCount)
        m_depthUnit = defaults.m_depthUnit;
    if (m_bearings > kBearingsMagnetic)
        m_bearings = defaults.m_bearings;
    if (m_temperature > kFahrenheit)
        m_temperature = defaults.m_temperature;
}

void CUnits::UpdateMagneticVariation(double latitude, double longitude, double time)
{
    // The no-position marker and NaN from callers must neither move the stored
    // place nor poison it.
    if (!IsValidPosition(latitude, longitude) || std::fabs(longitude) > 360)
        return;
    const double dLat = latitude - m_variationLatitude;
    const double dLon = longitude - m_variationLongitude;
    if (dLat * dLat + dLon * dLon < 1)
        return;
    const double when = std::isfinite(time) ? time : 0;
    m_variation = GetMagneticVariation(GetMagneticModelPath(), latitude, longitude, kVariationAltitude, when);
    m_variationLatitude = latitude;
    m_variationLongitude = longitude;
    m_variationTime = when;
    FireEvent<CUnits>(*this);
}

void CUnits::ResetMagneticVariation()
{
    const double latitude = m_variationLatitude, longitude = m_variationLongitude, time = m_variationTime;
    m_variationLatitude = 999;
    m_variationLongitude = 999;
    m_variationTime = 0;
    UpdateMagneticVariation(latitude, longitude, time);
}

CDefaultUnits& CDefaultUnits::Get()
{
    static CDefaultUnits units;
    return units;
}

CDefaultUnits::Persistant& CDefaultUnits::Settings()
{
    static Persistant settings(Get());
    return settings;
}

void CreateGeodesySettings()
{
    CDefaultUnits::Settings();
}

void CDefaultUnits::Persistant::Exchange()
{
    ExchangeHex("units", m_units.m_distanceUnit);
    ExchangeHex("speed", m_units.m_speedUnit);
    ExchangeHex("depth", m_units.m_depthUnit);
    std::string format = m_units.PositionFormat().Name();
    ExchangeString("posnfmt", format);
    ExchangeHex("bearings", m_units.m_bearings);
    ExchangeHex("temperature", m_units.m_temperature);
    if (IsLoading()) {
        // Unknown or empty names give the default format.
        if (const PositionFormatType* found = PositionFormatType::Find(format))
            m_units.SetPositionFormat(*found);
        m_units.ClampIndices();
        m_units.m_smallDistanceUnit =
            SmallDistanceUnitFor(m_units.m_distanceUnit, m_units.m_smallDistanceUnit);
    }
}

bool CUnits::CUnitSettingsType::CanOpen() const
{
    return IsPortInstalled<IUnitsUi>();
}

void CUnits::CUnitSettingsType::Open()
{
    Port<IUnitsUi>().OpenUnitsMenu();
}
