#include "overlays/model/MarkManager.h"

#include "foundation/dialogs/DialogCallback.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/notify/StatusLine.h"
#include "mapview/overlay/OverlayTool.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayNames.h"
#include "overlays/model/OverlayRoute.h"

#include <cmath>

namespace {

int gMakingRoutePoints = 0;

const char* const kRouteCreateHint = "Tap to add a series of waypoints. Tap \"Done\" to finish.";
const char* const kOptimizeRouteTip =
    "Note: The routing algorithm has limited knowledge of walking and cycling trails. Use \"Revert\" if it "
    "does not route along the desired path";

// Shows a hint once: the flag is set and every modified setting saved.
void ShowHintOnce(bool& shown, const char* text)
{
    if (shown)
        return;
    ShowHint(nullptr, text);
    shown = true;
    CMarkManager::Settings().SetModified();
    PersistantData::SaveAll();
}

} // namespace

CMarkManager::Persistant::Persistant() : PersistantData("CMarkManager") {}

void CMarkManager::Persistant::Exchange()
{
    ExchangeBool("route_create_hint", routeCreateHint);
    ExchangeBool("route_hint", routeHint);
    ExchangeBool("optimize_route_tip", optimizeRouteTip);
    ExchangeString("default_mark_icon", defaultMarkIcon);
    ExchangeString("default_wp_icon", defaultWpIcon);
    ExchangeColour("default_mark_color2", defaultMarkColor);
    ExchangeColour("default_wp_color2", defaultWpColor);
    ExchangeHex("sort", sort);
    ExchangeBool("notifications", notifications);
    ExchangeHex("sync_mode", syncMode);
    ExchangeBool("auto_reverse", autoReverse);
}

CMarkManager::Persistant& CMarkManager::Settings()
{
    static Persistant settings;
    return settings;
}

CMarkManager::RoutePointScope::RoutePointScope()
{
    ++gMakingRoutePoints;
}

CMarkManager::RoutePointScope::~RoutePointScope()
{
    --gMakingRoutePoints;
}

bool CMarkManager::IsMakingRoutePoints()
{
    return gMakingRoutePoints > 0;
}

CMarkManager& CMarkManager::Get()
{
    static CMarkManager manager;
    return manager;
}

CMarkManager::~CMarkManager()
{
    // The lists go after this body: their deletions must not reach a half-destroyed manager.
    Listener<CDataGPSPosition>::DetachFromSource();
    Listener<COverlayObject>::DetachFromSource();
    ClearPendingActionFor(m_routeBeingBuilt);
    m_routeBeingBuilt = nullptr;
    m_insertAfter = nullptr;
}

COverlayMark* CMarkManager::AddMark(std::unique_ptr<COverlayMark> mark)
{
    if (!mark)
        return nullptr;
    mark->SetRoute(nullptr);
    m_marks.push_back(std::move(mark));
    return m_marks.back().get();
}

COverlayRoute* CMarkManager::AddRoute(std::unique_ptr<COverlayRoute> route)
{
    if (!route)
        return nullptr;
    m_routes.push_back(std::move(route));
    return m_routes.back().get();
}

void CMarkManager::DropMarksFrom(size_t first)
{
    if (first < m_marks.size())
        m_marks.resize(first);
}

void CMarkManager::DropRoutesFrom(size_t first)
{
    if (first < m_routes.size())
        m_routes.resize(first);
}

std::string CMarkManager::NextNumberedName(const std::string& prefix) const
{
    uint64_t highest = 0;
    for (const auto& m : m_marks) {
        const std::string& name = m->GetName();
        if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0)
            highest = std::max(highest, ParseNameNumber(name, prefix.size()));
    }
    return prefix + std::to_string(highest + 1);
}

std::string CMarkManager::NextRouteName() const
{
    uint64_t highest = 0;
    for (const auto& r : m_routes) {
        const std::string& name = r->GetName();
        if (name.size() >= 2 && name[0] == 'R')
            highest = std::max(highest, ParseNameNumber(name, 1));
    }
    std::string name(1, 'R');
    name += std::to_string(highest + 1);
    return name;
}

COverlayMark* CMarkManager::CreateMarkAt(CRasterleafView* view, const std::string& name, double latitude,
                                         double longitude)
{
    if (!std::isfinite(latitude) || !std::isfinite(longitude) || std::fabs(latitude) > 90.0 ||
        std::fabs(longitude) > 360.0)
        return nullptr;
    RunPendingAction();
    auto mark = std::make_unique<COverlayMark>();
    mark->SetName(name);
    mark->SetPosition(latitude, longitude);
    COverlayMark* added = AddMark(std::move(mark));
    added->SetState(COverlayObject::kChanged);
    if (view)
        added->OnTap(*view, COverlayTap{0, 0, latitude, longitude});
    return added;
}

void CMarkManager::DeleteMark(COverlayMark* mark)
{
    if (!mark)
        return;
    if (COverlayRoute* route = mark->GetRoute()) {
        route->DeletePoint(mark);
        return;
    }
    if (!mark->IsDeleted())
        mark->ClearForDeletion();
}

void CMarkManager::DeleteRoute(COverlayRoute* route)
{
    if (!route || route->IsDeleted())
        return;
    route->MarkDeleted();
    route->Clear();
    route->NotifyChanged(COverlayObject::kDeleted);
}

