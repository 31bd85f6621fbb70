#include "panels/items/ItemText.h"

#include <cmath>
#include <cstdio>

void CCellTexts::ApplyTo(CDisplayView::ITxtWindow* window) const
{
    if (!window)
        return;
    if (setLabel)
        window->SetLabel(title, unit);
    if (setText)
        window->SetText(text);
}

std::string FormatTurnAngle(double course, double direction)
{
    if (!std::isfinite(course) || !std::isfinite(direction) || !(course < 900) || !(direction < 900))
        return {};
    // fmod first: the difference of two angles of any size lands in (-360, 360).
    int32_t a = 0;
    if (!SafeToInt(std::fmod(course - direction, 360.0), a))
        return {};
    while (a > 180)
        a -= 360;
    while (a < -180)
        a += 360;
    char buf[24];
    std::snprintf(buf, sizeof buf, a < 0 ? "<%d\xC2\xB0" : "%d\xC2\xB0>", a < 0 ? -a : a);
    return buf;
}

std::string TrimString(const std::string& text)
{
    constexpr const char* kBlanks = " \t\n\r";
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos)
        return {};
    const size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}
