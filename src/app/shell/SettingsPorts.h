#pragma once
// The settings dialogs as the lower layers open them: the own ship's and the
// AIS settings categories (over the main window's dialog host), and the two
// menu items start-up titles and hides.
#include "ais/AISPorts.h"
#include "app/shell/AppDelegatePorts.h"
#include "mapview/ownship/OwnShipPorts.h"

class AppDelegate;
class UIViewControllerWithDialog;

class CSettingsDialogs : public IGPSSettingsUi, public IAISSettingsUi
{
public:
    void Attach(AppDelegate* app) { m_app = app; }
    void OpenGPSSettings() override;
    void OpenAISSettings() override;
    // The menu item hidden at start appears.
    void SettingsEnabled() override;

private:
    // The main window's dialog host, or null before the window exists.
    UIViewControllerWithDialog* Host() const;

    AppDelegate* m_app = nullptr;
};

class CSettingsMenuItems : public ITrackLoggingMenuItem, public IAisSettingsMenuItem
{
public:
    void Attach(AppDelegate* app) { m_app = app; }
    void SetTrackLoggingTitle(const std::string& title) override;
    void SetAisSettingsItemHidden(bool hidden) override;

private:
    AppDelegate* m_app = nullptr;
};
