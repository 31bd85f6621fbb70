#pragma once
// How a route or track line is drawn: colour, width in points, dash pattern.
#include "foundation/drawing/GraphicsColor.h"

#include <cstdint>

class CSerialStream;
class QPainter;

class CLineStyle
{
public:
    enum : uint32_t { kSolid = 0, kDash = 1, kDot = 2, kDashDot = 3, kDashDotDot = 4 };

    GraphicsColor colour; // opaque black
    float width = 2.0f;   // points
    uint32_t pattern = kSolid;

    // The pattern drawn: values not known draw solid.
    uint32_t GetDashPattern() const { return pattern <= kDashDotDot ? pattern : kSolid; }
    // The GPX name of the pattern ("Solid" for values not known).
    const char* GetPatternName() const;
    // Pen colour, width and dashes on the painter.
    void Apply(QPainter& context) const;
    // Its own chunk: colour, f32 width, u32 pattern. A read width that is not
    // finite or negative keeps the default.
    bool Serialize(CSerialStream& stream);
};
