#include "geodesy/LocalPlane.h"

#include "geodesy/TransverseMercator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace {

constexpr double kMetresPerNM = 1852.0;

struct DegreeTables
{
    std::array<double, 91> lat{};
    std::array<double, 91> lon{};
    std::array<float, 91> sine{};

    DegreeTables()
    {
        // WGS84: a 6378137 m, 1/f 298.257223563.
        const double a = 6378137.0, f = 1 / 298.257223563, e2 = f * (2 - f);
        const double rad = std::numbers::pi / 180.0;
        for (int i = 0; i < 90; ++i) {
            const double phi = i * rad, s = std::sin(phi);
            const double w = 1 - e2 * s * s;
            lon[i] = a * std::cos(phi) / std::sqrt(w) * rad / kMetresPerNM;
            // The meridian's radius of curvature taken at the latitude whose
            // parametric latitude is phi: this is how the long-standing table was
            // made (it agrees with it to 1e-6 NM), and stored data was scaled with it.
            const double q = std::atan(std::tan(phi) / (1 - f)), sq = std::sin(q);
            const double wq = 1 - e2 * sq * sq;
            lat[i] = a * (1 - e2) / (wq * std::sqrt(wq)) * rad / kMetresPerNM;
            sine[i] = static_cast<float>(s);
        }
        // The table's last row repeats the one before it.
        lat[90] = lat[89];
        lon[90] = 0;
        sine[90] = 1;
    }
};

const DegreeTables& Tables()
{
    static const DegreeTables tables;
    return tables;
}

double WrapDelta(double d)
{
    return geodesy::NormalizeLongitude(d);
}

} // namespace

namespace geodesy {
double NMPerDegreeLatitude(int degree)
{
    return Tables().lat[std::clamp(degree, 0, 90)];
}
double NMPerDegreeLongitude(int degree)
{
    return Tables().lon[std::clamp(degree, 0, 90)];
}
float SineTable(int degree)
{
    return Tables().sine[std::clamp(degree, 0, 90)];
}
} // namespace geodesy

void CLocalPlane::SetOrigin(double latitude, double longitude)
{
    m_refLat = latitude;
    m_refLon = longitude;
    if (latitude > -90 && latitude < 90) {
        const double absLat = std::fabs(latitude);
        const int i = static_cast<int>(std::floor(absLat));
        const double f = absLat - i;
        const DegreeTables& t = Tables();
        m_latScale = ((1 - f) * t.lat[i] + f * t.lat[i + 1]) * kMetresPerNM;
        m_lonScale = ((1 - f) * t.lon[i] + f * t.lon[i + 1]) * kMetresPerNM;
    } else {
        // Also taken for a non-finite reference: the plane is unusable.
        m_latScale = 0;
        m_lonScale = 0;
    }
}

void CLocalPlane::ToXY(double latitude, double longitude, double& x, double& y) const
{
    x = WrapDelta(longitude - m_refLon) * m_lonScale;
    y = (latitude - m_refLat) * m_latScale;
}

void CLocalPlane::FromXY(double x, double y, double& latitude, double& longitude) const
{
    if (m_latScale == 0) {
        latitude = 999;
        longitude = 999;
        return;
    }
    latitude = y / m_latScale + m_refLat;
    // Close to a pole the longitude scale may be 0; stay on the reference meridian then.
    longitude = geodesy::NormalizeLongitude(m_lonScale != 0 ? x / m_lonScale + m_refLon : m_refLon);
}

double CLocalPlane::DistanceSquaredTo(double latitude, double longitude) const
{
    double x, y;
    ToXY(latitude, longitude, x, y);
    return x * x + y * y;
}

double CLocalPlane::DistanceTo(double latitude, double longitude) const
{
    double x, y;
    ToXY(latitude, longitude, x, y);
    return std::hypot(x, y);
}

double CLocalPlane::Distance(double lat1, double lon1, double lat2, double lon2) const
{
    const double x = WrapDelta(lon2 - lon1) * m_lonScale;
    const double y = (lat2 - lat1) * m_latScale;
    return std::hypot(x, y);
}

double CLocalPlane::ShortEastOffset(double dx) const
{
    const double circle = 360.0 * m_lonScale;
    if (!(circle > 0) || std::fabs(dx) <= circle / 2)
        return dx;
    return dx - circle * std::round(dx / circle);
}

void CLocalPlane::RangeBearingTo(double latitude, double longitude, double& range, double& bearing) const
{
    double x, y;
    ToXY(latitude, longitude, x, y);
    range = std::hypot(x, y);
    bearing = std::atan2(x, y) * 180.0 / std::numbers::pi;
    if (bearing < 0)
        bearing += 360.0;
}

bool IsValidPosition(double latitude, double longitude)
{
    if (!std::isfinite(latitude) || !std::isfinite(longitude))
        return false;
    if (latitude == 0 && longitude == 0)
        return false;
    return latitude >= -90 && latitude <= 90;
}

void CourseToVector(float course, float& east, float& north)
{
    // fmod rather than repeated +-360: a garbage course of -1e30 from an NMEA
    // field must neither spin nor reach an out-of-range index.
    if (!std::isfinite(course) || course > 900 || course < -900) {
        east = north = 0;
        return;
    }
    float c = course;
    if (c < 0 || c > 360) {
        c = std::fmod(c, 360.0f);
        if (c < 0)
            c += 360.0f;
    }
    const float a = c > 180 ? 360 - c : c;
    const float b = a > 90 ? 180 - a : a;
    const int i = std::clamp(static_cast<int>(b + 0.5f), 0, 90);
    const DegreeTables& t = Tables();
    east = c > 180 ? -t.sine[i] : t.sine[i];
    north = a > 90 ? -t.sine[90 - i] : t.sine[90 - i];
}

float VectorToCourse(float north, float east)
{
    const double len = std::hypot(static_cast<double>(north), static_cast<double>(east));
    if (!(len > 0) || !std::isfinite(len))
        return 999;
    // Normalised so that vectors of any length (metres, knots) give their angle.
    const double m = std::max(std::fabs(north), std::fabs(east)) / len;
    // Tolerance keeps exact diagonals on their whole degree despite float rounding.
    const double tol = 1e-6;
    const DegreeTables& t = Tables();
    int k = 90;
    for (int step : {32, 16, 8, 4, 2, 1})
        if (t.sine[k - step] >= m - tol)
            k -= step;
    float c = std::fabs(east) >= std::fabs(north) ? static_cast<float>(k) : static_cast<float>(90 - k);
    if (north < 0)
        c = 180 - c;
    if (east < 0)
        c = 360 - c;
    return c;
}
