#pragma once
// What shows a menu tree as a pop-up menu. Menus are built in plain code; the
// application installs the Qt pop-up at start and tests install a recorder.
// Without one a tree is dropped unshown.
#include "foundation/platform/DialogParent.h"
#include "foundation/util/PortSlot.h"

#include <memory>

class CMenuTree;
class QPoint;

class IMenuPopup
{
public:
    virtual ~IMenuPopup() = default;
    // Shows `tree` at `point` in `view`'s coordinates (global ones when `view`
    // is null); when `point` is null, at the pointer if it is over the view's
    // window, else at the view's centre less 100 in x.
    // Returns at once; the menu owns the tree until it closes.
    virtual void ShowMenu(std::unique_ptr<CMenuTree> tree, QWidget* view, const QPoint* point);
};