COverlayRoute* CMarkManager::CreateRouteFromMark(COverlayMark* mark)
{
    if (!mark || mark->IsDeleted() || mark->IsRoutePoint())
        return nullptr;
    std::unique_ptr<COverlayMark> point;
    {
        RoutePointScope scope;
        point = std::make_unique<COverlayMark>();
    }
    point->SetPosition(mark->GetLatitude(), mark->GetLongitude());
    point->SetName(mark->GetName());
    if (!mark->IsLocked())
        DeleteMark(mark);
    point->SetIconAndColour(Settings().defaultWpIcon, Settings().defaultWpColor);
    auto made = std::make_unique<COverlayRoute>();
    made->SetName(NextRouteName());
    COverlayRoute* route = AddRoute(std::move(made));
    COverlayMark* first = route->AddPoint(std::move(point));
    StartBuilding(route, nullptr);
    route->NotifyChanged(COverlayObject::kChanged);
    if (IsPlainPointName(first->GetName()))
        first->SetName(route->GetName() + "P1");
    ShowRouteCreateHint();
    return route;
}

COverlayRoute* CMarkManager::BeginNewRoute()
{
    // The action before ends first: an empty route it was building goes, and
    // leaves its name to this one.
    SetPendingAction(nullptr, nullptr);
    auto made = std::make_unique<COverlayRoute>();
    made->SetName(NextRouteName());
    COverlayRoute* route = AddRoute(std::move(made));
    StartBuilding(route, nullptr);
    route->NotifyChanged(COverlayObject::kChanged);
    ShowRouteCreateHint();
    return route;
}

void CMarkManager::BeginInsertWaypoint(COverlayRoute* route, COverlayMark* point)
{
    if (!route || route->IsDeleted())
        return;
    StartBuilding(route, route->IndexOf(point) >= 0 ? point : nullptr);
    route->NotifyChanged(COverlayObject::kChanged);
}

void CMarkManager::StartBuilding(COverlayRoute* route, COverlayMark* insertAfter)
{
    // Setting the action ends the one before, which may be another route's building.
    SetPendingAction(&CMarkManager::BuildingDone, route);
    m_routeBeingBuilt = route;
    m_insertAfter = insertAfter;
}

void CMarkManager::BuildingDone(void* route)
{
    CMarkManager& manager = Get();
    if (manager.m_routeBeingBuilt != route)
        return;
    COverlayRoute* ended = manager.m_routeBeingBuilt;
    manager.EndRouteBuilding();
    // Finished before its first point: there is nothing to keep.
    if (ended->PointCount() == 0 && !ended->IsDeleted()) {
        manager.DeleteRoute(ended);
        // Nobody else ever heard of it, so no tombstone either (and its name is free again).
        if (!ended->HasSyncId())
            std::erase_if(manager.m_routes, [ended](const auto& r) { return r.get() == ended; });
    }
}

void CMarkManager::EndRouteBuilding()
{
    COverlayRoute* route = m_routeBeingBuilt;
    m_routeBeingBuilt = nullptr;
    m_insertAfter = nullptr;
    ClearPendingActionFor(route);
    ClearStatusMessage();
    if (route)
        route->NotifyChanged(COverlayObject::kChanged);
}

void CMarkManager::ForgetRoute(const COverlayRoute* route)
{
    ClearPendingActionFor(route);
    if (m_routeBeingBuilt == route) {
        m_routeBeingBuilt = nullptr;
        m_insertAfter = nullptr;
        ClearStatusMessage();
    }
}

void CMarkManager::ShowRouteCreateHint()
{
    ShowHintOnce(Settings().routeCreateHint, kRouteCreateHint);
}

void CMarkManager::ShowOptimizeRouteTip()
{
    ShowHintOnce(Settings().optimizeRouteTip, kOptimizeRouteTip);
}

void CMarkManager::ForEachOverlay(uint32_t layer, const std::function<void(COverlayObject&)>& visit)
{
    for (const auto& m : m_marks)
        if (!m->IsDeleted()) {
            m->SetLayer(layer);
            visit(*m);
        }
    for (const auto& r : m_routes) {
        if (r->IsDeleted())
            continue;
        r->SetLayer(layer);
        visit(*r);
        for (const auto& p : r->Points()) {
            p->SetLayer(layer);
            visit(*p);
        }
    }
}

void CMarkManager::ClearForTesting()
{
    CancelGoto();
    m_goto = CDataGotoMark();
    ReleaseAll();
}

void CMarkManager::ReleaseAll()
{
    ClearPendingActionFor(m_routeBeingBuilt);
    m_routeBeingBuilt = nullptr;
    m_insertAfter = nullptr;
    COverlayTool::EndActiveTool();
    m_routes.clear();
    m_marks.clear();
}

bool CMarkManager::HasSameMark(const COverlayMark& mark) const
{
    for (const auto& m : m_marks)
        if (m->IsSameMark(mark))
            return true;
    return false;
}

bool CMarkManager::HasSameRoute(const COverlayRoute& route) const
{
    for (const auto& r : m_routes)
        if (r->IsSameRoute(route))
            return true;
    return false;
}
