#include "panels/items/GpsItems.h"

#include "foundation/dialogs/DialogCallback.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/ui/OverlayUiPorts.h"
#include "panels/MainAndFlip.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace NDisplayGPS {

namespace {

const char* SpeedUnitName(const CUnits& units)
{
    return CUnits::SpeedUnit(units.m_speedUnit).name;
}

void BearingOrDashes(float angle, const CUnits& units, CCellTexts& out)
{
    if (IsUnknownAngle(angle) || !std::isfinite(angle))
        out.text = "---";
    else
        units.FormatBearingValue(angle, out.text);
}

} // namespace

void CourseTexts(const CDataGPSPosition& fix, const CUnits& units, CCellTexts& out)
{
    units.FormatBearingValue(fix.GetDirection(), out.text);
}

void SpeedTexts(const CDataGPSPosition& fix, const CUnits& units, CCellTexts& out)
{
    const bool valid =
        fix.m_mode != CDataSpeedDirection::kModeNone && fix.m_fixStatus != CDataGPSPosition::kNoFix;
    // Modes other than course over ground take the speed from the averaged values.
    const bool averaged = valid && fix.m_mode != CDataSpeedDirection::kModeCourseOverGround;
    out.SetLabel(averaged ? "Avg Speed" : "Speed", SpeedUnitName(units));
    out.text.clear();
    if (valid)
        units.FormatSpeedValue(fix.GetSpeed(), out.text);
}

void PositionTexts(const CDataGPSPosition& fix, const CUnits& units, CCellTexts& out)
{
    if (!(std::fabs(fix.m_latitude) <= 90) || !std::isfinite(fix.m_longitude))
        out.text = "Not Available";
    else
        units.FormatPosition(out.text, fix.m_latitude, fix.m_longitude);
}

void AccuracyTexts(const CDataGPSPosition& fix, const CUnits& units, CCellTexts& out)
{
    out.SetLabel(fix.m_fixStatus != CDataGPSPosition::kNoFix ? "GPS Accuracy" : "Est Pos Accuracy", "");
    out.text.clear();
    // The dilution of precision read as metres; a NaN also counts as not 0.
    if (fix.m_hdop != 0)
        units.FormatDistance(fix.m_hdop, out.text);
}

void AltitudeTexts(const CDataGPSPosition& fix, const CUnits& units, CCellTexts& out)
{
    units.FormatDepthValue(fix.m_altitude, out.text);
}

void Time12Texts(const CDataGPSPosition& fix, const CUnits&, CCellTexts& out)
{
    out.text.clear();
    time_t t = 0;
    // Before the receiver gave a time (0) there is none to show.
    if (fix.m_fixTime <= 0 || !SafeToTime(fix.m_fixTime, t)) {
        out.SetLabel("Time", "");
        return;
    }
    CUnits::FormatClockTime12(t, out.text);
    std::string& text = out.text;
    // "9:05am" shows as "9:05" under the title "Time: am".
    if (text.size() >= 4 && (text.back() == 'm' || text.back() == 'M')) {
        const std::string suffix = text.substr(text.size() - 2);
        text.erase(text.size() - 2);
        if (!text.empty() && text.back() == ' ')
            text.pop_back();
        out.SetLabel("Time: " + suffix, "");
    }
}

void TimeSecondsTexts(const CDataGPSPosition& fix, const CUnits&, CCellTexts& out)
{
    out.text.clear();
    time_t t = 0;
    if (fix.m_fixTime > 0 && SafeToTime(fix.m_fixTime, t))
        CUnits::FormatClockTime(t, out.text);
}

void CompassTexts(const CDataSpeedDirection& own, const CUnits& units, CCellTexts& out)
{
    BearingOrDashes(own.GetHeading(), units, out);
}

void AvgCourseTexts(const CDataGPSPosition& fix, const CUnits& units, CCellTexts& out)
{
    BearingOrDashes(fix.m_averagedCourse, units, out);
}

