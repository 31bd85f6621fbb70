#include "charts/ChartsSettings.h"

#include "charts/chartlist/ChartList.h"
#include "charts/chartlist/ChartOutline.h"

void MakeChartsSettings()
{
    CChartOutline::CSortedPointer::MakeSettings();
    CSelectMapTypes::Get();
}
