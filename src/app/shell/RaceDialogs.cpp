#include "app/shell/RaceDialogs.h"

#include "app/dialogs/axis_settings.h"
#include "app/dialogs/timer_settings.h"
#include "app/shell/AppDelegate.h"
#include "app/window/ViewController.h"

#include <QApplication>

namespace {

// The dialog goes over the dialog the cell lies in, else over the main
// window's chart, else into a window of its own.
UIViewControllerWithDialog* HostFor(QWidget* parent, AppDelegate* app)
{
    // A menu entry may be chosen after its panel went: only a widget that
    // still exists is looked into.
    if (parent && QApplication::allWidgets().contains(parent))
        for (QWidget* w = parent; w; w = w->parentWidget())
            if (auto* dialog = qobject_cast<UIViewControllerWithDialog*>(w))
                return dialog;
    ViewController* window = app ? app->Window() : nullptr;
    return window ? &window->DialogHost() : nullptr;
}

} // namespace

void CRaceDialogs::show_timer_settings(QWidget* parent)
{
    ::show_timer_settings(HostFor(parent, m_app));
}

void CRaceDialogs::show_axis_settings(QWidget* parent)
{
    ::show_axis_settings(HostFor(parent, m_app));
}
