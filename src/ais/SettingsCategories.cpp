#include "ais/SettingsCategories.h"

#include "ais/AISTargetManager.h"
#include "geodesy/Units.h"
#include "mapview/ownship/OverlayGPSPosition.h"

void RegisterSettingsCategories()
{
    // Each category goes to the head of the list when it is built, so they
    // are built last first.
    static CAISSettingsCategory ais;
    static CGPSSettingsCategory gps;
    static CUnits::CUnitSettingsType units;
}
