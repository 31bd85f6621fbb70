#include "app/shell/Wiring.h"

#include "app/dialogs/Account.h"
#include "app/dialogs/ChartProblemBox.h"
#include "app/lists/map_list.h"
#include "app/lists/overlay_list.h"
#include "app/panels/PanelAdaptors_qt.h"
#include "app/panels/data_window.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/AppDelegatePorts.h"
#include "app/shell/AppOverlayUi.h"
#include "app/shell/AppSaveAll.h"
#include "app/shell/ChartViewRewrites.h"
#include "app/shell/ConnectionDialogs.h"
#include "app/shell/ConnectionEvents.h"
#include "app/shell/RaceDialogs.h"
#include "app/shell/SettingsPorts.h"
#include "app/shell/UrlCommands.h"
#include "app/window/DeleteToolKeys.h"
#include "app/window/UnitsMenuOpener.h"
#include "charts/ChartPorts.h"
#include "charts/chunked/MapDataDownload.h"
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

namespace {

// What termination calls: saves the layout of the open data window and releases it.
class CDataPanelWindowPort : public IDataPanelWindow
{
public:
    void SaveIfModifiedAndRelease() override { data_window::Release(); }
};

} // namespace

// Each layer's ports are installed in layering order, lowest first, so that a
// port filled later may already use those below it.

void WireApplicationPorts(AppDelegate& app)
{
    // -- foundation --
    static CQtDialogPresenter dialogPresenter;
    InstallPort<IDialogPresenter>(&dialogPresenter);
    static CQtMenuPopup menuPopup;
    InstallPort<IMenuPopup>(&menuPopup);
    static CQtProgressDialogOpener progressDialogOpener;
    InstallPort<IProgressDialogOpener>(&progressDialogOpener);

    // -- geodesy --
    static CUnitsMenuOpener unitsMenu;
    InstallPort<IUnitsUi>(&unitsMenu);

    // -- charts --
    static CChartProblemBox chartProblemBox;
    InstallPort<IChartProblemReporter>(&chartProblemBox);
    static CChartViewRewrites chartViewRewrites;
    InstallPort<IChartRewriteHooks>(&chartViewRewrites);

    // -- instruments --
    static CConnectionDialogs connectionDialogs;
    connectionDialogs.Attach(&app);
    InstallPort<IConnectionUi>(&connectionDialogs);
    static CConnectionEvents connectionEvents;
    InstallPort<IConnectionEvents>(&connectionEvents);

    // -- mapview --
    static CNumberedMarkCreator markCreator;
    InstallPort<IMarkCreator>(&markCreator);
    static CSettingsDialogs settingsDialogs;
    settingsDialogs.Attach(&app);
    InstallPort<IGPSSettingsUi>(&settingsDialogs);
    static CDeleteToolKeys deleteToolKeys;
    InstallPort<IChartDeleteTool>(&deleteToolKeys);

    // -- overlays --
    static COverlayObjectUi overlayObjectUi;
    InstallPort<IOverlayObjectUi>(&overlayObjectUi);
    static CAppOverlayUi overlayUi;
    overlayUi.Attach(&app);
    overlayUi.SetMapDataDownload(&StartMapDataDownload);
    InstallPort<IOverlayUi>(&overlayUi);
    static CAppSaveAll saveAll;
    saveAll.Attach(&app);
    InstallPort<ISaveAllPort>(&saveAll);
    InstallPort<IAccountNumberSource>(&CAccount::Get());

    // -- ais --
    InstallPort<IAISSettingsUi>(&settingsDialogs);

    // -- panels --
    static CRaceDialogs raceDialogs;
    raceDialogs.Attach(&app);
    InstallPort<IRaceDialogs>(&raceDialogs);

    static CQtPanelWindowFactory panelWindows;
    InstallPort<IPanelWindowFactory>(&panelWindows);
    // A double that a test installed before start-up is kept.
    static CDataPanelWindowPort dataPanelWindow;
    if (!IsPortInstalled<IDataPanelWindow>())
        InstallPort<IDataPanelWindow>(&dataPanelWindow);

    // -- app --
    static COverlayListContent overlayList;
    InstallPort<IOverlayWindowContent>(&overlayList);
    // A runner a test installed before the start stays in place.
    CUrlCommands::Get().Attach(&app);
    if (!IsPortInstalled<IPendingUrlRunner>())
        InstallPort<IPendingUrlRunner>(&CUrlCommands::Get());
    static CChartListOpener chartListOpener;
    InstallPort<IChartListOpener>(&chartListOpener);
    static CSettingsMenuItems menuItems;
    menuItems.Attach(&app);
    InstallPort<ITrackLoggingMenuItem>(&menuItems);
    InstallPort<IAisSettingsMenuItem>(&menuItems);
}

