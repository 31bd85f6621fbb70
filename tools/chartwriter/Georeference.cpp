#include "chartwriter/ChartWriter.h"

#include <array>
#include <cmath>
#include <cstring>

namespace chartwriter {
namespace {

// Term k of a cubic: u^kPowU[k] * v^kPowV[k].
constexpr int kPowU[10] = {0, 1, 0, 2, 1, 0, 3, 2, 1, 0};
constexpr int kPowV[10] = {0, 0, 1, 0, 1, 2, 0, 1, 2, 3};

int TermIndex(int i, int j)
{
    for (int k = 0; k < 10; ++k)
        if (kPowU[k] == i && kPowV[k] == j)
            return k;
    return -1;
}

double Binomial(int n, int k)
{
    static const double table[4][4] = {{1, 0, 0, 0}, {1, 1, 0, 0}, {1, 2, 1, 0}, {1, 3, 3, 1}};
    return table[n][k];
}

// Least-squares cubic through samples; the fit runs in centred, scaled
// variables (for conditioning) and is then expanded to the raw ones.
struct CSample
{
    double u, v, value;
};

bool FitCubic(const std::vector<CSample>& samples, double c[10])
{
    double uMin = 1e300, uMax = -1e300, vMin = 1e300, vMax = -1e300;
    for (const auto& s : samples) {
        uMin = std::min(uMin, s.u);
        uMax = std::max(uMax, s.u);
        vMin = std::min(vMin, s.v);
        vMax = std::max(vMax, s.v);
    }
    const double u0 = (uMin + uMax) / 2, v0 = (vMin + vMax) / 2;
    const double su = uMax > uMin ? 2 / (uMax - uMin) : 1, sv = vMax > vMin ? 2 / (vMax - vMin) : 1;
    double a[10][11] = {};
    for (const auto& s : samples) {
        const double u = (s.u - u0) * su, v = (s.v - v0) * sv;
        double t[10];
        for (int k = 0; k < 10; ++k)
            t[k] = std::pow(u, kPowU[k]) * std::pow(v, kPowV[k]);
        for (int r = 0; r < 10; ++r) {
            for (int k = 0; k < 10; ++k)
                a[r][k] += t[r] * t[k];
            a[r][10] += t[r] * s.value;
        }
    }
    for (int col = 0; col < 10; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 10; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col]))
                pivot = r;
        if (std::fabs(a[pivot][col]) < 1e-300)
            return false;
        std::swap(a[col], a[pivot]);
        for (int r = 0; r < 10; ++r) {
            if (r == col)
                continue;
            const double f = a[r][col] / a[col][col];
            for (int k = col; k < 11; ++k)
                a[r][k] -= f * a[col][k];
        }
    }
    double scaled[10];
    for (int k = 0; k < 10; ++k)
        scaled[k] = a[k][10] / a[k][k];
    // (su (u - u0))^i (sv (v - v0))^j expanded binomially.
    std::memset(c, 0, 10 * sizeof(double));
    for (int k = 0; k < 10; ++k) {
        const int i = kPowU[k], j = kPowV[k];
        for (int p = 0; p <= i; ++p)
            for (int q = 0; q <= j; ++q) {
                const double f =
                    Binomial(i, p) * std::pow(-u0, i - p) * Binomial(j, q) * std::pow(-v0, j - q);
                c[TermIndex(p, q)] += scaled[k] * std::pow(su, i) * std::pow(sv, j) * f;
            }
    }
    return true;
}

double MercatorY(double latDeg)
{
    const double phi = latDeg * M_PI / 180;
    return std::log(std::tan(M_PI / 4 + phi / 2));
}

} // namespace

void PlateCarreeCoefficients(double west, double north, double east, double south, int pixelWidth,
                             int pixelHeight, double forward[20], double inverse[20])
{
    std::memset(forward, 0, 20 * sizeof(double));
    std::memset(inverse, 0, 20 * sizeof(double));
    const double sx = pixelWidth / (east - west);    // pixels per degree of longitude
    const double sy = pixelHeight / (north - south); // pixels per degree of latitude
    forward[0] = -west * sx;
    forward[2] = sx;
    forward[10] = north * sy;
    forward[11] = -sy;
    inverse[0] = north;
    inverse[2] = -1 / sy;
    inverse[10] = west;
    inverse[11] = 1 / sx;
}

void MercatorCoefficients(double west, double north, double east, double south, int pixelWidth,
                          int pixelHeight, double forward[20], double inverse[20])
{
    const double yn = MercatorY(north), ys = MercatorY(south);
    std::vector<CSample> fx, fy, ilat, ilon;
    const int steps = 24;
    for (int a = 0; a <= steps; ++a)
        for (int b = 0; b <= steps; ++b) {
            const double lat = south + (north - south) * a / steps;
            const double lon = west + (east - west) * b / steps;
            const double x = (lon - west) / (east - west) * pixelWidth;
            const double y = (yn - MercatorY(lat)) / (yn - ys) * pixelHeight;
            fx.push_back({lat, lon, x});
            fy.push_back({lat, lon, y});
            ilat.push_back({x, y, lat});
            ilon.push_back({x, y, lon});
        }
    FitCubic(fx, forward);
    FitCubic(fy, forward + 10);
    FitCubic(ilat, inverse);
    FitCubic(ilon, inverse + 10);
}

void MixingTableByAverage(const uint32_t palette[128], uint8_t mixing[128 * 128])
{
    for (int a = 0; a < 128; ++a)
        for (int b = 0; b < 128; ++b) {
            int best = a;
            long bestD = -1;
            const int r = (int((palette[a] >> 16) & 255) + int((palette[b] >> 16) & 255) + 1) / 2;
            const int g = (int((palette[a] >> 8) & 255) + int((palette[b] >> 8) & 255) + 1) / 2;
            const int bl = (int(palette[a] & 255) + int(palette[b] & 255) + 1) / 2;
            for (int k = 0; k < 128; ++k) {
                const long dr = long((palette[k] >> 16) & 255) - r, dg = long((palette[k] >> 8) & 255) - g,
                           db = long(palette[k] & 255) - bl;
                const long d = dr * dr + dg * dg + db * db;
                if (bestD < 0 || d < bestD) {
                    bestD = d;
                    best = k;
                }
            }
            mixing[128 * a + b] = uint8_t(best);
        }
}

} // namespace chartwriter
