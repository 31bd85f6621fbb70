// Every registered position format reads back what it writes: for any finite
// point, a Format that says true gives text its own Parse reads to a place
// within a few metres; a latitude beyond a pole is never written.
#include "geodesy/GridFormats.h"
#include "geodesy/TransverseMercator.h"
#include "geodesy/Units.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

double DistanceMetres(double lat1, double lon1, double lat2, double lon2)
{
    const double r = M_PI / 180, dLat = (lat2 - lat1) * r, dLon = (lon2 - lon1) * r;
    const double h = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(lat1 * r) * std::cos(lat2 * r) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * 6371008.8 * std::asin(std::min(1.0, std::sqrt(h)));
}

void Check(double lat, double lon)
{
    if (!std::isfinite(lat) || !std::isfinite(lon))
        return;
    for (const CUnits::PositionFormatType* f = CUnits::PositionFormatType::First(); f; f = f->Next()) {
        std::string text;
        if (!f->Format(text, lat, lon))
            continue;
        if (std::fabs(lat) > 90)
            std::abort(); // no such place
        double lat2 = 12345, lon2 = 12345;
        if (!f->Parse(text, lat2, lon2))
            std::abort(); // written but unreadable
        // The coarsest format, seconds to one decimal, is within 4.4 m.
        if (!(DistanceMetres(lat, geodesy::NormalizeLongitude(lon), lat2, lon2) <= 5))
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 16)
        return 0;
    uint64_t a, b;
    std::memcpy(&a, data, 8);
    std::memcpy(&b, data + 8, 8);
    // The bytes as two doubles, and as a point spread evenly over the globe.
    double lat, lon;
    std::memcpy(&lat, &a, 8);
    std::memcpy(&lon, &b, 8);
    Check(lat, lon);
    Check(-90 + 180 * (double(a) / 18446744073709551616.0),
          -180 + 360 * (double(b) / 18446744073709551616.0));
    return 0;
}
