#pragma once
// An overlay that is also a position with speed and direction: the own ship
// and every AIS target. It knows where it is, how fast and which way it goes,
// and draws a vector to where it will be in a few minutes.
#include "foundation/drawing/GraphicsColor.h"
#include "instruments/data/DataGPSPosition.h"
#include "mapview/overlay/OverlayObject.h"

#include <string>

// The settings shared by the own ship and the other moving targets
// (settings object "COverlayGPSPosition" in the category "GPS Settings").
struct CMovingTargetSettings
{
    float vectorScale = 5.0f;            // "vector_scale": minutes of travel the vector shows
    GraphicsColor ownColour{0, 0, 1, 1}; // "gc_color2": 0xFF0000FF, opaque blue
    double averagingTime = 30.1;         // "averaging_time": seconds of fixes averaged
    bool showHeading = false;            // "show_heading": stored only
    bool showVector = true;              // "show_vector"
    uint32_t recordInBackgroundMode = 0; // "record_in_background_mode"
    bool screenKeepAlive = false;        // "screen_keep_alive": stored only
    float compassCalibration[13] = {};   // deviation at 0, 30 ... 330 degrees; [12] repeats [0]

    static CMovingTargetSettings& Global();
    // The calibration as stored: twelve "%f," items.
    std::string CalibrationText() const;
    // Reads twelve numbers separated by commas; false (nothing changed) otherwise.
    bool SetCalibrationText(const std::string& text);
};

// A compass heading corrected by the deviation table (13 entries, one per 30
// degrees, the last repeating the first), interpolated between entries.
// Headings are brought into 0..360 first; a heading that is not finite is
// unknown (999).
float ApplyCompassCalibration(const float table[13], float heading);

class COverlayMovingTarget : public CDataGPSPosition, public COverlayObject
{
public:
    explicit COverlayMovingTarget(uint32_t id);
    ~COverlayMovingTarget() override = default;

    // Stores the position and re-centres the local plane.
    void SetPosition(double latitude, double longitude)
    {
        CDataGPSPosition::SetPosition(latitude, longitude);
    }

    // Position point and, when moving fast enough, the vector's end point.
    void UpdateScreenPoints(ScreenPoints& record, const CPolynomialProjection& chart) override;
    void Draw(QPainter& context, const CViewTransform& view, ScreenPoints& record) override;
    // The line to the vector's end with an arrow head there.
    void DrawVector(QPainter& context, const CViewTransform& view, ScreenPoints& record);
    // The same, leaving the painter's pen, brush and antialiasing set as it
    // drew: for callers that set their own next and put the state back once.
    void DrawVectorKeepingState(QPainter& context, const ScreenPoints& record);

    // Vector length in metres for `speed` knots at the current vector scale.
    static double VectorLengthMetres(float speed);

    GraphicsColor m_colour;
    float m_lineWidth = 2.0f;
};
