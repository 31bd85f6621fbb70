#pragma once
// The navigation cells: where the boat stands against its go-to target or
// the route it follows. Distance, bearing and turn to the target, cross-track
// error, a steering arrow, times and arrival times to the target and to the
// route's end, speeds made good, the turn after the target, its name and the
// waypoints coming up. The text cells share a context menu that starts,
// reverses and cancels navigation.
#include "foundation/drawing/GraphicsColor.h"
#include "foundation/events/Listener.h"
#include "foundation/menus/MenuTree.h"
#include "geodesy/Units.h"
#include "instruments/data/DataGPSPosition.h"
#include "overlays/model/DataGotoMark.h"
#include "panels/items/ItemText.h"

#include <string>

namespace NDisplayGoto {

// The texts of a cell for the go-to data `g` and the own ship `own`; called
// only while there is a target.
using GotoTexts = void (*)(const CDataGotoMark& g, const CDataGPSPosition& own, const CUnits& units,
                           CCellTexts& out);
void DistanceTexts(const CDataGotoMark& g, const CDataGPSPosition& own, const CUnits& units, CCellTexts& out);
void BearingTexts(const CDataGotoMark& g, const CDataGPSPosition& own, const CUnits& units, CCellTexts& out);
void CrossTrackTexts(const CDataGotoMark& g, const CDataGPSPosition& own, const CUnits& units,
                     CCellTexts& out);
void TimeToGoTexts(const CDataGotoMark& g, const CDataGPSPosition& own, const CUnits& units, CCellTexts& out);
void ArrivalTexts(const CDataGotoMark& g, const CDataGPSPosition& own, const CUnits& units, CCellTexts& out);
void DistanceToEndTexts(const CDataGotoMark& g, const CDataGPSPosition& own, const CUnits& units,
                        CCellTexts& out);
void PercentageTexts(const CDataGotoMark& g, const CDataGPSPosition& own, const CUnits& units,
                     CCellTexts& out);
void TimeToEndTexts(const CDataGotoMark& g, const CDataGPSPosition& own, const CUnits& units,
                    CCellTexts& out);
void ArrivalAtEndTexts(const CDataGotoMark& g, const CDataGPSPosition& own, const CUnits& units,
                       CCellTexts& out);
void VMGLegTexts(const CDataGotoMark& g, const CDataGPSPosition& own, const CUnits& units, CCellTexts& out);
void VMGMarkTexts(const CDataGotoMark& g, const CDataGPSPosition& own, const CUnits& units, CCellTexts& out);
void NextTurnTexts(const CDataGotoMark& g, const CDataGPSPosition& own, const CUnits& units, CCellTexts& out);
void NameTexts(const CDataGotoMark& g, const CDataGPSPosition& own, const CUnits& units, CCellTexts& out);
// The waypoints coming up, within a budget of lines.
std::string ComingUpText(const CDataGotoMark& g, const CUnits& units, int32_t lineBudget);

// A text cell with the navigation menu.
class CGotoTextItemWithMenu : public CDisplayView::CItemText
{
public:
    using CDisplayView::CItemText::CItemText;
    void AddMenuItems(CMenuTree& menu, QWidget* owner) override;
};

// A text cell showing the go-to data. Without a target it shows its creation
// label (or `noTargetTitle` when one is given) and no value; a cell whose
// label stays as it is without a target says so with `keepLabel`.
class CGotoTextItem : public CGotoTextItemWithMenu, protected Listener<CDataGotoMark>
{
public:
    struct Kind
    {
        GotoTexts texts;
        const char* title;
        const char* unit;          // null: the speed unit's name
        const char* noTargetTitle; // null: the creation title
        bool keepLabel;
    };
    CGotoTextItem(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host, const Kind& kind);

protected:
    void Notify(const CDataGotoMark& g) override;

