#pragma once
// The navigation target as it stands after the latest fix: the mark steered
// to (a free mark or the point a followed route has reached), and where the
// own ship lies against it and against the current leg. Published on
// Listener<CDataGotoMark> whenever it is recomputed. Metres and degrees.
#include "geodesy/LocalPlane.h"

class COverlayMark;
class COverlayRoute;

struct CDataGotoMark
{
    static constexpr float kNoBearing = 999.0f;

    COverlayMark* target = nullptr;
    COverlayRoute* route = nullptr;
    COverlayMark* next = nullptr;
    float distance = 0;
    float bearing = kNoBearing;
    float crossTrack = 0; // > 0: the own ship is right of the leg
    float remaining = 0;
    double legStartX = 0, legStartY = 0; // in the target plane
    double ownX = 0, ownY = 0;
    CLocalPlane plane; // centred on the target
    float toTargetX = 0, toTargetY = 0;
    float legNormalX = 0, legNormalY = 0;
    float legLength = 0;

    bool IsPlaneSet() const { return plane.IsUsable(); }
    bool IsLegNormalValid() const { return legNormalX * legNormalX + legNormalY * legNormalY > 0.9f; }
};
