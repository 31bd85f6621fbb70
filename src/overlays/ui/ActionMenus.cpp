#include "overlays/ui/ActionMenus.h"

#include "charts/chartlist/ChartOutline.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/dialogs/FilePanel.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/platform/PlatformServices.h"
#include "geodesy/LocalPlane.h"
#include "geodesy/Polygon.h"
#include "mapview/overlay/OverlayTool.h"
#include "mapview/view/RasterleafView.h"
#include "overlays/gpx/GpxFile.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OptimizeRoute.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/OverlayTrack.h"
#include "overlays/model/TrackManager.h"
#include "overlays/model/TrackSection.h"
#include "overlays/ui/OverlayLists.h"
#include "overlays/ui/OverlayUiPorts.h"

#include <QPoint>
#include <cmath>

namespace {

using Menu = std::unique_ptr<CActionSheetMenu>;

Menu NewMenu(const std::string& title)
{
    return std::make_unique<CActionSheetMenu>(title, nullptr);
}

void AddMarkRow(CActionSheetMenu& menu, const char* title, uint32_t kind, const COverlayMark& mark,
                std::function<void(COverlayMark&)> act)
{
    menu.AddItemId(title, kind, mark.GetSerial(), [act = std::move(act)](uint64_t id) {
        if (COverlayMark* found = FindMarkBySerial(id))
            act(*found);
    });
}

void AddRouteRow(CActionSheetMenu& menu, const char* title, uint32_t kind, const COverlayRoute& route,
                 std::function<void(COverlayRoute&)> act)
{
    menu.AddItemId(title, kind, route.GetSerial(), [act = std::move(act)](uint64_t id) {
        if (COverlayRoute* found = FindRouteBySerial(id))
            act(*found);
    });
}

void AddTrackRow(CActionSheetMenu& menu, const char* title, uint32_t kind, const COverlayTrack& track,
                 std::function<void(COverlayTrack&)> act)
{
    menu.AddItemId(title, kind, track.GetSerial(), [act = std::move(act)](uint64_t id) {
        if (COverlayTrack* found = FindTrackBySerial(id))
            act(*found);
    });
}

uint32_t HiddenUnless(bool shown, uint32_t kind = CMenuTree::kPlain)
{
    return shown ? kind : CMenuTree::kHidden;
}

void AskThen(QWidget* parent, const std::string& title, const std::string& text, std::function<void()> yes)
{
    AskYesNo(
        parent, nullptr, title, text, [yes = std::move(yes)](void*, int, int) { yes(); }, nullptr);
}

std::string DeleteMarkQuestion(const COverlayMark& mark)
{
    return std::string("Delete") + (mark.IsLocked() ? " locked" : "") + " Mark: \"" + mark.GetName() +
           "\".\nAre you sure?";
}

void AskDeleteMark(QWidget* parent, const COverlayMark& mark)
{
    const uint64_t serial = mark.GetSerial();
    AskThen(parent, "Delete Mark", DeleteMarkQuestion(mark), [serial] {
        if (COverlayMark* found = FindMarkBySerial(serial))
            CMarkManager::Get().DeleteMark(found);
    });
}

// Three or more points are worth a question; fewer go at once.
void DeleteRouteAsking(QWidget* parent, COverlayRoute& route)
{
    if (route.PointCount() < 3) {
        DeleteRouteFromMenu(&route);
        return;
    }
    const uint64_t serial = route.GetSerial();
    AskThen(parent, "Delete route", "Are you sure?",
            [serial] { DeleteRouteFromMenu(FindRouteBySerial(serial)); });
}

// The view shows the object's box; an object without a place leaves it alone.
void ViewBounds(const CSyncable& object)
{
    CBoundingBox box;
    if (!object.ExtendBounds(box) || box.IsEmpty())
        return;
    CRasterleafView::ShowArea(box.minX, box.maxX, box.minY, box.maxY);
}

void OpenLink(const COverlayMark& mark)
{
    OpenURLInBrowser(mark.GetLink());
}

// A save panel for a whole group; a file that could not be written is said so,
// never taken for a finished export.
void ExportAll(QWidget* parent, const std::string& title, const std::string& name,
               std::function<bool(const std::string& path)> write)
{
    ExportFileAs(parent, title, name, [parent, title, write = std::move(write)](const std::string& path) {
        if (write(path))
            return true;
        ShowOKMessage(parent, "The file could not be written: " + path, title);
        return false;
    });
}

void AddSortRow(CActionSheetMenu& menu, QWidget* parent)
{
    menu.AddActionSheetFunc("Sort", CMenuTree::kSeparated,
                            [parent] { ShowOverlayMenu(BuildSortMenu(), parent, nullptr); });
}

// The chart open in the view when chart downloads can start for it.
std::shared_ptr<CChartOutline> DownloadableChart(const CRasterleafView* view)
{
    if (!view || !view->HasChart())
        return nullptr;
    return DownloadableChartAt(view->GetCurrentChartPath());
}

} // namespace

