#include "instruments/data/DataSpeedDirection.h"

#include "geodesy/LocalPlane.h"

#include <cmath>

double NormalizeDegrees360(double angle)
{
    double a = std::fmod(angle, 360.0);
    if (a < 0)
        a += 360.0;
    // fmod of a tiny negative value plus 360 can round to 360 itself.
    return a >= 360.0 ? 0.0 : a;
}

double NormalizeDegrees180(double angle)
{
    double d = NormalizeDegrees360(angle);
    if (d >= 180.0)
        d -= 360.0;
    return d;
}

CDataSpeedDirection::SourceSettings& CDataSpeedDirection::Settings()
{
    static SourceSettings settings;
    return settings;
}

float CDataSpeedDirection::DampHeading(HeadingDamper& damper, float newHeading, double t,
                                       float defaultTimeConstant)
{
    const double dt = t - damper.lastTime;
    if (damper.timeConstant < 0) {
        damper.timeConstant = defaultTimeConstant;
        damper.reciprocal = damper.timeConstant > 0 ? 1.0f / damper.timeConstant : 0.0f;
    }
    // An unknown damped heading has nothing to damp from: the new heading is
    // taken as it is (after a reset or a gap in the compass data).
    if (dt > 0 && dt <= damper.timeConstant && !IsUnknownAngle(damper.heading) &&
        std::isfinite(damper.heading)) {
        const double d = NormalizeDegrees180(static_cast<double>(newHeading) - damper.heading);
        damper.heading = static_cast<float>(NormalizeDegrees360(damper.heading + dt * damper.reciprocal * d));
    } else {
        damper.heading = newHeading;
    }
    damper.lastTime = t;
    return damper.heading;
}

float CDataSpeedDirection::GetDirection() const
{
    switch (m_mode) {
    case kModeCourseOverGround:
        return m_cog;
    case kModeAveragedCourse:
        return m_averagedCourse;
    case kModeHeading:
        return m_damper.heading;
    default:
        return kUnknownAngle;
    }
}

float CDataSpeedDirection::GetSpeed() const
{
    switch (m_mode) {
    case kModeCourseOverGround:
        return m_sog;
    case kModeAveragedCourse:
    case kModeHeading:
        return m_averagedSpeed;
    default:
        return 0;
    }
}

void CDataSpeedDirection::SelectSource()
{
    if (m_sog > 0.3f) {
        m_mode = kModeCourseOverGround;
        m_currentEast = m_courseEast;
        m_currentNorth = m_courseNorth;
    } else if (!IsUnknownAngle(m_damper.heading)) {
        m_mode = kModeHeading;
        m_currentEast = m_headingEast;
        m_currentNorth = m_headingNorth;
    } else if (m_averagedSpeed > 0.1f && Settings().useAveragedDirection) {
        m_mode = kModeAveragedCourse;
        m_currentEast = m_averagedEast;
        m_currentNorth = m_averagedNorth;
    } else {
        m_mode = kModeNone;
        m_currentEast = 0;
        m_currentNorth = 0;
    }
}

bool CDataSpeedDirection::DeviatesFromAverage() const
{
    if (m_mode != kModeCourseOverGround || !(m_sog > 0.5f || m_averagedSpeed > 0.5f))
        return false;
    const double dx = m_currentEast * m_sog - m_averagedEast * m_averagedSpeed;
    const double dy = m_currentNorth * m_sog - m_averagedNorth * m_averagedSpeed;
    const double limit = (m_sog + m_averagedSpeed + 2.0) / 8.0;
    return dx * dx + dy * dy > limit * limit;
}

void CDataSpeedDirection::Reset()
{
    m_sog = 0;
    m_cog = kUnknownAngle;
    m_averagedSpeed = 0;
    m_averagedCourse = kUnknownAngle;
    m_damper.timeConstant = -1;
    m_damper.heading = kUnknownAngle;
    m_currentEast = m_currentNorth = 0;
    m_mode = kModeNone;
    m_averagedEast = m_averagedNorth = 0;
    m_headingEast = m_headingNorth = 0;
    m_courseEast = m_courseNorth = 0;
}

void CDataSpeedDirection::SetCourseSpeed(float course, float speed)
{
    m_cog = (IsUnknownAngle(course) || !std::isfinite(course)) ? kUnknownAngle : course;
    if (speed > 0.1f && std::isfinite(speed)) {
        m_sog = speed;
        CourseToVector(m_cog, m_courseEast, m_courseNorth);
    } else {
        m_sog = 0;
        m_courseEast = m_courseNorth = 0;
    }
}

void CDataSpeedDirection::SetHeading(float heading, double time)
{
    if (IsUnknownAngle(heading) || !std::isfinite(heading) || !std::isfinite(time)) {
        m_damper.heading = kUnknownAngle;
        m_headingEast = m_headingNorth = 0;
        return;
    }
    const float h = static_cast<float>(NormalizeDegrees360(heading));
    DampHeading(m_damper, h, time, Settings().compassDampingTimeConst);
    CourseToVector(m_damper.heading, m_headingEast, m_headingNorth);
}

void CDataSpeedDirection::SetAveragedVelocity(double east, double north)
{
    const double speed = std::hypot(east, north);
    if (!std::isfinite(speed)) {
        m_averagedSpeed = 0;
        m_averagedCourse = kUnknownAngle;
        m_averagedEast = m_averagedNorth = 0;
        return;
    }
    m_averagedSpeed = static_cast<float>(speed);
    if (speed > 0.1) {
        m_averagedEast = static_cast<float>(east / speed);
        m_averagedNorth = static_cast<float>(north / speed);
        m_averagedCourse = VectorToCourse(m_averagedNorth, m_averagedEast);
    } else {
        m_averagedEast = m_averagedNorth = 0;
        m_averagedCourse = kUnknownAngle;
    }
}
