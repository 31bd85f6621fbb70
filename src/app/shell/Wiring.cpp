#include "app/shell/Wiring.h"

#include "app/shell/Application.h"

// Each layer's ports are installed in layering order, lowest first, so that a
// port filled later may already use those below it.

void WireApplicationPorts(CTessarouteApp& app)
{
    (void)app;
    // -- foundation --

    // -- charts --

    // -- instruments --

    // -- mapview --

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

        // -- overlays --

        // -- ais --

        // -- panels --
    };
    return ports;
}
