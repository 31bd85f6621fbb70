#include "panels/items/GotoItems.h"

#include "foundation/dialogs/MessageBox.h"
#include "foundation/drawing/Drawing.h"
#include "geodesy/LocalPlane.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/ui/ActionMenus.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace NDisplayGoto {

namespace {

constexpr double kKnotsPerMetrePerSecond = 1.94384449;
// Below this speed toward the target there is no arrival to show.
constexpr double kMinSpeedAlongLeg = 0.1;
// The point after the target must be further than this for a turn to it.
constexpr double kMinNextTurnMetres = 5.0;

bool HasFix(const CDataGPSPosition& own)
{
    return own.m_fixStatus != CDataGPSPosition::kNoFix;
}

// The component of the vector (east, north) along the leg, in the direction
// of travel toward the target.
double AlongLeg(const CDataGotoMark& g, double east, double north)
{
    return double(g.legNormalX) * north - double(g.legNormalY) * east;
}

// The last point of the followed route, or the target of a plain go-to.
const std::string& EndName(const CDataGotoMark& g)
{
    if (g.route && !g.route->Points().empty())
        return g.route->Points().back()->GetName();
    return g.target->GetName();
}

enum class Eta { Unknown, Never, Known };

// The time to cover `metres` at the averaged speed along the leg.
Eta TimeAlongLeg(const CDataGotoMark& g, const CDataGPSPosition& own, double metres, double& seconds)
{
    if (!HasFix(own))
        return Eta::Unknown;
    const double v = double(own.m_averagedSpeed) * AlongLeg(g, own.m_averagedEast, own.m_averagedNorth);
    if (!(v >= kMinSpeedAlongLeg))
        return Eta::Never;
    seconds = metres / (v / kKnotsPerMetrePerSecond);
    return std::isfinite(seconds) ? Eta::Known : Eta::Unknown;
}

void DurationAlongLeg(const CDataGotoMark& g, const CDataGPSPosition& own, double metres, std::string& text)
{
    double seconds = 0;
    text.clear();
    if (TimeAlongLeg(g, own, metres, seconds) == Eta::Known)
        CUnits::FormatDuration(seconds, text);
}

void ArrivalAlongLeg(const CDataGotoMark& g, const CDataGPSPosition& own, double metres, std::string& text)
{
    double seconds = 0;
    text.clear();
    time_t at = 0;
    switch (TimeAlongLeg(g, own, metres, seconds)) {
    case Eta::Never:
        text = "Never";
        break;
    case Eta::Known:
        if (SafeToTime(own.m_fixTime + seconds, at))
            CUnits::FormatClockTime12(at, text);
        break;
    case Eta::Unknown:
        break;
    }
}

const char* SpeedUnitName(const CUnits& units)
{
    return CUnits::SpeedUnit(units.m_speedUnit).name;
}

COverlayMark* FirstPlacedPoint(const COverlayRoute& route)
{
    for (const auto& p : route.Points())
        if (p->HasPosition())
            return p.get();
    return nullptr;
}

} // namespace

void DistanceTexts(const CDataGotoMark& g, const CDataGPSPosition&, const CUnits& units, CCellTexts& out)
{
    std::string unit;
    units.FormatDistanceValue(g.distance, out.text, unit);
    out.SetLabel("Dist: " + g.target->GetName(), unit);
}

void BearingTexts(const CDataGotoMark& g, const CDataGPSPosition&, const CUnits& units, CCellTexts& out)
{
    out.SetLabel(g.target->GetName() + " bears", units.BearingSuffix());
    units.FormatBearingValue(g.bearing, out.text);
}

void CrossTrackTexts(const CDataGotoMark& g, const CDataGPSPosition&, const CUnits& units, CCellTexts& out)
{
    std::string number, unit;
    units.FormatDistanceValue(std::fabs(g.crossTrack), number, unit);
    out.SetLabel("X-Track", unit);
    if (!std::isfinite(g.crossTrack))
        out.text.clear();
    else if (g.crossTrack < 0)
        out.text = "<" + number;
    else
        out.text = number + ">";
}

void TimeToGoTexts(const CDataGotoMark& g, const CDataGPSPosition& own, const CUnits&, CCellTexts& out)
{
    out.SetLabel("Time: " + g.target->GetName(), "");
    DurationAlongLeg(g, own, g.distance, out.text);
}

