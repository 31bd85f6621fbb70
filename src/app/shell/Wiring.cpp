#include "app/shell/Wiring.h"

#include "app/dialogs/ConnectionDialogs.h"
#include "app/shell/Application.h"
#include "app/shell/ConnectionEvents.h"
#include "app/window/DeleteToolKeys.h"
#include "app/window/UnitsMenuOpener.h"
#include "geodesy/UnitsPorts.h"
#include "instruments/connections/ConnectionPorts.h"
#include "mapview/view/ChartInputPorts.h"

// Each layer's ports are installed in layering order, lowest first, so that a
// port filled later may already use those below it.

void WireApplicationPorts(CTessarouteApp& app)
{
    (void)app;
    // -- foundation --

    // -- geodesy --
    static CUnitsMenuOpener unitsMenu;
    SetUnitsUi(&unitsMenu);

    // -- charts --

    // -- instruments --
    static CConnectionDialogs connectionDialogs;
    connectionDialogs.Attach(&app);
    SetConnectionUi(&connectionDialogs);
    static CConnectionEvents connectionEvents;
    SetConnectionEvents(&connectionEvents);

    // -- mapview --
    static CDeleteToolKeys deleteToolKeys;
    SetChartDeleteTool(&deleteToolKeys);

    // -- overlays --

    // -- ais --

    // -- panels --
}

void UnwireApplicationPorts()
{
    // Reverse order of WireApplicationPorts.
    // -- panels --

    // -- ais --

    // -- overlays --

    // -- mapview --
    SetChartDeleteTool(nullptr);

    // -- instruments --
    SetConnectionEvents(nullptr);
    SetConnectionUi(nullptr);

    // -- charts --

    // -- geodesy --
    SetUnitsUi(nullptr);

    // -- foundation --
}

const std::vector<CPortEntry>& ListApplicationPorts()
{
    static const std::vector<CPortEntry> ports = {
        // -- foundation --

        // -- geodesy --
        {"units menu", [] { return dynamic_cast<CUnitsMenuOpener*>(&UnitsUi()) != nullptr; }},

        // -- charts --

        // -- instruments --
        {"connection dialogs", [] { return dynamic_cast<CConnectionDialogs*>(&ConnectionUi()) != nullptr; }},
        {"connection events",
         [] { return dynamic_cast<CConnectionEvents*>(&ConnectionEvents()) != nullptr; }},

        // -- mapview --
        {"chart delete keys", [] { return dynamic_cast<CDeleteToolKeys*>(&ChartDeleteTool()) != nullptr; }},

        // -- overlays --

        // -- ais --

        // -- panels --
    };
    return ports;
}
