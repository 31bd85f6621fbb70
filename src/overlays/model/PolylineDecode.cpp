#include "overlays/model/PolylineDecode.h"

#include <cmath>
#include <cstdint>

namespace {

// Seven groups fill the 32 bits; an eighth would shift past them.
constexpr unsigned kMaxShift = 30;

// One zigzag-coded value; false when the text ends inside it or it is too long.
bool DecodeValue(std::string_view text, size_t& at, int32_t& value)
{
    uint32_t r = 0;
    unsigned shift = 0;
    for (;;) {
        if (at >= text.size() || shift > kMaxShift)
            return false;
        const uint8_t b = uint8_t(uint8_t(text[at++]) - 63);
        r |= uint32_t(b & 0x1F) << shift;
        shift += 5;
        if (int8_t(b) <= 0x1F)
            break;
    }
    value = (int32_t(r) >> 1) ^ -int32_t(r & 1);
    return true;
}

} // namespace

bool DecodePolyline(std::string_view text, std::vector<std::pair<double, double>>& out, size_t maxPositions)
{
    size_t at = 0;
    size_t made = 0;
    double latitude = 0;
    double longitude = 0;
    while (at < text.size()) {
        if (made >= maxPositions)
            return false;
        int32_t dLat = 0, dLon = 0;
        if (!DecodeValue(text, at, dLat) || !DecodeValue(text, at, dLon))
            return false;
        latitude += double(float(dLat));
        longitude += double(float(dLon));
        const double lat = latitude * 0.00001;
        const double lon = longitude * 0.00001;
        if (!(std::fabs(lat) <= 90.0) || !(std::fabs(lon) <= 360.0))
            return false;
        out.emplace_back(lat, lon);
        ++made;
    }
    return true;
}
