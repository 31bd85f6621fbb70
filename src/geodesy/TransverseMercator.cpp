#include "geodesy/TransverseMercator.h"

#include <cmath>
#include <numbers>

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;
// The inverse converges in a handful of steps for any sensible northing; the cap
// stops absurd input (a northing of 1e12) from spinning forever.
constexpr int kMaxInverseIterations = 20;

} // namespace

CEllipsoid::CEllipsoid(double semiMajor, double semiMinor)
    : a(semiMajor), b(semiMinor),
      e2((semiMajor * semiMajor - semiMinor * semiMinor) / (semiMajor * semiMajor)),
      n((semiMajor - semiMinor) / (semiMajor + semiMinor)), nu((semiMajor + semiMinor) / 2)
{
}

void CEllipsoid::SetLatitude(double latitudeDeg)
{
    const double s = std::sin(latitudeDeg * kDeg);
    nu = a / std::sqrt(1 - e2 * s * s);
}

void CEllipsoid::GeodeticToCartesian(double latitudeDeg, double longitudeDeg, double& x, double& y,
                                     double& z) const
{
    const double lat = latitudeDeg * kDeg, lon = longitudeDeg * kDeg;
    x = nu * std::cos(lat) * std::cos(lon);
    y = nu * std::cos(lat) * std::sin(lon);
    z = (1 - e2) * nu * std::sin(lat);
}

void CEllipsoid::CartesianToGeodetic(double x, double y, double z, double& latitudeDeg,
                                     double& longitudeDeg) const
{
    const double p = std::hypot(x, y);
    const double lat = std::atan2(z + e2 * nu * std::sin(std::atan2(z, (1 - e2) * p)), p);
    latitudeDeg = lat / kDeg;
    longitudeDeg = std::atan2(y, x) / kDeg;
}

void CHelmertParams::Apply(double& x, double& y, double& z) const
{
    const double x1 = tx + s * x - rz * y + ry * z;
    const double y1 = ty + rz * x + s * y - rx * z;
    const double z1 = tz - ry * x + rx * y + s * z;
    x = x1;
    y = y1;
    z = z1;
}

double CTransverseMercatorParams::MeridianArc(double phi) const
{
    const double n = ellipsoid.n, n2 = n * n, n3 = n2 * n;
    const double d = phi - phi0, s = phi + phi0;
    return ellipsoid.b * F0 *
           ((1 + n + 1.25 * n2 + 1.25 * n3) * d -
            (3 * n + 3 * n2 + 21.0 / 8 * n3) * std::sin(d) * std::cos(s) +
            (15.0 / 8 * n2 + 15.0 / 8 * n3) * std::sin(2 * d) * std::cos(2 * s) -
            35.0 / 24 * n3 * std::sin(3 * d) * std::cos(3 * s));
}

void CTransverseMercatorParams::Forward(double latitudeDeg, double longitudeDeg, double& easting,
                                        double& northing) const
{
    const double a = ellipsoid.a, e2 = ellipsoid.e2;
    const double phi = latitudeDeg * kDeg;
    const double sinPhi = std::sin(phi), cosPhi = std::cos(phi);
    const double w = 1 - e2 * sinPhi * sinPhi;
    const double nu = a * F0 / std::sqrt(w);
    const double rho = nu * (1 - e2) / w;
    const double eta2 = nu / rho - 1;
    const double t = std::tan(phi), t2 = t * t, t4 = t2 * t2;
    const double cos3 = cosPhi * cosPhi * cosPhi, cos5 = cos3 * cosPhi * cosPhi;

    const double I = MeridianArc(phi) + N0;
    const double II = nu / 2 * sinPhi * cosPhi;
    const double III = nu / 24 * sinPhi * cos3 * (5 - t2 + 9 * eta2);
    const double IIIA = nu / 720 * sinPhi * cos5 * (61 - 58 * t2 + t4);
    const double IV = nu * cosPhi;
    const double V = nu / 6 * cos3 * (nu / rho - t2);
    const double VI = nu / 120 * cos5 * (5 - 18 * t2 + t4 + 14 * eta2 - 58 * t2 * eta2);

    const double P = longitudeDeg * kDeg - lambda0;
    const double P2 = P * P;
    northing = I + II * P2 + III * P2 * P2 + IIIA * P2 * P2 * P2;
    easting = E0 + IV * P + V * P2 * P + VI * P2 * P2 * P;
}

