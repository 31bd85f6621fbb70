#pragma once
// The instrument cells: boat speed, apparent and true wind, depth, water
// temperature, rudder and engine revolutions. Each is a text cell that
// listens to one instrument sentence (or to the smoothed true wind) and shows
// the latest value in the user's units. The label is set once, when the cell
// is made; the panel remakes its cells when the units change.
#include "foundation/events/Listener.h"
#include "instruments/data/DataTrueWind.h"
#include "instruments/nmea/InstrumentSentences.h"
#include "panels/DisplayView.h"
#include "panels/items/PlacementSettings.h"

#include <memory>
#include <string>

namespace NDisplayInstruments {

// The value texts, from the global units. A value that is not finite, or too
// large for its integer format, gives "---".
// "%c%03d%c": '>' and the angle off the bow then a blank on the port side
// (above 180), else a blank, the angle and '<'.
std::string ApparentWindAngleText(double angle);
// "%.1f°" of the magnitude, "<<" before a negative angle, ">>" after any other.
std::string RudderAngleText(double angle);
// The first engine, then " " and the second when that is above 0.
std::string EngineRPMText(double engine01, double engine2);
// "%03d" of the direction + 0.499.
std::string TrueWindDirectionText(double direction);
std::string SpeedText(float knots);
std::string DepthText(float metres);
std::string TemperatureText(float celsius);
// "minimum-maximum", each a speed number.
std::string SpeedRangeText(float minimumKnots, float maximumKnots);
// Unit names of the global units.
std::string SpeedUnitName();
std::string DepthUnitName();
std::string TemperatureUnitName();

// A text cell with its label set once.
class CInstrumentText : public CDisplayView::CItemText
{
public:
    CInstrumentText(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host, const char* title,
                    const std::string& unit);

protected:
    void Show(const std::string& text);
};

#define TESSA_INSTRUMENT_ITEM(Name, Id)                                                                      \
    TESSA_PLACEMENT_ONLY_SETTINGS(Name, Id)                                                                  \
    Name(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)

class BoatSpeed : public Listener<CNMEA_Instruments::VHW>, public CInstrumentText
{
public:
    TESSA_INSTRUMENT_ITEM(BoatSpeed, 33);
    void Notify(const CNMEA_Instruments::VHW& s) override;
};

class ApparentWindAngle : public Listener<CNMEA_Instruments::MWV>, public CInstrumentText
{
public:
    TESSA_INSTRUMENT_ITEM(ApparentWindAngle, 34);
    void Notify(const CNMEA_Instruments::MWV& s) override;
};

class ApparentWindSpeed : public Listener<CNMEA_Instruments::MWV>, public CInstrumentText
{
public:
    TESSA_INSTRUMENT_ITEM(ApparentWindSpeed, 35);
    void Notify(const CNMEA_Instruments::MWV& s) override;
};

class TrueWindDirection : public Listener<CDataTrueWind>, public CInstrumentText
{
public:
    TESSA_INSTRUMENT_ITEM(TrueWindDirection, 86);
    void Notify(const CDataTrueWind& wind) override;
};

class TrueWindSpeed : public Listener<CDataTrueWind>, public CInstrumentText
{
public:
    TESSA_INSTRUMENT_ITEM(TrueWindSpeed, 87);
    void Notify(const CDataTrueWind& wind) override;
};

class TrueWindRange : public Listener<CDataTrueWind>, public CInstrumentText
{
public:
    TESSA_INSTRUMENT_ITEM(TrueWindRange, 112);
    void Notify(const CDataTrueWind& wind) override;
};

class TrueWindGust : public Listener<CDataTrueWind>, public CInstrumentText
{
public:
    TESSA_INSTRUMENT_ITEM(TrueWindGust, 113);
    void Notify(const CDataTrueWind& wind) override;
};

class WaterDepth : public Listener<CNMEA_Instruments::DPT>,
                   public Listener<CNMEA_Instruments::DBT>,
                   public CInstrumentText
{
public:
    TESSA_INSTRUMENT_ITEM(WaterDepth, 36);
    void Notify(const CNMEA_Instruments::DPT& s) override;
    void Notify(const CNMEA_Instruments::DBT& s) override;
};

class WaterTemperature : public Listener<CNMEA_Instruments::MTW>, public CInstrumentText
{
public:
    TESSA_INSTRUMENT_ITEM(WaterTemperature, 78);
    void Notify(const CNMEA_Instruments::MTW& s) override;
};

class RudderAngle : public Listener<CNMEA_Instruments::RSA>, public CInstrumentText
{
public:
    TESSA_INSTRUMENT_ITEM(RudderAngle, 80);
    void Notify(const CNMEA_Instruments::RSA& s) override;
};

class AverageRudderAngle : public Listener<CNMEA_Instruments::RSA>, public CInstrumentText
{
public:
    TESSA_INSTRUMENT_ITEM(AverageRudderAngle, 81);
    void Notify(const CNMEA_Instruments::RSA& s) override;
};

class EngineRPM : public Listener<CNMEA_Instruments::RPM>, public CInstrumentText
{
public:
    TESSA_INSTRUMENT_ITEM(EngineRPM, 82);
    void Notify(const CNMEA_Instruments::RPM& s) override;
};

#undef TESSA_INSTRUMENT_ITEM

} // namespace NDisplayInstruments

// Registers the twelve, called by RegisterAllPanelItems.
void RegisterInstrumentItems();
