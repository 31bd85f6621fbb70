#pragma once
// The smoothed true wind: a short filter (the wind now) and a long one (the
// average wind), each with a tracker of the lowest and highest speeds over
// its span, kept in ten buckets so that old extremes fall out bucket by bucket.
#include "foundation/settings/PersistantData.h"

#include <array>
#include <cstdint>

class CDataTrueWind
{
public:
    // First-order smoothing of the wind vector.
    struct Filter
    {
        float timeConstant = 10.0f; // seconds
        double reciprocal = 0.1;    // 1 / time constant
        double east = 0;            // smoothed vector, knots
        double north = 0;
        float unitEast = 0;
        float unitNorth = 0;
        double lastTime = 0; // seconds
        float direction = 0; // degrees true, the wind's origin
        float speed = 0;     // knots
    };

    // Lowest and highest values over ten buckets.
    struct RangeTracker
    {
        std::array<float, 10> minima{};
        std::array<float, 10> maxima{};
        uint32_t index = 0;
        double bucketStart = 0;
        double bucketLength = 60;
    };

    static constexpr float kDefaultTimeConstant = 10.0f;
    static constexpr float kDefaultAverageTimeConstant = 300.0f;
    static constexpr double kCurrentSpan = 600;  // ten minutes
    static constexpr double kAverageSpan = 1800; // thirty minutes

    CDataTrueWind();
    virtual ~CDataTrueWind() = default;

    // The one wind of the application (made before the settings are read).
    static CDataTrueWind& Global();

    // Feeds a wind from `direction` (degrees) at `speed` (knots) at `time`
    // (seconds). False, changing nothing, for non-finite or negative input.
    static bool SetWind(Filter& filter, float direction, float speed, double time);
    // Counts `value` at `time` into the tracker's current bucket, moving on
    // to the next bucket when the current one is full.
    static bool RecordRange(RangeTracker& tracker, float value, double time);
    // The largest bucket maximum (-1e30 before any value).
    static float GetGust(const RangeTracker& tracker);
    // The smallest bucket minimum (1e30 before any value).
    static float GetMinimum(const RangeTracker& tracker);
    static void GetSpeedRange(const RangeTracker& tracker, float& minimum, float& maximum);
    // Empties the tracker so that its ten buckets cover `span` seconds.
    static void ResetRange(RangeTracker& tracker, double span);
    // Changes only the bucket length (span / 10).
    static void SetRangeSpan(RangeTracker& tracker, double span);

    // 1 / time constant for a constant above 0.1 s, else 10.
    static double ReciprocalOf(float timeConstant);
    // Sets both filters' reciprocals from their time constants.
    void UpdateReciprocals();

    // Feeds both filters and trackers with one wind reading (the MWD feed).
    bool AddReading(float direction, float speed, double time);

    Filter m_current;
    RangeTracker m_currentRange;
    Filter m_average;
    RangeTracker m_averageRange;

    // Settings object "CDataTrueWind" of the global wind.
    class Persistant : public PersistantData
    {
    public:
        explicit Persistant(CDataTrueWind& wind) : PersistantData("CDataTrueWind"), m_wind(wind) {}
        void Exchange() override;

    private:
        CDataTrueWind& m_wind;
    };
};
