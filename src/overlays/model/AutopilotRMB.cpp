#include "overlays/model/AutopilotRMB.h"

#include "geodesy/LocalPlane.h"
#include "instruments/data/DataSpeedDirection.h"
#include "instruments/nmea/NMEASentence.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "overlays/model/OverlayMark.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double kMetresPerNM = 1852.0;
constexpr double kMaxCrossTrackNM = 9.99;
constexpr double kMaxClosingKnots = 99.99;
// Twice round the earth: more only comes from a damaged value.
constexpr double kMaxRangeNM = 99999.999;

// A non-negative value with `decimals` places, by integer arithmetic.
void AppendFixed(std::string& out, double value, int decimals)
{
    long long scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    // Callers cap their values; this keeps the integer arithmetic in range.
    value = std::clamp(value, -1e9, 1e9);
    const long long scaled = std::llround(std::fabs(value) * double(scale));
    if (value < 0 && scaled != 0)
        out += '-';
    out += std::to_string(scaled / scale);
    if (decimals > 0) {
        std::string frac = std::to_string(scaled % scale);
        out += '.';
        out.append(size_t(decimals) - frac.size(), '0');
        out += frac;
    }
}

// Degrees and minutes ("ddmm.mmm"), the minutes rounded before the split
// so that they never read 60.
void AppendDegreesMinutes(std::string& out, double degrees, int degreeDigits)
{
    const long long thousandths = std::llround(std::fabs(degrees) * 60000.0);
    const long long whole = thousandths / 60000;
    const long long minutes = thousandths % 60000;
    std::string d = std::to_string(whole);
    if (d.size() < size_t(degreeDigits))
        out.append(size_t(degreeDigits) - d.size(), '0');
    out += d;
    std::string m = std::to_string(minutes / 1000);
    if (m.size() < 2)
        out += '0';
    out += m;
    out += '.';
    std::string f = std::to_string(minutes % 1000);
    out.append(3 - f.size(), '0');
    out += f;
}

// A known bearing rounded to tenths before it is folded into 0..359.9, so
// that 359.97 (or a course of 360) reads 0.0; an unknown one stays 999.0.
double BearingTenths(float bearing)
{
    if (!(bearing < 900))
        return 999.0;
    const long long tenths = std::llround(std::clamp(double(bearing), -3600.0, 3600.0) * 10.0) % 3600;
    return double(tenths < 0 ? tenths + 3600 : tenths) / 10.0;
}

CFeed_AutopilotRMB gAutopilotRMB;

} // namespace

std::string MakeRMBIdentifier(const std::string& name)
{
    std::string id;
    for (char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u >= 'a' && u <= 'z')
            id += char(u - 'a' + 'A');
        else if ((u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9'))
            id += char(u);
        if (id.size() == 6)
            break;
    }
    return id;
}

bool FormatAutopilotRMB(const CRMBFields& f, std::string& text)
{
    if (!std::isfinite(f.crossTrack) || !std::isfinite(f.latitude) || !std::isfinite(f.longitude) ||
        !std::isfinite(f.distance) || !std::isfinite(f.bearing) || !std::isfinite(f.closingKnots) ||
        std::fabs(f.latitude) > 90.0)
        return false;
    const bool bearingKnown = f.bearing < 900;
    double longitude = std::fmod(f.longitude, 360.0);
    if (longitude >= 180.0)
        longitude -= 360.0;
    else if (longitude < -180.0)
        longitude += 360.0;
    std::string out = "$ECRMB,";
    out += bearingKnown ? 'A' : 'V';
    out += ',';
    AppendFixed(out, std::min(std::fabs(double(f.crossTrack)) / kMetresPerNM, kMaxCrossTrackNM), 3);
    out += f.crossTrack > 0 ? ",L,X," : ",R,X,";
    out += MakeRMBIdentifier(f.identifier);
    out += ',';
    AppendDegreesMinutes(out, f.latitude, 2);
    out += f.latitude < 0 ? ",S," : ",N,";
    AppendDegreesMinutes(out, longitude, 3);
    out += longitude < 0 ? ",W," : ",E,";
    AppendFixed(out, std::min(std::fabs(double(f.distance)) / kMetresPerNM, kMaxRangeNM), 3);
    out += ',';
    AppendFixed(out, BearingTenths(f.bearing), 1);
    out += ',';
    AppendFixed(out, std::clamp(double(f.closingKnots), -kMaxClosingKnots, kMaxClosingKnots), 2);
    out += f.arrived ? ",A,A" : ",V,A";
    text = std::move(out);
    return true;
}

CFeed_AutopilotRMB::CFeed_AutopilotRMB() : Listener<CDataGotoMark>(0) {}

CFeed_AutopilotRMB& CFeed_AutopilotRMB::Global()
{
    return gAutopilotRMB;
}

void CFeed_AutopilotRMB::TargetWatch::Notify(const COverlayObject& object)
{
    if (object.GetState() == COverlayObject::kDeleted && &object == m_feed.m_lastTarget)
        m_feed.m_lastTarget = nullptr;
}

void CFeed_AutopilotRMB::OnGotoMark(const CDataGotoMark& record)
{
    if (!record.target || !HasListeners<CNMEA_Raw>()) {
        m_lastTarget = nullptr;
        return;
    }
    const COverlayMark& target = *record.target;
    CRMBFields fields;
    fields.crossTrack = record.crossTrack;
    fields.latitude = target.GetLatitude();
    fields.longitude = target.GetLongitude();
    fields.distance = record.distance;
    fields.bearing = record.bearing;
    const COverlayGPSPosition& own = COverlayGPSPosition::Global();
    if (own.m_fixStatus != CDataGPSPosition::kNoFix && own.HasPosition()) {
        float east = 0, north = 0;
        CourseToVector(own.GetDirection(), east, north);
        fields.closingKnots = (east * record.toTargetX + north * record.toTargetY) * own.GetSpeed();
    }
    const COverlayObject* targetObject = record.target;
    std::string identifier = m_identifier;
    if (targetObject != m_lastTarget) {
        fields.arrived = m_lastTarget != nullptr;
        identifier = MakeRMBIdentifier(target.GetName());
    }
    fields.identifier = identifier;
    std::string text;
    if (!FormatAutopilotRMB(fields, text))
        return;
    m_lastTarget = targetObject;
    m_identifier = identifier;
    CNMEA_Raw raw;
    ClearNMEAOutput(raw);
    std::memcpy(raw.text, text.data(), std::min(text.size(), sizeof raw.text - 1));
    raw.text[std::min(text.size(), sizeof raw.text - 1)] = '\0';
    SendNMEASentence(raw);
}
