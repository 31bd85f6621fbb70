#pragma once
// What the floating overlay window shows: the overlay list fills it. Until a
// list is installed the window cannot be opened, and the menu item that opens
// it stays hidden.
#include "foundation/util/PortSlot.h"

class QWidget;
class UIViewControllerWithDialog;

class IOverlayWindowContent
{
public:
    virtual ~IOverlayWindowContent() = default;
    // Makes the list dialog that fills the window, or nullptr (the default: nothing to show).
    virtual UIViewControllerWithDialog* MakeOverlayList(QWidget* /*hostView*/) { return nullptr; }
};
