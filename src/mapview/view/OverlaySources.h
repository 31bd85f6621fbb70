#pragma once
// The owners of overlays that live above the map view (marks and routes,
// tracks) register a walk over their objects here at start-up; a new chart
// view takes every object they hold. Later changes reach the view through
// Listener<COverlayObject>. Main thread only. The mark of CreateMarkAtCentre
// is made through the IMarkCreator port (OverlaySourcesPorts.h).
#include <cstdint>
#include <functional>

class COverlayObject;
class CRasterleafView;

using OverlayVisitor = std::function<void(COverlayObject& object)>;
// Calls the visitor on every object the owner shows; `layer` is the walk's
// layer number.
using OverlaySource = std::function<void(uint32_t layer, const OverlayVisitor& visit)>;

// Registers a source; the returned handle removes it again.
int RegisterOverlaySource(OverlaySource source);
void UnregisterOverlaySource(int handle);
// Walks every registered source in the order of registration.
void WalkOverlaySources(const OverlayVisitor& visit);
