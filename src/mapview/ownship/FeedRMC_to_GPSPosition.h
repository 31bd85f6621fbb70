#pragma once
// Turns the GPS and heading sentences into the own ship's fix, course,
// speed, heading and satellite view. When a receiver sends several talkers
// (GN, GP, GL ...) it keeps to one: combined fixes win over GPS-only fixes,
// which win over single other systems.
#include "foundation/events/Listener.h"
#include "instruments/nmea/GPSSentences.h"
#include "instruments/nmea/InstrumentSentences.h"

#include <cstdint>

class COverlayGPSPosition;

class CFeedRMC_to_GPSPosition : Listener<CNMEA_GPS::RMC>,
                                Listener<CNMEA_GPS::GGA>,
                                Listener<CNMEA_GPS::VTG>,
                                Listener<CNMEA_GPS::GSV>,
                                Listener<CNMEA_GPS::GSA>,
                                Listener<CNMEA_Instruments::HDG>
{
public:
    explicit CFeedRMC_to_GPSPosition(COverlayGPSPosition& ownShip);

    // The feed of the application's own ship; start-up makes it with
    // CreateOwnShipFeed before any sentence arrives.
    static CFeedRMC_to_GPSPosition& Global();

    // Forgets which sentences and talkers were seen (a new connection, or the
    // fix was lost), so a source that sends only GGA moves the ship again.
    void Reset();
    // A new or closed connection, or a rewound simulation: the own ship's feed
    // starts afresh.
    static void ResetOnConnectionChange(bool simulation);

    // Accepts or refuses a talker letter against the chosen one, changing it.
    static bool ChooseTalker(char letter, char& chosen, bool haveFix);

    char ChosenRMCTalker() const { return m_rmcTalker; }
    bool RMCSeen() const { return m_rmcSeen; }

private:
    void Notify(const CNMEA_GPS::RMC& s) override;
    void Notify(const CNMEA_GPS::GGA& s) override;
    void Notify(const CNMEA_GPS::VTG& s) override;
    void Notify(const CNMEA_GPS::GSV& s) override;
    void Notify(const CNMEA_GPS::GSA& s) override;
    void Notify(const CNMEA_Instruments::HDG& s) override;

    bool IsUsedPRN(uint16_t prn) const;
    void CloseGSAEpoch() { m_gsaEpochOpen = false; }

    COverlayGPSPosition& m_ownShip;
    char m_rmcTalker = 0;
    char m_gsvTalker = 0;
    bool m_rmcSeen = false;
    bool m_ggaSeen = false;
    // Satellites used, gathered over the GSA sentences of one epoch (one per
    // satellite system on multi-system receivers).
    uint16_t m_usedPRN[48] = {};
    int m_usedCount = 0;
    bool m_gsaEpochOpen = false;
};

// Makes the own ship's feed, so that the first sentences already move the ship.
void CreateOwnShipFeed();
