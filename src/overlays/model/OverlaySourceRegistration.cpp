#include "overlays/model/OverlaySourceRegistration.h"

#include "mapview/view/OverlaySources.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/TrackManager.h"

void RegisterOverlaySources()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    // The settings exist before the settings file is read, or they would
    // keep their defaults (recording, mark colours, sort) at every start.
    CMarkManager::Settings();
    CTrackManager::Settings();
    RegisterOverlaySource([](uint32_t layer, const OverlayVisitor& visit) {
        CMarkManager::Get().ForEachOverlay(layer, visit);
    });
    RegisterOverlaySource([](uint32_t layer, const OverlayVisitor& visit) {
        CTrackManager::Get().ForEachSection(layer, visit);
    });
}
