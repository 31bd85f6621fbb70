#include "mapview/view/OverlaySources.h"

#include "foundation/util/PortSlot.h"
#include "mapview/view/OverlaySourcesPorts.h"
#include "mapview/view/RasterleafView.h"

#include <cmath>
#include <utility>
#include <vector>

namespace {

struct Source
{
    int handle;
    OverlaySource walk;
};

std::vector<Source>& Sources()
{
    static std::vector<Source> sources;
    return sources;
}

} // namespace

int RegisterOverlaySource(OverlaySource source)
{
    static int next = 0;
    Sources().push_back(Source{++next, std::move(source)});
    return next;
}

void UnregisterOverlaySource(int handle)
{
    auto& sources = Sources();
    for (auto it = sources.begin(); it != sources.end(); ++it)
        if (it->handle == handle) {
            sources.erase(it);
            return;
        }
}

void WalkOverlaySources(const OverlayVisitor& visit)
{
    // A copy: a visitor may register or remove sources.
    const std::vector<Source> sources = Sources();
    uint32_t layer = 0;
    for (const Source& s : sources)
        if (s.walk)
            s.walk(layer++, visit);
}

void CRasterleafView::AttachOverlaySources()
{
    WalkOverlaySources([this](COverlayObject& object) {
        if (object.GetState() == COverlayObject::kDeleted || !object.IsVisible())
            return;
        COverlayDisplayList::Entry& entry = m_overlays.FindOrAdd(object);
        entry.record.Reset();
        if (const CPolynomialProjection* geo = GetGeoreference())
            object.UpdateScreenPoints(entry.record, *geo);
    });
}

void CRasterleafView::CreateMarkAtCentre()
{
    double lat = kNoCentre, lon = kNoCentre;
    // The own ship only when it is held exactly at the centre.
    if (m_gpsLock && m_lockX == m_centreX && m_lockY == m_centreY) {
        lat = m_ownLat;
        lon = m_ownLon;
    }
    if (!(std::fabs(lat) <= 90.0) && !ScreenToLatLon(m_centreX, m_centreY, lat, lon))
        return;
    if (!std::isfinite(lat) || !std::isfinite(lon) || !(std::fabs(lat) < 90.0))
        return;
    Port<IMarkCreator>().CreateMarkAt(*this, lat, lon);
}
