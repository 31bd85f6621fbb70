#pragma once
// The application's side of the overlay menus: they open over the main
// window's chart. The edit dialogs are not offered yet, so their rows stay
// hidden; the chart download along a route is offered once wiring gives it.
#include "overlays/ui/OverlayUiPorts.h"

#include <string>
#include <utility>
#include <vector>

class AppDelegate;

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

private:
    AppDelegate* m_app = nullptr;
    MapDataDownload m_download = nullptr;
};
