#pragma once
// The named settings categories, in the order the settings show them:
// "Units", "GPS Settings", "AIS Settings". A second call adds nothing.
void RegisterSettingsCategories();
