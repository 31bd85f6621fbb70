#include "app/dialogs/tcp_udp_config.h"

#include "app/settings/SettingsText.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/platform/PlatformServices.h"
#include "foundation/settings/PersistantData.h"
#include "instruments/connections/NetworkConnections.h"
#include "ui_tcp_udp_config.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

tcp_udp_config::tcp_udp_config(CTCPIPConnection* tcp, CUDPConnection* udp, QWidget* parent)
    : UIViewControllerWithDialog(parent), m_ui(std::make_unique<Ui::tcp_udp_config>()), m_tcp(tcp != nullptr),
      m_udp(tcp == nullptr && udp != nullptr), m_currentNetwork(GetWiFiSSID())
{
    m_ui->setupUi(this);
    connect(m_ui->done, &QPushButton::clicked, this, &tcp_udp_config::onConnect);
    connect(m_ui->cancel, &QPushButton::clicked, this, &tcp_udp_config::onCancel);
    connect(m_ui->use_this_network, &QCheckBox::toggled, this, &tcp_udp_config::onUseThisNetwork);
    viewDidLoad();
}

tcp_udp_config::~tcp_udp_config() = default;

void tcp_udp_config::viewDidLoad()
{
    std::string configured;
    if (m_tcp) {
        const CTCPIPConnection::Persistant& s = CTCPIPConnection::Settings();
        m_ui->port->setText(QString::fromStdString(s.port));
        m_ui->ipaddress->setText(QString::fromStdString(s.ip_address));
        configured = s.network;
    } else {
        const CUDPConnection::Persistant& s = CUDPConnection::Settings();
        m_ui->port->setText(QString::number(s.port));
        m_ui->ipaddress->hide();
        m_ui->lab_ipaddress->hide();
        configured = s.network;
    }
    m_ui->dlg_title->setText("TCP Setup");
    m_ui->network->setText(QString::fromStdString(m_currentNetwork));
    m_ui->use_this_network->setChecked(configured.empty() || configured == m_currentNetwork);
    onUseThisNetwork();
}

void tcp_udp_config::onUseThisNetwork()
{
    m_ui->done->setEnabled(m_ui->use_this_network->isChecked());
}

void tcp_udp_config::onConnect()
{
    if (isDialogEnded() || !m_ui->use_this_network->isChecked())
        return;
    int port = 0;
    if (!NSettingsText::ParsePort(m_ui->port->text().toStdString(), port)) {
        ShowOKMessage(this, "The port must be a number from 1 to 65535.", "TCP Setup");
        m_ui->port->setFocus();
        return;
    }
    if (m_tcp) {
        CTCPIPConnection::Persistant& s = CTCPIPConnection::Settings();
        s.port = std::to_string(port);
        s.ip_address = m_ui->ipaddress->text().trimmed().toStdString();
        s.network = m_currentNetwork;
        s.SetModified();
    } else if (m_udp) {
        CUDPConnection::Persistant& s = CUDPConnection::Settings();
        s.port = port;
        s.network = m_currentNetwork;
        s.SetModified();
    }
    PersistantData::SaveAll();
    destroyDialog(0);
}

void tcp_udp_config::onCancel()
{
    if (!isDialogEnded())
        destroyDialog(-1);
}
