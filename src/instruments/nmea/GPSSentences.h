#pragma once
// The GPS sentences: RMC, GGA, VTG, GSA and GSV from any talker.
#include "instruments/nmea/NMEASentence.h"

#include <cstdint>

namespace CNMEA_GPS {

// Common to the GPS sentences: the second letter of the talker ('P' of "GP").
class CGPSSentence : public CNMEASentence
{
public:
    using CNMEASentence::CNMEASentence;
    char m_talker = 0;

protected:
    void ReadTalker(const char* line) { m_talker = line[0] && line[1] ? line[2] : 0; }
};

// Recommended minimum data: position, course, speed, date and time.
class RMC : public CGPSSentence
{
public:
    using CGPSSentence::CGPSSentence;
    bool Parse(char* line) override;

    bool m_valid = false;
    bool m_hasPosition = false; // both halves present and in range
    double m_latitude = 0;
    double m_longitude = 0;
    bool m_hasTime = false; // a valid date and time; otherwise the delivery's time is used
    double m_time = 0;      // seconds since 1970 UTC
    float m_sog = 0;        // knots
    float m_cog = 999;      // degrees true, 999 when the field is empty
    static CNMEASentenceTypeOf<RMC> Type;
};

// Fix data: position, quality, satellites, dilution and altitude.
class GGA : public CGPSSentence
{
public:
    using CGPSSentence::CGPSSentence;
    bool Parse(char* line) override;

    bool m_hasPosition = false;
    double m_latitude = 0;
    double m_longitude = 0;
    float m_altitude = 0; // metres
    float m_hdop = 0;
    int32_t m_satellites = 0;
    int32_t m_quality = -1; // -1 when the field is empty or malformed
    static CNMEASentenceTypeOf<GGA> Type;
};

// Course and speed over ground.
class VTG : public CGPSSentence
{
public:
    using CGPSSentence::CGPSSentence;
    bool Parse(char* line) override;

    float m_cog = 999; // degrees true, 999 when empty
    float m_sog = 0;   // knots
    static CNMEASentenceTypeOf<VTG> Type;
};

// Dilution of precision and the satellites used in the fix.
class GSA : public CGPSSentence
{
public:
    using CGPSSentence::CGPSSentence;
    bool Parse(char* line) override;

    char m_mode = 0;
    uint8_t m_fixType = 0;
    uint16_t m_prn[12] = {}; // 0 when empty; newer receivers number above 255
    float m_pdop = 0, m_hdop = 0, m_vdop = 0;
    static CNMEASentenceTypeOf<GSA> Type;
};

// Satellites in view, four per message.
class GSV : public CGPSSentence
{
public:
    using CGPSSentence::CGPSSentence;
    bool Parse(char* line) override;

    struct Satellite
    {
        uint16_t prn = 0;
        int16_t elevation = 0; // degrees
        int16_t azimuth = 0;   // degrees
        int16_t snr = 0;       // dB
    };
    int32_t m_messages = 0;
    int32_t m_messageNumber = 0;
    int32_t m_inView = 0;
    Satellite m_satellites[4];
    static CNMEASentenceTypeOf<GSV> Type;
};

} // namespace CNMEA_GPS
