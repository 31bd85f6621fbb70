#pragma once
// The progress bar and the time-left estimate of the progress dialog, as
// plain arithmetic on the dialog's quarter-second ticks.
#include <cstdint>
#include <string>

// "1 hour , 2 minutes", "5 minutes", "1 minute, 1 second ", "20 seconds":
// each singular number is followed by a space where the plural has its 's'.
std::string FormatTimeRemaining(int32_t seconds);

class CProgressEstimate
{
public:
    static constexpr double kTickSeconds = 0.25;

    struct Update
    {
        bool has_bar = false; // the total is known: the bar shows `bar`
        double bar = 0.0;     // 0..1
        bool has_estimate = false;
        int32_t seconds_left = 0;
        std::string text; // FormatTimeRemaining(seconds_left)
    };

    // One tick with the job's counters. An estimate is made once at least ten
    // ticks passed and the fraction grew by more than 0.0001, and only when
    // the remaining work is under five times the growth seen or a hundred
    // ticks passed; it is the time those ticks took scaled to what remains.
    Update Tick(int64_t done, int64_t total);
    // A new phase: forget the ticks and the fraction of the last estimate.
    void Reset();

    int32_t Ticks() const { return m_ticks; }
    double LastFraction() const { return m_lastFraction; }

private:
    int32_t m_ticks = 0;
    double m_lastFraction = 0.0;
};
