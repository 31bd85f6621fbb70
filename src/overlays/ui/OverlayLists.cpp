#include "overlays/ui/OverlayLists.h"

#include "foundation/util/TimeText.h"
#include "geodesy/Units.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/OverlayTrack.h"
#include "overlays/model/TrackManager.h"
#include "overlays/ui/ActionMenus.h"
#include "overlays/ui/OverlayUiPorts.h"

#include <algorithm>
#include <numeric>

namespace {

struct SortReferenceState
{
    CLocalPlane plane;
    bool set = false;
};

SortReferenceState& Reference()
{
    static SortReferenceState reference;
    return reference;
}

std::vector<COverlayListDelegate*>& LiveDelegates()
{
    static std::vector<COverlayListDelegate*> delegates;
    return delegates;
}

// Whether `object` is one of the live objects: addresses are compared, so a
// pointer the window kept from an older fill is never followed.
template <class List> CSyncable* FindLive(const List& list, const CSyncable* object)
{
    for (const auto& item : list)
        if (static_cast<const CSyncable*>(item.get()) == object)
            return item->IsDeleted() ? nullptr : const_cast<CSyncable*>(object);
    return nullptr;
}

double MarkDate(const CSyncable& object)
{
    return object.GetModified();
}

double CreatedDate(const CSyncable& object)
{
    return object.GetCreated();
}

bool MarkPlace(const CSyncable& object, double& latitude, double& longitude)
{
    const auto& mark = static_cast<const COverlayMark&>(object);
    if (!mark.HasPosition())
        return false;
    latitude = mark.GetLatitude();
    longitude = mark.GetLongitude();
    return true;
}

bool RoutePlace(const CSyncable& object, double& latitude, double& longitude)
{
    const auto& route = static_cast<const COverlayRoute&>(object);
    if (route.Points().empty() || !route.Points().front()->HasPosition())
        return false;
    latitude = route.Points().front()->GetLatitude();
    longitude = route.Points().front()->GetLongitude();
    return true;
}

bool TrackPlace(const CSyncable& object, double& latitude, double& longitude)
{
    const auto& track = static_cast<const COverlayTrack&>(object);
    if (!track.HasPoints())
        return false;
    latitude = track.FirstPoint().latitude;
    longitude = track.FirstPoint().longitude;
    return true;
}

// Sum of the steps between neighbouring points, on one plane at the first point.
double TrackRowDistance(const COverlayTrack& track)
{
    const std::vector<CTrackPoint> points = track.AllPoints();
    if (points.size() < 2)
        return 0;
    const CLocalPlane plane(points.front().latitude, points.front().longitude);
    double sum = 0;
    for (size_t i = 1; i < points.size(); ++i)
        sum += plane.Distance(points[i - 1].latitude, points[i - 1].longitude, points[i].latitude,
                              points[i].longitude);
    return sum;
}

} // namespace

void SortOverlayList(std::vector<CSyncable*>& objects, uint32_t sort, double (*date)(const CSyncable&),
                     bool (*place)(const CSyncable&, double& latitude, double& longitude))
{
    const auto byName = [](const CSyncable* a, const CSyncable* b) { return a->GetName() < b->GetName(); };
    if (sort == COverlayListDelegate::kByDate) {
        std::stable_sort(objects.begin(), objects.end(),
                         [date](const CSyncable* a, const CSyncable* b) { return date(*a) > date(*b); });
        return;
    }
    if (sort != COverlayListDelegate::kByDistance || !COverlayListDelegate::HasSortReference()) {
        std::stable_sort(objects.begin(), objects.end(), byName);
        return;
    }
    // Each key once: a comparator that measured would do it n log n times.
    const CLocalPlane& plane = COverlayListDelegate::SortReference();
    struct Keyed
    {
        double distanceSquared;
        bool placed;
        CSyncable* object;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(objects.size());
    for (CSyncable* object : objects) {
        double latitude = 0, longitude = 0;
        const bool placed = place(*object, latitude, longitude);
        keyed.push_back({placed ? plane.DistanceSquaredTo(latitude, longitude) : 0.0, placed, object});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if (a.placed != b.placed)
            return a.placed;
        if (!a.placed)
            return a.object->GetName() < b.object->GetName();
        return a.distanceSquared < b.distanceSquared;
    });
    for (size_t i = 0; i < keyed.size(); ++i)
        objects[i] = keyed[i].object;
}

