#pragma once
// What the "Units" settings category needs from the layers above: the units
// menu. Without the application's port opening the category does nothing.
#include "foundation/util/PortSlot.h"

class IUnitsUi
{
public:
    virtual ~IUnitsUi() = default;
    virtual void OpenUnitsMenu() {}
};
