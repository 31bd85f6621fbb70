#include "foundation/settings/ColourText.h"

#include <cmath>

namespace {

unsigned ComponentByte(double c)
{
    if (!(c > 0)) // NaN too
        return 0;
    if (c >= 1)
        return 255;
    // Truncates, with a hair of slack so that k/255 gives k back.
    return static_cast<unsigned>(c * 255.0 + 1e-7);
}

unsigned HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return unsigned(c - '0');
    if (c >= 'a' && c <= 'f')
        return unsigned(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return unsigned(c - 'A' + 10);
    return 0;
}

} // namespace

std::string ColorToHexString(const double rgba[4])
{
    static const char kHex[] = "0123456789ABCDEF";
    const unsigned bytes[4] = {ComponentByte(rgba[3]), ComponentByte(rgba[0]), ComponentByte(rgba[1]),
                               ComponentByte(rgba[2])};
    std::string out = "#";
    for (unsigned b : bytes) {
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 15]);
    }
    return out;
}

bool ColorFromHexString(std::string_view text, double rgba[4])
{
    if (text.empty() || text.front() != '#')
        return false;
    std::string_view d = text.substr(1);
    unsigned a = 255, r, g, b;
    switch (d.size()) {
    case 3:
        r = HexValue(d[0]) * 16;
        g = HexValue(d[1]) * 16;
        b = HexValue(d[2]) * 16;
        break;
    case 4:
        a = HexValue(d[0]) * 16;
        r = HexValue(d[1]) * 16;
        g = HexValue(d[2]) * 16;
        b = HexValue(d[3]) * 16;
        break;
    case 6:
        r = HexValue(d[0]) * 16 + HexValue(d[1]);
        g = HexValue(d[2]) * 16 + HexValue(d[3]);
        b = HexValue(d[4]) * 16 + HexValue(d[5]);
        break;
    case 8:
        a = HexValue(d[0]) * 16 + HexValue(d[1]);
        r = HexValue(d[2]) * 16 + HexValue(d[3]);
        g = HexValue(d[4]) * 16 + HexValue(d[5]);
        b = HexValue(d[6]) * 16 + HexValue(d[7]);
        break;
    default:
        return false;
    }
    rgba[0] = r / 255.0;
    rgba[1] = g / 255.0;
    rgba[2] = b / 255.0;
    rgba[3] = a / 255.0;
    return true;
}
