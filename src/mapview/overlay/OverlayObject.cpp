#include "mapview/overlay/OverlayObject.h"

#include "mapview/overlay/OverlayTool.h"

#include "foundation/events/Listener.h"

// One record per delivery of an overlay change in progress, innermost first.
// Deliveries nest when a listener changes another overlay.
struct COverlayObject::Delivery
{
    const COverlayObject* object;
    bool destroyed;
    Delivery* outer;
};

COverlayObject::Delivery* COverlayObject::s_deliveries = nullptr;

COverlayObject::COverlayObject(uint32_t kind, uint32_t id) : m_id(id), m_flags((kind & 0xF) << kKindShift) {}

COverlayObject::~COverlayObject()
{
    // Announce only what the owner did not; listeners see just the pointer now.
    if (m_state != kDeleted)
        SetState(kDeleted);
    bool found = false;
    for (Delivery* d = s_deliveries; d; d = d->outer)
        if (d->object == this) {
            d->destroyed = true;
            d->object = nullptr;
            found = true;
        }
    if (found)
        StopDeliveryOfDestroyed();
}

void COverlayObject::StopDeliveryOfDestroyed()
{
    // Only the innermost delivery can be stopped from here; an outer one is
    // stopped when the deliveries inside it have returned (in SetState).
    if (s_deliveries && s_deliveries->destroyed) {
        if (CListenerList* source = Listener<COverlayObject>::Source())
            source->StopDelivery();
    }
}

void COverlayObject::SetState(uint32_t state)
{
    m_state = state;
    // A renamed or edited object's label shows the change at the next draw.
    if (state == kChanged)
        if (COverlayTool* tool = COverlayTool::GetActiveTool();
            tool && (tool->GetMark() == this || tool->GetTrackSection() == this))
            tool->UpdateText();
    if (!HasListeners<COverlayObject>())
        return;
    Delivery delivery{this, false, s_deliveries};
    s_deliveries = &delivery;
    FireEvent<COverlayObject>(*this);
    // `this` may be gone now: only the delivery record is touched.
    s_deliveries = delivery.outer;
    StopDeliveryOfDestroyed();
}

void COverlayObject::AnnounceDeletion()
{
    if (m_state != kDeleted)
        SetState(kDeleted);
}

void COverlayObject::SetKind(uint32_t kind)
{
    m_flags = (m_flags & kSubclassFlagsMask) | ((kind & 0xF) << kKindShift);
}

void COverlayObject::SetSubclassFlags(uint32_t flags)
{
    m_flags = (m_flags & ~kSubclassFlagsMask) | (flags & kSubclassFlagsMask);
}
