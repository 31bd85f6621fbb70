#pragma once
// One row of the overlay list window: a category row (its delegate's group)
// or an object row. An object row holds its delegate's row key, never the
// object: each draw and click looks the object up again, so a row whose
// object went away (deleted, purged, an AIS target aged out) shows nothing
// and does nothing.
#include "overlays/ui/OverlayLists.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QWidget;

class OverlayNode
{
public:
    // A category row with no children yet.
    static std::unique_ptr<OverlayNode> initWithCategory(const std::string& title);
    // An object row of `delegate`'s group.
    static std::unique_ptr<OverlayNode> initWithOverlay(COverlayListDelegate* delegate,
                                                        const COverlayListRowKey& key);

    // Keeps the delegate and rebuilds the child rows from its list, in its order.
    void setupChildrenWithDelegate(COverlayListDelegate* delegate);
    void releaseChildren() { m_children.clear(); }

    // Null outside 0..numberOfChildren-1.
    OverlayNode* childAtIndex(int index) const;
    // -1 for an object row (no children).
    int numberOfChildren() const;
    OverlayNode* parentNode() const { return m_parent; }
    // This row's index among its parent's children (0 for a top row).
    int indexInParent() const { return m_index; }

    // The name column: the category title, or the object's name as first
    // seen (cached until the next rebuild); "" once the object is gone.
    std::string stringValue();
    // The detail column: asked anew each time; "" for a category row or a
    // gone object.
    std::string detailStringValue() const;

    // An object row's double click (its delegate's Activate); nothing for a
    // category row or a gone object.
    void onDoubleClick(QWidget* parent) const;
    // The object's row menu, or the category's group menu.
    void onRightClick(QWidget* parent) const;

    bool isCategory() const { return !m_key.has_value(); }
    COverlayListDelegate* delegate() const { return m_delegate; }
    const std::optional<COverlayListRowKey>& key() const { return m_key; }

private:
    std::string m_title;
    bool m_titleCached = false;
    std::vector<std::unique_ptr<OverlayNode>> m_children;
    COverlayListDelegate* m_delegate = nullptr;
    std::optional<COverlayListRowKey> m_key;
    OverlayNode* m_parent = nullptr;
    int m_index = 0;
};
