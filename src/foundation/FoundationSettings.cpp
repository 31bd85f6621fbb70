#include "foundation/FoundationSettings.h"

#include "foundation/web/ChartServer.h"

void MakeFoundationSettings()
{
    CChartServer::MakeSettings();
}
