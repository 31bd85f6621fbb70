#pragma once
// Turns wind-direction sentences into the smoothed true wind.
#include "foundation/events/Listener.h"
#include "instruments/nmea/InstrumentSentences.h"

class Feed_TrueWind_from_MWD : Listener<CNMEA_Instruments::MWD>
{
public:
    Feed_TrueWind_from_MWD() = default;

private:
    void Notify(const CNMEA_Instruments::MWD& s) override;
};