void ArrivalTexts(const CDataGotoMark& g, const CDataGPSPosition& own, const CUnits&, CCellTexts& out)
{
    out.SetLabel("ETA: " + g.target->GetName(), "");
    ArrivalAlongLeg(g, own, g.distance, out.text);
}

void DistanceToEndTexts(const CDataGotoMark& g, const CDataGPSPosition&, const CUnits& units, CCellTexts& out)
{
    std::string unit;
    units.FormatDistanceValue(g.distance + g.remaining, out.text, unit);
    out.SetLabel("Dist: " + EndName(g), unit);
}

void PercentageTexts(const CDataGotoMark& g, const CDataGPSPosition&, const CUnits&, CCellTexts& out)
{
    out.text.clear();
    if (!g.route)
        return;
    const double total = g.route->CachedTotalLength();
    if (!(total > 1.0))
        return;
    // The own ship's distance from the target measured back along the leg.
    const double left = double(g.remaining) - AlongLeg(g, g.ownX, g.ownY);
    int32_t percent = 0;
    if (!SafeToInt((total - left) / total * 100, percent))
        return;
    char buf[24];
    std::snprintf(buf, sizeof buf, "%d%%", percent);
    out.text = buf;
}

void TimeToEndTexts(const CDataGotoMark& g, const CDataGPSPosition& own, const CUnits&, CCellTexts& out)
{
    out.SetLabel("Time: " + EndName(g), "");
    DurationAlongLeg(g, own, double(g.distance) + g.remaining, out.text);
}

void ArrivalAtEndTexts(const CDataGotoMark& g, const CDataGPSPosition& own, const CUnits&, CCellTexts& out)
{
    out.SetLabel("ETA: " + EndName(g), "");
    ArrivalAlongLeg(g, own, double(g.distance) + g.remaining, out.text);
}

void VMGLegTexts(const CDataGotoMark& g, const CDataGPSPosition& own, const CUnits& units, CCellTexts& out)
{
    out.text.clear();
    if (HasFix(own))
        units.FormatSpeedValue(float(own.GetSpeed() * AlongLeg(g, own.m_currentEast, own.m_currentNorth)),
                               out.text);
}

void VMGMarkTexts(const CDataGotoMark& g, const CDataGPSPosition& own, const CUnits& units, CCellTexts& out)
{
    out.text.clear();
    const double toward = double(own.m_currentEast) * g.toTargetX + double(own.m_currentNorth) * g.toTargetY;
    if (HasFix(own))
        units.FormatSpeedValue(float(own.GetSpeed() * toward), out.text);
}

void NextTurnTexts(const CDataGotoMark& g, const CDataGPSPosition& own, const CUnits&, CCellTexts& out)
{
    out.text.clear();
    if (!g.next || !HasFix(own) || !g.next->HasPosition() || !g.IsPlaneSet())
        return;
    double x = 0, y = 0;
    g.plane.ToXY(g.next->GetLatitude(), g.next->GetLongitude(), x, y);
    const double east = x - g.ownX, north = y - g.ownY;
    if (!(std::hypot(east, north) > kMinNextTurnMetres)) {
        out.setText = false; // too close to tell: the last turn stays
        return;
    }
    out.text = FormatTurnAngle(VectorToCourse(float(north), float(east)), own.GetDirection());
}

void NameTexts(const CDataGotoMark& g, const CDataGPSPosition&, const CUnits&, CCellTexts& out)
{
    out.text = g.target->GetName();
}

std::string ComingUpText(const CDataGotoMark& g, const CUnits& units, int32_t lineBudget)
{
    if (!g.target)
        return "Coming up...";
    std::string text;
    // One line for the mark, one more for its description; a mark without a name takes none.
    const auto entry = [&](const COverlayMark& mark, double at) {
        if (mark.GetName().empty())
            return 0;
        if (!text.empty())
            text += '\n';
        std::string distance;
        units.FormatDistance(float(at), distance);
        text += distance + ": " + mark.GetName();
        if (mark.GetDescription().empty())
            return 1;
        text += "\n(" + mark.GetDescription() + ")";
        return 2;
    };
    double d = g.distance;
    if (!g.route) {
        entry(*g.target, d);
        return text;
    }
    const std::vector<COverlayRoute::Leg>& legs = g.route->LegCache();
    size_t i = 0;
    int32_t lines = 0;
    if (g.target == FirstPlacedPoint(*g.route)) {
        lines = entry(*g.target, d);
        if (legs.empty())
            return text;
        d += legs.front().length;
    } else {
        while (i < legs.size() && legs[i].to != g.target)
            ++i;
        if (i == legs.size())
            return "?";
    }
    while (lines < lineBudget) {
        const int added = entry(*legs[i].to, d);
        if (++i >= legs.size())
            break;
        lines += added;
        d += legs[i].length;
    }
    return text;
}

