#include "ais/AISSentence.h"

#include "foundation/events/Clock.h"
#include "instruments/nmea/NMEAFields.h"
#include "instruments/nmea/NMEASentenceTypes.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace CNEMA_AIS {

CNMEASentenceTypeOf<VDM> VDM::Type(3, "VDM");
CNMEASentenceTypeOf<VDO> VDO::Type(3, "VDO");

namespace {

constexpr double kDegreesPerUnit = 1.6666666666666667e-6; // 1/10000 minute

// One message waiting for its next fragment. Fragments of different
// messages never mix: each is kept apart by its sentence kind, connection,
// channel and sequence id.
struct Partial
{
    bool used = false;
    bool ownShip = false;
    const CDataConnection* connection = nullptr;
    char channel = 0;
    char sequence = 0;
    uint32_t total = 0;
    uint32_t last = 0;
    double started = 0; // clock time of the first fragment
    CAISPayload payload;
};

// Few messages are ever in flight at once; a fixed table keeps the input
// path free of heap allocation.
constexpr int kPartials = 16;
Partial gPartials[kPartials];

Partial* FindPartial(bool ownShip, const CDataConnection* connection, char channel, char sequence)
{
    for (Partial& p : gPartials)
        if (p.used && p.ownShip == ownShip && p.connection == connection && p.channel == channel &&
            p.sequence == sequence)
            return &p;
    return nullptr;
}

// A free entry, or the oldest one when all are taken.
Partial& FreePartial()
{
    Partial* oldest = &gPartials[0];
    for (Partial& p : gPartials) {
        if (!p.used)
            return p;
        if (p.started < oldest->started)
            oldest = &p;
    }
    return *oldest;
}

// A fragment count or number: one digit 1..9.
bool FragmentDigit(const char* field, uint32_t& out)
{
    if (field[0] < '1' || field[0] > '9' || field[1] != '\0')
        return false;
    out = uint32_t(field[0] - '0');
    return true;
}

} // namespace

void CAIS_Sentence::ResetReassembly()
{
    for (Partial& p : gPartials)
        p.used = false;
}

bool CAIS_Sentence::Parse(char* line)
{
    char* f[7];
    SplitNMEAFields(line, 7, f);
    uint32_t total, number;
    if (!FragmentDigit(f[1], total) || !FragmentDigit(f[2], number) || number > total)
        return false;
    const char sequence = f[3][0];
    const char channel = f[4][0];
    m_messageType = 0;

    if (total == 1) {
        m_payload.Clear();
        if (!m_payload.Append(f[5]))
            return false;
        m_channel = channel;
        return Decode(m_payload);
    }

    const bool ownShip = IsOwnShip();
    const double now = GetClockTime();
    Partial* partial = FindPartial(ownShip, m_connection, channel, sequence);
    if (partial && !(std::fabs(now - partial->started) <= kFragmentTimeout)) {
        partial->used = false;
        partial = nullptr;
    }
    if (number == 1) {
        // A new first fragment starts the message again.
        Partial& p = partial ? *partial : FreePartial();
        p.used = false;
        p.payload.Clear();
        if (!p.payload.Append(f[5]))
            return false;
        p.used = true;
        p.ownShip = ownShip;
        p.connection = m_connection;
        p.channel = channel;
        p.sequence = sequence;
        p.total = total;
        p.last = 1;
        p.started = now;
        m_channel = channel;
        return true; // a type-0 sentence: the message is not complete yet
    }
    // A fragment out of order, or of a message with another length, ends
    // the message: splicing it would decode a wrong but plausible message.
    if (!partial || partial->total != total || number != partial->last + 1 ||
        !partial->payload.Append(f[5])) {
        if (partial)
            partial->used = false;
        return false;
    }
    partial->last = number;
    m_channel = channel;
    if (number < total)
        return true;
    partial->used = false;
    m_payload = partial->payload;
    return Decode(m_payload);
}

