#include "app/shell/Registries.h"

#include "ais/AISSentence.h"
#include "ais/AISTargetManager.h"
#include "ais/DSCTargets.h"
#include "ais/SettingsCategories.h"
#include "app/dialogs/Account.h"
#include "charts/ChartsSettings.h"
#include "foundation/FoundationSettings.h"
#include "geodesy/Units.h"
#include "instruments/InstrumentSettings.h"
#include "instruments/connections/ConnectionRegistry.h"
#include "instruments/nmea/NMEASentenceTypes.h"
#include "mapview/ownship/FeedRMC_to_GPSPosition.h"
#include "overlays/model/OverlaySourceRegistration.h"
#include "panels/DisplayView.h"
#include "panels/PanelsSettings.h"

void RegisterApplicationTypes()
{
    // -- foundation --
    MakeFoundationSettings();
    // -- geodesy --
    CreateGeodesySettings();
    RegisterPositionFormats();
    // -- charts --
    MakeChartsSettings();
    // -- instruments --
    CreateInstrumentSettings();
    RegisterNMEASentenceTypes();
    RegisterConnectionTypes();
    // -- mapview --
    CreateOwnShipFeed();
    // -- overlays --
    RegisterOverlaySources();
    // -- ais --
    RegisterAISSentenceTypes();
    CreateAISTargetManager();
    CreateDSCTargetManagers();
    RegisterSettingsCategories();
    // -- panels --
    MakePanelsSettings();
    RegisterAllPanelItems();
    // -- app --
    CAccount::Settings();
}