void CGotoTextItemWithMenu::AddMenuItems(CMenuTree& menu, QWidget* owner)
{
    NDisplayGoto_addMenus(menu, owner);
}

CGotoTextItem::CGotoTextItem(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host,
                             const Kind& kind)
    : CGotoTextItemWithMenu(settings, host), Listener<CDataGotoMark>(0), m_kind(kind),
      m_unit(kind.unit ? kind.unit : SpeedUnitName(CDefaultUnits::Get()))
{
    if (m_txt)
        m_txt->SetLabel(m_kind.title, m_unit);
}

void CGotoTextItem::Notify(const CDataGotoMark& g)
{
    if (!m_txt)
        return;
    CCellTexts texts;
    if (!g.target) {
        if (!m_kind.keepLabel)
            texts.SetLabel(m_kind.noTargetTitle ? m_kind.noTargetTitle : m_kind.title, m_unit);
    } else if (m_kind.texts) {
        m_kind.texts(g, COverlayGPSPosition::Global(), CDefaultUnits::Get(), texts);
    }
    texts.ApplyTo(m_txt);
}

namespace {

using CellHost = CDisplayView::IWindow;
using CellSettings = CDisplayView::CItemSettings;

const CGotoTextItem::Kind kDistance{&DistanceTexts, "Dist to WP", "", nullptr, false};
const CGotoTextItem::Kind kBearing{&BearingTexts, "Bearing to WP", "", nullptr, false};
const CGotoTextItem::Kind kAngle{nullptr, "Turn", "", nullptr, false};
const CGotoTextItem::Kind kCrossTrack{&CrossTrackTexts, "X-Track", "", nullptr, true};
const CGotoTextItem::Kind kTimeToGo{&TimeToGoTexts, "Time to WP", "", nullptr, false};
const CGotoTextItem::Kind kArrival{&ArrivalTexts, "ETA Next WP", "", nullptr, false};
const CGotoTextItem::Kind kDistanceToEnd{&DistanceToEndTexts, "Dist to End", "", nullptr, false};
const CGotoTextItem::Kind kPercentage{&PercentageTexts, "% Along Route", "", nullptr, false};
const CGotoTextItem::Kind kTimeToEnd{&TimeToEndTexts, "Time to End", "", "Time to ...", false};
const CGotoTextItem::Kind kArrivalAtEnd{&ArrivalAtEndTexts, "ETA at End", "", nullptr, false};
const CGotoTextItem::Kind kVMGLeg{&VMGLegTexts, "VMG // Leg", nullptr, nullptr, false};
const CGotoTextItem::Kind kVMGMark{&VMGMarkTexts, "VMG to WP", nullptr, nullptr, false};
const CGotoTextItem::Kind kNextTurn{&NextTurnTexts, "Turn After WP", "", nullptr, false};
const CGotoTextItem::Kind kName{&NameTexts, "Waypoint", "", nullptr, false};

} // namespace

Distance::Distance(CellSettings& s, CellHost* host) : CGotoTextItem(s, host, kDistance) {}
Bearing::Bearing(CellSettings& s, CellHost* host) : CGotoTextItem(s, host, kBearing) {}
CrossTrack::CrossTrack(CellSettings& s, CellHost* host) : CGotoTextItem(s, host, kCrossTrack) {}
EstTimeToGo::EstTimeToGo(CellSettings& s, CellHost* host) : CGotoTextItem(s, host, kTimeToGo) {}
EstTimeOfArrival::EstTimeOfArrival(CellSettings& s, CellHost* host) : CGotoTextItem(s, host, kArrival) {}
DistanceToEnd::DistanceToEnd(CellSettings& s, CellHost* host) : CGotoTextItem(s, host, kDistanceToEnd) {}
PercentageToEnd::PercentageToEnd(CellSettings& s, CellHost* host) : CGotoTextItem(s, host, kPercentage) {}
EstTimeToEnd::EstTimeToEnd(CellSettings& s, CellHost* host) : CGotoTextItem(s, host, kTimeToEnd) {}
ETAatEnd::ETAatEnd(CellSettings& s, CellHost* host) : CGotoTextItem(s, host, kArrivalAtEnd) {}
VMGParallelLeg::VMGParallelLeg(CellSettings& s, CellHost* host) : CGotoTextItem(s, host, kVMGLeg) {}
VMGtoMark::VMGtoMark(CellSettings& s, CellHost* host) : CGotoTextItem(s, host, kVMGMark) {}
NextTurn::NextTurn(CellSettings& s, CellHost* host) : CGotoTextItem(s, host, kNextTurn) {}
WaypointName::WaypointName(CellSettings& s, CellHost* host) : CGotoTextItem(s, host, kName) {}

