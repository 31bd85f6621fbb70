#include "ais/AISTarget.h"

#include "ais/AISTargetManager.h"
#include "foundation/NumberText.h"
#include "foundation/notify/StatusLine.h"
#include "foundation/platform/PlatformServices.h"

#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

GraphicsColor Rgb(int r, int g, int b)
{
    return GraphicsColor(r / 255.0, g / 255.0, b / 255.0, 1.0);
}

struct StatusEntry
{
    const char* text;
    int r, g, b;
};

constexpr StatusEntry kStatus[9] = {
    {"Under way using engine", 0, 220, 0},
    {"At anchor", 128, 128, 128},
    {"NOT UNDER COMMAND", 200, 50, 200},
    {"RESTRICTED MANOEVRABILITY", 200, 50, 200},
    {"CONSTRAINED BY DRAFT", 200, 50, 200},
    {"Moored", 128, 128, 128},
    {"AGROUND", 200, 50, 200},
    {"FISHING", 200, 50, 200},
    {"Under way sailing", 0, 148, 234},
};

bool PositionTaken(const CNEMA_AIS::CAIS_Sentence& s)
{
    return std::isfinite(s.m_latitude) && std::isfinite(s.m_longitude) && std::fabs(s.m_latitude) <= 90 &&
           std::fabs(s.m_longitude) <= 180 && s.m_latitude < 90 && s.m_longitude < 180;
}

uint16_t Clamp16(uint32_t v)
{
    return uint16_t(std::min<uint32_t>(v, 65535));
}

uint8_t Clamp8(uint32_t v)
{
    return uint8_t(std::min<uint32_t>(v, 255));
}

} // namespace

const char* CAISTarget::NavigationStatusText(uint32_t status)
{
    return kStatus[status < 9 ? status : 0].text;
}

GraphicsColor CAISTarget::NavigationStatusColour(uint32_t status)
{
    const StatusEntry& e = kStatus[status < 9 ? status : 0];
    return Rgb(e.r, e.g, e.b);
}

CAISTarget::CAISTarget(uint32_t mmsi) : COverlayMovingTarget(mmsi), m_mmsi(mmsi)
{
    char text[16];
    std::snprintf(text, sizeof text, "%u", mmsi);
    m_mmsiText = text;
    m_lineWidth = 1.0f;
}

CAISTarget::~CAISTarget()
{
    AnnounceDeletion();
}

const char* CAISTarget::EmergencyDeviceName(const std::string& mmsiText)
{
    if (mmsiText.size() < 3 || mmsiText.compare(0, 2, "97") != 0)
        return nullptr;
    switch (mmsiText[2]) {
    case '0':
        return "Search and Rescue Transponder";
    case '2':
        return "Man Overboard";
    case '4':
        return "EPIRB";
    default:
        return nullptr;
    }
}

void CAISTarget::SetClassA()
{
    if (IsEmergencyDevice()) {
        const char* device = EmergencyDeviceName(m_mmsiText);
        m_classText = device ? device : "Class A";
        m_colour = Rgb(255, 0, 0);
    } else {
        m_classText = "Class A";
    }
}

void CAISTarget::SetTooltipClassB()
{
    char text[160];
    std::snprintf(text, sizeof text, "\"%s\" Type:%s, LOA:%dm\nClass B MMSI:%u", m_name.c_str(),
                  m_shipTypeText.c_str(), int(m_toBow) + int(m_toStern), m_mmsi);
    m_tooltip = text;
}

