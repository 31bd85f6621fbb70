#pragma once
// What the "AIS Settings" category needs from the layers above: the AIS
// settings dialog, and word that the settings were switched on (the first
// target), so that the menu offers them at once. Without the application's
// port the category opens nothing.
#include "foundation/util/PortSlot.h"

class IAISSettingsUi
{
public:
    virtual ~IAISSettingsUi() = default;
    virtual void OpenAISSettings() {}
    virtual void SettingsEnabled() {}
};
