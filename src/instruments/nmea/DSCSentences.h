#pragma once
// Digital selective calls from a DSC radio: the call itself (DSC) and its
// expansion with a finer position, course and speed (DSE).
#include "instruments/nmea/NMEASentence.h"

#include <cstdint>

namespace CNMEA_DSC {

// Latitude and longitude of a call without a usable position.
constexpr double kNoDSCPosition = -999;

// A ten-digit DSC address as an MMSI: a tenth digit "0" is cut off, and a
// value that cannot be an MMSI (above 999,999,999) or an address that is not
// exactly ten digits is refused (false, `mmsi` untouched).
bool ParseDSCAddress(const char* field, uint32_t& mmsi);
// The ten position digits: quadrant, latitude degrees and minutes (2 + 2),
// longitude degrees and minutes (3 + 2). False, changing nothing, unless all
// are digits, the quadrant is 0..3, the minutes are below 60 and the
// position lies on the globe.
bool ParseDSCPosition(const char* field, double& latitude, double& longitude, uint32_t& quadrant);

class DSC : public CNMEASentence
{
public:
    using CNMEASentence::CNMEASentence;
    bool Parse(char* line) override;

    int32_t m_format = 0; // "12" is distress
    uint32_t m_mmsi = 0;
    uint8_t m_category = 0;
    uint8_t m_nature = 0;               // nature of distress or first telecommand
    uint8_t m_communication = 0;        // type of communication or second telecommand
    double m_latitude = kNoDSCPosition; // degrees
    double m_longitude = kNoDSCPosition;
    uint32_t m_quadrant = 0; // bit 0: west, bit 1: south
    int32_t m_distressMMSI = 0;
    uint8_t m_distressNature = 0;
    char m_acknowledgement = 0;
    bool m_expansion = false;
    static CNMEASentenceTypeOf<DSC> Type;
};

class DSE : public CNMEASentence
{
public:
    using CNMEASentence::CNMEASentence;
    bool Parse(char* line) override;

    enum : uint32_t {
        kHasPosition = 1,
        kHasCourse = 2,
        kHasSpeed = 4,
    };

    uint8_t m_total = 0;
    uint8_t m_number = 0;
    char m_queryReply = 0;
    uint32_t m_mmsi = 0;
    uint32_t m_mask = 0;
    int32_t m_latitudeExtra = 0;  // ten-thousandths of a minute
    int32_t m_longitudeExtra = 0; // ten-thousandths of a minute
    float m_course = 0;           // degrees
    float m_speed = 0;            // knots
    static CNMEASentenceTypeOf<DSE> Type;
};

} // namespace CNMEA_DSC
