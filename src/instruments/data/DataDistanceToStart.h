#pragma once
// The own ship against the start line: its distance to the line (positive
// on the approach side), the time left to the start and, while the boat is
// closing on the line before the start, the time it has to spare ("time to
// burn") at its present speed.
#include "foundation/events/Listener.h"
#include "geodesy/LocalPlane.h"
#include "instruments/data/DataGPSPosition.h"
#include "instruments/data/DataStartTimer.h"

#include <cstdint>

class CDataDistanceToStart : Listener<CDataStartTimer>, Listener<CDataGPSPosition>, Listener<CDataStartLine>
{
public:
    // Lines shorter or longer than these are taken as mistakes, not lines.
    static constexpr double kMinLineLength = 5;         // metres
    static constexpr double kMaxLineLength = 10000;     // metres
    static constexpr double kKnot = 0.5144444444444445; // metres per second

    CDataDistanceToStart() = default;

    // The one object that follows the own fix.
    static CDataDistanceToStart& Global();

    double m_timeToStart = 0; // seconds
    double m_distance = 0;    // metres, positive on the approach side
    bool m_distanceValid = false;
    double m_timeToBurn = 0; // seconds
    bool m_burnValid = false;
    bool m_hasLine = false;
    CLocalPlane m_plane;     // origin at the right end while there is a line
    double m_normalEast = 0; // unit normal from the approach side across the line
    double m_normalNorth = 0;

private:
    void Notify(const CDataStartTimer& timer) override;
    void Notify(const CDataGPSPosition& fix) override;
    void Notify(const CDataStartLine& line) override;
    void Compute();

    // What the computation needs of the last fix.
    struct Fix
    {
        double latitude = kNoPosition;
        double longitude = kNoPosition;
        uint8_t status = CDataGPSPosition::kNoFix;
        uint32_t mode = CDataSpeedDirection::kModeNone;
        float sog = 0;
        float directionEast = 0;
        float directionNorth = 0;
    } m_fix;
};
