#pragma once
// The connections' dialogs, in the main window once it exists.
#include "instruments/connections/ConnectionPorts.h"

class CTessarouteApp;

class CConnectionDialogs : public IConnectionUi
{
public:
    explicit CConnectionDialogs(CTessarouteApp& app) : m_app(app) {}

    QWidget* DialogParent() override;
    void OpenSerialPortDialog(QWidget* parent, ConnectionMacSerialPort* connection) override;

private:
    CTessarouteApp& m_app;
};
