#include "app/shell/ConnectionDialogs.h"

#include "app/dialogs/mac_serial_port.h"
#include "app/dialogs/tcp_udp_config.h"
#include "app/shell/AppDelegate.h"
#include "app/window/ViewController.h"
#include "instruments/connections/NetworkConnections.h"

QWidget* CConnectionDialogs::DialogParent()
{
    // Looked up on each call: the window is made after the ports are wired.
    return m_app ? m_app->Window() : nullptr;
}

void CConnectionDialogs::OpenSerialPortDialog(QWidget* parent, ConnectionMacSerialPort* connection)
{
    auto* dialog = new mac_serial_port(connection, parent);
    dialog->showInParent(nullptr);
}

void CConnectionDialogs::OpenTcpUdpConfig(QWidget* parent, CDataConnection* tcp, CDataConnection* udp)
{
    auto* dialog =
        new tcp_udp_config(dynamic_cast<CTCPIPConnection*>(tcp), dynamic_cast<CUDPConnection*>(udp));
    // Over the dialog that asked (the GPS settings), else in a window of its own.
    dialog->showInParent(qobject_cast<UIViewControllerWithDialog*>(parent));
}
