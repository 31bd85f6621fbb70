#pragma once
// What a connection change means above the connections: the own ship's feed
// starts afresh, the simulation file has its own track, and an AIS device's
// target list fills the target table.
#include "instruments/connections/ConnectionPorts.h"

class CConnectionEvents : public IConnectionEvents
{
public:
    void OnReset(bool simulation) override;
    void BeginSimulationTrack() override;
    void EndSimulationTrack() override;
    // The AIS device's target list goes to the AIS target manager.
    void ImportTargetList(const std::string& path) override;
};