COverlayListDelegate::COverlayListDelegate(uint32_t dirtyState, uint32_t kindMask)
    : m_dirtyState(dirtyState), m_kindMask(kindMask)
{
    LiveDelegates().push_back(this);
}

COverlayListDelegate::~COverlayListDelegate()
{
    std::erase(LiveDelegates(), this);
}

void COverlayListDelegate::Select(CSyncable* object, QWidget* parent)
{
    (void)object;
    (void)parent;
}

void COverlayListDelegate::ShowListMenu(QWidget* parent)
{
    (void)parent;
}

void COverlayListDelegate::ShowRowMenu(QWidget* parent, CSyncable* object)
{
    (void)parent;
    (void)object;
}

void COverlayListDelegate::OnChange(const COverlayObject& event)
{
    // Only the kinds the list shows: moving targets change all the time.
    if (!(m_kindMask & (1u << event.GetKind())))
        return;
    // A deletion always leaves the list, whatever state the list waits for.
    const uint32_t state = event.GetState();
    if (state == m_dirtyState || state == COverlayObject::kDeleted)
        m_dirty = true;
}

bool COverlayListDelegate::RebuildIfDirty(std::vector<CSyncable*>& out)
{
    if (!m_dirty)
        return false;
    FillList(out);
    return true;
}

void COverlayListDelegate::SetSortReference(double latitude, double longitude)
{
    SortReferenceState& reference = Reference();
    reference.set = IsValidPosition(latitude, longitude);
    if (reference.set)
        reference.plane.SetOrigin(latitude, longitude);
    reference.set = reference.set && reference.plane.IsUsable();
    SetAllDirty();
}

void COverlayListDelegate::ClearSortReference()
{
    Reference().set = false;
    SetAllDirty();
}

bool COverlayListDelegate::HasSortReference()
{
    return Reference().set;
}

const CLocalPlane& COverlayListDelegate::SortReference()
{
    return Reference().plane;
}

void COverlayListDelegate::SetAllDirty()
{
    for (COverlayListDelegate* delegate : LiveDelegates())
        delegate->m_dirty = true;
}

// Marks.

void CMarkListDelegate::FillList(std::vector<CSyncable*>& out)
{
    out.clear();
    for (const auto& mark : CMarkManager::Get().Marks())
        if (!mark->IsDeleted())
            out.push_back(mark.get());
    SortOverlayList(out, CMarkManager::Settings().sort, MarkDate, MarkPlace);
    m_dirty = false;
}

void CMarkListDelegate::RowText(CSyncable& object, COverlayListRow& row) const
{
    const auto& mark = static_cast<const COverlayMark&>(object);
    row.text = mark.GetName();
    row.detail = "  " + FormatRelativeDate(mark.GetCreated());
    if (HasSortReference() && mark.HasPosition()) {
        double range = 0, bearing = 0;
        SortReference().RangeBearingTo(mark.GetLatitude(), mark.GetLongitude(), range, bearing);
        std::string distance, course;
        CDefaultUnits::Get().FormatDistance(float(range), distance);
        CDefaultUnits::Get().FormatBearing(float(bearing), course);
        row.detail += " " + distance + " " + course;
    }
    row.details = true;
}

void CMarkListDelegate::Select(CSyncable* object, QWidget* parent)
{
    if (Port<IOverlayUi>().CanEditMarks() && FindLive(CMarkManager::Get().Marks(), object))
        Port<IOverlayUi>().show_edit_mark(parent, static_cast<COverlayMark*>(object));
}

