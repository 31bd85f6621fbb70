#pragma once
// Fills every registry (sentence types, connection types, position formats,
// settings categories, the chart views' overlay sources, panel item families)
// in its fixed order and builds the settings objects, lowest layer first.
// Start-up calls it before the settings are read; tests and benchmarks call it
// before they run. A second call adds nothing.
void RegisterApplicationTypes();
