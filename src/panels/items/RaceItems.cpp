#include "panels/items/RaceItems.h"

#include "foundation/NumberText.h"
#include "foundation/menus/MenuTree.h"
#include "geodesy/LocalPlane.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "panels/PanelNumbers.h"
#include "panels/PanelPorts.h"

#include <cmath>
#include <cstdio>

namespace {

// Into -180..180: first into one turn, then the short way round.
double AngleDifference(double d)
{
    d = std::fmod(d, 360.0);
    if (d > 180)
        d -= 360;
    if (d < -180)
        d += 360;
    return d;
}

CUnits& Units()
{
    return CDefaultUnits::Get();
}

void OpenTimerSettings(void* owner)
{
    Port<IRaceDialogs>().show_timer_settings(static_cast<QWidget*>(owner));
}

void OpenAxisSettings(void* owner)
{
    Port<IRaceDialogs>().show_axis_settings(static_cast<QWidget*>(owner));
}

// The menu entry that opens a race dialog; hidden while nobody can open it.
void AddDialogEntry(CMenuTree& menu, const char* title, CMenuTree::CItemV::Function open, QWidget* owner)
{
    if (!IsPortInstalled<IRaceDialogs>())
        return;
    // A null owner must stay null: AddItemV would put the menu's context in its place.
    menu.AddActionSheetFunc(title, CMenuTree::kPlain, [open, owner] { open(owner); });
}

// Sets one end of the start line at the own ship, sends it on and keeps it.
void PingEnd(bool left)
{
    const COverlayGPSPosition& own = COverlayGPSPosition::Global();
    // Without a fix a good end is kept: a 999 end would be stored and sent out.
    if (own.m_fixStatus == CDataGPSPosition::kNoFix || !own.HasPosition())
        return;
    CDataStartLine& line = CDataStartLine::Global();
    (left ? line.m_leftLat : line.m_rightLat) = own.m_latitude;
    (left ? line.m_leftLon : line.m_rightLon) = own.m_longitude;
    FireEvent<CDataStartLine>(line);
    CDataStartLine::Settings().SetModified();
}

} // namespace

// ---- texts ----

