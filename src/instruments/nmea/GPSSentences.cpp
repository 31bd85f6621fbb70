#include "instruments/nmea/GPSSentences.h"

#include "instruments/nmea/NMEAFields.h"

#include <cmath>

namespace CNMEA_GPS {

CNMEASentenceTypeOf<RMC> RMC::Type(3, "RMC");
CNMEASentenceTypeOf<GGA> GGA::Type(3, "GGA");
CNMEASentenceTypeOf<VTG> VTG::Type(3, "VTG");
CNMEASentenceTypeOf<GSA> GSA::Type(3, "GSA");
CNMEASentenceTypeOf<GSV> GSV::Type(3, "GSV");

namespace {

// An angle field in 0..360, or 999 (unknown) when empty, malformed or out of range.
float AngleOrUnknown(const char* field)
{
    double v;
    if (!ParseNMEANumber(field, v) || v < 0 || v > 360)
        return 999.0f;
    return float(v == 360 ? 0 : v);
}

int32_t IntOr(const char* field, int32_t fallback)
{
    double v;
    if (!ParseNMEANumber(field, v) || v < -2147483648.0 || v > 2147483647.0)
        return fallback;
    return int32_t(v);
}

} // namespace

bool RMC::Parse(char* line)
{
    ReadTalker(line);
    char* f[13];
    SplitNMEAFields(line, 13, f);
    m_valid = f[2][0] == 'A' || (f[12][0] != '\0' && f[12][0] != 'N');
    m_hasPosition = ParseNMEAPosition(f[3], f[4], f[5], f[6], m_latitude, m_longitude);
    if (!m_hasPosition)
        m_latitude = m_longitude = 0;
    int seconds = 0;
    double midnight = 0;
    m_hasTime = ParseNMEADateChecked(f[9], midnight) && ParseNMEATimeChecked(f[1], seconds);
    m_time = m_hasTime ? midnight + seconds : 0;
    double sog = NMEANumberOr(f[7], 0);
    m_sog = sog >= 0 && sog < 1e4 ? float(sog) : 0.0f;
    m_cog = AngleOrUnknown(f[8]);
    return true;
}

bool GGA::Parse(char* line)
{
    ReadTalker(line);
    char* f[14];
    SplitNMEAFields(line, 14, f);
    m_hasPosition = ParseNMEAPosition(f[2], f[3], f[4], f[5], m_latitude, m_longitude);
    if (!m_hasPosition)
        m_latitude = m_longitude = 0;
    m_quality = IntOr(f[6], -1);
    m_satellites = IntOr(f[7], 0);
    m_hdop = float(NMEANumberOr(f[8], 0));
    double alt = NMEANumberOr(f[9], 0);
    m_altitude = std::fabs(alt) < 1e7 ? float(alt) : 0.0f;
    return true;
}

bool VTG::Parse(char* line)
{
    ReadTalker(line);
    char* f[6];
    SplitNMEAFields(line, 6, f);
    m_cog = AngleOrUnknown(f[1]);
    double sog = NMEANumberOr(f[5], 0);
    m_sog = sog >= 0 && sog < 1e4 ? float(sog) : 0.0f;
    return true;
}

bool GSA::Parse(char* line)
{
    ReadTalker(line);
    char* f[18];
    SplitNMEAFields(line, 18, f);
    m_mode = f[1][0];
    int32_t fix = IntOr(f[2], 0);
    m_fixType = uint8_t(fix >= 0 && fix <= 255 ? fix : 0);
    for (int i = 0; i < 12; ++i) {
        int32_t prn = IntOr(f[3 + i], 0);
        m_prn[i] = uint16_t(prn > 0 && prn <= 65535 ? prn : 0);
    }
    m_pdop = float(NMEANumberOr(f[15], 0));
    m_hdop = float(NMEANumberOr(f[16], 0));
    m_vdop = float(NMEANumberOr(f[17], 0));
    return true;
}

bool GSV::Parse(char* line)
{
    ReadTalker(line);
    char* f[20];
    SplitNMEAFields(line, 20, f);
    m_messages = IntOr(f[1], 0);
    m_messageNumber = IntOr(f[2], 0);
    m_inView = IntOr(f[3], 0);
    auto small = [](int32_t v) { return int16_t(v >= -32768 && v <= 32767 ? v : 0); };
    for (int g = 0; g < 4; ++g) {
        int32_t prn = IntOr(f[4 + g * 4], 0);
        m_satellites[g].prn = uint16_t(prn > 0 && prn <= 65535 ? prn : 0);
        m_satellites[g].elevation = small(IntOr(f[5 + g * 4], 0));
        m_satellites[g].azimuth = small(IntOr(f[6 + g * 4], 0));
        m_satellites[g].snr = small(IntOr(f[7 + g * 4], 0));
    }
    return true;
}

} // namespace CNMEA_GPS
