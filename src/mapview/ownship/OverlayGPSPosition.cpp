#include "mapview/ownship/OverlayGPSPosition.h"

#include "foundation/drawing/Images.h"
#include "foundation/platform/PlatformServices.h"
#include "foundation/util/PortSlot.h"
#include "geodesy/Units.h"
#include "mapview/ownship/OwnShipPorts.h"

#include <QPainter>
#include <cmath>

namespace {

// Built before the application runs: the settings it reads at start-up.
COverlayGPSPosition::Persistant gOwnShipSettings;

} // namespace

bool CGPSSettingsCategory::CanOpen() const
{
    return IsPortInstalled<IGPSSettingsUi>();
}

void CGPSSettingsCategory::Open()
{
    Port<IGPSSettingsUi>().OpenGPSSettings();
}

void COverlayGPSPosition::Persistant::Exchange()
{
    CMovingTargetSettings& s = CMovingTargetSettings::Global();
    CDataSpeedDirection::SourceSettings& d = CDataSpeedDirection::Settings();
    if (IsLoading()) {
        // Older files: one flag for background recording, and the damping as
        // a factor per update instead of a time constant.
        bool oldBackground = s.recordInBackgroundMode != 0;
        ExchangeBool("record_in_background", oldBackground);
        s.recordInBackgroundMode = oldBackground ? 1 : s.recordInBackgroundMode;
        float oldDamping = -1;
        ExchangeFloat("compass_damping", oldDamping);
        if (oldDamping >= 0 && 1 - oldDamping > 0 && std::isfinite(oldDamping))
            d.compassDampingTimeConst = 1 / (1 - oldDamping);
    }
    ExchangeFloat("vector_scale", s.vectorScale);
    ExchangeColour("gc_color2", s.ownColour);
    ExchangeDouble("averaging_time", s.averagingTime);
    ExchangeBool("show_heading", s.showHeading);
    ExchangeBool("show_vector", s.showVector);
    ExchangeHex("record_in_background_mode", s.recordInBackgroundMode);
    ExchangeBool("use_averaged_direction", d.useAveragedDirection);
    ExchangeBool("screen_keep_alive", s.screenKeepAlive);
    ExchangeFloat("compass_damping_time_const", d.compassDampingTimeConst);
    std::string calibration = s.CalibrationText();
    ExchangeString("compass_calibration", calibration);
    if (IsLoading())
        s.SetCalibrationText(calibration); // a damaged text keeps the table
    // Values that would break the arithmetic fall back to their defaults.
    if (!std::isfinite(s.vectorScale) || s.vectorScale < 0)
        s.vectorScale = 5.0f;
    if (!std::isfinite(s.averagingTime) || s.averagingTime <= 0)
        s.averagingTime = 30.1;
    if (!std::isfinite(d.compassDampingTimeConst))
        d.compassDampingTimeConst = 1.0f;
}

COverlayGPSPosition::COverlayGPSPosition()
    : COverlayMovingTarget(kOverlayId), CHeartbeat::Counter(kFixLostTicks)
{
}

COverlayGPSPosition::~COverlayGPSPosition()
{
    AnnounceDeletion();
}

COverlayGPSPosition& COverlayGPSPosition::Global()
{
    static COverlayGPSPosition ownShip;
    return ownShip;
}

void COverlayGPSPosition::ResetAveraging()
{
    m_averager.Reset();
}

void COverlayGPSPosition::ProcessFix()
{
    // Re-arm the fix-lost countdown.
    SetCount(kFixLostTicks);
    const double t = m_fixTime;
    if (m_fixStatus != kNoFix) {
        if (t >= m_lastBlink + 0.9) {
            m_lastBlink = t;
            std::swap(m_blinkA, m_blinkB);
        } else if (t < m_lastBlink) {
            m_lastBlink = 0; // the clock went back: blink again from now on
        }
        // The variation follows the ship (it recomputes only after a degree).
        if (HasPosition())
            CDefaultUnits::Get().UpdateMagneticVariation(m_latitude, m_longitude, t);
        // A fix older than the last sample (a replay restarting, a glitch)
        // starts the averaging afresh instead of computing with a negative time.
        if (!m_averager.Samples().empty() && t < m_averager.Samples().back().time)
            m_averager.Reset();
        if (m_hdop < 100 && m_averager.IsSampleDue(t))
            m_averager.TakeSample(*this, t, CMovingTargetSettings::Global().averagingTime);
    }
    SelectSource();
    FireEvent<CDataGPSPosition>(*this);
    FireEvent<CDataSpeedDirection>(*this);
    SetState(kChanged);
}

void COverlayGPSPosition::OnTick()
{
    if (m_fixStatus == kNoFix)
        return;
    m_fixStatus = kNoFix;
    m_mode = kModeNone;
    m_currentEast = m_currentNorth = 0;
    if (m_onFixLost)
        m_onFixLost();
    FireEvent<CDataGPSPosition>(*this);
    SetState(kUpdated);
}

void COverlayGPSPosition::LoadIcons()
{
    const GraphicsColor& colour = CMovingTargetSettings::Global().ownColour;
    m_blinkA = LoadTintedImage("gps_icon1", colour);
    m_blinkB = LoadTintedImage("gps_icon2", colour);
    GraphicsColor grey;
    grey.SetRGB(0x808080);
    m_grey = LoadTintedImage("gps_icon1", grey);
    QSizeF size = GetImageSize(LoadImageForScreen("gps_icon1"));
    m_iconOffsetX = m_iconOffsetY = 0.46875 * size.width();
    m_colour = colour;
    m_iconsLoaded = true;
}

void COverlayGPSPosition::UpdateScreenPoints(ScreenPoints& record, const CPolynomialProjection& chart)
{
    if (!m_iconsLoaded)
        LoadIcons();
    COverlayMovingTarget::UpdateScreenPoints(record, chart);
}

void COverlayGPSPosition::Draw(QPainter& context, const CViewTransform& view, ScreenPoints& record)
{
    if (record.screenPoints.empty())
        return;
    const double scale = GetScaleFactor();
    const CPolyPoint p = record.screenPoints[0];
    if (m_mode == kModeHeading && !IsUnknownAngle(GetHeading())) {
        // Heading on the screen: the chart's north turned by the heading.
        double h = GetHeading() * M_PI / 180.0;
        double nx = record.northY, ny = -record.northX; // north as a screen direction (y down)
        if (nx == 0 && ny == 0)
            ny = -1;
        double dx = nx * std::cos(h) - ny * std::sin(h);
        double dy = nx * std::sin(h) + ny * std::cos(h);
        double bx = p.x + dx * m_iconOffsetX, by = p.y + dy * m_iconOffsetY;
        double half = 6.956522 * scale;
        double apex = 16.0 * scale;
        QPointF triangle[3] = {
            QPointF(bx - dy * half, by + dx * half),
            QPointF(bx + dx * apex, by + dy * apex),
            QPointF(bx + dy * half, by - dx * half),
        };
        context.save();
        context.setRenderHint(QPainter::Antialiasing, true);
        context.setPen(Qt::NoPen);
        context.setBrush(m_colour.ToQColor());
        context.drawPolygon(triangle, 3);
        context.restore();
    } else {
        DrawVector(context, view, record);
    }
    const QImage& icon = m_fixStatus != kNoFix ? m_blinkA : m_grey;
    if (!icon.isNull())
        DrawImageAt(context, icon, p.x - m_iconOffsetX, p.y - m_iconOffsetY);
}
