#pragma once
// What a connection change means above the connections: the own ship's feed
// starts afresh, and the simulation file has its own track.
#include "instruments/connections/ConnectionPorts.h"

class CConnectionEvents : public IConnectionEvents
{
public:
    void OnReset(bool simulation) override;
    void BeginSimulationTrack() override;
    void EndSimulationTrack() override;
};
