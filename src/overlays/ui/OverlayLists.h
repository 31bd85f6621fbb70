#pragma once
// The groups of the overlay list window (marks, routes, tracks) as plain
// models: which objects are listed, in which order, with which texts, and the
// menus of a group and of a row. The window only shows them. Main thread only.
#include "foundation/events/Listener.h"
#include "foundation/platform/DialogParent.h"
#include "geodesy/LocalPlane.h"
#include "mapview/overlay/OverlayObject.h"

#include <cstdint>
#include <string>
#include <vector>

class CSyncable;

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
    // The objects of the group in display order; clears the dirty flag.
    virtual void FillList(std::vector<CSyncable*>& out) = 0;
    virtual void RowText(CSyncable& object, COverlayListRow& row) const = 0;
    // Opens the object's dialog (nothing until the dialogs are installed).
    virtual void Select(CSyncable* object, QWidget* parent);
    // A double click.
    virtual void Activate(CSyncable* object, QWidget* parent) { Select(object, parent); }
    virtual void ShowListMenu(QWidget* parent);
    virtual void ShowRowMenu(QWidget* parent, CSyncable* object);
    virtual void OnChange(const COverlayObject& event);

    uint32_t Kind() const { return m_kind; }
    bool IsDirty() const { return m_dirty; }
    void SetDirty() { m_dirty = true; }
    // Fills `out` only when the list is dirty: the window calls it once per
    // tick, so a burst of change events costs one rebuild. True when filled.
    bool RebuildIfDirty(std::vector<CSyncable*>& out);

    // Where distances are measured from (the own ship or the view's point);
    // every list is marked dirty. Positions that are not valid clear it.
    static void SetSortReference(double latitude, double longitude);
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

class CMarkListDelegate : public COverlayListDelegate
{
public:
    CMarkListDelegate() : COverlayListDelegate(COverlayObject::kChanged, 1u << COverlayObject::kKindMark) {}
    std::string Title() const override { return "Marks"; }
    void FillList(std::vector<CSyncable*>& out) override;
    void RowText(CSyncable& object, COverlayListRow& row) const override;
    void Select(CSyncable* object, QWidget* parent) override;
    void ShowListMenu(QWidget* parent) override;
    void ShowRowMenu(QWidget* parent, CSyncable* object) override;
};

class CRouteListDelegate : public COverlayListDelegate
{
public:
    CRouteListDelegate() : COverlayListDelegate(COverlayObject::kUpdated, 1u << COverlayObject::kKindRoute) {}
    std::string Title() const override { return "Routes"; }
    void FillList(std::vector<CSyncable*>& out) override;
    void RowText(CSyncable& object, COverlayListRow& row) const override;
    void Select(CSyncable* object, QWidget* parent) override;
    void ShowListMenu(QWidget* parent) override;
    void ShowRowMenu(QWidget* parent, CSyncable* object) override;
};

class CTrackListDelegate : public COverlayListDelegate
{
public:
    CTrackListDelegate()
        : COverlayListDelegate(COverlayObject::kDeleted, 1u << COverlayObject::kKindTrackSection)
    {
    }
    std::string Title() const override { return "Tracks"; }
    void FillList(std::vector<CSyncable*>& out) override;
    void RowText(CSyncable& object, COverlayListRow& row) const override;
    void Select(CSyncable* object, QWidget* parent) override;
    void ShowListMenu(QWidget* parent) override;
    void ShowRowMenu(QWidget* parent, CSyncable* object) override;
};

// Orders `objects` stably by the sort order: name (byte order), date newest
// first (`date` gives it), or distance of `place` from the sort reference
// (objects without a place after the others, by name). Without a reference
// the distance order is the name order.
void SortOverlayList(std::vector<CSyncable*>& objects, uint32_t sort, double (*date)(const CSyncable&),
                     bool (*place)(const CSyncable&, double& latitude, double& longitude));
