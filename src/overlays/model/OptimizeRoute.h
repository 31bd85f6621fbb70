#pragma once
// Route directions: a drawn route of 2 to 10 points is sent with a travel
// mode to the chart server's directions program and rebuilt along the path
// it returns, with flags at the manoeuvres. The points as drawn are kept, for
// one route at a time, so that the optimisation can be reverted.
#include "foundation/platform/DialogParent.h"

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class COverlayRoute;
class CXmlNode;

// `mode` is "walking", "bicycling", "driving" or "revert". Returns at once;
// the request runs on a progress-watched job. The result, 0 when the route
// was changed and -1 otherwise, goes to `done` and then to the continuations
// pending at the call (DialogCallback.h). Problems are shown in message boxes
// over `owner`. Main thread only.
void OptimizeRoute(QWidget* owner, const std::string& mode, COverlayRoute* route,
                   std::function<void(int)> done = {});

// True while `route` holds an optimisation that can be reverted.
bool IsOptimizedRoute(const COverlayRoute* route);

// A reply rebuilding more route points than this is refused as corrupt.
constexpr size_t kMaxDirectionsPoints = 50000;

struct CDirectionsStep
{
    std::vector<std::pair<double, double>> positions; // latitude, longitude
    std::string maneuver;
};

struct CDirectionsReply
{
    std::string summary;
    std::vector<CDirectionsStep> steps; // those with a path, of every leg in order
    std::string startAddress;           // of the first leg
    std::string endAddress;             // of the last leg
    bool hasDuration = false;           // only read when there is one leg
    std::string duration;
};

// Reads a reply document (the first element, as CXmlNode::LoadFile gives it;
// null for a file that held none). Returns "" for a route, else the text the
// user is shown: "Corrupt response" or "Status: " with the server's status and
// message. Plain data only, so any thread may call it.
std::string ReadDirectionsReply(CXmlNode* root, CDirectionsReply& reply);

// Appends the reply's path to the route (emptied by the caller): each step
// thinned through a temporary track, its first point a green "Flag" named by
// the manoeuvre, the others black "Tinydot"s; the addresses, the last flag,
// the name and the description. Returns "" or "Corrupt response" when more
// than kMaxDirectionsPoints points would be made (the route is then
// left with what was appended so far).
std::string BuildRouteFromDirections(const CDirectionsReply& reply, COverlayRoute& route);