void CAISTarget::Update(const CNEMA_AIS::CAIS_Sentence& s, double eventTime)
{
    m_lastHeard = eventTime;
    m_aisState = s.m_messageType;
    const bool position = PositionTaken(s);
    bool moved = false; // the message carries a position, course and speed
    float sog = 0, cog = CNEMA_AIS::kNoCourse;
    uint32_t heading = CNEMA_AIS::kNoHeading;
    char text[256];

    switch (s.m_messageType) {
    case 1:
    case 2:
    case 3:
        SetClassA();
        m_navigationStatus = s.m_navigationStatus < 9 ? s.m_navigationStatus : 0;
        m_statusText = NavigationStatusText(m_navigationStatus);
        if (!IsEmergencyDevice())
            m_colour = NavigationStatusColour(m_navigationStatus);
        m_rateOfTurn = s.m_rateValid ? s.m_rateOfTurn : 0;
        sog = s.m_sog;
        cog = s.m_cog;
        heading = s.m_heading;
        moved = true;
        break;
    case 5:
        m_classText = "Class A";
        m_name = s.m_name;
        m_shipTypeText = s.m_shipTypeText;
        m_toBow = Clamp16(s.m_toBow);
        m_toStern = Clamp16(s.m_toStern);
        m_toPort = Clamp8(s.m_toPort);
        m_toStarboard = Clamp8(s.m_toStarboard);
        std::snprintf(text, sizeof text,
                      "\"%s\" Type:%s LOA:%dm\nCallsign:%s, MMSI:%u\nDest:%s, ETA:%02u:%02u %u/%u",
                      m_name.c_str(), m_shipTypeText.c_str(), int(m_toBow) + int(m_toStern), s.m_callSign,
                      m_mmsi, s.m_destination, s.m_etaHour, s.m_etaMinute, s.m_etaDay, s.m_etaMonth);
        m_tooltip = text;
        break;
    case 9:
        m_classText = "Aircraft";
        m_altitudeMetres = float(s.m_altitude);
        m_colour = Rgb(100, 100, 200);
        sog = s.m_sog;
        cog = s.m_cog;
        moved = true;
        break;
    case 18:
    case 19:
        m_classText = "Class B";
        m_statusText = "n/a";
        m_colour = Rgb(100, 200, 100);
        sog = s.m_sog;
        cog = s.m_cog;
        heading = s.m_heading;
        moved = true;
        if (s.m_messageType == 19) {
            m_name = s.m_name;
            m_shipTypeText = s.m_shipTypeText;
            m_toBow = Clamp16(s.m_toBow);
            m_toStern = Clamp16(s.m_toStern);
            m_toPort = Clamp8(s.m_toPort);
            m_toStarboard = Clamp8(s.m_toStarboard);
            SetTooltipClassB();
        }
        break;
    case 21:
        m_classText = "Aid to Navigation";
        m_name = s.m_name;
        m_colour = Rgb(160, 0, 115);
        sog = 0;
        moved = true;
        std::snprintf(text, sizeof text, "\"%s\" Aid to Navigation, Type:%u, MMSI:%u", m_name.c_str(),
                      s.m_aidType, m_mmsi);
        m_tooltip = text;
        m_shipTypeText = "Aid to Navigation";
        // One 9-bit dimension fills all four; port and starboard hold only 8 bits.
        m_toBow = m_toStern = Clamp16(s.m_toStern);
        m_toPort = m_toStarboard = Clamp8(s.m_toStern);
        break;
    case 24:
        if (s.m_partNumber == 0) {
            m_name = s.m_name;
        } else {
            m_shipTypeText = s.m_shipTypeText;
            m_toBow = Clamp16(s.m_toBow);
            m_toStern = Clamp16(s.m_toStern);
            m_toPort = Clamp8(s.m_toPort);
            m_toStarboard = Clamp8(s.m_toStarboard);
        }
        SetTooltipClassB();
        break;
    default:
        break;
    }

    if (m_classText.empty() || !moved)
        return;
    if (position) {
        SetPosition(s.m_latitude, s.m_longitude);
        m_hasPosition = true;
    }
    if (s.m_messageType == 9)
        m_altitude = m_altitudeMetres;
    // A course of 360 or more is "not available": the target counts as standing.
    const float course = (std::isfinite(cog) && cog >= 0 && cog < 360) ? cog : kUnknownAngle;
    SetCourseSpeed(course, IsUnknownAngle(course) ? 0.0f : sog);
    if (IsUnknownAngle(course))
        m_sog = std::isfinite(sog) ? sog : 0; // shown, but gives no vector and no CPA
    if (heading < 360)
        SetHeading(float(heading), eventTime);
    else if (sog > 1 && !IsUnknownAngle(course))
        SetHeading(course, eventTime);
    else
        SetHeading(kUnknownAngle, eventTime);
    m_currentEast = m_courseEast;
    m_currentNorth = m_courseNorth;
    m_mode = kModeCourseOverGround;
}

std::string CAISTarget::StatusLineText() const
{
    if (!m_tooltip.empty())
        return m_tooltip;
    char head[64];
    std::snprintf(head, sizeof head, "MMSI:%u, ", m_mmsi);
    return std::string(head) + m_classText + "\nSpeed:" + FormatDouble(m_sog, "%.1f") + " kts, " +
           m_statusText;
}

bool CAISTarget::OnTap(CRasterleafView& view, const COverlayTap& tap)
{
    (void)view;
    (void)tap;
    CAISTargetManager::Global().SetSelectedMMSI(m_mmsi);
    SetStatusMessage(StatusLineText());
    return true;
}

void CAISTarget::Draw(QPainter& context, const CViewTransform& view, ScreenPoints& record)
{
    (void)view;
    if (record.screenPoints.empty())
        return;
    const double scale = GetScaleFactor();
    const double size = IsClassB() ? scale * 0.8 : scale;
    const bool selected = CAISTargetManager::Global().SelectedMMSI() == m_mmsi;
    const CPolyPoint p = record.screenPoints[0];
    QPointF triangle[3];
    if (HasHeading()) {
        // The heading on the screen: the chart's north turned by the heading.
        const double h = GetHeading() * M_PI / 180.0;
        double nx = record.northY, ny = -record.northX;
        if (nx == 0 && ny == 0)
            ny = -1;
        const double dx = nx * std::cos(h) - ny * std::sin(h);
        const double dy = nx * std::sin(h) + ny * std::cos(h);
        const double bx = p.x - dx * 8.4 * size, by = p.y - dy * 8.4 * size;
        triangle[0] = QPointF(bx - dy * 8 * size, by + dx * 8 * size);
        triangle[1] = QPointF(p.x + dx * 11.2 * size, p.y + dy * 11.2 * size);
        triangle[2] = QPointF(bx + dy * 8 * size, by - dx * 8 * size);
    } else {
        triangle[0] = QPointF(p.x - 8 * size, p.y + 4 * size);
        triangle[1] = QPointF(p.x, p.y - 9.856 * size);
        triangle[2] = QPointF(p.x + 8 * size, p.y + 4 * size);
    }
    // Only the pen, brush and antialiasing change, and they are put back once
    // after the vector and the triangle: saving and restoring the whole
    // painter state for each of thousands of targets costs more than drawing
    // them. Small triangles are drawn without antialiasing, which would
    // triple the cost of a busy sea lane.
    const QPen oldPen = context.pen();
    const QBrush oldBrush = context.brush();
    const bool antialiased = context.testRenderHint(QPainter::Antialiasing);
    DrawVectorKeepingState(context, record);
    context.setRenderHint(QPainter::Antialiasing, false);
    QPen pen(Qt::black);
    pen.setWidthF(selected ? scale * 1.875 : 0.0);
    pen.setJoinStyle(Qt::MiterJoin);
    context.setPen(pen);
    context.setBrush(m_colour.ToQColor());
    context.drawPolygon(triangle, 3);
    context.setRenderHint(QPainter::Antialiasing, antialiased);
    context.setPen(oldPen);
    context.setBrush(oldBrush);
}
