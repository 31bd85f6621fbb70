#pragma once
// One vessel, aircraft or aid to navigation heard over AIS, drawn on the
// chart as a coloured triangle with its vector.
#include "ais/AISSentence.h"
#include "mapview/ownship/OverlayMovingTarget.h"

#include <cstdint>
#include <string>

class CAISTarget : public COverlayMovingTarget
{
public:
    // Target states beyond the message types.
    static constexpr uint32_t kLostContact = 254;
    static constexpr uint32_t kExpired = 255;

    explicit CAISTarget(uint32_t mmsi);
    ~CAISTarget() override;

    bool IsVisible() const override { return true; }
    void Draw(QPainter& context, const CViewTransform& view, ScreenPoints& record) override;
    // Selects the target and shows its tooltip in the status line.
    bool OnTap(CRasterleafView& view, const COverlayTap& tap) override;

    // Takes what a message of the target's MMSI says; false when it carried
    // nothing that moves or names the target.
    void Update(const CNEMA_AIS::CAIS_Sentence& s, double eventTime);
    // The tooltip, or the summary shown when there is none.
    std::string StatusLineText() const;
    // Emergency devices have an MMSI text beginning "97".
    bool IsEmergencyDevice() const { return m_mmsiText.compare(0, 2, "97") == 0; }
    bool IsManOverboard() const { return m_mmsiText.compare(0, 3, "972") == 0; }
    bool IsClassB() const { return m_classText.size() > 6 && m_classText[6] == 'B'; }
    // Whether the triangle points along a heading (else it stands upright).
    bool HasHeading() const { return GetHeading() < 511; }

    // The device an emergency MMSI names by its third digit ("970...",
    // "972...", "974..."); null for any other.
    static const char* EmergencyDeviceName(const std::string& mmsiText);

    // Text and colour of a navigation status; other values count as 0.
    static const char* NavigationStatusText(uint32_t status);
    static GraphicsColor NavigationStatusColour(uint32_t status);

    double m_lastHeard = 0; // seconds since 1970
    uint32_t m_mmsi = 0;
    std::string m_name;
    std::string m_mmsiText;
    std::string m_statusText;
    std::string m_tooltip;
    std::string m_shipTypeText;
    std::string m_classText;
    double m_range = 0;   // metres
    double m_bearing = 0; // degrees
    double m_tcpa = 0;    // seconds
    double m_cpa = 1e10;  // metres
    float m_rateOfTurn = 0;
    float m_altitudeMetres = 0;
    uint16_t m_toBow = 0;
    uint16_t m_toStern = 0;
    uint8_t m_toPort = 0;
    uint8_t m_toStarboard = 0;
    uint32_t m_navigationStatus = 0;
    uint32_t m_aisState = 0; // last message type, or kLostContact / kExpired
    bool m_alarm = false;
    bool m_hasPosition = false;

private:
    void SetClassA();
    void SetTooltipClassB();
};
