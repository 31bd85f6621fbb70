#pragma once
// The connections' dialogs, in the main window once it exists.
#include "instruments/connections/ConnectionPorts.h"

class AppDelegate;

class CConnectionDialogs : public IConnectionUi
{
public:
    // The application whose window the dialogs belong to (null: none).
    void Attach(AppDelegate* app) { m_app = app; }

    QWidget* DialogParent() override;
    void OpenSerialPortDialog(QWidget* parent, ConnectionMacSerialPort* connection) override;
    void OpenTcpUdpConfig(QWidget* parent, CDataConnection* tcp, CDataConnection* udp) override;

private:
    AppDelegate* m_app = nullptr;
};
