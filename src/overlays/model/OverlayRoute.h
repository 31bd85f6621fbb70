#pragma once
// An ordered list of route points (marks owned by the route) drawn as a
// styled line; built by taps on the chart, edited point by point, split,
// joined and reversed. Routes belong to the mark manager.
#include "geodesy/LocalPlane.h"
#include "mapview/overlay/OverlayObject.h"
#include "overlays/model/LineStyle.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/Syncable.h"

#include <memory>

class CKeptLinePixels;
#include <string>
#include <utility>
#include <vector>

class COverlayTrack;

class COverlayRoute : public COverlayObject, public CSyncable
{
public:
    static constexpr uint32_t kTypeId = 40;
    static constexpr uint32_t kMaxPoints = 10000000;
    static inline CSerializableType<COverlayRoute> cType{kTypeId};

    // One leg of the route as the go-to logic keeps it.
    struct Leg
    {
        COverlayMark* to = nullptr;
        double dirX = 0, dirY = 0;
        double fromX = 0, fromY = 0;
        double toX = 0, toY = 0;
        double length = 0;
        double crossSq = 0;
        float remaining = 0;
        bool within = false;
    };

    COverlayRoute();
    ~COverlayRoute() override;

    // COverlayObject
    void UpdateScreenPoints(ScreenPoints& record, const CPolynomialProjection& chart) override;
    void Draw(QPainter& context, const CViewTransform& view, ScreenPoints& record) override;
    bool IsVisible() const override { return m_visible && !m_deleted; }
    bool OnTap(CRasterleafView& view, const COverlayTap& tap) override;
    bool OnDoubleTap(CRasterleafView&, const COverlayTap&) override { return false; }
    // The menu of the first point.
    bool ShowActionMenu(CRasterleafView& view, const COverlayTap& tap) override;

    // CSerializable / CSyncable
    uint32_t GetTypeId() const override { return kTypeId; }
    bool Serialize(CSerialStream& stream) override;
    bool ExtendBounds(CBoundingBox& box) const override;

    const std::vector<std::unique_ptr<COverlayMark>>& Points() const { return m_points; }
    size_t PointCount() const { return m_points.size(); }
    // Appends (or inserts before `at`) a point the route takes over.
    COverlayMark* AddPoint(std::unique_ptr<COverlayMark> point);
    COverlayMark* InsertPoint(size_t at, std::unique_ptr<COverlayMark> point);
    // Index of the point, or -1.
    ptrdiff_t IndexOf(const COverlayMark* point) const;

    CLineStyle& GetLineStyle() { return m_lineStyle; }
    const CLineStyle& GetLineStyle() const { return m_lineStyle; }
    bool IsFollowed() const { return m_isFollowed; }
    void SetFollowed(bool on) { m_isFollowed = on; }
    std::vector<Leg>& LegCache() { return m_legCache; }
    CLocalPlane& LegPlane() { return m_legPlane; }

    // Metres, each leg measured on a plane centred at its start.
    double TotalDistance() const;
    float CachedTotalLength() const;
    void GetPointsLonLat(std::vector<std::pair<double, double>>& out) const;
    // Code 0 first empties the leg cache; the route and every point get the state.
    void NotifyChanged(uint32_t code);
    COverlayMark* PreviousPoint(const COverlayMark* point) const;
    void AutoName();
    void Reverse();
    // Fewer than three points deletes the whole route.
    void DeletePoint(COverlayMark* point);
    // Points destroyed, following and building ended, texts emptied.
    void Clear();
    // Exchanges the point list with `points`; the points that come in get
    // this route. Nothing is announced: the caller notifies.
    void SwapPoints(std::vector<std::unique_ptr<COverlayMark>>& points);
    // The new route holding a copy of the point and every point after it;
    // null for a point not in the route.
    COverlayRoute* Split(COverlayMark* point);
    // Appends the other route's points but its first and deletes it; false
    // (nothing changed) for this route itself or a deleted route.
    bool Join(COverlayRoute* other);
    bool IsSameRoute(const COverlayRoute& other) const;
    // The new track "<name>-converted" through the route's points (times 0);
    // the route is deleted. Null for a deleted route.
    COverlayTrack* ConvertToTrack();

    // A point made by a tap while this route is being built: inserted after
    // the manager's insertion point (or at the end), named `name` or route
    // name + "P" + count; the status line shows the total distance.
    COverlayMark* AddPointWhileBuilding(CRasterleafView* view, double latitude, double longitude,
                                        const std::string& name, const COverlayTap& tap);

private:
    // The line through the points with the route's style, as it always draws.
    void DrawLine(QPainter& context, const std::vector<CPolyPoint>& points) const;

    std::vector<std::unique_ptr<COverlayMark>> m_points;
    CLineStyle m_lineStyle;
    std::unique_ptr<CKeptLinePixels> m_kept; // the line's pixels for redraws
    bool m_isFollowed = false;
    std::vector<Leg> m_legCache;
    CLocalPlane m_legPlane;
};

// Ends the active tool when it works on a point of `route` (before the route
// changes under it).
void EndToolOnRoute(const COverlayRoute& route);
