#include "app/shell/Registries.h"

#include "ais/AISSentence.h"
#include "ais/AISTargetManager.h"
#include "ais/SettingsCategories.h"
#include "geodesy/Units.h"
#include "instruments/InstrumentSettings.h"
#include "instruments/connections/ConnectionRegistry.h"
#include "instruments/nmea/NMEASentenceTypes.h"
#include "mapview/ownship/FeedRMC_to_GPSPosition.h"

void RegisterApplicationTypes()
{
    // -- foundation, charts, panels --

    // -- geodesy --
    CreateGeodesySettings();
    RegisterPositionFormats();
    // -- instruments --
    CreateInstrumentSettings();
    RegisterNMEASentenceTypes();
    RegisterConnectionTypes();
    // -- mapview --
    CreateOwnShipFeed();
    // -- ais --
    RegisterAISSentenceTypes();
    CreateAISTargetManager();
    RegisterSettingsCategories();
}
