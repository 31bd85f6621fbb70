#pragma once
// The groups of the overlay list window (marks, routes, tracks, and AIS
// targets from the layer above) as plain models: which objects are listed, in
// which order, with which texts, and the menus of a group and of a row. The
// window only shows them. Main thread only.
//
// A row holds a key, never an object's address: every use looks the object up
// again, so a row whose object went away between the fill and the click does
// nothing.
#include "foundation/events/Listener.h"
#include "foundation/platform/DialogParent.h"
#include "geodesy/LocalPlane.h"
#include "mapview/overlay/OverlayObject.h"

#include <cstdint>
#include <string>
#include <vector>

class CSyncable;

// What one row shows: a syncable object by its serial number
// (`CSyncable::GetSerial`) or an AIS target by its MMSI.
struct COverlayListRowKey
{
    enum Kind : uint8_t { kSerial = 0, kMMSI = 1 };
    Kind kind = kSerial;
    // Where the object stood in its manager's list at the fill that made the
    // key, plus one (0: not known): checked at each use, so a row's object is
    // found without a search while the list is unchanged.
    uint32_t hint = 0;
    uint64_t value = 0;

    static COverlayListRowKey Serial(uint64_t serial, uint32_t hint = 0) { return {kSerial, hint, serial}; }
    static COverlayListRowKey MMSI(uint32_t mmsi) { return {kMMSI, 0, mmsi}; }
    // The same row, wherever its object stood.
    bool operator==(const COverlayListRowKey& other) const
    {
        return kind == other.kind && value == other.value;
    }
};

// An object of a list being filled, with its place in its manager's list.
struct CListedObject
{
    CSyncable* object = nullptr;
    uint32_t place = 0;
};

// The two texts of one row.
struct COverlayListRow
{
    std::string text;
    std::string detail;
    bool details = false; // the row offers its object's dialog
};

class COverlayListDelegate : public Listener<COverlayObject>
{
public:
    // Sort orders (the mark manager's `sort`).
    enum : uint32_t { kByName = 0, kByDate = 1, kByDistance = 2 };

    // Rebuilt on events of `dirtyState` (and deletions) from objects whose
    // kind has its bit in `kindMask`.
    COverlayListDelegate(uint32_t dirtyState, uint32_t kindMask);
    ~COverlayListDelegate() override;
    COverlayListDelegate(const COverlayListDelegate&) = delete;
    COverlayListDelegate& operator=(const COverlayListDelegate&) = delete;

    virtual std::string Title() const = 0;
    // The rows of the group in display order; clears the dirty flag.
    virtual void FillList(std::vector<COverlayListRowKey>& out) = 0;
    // False, `row` untouched, when the row's object is gone.
    virtual bool RowText(const COverlayListRowKey& key, COverlayListRow& row) const = 0;
    // What a click on a row does; nothing when its object is gone.
    virtual void Select(const COverlayListRowKey& key, QWidget* parent);
    // A double click.
    virtual void Activate(const COverlayListRowKey& key, QWidget* parent) { Select(key, parent); }
    virtual void ShowListMenu(QWidget* parent);
    virtual void ShowRowMenu(QWidget* parent, const COverlayListRowKey& key);
    virtual void OnChange(const COverlayObject& event);

    uint32_t Kind() const { return m_kind; }
    bool IsDirty() const { return m_dirty; }
    void SetDirty() { m_dirty = true; }
    // Fills `out` only when the list is dirty: the window calls it once per
    // tick, so a burst of change events costs one rebuild. True when filled.
    bool RebuildIfDirty(std::vector<COverlayListRowKey>& out);

    // Where distances are measured from (the own ship or the view's point);
    // every list is marked dirty. Positions that are not valid clear it.
    static void SetSortReference(double latitude, double longitude);
    // The reference moved: only lists sorted by distance are marked dirty
    // (the row texts read the reference at each draw). Sets it when unset.
    static void MoveSortReference(double latitude, double longitude);
    static void ClearSortReference();
    static bool HasSortReference();
    static const CLocalPlane& SortReference();
    // Every live list becomes dirty (the sort order changed).
    static void SetAllDirty();

protected:
    void Notify(const COverlayObject& event) override { OnChange(event); }

    uint32_t m_kind = 1;
    bool m_dirty = true;
    uint32_t m_dirtyState;
    uint32_t m_kindMask;
};

