#pragma once
// The network connections' set-up: address and port of the TCP stream, or
// the port of the UDP datagrams, each tied to the Wi-Fi network it was set up
// on. Done is offered only while "Use this network" is ticked; a port outside
// 1..65535 is refused and nothing is written.
#include "foundation/dialogs/UIViewControllerWithDialog.h"
#include "foundation/dialogs/global_dialog_window.h"

#include <memory>
#include <string>

class CTCPIPConnection;
class CUDPConnection;

namespace Ui {
class tcp_udp_config;
}

class tcp_udp_config : public UIViewControllerWithDialog
{
    Q_OBJECT

public:
    // The TCP or the UDP connection, the other null.
    tcp_udp_config(CTCPIPConnection* tcp, CUDPConnection* udp, QWidget* parent = nullptr);
    ~tcp_udp_config() override;

    void viewDidLoad();
    void onUseThisNetwork();
    // The Done button.
    void onConnect();
    void onCancel();

private:
    std::unique_ptr<Ui::tcp_udp_config> m_ui;
    bool m_tcp = false;
    bool m_udp = false;
    std::string m_currentNetwork;
};
