#pragma once
// AIS messages as a transponder reports them: "VDM" for what it receives,
// "VDO" for its own ship. Each sentence carries one fragment of a bit-packed
// message; the fragments are put together again and the message types the
// target table needs are decoded into the sentence's fields.
#include "ais/AISPayload.h"
#include "instruments/nmea/NMEASentence.h"

#include <cstdint>

// The namespace is spelled "CNEMA_AIS" on purpose: other code and saved
// names refer to it by this spelling. Do not mend it in one place only.
namespace CNEMA_AIS {

// "Not available" markers: never a real value.
constexpr double kNoLatitude = 91;
constexpr double kNoLongitude = 181;
constexpr float kNoCourse = 999;
constexpr uint32_t kNoHeading = 511;

// Auxiliary craft of a mother ship (MMSI 98XXXYYYY): their class B static
// report carries the mother ship's MMSI where others carry their dimensions.
inline bool IsAuxiliaryCraft(uint32_t mmsi)
{
    return mmsi >= 980000000 && mmsi <= 989999999;
}

// The text of a ship-type number ("Pleasure craft", "Cargo ship:Haz A",
// "Type 120"), at most 24 characters, into `out` of `capacity` bytes.
void ShipTypeText(uint32_t shipType, char* out, size_t capacity);

class CAIS_Sentence : public CNMEASentence
{
public:
    using CNMEASentence::CNMEASentence;
    bool Parse(char* line) override;

    // Decodes a whole message from its bits into the fields below. False for
    // a message too short to name its type and MMSI (38 bits).
    bool Decode(const CAISPayload& payload);

    // Partial messages waiting for their next fragment are dropped after this.
    static constexpr double kFragmentTimeout = 10; // seconds
    // Forgets every partial message (tests, a restarted connection).
    static void ResetReassembly();

    char m_channel = 0;
    uint32_t m_messageType = 0; // 0 while the message is incomplete
    uint32_t m_mmsi = 0;
    double m_latitude = kNoLatitude; // degrees
    double m_longitude = kNoLongitude;
    char m_shipTypeText[25] = {};

    // Types 1-3, 9, 18, 19.
    uint32_t m_navigationStatus = 15;
    float m_rateOfTurn = 0; // degrees per minute
    bool m_rateValid = false;
    float m_sog = 0;         // knots
    float m_cog = kNoCourse; // degrees
    uint32_t m_heading = kNoHeading;
    uint32_t m_second = 60;     // of the time stamp; 60 = not available
    uint32_t m_altitude = 4095; // metres (type 9)

    // Types 4, 11.
    uint32_t m_year = 0;
    uint32_t m_month = 0;
    uint32_t m_day = 0;
    uint32_t m_hour = 24;
    uint32_t m_minute = 60;
    uint32_t m_utcSecond = 60;

    // Types 5, 19, 21, 24.
    uint32_t m_imo = 0;
    char m_callSign[8] = {};
    char m_name[21] = {};
    uint32_t m_shipType = 0;
    uint32_t m_toBow = 0; // metres
    uint32_t m_toStern = 0;
    uint32_t m_toPort = 0;
    uint32_t m_toStarboard = 0;
    uint32_t m_etaMonth = 0;
    uint32_t m_etaDay = 0;
    uint32_t m_etaHour = 24;
    uint32_t m_etaMinute = 60;
    float m_draught = 0; // metres
    char m_destination[21] = {};
    uint32_t m_aidType = 0;
    uint32_t m_partNumber = 0; // 0 part A, 1 part B, 2 and 3 reserved
    char m_vendorId[8] = {};

    // A type 24 whose part number is reserved: it names and sizes nothing.
    bool IsReservedStaticPart() const { return m_messageType == 24 && m_partNumber > 1; }

    CAISPayload m_payload;

protected:
    virtual bool IsOwnShip() const = 0;

private:
    void ResetFields();
    void DecodePositionReport(CAISBitReader& r);
    void ReadPosition(CAISBitReader& r);
    void ReadCourse(CAISBitReader& r);
    void ReadHeading(CAISBitReader& r);
    void ReadClassBSpeed(CAISBitReader& r);
    void ReadDimensions(CAISBitReader& r);
    void ReadShipType(CAISBitReader& r);
};

class VDM : public CAIS_Sentence
{
public:
    using CAIS_Sentence::CAIS_Sentence;
    static CNMEASentenceTypeOf<VDM> Type;

protected:
    bool IsOwnShip() const override { return false; }
};

class VDO : public CAIS_Sentence
{
public:
    using CAIS_Sentence::CAIS_Sentence;
    static CNMEASentenceTypeOf<VDO> Type;

protected:
    bool IsOwnShip() const override { return true; }
};

} // namespace CNEMA_AIS

// The instruments' sentence types, then VDM and VDO, the order lines are
// matched in. A second call adds nothing.
void RegisterAISSentenceTypes();
