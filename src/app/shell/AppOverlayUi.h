#pragma once
// The application's side of the overlay menus: they open over the main
// window's chart. The edit dialogs open over the dialog that asked (the
// overlay list), else over the main window's chart; the chart download along
// a route is offered once wiring gives it.
#include "overlays/ui/OverlayUiPorts.h"

#include <string>
#include <utility>
#include <vector>

class AppDelegate;
class UIViewControllerWithDialog;

class CAppOverlayUi : public IOverlayUi
{
public:
    // The app whose window menus open over (wiring sets it each start).
    void Attach(AppDelegate* app) { m_app = app; }

    // The window exists only after Start made it, so it is looked up here.
    QWidget* menu_parent() override;

    // The chart download: (parent, chart path, (latitude, longitude) points,
    // area, corridor width in metres).
    using MapDataDownload = void (*)(QWidget* parent, const std::string& chartPath,
                                     const std::vector<std::pair<double, double>>& latLon, bool area,
                                     double corridorMetres);
    void SetMapDataDownload(MapDataDownload download) { m_download = download; }
    bool CanStartMapDataDownload() const override { return m_download != nullptr; }
    void StartMapDataDownload(const std::string& chartPath,
                              const std::vector<std::pair<double, double>>& lonLat, int mode,
                              double width) override;

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
    MapDataDownload m_download = nullptr;
};