void CMarkListDelegate::ShowListMenu(QWidget* parent)
{
    ShowOverlayMenu(BuildMarksListMenu(parent), parent, nullptr);
}

void CMarkListDelegate::ShowRowMenu(QWidget* parent, CSyncable* object)
{
    if (FindLive(CMarkManager::Get().Marks(), object))
        ShowOverlayMenu(BuildMarkRowMenu(*static_cast<COverlayMark*>(object), parent), parent, nullptr);
}

// Routes.

void CRouteListDelegate::FillList(std::vector<CSyncable*>& out)
{
    out.clear();
    for (const auto& route : CMarkManager::Get().Routes())
        if (!route->IsDeleted())
            out.push_back(route.get());
    SortOverlayList(out, CMarkManager::Settings().sort, CreatedDate, RoutePlace);
    m_dirty = false;
}

void CRouteListDelegate::RowText(CSyncable& object, COverlayListRow& row) const
{
    const auto& route = static_cast<const COverlayRoute&>(object);
    row.text = route.GetName();
    std::string distance;
    CDefaultUnits::Get().FormatDistance(float(route.TotalDistance()), distance);
    row.detail = "  " + distance + ", " + std::to_string(route.PointCount()) + " points";
    row.details = true;
}

void CRouteListDelegate::Select(CSyncable* object, QWidget* parent)
{
    if (Port<IOverlayUi>().CanEditRoutes() && FindLive(CMarkManager::Get().Routes(), object))
        Port<IOverlayUi>().show_edit_route(parent, static_cast<COverlayRoute*>(object));
}

void CRouteListDelegate::ShowListMenu(QWidget* parent)
{
    ShowOverlayMenu(BuildRoutesListMenu(parent), parent, nullptr);
}

void CRouteListDelegate::ShowRowMenu(QWidget* parent, CSyncable* object)
{
    if (FindLive(CMarkManager::Get().Routes(), object))
        ShowOverlayMenu(BuildRouteRowMenu(*static_cast<COverlayRoute*>(object), parent), parent, nullptr);
}

// Tracks.

void CTrackListDelegate::FillList(std::vector<CSyncable*>& out)
{
    out.clear();
    for (const auto& track : CTrackManager::Get().Tracks())
        if (!track->IsDeleted() && !track->IsTrivial())
            out.push_back(track.get());
    SortOverlayList(out, CMarkManager::Settings().sort, CreatedDate, TrackPlace);
    m_dirty = false;
}

void CTrackListDelegate::RowText(CSyncable& object, COverlayListRow& row) const
{
    const auto& track = static_cast<const COverlayTrack&>(object);
    row.text = track.GetName();
    row.details = true;
    if (!track.HasPoints()) {
        row.detail = "Empty track";
        return;
    }
    std::string distance, duration;
    CDefaultUnits::Get().FormatDistance(float(TrackRowDistance(track)), distance);
    CUnits::FormatDuration(track.ElapsedTime(), duration);
    row.detail = "  " + FormatRelativeDate(track.GetCreated()) + ", " + distance + ", " + duration;
}

void CTrackListDelegate::Select(CSyncable* object, QWidget* parent)
{
    if (Port<IOverlayUi>().CanEditTracks() && FindLive(CTrackManager::Get().Tracks(), object))
        Port<IOverlayUi>().show_edit_track(parent, static_cast<COverlayTrack*>(object));
}

void CTrackListDelegate::ShowListMenu(QWidget* parent)
{
    ShowOverlayMenu(BuildTracksListMenu(parent), parent, nullptr);
}

void CTrackListDelegate::ShowRowMenu(QWidget* parent, CSyncable* object)
{
    if (FindLive(CTrackManager::Get().Tracks(), object))
        ShowOverlayMenu(BuildTrackRowMenu(*static_cast<COverlayTrack*>(object), parent), parent, nullptr);
}