std::shared_ptr<CChartOutline> DownloadableChartAt(const std::string& chartPath)
{
    if (!Port<IOverlayUi>().CanStartMapDataDownload() || chartPath.empty())
        return nullptr;
    std::shared_ptr<CChartOutline> outline = CChartOutline::FromFile(chartPath);
    return outline && outline->chunked ? outline : nullptr;
}

bool StartRouteDownload(const COverlayRoute& route, const std::string& chartPath, int mode)
{
    std::shared_ptr<CChartOutline> chart = DownloadableChartAt(chartPath);
    if (!chart || (mode != 0 && mode != 1))
        return false;
    std::vector<std::pair<double, double>> points;
    route.GetPointsLonLat(points);
    // The corridor is 1,000 of the chart's pixels wide.
    const double width = mode == 0 ? chart->scale * 1000.0 * 1852.0 : 0.0;
    Port<IOverlayUi>().StartMapDataDownload(chart->path, points, mode, width);
    return true;
}

COverlayMark* FindMarkBySerial(uint64_t serial)
{
    CMarkManager& manager = CMarkManager::Get();
    for (const auto& mark : manager.Marks())
        if (mark->GetSerial() == serial)
            return mark->IsDeleted() ? nullptr : mark.get();
    for (const auto& route : manager.Routes()) {
        if (route->IsDeleted())
            continue;
        for (const auto& point : route->Points())
            if (point->GetSerial() == serial)
                return point.get();
    }
    return nullptr;
}

COverlayRoute* FindRouteBySerial(uint64_t serial)
{
    for (const auto& route : CMarkManager::Get().Routes())
        if (route->GetSerial() == serial)
            return route->IsDeleted() ? nullptr : route.get();
    return nullptr;
}

COverlayTrack* FindTrackBySerial(uint64_t serial)
{
    for (const auto& track : CTrackManager::Get().Tracks())
        if (track->GetSerial() == serial)
            return track->IsDeleted() ? nullptr : track.get();
    return nullptr;
}

double JoinDistanceMetres(const CRasterleafView* view)
{
    if (!view || !view->HasChart())
        return 0;
    const double metres = view->GetCentreScale() * 1852.0 * 20.0;
    return std::isfinite(metres) && metres > 0 ? metres : 0;
}

COverlayRoute* FindOtherRouteNear(const COverlayRoute* self, double latitude, double longitude, double limit,
                                  bool atEnd)
{
    if (!IsValidPosition(latitude, longitude) || !(limit > 0) || !std::isfinite(limit))
        return nullptr;
    const CLocalPlane plane(latitude, longitude);
    const double limitSquared = limit * limit;
    COverlayRoute* best = nullptr;
    double bestSquared = limitSquared;
    for (const auto& route : CMarkManager::Get().Routes()) {
        if (route.get() == self || route->IsDeleted() || route->Points().empty())
            continue;
        const COverlayMark& p = atEnd ? *route->Points().back() : *route->Points().front();
        if (!p.HasPosition())
            continue;
        const double d = plane.DistanceSquaredTo(p.GetLatitude(), p.GetLongitude());
        if (d <= bestSquared && (!best || d < bestSquared)) {
            bestSquared = d;
            best = route.get();
        }
    }
    return best;
}

COverlayTrack* FindOtherTrackNear(const COverlayTrack* self, double latitude, double longitude, double limit,
                                  bool atEnd)
{
    if (!IsValidPosition(latitude, longitude) || !(limit > 0) || !std::isfinite(limit))
        return nullptr;
    const CLocalPlane plane(latitude, longitude);
    COverlayTrack* best = nullptr;
    double bestSquared = limit * limit;
    for (const auto& track : CTrackManager::Get().Tracks()) {
        if (track.get() == self || track->IsDeleted() || !track->HasPoints())
            continue;
        const CTrackPoint& p = atEnd ? track->LastPoint() : track->FirstPoint();
        const double d = plane.DistanceSquaredTo(p.latitude, p.longitude);
        if (d <= bestSquared && (!best || d < bestSquared)) {
            bestSquared = d;
            best = track.get();
        }
    }
    return best;
}

