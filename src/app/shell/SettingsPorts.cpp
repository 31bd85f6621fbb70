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

void CSettingsDialogs::OpenGPSSettings()
{
    (new gps_settings())->showInParent(Host());
}

void CSettingsDialogs::OpenAISSettings()
{
    (new ais_settings())->showInParent(Host());
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
