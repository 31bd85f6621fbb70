#include "instruments/feeds/TrueWindFeed.h"

#include "instruments/data/DataTrueWind.h"

namespace {
Feed_TrueWind_from_MWD gTrueWindFeed;
}

void Feed_TrueWind_from_MWD::Notify(const CNMEA_Instruments::MWD& s)
{
    CDataTrueWind& wind = CDataTrueWind::Global();
    if (!wind.AddReading(s.m_direction, s.m_speed, GetEventTime<CNMEA_Instruments::MWD>()))
        return;
    FireEvent<CDataTrueWind>(wind);
}