void DeleteRouteFromMenu(COverlayRoute* route)
{
    if (!route || route->IsDeleted())
        return;
    COverlayTool::EndActiveTool();
    CMarkManager::Get().DeleteRoute(route);
}

// Group menus.

Menu BuildMarksListMenu(QWidget* parent)
{
    Menu menu = NewMenu("Marks menu");
    menu->AddActionSheetFunc("Export all marks", CMenuTree::kSeparated, [parent] {
        ExportAll(parent, "Export all marks", "marks.gpx",
                  [](const std::string& path) { return ExportMarksGPXFile(path); });
    });
    const auto forEachMark = [](std::function<void(COverlayMark&)> act) {
        return [act = std::move(act)] {
            for (const auto& mark : CMarkManager::Get().Marks())
                if (!mark->IsDeleted())
                    act(*mark);
        };
    };
    menu->AddActionSheetFunc("Lock all marks", CMenuTree::kPlain, forEachMark([](COverlayMark& m) {
                                 m.SetLocked(true);
                                 m.SetState(COverlayObject::kChanged);
                             }));
    menu->AddActionSheetFunc("Unlock all marks", CMenuTree::kPlain, forEachMark([](COverlayMark& m) {
                                 m.SetLocked(false);
                                 m.SetState(COverlayObject::kChanged);
                             }));
    menu->AddActionSheetFunc("Show all marks", CMenuTree::kPlain,
                             [] { CMarkManager::Get().SetAllMarksVisible(true); });
    menu->AddActionSheetFunc("Hide all marks", CMenuTree::kPlain,
                             [] { CMarkManager::Get().SetAllMarksVisible(false); });
    menu->AddActionSheetFunc("Make all Syncable", CMenuTree::kPlain,
                             forEachMark([](COverlayMark& m) { m.SetDoNotSync(false); }));
    menu->AddActionSheetFunc("Make all Non-Syncable", CMenuTree::kPlain,
                             forEachMark([](COverlayMark& m) { m.SetDoNotSync(true); }));
    AddSortRow(*menu, parent);
    menu->AddActionSheetFunc("Delete All Marks", CMenuTree::kSeparated, [parent] {
        AskThen(parent, "Delete All Marks", "Are you sure?", [] {
            CMarkManager& manager = CMarkManager::Get();
            COverlayTool::EndActiveTool();
            // Deleting leaves tombstones in the list: walk a copy.
            std::vector<COverlayMark*> marks;
            for (const auto& mark : manager.Marks())
                if (!mark->IsDeleted())
                    marks.push_back(mark.get());
            for (COverlayMark* mark : marks)
                manager.DeleteMark(mark);
            manager.PurgeTombstones(0);
            COverlayListDelegate::SetAllDirty();
        });
    });
    return menu;
}

Menu BuildRoutesListMenu(QWidget* parent)
{
    Menu menu = NewMenu("Routes menu");
    menu->AddActionSheetFunc("Export all routes", CMenuTree::kSeparated, [parent] {
        ExportAll(parent, "Export all routes", "routes.gpx",
                  [](const std::string& path) { return ExportRoutesGPXFile(path); });
    });
    const auto forEachRoute = [](std::function<void(COverlayRoute&)> act) {
        return [act = std::move(act)] {
            for (const auto& route : CMarkManager::Get().Routes())
                if (!route->IsDeleted())
                    act(*route);
        };
    };
    menu->AddActionSheetFunc("Lock all routes", CMenuTree::kPlain, forEachRoute([](COverlayRoute& r) {
                                 r.SetLocked(true);
                                 r.NotifyChanged(COverlayObject::kUpdated);
                             }));
    menu->AddActionSheetFunc("Unlock all routes", CMenuTree::kPlain, forEachRoute([](COverlayRoute& r) {
                                 r.SetLocked(false);
                                 r.NotifyChanged(COverlayObject::kUpdated);
                             }));
    menu->AddActionSheetFunc("Show all routes", CMenuTree::kPlain,
                             [] { CMarkManager::Get().SetAllRoutesVisible(true); });
    menu->AddActionSheetFunc("Hide all routes", CMenuTree::kPlain,
                             [] { CMarkManager::Get().SetAllRoutesVisible(false); });
    menu->AddActionSheetFunc("Make all routes syncable", CMenuTree::kPlain,
                             forEachRoute([](COverlayRoute& r) { r.SetDoNotSync(false); }));
    menu->AddActionSheetFunc("Make all non-syncable", CMenuTree::kPlain,
                             forEachRoute([](COverlayRoute& r) { r.SetDoNotSync(true); }));
    AddSortRow(*menu, parent);
    menu->AddActionSheetFunc("Delete all routes", CMenuTree::kSeparated, [parent] {
        AskThen(parent, "Delete All Routes", "Are you sure?", [] {
            CMarkManager& manager = CMarkManager::Get();
            std::vector<COverlayRoute*> routes;
            for (const auto& route : manager.Routes())
                if (!route->IsDeleted())
                    routes.push_back(route.get());
            for (COverlayRoute* route : routes)
                DeleteRouteFromMenu(route);
            manager.PurgeTombstones(0);
            COverlayListDelegate::SetAllDirty();
        });
    });
    return menu;
}

