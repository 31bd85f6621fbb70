#pragma once
// The "AIS Vessels" group of the overlay list window: the targets that have a
// class text and a position, keyed by MMSI. Selecting a row selects the
// target and shows on the chart the area from it to the end of its vector.
//
// The delegate keeps no target address: each use looks the target up by its
// MMSI in the target manager, and a target that was removed does nothing.
#include "overlays/ui/OverlayLists.h"

class CAISTarget;

class CAISListDelegate : public COverlayListDelegate
{
public:
    // Lists the targets of the application's target manager.
    CAISListDelegate();

    std::string Title() const override { return "AIS Vessels"; }
    void FillList(std::vector<COverlayListRowKey>& out) override;
    bool RowText(const COverlayListRowKey& key, COverlayListRow& row) const override;
    void Select(const COverlayListRowKey& key, QWidget* parent) override;
    void OnChange(const COverlayObject& event) override;

    // The listed target of a row; null when it is gone or has no position.
    CAISTarget* Find(const COverlayListRowKey& key) const;
    // The title (name, else MMSI, and the CPA in the warning zone) and the
    // detail (class, speed, status and the tooltip's description) of a target.
    static void TargetRowText(const CAISTarget& target, COverlayListRow& row);
    // Whether a target is a row of the list.
    static bool IsListed(const CAISTarget& target);
};
