#pragma once
// Fills every registry and builds every settings object, in a fixed order,
// before anything looks them up or the settings are loaded. Idempotent.
void RegisterApplicationTypes();
