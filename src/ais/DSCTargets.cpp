#include "ais/DSCTargets.h"

#include "foundation/notify/StatusLine.h"
#include "geodesy/LocalPlane.h"
#include "geodesy/Units.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"

#include <cmath>

void CreateDSCTargetManagers()
{
    CDSCTargetManager::Global();
    CDSC_to_Mark::Global();
}

CDSCTargetManager::CDSCTargetManager() : CHeartbeat::Counter(kTickPeriod) {}

CDSCTargetManager::~CDSCTargetManager() = default;

CDSCTargetManager& CDSCTargetManager::Global()
{
    static CDSCTargetManager manager;
    return manager;
}

void CDSCTargetManager::Notify(const CNMEA_DSC::DSC& s)
{
    HandleDSC(s, GetEventTime<CNMEA_DSC::DSC>(), CHeartbeat::GetTime());
}

void CDSCTargetManager::Notify(const CNMEA_DSC::DSE& s)
{
    HandleDSE(s);
}

void CDSCTargetManager::OnTick()
{
    PublishOverdue(CHeartbeat::GetTime());
}

void CDSCTargetManager::Publish(std::map<uint32_t, Pending>::iterator it)
{
    // Out of the map first: a listener may bring the next call of the station.
    const CDSCTarget target = it->second.target;
    m_pending.erase(it);
    FireEvent<CDSCTarget>(target);
}

void CDSCTargetManager::HandleDSC(const CNMEA_DSC::DSC& s, double time, double now)
{
    if (s.m_latitude == CNMEA_DSC::kNoDSCPosition || !IsValidPosition(s.m_latitude, s.m_longitude) ||
        s.m_mmsi == 0)
        return;
    auto it = m_pending.find(s.m_mmsi);
    if (it == m_pending.end()) {
        if (m_pending.size() >= kMaxPending) {
            auto oldest = m_pending.begin();
            for (auto i = m_pending.begin(); i != m_pending.end(); ++i)
                if (i->second.since < oldest->second.since)
                    oldest = i;
            Publish(oldest);
        }
        it = m_pending.emplace(s.m_mmsi, Pending{}).first;
    }
    CDSCTarget& t = it->second.target;
    t.m_mmsi = s.m_mmsi;
    t.m_latitude = s.m_latitude;
    t.m_longitude = s.m_longitude;
    t.m_course = 0;
    t.m_speed = 0;
    t.m_time = time;
    t.m_quadrant = s.m_quadrant;
    t.m_nature = s.m_format == 12 ? int32_t(s.m_nature) : -1;
    it->second.since = std::isfinite(now) ? now : 0;
    if (!s.m_expansion)
        Publish(it);
}

void CDSCTargetManager::HandleDSE(const CNMEA_DSC::DSE& s)
{
    auto it = m_pending.find(s.m_mmsi);
    if (it == m_pending.end())
        return;
    CDSCTarget& t = it->second.target;
    if (s.m_mask & CNMEA_DSC::DSE::kHasPosition) {
        // Ten-thousandths of a minute beyond the call's whole minutes.
        double dLat = s.m_latitudeExtra / 600000.0, dLon = s.m_longitudeExtra / 600000.0;
        if (t.m_quadrant & 2)
            dLat = -dLat;
        if (t.m_quadrant & 1)
            dLon = -dLon;
        // An extra of a whole minute or more is no refinement of the call.
        if (std::fabs(dLat) < 1.0 / 60 && std::fabs(dLon) < 1.0 / 60 &&
            IsValidPosition(t.m_latitude + dLat, t.m_longitude + dLon)) {
            t.m_latitude += dLat;
            t.m_longitude += dLon;
        }
    }
    if ((s.m_mask & CNMEA_DSC::DSE::kHasCourse) && std::isfinite(s.m_course))
        t.m_course = s.m_course;
    if ((s.m_mask & CNMEA_DSC::DSE::kHasSpeed) && std::isfinite(s.m_speed))
        t.m_speed = s.m_speed;
    if (s.m_number == s.m_total)
        Publish(it);
}

void CDSCTargetManager::PublishOverdue(double now)
{
    if (!std::isfinite(now))
        return;
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        auto next = std::next(it);
        // A clock set back would hold the call until it caught up again:
        // the wait starts over from the clock's new time instead.
        if (now < it->second.since)
            it->second.since = now;
        if (now - it->second.since >= kExpansionWait) {
            const uint32_t after = it->first;
            Publish(it);
            // Listeners may have changed the map: go on after the key.
            next = m_pending.upper_bound(after);
        }
        it = next;
    }
}

CDSC_to_Mark& CDSC_to_Mark::Global()
{
    static CDSC_to_Mark marks;
    return marks;
}

std::string CDSC_to_Mark::NatureText(int32_t nature)
{
    static const char* const kNames[] = {
        "Fire",     "Flooding", "Collision",       "Grounding", "Listing",      "Sinking",
        "Disabled", "Distress", "Abandoning ship", "Piracy",    "Man overboard"};
    if (nature >= 0 && nature <= 10)
        return kNames[nature];
    return "Distress code " + std::to_string(nature);
}

void CDSC_to_Mark::Notify(const CDSCTarget& target)
{
    if (!IsValidPosition(target.m_latitude, target.m_longitude))
        return;
    CMarkManager& marks = CMarkManager::Get();
    const std::string name = MarkName(target.m_mmsi);
    COverlayMark* mark = marks.FindOrAddMark(name);
    if (!mark)
        return;
    mark->SetPosition(target.m_latitude, target.m_longitude);
    mark->Touch();
    mark->SetLocked(true);
    if (target.m_nature < 0) {
        mark->SetIconAndColour("X", GraphicsColor(0, 1, 0, 1));
        mark->SetState(COverlayObject::kChanged);
        return;
    }
    mark->SetIconAndColour("X", GraphicsColor(1, 0, 0, 1));
    const std::string nature = NatureText(target.m_nature);
    mark->SetDescription(nature);
    std::string text = nature;
    double distance = kUnknownDistance;
    const COverlayGPSPosition& own = COverlayGPSPosition::Global();
    if (own.m_fixStatus != CDataGPSPosition::kNoFix && own.HasPosition()) {
        distance =
            CLocalPlane(own.m_latitude, own.m_longitude).DistanceTo(target.m_latitude, target.m_longitude);
        std::string formatted;
        CDefaultUnits::Get().FormatDistance(float(distance), formatted);
        text += "\n" + formatted + " away";
    }
    const uint32_t mmsi = target.m_mmsi;
    PostUserNotification(NotificationId(mmsi), "DSC Distress Call", text);
    // The notification's listeners may have changed the marks: find it again.
    mark = marks.FindMarkByName(name);
    if (!mark)
        return;
    if (distance < kGotoRange)
        marks.GotoMark(mark);
    mark->SetState(COverlayObject::kChanged);
}
