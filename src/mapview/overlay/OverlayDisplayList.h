#pragma once
// The overlays the map view displays, each with its screen record, in drawing
// order: kind by kind in ascending kind order, and within a kind in the order
// the objects were added. Objects are keyed by (kind, insertion sequence),
// never by their address, and an index from object to key makes removal exact
// whatever the object's flags hold by then.
#include "mapview/overlay/OverlayObject.h"
#include "mapview/overlay/ScreenPoints.h"

#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

class COverlayDisplayList
{
public:
    struct Key
    {
        uint32_t kind;
        uint64_t sequence;
        bool operator<(const Key& other) const
        {
            return kind != other.kind ? kind < other.kind : sequence < other.sequence;
        }
    };
    struct Entry
    {
        COverlayObject* object;
        ScreenPoints record;
    };
    using Map = std::map<Key, Entry>;

    // The entry of the object, made (with an empty record) when absent.
    Entry& FindOrAdd(COverlayObject& object);
    // The entry of the object, or null.
    Entry* Find(const COverlayObject* object);
    // Forgets the object; false when it was not displayed.
    bool Remove(const COverlayObject* object);
    void Clear();

    size_t Size() const { return m_entries.size(); }
    bool Contains(const COverlayObject* object) const { return m_index.count(object) != 0; }
    // In drawing order. Changing the list while walking it is the caller's
    // care: collect first (CollectHits) where a call may delete overlays.
    const Map& Entries() const { return m_entries; }
    Map& Entries() { return m_entries; }
    // The entries in drawing order as a flat list, kept until an entry comes
    // or goes: walking it is much cheaper than walking the map when there are
    // many thousands of overlays.
    const std::vector<Entry*>& InDrawingOrder();

    // Empties every record's screen points (the view moved or zoomed).
    void ClearScreenPoints();
    // The displayed objects hit at view point (x, y), in drawing order.
    std::vector<COverlayObject*> CollectHits(double x, double y, double displayScale) const;

private:
    Map m_entries;
    std::unordered_map<const COverlayObject*, Key> m_index;
    uint64_t m_nextSequence = 0;
    std::vector<Entry*> m_order;
    bool m_orderValid = false;
};