void UnwireApplicationPorts()
{
    // Reverse order of WireApplicationPorts.
    // -- app --
    InstallPort<IChartListOpener>(nullptr);
    InstallPort<IAisSettingsMenuItem>(nullptr);
    InstallPort<ITrackLoggingMenuItem>(nullptr);
    if (&Port<IPendingUrlRunner>() == &CUrlCommands::Get())
        InstallPort<IPendingUrlRunner>(nullptr);
    CUrlCommands::Get().Attach(nullptr);
    InstallPort<IOverlayWindowContent>(nullptr);

    // -- panels --
    if (dynamic_cast<CDataPanelWindowPort*>(&Port<IDataPanelWindow>()))
        InstallPort<IDataPanelWindow>(nullptr);
    InstallPort<IPanelWindowFactory>(nullptr);
    InstallPort<IRaceDialogs>(nullptr);

    // -- ais --
    InstallPort<IAISSettingsUi>(nullptr);

    // -- overlays --
    InstallPort<IAccountNumberSource>(nullptr);
    InstallPort<ISaveAllPort>(nullptr);
    InstallPort<IOverlayUi>(nullptr);
    InstallPort<IOverlayObjectUi>(nullptr);

    // -- mapview --
    InstallPort<IGPSSettingsUi>(nullptr);
    InstallPort<IMarkCreator>(nullptr);
    InstallPort<IChartDeleteTool>(nullptr);

    // -- instruments --
    InstallPort<IConnectionEvents>(nullptr);
    InstallPort<IConnectionUi>(nullptr);

    // -- charts --
    InstallPort<IChartRewriteHooks>(nullptr);
    InstallPort<IChartProblemReporter>(nullptr);

    // -- geodesy --
    InstallPort<IUnitsUi>(nullptr);

    // -- foundation --
    InstallPort<IProgressDialogOpener>(nullptr);
    InstallPort<IMenuPopup>(nullptr);
    InstallPort<IDialogPresenter>(nullptr);
}

const std::vector<CPortEntry>& ListApplicationPorts()
{
    static const std::vector<CPortEntry> ports = {
        // -- foundation --
        {"dialog presenter",
         [] { return dynamic_cast<CQtDialogPresenter*>(&Port<IDialogPresenter>()) != nullptr; }},
        {"menu popup", [] { return dynamic_cast<CQtMenuPopup*>(&Port<IMenuPopup>()) != nullptr; }},
        {"progress dialog opener",
         [] { return dynamic_cast<CQtProgressDialogOpener*>(&Port<IProgressDialogOpener>()) != nullptr; }},

        // -- geodesy --
        {"units menu", [] { return dynamic_cast<CUnitsMenuOpener*>(&Port<IUnitsUi>()) != nullptr; }},

        // -- charts --
        {"chart problem reporter",
         [] { return dynamic_cast<CChartProblemBox*>(&Port<IChartProblemReporter>()) != nullptr; }},
        {"chart rewrite hooks",
         [] { return dynamic_cast<CChartViewRewrites*>(&Port<IChartRewriteHooks>()) != nullptr; }},

        // -- instruments --
        {"connection dialogs",
         [] { return dynamic_cast<CConnectionDialogs*>(&Port<IConnectionUi>()) != nullptr; }},
        {"connection events",
         [] { return dynamic_cast<CConnectionEvents*>(&Port<IConnectionEvents>()) != nullptr; }},

        // -- mapview --
        {"mark creator",
         [] { return dynamic_cast<CNumberedMarkCreator*>(&Port<IMarkCreator>()) != nullptr; }},
        {"chart delete keys",
         [] { return dynamic_cast<CDeleteToolKeys*>(&Port<IChartDeleteTool>()) != nullptr; }},
        {"gps settings", [] { return dynamic_cast<CSettingsDialogs*>(&Port<IGPSSettingsUi>()) != nullptr; }},

        // -- overlays --
        {"overlay object ui",
         [] { return dynamic_cast<COverlayObjectUi*>(&Port<IOverlayObjectUi>()) != nullptr; }},
        {"overlay ui", [] { return dynamic_cast<CAppOverlayUi*>(&Port<IOverlayUi>()) != nullptr; }},
        {"save all data", [] { return dynamic_cast<CAppSaveAll*>(&Port<ISaveAllPort>()) != nullptr; }},
        {"account number", [] { return &Port<IAccountNumberSource>() == &CAccount::Get(); }},

        // -- ais --
        {"ais settings", [] { return dynamic_cast<CSettingsDialogs*>(&Port<IAISSettingsUi>()) != nullptr; }},

        // -- panels --
        {"race dialogs", [] { return dynamic_cast<CRaceDialogs*>(&Port<IRaceDialogs>()) != nullptr; }},
        {"panel windows",
         [] { return dynamic_cast<CQtPanelWindowFactory*>(&Port<IPanelWindowFactory>()) != nullptr; }},
        {"data panel window",
         [] { return dynamic_cast<CDataPanelWindowPort*>(&Port<IDataPanelWindow>()) != nullptr; }},

        // -- app --
        {"overlay window content",
         [] { return dynamic_cast<COverlayListContent*>(&Port<IOverlayWindowContent>()) != nullptr; }},
        {"chart list", [] { return dynamic_cast<CChartListOpener*>(&Port<IChartListOpener>()) != nullptr; }},
        {"track logging item",
         [] { return dynamic_cast<CSettingsMenuItems*>(&Port<ITrackLoggingMenuItem>()) != nullptr; }},
        {"ais settings item",
         [] { return dynamic_cast<CSettingsMenuItems*>(&Port<IAisSettingsMenuItem>()) != nullptr; }},
    };
    return ports;
}
