#include "mapview/units/UnitsMenus.h"

#include "foundation/events/Listener.h"
#include "foundation/menus/MenuTree.h"
#include "foundation/notify/StatusLine.h"
#include "foundation/settings/PersistantData.h"

namespace {

// The anchor of the last "Units" menu, for its sub-menus.
QPoint g_menuAnchor;

void SaveAndAnnounce()
{
    CDefaultUnits::Settings().SetModified();
    if (!PersistantData::SaveAll())
        SetStatusMessage("The units could not be saved: " + PersistantData::LastError());
    FireEvent<CUnits>(CDefaultUnits::Get());
}

} // namespace

void CUnitsMenus::ChooseUnitSystem(uint32_t system)
{
    if (!CDefaultUnits::Get().SetUnitSystem(system))
        return;
    SaveAndAnnounce();
}

void CUnitsMenus::ChoosePositionFormat(const CUnits::PositionFormatType& format)
{
    CDefaultUnits::Get().SetPositionFormat(format);
    SaveAndAnnounce();
}

void CUnitsMenus::ChooseBearings(uint32_t bearings)
{
    if (bearings > CUnits::kBearingsMagnetic)
        return;
    CDefaultUnits& units = CDefaultUnits::Get();
    units.m_bearings = bearings;
    if (bearings == CUnits::kBearingsMagnetic)
        units.ResetMagneticVariation();
    SaveAndAnnounce();
}

std::unique_ptr<CMenuTree> CUnitsMenus::BuildUnitsMenu()
{
    auto menu = std::make_unique<CActionSheetMenu>("Units", nullptr);
    const uint32_t checked = CDefaultUnits::Get().GetSpeedUnit();
    const char* systems[3] = {"Statute", "Nautical", "Metric"};
    for (uint32_t i = 0; i < 3; ++i)
        menu->AddActionSheetFunc(systems[i], i == checked ? CMenuTree::kChecked : CMenuTree::kPlain,
                                 [i] { ChooseUnitSystem(i); });
    menu->AddActionSheetFunc("Position format...", CMenuTree::kPlain,
                             [] { CMenuTree::PopUp(BuildPositionFormatMenu(), nullptr, g_menuAnchor); });
    menu->AddActionSheetFunc("Bearings...", CMenuTree::kPlain,
                             [] { CMenuTree::PopUp(BuildBearingsMenu(), nullptr, g_menuAnchor); });
    return menu;
}

std::unique_ptr<CMenuTree> CUnitsMenus::BuildPositionFormatMenu()
{
    auto menu = std::make_unique<CActionSheetMenu>("Position format", nullptr);
    const CUnits::PositionFormatType* current = &CDefaultUnits::Get().PositionFormat();
    for (const CUnits::PositionFormatType* f = CUnits::PositionFormatType::First(); f; f = f->Next())
        menu->AddActionSheetFunc(f->Name(), f == current ? CMenuTree::kChecked : CMenuTree::kPlain,
                                 [f] { ChoosePositionFormat(*f); });
    return menu;
}

std::unique_ptr<CMenuTree> CUnitsMenus::BuildBearingsMenu()
{
    auto menu = std::make_unique<CActionSheetMenu>("Bearings", nullptr);
    const bool magnetic = CDefaultUnits::Get().m_bearings == CUnits::kBearingsMagnetic;
    menu->AddActionSheetFunc("True north", magnetic ? CMenuTree::kPlain : CMenuTree::kChecked,
                             [] { ChooseBearings(CUnits::kBearingsTrue); });
    menu->AddActionSheetFunc("Magnetic", magnetic ? CMenuTree::kChecked : CMenuTree::kPlain,
                             [] { ChooseBearings(CUnits::kBearingsMagnetic); });
    return menu;
}

void CUnitsMenus::OpenUnitsMenu(const QPoint& anchor)
{
    g_menuAnchor = anchor;
    CMenuTree::PopUp(BuildUnitsMenu(), nullptr, g_menuAnchor);
}
