#pragma once
// The instrument network's sentences: wind, water speed, heading, depth,
// water temperature, rudder, engine revolutions and transducers.
#include "instruments/nmea/NMEASentence.h"

#include <string>

namespace CNMEA_Instruments {

// Wind speed and angle, relative (apparent) or true.
class MWV : public CNMEASentence
{
public:
    using CNMEASentence::CNMEASentence;
    bool Parse(char* line) override;
    float m_angle = 0; // degrees
    float m_speed = 0; // knots
    bool m_true = false;
    static CNMEASentenceTypeOf<MWV> Type;
};

// True wind direction and speed.
class MWD : public CNMEASentence
{
public:
    using CNMEASentence::CNMEASentence;
    bool Parse(char* line) override;
    float m_direction = 0; // degrees true
    float m_speed = 0;     // knots
    static CNMEASentenceTypeOf<MWD> Type;
};

// Speed through water and magnetic heading.
class VHW : public CNMEASentence
{
public:
    using CNMEASentence::CNMEASentence;
    bool Parse(char* line) override;
    bool m_hasSpeed = false;
    bool m_hasHeading = false;
    float m_speed = 0;   // knots
    float m_heading = 0; // degrees magnetic
    static CNMEASentenceTypeOf<VHW> Type;
};

// Heading with deviation and variation.
class HDG : public CNMEASentence
{
public:
    using CNMEASentence::CNMEASentence;
    bool Parse(char* line) override;
    float m_heading = 0;   // degrees, 0 up to 360
    float m_deviation = 0; // degrees, negative west
    float m_variation = 0; // degrees, negative west
    static CNMEASentenceTypeOf<HDG> Type;
};

// Depth below the transducer with the transducer's offset.
class DPT : public CNMEASentence
{
public:
    using CNMEASentence::CNMEASentence;
    bool Parse(char* line) override;
    float m_depth = 0;           // metres below the transducer
    float m_waterlineOffset = 0; // metres, a positive offset
    float m_keelOffset = 0;      // metres, minus a negative offset
    static CNMEASentenceTypeOf<DPT> Type;
};

// Depth below the transducer in several units; the metres are used.
class DBT : public CNMEASentence
{
public:
    using CNMEASentence::CNMEASentence;
    bool Parse(char* line) override;
    float m_depth = 0; // metres
    static CNMEASentenceTypeOf<DBT> Type;
};

// Water temperature.
class MTW : public CNMEASentence
{
public:
    using CNMEASentence::CNMEASentence;
    bool Parse(char* line) override;
    float m_temperature = 0; // degrees Celsius
    static CNMEASentenceTypeOf<MTW> Type;
};

// Rudder angle, smoothed from sentence to sentence.
class RSA : public CNMEASentence
{
public:
    using CNMEASentence::CNMEASentence;
    bool Parse(char* line) override;
    float m_angle = 0;         // degrees, starboard rudder
    float m_smoothedAngle = 0; // degrees
    float m_smoothing = 0;     // 0 in a new object, then 0.9885
    static CNMEASentenceTypeOf<RSA> Type;
};

// Engine or shaft revolutions.
class RPM : public CNMEASentence
{
public:
    using CNMEASentence::CNMEASentence;
    bool Parse(char* line) override;
    float m_engine01 = 0; // engine or shaft 0 or 1
    float m_engine2 = 0;  // engine or shaft 2
    static CNMEASentenceTypeOf<RPM> Type;
};

// Transducer measurements: the first two of a sentence.
class XDR : public CNMEASentence
{
public:
    using CNMEASentence::CNMEASentence;
    bool Parse(char* line) override;
    struct Transducer
    {
        char type = 0; // 0 when absent
        float value = 0;
        std::string name;
    };
    Transducer m_first;
    Transducer m_second;
    static CNMEASentenceTypeOf<XDR> Type;
};

} // namespace CNMEA_Instruments
