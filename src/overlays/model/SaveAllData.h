#pragma once
// Saving every store at once (GPX import and synchronisation ask for it),
// through the installed ISaveAllPort; without one nothing is saved.
#include "overlays/model/OverlayModelPorts.h"

// True when the installed port saved everything.
bool SaveAllData();
