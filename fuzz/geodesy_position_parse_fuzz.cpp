// Every registered position format reads arbitrary text: no crash, no hang,
// and anything accepted is a real place that formats again.
#include "geodesy/GridFormats.h"
#include "geodesy/Units.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const CUnits::PositionFormatType* f = CUnits::PositionFormatType::First(); f; f = f->Next()) {
        double lat = 12345, lon = 12345;
        if (!f->Parse(text, lat, lon)) {
            if (lat != 12345 || lon != 12345)
                std::abort(); // a failed parse wrote its outputs
            continue;
        }
        if (!std::isfinite(lat) || !std::isfinite(lon) || std::fabs(lat) > 90 || lon < -180 || lon >= 180)
            std::abort();
        std::string out;
        f->Format(out, lat, lon);
    }
    char letter;
    const double v = CUnits::ParseCoordinate(text, letter);
    if (std::isnan(v))
        std::abort();
    double e, n;
    CUnitsOSGB::ParseGridReference(text, e, n);
    return 0;
}
