#pragma once
// The race start: the start time with its countdown period, and the start
// line between its two marked ends. Both are settings objects, published to
// their listeners whenever they change.
#include "foundation/settings/PersistantData.h"

#include <cstdint>
#include <string>

class CDataStartTimer
{
public:
    static constexpr int32_t kDefaultPeriodMinutes = 5;
    static constexpr int32_t kMaxPeriodMinutes = 1440;

    // The one timer (made before the settings are read).
    static CDataStartTimer& Global();

    double m_timeOfStart = 0; // seconds since 1970 (UTC); 0 = none
    int32_t m_periodMinutes = kDefaultPeriodMinutes;
    std::string m_afterStartLayout; // panel layout to show after the start
    bool m_newTrackAtStart = false;

    // Settings object "CDataStartTimer".
    class Persistant : public PersistantData
    {
    public:
        explicit Persistant(CDataStartTimer& timer) : PersistantData("CDataStartTimer"), m_timer(timer) {}
        void Exchange() override;

    private:
        CDataStartTimer& m_timer;
    };
    static Persistant& Settings();
};

// "Left" and "right" are the ends as seen from the side the line is
// approached from. An end at latitude and longitude both 0 is not set; a
// single coordinate of 0 (the equator, the prime meridian) is a position.
class CDataStartLine
{
public:
    static CDataStartLine& Global();

    double m_leftLat = 0; // degrees
    double m_leftLon = 0;
    double m_rightLat = 0;
    double m_rightLon = 0;
    float m_axis = 0; // degrees, the course axis

    static bool IsEndSet(double lat, double lon) { return !(lat == 0 && lon == 0); }
    bool HasLeftEnd() const { return IsEndSet(m_leftLat, m_leftLon); }
    bool HasRightEnd() const { return IsEndSet(m_rightLat, m_rightLon); }

    // Settings object "CDataStartLine"; the loaded line is published at the
    // end of the load so that everything computed from it starts at once.
    class Persistant : public PersistantData
    {
    public:
        explicit Persistant(CDataStartLine& line) : PersistantData("CDataStartLine"), m_line(line) {}
        void Exchange() override;

    private:
        CDataStartLine& m_line;
    };
    static Persistant& Settings();
};
