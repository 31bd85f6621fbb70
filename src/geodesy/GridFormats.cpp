#include "geodesy/GridFormats.h"

#include "foundation/NumberText.h"
#include "geodesy/TextScan.h"
#include "geodesy/TransverseMercator.h"

#include <GeographicLib/MGRS.hpp>
#include <GeographicLib/UTMUPS.hpp>

#include <cmath>
#include <cstdio>
#include <exception>

namespace {

constexpr char kNoPosition[] = "---";
constexpr char kOffGrid[] = "<off grid>";

constexpr double kUTMMaxEasting = 1000000;
constexpr double kUTMMaxNorthing = 10000000;
// The National Grid's own extent.
constexpr double kOSGBMaxEasting = 700000;
constexpr double kOSGBMaxNorthing = 1300000;
// New Zealand with its outlying islands, with room to spare; outside it the
// series projection is meaningless.
constexpr double kNZTMMinEasting = 0;
constexpr double kNZTMMaxEasting = 3200000;
constexpr double kNZTMMinNorthing = 0;
constexpr double kNZTMMaxNorthing = 10000000;
constexpr double kNZTMCentralMeridian = 173;
// Never shown further than this from the central meridian; nearer, the
// series must still agree with its inverse (SeriesHolds).
constexpr double kNZTMMaxLongitudeOffset = 30;
// A grid text rounded to the metre can lie just past a pole; what lies within
// this many degrees of it (about a metre) is the pole itself.
constexpr double kPoleOvershoot = 1e-5;

bool Usable(double latitude, double longitude)
{
    return std::isfinite(latitude) && std::isfinite(longitude) && std::fabs(latitude) <= 90;
}

// The inverse projections must give a real place. Zone 1 reaches a little west
// of -180 (that is the far east), so the longitude is judged after wrapping;
// only absurd series results beyond a full turn are refused outright.
bool Plausible(double latitude, double longitude)
{
    return std::isfinite(latitude) && std::isfinite(longitude) && std::fabs(latitude) <= 90 &&
           std::fabs(longitude) <= 360;
}

bool FinishParse(double lat, double lon, double& latitude, double& longitude)
{
    if (std::fabs(lat) > 90 && std::fabs(lat) <= 90 + kPoleOvershoot)
        lat = std::copysign(90.0, lat);
    if (!Plausible(lat, lon))
        return false;
    latitude = lat;
    longitude = geodesy::NormalizeLongitude(lon);
    return true;
}

// Far from its central meridian the series projection stops agreeing with its
// own inverse; a grid text that would not read back to the place is not shown.
bool SeriesHolds(const CTransverseMercatorParams& params, double easting, double northing, double latitude,
                 double longitude)
{
    constexpr double kMetresPerDegree = 111320;
    constexpr double kMaxMetres = 0.5;
    double lat, lon;
    if (!std::isfinite(easting) || !std::isfinite(northing) || !params.Inverse(easting, northing, lat, lon))
        return false;
    const double north = (lat - latitude) * kMetresPerDegree;
    const double east =
        geodesy::NormalizeLongitude(lon - longitude) * kMetresPerDegree * std::cos(latitude * (M_PI / 180));
    return std::hypot(north, east) <= kMaxMetres;
}

std::string FormatUTM(int zone, char letter, double easting, double northing)
{
    char buf[96];
    CCLocaleScope cLocale;
    std::snprintf(buf, sizeof buf, "%d%c %06.0fE %06.0fN", zone, letter, easting, northing);
    return buf;
}

// " %d%c %d E %d": zone, letter, easting, northing. Anything after is ignored.
bool ScanUTM(std::string_view text, int& zone, char& letter, double& easting, double& northing)
{
    size_t pos = 0;
    int64_t z, e, n;
    if (!geodesy::ScanInt(text, pos, z) || pos >= text.size())
        return false;
    letter = text[pos++];
    if (!geodesy::IsAsciiLetter(letter))
        return false;
    if (!geodesy::ScanInt(text, pos, e))
        return false;
    geodesy::SkipBlanks(text, pos);
    if (pos >= text.size() || text[pos] != 'E')
        return false;
    ++pos;
    if (!geodesy::ScanInt(text, pos, n))
        return false;
    if (z < 1 || z > 60 || e < 0 || e > kUTMMaxEasting || n < 0 || n > kUTMMaxNorthing)
        return false;
    zone = static_cast<int>(z);
    easting = static_cast<double>(e);
    northing = static_cast<double>(n);
    return true;
}

bool InverseUTM(int zone, double easting, double northing, double& latitude, double& longitude)
{
    double lat, lon;
    if (!geodesy::UTMParams(zone).Inverse(easting, northing, lat, lon))
        return false;
    return FinishParse(lat, lon, latitude, longitude);
}

} // namespace

namespace geodesy {

int UTMZone(double longitude)
{
    const int zone = static_cast<int>(std::floor((NormalizeLongitude(longitude) + 186) / 6));
    return zone < 1 ? 1 : (zone > 60 ? 60 : zone);
}

char UTMBandLetter(double latitude)
{
    static const char kBands[] = "CDEFGHJKLMNPQRSTUVWX";
    int index = (static_cast<int>(std::floor(latitude)) + 80) / 8;
    if (latitude < -87 || index < 0)
        index = 0;
    if (index > 19)
        index = 19;
    return kBands[index];
}

} // namespace geodesy

