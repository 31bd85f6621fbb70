#pragma once
// The "Units" menus over the application's units: a unit system, the position
// format and the bearings. Choosing an entry writes the choice, saves the
// settings and tells the Listener<CUnits> listeners. The menus are built as
// data, so their entries and checks can be read without a window; opening the
// settings category "Units" pops the first one up at the mouse.
#include "geodesy/Units.h"

#include <QPoint>
#include <memory>

class CMenuTree;

class CUnitsMenus
{
public:
    static void ChooseUnitSystem(uint32_t system);
    static void ChoosePositionFormat(const CUnits::PositionFormatType& format);
    static void ChooseBearings(uint32_t bearings);

    static std::unique_ptr<CMenuTree> BuildUnitsMenu();
    static std::unique_ptr<CMenuTree> BuildPositionFormatMenu();
    static std::unique_ptr<CMenuTree> BuildBearingsMenu();

    // Pops the "Units" menu up at `anchor` (global coordinates); its two
    // sub-menus open at the same place.
    static void OpenUnitsMenu(const QPoint& anchor);
};
