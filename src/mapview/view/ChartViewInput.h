#pragma once
// What the delete keys of the chart view do with the objects the active
// overlay tool holds. The owners of marks and tracks live above the map view,
// so they fill this in at start-up. Main thread only.
#include <functional>

class COverlayObject;

// `mark` is the tool's mark, else null; `trackSection` its track section.
using DeleteToolObjectHook = std::function<void(COverlayObject* mark, COverlayObject* trackSection)>;
void SetDeleteToolObjectHook(DeleteToolObjectHook hook);
