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
