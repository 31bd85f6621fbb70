#include "panels/PanelsSettings.h"

#include "panels/DisplayView.h"

void MakePanelsSettings()
{
    CDisplayView::Settings();
}
