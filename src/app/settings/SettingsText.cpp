#include "app/settings/SettingsText.h"

#include "foundation/NumberText.h"

#include <cmath>
#include <cstdio>

namespace NSettingsText {

bool ParsePort(const std::string& text, int& port)
{
    size_t i = text.find_first_not_of(" \t");
    if (i == std::string::npos)
        return false;
    long value = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        value = value * 10 + (text[i] - '0');
        if (value > 65535)
            return false;
    }
    if (digits == 0 || value < 1)
        return false;
    port = int(value);
    return true;
}

bool ParseNonNegative(const std::string& text, double& value)
{
    std::string t = text;
    t.erase(0, t.find_first_not_of(" \t"));
    t.erase(t.find_last_not_of(" \t") + 1);
    double v = 0;
    if (t.empty() || !ParseDouble(t, v) || !std::isfinite(v) || v < 0)
        return false;
    value = v;
    return true;
}

std::string FormatNumber(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

} // namespace NSettingsText
