#include "app/window/DeleteToolKeys.h"

#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/TrackManager.h"

void CDeleteToolKeys::DeleteToolObject(COverlayObject* mark, COverlayObject* trackSection)
{
    if (auto* m = dynamic_cast<COverlayMark*>(mark)) {
        const COverlayRoute* route = m->GetRoute();
        if (!m->IsLocked() && !(route && route->IsLocked()))
            CMarkManager::Get().DeleteMark(m);
    } else if (auto* s = dynamic_cast<CTrackSection*>(trackSection)) {
        COverlayTrack* track = s->GetTrack();
        if (track && !track->IsLocked())
            CTrackManager::Get().DeleteTrack(track);
    }
}