Menu BuildTracksListMenu(QWidget* parent)
{
    Menu menu = NewMenu("Tracks menu");
    menu->AddActionSheetFunc("Export all tracks", CMenuTree::kSeparated, [parent] {
        ExportAll(parent, "Export all tracks", "tracks.gpx",
                  [](const std::string& path) { return ExportTracksGPXFile(path); });
    });
    menu->AddActionSheetFunc("Show all tracks", CMenuTree::kPlain,
                             [] { CTrackManager::Get().SetAllVisible(true); });
    menu->AddActionSheetFunc("Hide all tracks", CMenuTree::kPlain,
                             [] { CTrackManager::Get().SetAllVisible(false); });
    menu->AddActionSheetFunc("Make all tracks syncable", CMenuTree::kPlain,
                             [] { CTrackManager::Get().SetAllDoNotSync(false); });
    menu->AddActionSheetFunc("Make all tracks non-syncable", CMenuTree::kPlain,
                             [] { CTrackManager::Get().SetAllDoNotSync(true); });
    AddSortRow(*menu, parent);
    menu->AddActionSheetFunc("Delete all tracks", CMenuTree::kSeparated, [parent] {
        AskThen(parent, "Delete All Tracks", "Are you sure?", [] {
            CTrackManager& manager = CTrackManager::Get();
            COverlayTool::EndActiveTool();
            std::vector<COverlayTrack*> tracks;
            for (const auto& track : manager.Tracks())
                if (!track->IsDeleted())
                    tracks.push_back(track.get());
            for (COverlayTrack* track : tracks)
                manager.DeleteTrack(track);
            // Tombstones that were synchronised stay, so the server hears of the deletion.
            manager.PurgeTombstones(0);
            COverlayListDelegate::SetAllDirty();
        });
    });
    return menu;
}

Menu BuildSortMenu()
{
    Menu menu = NewMenu("Overlay Sort...");
    static const char* const titles[] = {"By Name", "By Date", "Distance"};
    const uint32_t current = CMarkManager::Settings().sort;
    for (uint32_t sort = 0; sort < 3; ++sort)
        menu->AddActionSheetFunc(titles[sort], sort == current ? CMenuTree::kChecked : CMenuTree::kPlain,
                                 [sort] {
                                     CMarkManager::Persistant& settings = CMarkManager::Settings();
                                     settings.sort = sort;
                                     settings.SetModified();
                                     PersistantData::SaveAll();
                                     COverlayListDelegate::SetAllDirty();
                                 });
    return menu;
}

// Row menus.

Menu BuildMarkRowMenu(COverlayMark& mark, QWidget* parent)
{
    Menu menu = NewMenu(mark.GetName());
    AddMarkRow(*menu, "Edit", HiddenUnless(Port<IOverlayUi>().CanEditMarks()), mark,
               [parent](COverlayMark& m) {
                   if (Port<IOverlayUi>().CanEditMarks())
                       Port<IOverlayUi>().show_edit_mark(parent, &m);
               });
    AddMarkRow(*menu, "View", CMenuTree::kPlain, mark, [](COverlayMark& m) { ViewBounds(m); });
    AddMarkRow(*menu, "Delete", CMenuTree::kSeparated, mark, [](COverlayMark& m) {
        CMarkManager::Get().DeleteMark(&m);
        COverlayListDelegate::SetAllDirty();
    });
    return menu;
}

