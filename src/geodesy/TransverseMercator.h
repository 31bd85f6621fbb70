#pragma once
// Ellipsoids, datum shifts and the transverse Mercator projection in the
// Ordnance Survey series form, as the grid position formats need them.
// Angles passed in and out are degrees; lengths are metres.

struct CEllipsoid
{
    double a = 0;  // semi-major axis, m
    double b = 0;  // semi-minor axis, m
    double e2 = 0; // first eccentricity squared
    double n = 0;  // (a - b) / (a + b)
    double nu = 0; // prime-vertical radius at the latitude last set, m

    CEllipsoid() = default;
    CEllipsoid(double semiMajor, double semiMinor);

    // nu for the latitude (degrees); the cartesian conversions use it.
    void SetLatitude(double latitudeDeg);
    // Earth-centred cartesian coordinates (m) at height 0, with the nu last set.
    void GeodeticToCartesian(double latitudeDeg, double longitudeDeg, double& x, double& y, double& z) const;
    // One step back to latitude and longitude (degrees), with the nu last set.
    void CartesianToGeodetic(double x, double y, double z, double& latitudeDeg, double& longitudeDeg) const;
};

// Seven-parameter similarity transform between two datums.
struct CHelmertParams
{
    double tx, ty, tz; // m
    double rx, ry, rz; // radians
    double s;          // scale factor near 1

    void Apply(double& x, double& y, double& z) const;
};

struct CTransverseMercatorParams
{
    CEllipsoid ellipsoid;
    double N0 = 0;      // false northing, m
    double E0 = 0;      // false easting, m
    double F0 = 1;      // central scale factor
    double phi0 = 0;    // origin latitude, radians
    double lambda0 = 0; // central meridian, radians

    // Meridian arc from phi0 to phi (radians), scaled by F0, in metres.
    double MeridianArc(double phi) const;
    // Always succeeds for finite input; the result may be non-finite at the poles' limits.
    void Forward(double latitudeDeg, double longitudeDeg, double& easting, double& northing) const;
    // False when the input is not finite or the series does not settle; outputs untouched then.
    bool Inverse(double easting, double northing, double& latitudeDeg, double& longitudeDeg) const;
};

namespace geodesy {

extern const CHelmertParams kWGS84toOSGB36;
extern const CHelmertParams kOSGB36toWGS84;

CTransverseMercatorParams NationalGridParams();
CTransverseMercatorParams UTMParams(int zone); // WGS84, central meridian of the zone
CTransverseMercatorParams NZTMParams();
CEllipsoid WGS84Ellipsoid();

// WGS84 position to National Grid easting/northing (through OSGB36).
void WGS84ToNationalGrid(double latitudeDeg, double longitudeDeg, double& easting, double& northing);
// National Grid easting/northing to a WGS84 position; false when the inverse fails.
bool NationalGridToWGS84(double easting, double northing, double& latitudeDeg, double& longitudeDeg);

// Longitude in degrees brought into [-180, 180).
double NormalizeLongitude(double longitudeDeg);

} // namespace geodesy
