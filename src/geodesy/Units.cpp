#include "geodesy/Units.h"

#include "foundation/NumberText.h"
#include "geodesy/TextScan.h"
#include "geodesy/TransverseMercator.h"

#include <cmath>
#include <cstdio>

namespace {

// Zero-initialised before any constructor runs, so registration order is safe.
const CUnits::PositionFormatType* g_formatListHead = nullptr;

constexpr char kNoPosition[] = "---";

std::string_view TrimBlanks(std::string_view s)
{
    while (!s.empty() && geodesy::IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && geodesy::IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char Upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

CUnits::PositionFormatType::PositionFormatType(const char* name) : m_name(name) {}

void CUnits::PositionFormatType::Register()
{
    if (m_registered)
        return;
    m_registered = true;
    const PositionFormatType** tail = &g_formatListHead;
    // Every format object is built writable; the list hands them out read-only.
    while (*tail)
        tail = &const_cast<PositionFormatType*>(*tail)->m_next;
    *tail = this;
}

const CUnits::PositionFormatType* CUnits::PositionFormatType::First()
{
    RegisterPositionFormats();
    return g_formatListHead;
}

const CUnits::PositionFormatType* CUnits::PositionFormatType::Find(std::string_view name)
{
    const PositionFormatType* first = First();
    for (const PositionFormatType* f = first; f; f = f->m_next)
        if (f->m_name == name)
            return f;
    for (const PositionFormatType* f = first; f; f = f->m_next)
        if (f->m_name == "Deg,Min")
            return f;
    return first;
}

const CUnits::PositionFormatType& CUnits::PositionFormat() const
{
    return m_positionFormat ? *m_positionFormat : *PositionFormatType::Find("Deg,Min");
}

std::string CUnits::PosFmtLatLon::FormatCoordinate(double value, char pos, char neg) const
{
    const char letter = value >= 0 ? pos : neg;
    const double v = std::fabs(value);
    char buf[64];
    CCLocaleScope cLocale;
    switch (m_style) {
    case 0:
        std::snprintf(buf, sizeof buf, "%8.5f\xC2\xB0", v);
        break;
    case 1: {
        double deg = std::floor(v);
        double min = (v - deg) * 60;
        if (min > 59.9995) {
            deg += 1;
            min = 0;
        }
        std::snprintf(buf, sizeof buf, "%d\xC2\xB0%06.3f'", static_cast<int>(deg), min);
        break;
    }
    default: {
        double deg = std::floor(v);
        const double m = (v - deg) * 60;
        double min = std::floor(m);
        double sec = (m - min) * 60;
        if (sec > 59.95) {
            min += 1;
            if (min >= 60) {
                min = 0;
                deg += 1;
            }
            sec = 0;
        }
        std::snprintf(buf, sizeof buf, "%d\xC2\xB0%d'%04.1f\"", static_cast<int>(deg), static_cast<int>(min),
                      sec);
        break;
    }
    }
    std::string out(buf);
    out.push_back(letter);
    return out;
}

bool CUnits::PosFmtLatLon::FormatLatLon(std::string& text, double latitude, double longitude) const
{
    if (!std::isfinite(latitude) || !std::isfinite(longitude) || std::fabs(latitude) > 90) {
        text = kNoPosition;
        return false;
    }
    longitude = geodesy::NormalizeLongitude(longitude);
    text = FormatCoordinate(latitude, 'N', 'S') + ", " + FormatCoordinate(longitude, 'E', 'W');
    return true;
}

bool CUnits::PosFmtLatLon::Format(std::string& text, double latitude, double longitude) const
{
    return FormatLatLon(text, latitude, longitude);
}

double CUnits::ParseCoordinate(std::string_view text, char& letter)
{
    // The first degree sign becomes 'd'; the first apostrophe before a point goes,
    // so that 12°34'.5 is 12 degrees 34.5 minutes.
    std::string copy;
    copy.reserve(text.size());
    bool degreeDone = false, apostropheDone = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!degreeDone && text[i] == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xB0') {
            copy.push_back('d');
            ++i;
            degreeDone = true;
            continue;
        }
        if (!apostropheDone && (text[i] == '\'' || text[i] == '\x92') && i + 1 < text.size() &&
            text[i + 1] == '.') {
            apostropheDone = true;
            continue;
        }
        copy.push_back(text[i]);
    }

    letter = 0;
    for (char c : copy) {
        const char u = Upper(c);
        if (geodesy::IsAsciiLetter(c) && u != 'D' && u != 'E') {
            letter = u;
            break;
        }
    }

    // number, one character, number, one character, number
    size_t pos = 0;
    double deg = 0, min = 0, sec = 0;
    if (!geodesy::ScanDouble(copy, pos, deg))
        return 999;
    if (pos < copy.size()) {
        ++pos;
        if (geodesy::ScanDouble(copy, pos, min) && pos < copy.size()) {
            ++pos;
            geodesy::ScanDouble(copy, pos, sec);
        }
    }
    // "-1 15" is one degree fifteen minutes west of the meridian, not -0.75.
    const double parts = min / 60 + sec / 3600;
    return std::signbit(deg) ? deg - parts : deg + parts;
}

bool CUnits::PosFmtLatLon::Parse(std::string_view text, double& latitude, double& longitude) const
{
    text = TrimBlanks(text);
    std::string_view latText, lonText;
    const size_t comma = text.find(',');
    if (comma != std::string_view::npos) {
        // A second comma means decimal commas or a list: too ambiguous to guess.
        if (text.find(',', comma + 1) != std::string_view::npos)
            return false;
        latText = text.substr(0, comma);
        lonText = text.substr(comma + 1);
    } else {
        const size_t ns = text.find_first_of("nNsS");
        if (ns != std::string_view::npos) {
            latText = text.substr(0, ns + 1);
            lonText = text.substr(ns + 1);
        } else {
            // Only two plain numbers: "50.5 -1.25".
            size_t blank = 0;
            while (blank < text.size() && !geodesy::IsBlank(text[blank]))
                ++blank;
            double a, b;
            if (blank >= text.size() || !ParseDouble(text.substr(0, blank), a) ||
                !ParseDouble(text.substr(blank), b))
                return false;
            latText = text.substr(0, blank);
            lonText = text.substr(blank);
        }
    }

    char latLetter = 0, lonLetter = 0;
    double lat = ParseCoordinate(latText, latLetter);
    // Up to the poles: what Format writes for them must read back.
    if (!std::isfinite(lat) || lat > 90 || lat < -90)
        return false;
    if (latLetter == 'S')
        lat = -lat;
    double lon = ParseCoordinate(lonText, lonLetter);
    if (!std::isfinite(lon) || lon > 360 || lon < -360)
        return false;
    if (lonLetter == 'W')
        lon = -lon;
    latitude = lat;
    longitude = geodesy::NormalizeLongitude(lon);
    return true;
}