void AvgSpeedTexts(const CDataGPSPosition& fix, const CUnits& units, CCellTexts& out)
{
    units.FormatSpeedValue(fix.m_averagedSpeed, out.text);
}

void SatellitesTexts(const CDataGPSSatelliteSignals& view, const CUnits&, CCellTexts& out)
{
    // The mean elevation of the five highest satellites.
    int elevations[CDataGPSSatelliteSignals::kMaxSatellites];
    int count = 0;
    for (const auto& s : view.m_satellites)
        if (s.prn != 0)
            elevations[count++] = s.elevation;
    const int top = std::min(count, 5);
    std::partial_sort(elevations, elevations + top, elevations + count, std::greater<int>());
    int sum = 0;
    for (int i = 0; i < top; ++i)
        sum += elevations[i];
    const int mean = top > 0 ? sum / top : 0;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%u/%u/%d%%", view.m_satellitesUsed, view.m_satellitesInView, mean);
    out.text = buf;
}

template <class Event>
CGPSTextItem<Event>::CGPSTextItem(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host,
                                  Texts texts, const std::string& title, const std::string& unit, bool fill)
    : Listener<Event>(0), CDisplayView::CItemText(settings, host), m_texts(texts)
{
    if (!m_txt)
        return;
    m_txt->SetLabel(title, unit);
    if (fill)
        Notify(COverlayGPSPosition::Global());
}

template <class Event> void CGPSTextItem<Event>::Notify(const Event& event)
{
    if (!m_txt)
        return;
    CCellTexts texts;
    m_texts(event, CDefaultUnits::Get(), texts);
    texts.ApplyTo(m_txt);
}

template class CGPSTextItem<CDataGPSPosition>;
template class CGPSTextItem<CDataSpeedDirection>;
template class CGPSTextItem<CDataGPSSatelliteSignals>;

namespace {

using CellHost = CDisplayView::IWindow;
using CellSettings = CDisplayView::CItemSettings;

const CUnits& Units()
{
    return CDefaultUnits::Get();
}

} // namespace

COG::COG(CellSettings& s, CellHost* host)
    : CGPSTextItem(s, host, &CourseTexts, "Course", Units().BearingSuffix(), false)
{
}
SOG::SOG(CellSettings& s, CellHost* host)
    : CGPSTextItem(s, host, &SpeedTexts, "Speed", SpeedUnitName(Units()), true)
{
}
Position::Position(CellSettings& s, CellHost* host)
    : CGPSTextItem(s, host, &PositionTexts, "Position", "", true)
{
}
Status::Status(CellSettings& s, CellHost* host)
    : CGPSTextItem(s, host, &AccuracyTexts, "GPS Accuracy", "", true)
{
}
Altitude::Altitude(CellSettings& s, CellHost* host)
    : CGPSTextItem(s, host, &AltitudeTexts, "Altitude", CUnits::DepthUnit(Units().m_depthUnit).name, false)
{
}
Time::Time(CellSettings& s, CellHost* host) : CGPSTextItem(s, host, &Time12Texts, "Time", "", true) {}
TimeSeconds::TimeSeconds(CellSettings& s, CellHost* host)
    : CGPSTextItem(s, host, &TimeSecondsTexts, "Time", "", true)
{
}
CompassHeading::CompassHeading(CellSettings& s, CellHost* host)
    : CGPSTextItem(s, host, &CompassTexts, "Compass", Units().BearingSuffix(), false)
{
}
AvgCourse::AvgCourse(CellSettings& s, CellHost* host)
    : CGPSTextItem(s, host, &AvgCourseTexts, "Avg Course", Units().BearingSuffix(), false)
{
}
AvgSpeed::AvgSpeed(CellSettings& s, CellHost* host)
    : CGPSTextItem(s, host, &AvgSpeedTexts, "Avg Speed", SpeedUnitName(Units()), false)
{
}
NumSatellites::NumSatellites(CellSettings& s, CellHost* host)
    : CGPSTextItem(s, host, &SatellitesTexts, "Sats Used/View/Sig", "", false)
{
}

