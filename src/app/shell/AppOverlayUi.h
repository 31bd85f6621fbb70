#pragma once
// The application's side of the overlay menus: they open over the main
// window's chart. The edit dialogs open over the dialog that asked (the
// overlay list), else over the main window's chart. The chart download along
// a route is not offered yet, so its rows stay hidden.
#include "overlays/ui/OverlayUiPorts.h"

class AppDelegate;
class UIViewControllerWithDialog;

class CAppOverlayUi : public IOverlayUi
{
public:
    // The app whose window menus open over (wiring sets it each start).
    void Attach(AppDelegate* app) { m_app = app; }

    // The window exists only after Start made it, so it is looked up here.
    QWidget* menu_parent() override;

    bool CanEditMarks() const override { return true; }
    bool CanEditRoutes() const override { return true; }
    bool CanEditTracks() const override { return true; }
    void show_edit_mark(QWidget* parent, COverlayMark* mark) override;
    void show_edit_route(QWidget* parent, COverlayRoute* route) override;
    void show_edit_track(QWidget* parent, COverlayTrack* track) override;

private:
    // The dialog an edit dialog opened from `parent` is shown over.
    UIViewControllerWithDialog* DialogParent(QWidget* parent);

    AppDelegate* m_app = nullptr;
};
