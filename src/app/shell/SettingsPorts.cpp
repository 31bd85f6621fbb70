#include "app/shell/SettingsPorts.h"

#include "app/settings/ais_settings.h"
#include "app/settings/gps_settings.h"
#include "app/shell/AppDelegate.h"
#include "app/window/ViewController.h"

#include <QAction>

UIViewControllerWithDialog* CSettingsDialogs::Host() const
{
    ViewController* window = m_app ? m_app->Window() : nullptr;
    return window ? &window->DialogHost() : nullptr;
}

namespace {

// A dialog already over the chart stays the only one: a second would hide
// under it and take the connections' dialogs away from the first.
bool HostIsFree(UIViewControllerWithDialog* host)
{
    return !host || !host->child_dialog() || host->child_dialog()->isDialogEnded();
}

} // namespace

void CSettingsDialogs::OpenGPSSettings()
{
    if (HostIsFree(Host()))
        (new gps_settings())->showInParent(Host());
}

void CSettingsDialogs::OpenAISSettings()
{
    if (HostIsFree(Host()))
        (new ais_settings())->showInParent(Host());
}

void CSettingsDialogs::SettingsEnabled()
{
    Port<IAisSettingsMenuItem>().SetAisSettingsItemHidden(false);
}

void CSettingsMenuItems::SetTrackLoggingTitle(const std::string& title)
{
    if (ViewController* window = m_app ? m_app->Window() : nullptr)
        window->TrackLoggingAction()->setText(QString::fromStdString(title));
}

void CSettingsMenuItems::SetAisSettingsItemHidden(bool hidden)
{
    if (ViewController* window = m_app ? m_app->Window() : nullptr)
        window->AISSettingsAction()->setVisible(!hidden);
}