Menu BuildRouteRowMenu(COverlayRoute& route, QWidget* parent)
{
    Menu menu = NewMenu(route.GetName());
    AddRouteRow(*menu, "Edit", HiddenUnless(Port<IOverlayUi>().CanEditRoutes()), route,
                [parent](COverlayRoute& r) {
                    if (Port<IOverlayUi>().CanEditRoutes())
                        Port<IOverlayUi>().show_edit_route(parent, &r);
                });
    AddRouteRow(*menu, "View", CMenuTree::kPlain, route, [](COverlayRoute& r) { ViewBounds(r); });
    AddRouteRow(*menu, "Delete", CMenuTree::kSeparated, route, [](COverlayRoute& r) {
        DeleteRouteFromMenu(&r);
        COverlayListDelegate::SetAllDirty();
    });
    return menu;
}

Menu BuildTrackRowMenu(COverlayTrack& track, QWidget* parent)
{
    Menu menu = NewMenu(track.GetName());
    AddTrackRow(*menu, "Edit", HiddenUnless(Port<IOverlayUi>().CanEditTracks()), track,
                [parent](COverlayTrack& t) {
                    if (Port<IOverlayUi>().CanEditTracks())
                        Port<IOverlayUi>().show_edit_track(parent, &t);
                });
    AddTrackRow(*menu, "View", CMenuTree::kPlain, track, [](COverlayTrack& t) { ViewBounds(t); });
    AddTrackRow(*menu, "Delete", CMenuTree::kSeparated, track, [](COverlayTrack& t) {
        COverlayTool::EndActiveTool();
        CTrackManager::Get().DeleteTrack(&t);
        COverlayListDelegate::SetAllDirty();
    });
    return menu;
}

// Action menus of the chart.

Menu BuildMarkActionMenu(COverlayMark& mark, QWidget* parent, const CRasterleafView* view)
{
    Menu menu = NewMenu(mark.GetName());
    COverlayRoute* route = mark.GetRoute();
    if (!route) {
        const bool navigating = mark.IsGotoTarget();
        AddMarkRow(*menu, "Go-To", navigating ? CMenuTree::kHidden : CMenuTree::kPlain, mark,
                   [](COverlayMark& m) { CMarkManager::Get().GotoMark(&m); });
        menu->AddActionSheetFunc("Cancel Navigation", navigating ? CMenuTree::kPlain : CMenuTree::kHidden,
                                 [] { CMarkManager::Get().CancelGoto(); });
        AddMarkRow(*menu, "Create Route", CMenuTree::kPlain, mark,
                   [](COverlayMark& m) { CMarkManager::Get().CreateRouteFromMark(&m); });
        AddMarkRow(*menu, "Edit Mark", HiddenUnless(Port<IOverlayUi>().CanEditMarks()), mark,
                   [parent](COverlayMark& m) {
                       if (Port<IOverlayUi>().CanEditMarks())
                           Port<IOverlayUi>().show_edit_mark(parent, &m);
                   });
        AddMarkRow(*menu, "Open Link", HiddenUnless(!mark.GetLink().empty()), mark, OpenLink);
        AddMarkRow(*menu, "Delete Mark", CMenuTree::kSeparated, mark,
                   [parent](COverlayMark& m) { AskDeleteMark(parent, m); });
        return menu;
    }
    const bool navigating = route->IsFollowed();
    AddRouteRow(*menu, "Follow Route", navigating ? CMenuTree::kHidden : CMenuTree::kPlain, *route,
                [](COverlayRoute& r) { CMarkManager::Get().FollowRoute(&r); });
    menu->AddActionSheetFunc("Cancel Navigation", navigating ? CMenuTree::kPlain : CMenuTree::kHidden,
                             [] { CMarkManager::Get().CancelGoto(); });
    AddRouteRow(*menu, "Edit Route", HiddenUnless(Port<IOverlayUi>().CanEditRoutes()), *route,
                [parent](COverlayRoute& r) {
                    if (Port<IOverlayUi>().CanEditRoutes())
                        Port<IOverlayUi>().show_edit_route(parent, &r);
                });
    AddRouteRow(*menu, "Delete Route", CMenuTree::kSeparated, *route,
                [parent](COverlayRoute& r) { DeleteRouteAsking(parent, r); });
    AddRouteRow(*menu, "Route Operations...", CMenuTree::kPlain, *route, [parent](COverlayRoute& r) {
        CMarkManager& m = CMarkManager::Get();
        // A route being built is finished before it is worked on.
        if (m.GetRouteBeingBuilt() == &r && HasPendingAction())
            RunPendingAction();
        if (m.GetRouteBeingBuilt() == &r)
            m.EndRouteBuilding();
        if (FindRouteBySerial(r.GetSerial()) == &r)
            ShowOverlayMenu(BuildRouteOperationsMenu(r, parent), parent, nullptr);
    });
    const CRasterleafView* at = view;
    AddMarkRow(*menu, "Waypoint Operations...", CMenuTree::kPlain, mark, [parent, at](COverlayMark& m) {
        // The view may have gone while the menu was open.
        const CRasterleafView* live = at == CRasterleafView::Global() ? at : nullptr;
        ShowOverlayMenu(BuildWaypointOperationsMenu(m, parent, live), parent, nullptr);
    });
    return menu;
}

