#include "app/shell/AppOverlayUi.h"

#include "app/dialogs/edit_mark.h"
#include "app/dialogs/edit_route.h"
#include "app/dialogs/edit_track.h"
#include "app/shell/AppDelegate.h"
#include "app/window/ViewController.h"

QWidget* CAppOverlayUi::menu_parent()
{
    ViewController* window = m_app ? m_app->Window() : nullptr;
    return window ? window->MenuParent() : nullptr;
}

void CAppOverlayUi::StartMapDataDownload(const std::string& chartPath,
                                         const std::vector<std::pair<double, double>>& lonLat, int mode,
                                         double width)
{
    if (!m_download || (mode != 0 && mode != 1))
        return;
    // The menus hand (longitude, latitude); the download takes (latitude, longitude).
    std::vector<std::pair<double, double>> latLon;
    latLon.reserve(lonLat.size());
    for (const auto& [lon, lat] : lonLat)
        latLon.emplace_back(lat, lon);
    m_download(menu_parent(), chartPath, latLon, mode == 1, width);
}

UIViewControllerWithDialog* CAppOverlayUi::DialogParent(QWidget* parent)
{
    ViewController* window = m_app ? m_app->Window() : nullptr;
    return EditDialogParent(parent, window ? &window->DialogHost() : nullptr);
}

void CAppOverlayUi::show_edit_mark(QWidget* parent, COverlayMark* mark)
{
    ::show_edit_mark(mark, DialogParent(parent));
}

void CAppOverlayUi::show_edit_route(QWidget* parent, COverlayRoute* route)
{
    ::show_edit_route(route, DialogParent(parent));
}

void CAppOverlayUi::show_edit_track(QWidget* parent, COverlayTrack* track)
{
    ::show_edit_track(track, DialogParent(parent));
}
