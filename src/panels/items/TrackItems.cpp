#include "panels/items/TrackItems.h"

#include "foundation/menus/MenuTree.h"

namespace NDisplayTrack {

namespace {

const CUnits& Units()
{
    return CDefaultUnits::Get();
}

void ToggleRecording(void* manager)
{
    static_cast<CTrackManager*>(manager)->ToggleRecording();
}

std::string Duration(double seconds)
{
    std::string text;
    CUnits::FormatDuration(seconds, text);
    return text;
}

// A new cell shows the last track's figures at once.
template <class Item> void ShowCurrentTrack(Item& item)
{
    CTrackManager::Get().WithCurrentTrack([&item](COverlayTrack& track) { item.Notify(track); });
}

} // namespace

std::string AverageSpeedText(double metres, double movingSeconds, const CUnits& units)
{
    if (!(movingSeconds > kMinMovingTimeForAverage))
        return {};
    std::string text;
    units.FormatSpeedValue(float(metres * kMetresPerSecondToKnots / movingSeconds), text);
    return text;
}

std::string MaxSpeedText(double metresPerSecond, const CUnits& units)
{
    std::string text;
    units.FormatSpeedValue(float(metresPerSecond * kMetresPerSecondToKnots), text);
    return text;
}

const char* LoggingTitle(bool recording)
{
    return recording ? "Stop Logging" : "Start Logging";
}

// ---- the logging button ----

StartStopButton::StartStopButton(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CDisplayView::CItemButton(settings, host), m_shown(CTrackManager::Settings().doRecordTrack ? 0 : 1)
{
    Update();
}

void StartStopButton::Pressed()
{
    CTrackManager::Get().ToggleRecording();
    Update();
}

void StartStopButton::Update()
{
    const bool recording = CTrackManager::Settings().doRecordTrack;
    if (m_shown == uint8_t(recording))
        return;
    m_shown = uint8_t(recording);
    if (!m_button)
        return;
    m_button->SetColour(recording ? kRecordingColour : kStoppedColour);
    m_button->SetTitle(LoggingTitle(recording));
}

// ---- the statistics ----

CTrackTextItemWithMenu::CTrackTextItemWithMenu(CDisplayView::CItemSettings& settings,
                                               CDisplayView::IWindow* host, const char* title,
                                               const std::string& unit)
    : CDisplayView::CItemText(settings, host)
{
    if (m_txt)
        m_txt->SetLabel(title, unit);
}

void CTrackTextItemWithMenu::AddMenuItems(CMenuTree& menu, QWidget*)
{
    // The manager lives as long as the application: safe for an open menu.
    menu.AddItemV(LoggingTitle(CTrackManager::Get().IsRecording()), &ToggleRecording, CMenuTree::kPlain,
                  &CTrackManager::Get());
}

Distance::Distance(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CTrackTextItemWithMenu(settings, host, "Distance", CUnits::DistanceUnit(Units().m_distanceUnit).name)
{
    ShowCurrentTrack(*this);
}

void Distance::Notify(const COverlayTrack& track)
{
    std::string text;
    Units().FormatDistanceNumber(float(track.CachedDistance()), text);
    Show(text);
}

MovingTime::MovingTime(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CTrackTextItemWithMenu(settings, host, "Moving Time", "")
{
    ShowCurrentTrack(*this);
}

void MovingTime::Notify(const COverlayTrack& track)
{
    Show(Duration(track.MovingTime()));
}

ElapsedTime::ElapsedTime(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CTrackTextItemWithMenu(settings, host, "Elapsed", "")
{
    ShowCurrentTrack(*this);
}

void ElapsedTime::Notify(const COverlayTrack& track)
{
    Show(Duration(track.ElapsedTime()));
}

StoppedTime::StoppedTime(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CTrackTextItemWithMenu(settings, host, "Time stopped", "")
{
    ShowCurrentTrack(*this);
}

void StoppedTime::Notify(const COverlayTrack& track)
{
    Show(Duration(track.StoppedTime()));
}

AverageSpeed::AverageSpeed(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CTrackTextItemWithMenu(settings, host, "Track Avg", CUnits::SpeedUnit(Units().GetSpeedUnit()).name)
{
    ShowCurrentTrack(*this);
}

void AverageSpeed::Notify(const COverlayTrack& track)
{
    Show(AverageSpeedText(track.CachedDistance(), track.CachedMovingTime(), Units()));
}

MaxSpeed::MaxSpeed(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host)
    : CTrackTextItemWithMenu(settings, host, "Max Speed", CUnits::SpeedUnit(Units().GetSpeedUnit()).name)
{
    ShowCurrentTrack(*this);
}

void MaxSpeed::Notify(const COverlayTrack& track)
{
    Show(MaxSpeedText(track.CachedMaxSpeed(), Units()));
}

} // namespace NDisplayTrack

void RegisterTrackItems()
{
    using namespace NDisplayTrack;
    static CDisplayView::CRegistryEntry entries[] = {
        {"Track: Logging Button", StartStopButton::kTypeId, &StartStopButton::CSettings::cType, nullptr},
        {"Track: Distance travelled", Distance::kTypeId, &Distance::CSettings::cType, nullptr},
        {"Track: Moving Time", MovingTime::kTypeId, &MovingTime::CSettings::cType, nullptr},
        {"Track: Elapsed Time", ElapsedTime::kTypeId, &ElapsedTime::CSettings::cType, nullptr},
        {"Track: Time not moving", StoppedTime::kTypeId, &StoppedTime::CSettings::cType, nullptr},
        {"Track: Average Speed", AverageSpeed::kTypeId, &AverageSpeed::CSettings::cType, nullptr},
        {"Track: Max Speed", MaxSpeed::kTypeId, &MaxSpeed::CSettings::cType, nullptr},
    };
    for (CDisplayView::CRegistryEntry& entry : entries)
        CDisplayView::Register(entry);
}
