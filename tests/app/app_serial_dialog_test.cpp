// The serial-port dialog over a fake tty tree, and the serial type chosen
// from the menu: the dialog's answer decides whether the type is stored.
#include "app/dialogs/mac_serial_port.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/ConnectionDialogs.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/settings/PersistantData.h"
#include "instruments/connections/ConnectionRegistry.h"
#include "support/ConnectionDoubles.h"
#include "support/TestPaths.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QPointer>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace {

class SerialDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dialogs.Attach(&m_app);
        InstallPort<IConnectionUi>(&m_dialogs);
        m_dir = tessatest::MakeScratchDir("serial_dialog_app");
        PersistantData::SetIniPaths(m_dir + "/t.ini", m_dir + "/t2.ini");
        PersistantData::LoadAll("t");
        ClearPendingCallbacksForTesting();
        m_fs = std::make_unique<tessatest::FakeSysfs>(m_dir);
        m_fs->AddTty("ttyS0", true);
        m_fs->AddTty("ttyUSB0", true, "usb-GPS-if00");
        ConnectionMacSerialPort::Settings().dev = m_fs->dev + "/ttyUSB0";
        ConnectionMacSerialPort::Settings().baud = 19200;
    }
    void TearDown() override
    {
        StopGPSConnection();
        for (int i = 0; i < 2000 && CSerialConnection::OpenersRunning() > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        QApplication::processEvents();
        InstallPort<IConnectionUi>(nullptr);
    }
    // The dialog as the connection opens it, with the fake tree's ports.
    mac_serial_port* OpenDialog(ConnectionMacSerialPort* connection, int32_t* code)
    {
        CCallback storage;
        PushProgressCallback(storage, CCallback([code](int32_t c) {
                                 *code = c;
                                 return c;
                             }));
        auto* dialog = new mac_serial_port(connection, nullptr, m_fs->sysClassTty, m_fs->dev, m_fs->byId);
        dialog->showInParent(nullptr);
        RunDialogCallbacksUntil(storage);
        return dialog;
    }
    // Ends after the application, whose end saves the settings: into this
    // test's files, not the user's data folder.
    struct EndAfterApp
    {
        ~EndAfterApp() { PersistantData::SetIniPaths("", ""); }
    } m_endAfterApp;
    // The application's connection dialogs, of an application never started.
    AppDelegate m_app;
    CConnectionDialogs m_dialogs;
    std::string m_dir;
    std::unique_ptr<tessatest::FakeSysfs> m_fs;
};

} // namespace

TEST_F(SerialDialogTest, ListsPortsSelectsTheSavedOneAndStoresTheChoice)
{
    CDataConnection::Settings().gps_connection_type = kConnectionSerial;
    OpenSavedGPSConnection();
    auto* connection = static_cast<ConnectionMacSerialPort*>(GetGPSConnection());
    ASSERT_NE(connection, nullptr);

    struct Case
    {
        const char* name;
        int port;          // -1 keeps the selection
        const char* typed; // null: none
        int speed;
        bool cancel;
        int32_t code;
        std::string dev;
        int32_t baud;
    };
    const Case cases[] = {
        {"saved port kept, speed changed", -1, nullptr, 3, false, 0, m_fs->dev + "/ttyUSB0", 38400},
        {"another listed port", 0, nullptr, 0, false, 0, m_fs->dev + "/ttyS0", 4800},
        {"a typed path", -1, "/dev/pts/77", 1, false, 0, "/dev/pts/77", 9600},
        {"cancel stores nothing", 1, nullptr, 2, true, -1, "/dev/pts/77", 9600},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        int32_t code = 99;
        QPointer<mac_serial_port> dialog = OpenDialog(connection, &code);
        if (std::string(k.name) == "saved port kept, speed changed") {
            ASSERT_EQ(dialog->PortBox()->count(), 2);
            // Its window leaves the title bar room for the title and the application's name.
            const QString title = dialog->windowTitle() + " - " + QApplication::applicationDisplayName();
            EXPECT_GT(dialog->window()->width(), QFontMetrics(dialog->font()).horizontalAdvance(title));
            EXPECT_EQ(dialog->PortBox()->currentText(), "usb-GPS-if00");
            EXPECT_EQ(dialog->SpeedBox()->currentText(), "19200");
        }
        if (k.port >= 0)
            dialog->PortBox()->setCurrentIndex(k.port);
        if (k.typed)
            dialog->PortBox()->setEditText(k.typed);
        dialog->SpeedBox()->setCurrentIndex(k.speed);
        if (k.cancel)
            dialog->onCancel();
        else
            dialog->onDone();
        EXPECT_EQ(code, k.code);
        EXPECT_EQ(ConnectionMacSerialPort::Settings().dev, k.dev);
        EXPECT_EQ(ConnectionMacSerialPort::Settings().baud, k.baud);
        QApplication::processEvents();
    }
}

TEST_F(SerialDialogTest, ChosenFromTheMenuTheDialogDecidesTheSavedType)
{
    for (bool confirm : {false, true}) {
        SCOPED_TRACE(confirm);
        CDataConnection::Settings().gps_connection_type = kConnectionNone;
        on_select_connection_type(*CConnectionType::Find(kConnectionSerial));
        // The dialog the connection opened through the application's port.
        mac_serial_port* dialog = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = w->findChild<mac_serial_port*>(); d && !d->isDialogEnded())
                dialog = d;
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(CDataConnection::Settings().gps_connection_type, 0);
        dialog->PortBox()->setEditText((m_dir + "/absent-tty").c_str());
        if (confirm)
            dialog->onDone();
        else
            dialog->onCancel();
        EXPECT_EQ(CDataConnection::Settings().gps_connection_type,
                  confirm ? kConnectionSerial : kConnectionNone);
        QApplication::processEvents();
    }
}
