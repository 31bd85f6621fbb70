#pragma once
// A colour with alpha, components 0..1. Integer accessors give component x 255
// truncated; the packed form has red in the low byte, then green, blue and
// alpha in the high byte.
#include "foundation/util/ChangeSetters.h"

#include <QColor>
#include <cstdint>

class GraphicsColor
{
public:
    GraphicsColor() = default; // opaque black
    GraphicsColor(double red, double green, double blue, double alpha = 1.0);

    void SetRGBA(int red, int green, int blue, int alpha);
    // Red from the low byte, then green and blue; alpha 1.
    void SetRGB(uint32_t packed);
    uint32_t GetPacked() const;
    int GetRed() const { return ToByte(m_red); }
    int GetGreen() const { return ToByte(m_green); }
    int GetBlue() const { return ToByte(m_blue); }
    int GetAlpha() const { return ToByte(m_alpha); }

    // Out-of-range components are clamped to 0..1; NaN becomes 0.
    void SetComponents(double red, double green, double blue, double alpha);
    void GetComponents(double& red, double& green, double& blue, double& alpha) const;
    void SetComponentsF(float red, float green, float blue, float alpha);
    void GetComponentsF(float& red, float& green, float& blue, float& alpha) const;

    // A copy with alpha `alpha` (0..1).
    GraphicsColor SetAlpha(double alpha) const;

    QColor ToQColor() const;
    static GraphicsColor FromQColor(const QColor& color);

    bool operator==(const GraphicsColor& o) const
    {
        return m_red == o.m_red && m_green == o.m_green && m_blue == o.m_blue && m_alpha == o.m_alpha;
    }
    bool operator!=(const GraphicsColor& o) const { return !(*this == o); }

private:
    static int ToByte(double component) { return static_cast<int>(component * 255.0); }

    double m_red = 0, m_green = 0, m_blue = 0, m_alpha = 1;
};

inline bool SetColourIfChanged(GraphicsColor& target, const GraphicsColor& value)
{
    return SetValueIfChanged(target, value);
}
