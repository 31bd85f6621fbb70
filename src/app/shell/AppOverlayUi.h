#pragma once
// The application's side of the overlay menus: they open over the main
// window's chart. The edit dialogs and the chart download along a route are
// not offered yet, so their rows stay hidden.
#include "overlays/ui/OverlayUiPorts.h"

class AppDelegate;

class CAppOverlayUi : public IOverlayUi
{
public:
    // The app whose window menus open over (wiring sets it each start).
    void Attach(AppDelegate* app) { m_app = app; }

    // The window exists only after Start made it, so it is looked up here.
    QWidget* menu_parent() override;

private:
    AppDelegate* m_app = nullptr;
};
