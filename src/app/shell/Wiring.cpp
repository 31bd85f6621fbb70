#include "app/shell/Wiring.h"

#include "app/shell/AppOverlayUi.h"
#include "app/shell/AppSaveAll.h"
#include "app/shell/Application.h"
#include "mapview/view/OverlaySourcesPorts.h"
#include "overlays/model/NumberedMarkCreator.h"
#include "overlays/model/OverlayModelPorts.h"
#include "overlays/ui/OverlayObjectUi.h"
#include "overlays/ui/OverlayUiPorts.h"

// Each layer's ports are installed in layering order, lowest first, so that a
// port filled later may already use those below it.

void WireApplicationPorts(CTessarouteApp& app)
{
    (void)app;
    // -- foundation --

    // -- charts --

    // -- instruments --

    // -- mapview --
    static CNumberedMarkCreator markCreator;
    SetMarkCreator(&markCreator);

    // -- overlays --
    static COverlayObjectUi overlayObjectUi;
    SetOverlayObjectUi(&overlayObjectUi);
    static CAppOverlayUi overlayUi;
    overlayUi.Attach(&app);
    SetOverlayUi(&overlayUi);
    static CAppSaveAll saveAll;
    saveAll.Attach(&app);
    SetSaveAllPort(&saveAll);

    // -- ais --

    // -- panels --
}

void UnwireApplicationPorts()
{
    // Reverse order of WireApplicationPorts.
    // -- panels --

    // -- ais --

    // -- overlays --
    SetSaveAllPort(nullptr);
    SetOverlayUi(nullptr);
    SetOverlayObjectUi(nullptr);

    // -- mapview --
    SetMarkCreator(nullptr);

    // -- instruments --

    // -- charts --

    // -- foundation --
}

const std::vector<CPortEntry>& ListApplicationPorts()
{
    static const std::vector<CPortEntry> ports = {
        // -- foundation --

        // -- charts --

        // -- instruments --

        // -- mapview --
        {"mark creator", [] { return dynamic_cast<CNumberedMarkCreator*>(&MarkCreator()) != nullptr; }},

        // -- overlays --
        {"overlay object ui", [] { return dynamic_cast<COverlayObjectUi*>(&OverlayObjectUi()) != nullptr; }},
        {"overlay ui", [] { return dynamic_cast<CAppOverlayUi*>(&OverlayUi()) != nullptr; }},
        {"save all data", [] { return dynamic_cast<CAppSaveAll*>(&SaveAllPort()) != nullptr; }},

        // -- ais --

        // -- panels --
    };
    return ports;
}
