#pragma once
// The track-recording cells: a button that starts and stops recording, and
// the statistics of the current (last) track. The texts come from the plain
// functions at the top.
#include "geodesy/Units.h"
#include "overlays/model/OverlayTrack.h"
#include "overlays/model/TrackManager.h"
#include "panels/DisplayView.h"
#include "panels/items/PlacementSettings.h"

#include <cstdint>
#include <string>

namespace NDisplayTrack {

constexpr double kMetresPerSecondToKnots = 1.94384449;
// Below this much moving time an average speed is noise.
constexpr double kMinMovingTimeForAverage = 10.0; // seconds
// The logging button's faces, red in the low byte.
constexpr uint32_t kRecordingColour = 0xFF140FE1; // red
constexpr uint32_t kStoppedColour = 0xFF22840D;   // green

// Metres over moving seconds in the speed unit; empty for 10 s or less.
std::string AverageSpeedText(double metres, double movingSeconds, const CUnits& units);
// A speed in metres per second in the speed unit.
std::string MaxSpeedText(double metresPerSecond, const CUnits& units);
// "Stop Logging" while recording, else "Start Logging".
const char* LoggingTitle(bool recording);

class StartStopButton : public CDisplayView::CItemButton, Listener<CTrackManager>
{
public:
    TESSA_PLACEMENT_ONLY_SETTINGS(StartStopButton, 50)
    StartStopButton(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host);
    void Pressed() override;
    void Update();

private:
    void Notify(const CTrackManager&) override { Update(); }
    // The opposite at first, so that the first Update applies.
    uint8_t m_shown;
};

// The statistics cells: their menu starts and stops recording.
class CTrackTextItemWithMenu : public CDisplayView::CItemText
{
public:
    CTrackTextItemWithMenu(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host,
                           const char* title, const std::string& unit);
    void AddMenuItems(CMenuTree& menu, QWidget* owner) override;

protected:
    void Show(const std::string& text)
    {
        if (m_txt)
            m_txt->SetText(text);
    }
};

#define TESSA_TRACK_STATISTIC(Name, id)                                                                      \
    class Name : Listener<COverlayTrack>, public CTrackTextItemWithMenu                                      \
    {                                                                                                        \
    public:                                                                                                  \
        TESSA_PLACEMENT_ONLY_SETTINGS(Name, id)                                                              \
        Name(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host);                            \
        void Notify(const COverlayTrack& track) override;                                                    \
    };

TESSA_TRACK_STATISTIC(Distance, 51)
TESSA_TRACK_STATISTIC(MovingTime, 52)
TESSA_TRACK_STATISTIC(ElapsedTime, 53)
TESSA_TRACK_STATISTIC(StoppedTime, 54)
TESSA_TRACK_STATISTIC(AverageSpeed, 55)
TESSA_TRACK_STATISTIC(MaxSpeed, 56)

#undef TESSA_TRACK_STATISTIC

} // namespace NDisplayTrack

// The track family, in its menu order; called by RegisterAllPanelItems.
void RegisterTrackItems();
