#include "app/shell/Wiring.h"

#include "app/dialogs/ChartProblemBox.h"
#include "app/shell/AppOverlayUi.h"
#include "app/shell/AppSaveAll.h"
#include "app/shell/Application.h"
#include "app/shell/ChartViewRewrites.h"
#include "app/shell/ConnectionDialogs.h"
#include "app/shell/ConnectionEvents.h"
#include "app/window/DeleteToolKeys.h"
#include "app/window/UnitsMenuOpener.h"
#include "charts/ChartPorts.h"
#include "foundation/dialogs/QtDialogPresenter.h"
#include "foundation/jobs/progress_dialog.h"
#include "foundation/menus/MenuPopup_qt.h"
#include "geodesy/UnitsPorts.h"
#include "instruments/connections/ConnectionPorts.h"
#include "mapview/view/ChartInputPorts.h"
#include "mapview/view/OverlaySourcesPorts.h"
#include "overlays/model/NumberedMarkCreator.h"
#include "overlays/model/OverlayModelPorts.h"
#include "overlays/ui/OverlayObjectUi.h"
#include "overlays/ui/OverlayUiPorts.h"

// Each layer's ports are installed in layering order, lowest first, so that a
// port filled later may already use those below it.

void WireApplicationPorts(CTessarouteApp& app)
{
    // -- foundation --
    static CQtDialogPresenter dialogPresenter;
    SetDefaultDialogPresenter(&dialogPresenter);
    static CQtMenuPopup menuPopup;
    SetMenuPopup(&menuPopup);
    static CQtProgressDialogOpener progressDialogOpener;
    SetProgressDialogOpener(&progressDialogOpener);

    // -- geodesy --
    static CUnitsMenuOpener unitsMenu;
    SetUnitsUi(&unitsMenu);

    // -- charts --
    static CChartProblemBox chartProblemBox;
    SetChartProblemReporter(&chartProblemBox);
    static CChartViewRewrites chartViewRewrites;
    SetChartRewriteHooks(&chartViewRewrites);

    // -- instruments --
    static CConnectionDialogs connectionDialogs;
    connectionDialogs.Attach(&app);
    SetConnectionUi(&connectionDialogs);
    static CConnectionEvents connectionEvents;
    SetConnectionEvents(&connectionEvents);

    // -- mapview --
    static CNumberedMarkCreator markCreator;
    SetMarkCreator(&markCreator);
    static CDeleteToolKeys deleteToolKeys;
    SetChartDeleteTool(&deleteToolKeys);

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
    SetChartDeleteTool(nullptr);

    // -- instruments --
    SetConnectionEvents(nullptr);
    SetConnectionUi(nullptr);

    // -- charts --
    SetChartRewriteHooks(nullptr);
    SetChartProblemReporter(nullptr);

    // -- geodesy --
    SetUnitsUi(nullptr);

    // -- foundation --
    SetProgressDialogOpener(nullptr);
    SetMenuPopup(nullptr);
    SetDefaultDialogPresenter(nullptr);
}

const std::vector<CPortEntry>& ListApplicationPorts()
{
    static const std::vector<CPortEntry> ports = {
        // -- foundation --
        {"dialog presenter",
         [] { return dynamic_cast<CQtDialogPresenter*>(&DefaultDialogPresenter()) != nullptr; }},
        {"menu popup", [] { return dynamic_cast<CQtMenuPopup*>(&MenuPopup()) != nullptr; }},
        {"progress dialog opener",
         [] { return dynamic_cast<CQtProgressDialogOpener*>(&ProgressDialogOpener()) != nullptr; }},

        // -- geodesy --
        {"units menu", [] { return dynamic_cast<CUnitsMenuOpener*>(&UnitsUi()) != nullptr; }},

        // -- charts --
        {"chart problem reporter",
         [] { return dynamic_cast<CChartProblemBox*>(&ChartProblemReporter()) != nullptr; }},
        {"chart rewrite hooks",
         [] { return dynamic_cast<CChartViewRewrites*>(&ChartRewriteHooks()) != nullptr; }},

        // -- instruments --
        {"connection dialogs", [] { return dynamic_cast<CConnectionDialogs*>(&ConnectionUi()) != nullptr; }},
        {"connection events",
         [] { return dynamic_cast<CConnectionEvents*>(&ConnectionEvents()) != nullptr; }},

        // -- mapview --
        {"mark creator", [] { return dynamic_cast<CNumberedMarkCreator*>(&MarkCreator()) != nullptr; }},
        {"chart delete keys", [] { return dynamic_cast<CDeleteToolKeys*>(&ChartDeleteTool()) != nullptr; }},

        // -- overlays --
        {"overlay object ui", [] { return dynamic_cast<COverlayObjectUi*>(&OverlayObjectUi()) != nullptr; }},
        {"overlay ui", [] { return dynamic_cast<CAppOverlayUi*>(&OverlayUi()) != nullptr; }},
        {"save all data", [] { return dynamic_cast<CAppSaveAll*>(&SaveAllPort()) != nullptr; }},

        // -- ais --

        // -- panels --
    };
    return ports;
}
