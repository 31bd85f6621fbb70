#include "charts/PolynomialProjection.h"

#include <cmath>
#include <cstring>

double EvaluatePolynomial(const double* c, double u, double v)
{
    const double uu = u * u, vv = v * v;
    return c[0] + c[1] * u + c[2] * v + c[3] * uu + c[4] * u * v + c[5] * vv + c[6] * uu * u + c[7] * uu * v +
           c[8] * u * vv + c[9] * vv * v;
}

void PixelToLatLonCorrected(const double* forward, const double* inverse, double x, double y, double& lat,
                            double& lon)
{
    const double lat0 = EvaluatePolynomial(inverse, x, y);
    const double lon0 = EvaluatePolynomial(inverse + 10, x, y);
    const double x1 = EvaluatePolynomial(forward, lat0, lon0);
    const double y1 = EvaluatePolynomial(forward + 10, lat0, lon0);
    lat = EvaluatePolynomial(inverse, 2 * x - x1, 2 * y - y1);
    lon = EvaluatePolynomial(inverse + 10, 2 * x - x1, 2 * y - y1);
}

void LatLonToPixelWrapped(const double* forward, double lat, double lon, double centreLon, double& x,
                          double& y)
{
    const double d = lon - centreLon;
    if (d * d > 32400.0)
        lon += d < 0 ? 360.0 : -360.0;
    x = EvaluatePolynomial(forward, lat, lon);
    y = EvaluatePolynomial(forward + 10, lat, lon);
}

void LatitudeGradient(const double* c, double x, double y, double& gx, double& gy)
{
    gx = c[1] + 2 * c[3] * x + c[4] * y + 3 * c[6] * x * x + 2 * c[7] * x * y + c[8] * y * y;
    gy = c[2] + c[4] * x + 2 * c[5] * y + c[7] * x * x + 2 * c[8] * x * y + 3 * c[9] * y * y;
}

void PolynomialPixelToLatLon(const double* block, double x, double y, double& lat, double& lon)
{
    PixelToLatLonCorrected(block, block + 20, x, y, lat, lon);
}

void PolynomialLatLonToPixel(const double* block, double lat, double lon, double centreLon, double& x,
                             double& y)
{
    LatLonToPixelWrapped(block, lat, lon, centreLon, x, y);
}

double PolynomialScaleAt(const double* block, double x, double y)
{
    double gx, gy;
    LatitudeGradient(block + 20, x, y, gx, gy);
    return std::hypot(gx, gy) * 60.0;
}

CPolynomialProjection::CPolynomialProjection()
    : m_valid(false), m_forward{}, m_inverse{}, m_latShift(0), m_lonShift(0), m_centreLon(0), m_width(0),
      m_height(0)
{
}

void CPolynomialProjection::Init(const double forward[20], const double inverse[20], int width, int height,
                                 double latShift, double lonShift)
{
    std::memcpy(m_forward, forward, sizeof m_forward);
    std::memcpy(m_inverse, inverse, sizeof m_inverse);
    m_width = width;
    m_height = height;
    m_latShift = latShift;
    m_lonShift = lonShift;
    double lat;
    PixelToLatLon(width / 2, height / 2, lat, m_centreLon);
    m_valid = true;
}

void CPolynomialProjection::PixelToLatLon(double x, double y, double& lat, double& lon) const
{
    PixelToLatLonCorrected(m_forward, m_inverse, x, y, lat, lon);
    lat += m_latShift;
    lon += m_lonShift;
}

void CPolynomialProjection::LatLonToPixel(double lat, double lon, double& x, double& y) const
{
    LatLonToPixelWrapped(m_forward, lat - m_latShift, lon - m_lonShift, m_centreLon, x, y);
}

bool CPolynomialProjection::LatLonToPixelInside(double lat, double lon, int& x, int& y) const
{
    double px, py;
    LatLonToPixel(lat, lon, px, py);
    // Checked before converting: a NaN or a huge value has no int.
    if (!(px > -1.0 && px < double(m_width) && py > -1.0 && py < double(m_height))) {
        x = std::isfinite(px) && std::fabs(px) < 2e9 ? int(px) : -1;
        y = std::isfinite(py) && std::fabs(py) < 2e9 ? int(py) : -1;
        return false;
    }
    x = int(px);
    y = int(py);
    return x >= 0 && y >= 0;
}

bool CPolynomialProjection::LatLonToPoint(double lat, double lon, double& x, double& y) const
{
    double px, py;
    LatLonToPixel(lat, lon, px, py);
    if (!(px * px + py * py < 4e18)) {
        x = -1;
        y = -1;
        return false;
    }
    x = double(float(px));
    y = double(float(py));
    return true;
}

double CPolynomialProjection::ScaleAt(double x, double y) const
{
    double gx, gy;
    LatitudeGradient(m_inverse, x, y, gx, gy);
    return std::hypot(gx, gy) * 60.0;
}

void CPolynomialProjection::NorthAt(double x, double y, float& cosine, float& sine) const
{
    double gx, gy;
    LatitudeGradient(m_inverse, x, y, gx, gy);
    const double h = std::hypot(gx, gy);
    if (!(h > 0) || !std::isfinite(h)) {
        // A chart without a latitude gradient here has no north: keep it up.
        cosine = 1;
        sine = 0;
        return;
    }
    cosine = float(-gy / h);
    sine = float(gx / h);
}
