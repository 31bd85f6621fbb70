#include "foundation/settings/SettingsFolders.h"

#include <QStandardPaths>

std::string SettingsDataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString() + "/tessaroute";
}

std::string SettingsDocumentsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString() + "/Tessaroute";
}
