#pragma once
// The race dialogs that the panel's timer and axis cells open.
#include "panels/PanelPorts.h"

class AppDelegate;

class CRaceDialogs : public IRaceDialogs
{
public:
    // The application whose window hosts the dialogs (null: none).
    void Attach(AppDelegate* app) { m_app = app; }

    void show_timer_settings(QWidget* parent) override;
    void show_axis_settings(QWidget* parent) override;

private:
    AppDelegate* m_app = nullptr;
};
