#include "ais/AISTargetManager.h"

#include "ais/AISPorts.h"
#include "foundation/NumberText.h"
#include "foundation/notify/StatusLine.h"
#include "foundation/util/FormatString.h"
#include "foundation/util/PortSlot.h"
#include "foundation/util/StringUtil.h"
#include "foundation/util/Xml.h"
#include "geodesy/Units.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

std::string_view TrimBlanks(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// A plain decimal MMSI from 1 to 999,999,999; 0 for anything else (signs,
// "0x..." and trailing text included).
uint32_t ListMMSI(std::string_view text)
{
    text = TrimBlanks(text);
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    int64_t value = 0;
    if (!ParseInt64(text, value) || value < 1 || value > CAISTargetManager::kMaxMMSI)
        return 0;
    return uint32_t(value);
}

// A child's text as the device sent it, entities decoded, cut at a character
// boundary.
std::string ListText(const CXmlNode& element, std::string_view name)
{
    std::string text;
    if (!CXmlNode::GetChildText(&element, name, text))
        return text;
    text = XmlDecodeEntities(TrimBlanks(text));
    text.resize(Utf8SafeCut(text, CAISTargetManager::kMaxListText));
    return text;
}

} // namespace

bool CAISSettingsCategory::CanOpen() const
{
    return IsPortInstalled<IAISSettingsUi>();
}

void CAISSettingsCategory::Open()
{
    Port<IAISSettingsUi>().OpenAISSettings();
}

void CreateAISTargetManager()
{
    CAISTargetManager::Global();
}

CAISTargetManager::Settings& CAISTargetManager::GetSettings()
{
    static Settings settings;
    return settings;
}

CAISTargetManager::Persistant& CAISTargetManager::GetPersistant()
{
    static Persistant persistant;
    return persistant;
}

void CAISTargetManager::Persistant::Exchange()
{
    Settings& s = GetSettings();
    const Settings before = s;
    ExchangeFloat("alarm_distance", s.alarmDistance);
    ExchangeFloat("cpa_classB_distance", s.cpaClassBDistance);
    ExchangeFloat("alarm_time", s.alarmTime);
    ExchangeFloat("min_closing_velocity_knots", s.minClosingVelocityKnots);
    ExchangeBool("alarm_beep", s.alarmBeep);
    ExchangeBool("record_tracks", s.recordTracks);
    ExchangeBool("enable_settings", s.enableSettings);
    // Limits that are no numbers would silence every alarm.
    auto keep = [](float& v, float old) {
        if (!std::isfinite(v) || v < 0)
            v = old;
    };
    keep(s.alarmDistance, before.alarmDistance);
    keep(s.cpaClassBDistance, before.cpaClassBDistance);
    keep(s.alarmTime, before.alarmTime);
    keep(s.minClosingVelocityKnots, before.minClosingVelocityKnots);
}

CAISTargetManager::CAISTargetManager(COverlayGPSPosition& ownShip)
    : CHeartbeat::Counter(kTickPeriod), m_ownShip(ownShip)
{
    GetPersistant();
}

CAISTargetManager::~CAISTargetManager()
{
    // At exit nothing is told any more: the status line and the lists may be
    // gone already. Each target still announces its own deletion.
    m_selected = 0;
    m_targets.clear();
}

CAISTargetManager& CAISTargetManager::Global()
{
    static CAISTargetManager manager(COverlayGPSPosition::Global());
    return manager;
}

CAISTarget* CAISTargetManager::Find(uint32_t mmsi) const
{
    auto it = m_targets.find(mmsi);
    return it == m_targets.end() ? nullptr : it->second.get();
}

void CAISTargetManager::Remove(std::map<uint32_t, std::unique_ptr<CAISTarget>>::iterator it)
{
    CAISTarget& t = *it->second;
    ClearAlarm(t);
    t.m_aisState = CAISTarget::kExpired;
    t.m_hasPosition = false;
    FireEvent<CAISTarget>(t);
    if (m_selected == t.m_mmsi)
        m_selected = 0;
    // Take it out of the table before it goes, so that listeners of the
    // deletion find the table without it.
    std::unique_ptr<CAISTarget> gone = std::move(it->second);
    m_targets.erase(it);
    gone->AnnounceDeletion();
}

