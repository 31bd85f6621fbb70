#include "instruments/feeds/StartInfoFeed.h"

#include "foundation/NumberText.h"
#include "foundation/notify/StatusLine.h"
#include "foundation/settings/PersistantData.h"

#include <cstdio>

Feed_StartInfo& Feed_StartInfo::Global()
{
    static Feed_StartInfo feed;
    return feed;
}

namespace {

void Save(PersistantData& settings, const char* what)
{
    settings.SetModified();
    if (!PersistantData::SaveAll())
        SetStatusMessage(std::string("The ") + what + " could not be saved: " + PersistantData::LastError());
}

} // namespace

void Feed_StartInfo::Notify(const CDataStartTimer& timer)
{
    if (m_applying)
        return;
    CNMEA_Raw record;
    ClearNMEAOutput(record);
    {
        CCLocaleScope c;
        std::snprintf(record.text, sizeof record.text, "$PTSX,SetStartTimer,%.0f,%d", timer.m_timeOfStart,
                      int(timer.m_periodMinutes));
    }
    SendNMEASentence(record);
}

void Feed_StartInfo::Notify(const CDataStartLine& line)
{
    if (m_applying || !line.HasLeftEnd() || !line.HasRightEnd())
        return;
    CNMEA_Raw record;
    ClearNMEAOutput(record);
    {
        CCLocaleScope c;
        std::snprintf(record.text, sizeof record.text, "$PTSX,SetStartLine,%.6f,%.6f,%.6f,%.6f",
                      line.m_leftLat, line.m_leftLon, line.m_rightLat, line.m_rightLon);
    }
    SendNMEASentence(record);
}

void Feed_StartInfo::Notify(const NMEA_PTSX::SetStartTimer& s)
{
    CDataStartTimer& timer = CDataStartTimer::Global();
    // Instruments repeat their sentences: only a change is worth a write.
    if (timer.m_timeOfStart != s.m_timeOfStart || timer.m_periodMinutes != s.m_periodMinutes) {
        timer.m_timeOfStart = s.m_timeOfStart;
        timer.m_periodMinutes = s.m_periodMinutes;
        Save(CDataStartTimer::Settings(), "start timer");
    }
    m_applying = true;
    FireEvent<CDataStartTimer>(timer);
    m_applying = false;
}

void Feed_StartInfo::Notify(const NMEA_PTSX::SetStartLine& s)
{
    CDataStartLine& line = CDataStartLine::Global();
    if (line.m_leftLat != s.m_leftLat || line.m_leftLon != s.m_leftLon || line.m_rightLat != s.m_rightLat ||
        line.m_rightLon != s.m_rightLon) {
        line.m_leftLat = s.m_leftLat;
        line.m_leftLon = s.m_leftLon;
        line.m_rightLat = s.m_rightLat;
        line.m_rightLon = s.m_rightLon;
        Save(CDataStartLine::Settings(), "start line");
    }
    m_applying = true;
    FireEvent<CDataStartLine>(line);
    m_applying = false;
}
