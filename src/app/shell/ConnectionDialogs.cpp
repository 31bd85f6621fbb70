#include "app/shell/ConnectionDialogs.h"

#include "app/dialogs/mac_serial_port.h"
#include "app/shell/AppDelegate.h"
#include "app/window/ViewController.h"

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
