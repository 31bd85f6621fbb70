#include "foundation/events/Listener.h"

#include "foundation/events/Clock.h"

#include <cmath>

CListenerList::CListenerList()
{
    m_head.m_next = &m_head;
    m_head.m_prev = &m_head;
    m_head.m_priority = 0x7FFFFFFF;
}

void CListenerNode::Attach(CListenerList* source, Callback callback, void* object, int32_t priority)
{
    Detach();
    m_source = source;
    m_callback = callback;
    m_object = object;
    m_priority = priority;
    // Walk back from the tail while the priority is lower: equal priorities keep attach order.
    CListenerNode* at = source->m_head.m_prev;
    while (at != &source->m_head && at->m_priority < priority)
        at = at->m_prev;
    m_prev = at;
    m_next = at->m_next;
    at->m_next->m_prev = this;
    at->m_next = this;
}

void CListenerNode::Detach()
{
    if (!m_source)
        return;
    // A delivery standing on this node steps back to its predecessor, so it
    // continues with whatever follows once this node is gone.
    for (auto* d = m_source->m_active; d; d = d->outer)
        if (d->cursor == this)
            d->cursor = m_prev;
    m_prev->m_next = m_next;
    m_next->m_prev = m_prev;
    m_next = m_prev = nullptr;
    m_source = nullptr;
    m_callback = nullptr;
}

bool CListenerList::Fire(const void* event, bool honourStop)
{
    Delivery d{&m_head, false, m_active};
    m_active = &d;
    m_stop = false;
    m_eventTime = 0;
    for (;;) {
        CListenerNode* node = d.cursor->m_next;
        if (node == &m_head || node == nullptr)
            break;
        d.cursor = node;
        if (node->m_callback)
            node->m_callback(node->m_object, event);
        if (honourStop && d.stop)
            break;
    }
    m_active = d.outer;
    m_stop = d.stop;
    if (!m_active && m_releasePending)
        delete this;
    return d.stop;
}

void CListenerList::StopDelivery()
{
    if (m_active)
        m_active->stop = true;
    m_stop = true;
}

double CListenerList::GetEventTime()
{
    if (m_eventTime != 0 && !std::isnan(m_eventTime))
        return m_eventTime;
    m_eventTime = GetClockTime();
    return m_eventTime;
}

void CListenerList::Release()
{
    if (m_active)
        m_releasePending = true;
    else
        delete this;
}

double GetEventTimeOf(CListenerList* source)
{
    return source ? source->GetEventTime() : GetClockTime();
}