namespace NRaceText {

int StartTimer(double timeOfStart, double now, std::string& text)
{
    const double r = timeOfStart - now;
    if (timeOfStart == 0 || !std::isfinite(r) || std::fabs(r) > kMaxStartDistance) {
        text = "---";
        return kNoStart;
    }
    if (r > 0) {
        CUnits::FormatDuration(r, text);
        return kBeforeStart;
    }
    CUnits::FormatDuration(-r, text);
    text = "+" + text;
    return kAfterStart;
}

const char* StartTimerLabel(int state)
{
    switch (state) {
    case kNoStart:
        return "Time till start";
    case kBeforeStart:
        return "Time to start";
    default:
        return "Time since start";
    }
}

bool EarlyLate(const CDataDistanceToStart& distance, std::string& label, std::string& text)
{
    if (!distance.m_burnValid)
        return false;
    const double t = distance.m_timeToBurn;
    if (!std::isfinite(t)) {
        text = "---";
        return true;
    }
    label = t >= 0 ? "Late (s)" : "Early (s)";
    text = FormatDouble(t, t >= 0 ? "+%.0f" : "%.0f");
    return true;
}

std::string AxisDifference(double value, double axis)
{
    const double d = AngleDifference(value - axis);
    int32_t whole = 0;
    if (IsUnknownAngle(value) || IsUnknownAngle(axis) || !SafeToInt(std::trunc(std::fabs(d) + 0.4999), whole))
        return "---";
    char buf[16];
    std::snprintf(buf, sizeof buf, "%c%03d", d < 0 ? '-' : '+', whole);
    return buf;
}

CLineGeometry StartLineGeometry(const CDataStartLine& line)
{
    CLineGeometry g;
    // An end at 0, 0 is one never marked.
    auto valid = [](double lat, double lon) {
        return CDataStartLine::IsEndSet(lat, lon) && IsValidPosition(lat, lon);
    };
    if (!valid(line.m_rightLat, line.m_rightLon) || !valid(line.m_leftLat, line.m_leftLon))
        return g;
    g.endsValid = true;
    const CLocalPlane plane(line.m_rightLat, line.m_rightLon);
    if (!plane.IsUsable())
        return g;
    plane.ToXY(line.m_leftLat, line.m_leftLon, g.x, g.y);
    g.length = std::hypot(g.x, g.y);
    if (!(g.length >= CDataDistanceToStart::kMinLineLength &&
          g.length <= CDataDistanceToStart::kMaxLineLength))
        return g;
    g.usable = true;
    g.squareCourse = VectorToCourse(float(-g.x / g.length), float(g.y / g.length));
    return g;
}

std::string LineBias(double along, double angle, const CUnits& units)
{
    if (!std::isfinite(along) || !std::isfinite(angle))
        return "---";
    const char side = along >= 0 ? '<' : '>';
    std::string distance;
    units.FormatDistance(float(std::fabs(along)), distance);
    return side + distance + side + FormatDouble(angle, "%.0f") + "\xC2\xB0";
}

std::string LineBiasFromAxis(const CLineGeometry& line, double axis, const CUnits& units)
{
    if (!line.endsValid)
        return {};
    if (!line.usable || IsUnknownAngle(axis))
        return "---";
    float east = 0, north = 0;
    CourseToVector(float(axis), east, north);
    const double along = line.x * east + line.y * north;
    const double b = AngleDifference(line.squareCourse - axis);
    return LineBias(along, along >= 0 ? b : -b, units);
}

std::string LineBiasFromWind(const CLineGeometry& line, double windDirection, float windEast, float windNorth,
                             const CUnits& units)
{
    if (!line.usable || IsUnknownAngle(windDirection))
        return "---";
    const double along = line.x * windEast + line.y * windNorth;
    const double b = AngleDifference(line.squareCourse - windDirection);
    const double angle = along >= 0 ? b : -b;
    return LineBias(along, std::max(0.0, angle), units);
}

} // namespace NRaceText

// ---- timer items ----

void CTimerItem::AddMenuItems(CMenuTree& menu, QWidget* owner)
{
    AddDialogEntry(menu, "Timer Settings", &OpenTimerSettings, owner);
}

void CTimerButton::AddMenuItems(CMenuTree& menu, QWidget* owner)
{
    AddDialogEntry(menu, "Timer Settings", &OpenTimerSettings, owner);
}

