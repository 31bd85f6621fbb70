#pragma once
// The own speed and direction as the rest of the system reads it: course and
// speed over ground, the averaged course and speed, the damped compass
// heading, and which of them is the current direction source. Angles are
// degrees 0..360 clockwise from north (999 when unknown), speeds knots.
#include "geodesy/Sentinels.h"

#include <cstdint>

class CDataSpeedDirection
{
public:
    // Direction sources.
    enum : uint32_t {
        kModeNone = 0,
        kModeHeading = 1,
        kModeAveragedCourse = 2,
        kModeCourseOverGround = 3,
    };

    // The settings that steer the source choice and the damping. They belong
    // to the own-ship settings; the map view fills them when it loads them.
    struct SourceSettings
    {
        bool useAveragedDirection = false;    // "use_averaged_direction"
        float compassDampingTimeConst = 1.0f; // "compass_damping_time_const", seconds
    };
    static SourceSettings& Settings();

    // First-order damping of the compass heading, taken the short way round.
    struct HeadingDamper
    {
        float reciprocal = 0;    // 1 / time constant; 0 when the constant is not positive
        float timeConstant = -1; // seconds; below 0: take the setting on first use
        float heading = kUnknownAngle;
        double lastTime = 0; // seconds
    };
    // Damps a heading 0..360 arriving at time t with the default constant for
    // an unset damper; returns the damped heading.
    static float DampHeading(HeadingDamper& damper, float newHeading, double t, float defaultTimeConstant);

    CDataSpeedDirection() = default;
    virtual ~CDataSpeedDirection() = default;

    // Mode 3: COG; mode 2: the averaged course; mode 1: the damped heading; else 999.
    float GetDirection() const;
    // Mode 3: SOG; modes 1 and 2: the averaged speed; else 0.
    float GetSpeed() const;
    // Picks the direction source from what is known now (run on every fix).
    void SelectSource();
    // Whether the present velocity differs from the averaged one by more than
    // its own spread (track recording keeps such points).
    bool DeviatesFromAverage() const;
    // Back to "nothing known".
    void Reset();

    // Stores the course (unknown or non-finite gives 999) and, above 0.1 kn,
    // the speed and the course vector; slower counts as standing still.
    void SetCourseSpeed(float course, float speed);
    // A heading of 900 or more (or not finite) is unknown; otherwise it is
    // brought into 0..360, damped and its vector stored. Time in seconds.
    void SetHeading(float heading, double time);
    // The averaged velocity in knots (east, north): its length is the averaged
    // speed; above 0.1 kn it also gives the averaged course and vector.
    void SetAveragedVelocity(double east, double north);

    float m_sog = 0;
    float m_cog = kUnknownAngle;
    float m_averagedSpeed = 0;
    float m_averagedCourse = kUnknownAngle;
    HeadingDamper m_damper;
    float m_currentEast = 0; // unit vector of the current source
    float m_currentNorth = 0;
    uint32_t m_mode = kModeNone;
    float m_averagedEast = 0;
    float m_averagedNorth = 0;
    float m_headingEast = 0;
    float m_headingNorth = 0;
    float m_courseEast = 0;
    float m_courseNorth = 0;

    float GetHeading() const { return m_damper.heading; }
};

// Brings any finite angle into 0 <= a < 360.
double NormalizeDegrees360(double angle);
// Brings any finite angle difference into -180 <= d < 180.
double NormalizeDegrees180(double angle);