// The groups of syncable objects: rows keyed by serial number.
class CSyncableListDelegate : public COverlayListDelegate
{
public:
    using COverlayListDelegate::COverlayListDelegate;
    void FillList(std::vector<COverlayListRowKey>& out) final;
    // A group that waits on another state still takes in an object it does
    // not list yet: a new one (an import) announces itself as changed.
    void OnChange(const COverlayObject& event) override;
    bool RowText(const COverlayListRowKey& key, COverlayListRow& row) const final;
    void Select(const COverlayListRowKey& key, QWidget* parent) final;
    void ShowRowMenu(QWidget* parent, const COverlayListRowKey& key) final;
    // The live object of a row of this group; null when it is gone, deleted
    // or the key is no serial number.
    CSyncable* Find(const COverlayListRowKey& key) const;

protected:
    // The group's live objects in display order, each with its place in its manager's list.
    virtual void Collect(std::vector<CListedObject>& out) = 0;
    // `hint` as in COverlayListRowKey.
    virtual CSyncable* FindBySerial(uint64_t serial, uint32_t hint) const = 0;
    virtual void ObjectText(const CSyncable& object, COverlayListRow& row) const = 0;
    virtual void SelectObject(CSyncable& object, QWidget* parent) = 0;
    virtual void ShowObjectMenu(QWidget* parent, CSyncable& object) = 0;
    // The serial number of the group's object an event is about; 0 when the
    // event is about none.
    virtual uint64_t EventSerial(const COverlayObject& event) const
    {
        (void)event;
        return 0;
    }

private:
    std::vector<CListedObject> m_listed;
    // The serial numbers listed at the last fill, sorted; only kept by a
    // group whose dirty state is not the changed one.
    std::vector<uint64_t> m_listedSerials;
};

class CMarkListDelegate : public CSyncableListDelegate
{
public:
    CMarkListDelegate() : CSyncableListDelegate(COverlayObject::kChanged, 1u << COverlayObject::kKindMark) {}
    std::string Title() const override { return "Marks"; }
    void ShowListMenu(QWidget* parent) override;

protected:
    void Collect(std::vector<CListedObject>& out) override;
    CSyncable* FindBySerial(uint64_t serial, uint32_t hint) const override;
    void ObjectText(const CSyncable& object, COverlayListRow& row) const override;
    void SelectObject(CSyncable& object, QWidget* parent) override;
    void ShowObjectMenu(QWidget* parent, CSyncable& object) override;
};

class CRouteListDelegate : public CSyncableListDelegate
{
public:
    CRouteListDelegate() : CSyncableListDelegate(COverlayObject::kUpdated, 1u << COverlayObject::kKindRoute)
    {
    }
    std::string Title() const override { return "Routes"; }
    void ShowListMenu(QWidget* parent) override;

protected:
    void Collect(std::vector<CListedObject>& out) override;
    CSyncable* FindBySerial(uint64_t serial, uint32_t hint) const override;
    void ObjectText(const CSyncable& object, COverlayListRow& row) const override;
    void SelectObject(CSyncable& object, QWidget* parent) override;
    void ShowObjectMenu(QWidget* parent, CSyncable& object) override;
    uint64_t EventSerial(const COverlayObject& event) const override;
};

class CTrackListDelegate : public CSyncableListDelegate
{
public:
    CTrackListDelegate()
        : CSyncableListDelegate(COverlayObject::kDeleted, 1u << COverlayObject::kKindTrackSection)
    {
    }
    std::string Title() const override { return "Tracks"; }
    void ShowListMenu(QWidget* parent) override;

protected:
    void Collect(std::vector<CListedObject>& out) override;
    CSyncable* FindBySerial(uint64_t serial, uint32_t hint) const override;
    void ObjectText(const CSyncable& object, COverlayListRow& row) const override;
    void SelectObject(CSyncable& object, QWidget* parent) override;
    void ShowObjectMenu(QWidget* parent, CSyncable& object) override;
    uint64_t EventSerial(const COverlayObject& event) const override;
};

// Orders `objects` stably by the sort order: name (byte order), date newest
// first (`date` gives it), or distance of `place` from the sort reference
// (objects without a place after the others, by name). Without a reference
// the distance order is the name order.
void SortOverlayList(std::vector<CListedObject>& objects, uint32_t sort, double (*date)(const CSyncable&),
                     bool (*place)(const CSyncable&, double& latitude, double& longitude));
