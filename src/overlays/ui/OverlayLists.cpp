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

// The live object of `serial` in a manager's list: first where the fill that
// made the key saw it (`hint`, place + 1), else by a search (the list may have
// changed since).
template <class List> CSyncable* FindInList(const List& list, uint64_t serial, uint32_t hint)
{
    if (hint != 0 && hint - 1 < list.size() && list[hint - 1]->GetSerial() == serial)
        return list[hint - 1]->IsDeleted() ? nullptr : list[hint - 1].get();
    for (const auto& item : list)
        if (item->GetSerial() == serial)
            return item->IsDeleted() ? nullptr : item.get();
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

void SortOverlayList(std::vector<CListedObject>& objects, uint32_t sort, double (*date)(const CSyncable&),
                     bool (*place)(const CSyncable&, double& latitude, double& longitude))
{
    const auto byName = [](const CListedObject& a, const CListedObject& b) {
        return a.object->GetName() < b.object->GetName();
    };
    if (sort == COverlayListDelegate::kByDate) {
        std::stable_sort(objects.begin(), objects.end(),
                         [date](const CListedObject& a, const CListedObject& b) {
                             return date(*a.object) > date(*b.object);
                         });
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
        CSyncable* object;
        uint32_t place;
        bool placed;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(objects.size());
    for (const CListedObject& listed : objects) {
        double latitude = 0, longitude = 0;
        const bool placed = place(*listed.object, latitude, longitude);
        keyed.push_back({placed ? plane.DistanceSquaredTo(latitude, longitude) : 0.0, listed.object,
                         listed.place, placed});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if (a.placed != b.placed)
            return a.placed;
        if (!a.placed)
            return a.object->GetName() < b.object->GetName();
        return a.distanceSquared < b.distanceSquared;
    });
    for (size_t i = 0; i < keyed.size(); ++i)
        objects[i] = {keyed[i].object, keyed[i].place};
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

void COverlayListDelegate::Select(const COverlayListRowKey& key, QWidget* parent)
{
    (void)key;
    (void)parent;
}

void COverlayListDelegate::ShowListMenu(QWidget* parent)
{
    (void)parent;
}

void COverlayListDelegate::ShowRowMenu(QWidget* parent, const COverlayListRowKey& key)
{
    (void)parent;
    (void)key;
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

bool COverlayListDelegate::RebuildIfDirty(std::vector<COverlayListRowKey>& out)
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

void COverlayListDelegate::MoveSortReference(double latitude, double longitude)
{
    SortReferenceState& reference = Reference();
    if (!reference.set || !IsValidPosition(latitude, longitude)) {
        SetSortReference(latitude, longitude);
        return;
    }
    reference.plane.SetOrigin(latitude, longitude);
    if (!reference.plane.IsUsable()) {
        ClearSortReference();
        return;
    }
    if (CMarkManager::Settings().sort == kByDistance)
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

// Syncable groups.

void CSyncableListDelegate::FillList(std::vector<COverlayListRowKey>& out)
{
    // Kept between fills: the list of 10,000 marks is refilled at every change.
    std::vector<CListedObject>& objects = m_listed;
    objects.clear();
    Collect(objects);
    out.clear();
    out.reserve(objects.size());
    for (const CListedObject& listed : objects)
        out.push_back(COverlayListRowKey::Serial(listed.object->GetSerial(), listed.place + 1));
    if (m_dirtyState != COverlayObject::kChanged) {
        m_listedSerials.clear();
        m_listedSerials.reserve(out.size());
        for (const COverlayListRowKey& key : out)
            m_listedSerials.push_back(key.value);
        std::sort(m_listedSerials.begin(), m_listedSerials.end());
    }
    m_dirty = false;
}

void CSyncableListDelegate::OnChange(const COverlayObject& event)
{
    COverlayListDelegate::OnChange(event);
    if (m_dirty || m_dirtyState == COverlayObject::kChanged || event.GetState() != COverlayObject::kChanged ||
        !(m_kindMask & (1u << event.GetKind())))
        return;
    const uint64_t serial = EventSerial(event);
    if (serial != 0 && !std::binary_search(m_listedSerials.begin(), m_listedSerials.end(), serial))
        m_dirty = true;
}

CSyncable* CSyncableListDelegate::Find(const COverlayListRowKey& key) const
{
    return key.kind == COverlayListRowKey::kSerial ? FindBySerial(key.value, key.hint) : nullptr;
}

bool CSyncableListDelegate::RowText(const COverlayListRowKey& key, COverlayListRow& row) const
{
    const CSyncable* object = Find(key);
    if (!object)
        return false;
    ObjectText(*object, row);
    return true;
}

void CSyncableListDelegate::Select(const COverlayListRowKey& key, QWidget* parent)
{
    if (CSyncable* object = Find(key))
        SelectObject(*object, parent);
}

void CSyncableListDelegate::ShowRowMenu(QWidget* parent, const COverlayListRowKey& key)
{
    if (CSyncable* object = Find(key))
        ShowObjectMenu(parent, *object);
}

// Marks.

void CMarkListDelegate::Collect(std::vector<CListedObject>& out)
{
    const auto& marks = CMarkManager::Get().Marks();
    for (size_t i = 0; i < marks.size(); ++i)
        if (!marks[i]->IsDeleted()) {
            out.push_back({marks[i].get(), uint32_t(i)});
        }
    SortOverlayList(out, CMarkManager::Settings().sort, MarkDate, MarkPlace);
}

CSyncable* CMarkListDelegate::FindBySerial(uint64_t serial, uint32_t hint) const
{
    return FindInList(CMarkManager::Get().Marks(), serial, hint);
}

void CMarkListDelegate::ObjectText(const CSyncable& object, COverlayListRow& row) const
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

void CMarkListDelegate::SelectObject(CSyncable& object, QWidget* parent)
{
    if (Port<IOverlayUi>().CanEditMarks())
        Port<IOverlayUi>().show_edit_mark(parent, static_cast<COverlayMark*>(&object));
}

void CMarkListDelegate::ShowListMenu(QWidget* parent)
{
    ShowOverlayMenu(BuildMarksListMenu(parent), parent, nullptr);
}

void CMarkListDelegate::ShowObjectMenu(QWidget* parent, CSyncable& object)
{
    ShowOverlayMenu(BuildMarkRowMenu(static_cast<COverlayMark&>(object), parent), parent, nullptr);
}

// Routes.

void CRouteListDelegate::Collect(std::vector<CListedObject>& out)
{
    const auto& routes = CMarkManager::Get().Routes();
    for (size_t i = 0; i < routes.size(); ++i)
        if (!routes[i]->IsDeleted()) {
            out.push_back({routes[i].get(), uint32_t(i)});
        }
    SortOverlayList(out, CMarkManager::Settings().sort, CreatedDate, RoutePlace);
}

CSyncable* CRouteListDelegate::FindBySerial(uint64_t serial, uint32_t hint) const
{
    return FindInList(CMarkManager::Get().Routes(), serial, hint);
}

void CRouteListDelegate::ObjectText(const CSyncable& object, COverlayListRow& row) const
{
    const auto& route = static_cast<const COverlayRoute&>(object);
    row.text = route.GetName();
    std::string distance;
    CDefaultUnits::Get().FormatDistance(float(route.TotalDistance()), distance);
    row.detail = "  " + distance + ", " + std::to_string(route.PointCount()) + " points";
    row.details = true;
}

void CRouteListDelegate::SelectObject(CSyncable& object, QWidget* parent)
{
    if (Port<IOverlayUi>().CanEditRoutes())
        Port<IOverlayUi>().show_edit_route(parent, static_cast<COverlayRoute*>(&object));
}

uint64_t CRouteListDelegate::EventSerial(const COverlayObject& event) const
{
    return static_cast<const COverlayRoute&>(event).GetSerial();
}

void CRouteListDelegate::ShowListMenu(QWidget* parent)
{
    ShowOverlayMenu(BuildRoutesListMenu(parent), parent, nullptr);
}

void CRouteListDelegate::ShowObjectMenu(QWidget* parent, CSyncable& object)
{
    ShowOverlayMenu(BuildRouteRowMenu(static_cast<COverlayRoute&>(object), parent), parent, nullptr);
}

// Tracks.

void CTrackListDelegate::Collect(std::vector<CListedObject>& out)
{
    const auto& tracks = CTrackManager::Get().Tracks();
    for (size_t i = 0; i < tracks.size(); ++i)
        // Every stored track, also a short one: a track not listed could never be deleted.
        if (!tracks[i]->IsDeleted()) {
            out.push_back({tracks[i].get(), uint32_t(i)});
        }
    SortOverlayList(out, CMarkManager::Settings().sort, CreatedDate, TrackPlace);
}

CSyncable* CTrackListDelegate::FindBySerial(uint64_t serial, uint32_t hint) const
{
    return FindInList(CTrackManager::Get().Tracks(), serial, hint);
}

void CTrackListDelegate::ObjectText(const CSyncable& object, COverlayListRow& row) const
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

void CTrackListDelegate::SelectObject(CSyncable& object, QWidget* parent)
{
    if (Port<IOverlayUi>().CanEditTracks())
        Port<IOverlayUi>().show_edit_track(parent, static_cast<COverlayTrack*>(&object));
}

uint64_t CTrackListDelegate::EventSerial(const COverlayObject& event) const
{
    const COverlayTrack* track = static_cast<const CTrackSection&>(event).GetTrack();
    return track ? track->GetSerial() : 0;
}

void CTrackListDelegate::ShowListMenu(QWidget* parent)
{
    ShowOverlayMenu(BuildTracksListMenu(parent), parent, nullptr);
}

void CTrackListDelegate::ShowObjectMenu(QWidget* parent, CSyncable& object)
{
    ShowOverlayMenu(BuildTrackRowMenu(static_cast<COverlayTrack&>(object), parent), parent, nullptr);
}
