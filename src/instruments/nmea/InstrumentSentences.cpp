#include "instruments/nmea/InstrumentSentences.h"

#include "instruments/nmea/NMEAFields.h"

#include <cmath>
#include <cstring>

namespace CNMEA_Instruments {

CNMEASentenceTypeOf<MWV> MWV::Type(3, "MWV");
CNMEASentenceTypeOf<MWD> MWD::Type(3, "MWD");
CNMEASentenceTypeOf<VHW> VHW::Type(3, "VHW");
CNMEASentenceTypeOf<HDG> HDG::Type(3, "HDG");
CNMEASentenceTypeOf<DPT> DPT::Type(3, "DPT");
CNMEASentenceTypeOf<DBT> DBT::Type(3, "DBT");
CNMEASentenceTypeOf<MTW> MTW::Type(3, "MTW");
CNMEASentenceTypeOf<RSA> RSA::Type(3, "RSA");
CNMEASentenceTypeOf<RPM> RPM::Type(3, "RPM");
CNMEASentenceTypeOf<XDR> XDR::Type(3, "XDR");

namespace {

// Values stored in 32-bit floats: a number that does not fit reads as absent.
bool Number(const char* field, float& out)
{
    double v;
    if (!ParseNMEANumber(field, v) || std::fabs(v) > 1e30)
        return false;
    out = float(v);
    return true;
}

float NumberOr(const char* field, float fallback)
{
    float v;
    return Number(field, v) ? v : fallback;
}

bool Is(const char* field, const char* text)
{
    return std::strcmp(field, text) == 0;
}

} // namespace

bool MWV::Parse(char* line)
{
    char* f[6];
    SplitNMEAFields(line, 6, f);
    // An empty angle or speed is no measurement, not a calm from the north.
    float angle, speed;
    if (f[5][0] != 'A' || !Number(f[1], angle) || !Number(f[3], speed))
        return false;
    m_angle = angle;
    switch (f[4][0]) {
    case 'K':
        speed *= 0.5399568f;
        break;
    case 'M':
        speed = float(speed * 3600.0 / 1852.0);
        break;
    case 'S':
        speed = float(speed / 1.1507795);
        break;
    default:
        break; // knots, or a unit we do not know: as it stands
    }
    m_speed = speed;
    if (Is(f[2], "T"))
        m_true = true;
    else if (Is(f[2], "R"))
        m_true = false;
    else
        return false;
    return true;
}

bool MWD::Parse(char* line)
{
    char* f[7];
    SplitNMEAFields(line, 7, f);
    float direction, speed;
    if (!Is(f[2], "T") || !Is(f[6], "N") || !Number(f[1], direction) || !Number(f[5], speed))
        return false;
    m_direction = direction;
    m_speed = speed;
    return true;
}

bool VHW::Parse(char* line)
{
    char* f[7];
    SplitNMEAFields(line, 7, f);
    m_hasHeading = Is(f[4], "M") && Number(f[3], m_heading);
    m_hasSpeed = Is(f[6], "N") && Number(f[5], m_speed);
    return m_hasHeading || m_hasSpeed;
}

bool HDG::Parse(char* line)
{
    char* f[6];
    SplitNMEAFields(line, 6, f);
    // Instruments without a compass send an empty heading: that is no heading, not north.
    double heading;
    if (!ParseNMEANumber(f[1], heading) || heading < 0 || heading > 360)
        return false;
    m_heading = float(heading);
    m_deviation = NumberOr(f[2], 0);
    if (f[3][0] == 'W')
        m_deviation = -m_deviation;
    m_variation = NumberOr(f[4], 0);
    if (f[5][0] == 'W')
        m_variation = -m_variation;
    return true;
}

bool DPT::Parse(char* line)
{
    char* f[3];
    SplitNMEAFields(line, 3, f);
    // A sounder that lost the bottom sends an empty depth: never show it as 0 m.
    float depth;
    if (!Number(f[1], depth))
        return false;
    m_depth = depth;
    float offset = NumberOr(f[2], 0);
    m_waterlineOffset = offset >= 0 ? offset : 0;
    m_keelOffset = offset < 0 ? -offset : 0;
    return true;
}

bool DBT::Parse(char* line)
{
    char* f[5];
    SplitNMEAFields(line, 5, f);
    float depth;
    if (!Is(f[4], "M") || !Number(f[3], depth))
        return false;
    m_depth = depth;
    return true;
}

bool MTW::Parse(char* line)
{
    char* f[3];
    SplitNMEAFields(line, 3, f);
    float temperature;
    if (!Is(f[2], "C") || !Number(f[1], temperature))
        return false;
    m_temperature = temperature;
    return true;
}

bool RSA::Parse(char* line)
{
    char* f[3];
    SplitNMEAFields(line, 3, f);
    float angle;
    if (f[2][0] != 'A' || !Number(f[1], angle))
        return false;
    m_angle = angle;
    // The pooled object carries the smoothing from one sentence to the next.
    m_smoothedAngle = (1.0f - m_smoothing) * m_angle + m_smoothing * m_smoothedAngle;
    m_smoothing = 0.9885f;
    return true;
}

bool RPM::Parse(char* line)
{
    char* f[6];
    SplitNMEAFields(line, 6, f);
    if (f[5][0] != 'A')
        return false;
    float number = 0;
    if (!Number(f[2], number))
        return true;
    float speed;
    if (!Number(f[3], speed))
        return true;
    if (number >= 0 && number < 2)
        m_engine01 = speed;
    else if (number == 2)
        m_engine2 = speed;
    return true;
}

bool XDR::Parse(char* line)
{
    char* f[9];
    SplitNMEAFields(line, 9, f);
    m_first.type = f[1][0];
    m_first.value = NumberOr(f[2], 0);
    m_first.name = f[4];
    m_second.type = f[5][0];
    m_second.value = NumberOr(f[6], 0);
    m_second.name = f[8];
    return true;
}

} // namespace CNMEA_Instruments
