#pragma once
// The own fix: a speed and direction with a position, its time and quality,
// and a local plane centred on the position for cheap distances around it.
#include "geodesy/LocalPlane.h"
#include "geodesy/Sentinels.h"
#include "instruments/data/DataSpeedDirection.h"

#include <array>
#include <cstddef>
#include <cstdint>

class CDataGPSPosition : public CDataSpeedDirection
{
public:
    // Fix status values.
    enum : uint8_t {
        kNoFix = 0,
        kGPSFix = 1,
        kDifferentialFix = 2,
        kSimulatedFix = 3, // any fix from a connection flagged as simulated
        kEstimatedFix = 4,
        kRealTimeKinematic = 5,
        kPrecisePositioning = 6,
        kManualInput = 7,
    };

    // The fix status of a GGA quality indicator; qualities above 8 have none
    // (false, `status` untouched).
    static bool FixStatusFromGGAQuality(uint32_t quality, uint8_t& status);

    CDataGPSPosition() = default;

    // Stores the position and centres the local plane on it.
    void SetPosition(double latitude, double longitude);
    // A usable position: not the 999 marker, not (0, 0), finite and on the globe.
    bool HasPosition() const { return IsValidPosition(m_latitude, m_longitude); }

    double m_latitude = kNoPosition;
    double m_longitude = kNoPosition;
    double m_fixTime = 0; // seconds since 1970 (UTC)
    float m_altitude = 0; // metres
    float m_hdop = 0;
    uint8_t m_fixStatus = kNoFix;
    CLocalPlane m_plane;
};

// Turns a run of fixes into an averaged course and speed: a sample every
// tenth of the averaging time, and the velocity from the oldest sample kept
// to the newest fix.
class CFixAverager
{
public:
    struct Sample
    {
        double latitude;
        double longitude;
        double time;
    };

    // Whether a fix at time t is due to be sampled.
    bool IsSampleDue(double t) const { return t > m_nextSampleTime; }
    // Takes a sample of `fix` (its position, plane and time `t`) and sets the
    // fix's averaged course and speed from the oldest sample kept. Samples no
    // later than t - averagingTime are dropped afterwards. Returns false,
    // changing nothing, for a position or time that is not usable.
    bool TakeSample(CDataGPSPosition& fix, double t, double averagingTime);
    // Forgets every sample (the data source was restarted or rewound).
    void Reset();

    // The samples kept, oldest first. Taken every tenth of the averaging time
    // and kept for the whole of it, they never number more than eleven; the
    // ring holds them without touching the heap on the fix path.
    class SampleRing
    {
    public:
        static constexpr size_t kCapacity = 16;
        bool empty() const { return m_count == 0; }
        size_t size() const { return m_count; }
        const Sample& operator[](size_t i) const { return m_items[(m_first + i) % kCapacity]; }
        const Sample& front() const { return (*this)[0]; }
        const Sample& back() const { return (*this)[m_count - 1]; }
        // When full, the oldest sample makes room.
        void push_back(const Sample& s);
        void pop_front();
        void clear() { m_first = m_count = 0; }

        class const_iterator
        {
        public:
            const_iterator(const SampleRing* ring, size_t i) : m_ring(ring), m_i(i) {}
            const Sample& operator*() const { return (*m_ring)[m_i]; }
            const Sample* operator->() const { return &(*m_ring)[m_i]; }
            const_iterator& operator++()
            {
                ++m_i;
                return *this;
            }
            bool operator!=(const const_iterator& o) const { return m_i != o.m_i; }
            bool operator==(const const_iterator& o) const { return m_i == o.m_i; }

        private:
            const SampleRing* m_ring;
            size_t m_i;
        };
        const_iterator begin() const { return {this, 0}; }
        const_iterator end() const { return {this, m_count}; }

    private:
        std::array<Sample, kCapacity> m_items{};
        size_t m_first = 0;
        size_t m_count = 0;
    };

    const SampleRing& Samples() const { return m_samples; }
    double NextSampleTime() const { return m_nextSampleTime; }

private:
    SampleRing m_samples;
    double m_nextSampleTime = 0;
};
