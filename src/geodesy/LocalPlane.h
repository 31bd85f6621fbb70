#pragma once
// Flat-earth approximation around one reference point: latitude and longitude
// differences scaled to metres with the lengths of one degree at the reference
// latitude. Cheap enough for per-fix and per-frame work (CPA, arrival circles,
// route legs, track statistics).

class CLocalPlane
{
public:
    CLocalPlane() = default;
    CLocalPlane(double latitude, double longitude) { SetOrigin(latitude, longitude); }

    void SetOrigin(double latitude, double longitude);

    // Metres east (x) and north (y) of the reference. Longitude differences are
    // taken the short way round, so the date line does not tear the plane.
    void ToXY(double latitude, double longitude, double& x, double& y) const;
    // Back to a position (longitude in [-180, 180)); 999, 999 when the plane is unusable.
    void FromXY(double x, double y, double& latitude, double& longitude) const;

    double DistanceTo(double latitude, double longitude) const;
    double DistanceSquaredTo(double latitude, double longitude) const;
    // Metres between two positions, with this plane's scales.
    double Distance(double lat1, double lon1, double lat2, double lon2) const;
    // A difference of two x values of this plane folded the short way round
    // the earth, so that points on either side of 180 degrees stay close.
    double ShortEastOffset(double dx) const;
    // Range in metres and bearing in degrees 0..360 from the reference.
    void RangeBearingTo(double latitude, double longitude, double& range, double& bearing) const;

    double RefLatitude() const { return m_refLat; }
    double RefLongitude() const { return m_refLon; }
    double MetresPerDegreeLatitude() const { return m_latScale; }
    double MetresPerDegreeLongitude() const { return m_lonScale; }
    bool IsUsable() const { return m_latScale != 0; }

private:
    double m_refLat = 0;
    double m_refLon = 0;
    double m_latScale = 0; // 0 marks a plane at or beyond a pole
    double m_lonScale = 0;
};

// False for (0, 0) exactly (a receiver's empty fix), latitudes beyond the poles
// and non-finite values.
bool IsValidPosition(double latitude, double longitude);

// Unit vector of a course in degrees true; an unknown course (above 900, or not
// a number) gives the zero vector.
void CourseToVector(float course, float& east, float& north);
// Course in whole degrees 0..360 of a vector of any length; 999 for a zero vector.
float VectorToCourse(float north, float east);

namespace geodesy {
// WGS84 length of one degree at a whole degree of absolute latitude 0..90, in nautical miles.
double NMPerDegreeLatitude(int degree);
double NMPerDegreeLongitude(int degree);
// sin of a whole degree 0..90, single precision.
float SineTable(int degree);
} // namespace geodesy
