#pragma once
// The satellite view of the receiver: up to 24 satellites with their place in
// the sky and signal strength, and how many are in view and used in the fix.
#include <array>
#include <cstdint>

class CDataGPSSatelliteSignals
{
public:
    static constexpr int kMaxSatellites = 24;

    struct Satellite
    {
        uint16_t prn = 0;      // 0: empty entry
        int16_t elevation = 0; // degrees
        bool used = false;     // used in the fix
        uint16_t azimuth = 0;  // degrees
        uint16_t snr = 0;      // dB
    };

    CDataGPSSatelliteSignals() = default;
    virtual ~CDataGPSSatelliteSignals() = default;

    // Empties every entry (the first message of a new satellite sequence).
    void ClearSatellites();
    // Fills entry `index` (0..23); false, changing nothing, outside that range.
    // Values outside their field's range are clamped to it.
    bool SetSatellite(int index, int prn, int elevation, int azimuth, int snr, bool used);
    // The number of non-empty entries.
    int CountEntries() const;

    std::array<Satellite, kMaxSatellites> m_satellites{};
    uint32_t m_satellitesInView = 0;
    uint32_t m_satellitesUsed = 0;
};
