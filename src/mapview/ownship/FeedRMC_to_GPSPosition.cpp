#include "mapview/ownship/FeedRMC_to_GPSPosition.h"

#include "geodesy/Units.h"
#include "instruments/DataConnection.h"
#include "mapview/ownship/OverlayGPSPosition.h"

#include <algorithm>

namespace {

bool FromSimulation(const CNMEASentence& s)
{
    return s.m_connection && s.m_connection->m_simulated;
}

} // namespace

void CreateOwnShipFeed()
{
    CFeedRMC_to_GPSPosition::Global();
}

void CFeedRMC_to_GPSPosition::ResetOnConnectionChange(bool simulation)
{
    Global().Reset();
    // A simulation also starts the fix averaging afresh.
    if (simulation)
        COverlayGPSPosition::Global().ResetAveraging();
}

CFeedRMC_to_GPSPosition::CFeedRMC_to_GPSPosition(COverlayGPSPosition& ownShip) : m_ownShip(ownShip)
{
    // After the fix was lost any source may take over, also one without RMC.
    ownShip.m_onFixLost = [this] { m_rmcSeen = m_ggaSeen = false; };
}

CFeedRMC_to_GPSPosition& CFeedRMC_to_GPSPosition::Global()
{
    static CFeedRMC_to_GPSPosition feed(COverlayGPSPosition::Global());
    return feed;
}

void CFeedRMC_to_GPSPosition::Reset()
{
    m_rmcTalker = m_gsvTalker = 0;
    m_rmcSeen = m_ggaSeen = false;
    m_usedCount = 0;
    m_gsaEpochOpen = false;
}

bool CFeedRMC_to_GPSPosition::ChooseTalker(char letter, char& chosen, bool haveFix)
{
    if (letter == chosen)
        return true;
    if (letter == 'N') {
        chosen = 'N';
        return true;
    }
    if (!haveFix)
        chosen = 0;
    if (letter == 'P') {
        if (chosen == 'N')
            return false;
        chosen = 'P';
        return true;
    }
    if (chosen == 'N' || chosen == 'P')
        return false;
    chosen = letter;
    return true;
}

void CFeedRMC_to_GPSPosition::Notify(const CNMEA_GPS::RMC& s)
{
    if (!ChooseTalker(s.m_talker, m_rmcTalker, m_ownShip.m_fixStatus != CDataGPSPosition::kNoFix))
        return;
    CloseGSAEpoch();
    // Without a usable date the delivery's time stands in, never 1970.
    m_ownShip.m_fixTime = s.m_hasTime ? s.m_time : GetEventTime<CNMEA_GPS::RMC>();
    if (!s.m_hasPosition || (s.m_latitude == 0 && s.m_longitude == 0))
        return;
    m_ownShip.SetPosition(s.m_latitude, s.m_longitude);
    m_ownShip.SetCourseSpeed(s.m_cog, s.m_sog);
    if (s.m_valid) {
        if (m_ownShip.m_fixStatus == CDataGPSPosition::kNoFix)
            m_ownShip.m_fixStatus = CDataGPSPosition::kGPSFix;
        if (FromSimulation(s))
            m_ownShip.m_fixStatus = CDataGPSPosition::kSimulatedFix;
        m_ownShip.m_fixSource = this;
    } else {
        m_ownShip.m_fixStatus = CDataGPSPosition::kNoFix;
    }
    m_ownShip.ProcessFix();
    m_rmcSeen = true;
}

void CFeedRMC_to_GPSPosition::Notify(const CNMEA_GPS::GGA& s)
{
    CloseGSAEpoch();
    m_ownShip.m_altitude = s.m_altitude;
    m_ownShip.m_hdop = s.m_hdop;
    m_ownShip.m_satellitesUsed = s.m_satellites > 0 ? uint32_t(s.m_satellites) : 0;
    uint8_t status = 0;
    if (s.m_quality >= 0 && CDataGPSPosition::FixStatusFromGGAQuality(uint32_t(s.m_quality), status))
        m_ownShip.m_fixStatus = status;
    if (FromSimulation(s))
        m_ownShip.m_fixStatus = CDataGPSPosition::kSimulatedFix;
    if (m_ownShip.m_fixStatus != CDataGPSPosition::kNoFix)
        m_ownShip.m_fixSource = this;
    if (!m_rmcSeen) {
        if (s.m_hasPosition && !(s.m_latitude == 0 && s.m_longitude == 0)) {
            m_ownShip.SetPosition(s.m_latitude, s.m_longitude);
            m_ownShip.m_fixTime = GetEventTime<CNMEA_GPS::GGA>();
            m_ownShip.ProcessFix();
        }
    }
    m_ggaSeen = true;
}

void CFeedRMC_to_GPSPosition::Notify(const CNMEA_GPS::VTG& s)
{
    if (!m_rmcSeen)
        m_ownShip.SetCourseSpeed(s.m_cog, s.m_sog);
}

bool CFeedRMC_to_GPSPosition::IsUsedPRN(uint16_t prn) const
{
    return std::find(m_usedPRN, m_usedPRN + m_usedCount, prn) != m_usedPRN + m_usedCount;
}

void CFeedRMC_to_GPSPosition::Notify(const CNMEA_GPS::GSV& s)
{
    if (!ChooseTalker(s.m_talker, m_gsvTalker, m_ownShip.m_fixStatus != CDataGPSPosition::kNoFix))
        return;
    m_ownShip.m_satellitesInView = s.m_inView > 0 ? uint32_t(s.m_inView) : 0;
    if (s.m_messageNumber == 1)
        m_ownShip.ClearSatellites();
    for (int g = 0; g < 4; ++g) {
        const auto& sat = s.m_satellites[g];
        if (sat.prn == 0)
            continue;
        int64_t index = (int64_t(s.m_messageNumber) - 1) * 4 + g;
        if (index < 0 || index >= CDataGPSSatelliteSignals::kMaxSatellites)
            continue;
        m_ownShip.SetSatellite(int(index), sat.prn, sat.elevation, sat.azimuth, sat.snr, IsUsedPRN(sat.prn));
    }
    if (s.m_messageNumber == s.m_messages)
        FireEvent<CDataGPSSatelliteSignals>(m_ownShip);
}

void CFeedRMC_to_GPSPosition::Notify(const CNMEA_GPS::GSA& s)
{
    if (!m_gsaEpochOpen) {
        m_usedCount = 0;
        m_gsaEpochOpen = true;
    }
    for (uint16_t prn : s.m_prn) {
        if (prn == 0 || IsUsedPRN(prn) || m_usedCount >= int(std::size(m_usedPRN)))
            continue;
        m_usedPRN[m_usedCount++] = prn;
    }
    m_ownShip.m_satellitesUsed = uint32_t(m_usedCount);
}

void CFeedRMC_to_GPSPosition::Notify(const CNMEA_Instruments::HDG& s)
{
    float heading = ApplyCompassCalibration(CMovingTargetSettings::Global().compassCalibration, s.m_heading);
    if (IsUnknownAngle(heading))
        return;
    // Compass headings are magnetic: the variation where the ship is makes them true.
    double variation = CDefaultUnits::Get().m_variation;
    if (!std::isfinite(variation))
        variation = 0;
    m_ownShip.SetHeading(float(heading + variation), GetEventTime<CNMEA_Instruments::HDG>());
}
