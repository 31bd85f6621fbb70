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
    RegisterOverlaySource([](uint32_t layer, const OverlayVisitor& visit) {
        CMarkManager::Get().ForEachOverlay(layer, visit);
    });
    RegisterOverlaySource([](uint32_t layer, const OverlayVisitor& visit) {
        CTrackManager::Get().ForEachSection(layer, visit);
    });
}
