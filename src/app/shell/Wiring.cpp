#include "app/shell/Wiring.h"

#include "app/dialogs/ChartProblemBox.h"
#include "app/shell/Application.h"
#include "app/shell/ChartViewRewrites.h"
#include "charts/ChartPorts.h"
#include "foundation/dialogs/QtDialogPresenter.h"
#include "foundation/jobs/progress_dialog.h"
#include "foundation/menus/MenuPopup_qt.h"

// Each layer's ports are installed in layering order, lowest first, so that a
// port filled later may already use those below it.

void WireApplicationPorts(CTessarouteApp& app)
{
    (void)app;
    // -- foundation --
    static CQtDialogPresenter dialogPresenter;
    SetDefaultDialogPresenter(&dialogPresenter);
    static CQtMenuPopup menuPopup;
    SetMenuPopup(&menuPopup);
    static CQtProgressDialogOpener progressDialogOpener;
    SetProgressDialogOpener(&progressDialogOpener);

    // -- charts --
    static CChartProblemBox chartProblemBox;
    SetChartProblemReporter(&chartProblemBox);
    static CChartViewRewrites chartViewRewrites;
    SetChartRewriteHooks(&chartViewRewrites);

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
    SetChartRewriteHooks(nullptr);
    SetChartProblemReporter(nullptr);

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

        // -- charts --
        {"chart problem reporter",
         [] { return dynamic_cast<CChartProblemBox*>(&ChartProblemReporter()) != nullptr; }},
        {"chart rewrite hooks",
         [] { return dynamic_cast<CChartViewRewrites*>(&ChartRewriteHooks()) != nullptr; }},

        // -- instruments --

        // -- mapview --

        // -- overlays --

        // -- ais --

        // -- panels --
    };
    return ports;
}
