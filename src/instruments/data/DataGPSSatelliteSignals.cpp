#include "instruments/data/DataGPSSatelliteSignals.h"

#include <algorithm>

namespace {

template <class T> T Clamp(int value, int low, int high)
{
    return static_cast<T>(std::clamp(value, low, high));
}

} // namespace

void CDataGPSSatelliteSignals::ClearSatellites()
{
    m_satellites.fill(Satellite{});
}

bool CDataGPSSatelliteSignals::SetSatellite(int index, int prn, int elevation, int azimuth, int snr,
                                            bool used)
{
    if (index < 0 || index >= kMaxSatellites)
        return false;
    Satellite& s = m_satellites[static_cast<size_t>(index)];
    s.prn = Clamp<uint16_t>(prn, 0, 0xFFFF);
    s.elevation = Clamp<int16_t>(elevation, -90, 90);
    s.azimuth = Clamp<uint16_t>(azimuth, 0, 360);
    s.snr = Clamp<uint16_t>(snr, 0, 0xFFFF);
    s.used = used;
    return true;
}

int CDataGPSSatelliteSignals::CountEntries() const
{
    return static_cast<int>(std::count_if(m_satellites.begin(), m_satellites.end(),
                                          [](const Satellite& s) { return s.prn != 0; }));
}
