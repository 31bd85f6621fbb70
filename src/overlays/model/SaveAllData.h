#pragma once
// Saving every store at once (GPX import and synchronisation ask for it).
// The application fills the hook at start-up; without one nothing is saved.
#include <functional>

void SetSaveAllDataHook(std::function<bool()> hook);
// True when the hook saved everything.
bool SaveAllData();
