#include "foundation/settings/SettingsFolders.h"

#include "foundation/platform/PlatformFolders.h"

// Looking for settings must not make folders; SaveAll makes the data folder.
std::string SettingsDataFolder()
{
    return GetPlatformDataFolder();
}

std::string SettingsDocumentsFolder()
{
    return GetPlatformDocumentsFolder();
}