void CAIS_Sentence::ResetFields()
{
    m_mmsi = 0;
    m_latitude = kNoLatitude;
    m_longitude = kNoLongitude;
    m_shipTypeText[0] = '\0';
    m_navigationStatus = 15;
    m_rateOfTurn = 0;
    m_rateValid = false;
    m_sog = 0;
    m_cog = kNoCourse;
    m_heading = kNoHeading;
    m_second = 60;
    m_altitude = 4095;
    m_year = m_month = m_day = 0;
    m_hour = 24;
    m_minute = 60;
    m_utcSecond = 60;
    m_imo = 0;
    m_callSign[0] = m_name[0] = m_destination[0] = m_vendorId[0] = '\0';
    m_shipType = 0;
    m_toBow = m_toStern = m_toPort = m_toStarboard = 0;
    m_etaMonth = m_etaDay = 0;
    m_etaHour = 24;
    m_etaMinute = 60;
    m_draught = 0;
    m_aidType = 0;
    m_partNumber = 0;
}

void CAIS_Sentence::ReadPosition(CAISBitReader& r)
{
    int32_t lon, lat;
    const bool hasLon = r.Signed(28, lon);
    const bool hasLat = r.Signed(27, lat);
    m_latitude = kNoLatitude;
    m_longitude = kNoLongitude;
    if (!hasLon || !hasLat)
        return;
    const double latitude = lat * kDegreesPerUnit;
    const double longitude = lon * kDegreesPerUnit;
    // 91 and 181 are the senders' "not available"; anything off the globe
    // is no position either.
    if (std::fabs(latitude) > 90 || std::fabs(longitude) > 180)
        return;
    m_latitude = latitude;
    m_longitude = longitude;
}

void CAIS_Sentence::ReadCourse(CAISBitReader& r)
{
    uint32_t v;
    m_cog = (r.Unsigned(12, v) && v < 3600) ? float(v * 0.1) : kNoCourse;
}

void CAIS_Sentence::ReadHeading(CAISBitReader& r)
{
    uint32_t v;
    m_heading = (r.Unsigned(9, v) && v <= 359) ? v : kNoHeading;
}

void CAIS_Sentence::ReadClassBSpeed(CAISBitReader& r)
{
    uint32_t v;
    m_sog = 0;
    if (r.Unsigned(10, v)) {
        const float sog = float(v * 0.1);
        m_sog = sog > 100 ? 0 : sog;
    }
}

void CAIS_Sentence::ReadDimensions(CAISBitReader& r)
{
    uint32_t v;
    m_toBow = r.Unsigned(9, v) ? v : 0;
    m_toStern = r.Unsigned(9, v) ? v : 0;
    m_toPort = r.Unsigned(6, v) ? v : 0;
    m_toStarboard = r.Unsigned(6, v) ? v : 0;
}

void CAIS_Sentence::ReadShipType(CAISBitReader& r)
{
    uint32_t v;
    if (r.Unsigned(8, v)) {
        m_shipType = v;
        ShipTypeText(v, m_shipTypeText, sizeof m_shipTypeText);
    }
}

void CAIS_Sentence::DecodePositionReport(CAISBitReader& r)
{
    uint32_t v;
    int32_t s;
    m_navigationStatus = r.Unsigned(4, v) ? v : 15;
    if (r.Signed(8, s)) {
        const double root = s / 4.733;
        const double square = root * root;
        m_rateValid = square < 720;
        m_rateOfTurn = m_rateValid ? float(s < 0 ? -square : square) : 0;
    }
    ReadClassBSpeed(r); // the same rule: 0.1 kn, 0 above 100 kn
    r.Skip(1);          // accuracy
    ReadPosition(r);
    ReadCourse(r);
    ReadHeading(r);
    m_second = r.Unsigned(6, v) ? v : 60;
}

