#include "instruments/InstrumentSettings.h"

#include "instruments/data/DataDistanceToStart.h"
#include "instruments/data/DataStartTimer.h"
#include "instruments/data/DataTrueWind.h"
#include "instruments/feeds/StartInfoFeed.h"

void CreateInstrumentSettings()
{
    Feed_StartInfo::Global();
    CDataTrueWind::Global();
    CDataStartTimer::Settings();
    CDataStartLine::Settings();
    // Subscribed before the settings publish the loaded start line.
    CDataDistanceToStart::Global();
}
