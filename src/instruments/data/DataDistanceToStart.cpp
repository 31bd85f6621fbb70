#include "instruments/data/DataDistanceToStart.h"

#include "foundation/events/Heartbeat.h"

#include <cmath>

CDataDistanceToStart& CDataDistanceToStart::Global()
{
    static CDataDistanceToStart distance;
    return distance;
}

void CDataDistanceToStart::Notify(const CDataStartTimer&)
{
    Compute();
}

void CDataDistanceToStart::Notify(const CDataGPSPosition& fix)
{
    m_fix.latitude = fix.m_latitude;
    m_fix.longitude = fix.m_longitude;
    m_fix.status = fix.m_fixStatus;
    m_fix.mode = fix.m_mode;
    m_fix.sog = fix.m_sog;
    m_fix.directionEast = fix.m_currentEast;
    m_fix.directionNorth = fix.m_currentNorth;
    Compute();
}

void CDataDistanceToStart::Notify(const CDataStartLine& line)
{
    m_distanceValid = false;
    m_burnValid = false;
    m_hasLine = false;
    m_plane = CLocalPlane();
    // A line without its right end is no line: the old one must not stay.
    if (!line.HasRightEnd() || !IsValidPosition(line.m_rightLat, line.m_rightLon) ||
        !IsValidPosition(line.m_leftLat, line.m_leftLon))
        return;
    CLocalPlane plane(line.m_rightLat, line.m_rightLon);
    if (!plane.IsUsable())
        return;
    double x, y;
    plane.ToXY(line.m_leftLat, line.m_leftLon, x, y);
    const double length = std::hypot(x, y);
    if (!(length >= kMinLineLength && length <= kMaxLineLength))
        return;
    m_plane = plane;
    m_hasLine = true;
    m_normalEast = y / length;
    m_normalNorth = -x / length;
    Compute();
}

void CDataDistanceToStart::Compute()
{
    m_distanceValid = false;
    m_burnValid = false;
    if (!m_hasLine || m_fix.status == CDataGPSPosition::kNoFix ||
        !IsValidPosition(m_fix.latitude, m_fix.longitude))
        return;
    double x, y;
    m_plane.ToXY(m_fix.latitude, m_fix.longitude, x, y);
    m_distance = -(x * m_normalEast + y * m_normalNorth);
    m_distanceValid = true;
    m_timeToStart = CDataStartTimer::Global().m_timeOfStart - CHeartbeat::GetTime();
    if (m_timeToStart > 0 && m_distance > 0 && m_fix.mode == CDataSpeedDirection::kModeCourseOverGround) {
        const double closing =
            m_fix.sog * (m_normalEast * m_fix.directionEast + m_normalNorth * m_fix.directionNorth);
        if (closing > 0.1) {
            const double timeToLine = m_distance / (closing * kKnot);
            m_timeToBurn = timeToLine - m_timeToStart;
            m_burnValid = true;
        }
    }
    FireEvent<CDataDistanceToStart>(*this);
}
