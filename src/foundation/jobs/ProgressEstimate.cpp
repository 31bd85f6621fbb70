#include "foundation/jobs/ProgressEstimate.h"

#include "foundation/util/FormatString.h"

#include <cmath>

namespace {

char PluralMark(int32_t n)
{
    return n == 1 ? ' ' : 's';
}

} // namespace

std::string FormatTimeRemaining(int32_t seconds)
{
    if (seconds < 0)
        seconds = 0;
    int32_t hours = seconds / 3600;
    int32_t minutes = seconds / 60;
    int32_t secs = seconds % 60;
    std::string text;
    if (hours > 0) {
        int32_t of_hour = minutes % 60;
        FormatString(text, "%d hour%c, %d minute%c", hours, PluralMark(hours), of_hour, PluralMark(of_hour));
    } else if (minutes >= 2) {
        FormatString(text, "%d minutes", minutes);
    } else if (minutes == 1) {
        FormatString(text, "1 minute, %d second%c", secs, PluralMark(secs));
    } else {
        FormatString(text, "%d second%c", secs, PluralMark(secs));
    }
    return text;
}

CProgressEstimate::Update CProgressEstimate::Tick(int64_t done, int64_t total)
{
    Update update;
    ++m_ticks;
    if (total == 0)
        return update;

    double fraction = static_cast<double>(done) / static_cast<double>(total);
    if (!std::isfinite(fraction))
        return update;
    update.has_bar = true;
    update.bar = fraction < 0.0 ? 0.0 : (fraction > 1.0 ? 1.0 : fraction);

    double growth = fraction - m_lastFraction;
    if (m_ticks >= 10 && growth > 0.0001 && fraction <= 1.0 &&
        (m_ticks >= 100 || (1.0 - fraction) / growth < 5.0)) {
        double left = (1.0 - fraction) * (m_ticks * kTickSeconds) / growth;
        // Far beyond any display; keeps the conversion defined.
        if (left > 2.0e9)
            left = 2.0e9;
        update.has_estimate = true;
        update.seconds_left = static_cast<int32_t>(left);
        update.text = FormatTimeRemaining(update.seconds_left);
        m_lastFraction = fraction;
        m_ticks = 0;
    }
    return update;
}

void CProgressEstimate::Reset()
{
    m_ticks = 0;
    m_lastFraction = 0.0;
}