bool CTransverseMercatorParams::Inverse(double easting, double northing, double& latitudeDeg,
                                        double& longitudeDeg) const
{
    if (!std::isfinite(easting) || !std::isfinite(northing))
        return false;
    const double a = ellipsoid.a, e2 = ellipsoid.e2;
    double phi = (northing - N0) / (a * F0) + phi0;
    double r = northing - N0 - MeridianArc(phi);
    int iterations = 0;
    do {
        phi += r / (a * F0);
        r = northing - N0 - MeridianArc(phi);
        if (++iterations > kMaxInverseIterations || !std::isfinite(r))
            return false;
    } while (std::fabs(r) > 1e-7);

    const double sinPhi = std::sin(phi), cosPhi = std::cos(phi);
    const double w = 1 - e2 * sinPhi * sinPhi;
    const double nu = a * F0 / std::sqrt(w);
    const double rho = nu * (1 - e2) / w;
    const double eta2 = nu / rho - 1;
    const double t = std::tan(phi), t2 = t * t, t4 = t2 * t2, t6 = t4 * t2;
    const double sec = 1 / cosPhi;
    const double nu3 = nu * nu * nu, nu5 = nu3 * nu * nu, nu7 = nu5 * nu * nu;

    const double VII = t / (2 * rho * nu);
    const double VIII = t / (24 * rho * nu3) * (5 + 3 * t2 + eta2 - 9 * t2 * eta2);
    const double IX = t / (720 * rho * nu5) * (61 + 90 * t2 + 45 * t4);
    const double X = sec / nu;
    const double XI = sec / (6 * nu3) * (nu / rho + 2 * t2);
    const double XII = sec / (120 * nu5) * (5 + 28 * t2 + 24 * t4);
    const double XIIA = sec / (5040 * nu7) * (61 + 662 * t2 + 1320 * t4 + 720 * t6);

    const double E = easting - E0, E2 = E * E, E3 = E2 * E;
    const double lat = phi - VII * E2 + VIII * E2 * E2 - IX * E2 * E2 * E2;
    const double lon = lambda0 + X * E - XI * E3 + XII * E3 * E2 - XIIA * E3 * E2 * E2;
    if (!std::isfinite(lat) || !std::isfinite(lon))
        return false;
    latitudeDeg = lat / kDeg;
    longitudeDeg = lon / kDeg;
    return true;
}

namespace geodesy {

const CHelmertParams kWGS84toOSGB36 = {
    -446.448,    125.157, -542.06, -7.281901490265223e-7, -1.1974897923405526e-6, -4.082616008623398e-6,
    1.0000204894};
const CHelmertParams kOSGB36toWGS84 = {
    446.448,     -125.157, 542.06, 7.281901490265223e-7, 1.1974897923405526e-6, 4.082616008623398e-6,
    0.9999795106};

CEllipsoid WGS84Ellipsoid()
{
    return CEllipsoid(6378137.0, 6356752.3141);
}

CTransverseMercatorParams NationalGridParams()
{
    CTransverseMercatorParams p;
    p.ellipsoid = CEllipsoid(6377563.396, 6356256.91);
    p.N0 = -100000;
    p.E0 = 400000;
    p.F0 = 0.9996012717;
    p.phi0 = 49 * kDeg;
    p.lambda0 = -2 * kDeg;
    return p;
}

CTransverseMercatorParams UTMParams(int zone)
{
    CTransverseMercatorParams p;
    p.ellipsoid = WGS84Ellipsoid();
    p.N0 = 0;
    p.E0 = 500000;
    p.F0 = 0.9996;
    p.phi0 = 0;
    p.lambda0 = (zone * 6 - 183) * kDeg;
    return p;
}

CTransverseMercatorParams NZTMParams()
{
    CTransverseMercatorParams p;
    p.ellipsoid = WGS84Ellipsoid();
    p.N0 = 10000000;
    p.E0 = 1600000;
    p.F0 = 0.9996;
    p.phi0 = 0;
    p.lambda0 = 173 * kDeg;
    return p;
}

void WGS84ToNationalGrid(double latitudeDeg, double longitudeDeg, double& easting, double& northing)
{
    CEllipsoid wgs = WGS84Ellipsoid();
    CTransverseMercatorParams grid = NationalGridParams();
    double x, y, z;
    wgs.SetLatitude(latitudeDeg);
    wgs.GeodeticToCartesian(latitudeDeg, longitudeDeg, x, y, z);
    kWGS84toOSGB36.Apply(x, y, z);
    grid.ellipsoid.SetLatitude(latitudeDeg);
    double lat, lon;
    grid.ellipsoid.CartesianToGeodetic(x, y, z, lat, lon);
    grid.Forward(lat, lon, easting, northing);
}

bool NationalGridToWGS84(double easting, double northing, double& latitudeDeg, double& longitudeDeg)
{
    CTransverseMercatorParams grid = NationalGridParams();
    double lat, lon;
    if (!grid.Inverse(easting, northing, lat, lon))
        return false;
    double x, y, z;
    grid.ellipsoid.SetLatitude(lat);
    grid.ellipsoid.GeodeticToCartesian(lat, lon, x, y, z);
    kOSGB36toWGS84.Apply(x, y, z);
    CEllipsoid wgs = WGS84Ellipsoid();
    wgs.SetLatitude(lat);
    double outLat, outLon;
    wgs.CartesianToGeodetic(x, y, z, outLat, outLon);
    if (!std::isfinite(outLat) || !std::isfinite(outLon))
        return false;
    latitudeDeg = outLat;
    longitudeDeg = outLon;
    return true;
}

double NormalizeLongitude(double longitudeDeg)
{
    if (!std::isfinite(longitudeDeg))
        return longitudeDeg;
    double l = std::fmod(longitudeDeg + 180.0, 360.0);
    if (l < 0)
        l += 360.0;
    l -= 180.0;
    // fmod of a value just below a multiple of 360 can round up to 180.
    return l >= 180.0 ? l - 360.0 : l;
}

} // namespace geodesy