DisplayStartTimer::DisplayStartTimer(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CTimerItem(settings, host), CHeartbeat::Counter(CHeartbeat::kTicksPerSecond)
{
    if (m_txt)
        m_txt->SetLabel("Time till start", "");
    // The display turns over on whole seconds of the clock.
    AlignToClock(1);
    Update();
}

void DisplayStartTimer::Notify(const CDataStartTimer&)
{
    Update();
}

void DisplayStartTimer::Update()
{
    std::string text;
    const int state =
        NRaceText::StartTimer(CDataStartTimer::Global().m_timeOfStart, CHeartbeat::GetTime(), text);
    if (state == NRaceText::kNoStart && m_state == NRaceText::kNoStart)
        return;
    if (state != m_state && m_txt)
        m_txt->SetLabel(NRaceText::StartTimerLabel(state), "");
    m_state = state;
    if (m_txt)
        m_txt->SetText(text);
}

DisplayStartDistance::DisplayStartDistance(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CTimerItem(settings, host)
{
    if (m_txt)
        m_txt->SetLabel("Distance to Line", "");
}

void DisplayStartDistance::Notify(const CDataDistanceToStart& distance)
{
    if (!m_txt)
        return;
    if (!distance.m_distanceValid) {
        m_txt->SetText("");
        return;
    }
    std::string number, unit;
    Units().FormatDistanceValue(float(distance.m_distance), number, unit);
    m_txt->SetLabel("Distance to Line", unit);
    m_txt->SetText(number);
}

DisplayStartEarly::DisplayStartEarly(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CTimerItem(settings, host)
{
    if (m_txt)
        m_txt->SetLabel("ETA Early/Late", "");
}

void DisplayStartEarly::Notify(const CDataDistanceToStart& distance)
{
    if (!m_txt)
        return;
    std::string label, text;
    if (!NRaceText::EarlyLate(distance, label, text)) {
        m_txt->SetText("");
        return;
    }
    if (!label.empty())
        m_txt->SetLabel(label, "");
    m_txt->SetText(text);
}

DisplayStartPingRight::DisplayStartPingRight(CDisplayView::CItemSettings& settings,
                                             CDisplayView::IWindow* host)
    : CTimerButton(settings, host)
{
    if (m_button)
        m_button->SetTitle("Ping Right");
}

void DisplayStartPingRight::Pressed()
{
    PingEnd(false);
}

DisplayStartPingLeft::DisplayStartPingLeft(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CTimerButton(settings, host)
{
    if (m_button)
        m_button->SetTitle("Ping Left");
}

void DisplayStartPingLeft::Pressed()
{
    PingEnd(true);
}

DisplayStartCountdown::DisplayStartCountdown(CDisplayView::CItemSettings& settings,
                                             CDisplayView::IWindow* host)
    : CTimerButton(settings, host)
{
    if (m_button)
        m_button->SetTitle("Start");
}

void DisplayStartCountdown::Pressed()
{
    CDataStartTimer& timer = CDataStartTimer::Global();
    const double now = CHeartbeat::GetTime();
    if (!std::isfinite(now))
        return;
    int32_t period = timer.m_periodMinutes;
    if (period < 0 || period > CDataStartTimer::kMaxPeriodMinutes)
        period = CDataStartTimer::kDefaultPeriodMinutes;
    timer.m_timeOfStart = now + double(period) * 60;
    FireEvent<CDataStartTimer>(timer);
    CDataStartTimer::Settings().SetModified();
}

// ---- axis items ----

CAxisTextItem::CAxisTextItem(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CDisplayView::CItemText(settings, host)
{
}

void CAxisTextItem::AddMenuItems(CMenuTree& menu, QWidget* owner)
{
    AddDialogEntry(menu, "Set Axis", &OpenAxisSettings, owner);
}

bool CAxisTextItem::AxisChanged()
{
    const float axis = CDataStartLine::Global().m_axis;
    if (axis == m_lastAxis)
        return false;
    m_lastAxis = axis;
    return true;
}

void CAxisTextItem::RefreshLabel(const char* title)
{
    if (!AxisChanged() || !m_txt)
        return;
    std::string bearing;
    Units().FormatBearing(m_lastAxis, bearing);
    m_txt->SetLabel(title + bearing, "");
}

TrueWind_from_axis::TrueWind_from_axis(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CAxisTextItem(settings, host)
{
    Refresh();
}

void TrueWind_from_axis::Notify(const CDataTrueWind& wind)
{
    if (m_txt)
        m_txt->SetText(NRaceText::AxisDifference(wind.m_current.direction, CDataStartLine::Global().m_axis));
    Refresh();
}

Heading_from_axis::Heading_from_axis(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CAxisTextItem(settings, host)
{
    Refresh();
}

void Heading_from_axis::Notify(const CDataSpeedDirection& own)
{
    if (m_txt)
        m_txt->SetText(NRaceText::AxisDifference(own.GetHeading(), CDataStartLine::Global().m_axis));
    Refresh();
}

COG_from_axis::COG_from_axis(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CAxisTextItem(settings, host)
{
    Refresh();
}

void COG_from_axis::Notify(const CDataSpeedDirection& own)
{
    const float cog = own.m_cog;
    if (m_txt)
        m_txt->SetText(cog >= 0 ? NRaceText::AxisDifference(cog, CDataStartLine::Global().m_axis) : "---");
    Refresh();
}

Line_Bias_from_axis::Line_Bias_from_axis(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CAxisTextItem(settings, host)
{
    Refresh();
}

void Line_Bias_from_axis::Refresh()
{
    RefreshLabel("Start Line vs ");
    const CDataStartLine& line = CDataStartLine::Global();
    const std::string text =
        NRaceText::LineBiasFromAxis(NRaceText::StartLineGeometry(line), line.m_axis, Units());
    // With an end not set the text stays as it was.
    if (m_txt && !text.empty())
        m_txt->SetText(text);
}

Line_Bias_from_wind::Line_Bias_from_wind(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CDisplayView::CItemText(settings, host)
{
    Notify(CDataStartLine::Global());
}

void Line_Bias_from_wind::Notify(const CDataStartLine& line)
{
    if (m_txt)
        m_txt->SetLabel("Start Line vs True Wind", "");
    const NRaceText::CLineGeometry g = NRaceText::StartLineGeometry(line);
    if (!g.endsValid)
        return; // the line kept is the last one with both ends
    m_line = g;
    if (!g.usable && m_txt)
        m_txt->SetText("---");
}

void Line_Bias_from_wind::Notify(const CDataTrueWind& wind)
{
    if (m_txt)
        m_txt->SetText(NRaceText::LineBiasFromWind(m_line, wind.m_current.direction, wind.m_current.unitEast,
                                                   wind.m_current.unitNorth, Units()));
}

CDispAxis::CDispAxis(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CAxisTextItem(settings, host)
{
    Refresh();
}

void CDispAxis::Refresh()
{
    if (!AxisChanged() || !m_txt)
        return;
    m_txt->SetLabel("Course Axis", "");
    std::string bearing;
    Units().FormatBearing(m_lastAxis, bearing);
    m_txt->SetText(bearing);
}

// ---- registration ----

void RegisterRaceItems()
{
    static CDisplayView::CRegistryEntry entries[] = {
        {"Instruments:Timer:Time to start", DisplayStartTimer::kTypeId, &DisplayStartTimer::CSettings::cType,
         nullptr},
        {"Instruments:Timer:Distance to line", DisplayStartDistance::kTypeId,
         &DisplayStartDistance::CSettings::cType, nullptr},
        {"Instruments:Timer:ETA Early/Late at Start", DisplayStartEarly::kTypeId,
         &DisplayStartEarly::CSettings::cType, nullptr},
        {"Instruments:Timer:Ping Start Line Right Mark", DisplayStartPingRight::kTypeId,
         &DisplayStartPingRight::CSettings::cType, nullptr},
        {"Instruments:Timer:Ping Start Line Left Mark", DisplayStartPingLeft::kTypeId,
         &DisplayStartPingLeft::CSettings::cType, nullptr},
        {"Instruments:Timer:Start countdown sequence", DisplayStartCountdown::kTypeId,
         &DisplayStartCountdown::CSettings::cType, nullptr},
        {"Instruments:Axis:True Wind Dir vs Axis", TrueWind_from_axis::kTypeId,
         &TrueWind_from_axis::CSettings::cType, nullptr},
        {"Instruments:Axis:Heading vs Axis", Heading_from_axis::kTypeId, &Heading_from_axis::CSettings::cType,
         nullptr},
        {"Instruments:Axis:COG vs Axis", COG_from_axis::kTypeId, &COG_from_axis::CSettings::cType, nullptr},
        {"Instruments:Timer:Start Line Bias vs Axis", Line_Bias_from_axis::kTypeId,
         &Line_Bias_from_axis::CSettings::cType, nullptr},
        {"Instruments:Timer:Start-Line Bias vs True Wind", Line_Bias_from_wind::kTypeId,
         &Line_Bias_from_wind::CSettings::cType, nullptr},
        {"Instruments:Axis:Axis", CDispAxis::kTypeId, &CDispAxis::CSettings::cType, nullptr},
    };
    for (CDisplayView::CRegistryEntry& entry : entries)
        CDisplayView::Register(entry);
}
