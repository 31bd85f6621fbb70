#pragma once
// The one store of free marks and routes: their lists (deleted objects stay
// as tombstones), the settings of marks and routes, the names of new ones,
// and the state of building a route by taps on the chart. Main thread only.
#include "foundation/drawing/GraphicsColor.h"
#include "foundation/events/Listener.h"
#include "foundation/objectfile/Serializable.h"
#include "foundation/objectfile/UnreadableFile.h"
#include "foundation/settings/PersistantData.h"
#include "instruments/data/DataGPSPosition.h"
#include "mapview/overlay/OverlayObject.h"
#include "overlays/model/DataGotoMark.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class COverlayMark;
class COverlayObject;
class COverlayRoute;
class CRasterleafView;

class CMarkManager : public CSerializable, public Listener<CDataGPSPosition>, public Listener<COverlayObject>
{
public:
    static constexpr uint32_t kTypeId = 21;
    // The store "marks_routes.bin" and the identifier it carries.
    static constexpr const char* kStoreFile = "marks_routes.bin";
    static constexpr uint32_t kFileId = 0x4C00CFF2;
    static constexpr uint32_t kMaxListCount = 10000000;
    // Alarm notification ids: above every AIS MMSI and below the negated
    // MMSIs of DSC alarms.
    static constexpr uint32_t kAlarmKeyBase = 0x40000000;

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
    // Destroys the marks (routes) from index `first` on without tombstones:
    // an import that could not be saved takes back what it added.
    void DropMarksFrom(size_t first);
    void DropRoutesFrom(size_t first);

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
    // Whether a free mark IsSameMark (a route IsSameRoute) as the one given.
    bool HasSameMark(const COverlayMark& mark) const;
    bool HasSameRoute(const COverlayRoute& route) const;

    // Tests: empties both lists and ends building.
    void ClearForTesting();
    // Termination: ends the tool and destroys every mark and route, before
    // static destruction (the stores were saved already).
    void ReleaseAll();

    // CSerializable: the legacy list (marks only), the routes, the marks. A
    // reader replaces the lists only when the whole record was read.
    uint32_t GetTypeId() const override { return kTypeId; }
    bool Serialize(CSerialStream& stream) override;
    // A manager that listens to nothing, for reading a store before it is
    // taken over (and for fuzzing the reader).
    static std::unique_ptr<CMarkManager> MakeScratch();
    // Reads the store through a scratch manager and takes its lists over on
    // success. A missing file is no failure. A file that fails is kept aside
    // before the next save over it, and the status line says so.
    bool LoadStore(const std::string& path, std::string* error = nullptr);
    // Replaces the store atomically; false leaves the old file.
    bool SaveStore(const std::string& path, std::string* error = nullptr);
    // Where a refused store was kept ("" when none was).
    const std::string& RefusedStoreKeptAs() const { return m_storeGuard.KeptAs(); }
    // What the status line said about the last refused load ("" after a good one).
    const std::string& LoadFailureText() const { return m_loadFailureText; }
    // For a caller that sets a refused store aside itself.
    CUnreadableFileGuard& StoreGuard() { return m_storeGuard; }

    // Navigation.
    const CDataGotoMark& GetGoto() const { return m_goto; }
    // Only a free mark or a route point of a route held here, with a position.
    bool GotoMark(COverlayMark* mark);
    void CancelGoto();
    bool FollowRoute(COverlayRoute* route);
    void OnGPSPosition(const CDataGPSPosition& fix);
    void OnOverlayObject(const COverlayObject& object);
    void Notify(const CDataGPSPosition& fix) override { OnGPSPosition(fix); }
    void Notify(const COverlayObject& object) override { OnOverlayObject(object); }
    // The notification id of a mark's alarm.
    static uint32_t AlarmKey(const COverlayMark& mark);

    // Lookups.
    COverlayMark* FindMarkByName(const std::string& name) const;
    // The mark of that name, or a new empty one added under it (null when it
    // could not be added).
    COverlayMark* FindOrAddMark(const std::string& name);
    // The n nearest visible marks (routes: by their nearest point), equal
    // distances in list order; at least one when there is any.
    void GetNearestMarks(double latitude, double longitude, size_t n, std::vector<COverlayMark*>& out) const;
    void GetNearestRoutes(double latitude, double longitude, size_t n,
                          std::vector<COverlayRoute*>& out) const;
    COverlayRoute* FindRouteEndingNear(double latitude, double longitude, double limitMetres) const;
    COverlayRoute* FindRouteStartingNear(double latitude, double longitude, double limitMetres) const;
    void SetAllMarksVisible(bool visible);
    void SetAllRoutesVisible(bool visible);
    // Destroys the tombstones of marks and routes not modified since `time`
    // (0: those never to be synchronised).
    void PurgeTombstones(double time);

private:
    CMarkManager() = default;
    explicit CMarkManager(bool scratch);
    void ResetGoto();
    void PublishGoto();
    void SetLegStart(double latitude, double longitude);
    void SetTarget(COverlayMark* target);
    // The followed route's target for the own position; false without a valid leg.
    bool ChooseRouteTarget(const CDataGPSPosition& fix, COverlayMark*& target, COverlayMark*& legStart);
    void CheckAlarms(const CDataGPSPosition& fix);
    bool HoldsMark(const COverlayMark* mark) const;
    bool HoldsRoute(const COverlayRoute* route) const;
    // Takes over the lists a scratch manager read, then restores the go-to.
    void TakeStoreFrom(CMarkManager& scratch);

    bool m_scratch = false;
    CDataGotoMark m_goto;
    // The base pointers of the targets, compared with deletion events.
    const COverlayObject* m_targetObject = nullptr;
    const COverlayObject* m_nextObject = nullptr;
    const COverlayObject* m_routeObject = nullptr;
    // What the last read asked for: the last go-to or follow flag read.
    COverlayMark* m_readGoto = nullptr;
    COverlayRoute* m_readFollow = nullptr;
    CUnreadableFileGuard m_storeGuard;
    std::string m_loadFailureText;
    void StartBuilding(COverlayRoute* route, COverlayMark* insertAfter);
    static void BuildingDone(void* route);

    std::vector<std::unique_ptr<COverlayMark>> m_marks;
    std::vector<std::unique_ptr<COverlayRoute>> m_routes;
    COverlayRoute* m_routeBeingBuilt = nullptr;
    COverlayMark* m_insertAfter = nullptr;
};
