// The one place that decides the order of the item menu. Static
// initialisers in different files run in no defined order, so the families
// register here, explicitly, in this order; each family adds its call.
#include "panels/SmallItems.h"
#include "panels/items/InstrumentItems.h"

void RegisterAllPanelItems()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    RegisterInstrumentItems();
    // GPS
    RegisterLogoItem();
    // race timer and course axis
    RegisterHintAndBlankItems();
    // track
    // layout button
    // go-to
}
