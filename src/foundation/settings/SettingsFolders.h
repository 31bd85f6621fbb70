#pragma once
// Where the settings files live by default: the application's data folder
// (primary) and the user's documents folder (secondary). Neither is created here.
#include <string>

std::string SettingsDataFolder();
std::string SettingsDocumentsFolder();