Angle::Angle(CellSettings& s, CellHost* host)
    : CGotoTextItem(s, host, kAngle), Listener<CDataSpeedDirection>(0)
{
}

void Angle::Notify(const CDataGotoMark& g)
{
    m_bearing = g.target ? g.bearing : CDataGotoMark::kNoBearing;
    if (!m_txt)
        return;
    if (g.target) {
        m_txt->SetLabel("Turn to " + g.target->GetName(), "");
    } else {
        m_txt->SetLabel(kAngle.title, "");
        m_txt->SetText("");
    }
}

void Angle::Notify(const CDataSpeedDirection& own)
{
    // Empty while either the bearing or the own direction is unknown.
    if (m_txt)
        m_txt->SetText(FormatTurnAngle(m_bearing, own.GetDirection()));
}

Arrow::Arrow(CellSettings& s, CellHost* host)
    : CDisplayView::CItemDraw(s, host), Listener<CDataGotoMark>(0), Listener<CDataSpeedDirection>(0)
{
}

void Arrow::AddMenuItems(CMenuTree& menu, QWidget* owner)
{
    NDisplayGoto_addMenus(menu, owner);
}

void Arrow::Notify(const CDataGotoMark& g)
{
    m_targetKnown = g.target && g.bearing < 900;
    if (m_targetKnown) {
        m_toTargetEast = g.toTargetX;
        m_toTargetNorth = g.toTargetY;
    }
}

void Arrow::Notify(const CDataSpeedDirection& own)
{
    if (!m_targetKnown) {
        m_sine = 0;
        m_cosine = 1;
        m_colour = GraphicsColor();
        if (m_window)
            m_window->Show(false);
        return;
    }
    const float dn = own.m_currentNorth, de = own.m_currentEast;
    m_sine = dn * m_toTargetEast - de * m_toTargetNorth;
    m_cosine = dn * m_toTargetNorth + de * m_toTargetEast;
    switch (own.m_mode) {
    case CDataSpeedDirection::kModeHeading:
        m_colour.SetRGBA(153, 0, 0, 255);
        break;
    case CDataSpeedDirection::kModeAveragedCourse:
        m_colour.SetRGBA(0, 0, 153, 255);
        break;
    case CDataSpeedDirection::kModeCourseOverGround:
        m_colour.SetRGBA(0, 153, 0, 255);
        break;
    default:
        break; // the colour of the last known source stays
    }
    if (m_window) {
        m_window->Show(true);
        m_window->Invalidate();
    }
}

void Arrow::Draw(QPainter& context, int32_t width, int32_t height)
{
    const double r = std::min(width, height) / 2.0;
    if (r < 10 || m_colour.GetAlpha() == 0 || !std::isfinite(m_sine) || !std::isfinite(m_cosine))
        return;
    static const double kShape[7][2] = {{0, -1},       {0.7, -0.3},   {0.35, -0.3}, {0.35, 0.85},
                                        {-0.35, 0.85}, {-0.35, -0.3}, {-0.7, -0.3}};
    QPointF points[7];
    const double s = m_sine, c = m_cosine;
    for (int i = 0; i < 7; ++i) {
        const double px = kShape[i][0], py = kShape[i][1];
        points[i] = QPointF(width / 2.0 + r * (c * px - s * py), height / 2.0 + r * (c * py + s * px));
    }
    SetFillColor(context, m_colour);
    FillPolygon(context, points, 7);
}

ComingUp::ComingUp(CellSettings& s, CellHost* host)
    : CDisplayView::CItemMultilineText(s, host), Listener<CDataGotoMark>(0)
{
    if (m_txt)
        m_txt->SetText("Coming up...");
}

void ComingUp::Notify(const CDataGotoMark& g)
{
    if (m_txt)
        m_txt->SetText(ComingUpText(g, CDefaultUnits::Get(), m_lineBudget));
}

} // namespace NDisplayGoto