Menu BuildRouteOperationsMenu(COverlayRoute& route, QWidget* parent)
{
    Menu menu = NewMenu(route.GetName());
    AddRouteRow(*menu, "Reverse route", CMenuTree::kPlain, route, [](COverlayRoute& r) {
        COverlayTool::EndActiveTool();
        r.Reverse();
    });
    AddRouteRow(*menu, "Optimize route...", CMenuTree::kPlain, route, [parent](COverlayRoute& r) {
        ShowOverlayMenu(BuildOptimizeMenu(r, parent), parent, nullptr);
    });
    AddRouteRow(*menu, "Convert to Track", CMenuTree::kPlain, route, [](COverlayRoute& r) {
        COverlayTool::EndActiveTool();
        r.ConvertToTrack();
        COverlayListDelegate::SetAllDirty();
    });
    const CRasterleafView* view = CRasterleafView::Global();
    const bool downloads = DownloadableChart(view) != nullptr;
    const auto download = [](int mode) {
        return [mode](COverlayRoute& r) {
            if (const CRasterleafView* live = CRasterleafView::Global(); live && live->HasChart())
                StartRouteDownload(r, live->GetCurrentChartPath(), mode);
        };
    };
    AddRouteRow(*menu, "Download map along route", HiddenUnless(downloads), route, download(0));
    AddRouteRow(*menu, "Download enclosed map", HiddenUnless(downloads), route, download(1));
    return menu;
}

Menu BuildOptimizeMenu(COverlayRoute& route, QWidget* parent)
{
    Menu menu = NewMenu(route.GetName());
    struct Row
    {
        const char* title;
        const char* mode;
        bool tip;
    };
    static const Row rows[] = {{"Route for Walking", "walking", true},
                               {"Route for Cycling", "bicycling", true},
                               {"Route for Driving", "driving", false},
                               {"Revert to original", "revert", false}};
    for (const Row& row : rows)
        AddRouteRow(*menu, row.title, CMenuTree::kPlain, route, [parent, row](COverlayRoute& r) {
            const uint64_t serial = r.GetSerial();
            const std::string mode = row.mode;
            // The directions start after the tip's box is answered (at once
            // when it was shown before); the route is looked up again then.
            CCallback storage;
            PushProgressCallback(storage, CCallback([parent, serial, mode](int32_t code) {
                                     if (COverlayRoute* found = FindRouteBySerial(serial)) {
                                         COverlayTool::EndActiveTool();
                                         OptimizeRoute(parent, mode, found);
                                     }
                                     return code;
                                 }));
            if (row.tip)
                CMarkManager::Get().ShowOptimizeRouteTip();
            RunDialogCallbacksUntil(storage);
        });
    return menu;
}

