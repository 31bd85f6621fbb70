#include "instruments/data/DataStartTimer.h"

#include "foundation/events/Listener.h"

#include <cmath>

CDataStartTimer& CDataStartTimer::Global()
{
    static CDataStartTimer timer;
    return timer;
}

CDataStartTimer::Persistant& CDataStartTimer::Settings()
{
    static Persistant settings(Global());
    return settings;
}

CDataStartLine& CDataStartLine::Global()
{
    static CDataStartLine line;
    return line;
}

CDataStartLine::Persistant& CDataStartLine::Settings()
{
    static Persistant settings(Global());
    return settings;
}

namespace {

// A damaged coordinate in the file must not place an end off the globe.
void KeepCoordinate(double& value, double limit)
{
    if (!std::isfinite(value) || std::fabs(value) > limit)
        value = 0;
}
} // namespace

void CDataStartTimer::Persistant::Exchange()
{
    ExchangeDouble("time_of_start", m_timer.m_timeOfStart);
    uint32_t period = uint32_t(m_timer.m_periodMinutes);
    ExchangeHex("period_minutes", period);
    ExchangeString("after_start_layout", m_timer.m_afterStartLayout);
    ExchangeBool("new_track_at_start", m_timer.m_newTrackAtStart);
    if (IsLoading()) {
        m_timer.m_periodMinutes =
            period <= uint32_t(kMaxPeriodMinutes) ? int32_t(period) : kDefaultPeriodMinutes;
        if (!std::isfinite(m_timer.m_timeOfStart) || m_timer.m_timeOfStart < 0)
            m_timer.m_timeOfStart = 0;
    }
}

void CDataStartLine::Persistant::Exchange()
{
    ExchangeDouble("left_lat", m_line.m_leftLat);
    ExchangeDouble("left_lon", m_line.m_leftLon);
    ExchangeDouble("right_lat", m_line.m_rightLat);
    ExchangeDouble("right_lon", m_line.m_rightLon);
    ExchangeFloat("axis", m_line.m_axis);
    if (IsLoading()) {
        KeepCoordinate(m_line.m_leftLat, 90);
        KeepCoordinate(m_line.m_leftLon, 180);
        KeepCoordinate(m_line.m_rightLat, 90);
        KeepCoordinate(m_line.m_rightLon, 180);
        FireEvent<CDataStartLine>(m_line);
    }
}
