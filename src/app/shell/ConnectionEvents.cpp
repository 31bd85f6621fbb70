#include "app/shell/ConnectionEvents.h"

#include "ais/AISTargetManager.h"
#include "mapview/ownship/FeedRMC_to_GPSPosition.h"
#include "overlays/model/TrackManager.h"

void CConnectionEvents::OnReset(bool simulation)
{
    CFeedRMC_to_GPSPosition::ResetOnConnectionChange(simulation);
}

void CConnectionEvents::BeginSimulationTrack()
{
    CTrackManager::Get().BeginSimulationTrack();
}

void CConnectionEvents::EndSimulationTrack()
{
    CTrackManager::Get().EndSimulationTrack();
}

void CConnectionEvents::ImportTargetList(const std::string& path)
{
    CAISTargetManager::Global().ImportWatchmateTargets(path);
}
