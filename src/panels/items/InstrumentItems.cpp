#include "panels/items/InstrumentItems.h"

#include "geodesy/Units.h"
#include "panels/PanelNumbers.h"

#include <cmath>
#include <cstdio>

namespace NDisplayInstruments {

namespace {

constexpr char kUnknown[] = "---";

// Whole numbers of any float size ("%.0f" of 3e38 has 39 digits).
std::string WholeNumber(double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.0f", value);
    return buffer;
}

} // namespace

std::string ApparentWindAngleText(double angle)
{
    const double a = NormaliseDegrees(angle);
    const bool port = a > 180;
    int32_t n = 0;
    if (!SafeToInt((port ? 360 - a : a) + 0.499, n))
        return kUnknown;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%c%03d%c", port ? '>' : ' ', int(n), port ? ' ' : '<');
    return buffer;
}

std::string RudderAngleText(double angle)
{
    if (!std::isfinite(angle))
        return kUnknown;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.1f\xC2\xB0", std::fabs(angle));
    const std::string text = buffer;
    return angle < 0 ? "<<" + text : text + ">>";
}

std::string EngineRPMText(double engine01, double engine2)
{
    if (!std::isfinite(engine01) || std::isnan(engine2) || std::isinf(engine2))
        return kUnknown;
    std::string text = WholeNumber(engine01);
    if (engine2 > 0) {
        text += ' ';
        text += WholeNumber(engine2);
    }
    return text;
}

std::string TrueWindDirectionText(double direction)
{
    int32_t n = 0;
    if (!SafeToInt(NormaliseDegrees(direction) + 0.499, n))
        return kUnknown;
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%03d", int(n));
    return buffer;
}

std::string SpeedText(float knots)
{
    // Not-finite values come back as "---".
    std::string text;
    CDefaultUnits::Get().FormatSpeedValue(knots, text);
    return text;
}

std::string DepthText(float metres)
{
    // Not-finite values come back as "---".
    std::string text;
    CDefaultUnits::Get().FormatDepthValue(metres, text);
    return text;
}

std::string TemperatureText(float celsius)
{
    // Not-finite values come back as "---".
    std::string text;
    CDefaultUnits::Get().FormatTemperatureValue(celsius, text);
    return text;
}

std::string SpeedRangeText(float minimumKnots, float maximumKnots)
{
    return SpeedText(minimumKnots) + "-" + SpeedText(maximumKnots);
}

std::string SpeedUnitName()
{
    return CUnits::SpeedUnit(CDefaultUnits::Get().m_speedUnit).name;
}

std::string DepthUnitName()
{
    return CUnits::DepthUnit(CDefaultUnits::Get().m_depthUnit).name;
}

std::string TemperatureUnitName()
{
    return CDefaultUnits::Get().TemperatureUnitName();
}

CInstrumentText::CInstrumentText(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host,
                                 const char* title, const std::string& unit)
    : CDisplayView::CItemText(settings, host)
{
    if (m_txt)
        m_txt->SetLabel(title, unit);
}

void CInstrumentText::Show(const std::string& text)
{
    if (m_txt)
        m_txt->SetText(text);
}

BoatSpeed::BoatSpeed(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CInstrumentText(settings, host, "Boat Speed", SpeedUnitName())
{
}

void BoatSpeed::Notify(const CNMEA_Instruments::VHW& s)
{
    // A heading-only sentence says nothing about the speed.
    if (s.m_hasSpeed)
        Show(SpeedText(s.m_speed));
}

ApparentWindAngle::ApparentWindAngle(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CInstrumentText(settings, host, "Wind app (\xC2\xB0)", "")
{
}

void ApparentWindAngle::Notify(const CNMEA_Instruments::MWV& s)
{
    if (!s.m_true)
        Show(ApparentWindAngleText(s.m_angle));
}

ApparentWindSpeed::ApparentWindSpeed(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CInstrumentText(settings, host, "App Wind", SpeedUnitName())
{
}

void ApparentWindSpeed::Notify(const CNMEA_Instruments::MWV& s)
{
    if (!s.m_true)
        Show(SpeedText(s.m_speed));
}

TrueWindDirection::TrueWindDirection(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CInstrumentText(settings, host, "Wind Direction (\xC2\xB0T)", "")
{
}

void TrueWindDirection::Notify(const CDataTrueWind& wind)
{
    Show(TrueWindDirectionText(wind.m_current.direction));
}

TrueWindSpeed::TrueWindSpeed(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CInstrumentText(settings, host, "True Wind", SpeedUnitName())
{
}

void TrueWindSpeed::Notify(const CDataTrueWind& wind)
{
    Show(SpeedText(wind.m_current.speed));
}

TrueWindRange::TrueWindRange(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CInstrumentText(settings, host, "Avg True Wind", SpeedUnitName())
{
}

void TrueWindRange::Notify(const CDataTrueWind& wind)
{
    float minimum = 0, maximum = 0;
    CDataTrueWind::GetSpeedRange(wind.m_averageRange, minimum, maximum);
    Show(SpeedRangeText(minimum, maximum));
}

TrueWindGust::TrueWindGust(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CInstrumentText(settings, host, "True Wind Gust", SpeedUnitName())
{
}

void TrueWindGust::Notify(const CDataTrueWind& wind)
{
    Show(SpeedText(CDataTrueWind::GetGust(wind.m_currentRange)));
}

WaterDepth::WaterDepth(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CInstrumentText(settings, host, "Depth", DepthUnitName())
{
}

void WaterDepth::Notify(const CNMEA_Instruments::DPT& s)
{
    Show(DepthText(s.m_depth + s.m_waterlineOffset));
}

void WaterDepth::Notify(const CNMEA_Instruments::DBT& s)
{
    Show(DepthText(s.m_depth));
}

WaterTemperature::WaterTemperature(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CInstrumentText(settings, host, "Water Temp", TemperatureUnitName())
{
}

void WaterTemperature::Notify(const CNMEA_Instruments::MTW& s)
{
    Show(TemperatureText(s.m_temperature));
}

RudderAngle::RudderAngle(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CInstrumentText(settings, host, "Rudder", "")
{
}

void RudderAngle::Notify(const CNMEA_Instruments::RSA& s)
{
    Show(RudderAngleText(s.m_angle));
}

AverageRudderAngle::AverageRudderAngle(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CInstrumentText(settings, host, "Avg Rudder", "")
{
}

void AverageRudderAngle::Notify(const CNMEA_Instruments::RSA& s)
{
    Show(RudderAngleText(s.m_smoothedAngle));
}

EngineRPM::EngineRPM(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CInstrumentText(settings, host, "RPM", "")
{
}

void EngineRPM::Notify(const CNMEA_Instruments::RPM& s)
{
    Show(EngineRPMText(s.m_engine01, s.m_engine2));
}

} // namespace NDisplayInstruments

namespace {

template <class Item> CDisplayView::CRegistryEntry& Entry(const char* path)
{
    static CDisplayView::CRegistryEntry entry{path, Item::kTypeId, &Item::CSettings::cType, nullptr};
    return entry;
}

} // namespace

void RegisterInstrumentItems()
{
    using namespace NDisplayInstruments;
    CDisplayView::Register(Entry<BoatSpeed>("Instruments:Boat Speed"));
    CDisplayView::Register(Entry<ApparentWindAngle>("Instruments:Apparent Wind Angle"));
    CDisplayView::Register(Entry<ApparentWindSpeed>("Instruments:Apparent Wind Speed"));
    CDisplayView::Register(Entry<TrueWindDirection>("Instruments:True Wind Direction"));
    CDisplayView::Register(Entry<TrueWindSpeed>("Instruments:True Wind Speed"));
    CDisplayView::Register(Entry<TrueWindRange>("Instruments:True Wind Range"));
    CDisplayView::Register(Entry<TrueWindGust>("Instruments:True Wind Gust"));
    CDisplayView::Register(Entry<WaterDepth>("Instruments:Depth of water"));
    CDisplayView::Register(Entry<WaterTemperature>("Instruments:Water Temperature"));
    CDisplayView::Register(Entry<RudderAngle>("Instruments:Rudder Angle"));
    CDisplayView::Register(Entry<AverageRudderAngle>("Instruments:Average Rudder Angle"));
    CDisplayView::Register(Entry<EngineRPM>("Instruments:Engine RPM"));
}