Menu BuildWaypointOperationsMenu(COverlayMark& point, QWidget* parent, const CRasterleafView* view)
{
    Menu menu = NewMenu(point.GetName());
    COverlayRoute* route = point.GetRoute();
    const ptrdiff_t index = route ? route->IndexOf(&point) : -1;
    const bool first = index == 0;
    const bool last = route && index >= 0 && size_t(index) + 1 == route->PointCount();
    const bool target = point.IsGotoTarget();
    AddMarkRow(*menu, "Delete Waypoint", CMenuTree::kSeparated, point,
               [parent](COverlayMark& m) { AskDeleteMark(parent, m); });
    AddMarkRow(*menu, "Go-To Point", target ? CMenuTree::kHidden : CMenuTree::kPlain, point,
               [](COverlayMark& m) { CMarkManager::Get().GotoMark(&m); });
    menu->AddActionSheetFunc("Cancel Navigation", target ? CMenuTree::kPlain : CMenuTree::kHidden,
                             [] { CMarkManager::Get().CancelGoto(); });
    AddMarkRow(*menu, "Insert Waypoint", CMenuTree::kPlain, point, [](COverlayMark& m) {
        if (m.GetRoute())
            CMarkManager::Get().BeginInsertWaypoint(m.GetRoute(), &m);
    });
    AddMarkRow(*menu, "Edit Waypoint", HiddenUnless(Port<IOverlayUi>().CanEditMarks()), point,
               [parent](COverlayMark& m) {
                   if (Port<IOverlayUi>().CanEditMarks())
                       Port<IOverlayUi>().show_edit_mark(parent, &m);
               });
    AddMarkRow(*menu, "Split Route", HiddenUnless(route && !first && !last), point, [](COverlayMark& m) {
        if (!m.GetRoute())
            return;
        COverlayTool::EndActiveTool();
        m.GetRoute()->Split(&m);
        COverlayListDelegate::SetAllDirty();
    });
    AddMarkRow(*menu, "Open Link", HiddenUnless(!point.GetLink().empty()), point, OpenLink);
    if (!route || !(first || last) || !point.HasPosition())
        return menu;
    // A route's own other end never counts: a loop route would join itself.
    const double limit = JoinDistanceMetres(view);
    COverlayRoute* other = FindOtherRouteNear(route, point.GetLatitude(), point.GetLongitude(), limit, first);
    if (!other)
        return menu;
    const uint64_t otherSerial = other->GetSerial();
    AddRouteRow(*menu, "Join Route", CMenuTree::kPlain, *route, [otherSerial, first](COverlayRoute& r) {
        COverlayRoute* found = FindRouteBySerial(otherSerial);
        if (!found || found == &r)
            return;
        COverlayTool::EndActiveTool();
        if (first)
            found->Join(&r);
        else
            r.Join(found);
        COverlayListDelegate::SetAllDirty();
    });
    return menu;
}