    const Kind& m_kind;
    std::string m_unit;
};

#define TESSA_GOTO_TEXT_ITEM(Name, Id)                                                                       \
    class Name : public CGotoTextItem                                                                        \
    {                                                                                                        \
    public:                                                                                                  \
        static constexpr uint32_t kTypeId = Id;                                                              \
        using CSettings = CPlacedItemSettings<Name, Id>;                                                     \
        Name(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host);                            \
    }

TESSA_GOTO_TEXT_ITEM(Distance, 22);
TESSA_GOTO_TEXT_ITEM(Bearing, 23);
TESSA_GOTO_TEXT_ITEM(CrossTrack, 25);
TESSA_GOTO_TEXT_ITEM(EstTimeToGo, 57);
TESSA_GOTO_TEXT_ITEM(EstTimeOfArrival, 58);
TESSA_GOTO_TEXT_ITEM(DistanceToEnd, 59);
TESSA_GOTO_TEXT_ITEM(PercentageToEnd, 114);
TESSA_GOTO_TEXT_ITEM(EstTimeToEnd, 60);
TESSA_GOTO_TEXT_ITEM(ETAatEnd, 61);
TESSA_GOTO_TEXT_ITEM(VMGParallelLeg, 62);
TESSA_GOTO_TEXT_ITEM(VMGtoMark, 63);
TESSA_GOTO_TEXT_ITEM(NextTurn, 64);
TESSA_GOTO_TEXT_ITEM(WaypointName, 66);

#undef TESSA_GOTO_TEXT_ITEM

// The turn to the target: the go-to data gives the bearing, each own
// direction the turn.
class Angle : public CGotoTextItem, private Listener<CDataSpeedDirection>
{
public:
    static constexpr uint32_t kTypeId = 24;
    using CSettings = CPlacedItemSettings<Angle, kTypeId>;
    Angle(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host);

private:
    void Notify(const CDataGotoMark& g) override;
    void Notify(const CDataSpeedDirection& own) override;

    float m_bearing = CDataGotoMark::kNoBearing;
};

// An arrow to steer by: toward the target relative to the current direction,
// coloured by the direction's source.
class Arrow : public CDisplayView::CItemDraw,
              private Listener<CDataGotoMark>,
              private Listener<CDataSpeedDirection>
{
public:
    static constexpr uint32_t kTypeId = 26;
    using CSettings = CPlacedItemSettings<Arrow, kTypeId>;
    Arrow(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host);

    void AddMenuItems(CMenuTree& menu, QWidget* owner) override;
    void Draw(QPainter& context, int32_t width, int32_t height) override;

private:
    void Notify(const CDataGotoMark& g) override;
    void Notify(const CDataSpeedDirection& own) override;

    float m_toTargetEast = 0, m_toTargetNorth = 0;
    bool m_targetKnown = false;
    float m_sine = 0, m_cosine = 1;
    GraphicsColor m_colour;
};

// The waypoints coming up, on several lines; no menu.
class ComingUp : public CDisplayView::CItemMultilineText, private Listener<CDataGotoMark>
{
public:
    static constexpr uint32_t kTypeId = 97;
    static constexpr int32_t kLineBudget = 6;
    using CSettings = CPlacedItemSettings<ComingUp, kTypeId>;
    ComingUp(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host);

private:
    void Notify(const CDataGotoMark& g) override;

    int32_t m_lineBudget = kLineBudget;
};

} // namespace NDisplayGoto

// The navigation entries of a go-to cell's menu: "Goto Mark...", "Follow
// Route...", and while navigating "Reverse Route" and "Cancel Navigation".
void NDisplayGoto_addMenus(CMenuTree& menu, QWidget* owner);
// The nearest marks (8) or routes (6) around the own ship in a menu at the
// mouse; a box says so when there are none. `owner` is the QWidget boxes and
// menus belong to.
void on_goto_nearby_mark(void* owner);
void on_follow_nearby_route(void* owner);

// Registers the family's menu entries, called by RegisterAllPanelItems.
void RegisterGotoItems();
