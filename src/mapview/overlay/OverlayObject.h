#pragma once
// The base of everything drawn over the chart (own ship, AIS targets, marks,
// routes, tracks). Every change is announced on Listener<COverlayObject> so
// that the map view and the lists update.
//
// Deletion: the owner announces it (AnnounceDeletion) before it starts to
// destroy the object, so listeners still see a whole object; handlers of the
// deleted state must only compare pointers and drop their references. The
// base destructor announces only what was not announced yet. An object may be
// deleted from inside the delivery of its own change: the rest of that
// delivery is then cut short, so no later listener receives a dead object.
// Publish overlay changes only through SetState.
#include "mapview/overlay/ScreenPoints.h"

#include <cstdint>

class CPolynomialProjection;
class CRasterleafView;
class QPainter;

// Where a tap or click landed: a view point and the position under it.
struct COverlayTap
{
    double x = 0; // view pixels
    double y = 0;
    double latitude = 0;
    double longitude = 0;
};

class COverlayObject
{
public:
    // States.
    enum : uint32_t {
        kChanged = 0, // geometry or content must be rebuilt
        kUpdated = 1, // redraw only
        kDeleted = 2,
    };
    // Kinds (top four bits of the flags word); they order drawing, so marks
    // lie over routes, routes over tracks, and moving targets over them all.
    enum : uint32_t {
        kKindTrackSection = 1,
        kKindRoute = 2,
        kKindMark = 3,
        kKindMovingTarget = 5,
    };
    static constexpr uint32_t kKindShift = 28;
    static constexpr uint32_t kSubclassFlagsMask = (1u << kKindShift) - 1;

    COverlayObject(uint32_t kind, uint32_t id);
    virtual ~COverlayObject();
    COverlayObject(const COverlayObject&) = delete;
    COverlayObject& operator=(const COverlayObject&) = delete;

    // Projects the object's geometry for the chart: map points, box, hit mode.
    virtual void UpdateScreenPoints(ScreenPoints& record, const CPolynomialProjection& chart) = 0;
    virtual void Draw(QPainter& context, const CViewTransform& view, ScreenPoints& record) = 0;
    virtual bool IsVisible() const { return true; }
    // True when the object took the tap (showed or started something).
    virtual bool OnTap(CRasterleafView& view, const COverlayTap& tap)
    {
        (void)view;
        (void)tap;
        return false;
    }
    virtual bool OnDoubleTap(CRasterleafView& view, const COverlayTap& tap) { return OnTap(view, tap); }
    // Reserved for subclasses; no object answers it yet.
    virtual int32_t GetIntValue() const { return 0; }
    // Reserved for subclasses; no object acts on it yet.
    virtual void OnNotification() {}
    virtual bool ShowActionMenu(CRasterleafView& view, const COverlayTap& tap)
    {
        (void)view;
        (void)tap;
        return false;
    }

    // Stores the state and tells every listener before returning.
    void SetState(uint32_t state);
    // Announces the coming deletion (state 2) once; call before destroying.
    void AnnounceDeletion();
    bool IsDeletionAnnounced() const { return m_state == kDeleted; }

    uint32_t GetId() const { return m_id; }
    void SetId(uint32_t id) { m_id = id; }
    uint32_t GetState() const { return m_state; }
    uint32_t GetFlags() const { return m_flags; }
    uint32_t GetKind() const { return m_flags >> kKindShift; }
    void SetKind(uint32_t kind);
    // The subclass flags (the lower 28 bits); the kind is kept.
    void SetSubclassFlags(uint32_t flags);
    // The layer of the overlay source that last walked the object.
    uint32_t GetLayer() const { return m_layer; }
    void SetLayer(uint32_t layer) { m_layer = layer; }

protected:
    uint32_t m_id;
    uint32_t m_state = kChanged;
    uint32_t m_flags;
    uint32_t m_layer = 0;

private:
    struct Delivery;
    static Delivery* s_deliveries;
    static void StopDeliveryOfDestroyed();
};
