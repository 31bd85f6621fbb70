#pragma once
// The own-fix cells: course and speed over ground, position, accuracy,
// altitude, the fix time in two forms, compass heading, averaged course and
// speed, the satellite count, and a button that drops a mark at the own
// position. Each text cell listens to one kind of own-ship event and formats
// it with a plain function over the application's units.
#include "foundation/events/Listener.h"
#include "foundation/menus/MenuTree.h"
#include "geodesy/Units.h"
#include "instruments/data/DataGPSPosition.h"
#include "instruments/data/DataGPSSatelliteSignals.h"
#include "panels/items/ItemText.h"

#include <memory>
#include <string>

class COverlayMark;

namespace NDisplayGPS {

// The texts of each cell for one event.
void CourseTexts(const CDataGPSPosition& fix, const CUnits& units, CCellTexts& out);
void SpeedTexts(const CDataGPSPosition& fix, const CUnits& units, CCellTexts& out);
void PositionTexts(const CDataGPSPosition& fix, const CUnits& units, CCellTexts& out);
void AccuracyTexts(const CDataGPSPosition& fix, const CUnits& units, CCellTexts& out);
void AltitudeTexts(const CDataGPSPosition& fix, const CUnits& units, CCellTexts& out);
void Time12Texts(const CDataGPSPosition& fix, const CUnits& units, CCellTexts& out);
void TimeSecondsTexts(const CDataGPSPosition& fix, const CUnits& units, CCellTexts& out);
void CompassTexts(const CDataSpeedDirection& own, const CUnits& units, CCellTexts& out);
void AvgCourseTexts(const CDataGPSPosition& fix, const CUnits& units, CCellTexts& out);
void AvgSpeedTexts(const CDataGPSPosition& fix, const CUnits& units, CCellTexts& out);
void SatellitesTexts(const CDataGPSSatelliteSignals& view, const CUnits& units, CCellTexts& out);

// A text cell showing each event of type Event. `fill` runs the handler once
// with the own ship when the cell is made, so it is not empty until the next fix.
template <class Event> class CGPSTextItem : public Listener<Event>, public CDisplayView::CItemText
{
public:
    using Texts = void (*)(const Event&, const CUnits&, CCellTexts&);
    CGPSTextItem(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host, Texts texts,
                 const std::string& title, const std::string& unit, bool fill);
    void Notify(const Event& event) override;

private:
    Texts m_texts;
};

#define TESSA_GPS_TEXT_ITEM(Name, Event, Id)                                                                 \
    class Name : public CGPSTextItem<Event>                                                                  \
    {                                                                                                        \
    public:                                                                                                  \
        static constexpr uint32_t kTypeId = Id;                                                              \
        using CSettings = CPlacedItemSettings<Name, Id>;                                                     \
        Name(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host);                            \
    }

TESSA_GPS_TEXT_ITEM(COG, CDataGPSPosition, 41);
TESSA_GPS_TEXT_ITEM(SOG, CDataGPSPosition, 42);
TESSA_GPS_TEXT_ITEM(Position, CDataGPSPosition, 43);
TESSA_GPS_TEXT_ITEM(Status, CDataGPSPosition, 44);
TESSA_GPS_TEXT_ITEM(Altitude, CDataGPSPosition, 45);
TESSA_GPS_TEXT_ITEM(Time, CDataGPSPosition, 46);
TESSA_GPS_TEXT_ITEM(TimeSeconds, CDataGPSPosition, 68);
TESSA_GPS_TEXT_ITEM(CompassHeading, CDataSpeedDirection, 47);
TESSA_GPS_TEXT_ITEM(AvgCourse, CDataGPSPosition, 48);
TESSA_GPS_TEXT_ITEM(AvgSpeed, CDataGPSPosition, 49);
TESSA_GPS_TEXT_ITEM(NumSatellites, CDataGPSSatelliteSignals, 76);

#undef TESSA_GPS_TEXT_ITEM

// A button that drops a copy of its template mark at the own position. The
// template is stored in the cell's description, in a mark's own stored form;
// it is never in the mark manager, never drawn, stored or synchronised.
class DropMarkButton : public CDisplayView::CItemButton
{
public:
    static constexpr uint32_t kTypeId = 103;
    static constexpr const char* kDefaultName = "Drop Mark #";

    class CSettings : public CDisplayView::CItemSettings
    {
    public:
        CSettings();
        ~CSettings() override;
        // The placement chunk, then the template mark. A record that ends
        // after the placement keeps the default template; a template read
        // never carries the go-to flag.
        bool Serialize(CSerialStream& stream) override;
        uint32_t GetTypeId() const override { return kTypeId; }
        std::unique_ptr<CDisplayView::CItem> CreateItem(CDisplayView::IWindow* host) override;
        static inline CSerializableType<CSettings> cType{kTypeId};

        COverlayMark& Template() const { return *m_template; }
        // Takes the mark over as the new template (its go-to flag cleared).
        void SetTemplate(std::unique_ptr<COverlayMark> mark);
        // Expires when this description goes: what a dialog opened from the
        // cell holds instead of the description itself.
        std::weak_ptr<const char> LifeToken() const { return m_alive; }

    private:
        std::unique_ptr<COverlayMark> m_template;
        std::shared_ptr<const char> m_alive;
    };

    DropMarkButton(CSettings& settings, CDisplayView::IWindow* host);
    // Appends a copy of the template at the own position to the mark manager;
    // without a position nothing happens.
    void Pressed() override;
    // "Mark Settings", while an edit dialog for marks is there.
    void AddMenuItems(CMenuTree& menu, QWidget* owner) override;
    // Title and image from the template.
    void Refresh();

    // The button title of a template name: the text before a '#' that is not
    // the first character, trimmed.
    static std::string TitleOf(const std::string& templateName);

    CSettings& m_dropSettings;
};

// An exact copy of a mark through its stored form (null if that fails).
std::unique_ptr<COverlayMark> CopyMarkThroughStore(COverlayMark& mark);

} // namespace NDisplayGPS

// "Mark Settings": edits a copy of the button's template in the mark edit
// dialog. The entry, the dialog and its continuation hold the description's
// life token, not the button: a layout switch while the dialog is open
// leaves the dialog's end with nothing to write.
class CDropMarkActionSheetItem : public CMenuTree::CItem
{
public:
    CDropMarkActionSheetItem(NDisplayGPS::DropMarkButton& button, QWidget* owner);
    void Select() override;

private:
    std::weak_ptr<const char> m_cell;
    NDisplayGPS::DropMarkButton::CSettings* m_settings;
    CDisplayView* m_panel;
    QWidget* m_owner;
};

// Registers the family's menu entries, called by RegisterAllPanelItems.
void RegisterGPSItems();