Menu BuildTrackMenu(COverlayTrack& track, const CTrackSection* section, int index, QWidget* parent,
                    const CRasterleafView* view)
{
    Menu menu = NewMenu(track.GetName());
    const auto& sections = track.Sections();
    // The tool's point only counts while it lies in this track.
    bool known = false;
    for (const auto& s : sections)
        known = known || s.get() == section;
    known = known && index >= 0 && uint32_t(index) < section->Count();
    const bool atStart = known && section == sections.front().get() && index == 0;
    const bool atEnd = known && section == sections.back().get() && uint32_t(index) + 1 == section->Count();
    AddTrackRow(*menu, "Edit Track", HiddenUnless(Port<IOverlayUi>().CanEditTracks()), track,
                [parent](COverlayTrack& t) {
                    if (Port<IOverlayUi>().CanEditTracks())
                        Port<IOverlayUi>().show_edit_track(parent, &t);
                });
    AddTrackRow(*menu, "Split Track", HiddenUnless(known && !atStart && !atEnd), track,
                [section, index](COverlayTrack& t) {
                    // The section is compared, never read, until it is found in the track.
                    for (const auto& s : t.Sections())
                        if (s.get() == section && uint32_t(index) < s->Count()) {
                            COverlayTool::EndActiveTool();
                            t.Split(s.get(), uint32_t(index));
                            COverlayListDelegate::SetAllDirty();
                            return;
                        }
                });
    const double limit = JoinDistanceMetres(view);
    COverlayTrack* after = nullptr;
    COverlayTrack* before = nullptr;
    if (atEnd) {
        const CTrackPoint& p = section->Point(uint32_t(index));
        after = FindOtherTrackNear(&track, p.latitude, p.longitude, limit, false);
    }
    if (atStart) {
        const CTrackPoint& p = section->Point(0);
        before = FindOtherTrackNear(&track, p.latitude, p.longitude, limit, true);
    }
    const uint64_t afterSerial = after ? after->GetSerial() : 0;
    const uint64_t beforeSerial = before ? before->GetSerial() : 0;
    AddTrackRow(*menu, "Join Track", HiddenUnless(after != nullptr), track, [afterSerial](COverlayTrack& t) {
        COverlayTrack* found = FindTrackBySerial(afterSerial);
        if (!found || found == &t)
            return;
        COverlayTool::EndActiveTool();
        t.Join(found);
        COverlayListDelegate::SetAllDirty();
    });
    AddTrackRow(*menu, "Join Track", HiddenUnless(before != nullptr), track,
                [beforeSerial](COverlayTrack& t) {
                    COverlayTrack* found = FindTrackBySerial(beforeSerial);
                    if (!found || found == &t)
                        return;
                    COverlayTool::EndActiveTool();
                    found->Join(&t);
                    COverlayListDelegate::SetAllDirty();
                });
    const uint32_t lockedKind = track.IsLocked() ? CMenuTree::kDisabled : CMenuTree::kPlain;
    AddTrackRow(*menu, "Convert to Route", lockedKind, track, [parent](COverlayTrack& t) {
        const uint64_t serial = t.GetSerial();
        AskThen(parent, "Convert Track",
                "Convert Track to Route: \"" + t.GetName() +
                    "\".\n(Conversion discards speed/time data)\nAre you sure?",
                [serial] {
                    COverlayTrack* found = FindTrackBySerial(serial);
                    if (!found || found->IsLocked())
                        return;
                    COverlayTool::EndActiveTool();
                    found->ConvertToRoute();
                    COverlayListDelegate::SetAllDirty();
                });
    });
    AddTrackRow(*menu, "Delete Track", track.IsLocked() ? CMenuTree::kDisabled : CMenuTree::kSeparated, track,
                [parent](COverlayTrack& t) {
                    const uint64_t serial = t.GetSerial();
                    AskThen(parent, "Delete Track", "Delete Track: \"" + t.GetName() + "\".\nAre you sure?",
                            [serial] {
                                COverlayTrack* found = FindTrackBySerial(serial);
                                if (!found || found->IsLocked())
                                    return;
                                COverlayTool::EndActiveTool();
                                CTrackManager::Get().DeleteTrack(found);
                                COverlayListDelegate::SetAllDirty();
                            });
                });
    return menu;
}

Menu BuildNearbyMarksMenu(double latitude, double longitude, size_t count)
{
    std::vector<COverlayMark*> marks;
    CMarkManager::Get().GetNearestMarks(latitude, longitude, count, marks);
    if (marks.empty())
        return nullptr;
    Menu menu = NewMenu("Goto Mark");
    for (COverlayMark* mark : marks)
        AddMarkRow(*menu, mark->GetName().c_str(), CMenuTree::kPlain, *mark,
                   [](COverlayMark& m) { CMarkManager::Get().GotoMark(&m); });
    return menu;
}

Menu BuildNearbyRoutesMenu(double latitude, double longitude, size_t count)
{
    std::vector<COverlayRoute*> routes;
    CMarkManager::Get().GetNearestRoutes(latitude, longitude, count, routes);
    if (routes.empty())
        return nullptr;
    Menu menu = NewMenu("Follow Route");
    for (COverlayRoute* route : routes)
        AddRouteRow(*menu, route->GetName().c_str(), CMenuTree::kPlain, *route,
                    [](COverlayRoute& r) { CMarkManager::Get().FollowRoute(&r); });
    return menu;
}

void ShowOverlayMenu(std::unique_ptr<CMenuTree> menu, QWidget* parent, const QPoint* point)
{
    if (!menu)
        return;
    if (point)
        CMenuTree::PopUp(std::move(menu), parent, *point);
    else
        CActionSheetMenu::PopUpAtCentre(std::move(menu), parent);
}

bool ShowTrackMenu(CTrackSection& section, QWidget* parent, const QPoint* point)
{
    COverlayTrack* track = section.GetTrack();
    if (!track || track->IsDeleted())
        return false;
    const CTrackSection* toolSection = &section;
    int index = -1;
    if (COverlayTool* tool = COverlayTool::GetActiveTool()) {
        for (const auto& s : track->Sections())
            if (s.get() == tool->GetTrackSection()) {
                toolSection = s.get();
                index = tool->GetPointIndex();
            }
    }
    ShowOverlayMenu(BuildTrackMenu(*track, toolSection, index, parent, CRasterleafView::Global()), parent,
                    point);
    return true;
}
