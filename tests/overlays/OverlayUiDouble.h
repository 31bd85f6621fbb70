#pragma once
// An overlay ui that offers only what a test turns on and records what the
// menus and lists ask of it. Installed with SetOverlayUi, as the application
// installs its own.
#include "overlays/ui/OverlayUiPorts.h"

#include <string>
#include <utility>
#include <vector>

namespace tessatest {

class COverlayUiDouble : public IOverlayUi
{
public:
    using Positions = std::vector<std::pair<double, double>>;
    struct Download
    {
        std::string chartPath;
        Positions lonLat;
        int mode = 0;
        double width = 0;
    };

    bool CanEditMarks() const override { return editMarks; }
    bool CanEditRoutes() const override { return editRoutes; }
    bool CanEditTracks() const override { return editTracks; }
    bool CanStartMapDataDownload() const override { return download; }
    void show_edit_mark(QWidget*, COverlayMark* mark) override { editedMarks.push_back(mark); }
    void show_edit_route(QWidget*, COverlayRoute* route) override { editedRoutes.push_back(route); }
    void show_edit_track(QWidget*, COverlayTrack* track) override { editedTracks.push_back(track); }
    void StartMapDataDownload(const std::string& chartPath, const Positions& lonLat, int mode,
                              double width) override
    {
        downloads.push_back(Download{chartPath, lonLat, mode, width});
    }
    QWidget* menu_parent() override { return parent; }

    bool editMarks = false;
    bool editRoutes = false;
    bool editTracks = false;
    bool download = false;
    QWidget* parent = nullptr;
    std::vector<COverlayMark*> editedMarks;
    std::vector<COverlayRoute*> editedRoutes;
    std::vector<COverlayTrack*> editedTracks;
    std::vector<Download> downloads;
};

} // namespace tessatest
