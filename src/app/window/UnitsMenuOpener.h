#pragma once
// The "Units" settings category opens the units menu at the mouse.
#include "geodesy/UnitsPorts.h"

class CUnitsMenuOpener : public IUnitsUi
{
public:
    void OpenUnitsMenu() override;
};
