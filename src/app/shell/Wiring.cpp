#include "app/shell/Wiring.h"

#include "app/dialogs/Account.h"
#include "app/dialogs/ChartProblemBox.h"
#include "app/lists/map_list.h"
#include "app/lists/overlay_list.h"
#include "app/panels/PanelAdaptors_qt.h"
#include "app/panels/data_window.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/AppDelegatePorts.h"
#include "app/shell/AppDialogPresenter.h"
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
    static CAppDialogPresenter dialogPresenter;
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

namespace {

template <class Interface, class Implementation> bool IsApplicationPort()
{
    return dynamic_cast<Implementation*>(&Port<Interface>()) != nullptr;
}

} // namespace

// An entry per port: the interface's name, as callers spell it in Port<...>,
// and whether the application's implementation is the one installed.
// clang-format off
#define TESSA_PORT_ENTRY(Interface, Implementation) {#Interface, &IsApplicationPort<Interface, Implementation>}
// clang-format on

const std::vector<CPortEntry>& ListApplicationPorts()
{
    static const std::vector<CPortEntry> ports = {
        // -- foundation --
        TESSA_PORT_ENTRY(IDialogPresenter, CQtDialogPresenter),
        TESSA_PORT_ENTRY(IMenuPopup, CQtMenuPopup),
        TESSA_PORT_ENTRY(IProgressDialogOpener, CQtProgressDialogOpener),

        // -- geodesy --
        TESSA_PORT_ENTRY(IUnitsUi, CUnitsMenuOpener),

        // -- charts --
        TESSA_PORT_ENTRY(IChartProblemReporter, CChartProblemBox),
        TESSA_PORT_ENTRY(IChartRewriteHooks, CChartViewRewrites),

        // -- instruments --
        TESSA_PORT_ENTRY(IConnectionUi, CConnectionDialogs),
        TESSA_PORT_ENTRY(IConnectionEvents, CConnectionEvents),

        // -- mapview --
        TESSA_PORT_ENTRY(IMarkCreator, CNumberedMarkCreator),
        TESSA_PORT_ENTRY(IChartDeleteTool, CDeleteToolKeys),
        TESSA_PORT_ENTRY(IGPSSettingsUi, CSettingsDialogs),

        // -- overlays --
        TESSA_PORT_ENTRY(IOverlayObjectUi, COverlayObjectUi),
        TESSA_PORT_ENTRY(IOverlayUi, CAppOverlayUi),
        TESSA_PORT_ENTRY(ISaveAllPort, CAppSaveAll),
        {"IAccountNumberSource", [] { return &Port<IAccountNumberSource>() == &CAccount::Get(); }},

        // -- ais --
        TESSA_PORT_ENTRY(IAISSettingsUi, CSettingsDialogs),

        // -- panels --
        TESSA_PORT_ENTRY(IRaceDialogs, CRaceDialogs),
        TESSA_PORT_ENTRY(IPanelWindowFactory, CQtPanelWindowFactory),
        TESSA_PORT_ENTRY(IDataPanelWindow, CDataPanelWindowPort),

        // -- app --
        TESSA_PORT_ENTRY(IOverlayWindowContent, COverlayListContent),
        TESSA_PORT_ENTRY(IPendingUrlRunner, CUrlCommands),
        TESSA_PORT_ENTRY(IChartListOpener, CChartListOpener),
        TESSA_PORT_ENTRY(ITrackLoggingMenuItem, CSettingsMenuItems),
        TESSA_PORT_ENTRY(IAisSettingsMenuItem, CSettingsMenuItems),
    };
    return ports;
}

#undef TESSA_PORT_ENTRY