void CAISTargetManager::Clear()
{
    while (!m_targets.empty())
        Remove(m_targets.begin());
}

CAISTarget* CAISTargetManager::FindOrMake(uint32_t mmsi)
{
    auto it = m_targets.find(mmsi);
    if (it != m_targets.end())
        return it->second.get();
    if (m_targets.size() >= kMaxTargets) {
        // The target heard longest ago that is not alarmed gives way.
        auto oldest = m_targets.end();
        for (auto i = m_targets.begin(); i != m_targets.end(); ++i)
            if (!i->second->m_alarm &&
                (oldest == m_targets.end() || i->second->m_lastHeard < oldest->second->m_lastHeard))
                oldest = i;
        if (oldest == m_targets.end())
            return nullptr;
        Remove(oldest);
    }
    auto made = m_targets.emplace(mmsi, std::make_unique<CAISTarget>(mmsi));
    return made.first->second.get();
}

void CAISTargetManager::Notify(const CNEMA_AIS::VDM& s)
{
    HandleVDM(s, GetEventTime<CNEMA_AIS::VDM>());
}

void CAISTargetManager::Notify(const CNEMA_AIS::VDO& s)
{
    HandleVDO(s, GetEventTime<CNEMA_AIS::VDO>());
}

void CAISTargetManager::Notify(const CDataGPSPosition& fix)
{
    HandleOwnFix(fix);
}

void CAISTargetManager::OnTick()
{
    Age(CHeartbeat::GetTime());
}

void CAISTargetManager::HandleVDM(const CNEMA_AIS::CAIS_Sentence& s, double time)
{
    // A reserved type 24 part is no report of the station: it neither makes
    // nor refreshes a target.
    if (s.m_messageType == 0 || s.m_mmsi == 0 || s.m_mmsi > kMaxMMSI || !std::isfinite(time) ||
        s.IsReservedStaticPart())
        return;
    CAISTarget* t = FindOrMake(s.m_mmsi);
    if (!t)
        return;
    t->Update(s, time);
    if (t->m_classText.empty() || !t->m_hasPosition)
        return;
    if (m_ownPlaneSet)
        CheckCPA(*t);
    FireEvent<CAISTarget>(*t);
    t->SetState(COverlayObject::kChanged);
    Settings& settings = GetSettings();
    if (!settings.enableSettings) {
        settings.enableSettings = true;
        GetPersistant().SetModified();
        PersistantData::SaveAll();
        Port<IAISSettingsUi>().SettingsEnabled();
    }
}

void CAISTargetManager::HandleVDO(const CNEMA_AIS::CAIS_Sentence& s, double time)
{
    if (m_ownShip.m_fixStatus != CDataGPSPosition::kNoFix && m_ownShip.m_fixSource != this)
        return;
    const uint32_t type = s.m_messageType;
    if (!((type >= 1 && type <= 3) || type == 18))
        return;
    // A report without a position would put a fix where there is none.
    if (!std::isfinite(s.m_latitude) || !std::isfinite(s.m_longitude) || std::fabs(s.m_latitude) > 90 ||
        std::fabs(s.m_longitude) > 180 || !std::isfinite(time))
        return;
    m_ownShip.m_fixSource = this;
    m_ownShip.m_fixStatus = CDataGPSPosition::kGPSFix;
    m_ownShip.SetPosition(s.m_latitude, s.m_longitude);
    const float course = (s.m_cog >= 0 && s.m_cog < 360) ? s.m_cog : kUnknownAngle;
    m_ownShip.SetCourseSpeed(course, s.m_sog);
    m_ownShip.SetHeading(s.m_heading < 360 ? float(s.m_heading) : kUnknownAngle, time);
    m_ownShip.m_fixTime = time;
    m_ownShip.ProcessFix();
}

