// The one place that decides the order of the item menu. Static
// initialisers in different files run in no defined order, so the families
// register here, explicitly, in this order; each family adds its call.
#include "panels/SmallItems.h"
#include "panels/items/GotoItems.h"
#include "panels/items/GpsItems.h"
#include "panels/items/InstrumentItems.h"
#include "panels/items/LayoutButtonItems.h"
#include "panels/items/RaceItems.h"
#include "panels/items/TrackItems.h"

void RegisterAllPanelItems()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    RegisterInstrumentItems();
    // GPS
    RegisterGPSItems();
    RegisterLogoItem();
    // race timer and course axis
    RegisterRaceItems();
    RegisterHintAndBlankItems();
    // track
    RegisterTrackItems();
    // layout button
    RegisterLayoutButtonItem();
    // go-to
    RegisterGotoItems();
}
