#include "mapview/overlay/OverlayDisplayList.h"

COverlayDisplayList::Entry& COverlayDisplayList::FindOrAdd(COverlayObject& object)
{
    auto found = m_index.find(&object);
    if (found != m_index.end())
        return m_entries.at(found->second);
    m_orderValid = false;
    const Key key{object.GetKind(), m_nextSequence++};
    m_index.emplace(&object, key);
    return m_entries.emplace(key, Entry{&object, ScreenPoints{}}).first->second;
}

COverlayDisplayList::Entry* COverlayDisplayList::Find(const COverlayObject* object)
{
    auto found = m_index.find(object);
    if (found == m_index.end())
        return nullptr;
    auto entry = m_entries.find(found->second);
    return entry == m_entries.end() ? nullptr : &entry->second;
}

bool COverlayDisplayList::Remove(const COverlayObject* object)
{
    auto found = m_index.find(object);
    if (found == m_index.end())
        return false;
    m_entries.erase(found->second);
    m_index.erase(found);
    m_orderValid = false;
    return true;
}

void COverlayDisplayList::Clear()
{
    m_entries.clear();
    m_index.clear();
    m_orderValid = false;
}

const std::vector<COverlayDisplayList::Entry*>& COverlayDisplayList::InDrawingOrder()
{
    if (!m_orderValid) {
        m_order.clear();
        m_order.reserve(m_entries.size());
        for (auto& [key, entry] : m_entries)
            m_order.push_back(&entry);
        m_orderValid = true;
    }
    return m_order;
}

void COverlayDisplayList::ClearScreenPoints()
{
    for (auto& [key, entry] : m_entries)
        entry.record.screenPoints.clear();
}

std::vector<COverlayObject*> COverlayDisplayList::CollectHits(double x, double y, double displayScale) const
{
    std::vector<COverlayObject*> hits;
    for (const auto& [key, entry] : m_entries)
        if (HitTest(entry.record, x, y, displayScale))
            hits.push_back(entry.object);
    return hits;
}
