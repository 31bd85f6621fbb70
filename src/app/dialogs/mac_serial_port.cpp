#include "app/dialogs/mac_serial_port.h"

#include "instruments/connections/ConnectionRegistry.h"
#include "ui_ConnectionMacSerialPort.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QPushButton>
#include <algorithm>

namespace {

// Room for the window manager's buttons and margins in a title bar.
constexpr int kTitleBarRoom = 160;

} // namespace

mac_serial_port::mac_serial_port(ConnectionMacSerialPort* connection, QWidget* parent,
                                 const std::string& sysClassTty, const std::string& devFolder,
                                 const std::string& byIdFolder)
    : UIViewControllerWithDialog(parent), m_ui(std::make_unique<Ui::mac_serial_port>()),
      m_connection(connection)
{
    m_ui->setupUi(this);
    const ConnectionMacSerialPort::Persistant& saved = ConnectionMacSerialPort::Settings();
    m_ports = ListSerialPorts(sysClassTty, devFolder, byIdFolder);
    int selected = -1;
    for (size_t i = 0; i < m_ports.size(); ++i) {
        m_ui->port->addItem(QString::fromStdString(m_ports[i].title),
                            QString::fromStdString(m_ports[i].path));
        if (m_ports[i].path == saved.dev)
            selected = static_cast<int>(i);
    }
    if (selected >= 0)
        m_ui->port->setCurrentIndex(selected);
    else if (!saved.dev.empty())
        m_ui->port->setEditText(QString::fromStdString(saved.dev)); // a path typed earlier
    int speed = 0;
    for (int i = 0; i < 4; ++i)
        if (static_cast<int32_t>(ConnectionMacSerialPort::kDialogSpeeds[i]) == saved.baud)
            speed = i;
    m_ui->speed->setCurrentIndex(speed);
    connect(m_ui->done, &QPushButton::clicked, this, &mac_serial_port::onDone);
    connect(m_ui->cancel, &QPushButton::clicked, this, &mac_serial_port::onCancel);
    // In a window of its own the title bar shows the title and the
    // application's name; a window narrower than both has them cut.
    QFont bold = font();
    bold.setBold(true);
    const QString title =
        windowTitle() + QString::fromUtf8(" \u2014 ") + QApplication::applicationDisplayName();
    setMinimumWidth(std::max(minimumWidth(), QFontMetrics(bold).horizontalAdvance(title) + kTitleBarRoom));
}

mac_serial_port::~mac_serial_port() = default;

QComboBox* mac_serial_port::PortBox() const
{
    return m_ui->port;
}

QComboBox* mac_serial_port::SpeedBox() const
{
    return m_ui->speed;
}

void mac_serial_port::onDone()
{
    if (isDialogEnded())
        return;
    // The connection may have been replaced while the dialog was open.
    if (GetGPSConnection() != m_connection) {
        destroyDialog(-1);
        return;
    }
    const int index = m_ui->port->currentIndex();
    std::string typed = m_ui->port->currentText().trimmed().toStdString();
    // A listed port shows its title; only a text of its own is a typed path.
    if (index >= 0 && index < static_cast<int>(m_ports.size()) &&
        typed == m_ports[static_cast<size_t>(index)].title)
        typed.clear();
    destroyDialog(m_connection->ApplyDialogChoice(m_ports, index, typed, m_ui->speed->currentIndex()));
}

void mac_serial_port::onCancel()
{
    if (!isDialogEnded())
        destroyDialog(-1);
}
