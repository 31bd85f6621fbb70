// The AIS decoder alone over any payload: it must read nothing beyond the
// bits received, which is checked by decoding each payload twice, once over
// a buffer left full of one bits by an earlier, longer message.
#include "ais/AISSentence.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace CNEMA_AIS;

namespace {

std::string Summary(const CAIS_Sentence& s)
{
    char buf[600];
    std::snprintf(buf, sizeof buf,
                  "%u %u %.17g %.17g %s|%u %.9g %d %.9g %.9g %u %u %u|%u %u %u %u %u %u|%u %s|%s|%u %u %u %u "
                  "%u %u %u %u "
                  "%u %.9g %s|%u %u %s",
                  s.m_messageType, s.m_mmsi, s.m_latitude, s.m_longitude, s.m_shipTypeText,
                  s.m_navigationStatus, double(s.m_rateOfTurn), int(s.m_rateValid), double(s.m_sog),
                  double(s.m_cog), s.m_heading, s.m_second, s.m_altitude, s.m_year, s.m_month, s.m_day,
                  s.m_hour, s.m_minute, s.m_utcSecond, s.m_imo, s.m_callSign, s.m_name, s.m_shipType,
                  s.m_toBow, s.m_toStern, s.m_toPort, s.m_toStarboard, s.m_etaMonth, s.m_etaDay, s.m_etaHour,
                  s.m_etaMinute, double(s.m_draught), s.m_destination, s.m_aidType, s.m_partNumber,
                  s.m_vendorId);
    return buf;
}

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "ais_payload: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Each byte gives one six-bit character: an armour character stands for
    // itself (seeds are real payloads), any other byte for its low six bits.
    std::string payload;
    for (size_t i = 0; i < size && i < 400; ++i) {
        const int armoured = DearmourSixBit(char(data[i]));
        const int v = armoured >= 0 ? armoured : data[i] & 63;
        payload += char(v < 40 ? v + 48 : v + 56);
    }
    static VDM fresh(&VDM::Type);
    static VDM dirty(&VDM::Type);
    CAISPayload clean;
    Check(clean.Append(payload.c_str()), "armoured payload refused");
    Check(clean.BitCount() == std::min<size_t>(payload.size() * 6, CAISPayload::kMaxBits), "bit count");

    CAISPayload stale;
    stale.Append(std::string(170, 'w').c_str());
    stale.Clear();
    stale.Append(payload.c_str());

    const bool a = fresh.Decode(clean);
    const bool b = dirty.Decode(stale);
    Check(a == b, "result depends on bits never received");
    Check(a == (clean.BitCount() >= 38), "short message decoded");
    if (!a)
        return 0;
    Check(Summary(fresh) == Summary(dirty), "fields depend on bits never received");

    const VDM& s = fresh;
    const bool noPosition = s.m_latitude == kNoLatitude && s.m_longitude == kNoLongitude;
    Check(noPosition || (std::fabs(s.m_latitude) <= 90 && std::fabs(s.m_longitude) <= 180),
          "position off the globe");
    Check(s.m_heading <= 359 || s.m_heading == kNoHeading, "heading");
    Check(s.m_cog == kNoCourse || (s.m_cog >= 0 && s.m_cog < 360), "course");
    Check(s.m_sog >= 0 && s.m_sog <= 1022, "speed");
    Check(std::isfinite(s.m_rateOfTurn) && std::fabs(s.m_rateOfTurn) < 720, "rate of turn");
    Check(std::strlen(s.m_name) < sizeof s.m_name && std::strlen(s.m_callSign) < sizeof s.m_callSign &&
              std::strlen(s.m_destination) < sizeof s.m_destination &&
              std::strlen(s.m_vendorId) < sizeof s.m_vendorId &&
              std::strlen(s.m_shipTypeText) < sizeof s.m_shipTypeText,
          "text length");
    return 0;
}
