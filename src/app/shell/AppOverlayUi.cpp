#include "app/shell/AppOverlayUi.h"

#include "app/shell/AppDelegate.h"
#include "app/window/ViewController.h"

QWidget* CAppOverlayUi::menu_parent()
{
    ViewController* window = m_app ? m_app->Window() : nullptr;
    return window ? window->MenuParent() : nullptr;
}
