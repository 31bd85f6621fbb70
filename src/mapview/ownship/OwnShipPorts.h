#pragma once
// What the own ship's "GPS Settings" category needs from the layers above: the
// GPS settings dialog. Without the application's port the category opens nothing.
#include "foundation/util/PortSlot.h"

class IGPSSettingsUi
{
public:
    virtual ~IGPSSettingsUi() = default;
    virtual void OpenGPSSettings() {}
};
