#include "foundation/drawing/GraphicsColor.h"

#include <cmath>

namespace {

double Clamp01(double v)
{
    if (!(v > 0)) // NaN too
        return 0;
    return v > 1 ? 1 : v;
}

} // namespace

GraphicsColor::GraphicsColor(double red, double green, double blue, double alpha)
{
    SetComponents(red, green, blue, alpha);
}

void GraphicsColor::SetRGBA(int red, int green, int blue, int alpha)
{
    SetComponents(red / 255.0, green / 255.0, blue / 255.0, alpha / 255.0);
}

void GraphicsColor::SetRGB(uint32_t packed)
{
    SetRGBA(packed & 0xFF, (packed >> 8) & 0xFF, (packed >> 16) & 0xFF, 255);
}

uint32_t GraphicsColor::GetPacked() const
{
    return static_cast<uint32_t>(GetRed()) | (static_cast<uint32_t>(GetGreen()) << 8) |
           (static_cast<uint32_t>(GetBlue()) << 16) | (static_cast<uint32_t>(GetAlpha()) << 24);
}

void GraphicsColor::SetComponents(double red, double green, double blue, double alpha)
{
    m_red = Clamp01(red);
    m_green = Clamp01(green);
    m_blue = Clamp01(blue);
    m_alpha = Clamp01(alpha);
}

void GraphicsColor::GetComponents(double& red, double& green, double& blue, double& alpha) const
{
    red = m_red;
    green = m_green;
    blue = m_blue;
    alpha = m_alpha;
}

void GraphicsColor::SetComponentsF(float red, float green, float blue, float alpha)
{
    SetComponents(red, green, blue, alpha);
}

void GraphicsColor::GetComponentsF(float& red, float& green, float& blue, float& alpha) const
{
    red = static_cast<float>(m_red);
    green = static_cast<float>(m_green);
    blue = static_cast<float>(m_blue);
    alpha = static_cast<float>(m_alpha);
}

GraphicsColor GraphicsColor::SetAlpha(double alpha) const
{
    GraphicsColor copy = *this;
    copy.m_alpha = Clamp01(alpha);
    return copy;
}

QColor GraphicsColor::ToQColor() const
{
    return QColor::fromRgbF(static_cast<float>(m_red), static_cast<float>(m_green),
                            static_cast<float>(m_blue), static_cast<float>(m_alpha));
}

GraphicsColor GraphicsColor::FromQColor(const QColor& color)
{
    float r, g, b, a;
    color.getRgbF(&r, &g, &b, &a);
    return GraphicsColor(r, g, b, a);
}
