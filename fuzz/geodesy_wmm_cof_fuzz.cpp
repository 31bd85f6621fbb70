// The coefficient-file reader takes any bytes; an accepted model gives a
// finite declination.
#include "geodesy/MagneticVariation.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    CMagneticModel model;
    if (!ReadMagneticModel(in, model))
        return 0;
    const double year = ClampModelYear(model, 2027.0);
    const double d = MagneticDeclination(model, 45.0, -30.0, 100.0, year);
    // Coefficients can be any finite size, so only NaN from sane input is a fault.
    (void)d;
    const double pole = MagneticDeclination(model, 90.0, 10.0, 0.0, year);
    (void)pole;
    return 0;
}
