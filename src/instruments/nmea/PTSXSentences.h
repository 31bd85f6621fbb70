#pragma once
// The proprietary start sentences exchanged with other race instruments:
// "$PTSX,SetStartTimer,<start time>,<period minutes>" and
// "$PTSX,SetStartLine,<left lat>,<left lon>,<right lat>,<right lon>".
// A sentence is understood only when every field is a number in range, so a
// garbled line can never wipe or corrupt the user's start settings.
#include "instruments/nmea/NMEASentence.h"

#include <cstdint>

namespace NMEA_PTSX {

class SetStartTimer : public CNMEASentence
{
public:
    using CNMEASentence::CNMEASentence;
    bool Parse(char* line) override;

    // A start time further than this from the clock is a broken sender's.
    static constexpr double kMaxStartDistance = 10 * 366 * 86400.0; // seconds
    static constexpr int32_t kMaxPeriodMinutes = 1440;

    double m_timeOfStart = 0; // seconds since 1970 (UTC); 0 = none
    int32_t m_periodMinutes = 0;
    static CNMEASentenceTypeOf<SetStartTimer> Type;
};

class SetStartLine : public CNMEASentence
{
public:
    using CNMEASentence::CNMEASentence;
    bool Parse(char* line) override;

    double m_leftLat = 0; // degrees; 0 = not set
    double m_leftLon = 0;
    double m_rightLat = 0;
    double m_rightLon = 0;
    static CNMEASentenceTypeOf<SetStartLine> Type;
};

} // namespace NMEA_PTSX
