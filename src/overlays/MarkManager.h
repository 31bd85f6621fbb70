#pragma once
// The one store of free marks and routes: their lists (deleted objects stay
// as tombstones), the settings of marks and routes, the names of new ones,
// and the state of building a route by taps on the chart. Main thread only.
#include "foundation/drawing/GraphicsColor.h"
#include "foundation/settings/PersistantData.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class COverlayMark;
class COverlayObject;
class COverlayRoute;
class CRasterleafView;

class CMarkManager
{
public:
    static constexpr uint32_t kTypeId = 21;

    // The settings object "CMarkManager".
    class Persistant : public PersistantData
    {
    public:
        Persistant();
        void Exchange() override;

        bool routeCreateHint = false;
        bool routeHint = false;
        bool optimizeRouteTip = false;
        std::string defaultMarkIcon = "Flag";
        std::string defaultWpIcon = "Dot";
        GraphicsColor defaultMarkColor{1, 0, 0, 1};
        GraphicsColor defaultWpColor{0, 0, 1, 1};
        uint32_t sort = 0;
        bool notifications = true;
        uint32_t syncMode = 0;
        bool autoReverse = false;
    };
    static Persistant& Settings();

    // While one of these lives, new marks are route points: they take the
    // waypoint defaults and their records carry no sync block.
    class RoutePointScope
    {
    public:
        RoutePointScope();
        ~RoutePointScope();
        RoutePointScope(const RoutePointScope&) = delete;
        RoutePointScope& operator=(const RoutePointScope&) = delete;
    };
    static bool IsMakingRoutePoints();

    static CMarkManager& Get();
    ~CMarkManager();
    CMarkManager(const CMarkManager&) = delete;
    CMarkManager& operator=(const CMarkManager&) = delete;

    const std::vector<std::unique_ptr<COverlayMark>>& Marks() const { return m_marks; }
    const std::vector<std::unique_ptr<COverlayRoute>>& Routes() const { return m_routes; }
    COverlayMark* AddMark(std::unique_ptr<COverlayMark> mark);
    COverlayRoute* AddRoute(std::unique_ptr<COverlayRoute> route);

    // prefix + (the highest number after the prefix among free mark names, + 1).
    std::string NextNumberedName(const std::string& prefix) const;
    // "R%d", one more than the highest number after the 'R' of route names.
    std::string NextRouteName() const;

    // Runs the pending map action, then makes, appends and taps a free mark.
    // Null for a position that is not finite or not on the globe.
    COverlayMark* CreateMarkAt(CRasterleafView* view, const std::string& name, double latitude,
                               double longitude);
    // A free mark becomes a tombstone; a route point leaves its route.
    void DeleteMark(COverlayMark* mark);
    // The route becomes a tombstone; its points are destroyed.
    void DeleteRoute(COverlayRoute* route);
    // "Create Route": a new route whose first point replaces the mark.
    COverlayRoute* CreateRouteFromMark(COverlayMark* mark);
    COverlayRoute* BeginNewRoute();
    // "Insert Waypoint": taps insert after `point` (the end when it is null).
    void BeginInsertWaypoint(COverlayRoute* route, COverlayMark* point);

    COverlayRoute* GetRouteBeingBuilt() const { return m_routeBeingBuilt; }
    // The point new points follow; null (or a point that left the route) is the end.
    COverlayMark* GetInsertAfter() const { return m_insertAfter; }
    void SetInsertAfter(COverlayMark* point) { m_insertAfter = point; }
    // Ends building (the Done action, an insertion in mid-route, deletion).
    void EndRouteBuilding();
    // Forgets the route in every role it has here (it is being cleared).
    void ForgetRoute(const COverlayRoute* route);

    // Each shown once: a box with "Got it", then the flag is saved.
    void ShowRouteCreateHint();
    void ShowOptimizeRouteTip();

    // Every mark and route that is not deleted, and each route's points.
    void ForEachOverlay(uint32_t layer, const std::function<void(COverlayObject&)>& visit);
    // Every mark (route) that is not deleted as a GPX file; false when any write failed.
    bool ExportMarksGPXFile(const std::string& path);
    bool ExportRoutesGPXFile(const std::string& path);
    // Whether a free mark IsSameMark (a route IsSameRoute) as the one given.
    bool HasSameMark(const COverlayMark& mark) const;
    bool HasSameRoute(const COverlayRoute& route) const;

    // Tests: empties both lists and ends building.
    void ClearForTesting();

private:
    CMarkManager() = default;
    void StartBuilding(COverlayRoute* route, COverlayMark* insertAfter);
    static void BuildingDone(void* route);

    std::vector<std::unique_ptr<COverlayMark>> m_marks;
    std::vector<std::unique_ptr<COverlayRoute>> m_routes;
    COverlayRoute* m_routeBeingBuilt = nullptr;
    COverlayMark* m_insertAfter = nullptr;
};