void NDisplayGoto_addMenus(CMenuTree& menu, QWidget* owner)
{
    menu.AddActionSheetFunc("Goto Mark...", CMenuTree::kPlain, [owner] { on_goto_nearby_mark(owner); });
    menu.AddActionSheetFunc("Follow Route...", CMenuTree::kPlain, [owner] { on_follow_nearby_route(owner); });
    const CDataGotoMark& g = CMarkManager::Get().GetGoto();
    if (g.route) {
        // The route is looked up when chosen: it may be gone by then.
        const uint64_t serial = g.route->GetSerial();
        menu.AddActionSheetFunc("Reverse Route", CMenuTree::kPlain, [serial] {
            if (COverlayRoute* route = FindRouteBySerial(serial))
                route->Reverse();
        });
    }
    if (g.target)
        menu.AddActionSheetFunc("Cancel Navigation", CMenuTree::kPlain,
                                [] { CMarkManager::Get().CancelGoto(); });
}

namespace {

// The menu of what lies nearest the own position, at the mouse; without any
// (none created) the user is told instead.
void PopUpNearbyMenu(void* owner,
                     std::unique_ptr<CActionSheetMenu> (*build)(double latitude, double longitude,
                                                                size_t count),
                     size_t count, const char* none, const char* noneTitle)
{
    QWidget* parent = static_cast<QWidget*>(owner);
    const COverlayGPSPosition& own = COverlayGPSPosition::Global();
    std::unique_ptr<CActionSheetMenu> menu = build(own.m_latitude, own.m_longitude, count);
    if (!menu) {
        ShowOKMessage(parent, none, noneTitle);
        return;
    }
    CActionSheetMenu::PopUpAtMouse(std::move(menu), parent);
}

} // namespace

void on_goto_nearby_mark(void* owner)
{
    PopUpNearbyMenu(owner, &BuildNearbyMarksMenu, 8, "No marks have been created", "No Marks");
}

void on_follow_nearby_route(void* owner)
{
    PopUpNearbyMenu(owner, &BuildNearbyRoutesMenu, 6, "No routes have been created", "No Routes");
}

void RegisterGotoItems()
{
    using namespace NDisplayGoto;
    static CDisplayView::CRegistryEntry entries[] = {
        {"Goto:Distance", Distance::kTypeId, &Distance::CSettings::cType, nullptr},
        {"Goto:Bearing", Bearing::kTypeId, &Bearing::CSettings::cType, nullptr},
        {"Goto:Turn Angle", Angle::kTypeId, &Angle::CSettings::cType, nullptr},
        {"Goto:CrossTrack", CrossTrack::kTypeId, &CrossTrack::CSettings::cType, nullptr},
        {"Goto:Arrow", Arrow::kTypeId, &Arrow::CSettings::cType, nullptr},
        {"Goto:Time to Next WP", EstTimeToGo::kTypeId, &EstTimeToGo::CSettings::cType, nullptr},
        {"Goto:ETA Next WP", EstTimeOfArrival::kTypeId, &EstTimeOfArrival::CSettings::cType, nullptr},
        {"Goto:Dist to Route End", DistanceToEnd::kTypeId, &DistanceToEnd::CSettings::cType, nullptr},
        {"Goto:% Along Route", PercentageToEnd::kTypeId, &PercentageToEnd::CSettings::cType, nullptr},
        {"Goto:Time to Route End", EstTimeToEnd::kTypeId, &EstTimeToEnd::CSettings::cType, nullptr},
        {"Goto:ETA End of Route", ETAatEnd::kTypeId, &ETAatEnd::CSettings::cType, nullptr},
        {"Goto:VMG Parallel to Leg", VMGParallelLeg::kTypeId, &VMGParallelLeg::CSettings::cType, nullptr},
        {"Goto:VMG Towards Mark", VMGtoMark::kTypeId, &VMGtoMark::CSettings::cType, nullptr},
        {"Goto:Turn after Mark", NextTurn::kTypeId, &NextTurn::CSettings::cType, nullptr},
        {"Goto:Waypoint name", WaypointName::kTypeId, &WaypointName::CSettings::cType, nullptr},
        {"Goto:Coming Up", ComingUp::kTypeId, &ComingUp::CSettings::cType, nullptr},
    };
    for (auto& entry : entries)
        CDisplayView::Register(entry);
}
