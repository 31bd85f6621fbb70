#pragma once
// Keeps the start time and start line in step with other race instruments:
// local changes go out as PTSX sentences, received ones are stored, saved
// and published. While a received value is being published the applying
// flag keeps it from being sent straight back.
#include "foundation/events/Listener.h"
#include "instruments/data/DataStartTimer.h"
#include "instruments/nmea/PTSXSentences.h"

class Feed_StartInfo : Listener<CDataStartTimer>,
                       Listener<CDataStartLine>,
                       Listener<NMEA_PTSX::SetStartTimer>,
                       Listener<NMEA_PTSX::SetStartLine>
{
public:
    Feed_StartInfo() = default;

    static Feed_StartInfo& Global();
    bool IsApplying() const { return m_applying; }

private:
    void Notify(const CDataStartTimer& timer) override;
    void Notify(const CDataStartLine& line) override;
    void Notify(const NMEA_PTSX::SetStartTimer& s) override;
    void Notify(const NMEA_PTSX::SetStartLine& s) override;

    bool m_applying = false;
};
