#include "ais/AISListDelegate.h"

#include "ais/AISTargetManager.h"
#include "foundation/NumberText.h"
#include "mapview/view/RasterleafView.h"
#include "overlays/model/MarkManager.h"

#include <algorithm>
#include <cmath>

namespace {

const std::string& DisplayName(const CAISTarget& t)
{
    return t.m_name.empty() ? t.m_mmsiText : t.m_name;
}

// Orders the targets by the lists' sort order: name, last heard (newest
// first) or distance from the sort reference (name without one).
void SortTargets(std::vector<const CAISTarget*>& targets, uint32_t sort)
{
    if (sort == COverlayListDelegate::kByDate) {
        std::stable_sort(targets.begin(), targets.end(), [](const CAISTarget* a, const CAISTarget* b) {
            return a->m_lastHeard > b->m_lastHeard;
        });
        return;
    }
    if (sort != COverlayListDelegate::kByDistance || !COverlayListDelegate::HasSortReference()) {
        std::stable_sort(targets.begin(), targets.end(), [](const CAISTarget* a, const CAISTarget* b) {
            return DisplayName(*a) < DisplayName(*b);
        });
        return;
    }
    const CLocalPlane& plane = COverlayListDelegate::SortReference();
    std::vector<std::pair<double, const CAISTarget*>> keyed;
    keyed.reserve(targets.size());
    for (const CAISTarget* t : targets)
        keyed.emplace_back(plane.DistanceSquaredTo(t->m_latitude, t->m_longitude), t);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 0; i < keyed.size(); ++i)
        targets[i] = keyed[i].second;
}

} // namespace

CAISListDelegate::CAISListDelegate()
    : COverlayListDelegate(COverlayObject::kChanged, 1u << COverlayObject::kKindMovingTarget)
{
}

bool CAISListDelegate::IsListed(const CAISTarget& target)
{
    return !target.m_classText.empty() && target.m_hasPosition && target.HasPosition() &&
           target.m_aisState != CAISTarget::kExpired;
}

CAISTarget* CAISListDelegate::Find(const COverlayListRowKey& key) const
{
    if (key.kind != COverlayListRowKey::kMMSI || key.value > CAISTargetManager::kMaxMMSI)
        return nullptr;
    CAISTarget* target = CAISTargetManager::Global().Find(uint32_t(key.value));
    return target && IsListed(*target) ? target : nullptr;
}

void CAISListDelegate::FillList(std::vector<COverlayListRowKey>& out)
{
    std::vector<const CAISTarget*> targets;
    for (const auto& [mmsi, target] : CAISTargetManager::Global().Targets())
        if (IsListed(*target))
            targets.push_back(target.get());
    SortTargets(targets, CMarkManager::Settings().sort);
    out.clear();
    out.reserve(targets.size());
    for (const CAISTarget* t : targets)
        out.push_back(COverlayListRowKey::MMSI(t->m_mmsi));
    m_dirty = false;
}

void CAISListDelegate::TargetRowText(const CAISTarget& t, COverlayListRow& row)
{
    row.text = DisplayName(t);
    if (CAISTargetManager::InWarningZone(t))
        row.text += " CPA " + std::to_string(int64_t(t.m_cpa)) + " m, " +
                    std::to_string(int64_t(t.m_tcpa / 60)) + " min";
    row.detail = "  " + t.m_classText + " Speed:" + FormatDouble(t.m_sog, "%.1f") + " kts, " + t.m_statusText;
    if (!t.m_tooltip.empty()) {
        // The tooltip's description follows the quoted name.
        const size_t quote = t.m_tooltip.find('"', 1);
        const size_t from = quote == std::string::npos ? 0 : quote + 1;
        // A tooltip without a quoted name would run into the status.
        if (from < t.m_tooltip.size() && t.m_tooltip[from] != ' ' && t.m_tooltip[from] != '\n')
            row.detail += ' ';
        row.detail.append(t.m_tooltip, from);
    }
    std::replace(row.detail.begin(), row.detail.end(), '\n', ' ');
    row.details = false;
}

bool CAISListDelegate::RowText(const COverlayListRowKey& key, COverlayListRow& row) const
{
    const CAISTarget* target = Find(key);
    if (!target)
        return false;
    TargetRowText(*target, row);
    return true;
}

void CAISListDelegate::Select(const COverlayListRowKey& key, QWidget* parent)
{
    (void)parent;
    CAISTarget* target = Find(key);
    if (!target)
        return;
    CAISTargetManager& manager = CAISTargetManager::Global();
    const uint32_t before = manager.SelectedMMSI();
    manager.SetSelectedMMSI(target->m_mmsi);
    if (CAISTarget* old = manager.Find(before); old && old != target)
        old->SetState(COverlayObject::kUpdated); // drawn thin again
    // Listeners of the redraw may have changed the table: look again.
    target = Find(key);
    if (!target)
        return;
    target->SetState(COverlayObject::kUpdated);
    target = Find(key);
    if (!target)
        return;

    // The area from the target to the end of its speed vector.
    double endLatitude = target->m_latitude, endLongitude = target->m_longitude;
    const float speed = target->m_sog;
    if (speed > 0.2f && std::isfinite(speed) && target->m_plane.IsUsable()) {
        const double length = COverlayMovingTarget::VectorLengthMetres(speed);
        double lat = 0, lon = 0;
        target->m_plane.FromXY(target->m_currentEast * length, target->m_currentNorth * length, lat, lon);
        if (IsValidPosition(lat, lon)) {
            endLatitude = lat;
            endLongitude = lon;
        }
    }
    CRasterleafView::ShowArea(
        std::min(target->m_longitude, endLongitude), std::max(target->m_longitude, endLongitude),
        std::min(target->m_latitude, endLatitude), std::max(target->m_latitude, endLatitude));
}

void CAISListDelegate::OnChange(const COverlayObject& event)
{
    // Only targets: the own ship is a moving target too, and never listed.
    if (event.GetKind() != COverlayObject::kKindMovingTarget)
        return;
    const auto* target = dynamic_cast<const CAISTarget*>(&event);
    if (!target)
        return;
    // A removed target (state 255, then its deletion) leaves the list; rows
    // hold only its MMSI, which now finds nothing.
    if (target->m_aisState == CAISTarget::kExpired || event.GetState() == COverlayObject::kDeleted ||
        event.GetState() == m_dirtyState)
        m_dirty = true;
}
