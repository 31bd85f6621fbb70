#pragma once
// The georeference of a chart: cubic polynomials from (latitude, longitude)
// in degrees to pixels (forward) and back (inverse), ten coefficients per
// output over the terms 1, u, v, u^2, uv, v^2, u^3, u^2 v, u v^2, v^3.
// Pixels: x to the right, y downwards from the image's top-left corner.
// Scales are in nautical miles per chart pixel.

// One polynomial of ten coefficients at (u, v).
double EvaluatePolynomial(const double* c, double u, double v);

// The raw coefficient block (20 forward doubles, then 20 inverse) as the
// header holds it, for code that has no chart object. No datum shift.
void PolynomialPixelToLatLon(const double* block, double x, double y, double& lat, double& lon);
void PolynomialLatLonToPixel(const double* block, double lat, double lon, double centreLon, double& x,
                             double& y);
double PolynomialScaleAt(const double* block, double x, double y);

// Shared by the chart and the projection: pixel to position with one
// correction step through the forward set, shifts not added.
void PixelToLatLonCorrected(const double* forward, const double* inverse, double x, double y, double& lat,
                            double& lon);
// Position (already less the datum shift) to pixel, moving the longitude by
// 360 degrees once when it lies more than 180 degrees from the centre.
void LatLonToPixelWrapped(const double* forward, double lat, double lon, double centreLon, double& x,
                          double& y);
// The gradient of the inverse latitude polynomial at a pixel.
void LatitudeGradient(const double* inverse, double x, double y, double& gx, double& gy);

class CPolynomialProjection
{
public:
    CPolynomialProjection();

    void Init(const double forward[20], const double inverse[20], int width, int height, double latShift,
              double lonShift);
    bool IsValid() const { return m_valid; }

    void PixelToLatLon(double x, double y, double& lat, double& lon) const;
    void LatLonToPixel(double lat, double lon, double& x, double& y) const;
    // Truncated towards zero; true when the pixel lies inside the image.
    bool LatLonToPixelInside(double lat, double lon, int& x, int& y) const;
    // Rounded to single precision; false (and -1, -1) far outside the image.
    bool LatLonToPoint(double lat, double lon, double& x, double& y) const;
    double ScaleAt(double x, double y) const;
    // Cosine and sine of the angle from the image's up direction to north.
    void NorthAt(double x, double y, float& cosine, float& sine) const;

    double CentreLon() const { return m_centreLon; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }

private:
    bool m_valid;
    double m_forward[20];
    double m_inverse[20];
    double m_latShift;
    double m_lonShift;
    double m_centreLon;
    int m_width;
    int m_height;
};
