// The application's units loaded from arbitrary settings text, then every
// formatter run with what was loaded: no index may leave its table, and a
// save and reload must give the same choices back.
#include "FuzzScratch.h"
#include "foundation/settings/PersistantData.h"
#include "geodesy/Units.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// In this process's scratch folder, so a run that ends on a finding leaves
// nothing behind once the next run has started.
std::string ScratchPath(const char* name)
{
    return fuzzsupport::ScratchFolder("units") + "/" + name;
}

void CheckInTables(const CUnits& u)
{
    if (u.m_distanceUnit >= CUnits::kDistanceUnitCount ||
        u.m_smallDistanceUnit >= CUnits::kDistanceUnitCount || u.m_speedUnit >= CUnits::kSpeedUnitCount ||
        u.m_depthUnit >= CUnits::kDepthUnitCount || u.m_bearings > CUnits::kBearingsMagnetic ||
        u.m_temperature > CUnits::kFahrenheit)
        std::abort();
}

void Exercise(const CUnits& u)
{
    std::string a, b;
    for (float v : {0.0f, 0.05f, 54.0f, 999.7f, 1e7f, -9999.0f, 99.6f}) {
        u.FormatDistanceValue(v, a, b);
        u.FormatDistance(v, a);
        u.FormatDistanceNumber(v, a);
        u.FormatSpeed(v, a);
        u.FormatDepth(v, a);
        u.FormatDepthValue(v, a);
        u.FormatTemperatureValue(v, a);
        u.FormatBearing(v, a);
    }
    u.FormatPosition(a, 50.5, -1.25);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string primary = ScratchPath("primary.ini");
    static const std::string secondary = ScratchPath("secondary.ini");

    FILE* f = std::fopen(primary.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    PersistantData::SetIniPaths(primary, secondary);

    CDefaultUnits& units = CDefaultUnits::Get();
    static_cast<CUnits&>(units) = CUnits();
    PersistantData::LoadAll("Fuzz");
    CheckInTables(units);
    Exercise(units);

    const CUnits loaded = units;
    CDefaultUnits::Settings().SetModified();
    if (PersistantData::SaveAll()) {
        static_cast<CUnits&>(units) = CUnits();
        PersistantData::LoadAll("Fuzz");
        if (units.m_distanceUnit != loaded.m_distanceUnit || units.m_speedUnit != loaded.m_speedUnit ||
            units.m_depthUnit != loaded.m_depthUnit || units.m_bearings != loaded.m_bearings ||
            units.m_temperature != loaded.m_temperature ||
            &units.PositionFormat() != &loaded.PositionFormat())
            std::abort();
    }
    std::remove(primary.c_str());
    PersistantData::SetIniPaths("", "");
    return 0;
}
