#include "instruments/data/DataGPSPosition.h"

#include <cmath>

bool CDataGPSPosition::FixStatusFromGGAQuality(uint32_t quality, uint8_t& status)
{
    static constexpr uint8_t kMap[9] = {kNoFix,
                                        kGPSFix,
                                        kDifferentialFix,
                                        kPrecisePositioning,
                                        kRealTimeKinematic,
                                        kRealTimeKinematic,
                                        kEstimatedFix,
                                        kManualInput,
                                        kSimulatedFix};
    if (quality >= 9)
        return false;
    status = kMap[quality];
    return true;
}

void CDataGPSPosition::SetPosition(double latitude, double longitude)
{
    m_latitude = latitude;
    m_longitude = longitude;
    m_plane.SetOrigin(latitude, longitude);
}

void CFixAverager::SampleRing::push_back(const Sample& s)
{
    if (m_count == kCapacity)
        pop_front();
    m_items[(m_first + m_count) % kCapacity] = s;
    ++m_count;
}

void CFixAverager::SampleRing::pop_front()
{
    if (m_count == 0)
        return;
    m_first = (m_first + 1) % kCapacity;
    --m_count;
}

bool CFixAverager::TakeSample(CDataGPSPosition& fix, double t, double averagingTime)
{
    if (!fix.HasPosition() || !std::isfinite(t) || !std::isfinite(averagingTime))
        return false;
    // A clock that went back (a rewound log) makes the old samples meaningless.
    if (!m_samples.empty() && t <= m_samples.back().time)
        m_samples.clear();
    m_nextSampleTime = t + averagingTime / 10;
    m_samples.push_back({fix.m_latitude, fix.m_longitude, t});

    if (m_samples.size() >= 2) {
        const Sample& oldest = m_samples.front();
        const double hours = (t - oldest.time) / 3600;
        double x = 0, y = 0;
        fix.m_plane.ToXY(oldest.latitude, oldest.longitude, x, y);
        // The oldest sample lies behind: the way travelled is its offset reversed.
        const double east = x / -1852 / hours;
        const double north = y / -1852 / hours;
        fix.SetAveragedVelocity(east, north);
    }

    const double keepAfter = t - averagingTime;
    while (!m_samples.empty() && m_samples.front().time <= keepAfter)
        m_samples.pop_front();
    return true;
}

void CFixAverager::Reset()
{
    m_samples.clear();
    m_nextSampleTime = 0;
}
