#include "foundation/FoundationSettings.h"

#include "foundation/print/PageSetup.h"
#include "foundation/web/ChartServer.h"

void MakeFoundationSettings()
{
    CChartServer::MakeSettings();
    MakePageSetupSettings();
}
