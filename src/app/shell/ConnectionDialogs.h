#pragma once
// The connections' dialogs, in the main window once it exists.
#include "instruments/connections/ConnectionPorts.h"

class CTessarouteApp;

class CConnectionDialogs : public IConnectionUi
{
public:
    // The application whose window the dialogs belong to (null: none).
    void Attach(CTessarouteApp* app) { m_app = app; }

    QWidget* DialogParent() override;
    void OpenSerialPortDialog(QWidget* parent, ConnectionMacSerialPort* connection) override;

private:
    CTessarouteApp* m_app = nullptr;
};