bool CAIS_Sentence::Decode(const CAISPayload& payload)
{
    m_messageType = 0;
    if (payload.BitCount() < 38)
        return false;
    ResetFields();
    CAISBitReader r(payload);
    uint32_t type = 0, mmsi = 0, v = 0;
    r.Unsigned(6, type);
    r.Skip(2); // repeat indicator
    r.Unsigned(30, mmsi);
    m_mmsi = mmsi;
    switch (type) {
    case 1:
    case 2:
    case 3:
        DecodePositionReport(r);
        break;
    case 4:
    case 11:
        m_year = r.Unsigned(14, v) ? v : 0;
        m_month = r.Unsigned(4, v) ? v : 0;
        m_day = r.Unsigned(5, v) ? v : 0;
        m_hour = r.Unsigned(5, v) ? v : 24;
        m_minute = r.Unsigned(6, v) ? v : 60;
        m_utcSecond = r.Unsigned(6, v) ? v : 60;
        r.Skip(1);
        ReadPosition(r);
        break;
    case 5:
        r.Skip(2); // AIS version
        m_imo = r.Unsigned(30, v) ? v : 0;
        r.Text(42, m_callSign, sizeof m_callSign);
        r.Text(120, m_name, sizeof m_name);
        ReadShipType(r);
        ReadDimensions(r);
        r.Skip(4); // position device
        m_etaMonth = r.Unsigned(4, v) ? v : 0;
        m_etaDay = r.Unsigned(5, v) ? v : 0;
        m_etaHour = r.Unsigned(5, v) ? v : 24;
        m_etaMinute = r.Unsigned(6, v) ? v : 60;
        m_draught = r.Unsigned(8, v) ? float(v * 0.1) : 0;
        r.Text(120, m_destination, sizeof m_destination);
        break;
    case 9:
        m_altitude = r.Unsigned(12, v) ? v : 4095;
        // Whole knots; 1023 is "not available", as for class A.
        m_sog = (r.Unsigned(10, v) && v < 1023) ? float(v) : 0;
        r.Skip(1);
        ReadPosition(r);
        ReadCourse(r);
        m_second = r.Unsigned(6, v) ? v : 60;
        break;
    case 18:
    case 19:
        r.Skip(8);
        ReadClassBSpeed(r);
        r.Skip(1);
        ReadPosition(r);
        ReadCourse(r);
        ReadHeading(r);
        m_second = r.Unsigned(6, v) ? v : 60;
        if (type == 19) {
            r.Skip(4);
            r.Text(120, m_name, sizeof m_name);
            ReadShipType(r);
            ReadDimensions(r);
        }
        break;
    case 21:
        m_aidType = r.Unsigned(5, v) ? v : 0;
        r.Text(120, m_name, sizeof m_name);
        r.Skip(1);
        ReadPosition(r);
        r.Skip(9);
        m_toStern = r.Unsigned(9, v) ? v : 0;
        break;
    case 24:
        // Without its part number the message says nothing we could place.
        m_partNumber = r.Unsigned(2, v) ? v : 3;
        if (m_partNumber == 0) {
            r.Text(120, m_name, sizeof m_name);
        } else if (m_partNumber == 1) {
            ReadShipType(r);
            r.Text(42, m_vendorId, sizeof m_vendorId);
            r.Text(42, m_callSign, sizeof m_callSign);
            // An auxiliary craft sends its mother ship's MMSI in these 30
            // bits: its own size is not available (all four stay 0).
            if (!IsAuxiliaryCraft(m_mmsi))
                ReadDimensions(r);
        }
        break;
    default:
        break; // published with type and MMSI only
    }
    m_messageType = type;
    return true;
}

void ShipTypeText(uint32_t shipType, char* out, size_t capacity)
{
    if (capacity == 0)
        return;
    static const char* const kThirties[] = {"Fishing",  "Towing",  "Big Towing",     "Dredging", "Diving",
                                            "Military", "Sailing", "Pleasure craft", "Type 38",  "Type 39"};
    static const char* const kFifties[] = {
        "Pilot",           "Search and rescue", "Tug",     "Tender",  "Anti-pollution",
        "Law enforcement", "Type 56",           "Type 57", "Medical", "Type 59"};
    static const char* const kTens[] = {"Unknown",        "1",          "WIG",    "",    "HSC", "",
                                        "Passenger ship", "Cargo ship", "Tanker", "Ship"};
    static const char* const kUnits[] = {"", ":Haz A", ":Haz B", ":Haz C", ":Haz D", "", "", "", "", ""};
    char text[40];
    if (shipType >= 100)
        std::snprintf(text, sizeof text, "Type %u", unsigned(shipType));
    else if (shipType >= 30 && shipType <= 39)
        std::snprintf(text, sizeof text, "%s", kThirties[shipType - 30]);
    else if (shipType >= 50 && shipType <= 59)
        std::snprintf(text, sizeof text, "%s", kFifties[shipType - 50]);
    else
        std::snprintf(text, sizeof text, "%s%s", kTens[shipType / 10], kUnits[shipType % 10]);
    text[24] = '\0';
    CopyNMEAText(out, text, capacity);
}

} // namespace CNEMA_AIS

void RegisterAISSentenceTypes()
{
    RegisterNMEASentenceTypes();
    CNEMA_AIS::VDM::Type.Register();
    CNEMA_AIS::VDO::Type.Register();
}