// ---- the drop-mark button ----

std::unique_ptr<COverlayMark> CopyMarkThroughStore(COverlayMark& mark)
{
    CSerialStream out = CSerialStream::OpenWrite({}, nullptr);
    if (!mark.Serialize(out))
        return nullptr;
    const std::string bytes = out.Output();
    CSerialStream in = CSerialStream::OpenInput(bytes.data(), bytes.size(), {}, nullptr);
    auto copy = std::make_unique<COverlayMark>();
    if (!copy->Serialize(in))
        return nullptr;
    return copy;
}

DropMarkButton::CSettings::CSettings()
    : m_template(std::make_unique<COverlayMark>()), m_alive(std::make_shared<const char>(0))
{
    m_template->SetName(kDefaultName);
}

DropMarkButton::CSettings::~CSettings() = default;

bool DropMarkButton::CSettings::Serialize(CSerialStream& stream)
{
    if (!CItemSettings::Serialize(stream))
        return false;
    if (stream.IsWriting())
        return m_template->Serialize(stream);
    // Fields the record does not hold keep the default template's values.
    auto mark = std::make_unique<COverlayMark>();
    mark->SetName(kDefaultName);
    if (!mark->Serialize(stream))
        return false;
    SetTemplate(std::move(mark));
    return true;
}

void DropMarkButton::CSettings::SetTemplate(std::unique_ptr<COverlayMark> mark)
{
    if (!mark)
        return;
    // The template is never navigated to, whatever a file says.
    mark->SetGotoTarget(false);
    m_template = std::move(mark);
}

std::unique_ptr<CDisplayView::CItem> DropMarkButton::CSettings::CreateItem(CDisplayView::IWindow* host)
{
    return std::make_unique<DropMarkButton>(*this, host);
}

DropMarkButton::DropMarkButton(CSettings& settings, CDisplayView::IWindow* host)
    : CDisplayView::CItemButton(settings, host), m_dropSettings(settings)
{
    Refresh();
}

std::string DropMarkButton::TitleOf(const std::string& templateName)
{
    const size_t hash = templateName.find('#');
    if (hash != std::string::npos && hash >= 1)
        return TrimString(templateName.substr(0, hash));
    return TrimString(templateName);
}

void DropMarkButton::Refresh()
{
    if (!m_button)
        return;
    COverlayMark& mark = m_dropSettings.Template();
    m_button->SetTitle(TitleOf(mark.GetName()));
    mark.ResolveIcon();
    m_button->SetImage(mark.GetIconImage());
}

void DropMarkButton::Pressed()
{
    const COverlayGPSPosition& own = COverlayGPSPosition::Global();
    if (!own.HasPosition())
        return;
    std::unique_ptr<COverlayMark> copy = COverlayMark::MakeCopy(m_dropSettings.Template());
    copy->SetPosition(own.m_latitude, own.m_longitude);
    COverlayMark* added = CMarkManager::Get().AddMark(std::move(copy));
    // Announced: the chart redraws, the store and the synchronisation take it.
    added->SetState(COverlayObject::kChanged);
}

void DropMarkButton::AddMenuItems(CMenuTree& menu, QWidget* owner)
{
    if (Port<IOverlayUi>().CanEditMarks())
        menu.AddItem(std::make_unique<CDropMarkActionSheetItem>(*this, owner));
}

} // namespace NDisplayGPS

namespace {

// Keeps a panel's arrangement while the mark dialog is open and lets it go
// when the dialog's continuation is gone, answered or dropped. The panel is
// known to live while the cell does; the application's two panels always do.
class CArrangementFreeze
{
public:
    CArrangementFreeze(CDisplayView* panel, std::weak_ptr<const char> cell)
        : m_panel(panel), m_cell(std::move(cell)), m_wasFrozen(panel && panel->m_frozen)
    {
        if (m_panel)
            m_panel->m_frozen = true;
    }
    ~CArrangementFreeze()
    {
        if (!m_panel || m_wasFrozen)
            return;
        if (!m_cell.expired() || m_panel == &GetMainDisplayView() || m_panel == &GetFlipDisplayView())
            m_panel->m_frozen = false;
    }
    CArrangementFreeze(const CArrangementFreeze&) = delete;
    CArrangementFreeze& operator=(const CArrangementFreeze&) = delete;

private:
    CDisplayView* m_panel;
    std::weak_ptr<const char> m_cell;
    bool m_wasFrozen;
};

} // namespace