namespace {

// The zone, easting and northing (negative south of the equator) of a
// position; false, with the placeholder text, when it cannot be shown.
bool ForwardUTM(double latitude, double longitude, std::string& text, int& zone, double& e, double& n)
{
    if (!Usable(latitude, longitude)) {
        text = kNoPosition;
        return false;
    }
    zone = geodesy::UTMZone(longitude);
    geodesy::UTMParams(zone).Forward(latitude, geodesy::NormalizeLongitude(longitude), e, n);
    if (!std::isfinite(e) || !std::isfinite(n)) {
        text = kNoPosition;
        return false;
    }
    return true;
}

} // namespace

bool CUnitsPositionUTM84::Format(std::string& text, double latitude, double longitude) const
{
    int zone;
    double e, n;
    if (!ForwardUTM(latitude, longitude, text, zone, e, n))
        return false;
    char letter = 'N';
    if (n < 0) {
        n += 10000000;
        letter = 'S';
    }
    text = FormatUTM(zone, letter, e, n);
    return true;
}

bool CUnitsPositionUTM84::Parse(std::string_view text, double& latitude, double& longitude) const
{
    int zone;
    char letter;
    double e, n;
    if (!ScanUTM(text, zone, letter, e, n))
        return false;
    if (letter == 's' || letter == 'S')
        n -= 10000000;
    return InverseUTM(zone, e, n, latitude, longitude);
}

bool CUnitsPositionUTM84bands::Format(std::string& text, double latitude, double longitude) const
{
    int zone;
    double e, n;
    if (!ForwardUTM(latitude, longitude, text, zone, e, n))
        return false;
    // The band tells Parse the hemisphere, so it decides the false northing:
    // a latitude a hair south of the equator can project to a northing of 0.
    const char band = geodesy::UTMBandLetter(latitude);
    if (band < 'N')
        n += 10000000;
    text = FormatUTM(zone, band, e, n);
    return true;
}

bool CUnitsPositionUTM84bands::Parse(std::string_view text, double& latitude, double& longitude) const
{
    int zone;
    char letter;
    double e, n;
    if (!ScanUTM(text, zone, letter, e, n))
        return false;
    if (letter >= 'a' && letter <= 'z')
        letter = static_cast<char>(letter - 'a' + 'A');
    if (letter < 'N')
        n -= 10000000;
    return InverseUTM(zone, e, n, latitude, longitude);
}

bool CUnitsNZTM::Format(std::string& text, double latitude, double longitude) const
{
    if (!Usable(latitude, longitude)) {
        text = kNoPosition;
        return false;
    }
    // Measured from the central meridian, so that the Chatham Islands east of
    // 180 degrees lie 10 degrees east of it, not 350 degrees west.
    // (Normalised first: a huge longitude would swallow the subtraction.)
    const double offset =
        geodesy::NormalizeLongitude(geodesy::NormalizeLongitude(longitude) - kNZTMCentralMeridian);
    double e = NAN, n = NAN;
    const CTransverseMercatorParams nztm = geodesy::NZTMParams();
    if (std::fabs(offset) <= kNZTMMaxLongitudeOffset) {
        nztm.Forward(latitude, kNZTMCentralMeridian + offset, e, n);
        if (!SeriesHolds(nztm, e, n, latitude, kNZTMCentralMeridian + offset))
            e = n = NAN;
        // Judged as written (printf rounds to the nearest, ties to even).
        e = std::nearbyint(e);
        n = std::nearbyint(n);
    }
    // What Parse would refuse is never written; written so that NaN fails too.
    if (!(e >= kNZTMMinEasting && e <= kNZTMMaxEasting && n >= kNZTMMinNorthing && n <= kNZTMMaxNorthing)) {
        text = kOffGrid;
        return false;
    }
    char buf[96];
    CCLocaleScope cLocale;
    std::snprintf(buf, sizeof buf, "%06.0f %06.0f", e, n);
    text = buf;
    return true;
}

bool CUnitsNZTM::Parse(std::string_view text, double& latitude, double& longitude) const
{
    size_t pos = 0;
    double e, n;
    if (!geodesy::ScanDouble(text, pos, e) || !geodesy::ScanDouble(text, pos, n))
        return false;
    if (e < kNZTMMinEasting || e > kNZTMMaxEasting || n < kNZTMMinNorthing || n > kNZTMMaxNorthing)
        return false;
    double lat, lon;
    if (!geodesy::NZTMParams().Inverse(e, n, lat, lon))
        return false;
    return FinishParse(lat, lon, latitude, longitude);
}

