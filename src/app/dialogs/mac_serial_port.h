#pragma once
// The serial-port set-up dialog: the ports of this machine (a path can also
// be typed) and the speed. "Done" stores them through the connection and ends
// with 0; "Cancel" or a refused choice ends with -1.
#include "foundation/dialogs/UIViewControllerWithDialog.h"
#include "foundation/dialogs/global_dialog_window.h"
#include "instruments/connections/SerialConnection.h"

#include <memory>
#include <vector>

class QComboBox;

namespace Ui {
class mac_serial_port;
}

class mac_serial_port : public UIViewControllerWithDialog
{
    Q_OBJECT

public:
    // Lists the ports found under `sysClassTty` (tests give a fake tree).
    mac_serial_port(ConnectionMacSerialPort* connection, QWidget* parent = nullptr,
                    const std::string& sysClassTty = "/sys/class/tty", const std::string& devFolder = "/dev",
                    const std::string& byIdFolder = "/dev/serial/by-id");
    ~mac_serial_port() override;

    void onDone();
    void onCancel();

    QComboBox* PortBox() const;
    QComboBox* SpeedBox() const;

private:
    std::unique_ptr<Ui::mac_serial_port> m_ui;
    ConnectionMacSerialPort* m_connection;
    std::vector<CSerialPortEntry> m_ports;
};
