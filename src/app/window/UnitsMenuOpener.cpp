#include "app/window/UnitsMenuOpener.h"

#include "mapview/units/UnitsMenus.h"

#include <QCursor>

void CUnitsMenuOpener::OpenUnitsMenu()
{
    CUnitsMenus::OpenUnitsMenu(QCursor::pos());
}
