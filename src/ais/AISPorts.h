#pragma once
// What the "AIS Settings" category needs from the layers above: the AIS
// settings dialog. Without the application's port the category opens nothing.

class IAISSettingsUi
{
public:
    virtual ~IAISSettingsUi() = default;
    virtual void OpenAISSettings() {}
};
IAISSettingsUi& AISSettingsUi();
// Null puts the default back.
void SetAISSettingsUi(IAISSettingsUi* ui);
bool HasAISSettingsUi();
