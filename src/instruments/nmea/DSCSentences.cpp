#include "instruments/nmea/DSCSentences.h"

#include "instruments/nmea/NMEAFields.h"

#include <cmath>
#include <cstring>

namespace CNMEA_DSC {

CNMEASentenceTypeOf<DSC> DSC::Type(3, "DSC");
CNMEASentenceTypeOf<DSE> DSE::Type(3, "DSE");

namespace {

constexpr uint32_t kMaxMMSI = 999999999;

bool Digits(const char* s, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (s[i] < '0' || s[i] > '9')
            return false;
    return true;
}

uint64_t DigitValue(const char* s, size_t n)
{
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i)
        v = v * 10 + uint64_t(s[i] - '0');
    return v;
}

// A small code field ("06"): digits only, 0..255, else 0.
uint8_t Code(const char* field)
{
    const size_t n = std::strlen(field);
    if (n == 0 || n > 3 || !Digits(field, n))
        return 0;
    const uint64_t v = DigitValue(field, n);
    return v <= 255 ? uint8_t(v) : 0;
}

} // namespace

bool ParseDSCAddress(const char* field, uint32_t& mmsi)
{
    if (!field || std::strlen(field) != 10 || !Digits(field, 10))
        return false;
    const uint64_t v = field[9] == '0' ? DigitValue(field, 9) : DigitValue(field, 10);
    if (v > kMaxMMSI)
        return false;
    mmsi = uint32_t(v);
    return true;
}

bool ParseDSCPosition(const char* field, double& latitude, double& longitude, uint32_t& quadrant)
{
    if (!field || std::strlen(field) != 10 || !Digits(field, 10))
        return false;
    const uint32_t q = uint32_t(field[0] - '0');
    const int latDegrees = int(DigitValue(field + 1, 2));
    const int latMinutes = int(DigitValue(field + 3, 2));
    const int lonDegrees = int(DigitValue(field + 5, 3));
    const int lonMinutes = int(DigitValue(field + 8, 2));
    if (q > 3 || latMinutes >= 60 || lonMinutes >= 60)
        return false;
    double lat = latDegrees + latMinutes / 60.0;
    double lon = lonDegrees + lonMinutes / 60.0;
    if (lat > 90 || lon > 180)
        return false;
    if (q & 1)
        lon = -lon;
    if (q & 2)
        lat = -lat;
    latitude = lat;
    longitude = lon;
    quadrant = q;
    return true;
}

bool DSC::Parse(char* line)
{
    char* f[12];
    SplitNMEAFields(line, 12, f);
    uint32_t mmsi;
    if (!ParseDSCAddress(f[2], mmsi))
        return false;
    m_mmsi = mmsi;
    m_format = Code(f[1]);
    m_category = Code(f[3]);
    m_nature = Code(f[4]);
    m_communication = Code(f[5]);
    m_latitude = m_longitude = kNoDSCPosition;
    m_quadrant = 0;
    ParseDSCPosition(f[6], m_latitude, m_longitude, m_quadrant);
    // The station in distress of a relayed call: its address, when it is one.
    uint32_t distress = 0;
    if (!ParseDSCAddress(f[8], distress)) {
        const size_t n = std::strlen(f[8]);
        distress = (n > 0 && n <= 9 && Digits(f[8], n)) ? uint32_t(DigitValue(f[8], n)) : 0;
    }
    m_distressMMSI = int32_t(distress);
    m_distressNature = Code(f[9]);
    m_acknowledgement = f[10][0];
    m_expansion = f[11][0] == 'E';
    return true;
}

bool DSE::Parse(char* line)
{
    char* f[13];
    SplitNMEAFields(line, 13, f);
    m_mask = 0;
    uint32_t mmsi;
    if (!ParseDSCAddress(f[4], mmsi))
        return false;
    m_mmsi = mmsi;
    m_total = Code(f[1]);
    m_number = Code(f[2]);
    m_queryReply = f[3][0];
    for (int pair = 0; pair < 4; ++pair) {
        const char* code = f[5 + 2 * pair];
        const char* data = f[6 + 2 * pair];
        if (!code[0])
            break;
        if (std::strcmp(code, "00") == 0) {
            // Four digits of latitude, four of longitude; anything else is damage.
            if (std::strlen(data) != 8 || !Digits(data, 8))
                continue;
            m_latitudeExtra = int32_t(DigitValue(data, 4));
            m_longitudeExtra = int32_t(DigitValue(data + 4, 4));
            m_mask |= kHasPosition;
        } else if (std::strcmp(code, "03") == 0 || std::strcmp(code, "02") == 0) {
            double v;
            if (!ParseNMEANumber(data, v) || !(std::fabs(v) < 1e6))
                continue;
            if (code[1] == '3') {
                m_course = float(v / 10);
                m_mask |= kHasCourse;
            } else {
                m_speed = float(v / 10);
                m_mask |= kHasSpeed;
            }
        }
    }
    return true;
}

} // namespace CNMEA_DSC
