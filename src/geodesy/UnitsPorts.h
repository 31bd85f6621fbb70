#pragma once
// What the "Units" settings category needs from the layers above: the units
// menu. Without the application's port opening the category does nothing.

class IUnitsUi
{
public:
    virtual ~IUnitsUi() = default;
    virtual void OpenUnitsMenu() {}
};
IUnitsUi& UnitsUi();
// Null puts the default back.
void SetUnitsUi(IUnitsUi* ui);
bool HasUnitsUi();
