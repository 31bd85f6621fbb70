#include "app/shell/Registries.h"

#include "charts/ChartsSettings.h"
#include "foundation/settings/FoundationSettings.h"
#include "panels/DisplayView.h"
#include "panels/PanelsSettings.h"

void RegisterApplicationTypes()
{
    // -- foundation, charts, panels --
    MakeFoundationSettings();
    MakeChartsSettings();
    MakePanelsSettings();
    RegisterAllPanelItems();

    // -- instruments, mapview, ais --
}
