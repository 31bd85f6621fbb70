#include "mapview/overlay/OverlayDisplayList.h"

COverlayDisplayList::Entry& COverlayDisplayList::FindOrAdd(COverlayObject& object)
{
    auto found = m_index.find(&object);
    if (found != m_index.end())
        return m_entries.at(found->second);
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
    return true;
}

void COverlayDisplayList::Clear()
{
    m_entries.clear();
    m_index.clear();
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