CDropMarkActionSheetItem::CDropMarkActionSheetItem(NDisplayGPS::DropMarkButton& button, QWidget* owner)
    : CMenuTree::CItem("Mark Settings"), m_cell(button.m_dropSettings.LifeToken()),
      m_settings(&button.m_dropSettings), m_panel(button.Panel()), m_owner(owner)
{
}

void CDropMarkActionSheetItem::Select()
{
    using NDisplayGPS::DropMarkButton;
    if (m_cell.expired() || !Port<IOverlayUi>().CanEditMarks())
        return;
    // The dialog edits a copy in no manager; the continuation owns it until
    // the dialog ends.
    std::shared_ptr<COverlayMark> copy = NDisplayGPS::CopyMarkThroughStore(m_settings->Template());
    if (!copy)
        return;
    auto freeze = std::make_shared<CArrangementFreeze>(m_panel, m_cell);
    std::weak_ptr<const char> cell = m_cell;
    DropMarkButton::CSettings* settings = m_settings;
    CDisplayView* panel = m_panel;
    CCallback storage;
    PushProgressCallback(storage, CCallback([cell, settings, panel, copy, freeze](int32_t code) {
                             // A description that went meanwhile (a layout switch) takes nothing.
                             if (code != 0 || cell.expired())
                                 return code;
                             settings->SetTemplate(NDisplayGPS::CopyMarkThroughStore(*copy));
                             if (!panel)
                                 return code;
                             panel->m_modified = true;
                             if (CDisplayView::CItemArrangement* current = panel->CurrentArrangement())
                                 for (auto& item : current->m_items)
                                     if (&item->Settings() == settings)
                                         if (auto* button = dynamic_cast<DropMarkButton*>(item.get()))
                                             button->Refresh();
                             return code;
                         }));
    Port<IOverlayUi>().show_edit_mark(m_owner, copy.get());
    RunDialogCallbacksUntil(storage);
}

void RegisterGPSItems()
{
    using namespace NDisplayGPS;
    static CDisplayView::CRegistryEntry entries[] = {
        {"GPS: Course over Ground", COG::kTypeId, &COG::CSettings::cType, nullptr},
        {"GPS: Speed over Ground", SOG::kTypeId, &SOG::CSettings::cType, nullptr},
        {"GPS: Position", Position::kTypeId, &Position::CSettings::cType, nullptr},
        {"GPS: Accuracy", Status::kTypeId, &Status::CSettings::cType, nullptr},
        {"GPS: Altitude", Altitude::kTypeId, &Altitude::CSettings::cType, nullptr},
        {"GPS: Time", Time::kTypeId, &Time::CSettings::cType, nullptr},
        {"GPS: 24h Time with seconds", TimeSeconds::kTypeId, &TimeSeconds::CSettings::cType, nullptr},
        {"Sensors:Compass Heading", CompassHeading::kTypeId, &CompassHeading::CSettings::cType, nullptr},
        {"GPS: Average Course", AvgCourse::kTypeId, &AvgCourse::CSettings::cType, nullptr},
        {"GPS: Average Speed", AvgSpeed::kTypeId, &AvgSpeed::CSettings::cType, nullptr},
        {"GPS: Satellites", NumSatellites::kTypeId, &NumSatellites::CSettings::cType, nullptr},
        {"GPS: Drop Mark Button", DropMarkButton::kTypeId, &DropMarkButton::CSettings::cType, nullptr},
    };
    for (auto& entry : entries)
        CDisplayView::Register(entry);
}
