#pragma once
// Setters that tell whether the value changed; dialogs use them to know
// whether anything was modified.
#include <cstdint>
#include <string>

template <class T> bool SetValueIfChanged(T& target, const T& value)
{
    if (target == value)
        return false;
    target = value;
    return true;
}

inline bool SetStringIfChanged(std::string& target, const std::string& value)
{
    return SetValueIfChanged(target, value);
}
inline bool SetBoolIfChanged(bool& target, bool value)
{
    return SetValueIfChanged(target, value);
}
inline bool SetFloatIfChanged(double& target, double value)
{
    return SetValueIfChanged(target, value);
}
inline bool SetFloatIfChanged(float& target, float value)
{
    return SetValueIfChanged(target, value);
}
inline bool SetIntIfChanged(int32_t& target, int32_t value)
{
    return SetValueIfChanged(target, value);
}
