#include "instruments/data/DataTrueWind.h"

#include "instruments/data/DataSpeedDirection.h"

#include <cmath>

namespace {

constexpr float kEmptyMinimum = 1e30f;
constexpr float kEmptyMaximum = -1e30f;

} // namespace

CDataTrueWind::CDataTrueWind()
{
    m_current.timeConstant = kDefaultTimeConstant;
    m_average.timeConstant = kDefaultAverageTimeConstant;
    UpdateReciprocals();
    ResetRange(m_currentRange, kCurrentSpan);
    ResetRange(m_averageRange, kAverageSpan);
}

CDataTrueWind& CDataTrueWind::Global()
{
    static CDataTrueWind wind;
    static Persistant settings(wind);
    return wind;
}

double CDataTrueWind::ReciprocalOf(float timeConstant)
{
    return timeConstant > 0.1f ? 1.0 / timeConstant : 10.0;
}

void CDataTrueWind::UpdateReciprocals()
{
    m_current.reciprocal = ReciprocalOf(m_current.timeConstant);
    m_average.reciprocal = ReciprocalOf(m_average.timeConstant);
}

bool CDataTrueWind::SetWind(Filter& filter, float direction, float speed, double time)
{
    if (!std::isfinite(direction) || !std::isfinite(speed) || speed < 0 || !std::isfinite(time))
        return false;
    const double radians = direction * (M_PI / 180.0);
    const double inEast = std::sin(radians) * speed;
    const double inNorth = std::cos(radians) * speed;

    const double dt = time - filter.lastTime;
    if (dt <= 0 || dt > filter.timeConstant) {
        filter.east = inEast;
        filter.north = inNorth;
    } else {
        filter.east += dt * filter.reciprocal * (inEast - filter.east);
        filter.north += dt * filter.reciprocal * (inNorth - filter.north);
    }

    const double length = std::hypot(filter.east, filter.north);
    filter.speed = static_cast<float>(length);
    if (length > 0.1) {
        filter.unitEast = static_cast<float>(filter.east / length);
        filter.unitNorth = static_cast<float>(filter.north / length);
        filter.direction =
            static_cast<float>(NormalizeDegrees360(std::atan2(filter.east, filter.north) * (180.0 / M_PI)));
    } else {
        filter.unitEast = filter.unitNorth = 0;
        filter.direction = 0;
    }
    filter.lastTime = time;
    return true;
}

bool CDataTrueWind::RecordRange(RangeTracker& tracker, float value, double time)
{
    if (!std::isfinite(value) || !std::isfinite(time))
        return false;
    if (time < tracker.bucketStart) {
        // The clock went back (a rewound log): the extremes kept belong to a
        // time line that no longer exists.
        const double length = tracker.bucketLength;
        ResetRange(tracker, length * 10);
        tracker.bucketStart = time;
    } else if (time - tracker.bucketStart > tracker.bucketLength) {
        tracker.index = (tracker.index + 1) % 10;
        tracker.bucketStart = time;
        tracker.minima[tracker.index] = kEmptyMinimum;
        tracker.maxima[tracker.index] = kEmptyMaximum;
    }
    float& low = tracker.minima[tracker.index];
    float& high = tracker.maxima[tracker.index];
    if (value < low)
        low = value;
    if (value > high)
        high = value;
    return true;
}

float CDataTrueWind::GetGust(const RangeTracker& tracker)
{
    float gust = kEmptyMaximum;
    for (float m : tracker.maxima)
        if (m > gust)
            gust = m;
    return gust;
}

float CDataTrueWind::GetMinimum(const RangeTracker& tracker)
{
    float low = kEmptyMinimum;
    for (float m : tracker.minima)
        if (m < low)
            low = m;
    return low;
}

void CDataTrueWind::GetSpeedRange(const RangeTracker& tracker, float& minimum, float& maximum)
{
    minimum = GetMinimum(tracker);
    maximum = GetGust(tracker);
}

void CDataTrueWind::ResetRange(RangeTracker& tracker, double span)
{
    tracker.bucketLength = span * 0.1;
    tracker.index = 0;
    tracker.bucketStart = 0;
    tracker.minima.fill(kEmptyMinimum);
    tracker.maxima.fill(kEmptyMaximum);
}

void CDataTrueWind::SetRangeSpan(RangeTracker& tracker, double span)
{
    tracker.bucketLength = span * 0.1;
}

bool CDataTrueWind::AddReading(float direction, float speed, double time)
{
    if (!SetWind(m_current, direction, speed, time))
        return false;
    RecordRange(m_currentRange, m_current.speed, time);
    SetWind(m_average, direction, speed, time);
    RecordRange(m_averageRange, m_average.speed, time);
    return true;
}

void CDataTrueWind::Persistant::Exchange()
{
    ExchangeFloat("time_constant", m_wind.m_current.timeConstant);
    ExchangeFloat("avg_wind_time_constant", m_wind.m_average.timeConstant);
    if (IsLoading()) {
        // A damaged value must not stall or blow up the filters.
        if (!std::isfinite(m_wind.m_current.timeConstant))
            m_wind.m_current.timeConstant = kDefaultTimeConstant;
        if (!std::isfinite(m_wind.m_average.timeConstant))
            m_wind.m_average.timeConstant = kDefaultAverageTimeConstant;
        m_wind.UpdateReciprocals();
    }
}
