#include "geodesy/MagneticVariation.h"

#include "foundation/NumberText.h"
#include "foundation/events/Clock.h"
#include "foundation/util/Folders.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <string_view>
#include <vector>

namespace {

// The model's own reference values.
constexpr double kSemiMajorKm = 6378.137;
constexpr double kEccentricity2 = 0.006694380004260591;
constexpr double kReferenceRadiusKm = 6371.2;
constexpr double kSecondsPerYear = 31557600.0; // years of 365.25 days
constexpr double kYear2000 = 946684800.0;
constexpr double kValidityYears = 5.0;
// Below this cosine of the geocentric latitude the east component is summed
// in its limit form; the general form divides by the cosine.
constexpr double kPoleCosine = 1e-10;
// No line of a coefficient file is anywhere near this long.
constexpr size_t kMaxLineLength = 1024;

std::vector<std::string_view> SplitBlanks(std::string_view line)
{
    std::vector<std::string_view> parts;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        size_t start = i;
        while (i < line.size() && !(line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        if (i > start)
            parts.push_back(line.substr(start, i - start));
        if (parts.size() > 16) // far more than any valid line has
            break;
    }
    return parts;
}

bool ReadLine(std::istream& in, std::string& line)
{
    line.clear();
    char c;
    while (in.get(c)) {
        if (c == '\n')
            return true;
        if (line.size() >= kMaxLineLength)
            return false;
        line.push_back(c);
    }
    return !line.empty();
}

} // namespace

bool ReadMagneticModel(std::istream& in, CMagneticModel& model)
{
    CMagneticModel m;
    std::string line;
    // Header: epoch, name and, in the published files, a release date.
    if (!ReadLine(in, line) || line.size() >= kMaxLineLength)
        return false;
    std::vector<std::string_view> head = SplitBlanks(line);
    if (head.size() < 2 || head.size() > 3)
        return false;
    if (!ParseDouble(head[0], m.epoch) || m.epoch < 1900 || m.epoch > 2200)
        return false;
    if (head[1].size() > 20)
        return false;
    m.name = std::string(head[1]);

    while (true) {
        if (!ReadLine(in, line)) {
            if (line.size() >= kMaxLineLength)
                return false;
            break; // end of the text ends the table
        }
        if (line.compare(0, 4, "9999") == 0)
            break;
        std::vector<std::string_view> f = SplitBlanks(line);
        if (f.empty())
            continue;
        if (f.size() != 6)
            return false;
        int64_t n = 0, order = 0;
        double v[4];
        if (!ParseInt64(f[0], n) || !ParseInt64(f[1], order))
            return false;
        for (int k = 0; k < 4; ++k)
            if (!ParseDouble(f[2 + k], v[k]))
                return false;
        // Higher-resolution files carry degrees this model does not use.
        if (n < 1 || n > CMagneticModel::kMaxDegree || order < 0 || order > n)
            continue;
        const int idx = CMagneticModel::Index(static_cast<int>(n), static_cast<int>(order));
        m.g[idx] = v[0];
        m.h[idx] = v[1];
        m.gRate[idx] = v[2];
        m.hRate[idx] = v[3];
    }
    model = std::move(m);
    return true;
}

bool LoadMagneticModel(const std::string& path, CMagneticModel& model)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    return ReadMagneticModel(in, model);
}

double ClampModelYear(const CMagneticModel& model, double decimalYear)
{
    if (!(decimalYear >= model.epoch))
        return model.epoch;
    if (decimalYear > model.epoch + kValidityYears)
        return model.epoch + kValidityYears;
    return decimalYear;
}

