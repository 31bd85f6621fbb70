#pragma once
// GPX import and synchronisation save every store through the application.
#include "overlays/model/OverlayModelPorts.h"

class AppDelegate;

class CAppSaveAll : public ISaveAllPort
{
public:
    // The app that saves (wiring sets it each start).
    void Attach(AppDelegate* app) { m_app = app; }

    bool SaveAllData() override;

private:
    AppDelegate* m_app = nullptr;
};
