#include "mapview/ownship/OverlayMovingTarget.h"

#include "charts/PolynomialProjection.h"
#include "foundation/NumberText.h"
#include "foundation/drawing/Drawing.h"
#include "foundation/platform/PlatformServices.h"
#include "geodesy/LocalPlane.h"

#include <QPainter>
#include <QPen>
#include <cmath>
#include <sstream>

CMovingTargetSettings& CMovingTargetSettings::Global()
{
    static CMovingTargetSettings settings;
    return settings;
}

std::string CMovingTargetSettings::CalibrationText() const
{
    std::string text;
    for (int i = 0; i < 12; ++i)
        text += FormatDouble(compassCalibration[i], "%f") + ",";
    return text;
}

bool CMovingTargetSettings::SetCalibrationText(const std::string& text)
{
    float values[12];
    std::string item;
    std::istringstream in(text);
    int n = 0;
    while (n < 12 && std::getline(in, item, ',')) {
        double v;
        if (!ParseDouble(item, v) || std::fabs(v) > 360)
            return false;
        values[n++] = float(v);
    }
    if (n != 12)
        return false;
    for (int i = 0; i < 12; ++i)
        compassCalibration[i] = values[i];
    compassCalibration[12] = compassCalibration[0];
    return true;
}

float ApplyCompassCalibration(const float table[13], float heading)
{
    if (!std::isfinite(heading))
        return 999.0f;
    double h = std::fmod(double(heading), 360.0);
    if (h < 0)
        h += 360.0;
    if (h >= 360.0) // -1e-15 + 360 rounds up to 360
        h = 0;
    int i = int(h / 30);
    if (i > 11)
        i = 11;
    double f = h - 30.0 * i;
    return float(h + (f * table[i + 1] + (30.0 - f) * table[i]) / 30.0);
}

COverlayMovingTarget::COverlayMovingTarget(uint32_t id)
    : COverlayObject(kKindMovingTarget, id), m_colour(CMovingTargetSettings::Global().ownColour)
{
}

double COverlayMovingTarget::VectorLengthMetres(float speed)
{
    // Metres per minute at one knot.
    return CMovingTargetSettings::Global().vectorScale * 30.866666666666667 * speed;
}

void COverlayMovingTarget::UpdateScreenPoints(ScreenPoints& record, const CPolynomialProjection& chart)
{
    record.Reset();
    if ((m_latitude == 0 && m_longitude == 0) || !HasPosition()) {
        record.ComputeBounds();
        return;
    }
    double x = 0, y = 0;
    if (!chart.IsValid() || !chart.LatLonToPoint(m_latitude, m_longitude, x, y)) {
        record.ComputeBounds();
        return;
    }
    record.mapPoints.reserve(2);
    record.mapPoints.push_back(CPolyPoint{x, y});
    float cosine = 1, sine = 0;
    chart.NorthAt(x, y, cosine, sine);
    record.northX = cosine;
    record.northY = sine;
    record.hitMode = ScreenPoints::kHitPoints;
    record.hitPointCount = 1;

    float speed = 0;
    switch (m_mode) {
    case kModeHeading:
    case kModeAveragedCourse:
        speed = m_averagedSpeed;
        break;
    case kModeCourseOverGround:
        speed = m_sog;
        break;
    default:
        record.ComputeBounds();
        return;
    }
    if (speed > 0.2f && CMovingTargetSettings::Global().showVector && m_plane.IsUsable()) {
        double length = VectorLengthMetres(speed);
        double lat = 0, lon = 0;
        m_plane.FromXY(m_currentEast * length, m_currentNorth * length, lat, lon);
        double ex = 0, ey = 0;
        if (chart.LatLonToPoint(lat, lon, ex, ey))
            record.mapPoints.push_back(CPolyPoint{ex, ey});
    }
    record.ComputeBounds();
}

void COverlayMovingTarget::Draw(QPainter& context, const CViewTransform& view, ScreenPoints& record)
{
    DrawVector(context, view, record);
}

void COverlayMovingTarget::DrawVector(QPainter& context, const CViewTransform& view, ScreenPoints& record)
{
    if (record.screenPoints.size() < 2)
        return;
    (void)view;
    // Only the pen, brush and antialiasing change: putting those back costs
    // far less than saving and restoring the whole painter state, which
    // counts with thousands of targets.
    const QPen oldPen = context.pen();
    const QBrush oldBrush = context.brush();
    const bool antialiased = context.testRenderHint(QPainter::Antialiasing);
    DrawVectorKeepingState(context, record);
    context.setRenderHint(QPainter::Antialiasing, antialiased);
    context.setPen(oldPen);
    context.setBrush(oldBrush);
}

void COverlayMovingTarget::DrawVectorKeepingState(QPainter& context, const ScreenPoints& record)
{
    if (record.screenPoints.size() < 2)
        return;
    const double scale = GetScaleFactor();
    const CPolyPoint& a = record.screenPoints[0];
    const CPolyPoint& b = record.screenPoints[1];
    context.setRenderHint(QPainter::Antialiasing, true);
    QPen pen(m_colour.ToQColor());
    pen.setWidthF(m_lineWidth * scale);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    context.setPen(pen);
    context.setBrush(Qt::NoBrush);
    context.drawLine(QPointF(a.x, a.y), QPointF(b.x, b.y));
    // Arrow head along the vector's direction on the screen.
    double dx = b.x - a.x, dy = b.y - a.y;
    double len = std::hypot(dx, dy);
    if (len > 0) {
        double ux = dx / len, uy = dy / len;
        double arm = 5.0 * scale;
        QPointF head[3] = {
            QPointF(b.x - arm * (ux - uy * 0.6), b.y - arm * (uy + ux * 0.6)),
            QPointF(b.x, b.y),
            QPointF(b.x - arm * (ux + uy * 0.6), b.y - arm * (uy - ux * 0.6)),
        };
        context.drawPolyline(head, 3);
    }
}