double MagneticDeclination(const CMagneticModel& model, double latitude, double longitude,
                           double altitudeMetres, double decimalYear)
{
    constexpr double rad = std::numbers::pi / 180.0;
    constexpr int N = CMagneticModel::kMaxDegree;

    // Geodetic to spherical geocentric coordinates on the model's ellipsoid.
    const double h = altitudeMetres / 1000.0;
    const double lat = latitude * rad, lon = longitude * rad;
    const double sinLat = std::sin(lat), cosLat = std::cos(lat);
    const double Nrad = kSemiMajorKm / std::sqrt(1 - kEccentricity2 * sinLat * sinLat);
    const double p = (Nrad + h) * cosLat;
    const double z = (Nrad * (1 - kEccentricity2) + h) * sinLat;
    const double r = std::hypot(p, z);
    const double latc = std::asin(z / r);
    const double x = std::sin(latc), s = std::cos(latc); // s >= 0

    // Coefficients at the date.
    const double dt = decimalYear - model.epoch;
    double g[CMagneticModel::kCount], hc[CMagneticModel::kCount];
    for (int i = 0; i < CMagneticModel::kCount; ++i) {
        g[i] = model.g[i];
        hc[i] = model.h[i];
    }
    const int secular = std::min(model.maxDegreeSecular, N);
    for (int n = 1; n <= secular; ++n)
        for (int m = 0; m <= n; ++m) {
            const int i = CMagneticModel::Index(n, m);
            g[i] += dt * model.gRate[i];
            hc[i] += dt * model.hRate[i];
        }

    // Schmidt semi-normalised associated Legendre functions of sin(latc) and their
    // derivatives with respect to latc, by recursions that never divide by cos(latc).
    double P[CMagneticModel::kCount] = {}, dP[CMagneticModel::kCount] = {};
    P[0] = 1;
    dP[0] = 0;
    for (int n = 1; n <= N; ++n) {
        for (int m = 0; m <= n; ++m) {
            const int i = CMagneticModel::Index(n, m);
            if (m == n) {
                const int j = CMagneticModel::Index(n - 1, n - 1);
                if (n == 1) {
                    P[i] = s;
                    dP[i] = -x;
                } else {
                    const double k = std::sqrt((2.0 * n - 1) / (2.0 * n));
                    P[i] = k * s * P[j];
                    dP[i] = k * (s * dP[j] - x * P[j]);
                }
            } else {
                const int j1 = CMagneticModel::Index(n - 1, m);
                const double a = 2.0 * n - 1;
                const double bsq = static_cast<double>((n - 1) * (n - 1) - m * m);
                const double c = std::sqrt(static_cast<double>(n * n - m * m));
                double Pn = a * x * P[j1], dPn = a * (s * P[j1] + x * dP[j1]);
                if (n - 2 >= m) {
                    const int j2 = CMagneticModel::Index(n - 2, m);
                    const double b = std::sqrt(bsq);
                    Pn -= b * P[j2];
                    dPn -= b * dP[j2];
                }
                P[i] = Pn / c;
                dP[i] = dPn / c;
            }
        }
    }

    double cosml[N + 1], sinml[N + 1];
    for (int m = 0; m <= N; ++m) {
        cosml[m] = std::cos(m * lon);
        sinml[m] = std::sin(m * lon);
    }

    const double ratio = kReferenceRadiusKm / r;
    double ar = ratio * ratio; // (a/r)^(n+2) built up from n = 1
    double Xs = 0, Ys = 0, Zs = 0;
    const bool pole = s < kPoleCosine;
    for (int n = 1; n <= N; ++n) {
        ar *= ratio;
        for (int m = 0; m <= n; ++m) {
            const int i = CMagneticModel::Index(n, m);
            const double cs = g[i] * cosml[m] + hc[i] * sinml[m];
            Xs -= ar * cs * dP[i];
            Zs -= (n + 1) * ar * cs * P[i];
            if (!pole && m > 0)
                Ys += ar * m * (g[i] * sinml[m] - hc[i] * cosml[m]) * P[i];
        }
        if (pole) {
            // Limit of P(n,1) / cos(latc) at sin(latc) = +-1.
            const int i = CMagneticModel::Index(n, 1);
            const double limit = std::sqrt(n * (n + 1) / 2.0) * std::pow(x >= 0 ? 1.0 : -1.0, n + 1);
            Ys += ar * (g[i] * sinml[1] - hc[i] * cosml[1]) * limit;
        }
    }
    if (!pole)
        Ys /= s;

    // Rotate from the geocentric to the ellipsoidal frame.
    const double psi = latc - lat;
    const double X = Xs * std::cos(psi) - Zs * std::sin(psi);
    const double Y = Ys;
    return std::atan2(Y, X) / rad;
}

float GetMagneticVariation(const std::string& coefficientFile, double latitude, double longitude,
                           double altitudeMetres, double time)
{
    CMagneticModel model;
    {
        std::ifstream in(coefficientFile, std::ios::binary);
        if (!in) {
            std::fputs("\nError opening coefficient file", stdout);
            return 0;
        }
        if (!ReadMagneticModel(in, model))
            return 0;
    }
    if (!std::isfinite(latitude) || !std::isfinite(longitude) || latitude < -90 || latitude > 90)
        return 0;
    if (!std::isfinite(altitudeMetres))
        altitudeMetres = 0;
    // A fix without a date arrives as seconds of the day in 1970; the model must
    // not be extrapolated back by decades, so such times mean "now".
    if (!std::isfinite(time) || time < kYear2000)
        time = GetClockTime();
    const double year = ClampModelYear(model, 1970.0 + time / kSecondsPerYear);
    const double d = MagneticDeclination(model, latitude, longitude, altitudeMetres, year);
    return std::isfinite(d) ? static_cast<float>(d) : 0.0f;
}

std::string MagneticModelResourcePath()
{
    std::string path = GetResourcePath("WMM_COF", "");
    // An installation may carry it with the type the resource was declared with.
    if (path.empty())
        path = GetResourcePath("WMM_COF", "txt");
    return path;
}