void CAISTargetManager::HandleOwnFix(const CDataGPSPosition& fix)
{
    if (fix.m_fixStatus == CDataGPSPosition::kNoFix || !fix.HasPosition())
        return;
    m_ownPlane.SetOrigin(fix.m_latitude, fix.m_longitude);
    m_ownPlaneSet = m_ownPlane.IsUsable();
    const float cog = fix.m_cog;
    const double speed = double(fix.GetSpeed()) * kKnot;
    if (IsUnknownAngle(cog) || !std::isfinite(speed)) {
        m_ownEast = m_ownNorth = 0;
        return;
    }
    const double c = cog * M_PI / 180.0;
    m_ownEast = std::sin(c) * speed;
    m_ownNorth = std::cos(c) * speed;
}

void CAISTargetManager::ClearAlarm(CAISTarget& target)
{
    if (target.m_alarm && GetSettings().alarmBeep)
        RemoveUserNotification(target.m_mmsi);
    target.m_alarm = false;
}

void CAISTargetManager::CheckCPA(CAISTarget& t)
{
    const Settings& settings = GetSettings();
    m_ownPlane.RangeBearingTo(t.m_latitude, t.m_longitude, t.m_range, t.m_bearing);
    if (t.IsManOverboard() && t.m_range < kManOverboardRange) {
        ManOverboard(t);
        return;
    }
    if (t.m_sog < 0.1f || IsUnknownAngle(t.m_cog)) {
        t.m_tcpa = 0;
        t.m_cpa = 1e10;
        ClearAlarm(t);
        return;
    }
    double px = 0, py = 0;
    m_ownPlane.ToXY(t.m_latitude, t.m_longitude, px, py);
    const double c = t.m_cog * M_PI / 180.0;
    const double speed = t.m_sog * kKnot;
    const double vx = std::sin(c) * speed - m_ownEast;
    const double vy = std::cos(c) * speed - m_ownNorth;
    const double v2 = vx * vx + vy * vy;
    bool closing = false;
    t.m_tcpa = 0;
    t.m_cpa = 1e10;
    if (v2 > 1e-6) {
        t.m_tcpa = -(px * vx + py * vy) / v2;
        if (t.m_tcpa > 0) {
            t.m_cpa = std::hypot(px + vx * t.m_tcpa, py + vy * t.m_tcpa);
            closing = true;
        }
    }
    t.m_cpa = std::max(t.m_cpa - (double(t.m_toBow) + double(t.m_toStern)), 0.0001);
    if (!closing) {
        ClearAlarm(t);
        return;
    }
    const double limit = t.IsClassB() ? settings.cpaClassBDistance : settings.alarmDistance;
    if (t.m_tcpa < settings.alarmTime && t.m_cpa < limit &&
        std::sqrt(v2) > settings.minClosingVelocityKnots * kKnot) {
        t.m_colour = GraphicsColor(1, 0, 0, 1);
        t.m_alarm = true;
        if (settings.alarmBeep) {
            char title[96], text[160];
            std::snprintf(title, sizeof title, "AIS collision alert, %s", t.m_classText.c_str());
            std::snprintf(text, sizeof text, "%s, CPA %d m, %d min",
                          t.m_name.empty() ? "Unknown name" : t.m_name.c_str(), int(t.m_cpa),
                          int(t.m_tcpa / 60));
            PostUserNotification(t.m_mmsi, title, text);
        }
        return;
    }
    // An alarm that no longer holds is withdrawn.
    ClearAlarm(t);
    if (InWarningZone(t))
        t.m_colour = GraphicsColor(220 / 255.0, 220 / 255.0, 0, 1);
}

bool CAISTargetManager::InWarningZone(const CAISTarget& t)
{
    const Settings& settings = GetSettings();
    const double limit = t.IsClassB() ? settings.cpaClassBDistance : settings.alarmDistance;
    // A target that is not closing has no TCPA ahead.
    return t.m_tcpa > 0 && t.m_cpa < 2 * limit && t.m_tcpa < 2 * settings.alarmTime;
}