bool CUnitsOSGB::Format(std::string& text, double latitude, double longitude) const
{
    double e = NAN, n = NAN;
    if (Usable(latitude, longitude))
        geodesy::WGS84ToNationalGrid(latitude, geodesy::NormalizeLongitude(longitude), e, n);
    // Written so that NaN fails too.
    if (!(e >= 0 && e <= kOSGBMaxEasting && n >= 0 && n <= kOSGBMaxNorthing)) {
        text = kOffGrid;
        return false;
    }
    int easting = static_cast<int>(std::floor(e + 0.5));
    int northing = static_cast<int>(std::floor(n + 0.5));
    // Rounding up onto the far edge stays in the last square.
    if (easting >= kOSGBMaxEasting)
        easting = static_cast<int>(kOSGBMaxEasting) - 1;
    if (northing >= kOSGBMaxNorthing)
        northing = static_cast<int>(kOSGBMaxNorthing) - 1;
    const int east100 = easting / 100000, north100 = northing / 100000;
    const char first = "STNOHJ"[(north100 / 5) * 2 + east100 / 5];
    char second = static_cast<char>('A' + 20 + east100 % 5 - 5 * (north100 % 5));
    if (second >= 'I')
        ++second;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%c%c %05d %05d", first, second, easting % 100000, northing % 100000);
    text = buf;
    return true;
}

bool CUnitsOSGB::ParseGridReference(std::string_view text, double& easting, double& northing)
{
    size_t pos = 0;
    geodesy::SkipBlanks(text, pos);
    if (text.size() - pos < 2)
        return false;
    char first = text[pos], second = text[pos + 1];
    if (!geodesy::IsAsciiLetter(first) || !geodesy::IsAsciiLetter(second))
        return false;
    first = static_cast<char>(first >= 'a' ? first - 'a' + 'A' : first);
    second = static_cast<char>(second >= 'a' ? second - 'a' + 'A' : second);
    if (second == 'I')
        return false;
    pos += 2;

    char digits[10];
    int count = 0;
    for (; pos < text.size(); ++pos) {
        if (!geodesy::IsAsciiDigit(text[pos]))
            continue;
        // More digits than a 1 m reference holds: refuse rather than cut.
        if (count == 10)
            return false;
        digits[count++] = text[pos];
    }
    if (count < 6 || count % 2 != 0)
        return false;
    const int half = count / 2;
    double e = 0, n = 0;
    for (int i = 0; i < half; ++i) {
        e = e * 10 + (digits[i] - '0');
        n = n * 10 + (digits[half + i] - '0');
    }
    const double scale = half == 3 ? 100 : (half == 4 ? 10 : 1);
    e *= scale;
    n *= scale;

    static const char kSquares[] = "STNOHJ";
    const char* square = nullptr;
    for (const char* s = kSquares; *s; ++s)
        if (*s == first)
            square = s;
    if (!square)
        return false;
    const int si = static_cast<int>(square - kSquares);
    const double squareE = (si % 2) * 500000.0, squareN = (si / 2) * 500000.0;

    int index = second - 'A';
    if (second >= 'J')
        --index;
    if (index > 24)
        return false;
    e += (index % 5) * 100000.0 + squareE;
    n += (4 - index / 5) * 100000.0 + squareN;
    easting = e;
    northing = n;
    return true;
}

bool CUnitsOSGB::Parse(std::string_view text, double& latitude, double& longitude) const
{
    double e, n;
    if (!ParseGridReference(text, e, n))
        return false;
    // Letter pairs that exist in the lettering but lie outside the grid.
    if (e < 0 || e > kOSGBMaxEasting || n < 0 || n > kOSGBMaxNorthing)
        return false;
    double lat, lon;
    if (!geodesy::NationalGridToWGS84(e, n, lat, lon))
        return false;
    return FinishParse(lat, lon, latitude, longitude);
}

bool CUnitsMGRS::Format(std::string& text, double latitude, double longitude) const
{
    if (!Usable(latitude, longitude)) {
        text = kNoPosition;
        return false;
    }
    try {
        int zone;
        bool northp;
        double x, y;
        GeographicLib::UTMUPS::Forward(latitude, geodesy::NormalizeLongitude(longitude), zone, northp, x, y);
        std::string mgrs;
        GeographicLib::MGRS::Forward(zone, northp, x, y, latitude, 5, mgrs);
        text = mgrs;
        return true;
    } catch (const std::exception&) {
        text = kNoPosition;
        return false;
    }
}

bool CUnitsMGRS::Parse(std::string_view text, double& latitude, double& longitude) const
{
    std::string clean;
    for (char c : text)
        if (geodesy::IsAsciiLetter(c) || geodesy::IsAsciiDigit(c))
            clean.push_back(c);
    if (clean.empty() || clean.size() > 64)
        return false;
    try {
        int zone, prec;
        bool northp;
        double x, y;
        GeographicLib::MGRS::Reverse(clean, zone, northp, x, y, prec, true);
        if (zone < GeographicLib::UTMUPS::MINZONE || zone > GeographicLib::UTMUPS::MAXZONE ||
            !std::isfinite(x) || !std::isfinite(y))
            return false;
        double lat, lon;
        GeographicLib::UTMUPS::Reverse(zone, northp, x, y, lat, lon);
        return FinishParse(lat, lon, latitude, longitude);
    } catch (const std::exception&) {
        return false;
    }
}
