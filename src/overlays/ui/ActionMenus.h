#pragma once
// The action menus of marks, routes and tracks and the menus of the overlay
// lists. Each Build function is a pure table builder: it reads the object's
// state now and returns the menu without showing it; each Show function pops
// the built menu up. Every row acts on its object through the object's serial
// number, looked up when the row is chosen, so an object deleted while its
// menu was open is never touched. Main thread only.
#include "foundation/menus/MenuTree.h"
#include "foundation/platform/DialogParent.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class CChartOutline;
class COverlayMark;
class COverlayRoute;
class COverlayTrack;
class CRasterleafView;
class CSyncable;
class CTrackSection;
class QPoint;

// Live objects by serial number (null when gone or deleted).
COverlayMark* FindMarkBySerial(uint64_t serial);
COverlayRoute* FindRouteBySerial(uint64_t serial);
COverlayTrack* FindTrackBySerial(uint64_t serial);

// The join distance on the chart view: 20 pixels at the view's centre scale,
// in metres (0 without a view or chart).
double JoinDistanceMetres(const CRasterleafView* view);
// Another live route whose last (first) point lies within `limit` metres of
// the position; never `self`.
COverlayRoute* FindOtherRouteNear(const COverlayRoute* self, double latitude, double longitude, double limit,
                                  bool atEnd);
// The same for tracks: their last (`atEnd`) or first point.
COverlayTrack* FindOtherTrackNear(const COverlayTrack* self, double latitude, double longitude, double limit,
                                  bool atEnd);

// The outline of the chart at `chartPath` when downloads can start for it: a
// chunked chart (header identifier above 0xFFFFFF) and an overlay ui that
// offers the download.
std::shared_ptr<CChartOutline> DownloadableChartAt(const std::string& chartPath);
// Starts the chart download along the route (mode 0) or of the area it
// encloses (mode 1); false when the chart does not allow it.
bool StartRouteDownload(const COverlayRoute& route, const std::string& chartPath, int mode);

// Deletes a route as the menus do: tombstone, points destroyed, state 2.
void DeleteRouteFromMenu(COverlayRoute* route);

// Group menus of the list window and the sort menu.
std::unique_ptr<CActionSheetMenu> BuildMarksListMenu(QWidget* parent);
std::unique_ptr<CActionSheetMenu> BuildRoutesListMenu(QWidget* parent);
std::unique_ptr<CActionSheetMenu> BuildTracksListMenu(QWidget* parent);
std::unique_ptr<CActionSheetMenu> BuildSortMenu();
// Row menus.
std::unique_ptr<CActionSheetMenu> BuildMarkRowMenu(COverlayMark& mark, QWidget* parent);
std::unique_ptr<CActionSheetMenu> BuildRouteRowMenu(COverlayRoute& route, QWidget* parent);
std::unique_ptr<CActionSheetMenu> BuildTrackRowMenu(COverlayTrack& track, QWidget* parent);

// The mark action menu of a free mark or a route point.
// `view` gives the join distance of the waypoint operations (null: none).
std::unique_ptr<CActionSheetMenu> BuildMarkActionMenu(COverlayMark& mark, QWidget* parent,
                                                      const CRasterleafView* view);
// The chart downloads ask the global view about its chart.
std::unique_ptr<CActionSheetMenu> BuildRouteOperationsMenu(COverlayRoute& route, QWidget* parent);
// Directions for walking, cycling or driving along the route, or back to the
// points as drawn.
std::unique_ptr<CActionSheetMenu> BuildOptimizeMenu(COverlayRoute& route, QWidget* parent);
// `view` gives the join distance and the open chart (null: neither).
std::unique_ptr<CActionSheetMenu> BuildWaypointOperationsMenu(COverlayMark& point, QWidget* parent,
                                                              const CRasterleafView* view);
// `section` and `index`: the track tool's point (null and -1 when none).
std::unique_ptr<CActionSheetMenu> BuildTrackMenu(COverlayTrack& track, const CTrackSection* section,
                                                 int index, QWidget* parent, const CRasterleafView* view);
// The nearest visible marks (routes) around a position; null when there is none.
std::unique_ptr<CActionSheetMenu> BuildNearbyMarksMenu(double latitude, double longitude, size_t count);
std::unique_ptr<CActionSheetMenu> BuildNearbyRoutesMenu(double latitude, double longitude, size_t count);

// Pops a menu up at `point` in `parent` (at its centre when `point` is null).
void ShowOverlayMenu(std::unique_ptr<CMenuTree> menu, QWidget* parent, const QPoint* point);
// The track menu for a section's track with the active tool's point.
bool ShowTrackMenu(CTrackSection& section, QWidget* parent, const QPoint* point);