bool CAISTargetManager::ImportWatchmateTargets(const std::string& path)
{
    const std::unique_ptr<CXmlNode> root = CXmlNode::LoadFile(path);
    return ImportWatchmateTargets(root.get());
}

bool CAISTargetManager::ImportWatchmateTargets(const CXmlNode* root)
{
    // Names compare without letter case, as every lookup of the reader does.
    if (!root || !root->element || CompareNoCase(root->name, "Watchmate") != 0)
        return false;
    const double now = CHeartbeat::GetTime();
    size_t cursor = 0;
    while (const CXmlNode* element = CXmlNode::FindNextChild(root, "Target", cursor))
        ImportTarget(*element, now);
    return true;
}

void CAISTargetManager::ImportTarget(const CXmlNode& element, double now)
{
    std::string mmsiText;
    CXmlNode::GetChildText(&element, "MMSI", mmsiText);
    const uint32_t mmsi = ListMMSI(mmsiText);
    if (mmsi == 0)
        return;
    CAISTarget* t = FindOrMake(mmsi);
    if (!t)
        return;
    t->m_lastHeard = now;
    if (t->m_name.empty())
        t->m_name = ListText(element, "Name");
    if (t->m_shipTypeText.empty())
        t->m_shipTypeText = ListText(element, "VesselTypeString");
    if (t->m_classText.empty())
        t->m_classText = "Instant";
    if (!t->m_tooltip.empty())
        return;
    if (t->IsEmergencyDevice())
        t->m_colour = GraphicsColor(1, 0, 0, 1);
    // Device texts go into the tooltip as text, never as a format.
    if (const char* device = CAISTarget::EmergencyDeviceName(t->m_mmsiText))
        t->m_tooltip = device;
    else
        t->m_tooltip = "\"" + t->m_name + "\" Type:" + t->m_shipTypeText +
                       " Callsign:" + ListText(element, "CallSign") + ", MMSI:" + t->m_mmsiText;
}

void CAISTargetManager::ManOverboard(CAISTarget& t)
{
    t.m_alarm = true;
    const CUnits& units = CDefaultUnits::Get();
    std::string distance, bearing;
    units.FormatDistance(float(t.m_range), distance);
    units.FormatBearing(float(t.m_bearing), bearing);
    PostUserNotification(t.m_mmsi, "AIS Man Overboard", distance + " away, bearing " + bearing);

    char name[48];
    std::snprintf(name, sizeof name, "AIS MOB: %u", t.m_mmsi);
    CMarkManager& marks = CMarkManager::Get();
    COverlayMark* mark = marks.FindOrAddMark(name);
    if (!mark)
        return;
    mark->SetPosition(t.m_latitude, t.m_longitude);
    mark->Touch();
    mark->SetLocked(true);
    mark->SetIconAndColour("X", mark->GetColour());
    if (t.m_range < kManOverboardGotoRange)
        marks.GotoMark(mark);
    mark->SetState(COverlayObject::kChanged);
}

void CAISTargetManager::Age(double now)
{
    for (auto it = m_targets.begin(); it != m_targets.end();) {
        CAISTarget& t = *it->second;
        const double age = now - t.m_lastHeard;
        if (age > kExpiryAge) {
            auto next = std::next(it);
            Remove(it);
            it = next;
            continue;
        }
        if (age > kLostContactAge && t.m_aisState != CAISTarget::kLostContact) {
            t.m_sog = 0;
            // Stopped: no closest approach is claimed for it any more.
            t.m_tcpa = 0;
            t.m_cpa = 1e10;
            t.m_colour = GraphicsColor(1, 1, 1, 1);
            t.m_statusText = "Lost contact";
            t.m_aisState = CAISTarget::kLostContact;
            ClearAlarm(t);
            FireEvent<CAISTarget>(t);
            t.SetState(COverlayObject::kChanged);
        }
        ++it;
    }
}
