// The serial connection over pseudo-terminal pairs: the opener thread, the
// terminal settings it leaves, lines in and sentences out, a vanished device,
// the failures of opening, and the port list of a fake sysfs tree.
// TESSA_TSAN_LABEL: the device is opened on a thread of its own.
#include "foundation/settings/PersistantData.h"
#include "instruments/connections/ConnectionRegistry.h"
#include "instruments/connections/SerialConnection.h"
#include "support/ConnectionDoubles.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using tessatest::ScopedConnectionCalls;

void WaitForOpeners()
{
    for (int i = 0; i < 2000 && CSerialConnection::OpenersRunning() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// Ticks until the opener finished and its result was taken.
void TickUntilOpened(CSerialConnection& c)
{
    WaitForOpeners();
    c.OnTick();
}

int OpenDescriptors()
{
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (::readdir(d))
            ++n;
        ::closedir(d);
    }
    return n;
}

class SerialTest : public ::testing::Test
{
protected:
    void TearDown() override { WaitForOpeners(); }
    ScopedConnectionCalls m_calls;
};

} // namespace

TEST_F(SerialTest, SpeedsAreCheckedAgainstTheTable)
{
    CSerialConnection c;
    for (uint32_t speed : {1800u, 2400u, 4800u, 9600u, 19200u, 38400u}) {
        EXPECT_TRUE(c.SetPort("/dev/ttyX", speed));
        EXPECT_EQ(c.Speed(), speed);
    }
    for (uint32_t speed : {0u, 300u, 57600u, 115200u}) {
        SCOPED_TRACE(speed);
        EXPECT_FALSE(c.SetPort("/dev/ttyX", speed));
        EXPECT_EQ(c.Device(), "");
        EXPECT_EQ(c.Speed(), 0u);
    }
}

TEST_F(SerialTest, LinesInSentencesOutRawModeAndDisconnection)
{
    tessatest::PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    CSerialConnection c;
    ASSERT_TRUE(c.SetPort(pty.SlavePath(), 4800));
    ASSERT_TRUE(c.Open());
    EXPECT_EQ(c.m_deviceName, pty.SlavePath());
    TickUntilOpened(c);
    ASSERT_GE(c.Descriptor(), 0) << c.m_statusText;
    EXPECT_EQ(c.m_statusText, "");

    // The terminal as the opener left it.
    termios tty;
    ASSERT_EQ(::tcgetattr(c.Descriptor(), &tty), 0);
    EXPECT_EQ(::cfgetispeed(&tty), static_cast<speed_t>(B4800));
    EXPECT_EQ(::cfgetospeed(&tty), static_cast<speed_t>(B4800));
    EXPECT_EQ(tty.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tty.c_cflag & (CRTSCTS | PARENB | CSTOPB), 0u);
    EXPECT_EQ(tty.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tty.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(tty.c_oflag & OPOST, 0u);

    c.StopRawRecords();
    tessatest::RawLineRecorder received;
    const std::string a = tessatest::WithChecksum("GPZDA,120000,01,01,2024,,");
    ASSERT_TRUE(pty.Send(a + "\r\n" + a + "\r\n"));
    for (int i = 0; i < 200 && received.lines.size() < 2; ++i) {
        c.OnTick();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(received.lines, (std::vector<std::string>{a + "\r\n", a + "\r\n"}));

    const std::string rmb = tessatest::WithChecksum("ECRMB,A,0.00,L,,,,,,,,,,A") + "\r\n";
    EXPECT_TRUE(c.Write(rmb.c_str()));
    EXPECT_EQ(pty.Receive(), rmb);

    // The device goes away.
    pty.CloseMaster();
    for (int i = 0; i < 200 && c.Descriptor() >= 0; ++i) {
        c.OnTick();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(c.Descriptor(), -1);
    EXPECT_EQ(c.m_statusText, "Serial port disconnected");
    EXPECT_FALSE(c.Write(rmb.c_str()));
}

TEST_F(SerialTest, OpenFailuresThroughTheSeam)
{
    tessatest::PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    const std::string path = pty.SlavePath();
    struct Case
    {
        const char* name;
        std::atomic<int>* fail;
        int error;
        std::string status;
        bool open;
    };
    const Case cases[] = {
        {"read-only fallback", &ScopedConnectionCalls::failOpenReadWrite, EACCES,
         "Opened " + path + " read-only", true},
        {"no device", &ScopedConnectionCalls::failOpenAll, ENOENT,
         "Open serial port " + path + ", Failed, errno: " + std::to_string(ENOENT), false},
        {"not a terminal", &ScopedConnectionCalls::failGetAttr, ENOTTY,
         "tcgetattr failed to fetch TTY state. errno: " + std::to_string(ENOTTY), false},
        {"settings refused", &ScopedConnectionCalls::failSetAttr, EINVAL,
         "tcsetattr failed to set TTY state. errno: " + std::to_string(EINVAL), false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const int before = OpenDescriptors();
        k.fail->store(k.error);
        {
            CSerialConnection c;
            ASSERT_TRUE(c.SetPort(path, 9600));
            ASSERT_TRUE(c.Open());
            TickUntilOpened(c);
            EXPECT_EQ(c.m_statusText, k.status);
            EXPECT_EQ(c.Descriptor() >= 0, k.open);
            if (k.open) {
                // Read-only: sentences cannot go out.
                EXPECT_FALSE(c.Write("$ECRMB*00\r\n"));
            }
        }
        k.fail->store(0);
        EXPECT_EQ(OpenDescriptors(), before) << "no descriptor left behind";
    }
}

TEST_F(SerialTest, ClosingWhileTheOpenerRunsAbandonsItsDescriptor)
{
    tessatest::PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    const int before = OpenDescriptors();
    ScopedConnectionCalls::holdOpen = true;
    auto* c = new CSerialConnection;
    ASSERT_TRUE(c->SetPort(pty.SlavePath(), 4800));
    ASSERT_TRUE(c->Open());
    for (int i = 0; i < 2000 && ScopedConnectionCalls::opensStarted.load() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // The user picks another type: the connection is closed and deleted
    // while its opener still waits for the device.
    c->Close();
    delete c;
    ScopedConnectionCalls::holdOpen = false;
    WaitForOpeners();
    EXPECT_EQ(CSerialConnection::OpenersRunning(), 0);
    EXPECT_EQ(OpenDescriptors(), before);

    // Reopening the same connection while the first opener runs: only the
    // second opener's descriptor is used.
    CSerialConnection d;
    ASSERT_TRUE(d.SetPort(pty.SlavePath(), 4800));
    ScopedConnectionCalls::holdOpen = true;
    ASSERT_TRUE(d.Open());
    ASSERT_TRUE(d.Open());
    ScopedConnectionCalls::holdOpen = false;
    TickUntilOpened(d);
    EXPECT_GE(d.Descriptor(), 0);
    EXPECT_EQ(OpenDescriptors(), before + 1);
}

TEST_F(SerialTest, PortListFromTheTtyTree)
{
    const std::string root = tessatest::MakeScratchDir("serial_sysfs");
    tessatest::FakeSysfs fs(root);
    fs.AddTty("ttyUSB0", true, "usb-Prolific_USB-Serial-if00-port0");
    fs.AddTty("ttyS0", true);
    fs.AddTty("tty1", false);
    fs.AddTty("ttyACM1", true, "usb-u-blox_GNSS_receiver-if00");
    std::vector<CSerialPortEntry> ports = ListSerialPorts(fs.sysClassTty, fs.dev, fs.byId);
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].path, fs.dev + "/ttyACM1");
    EXPECT_EQ(ports[0].title, "usb-u-blox_GNSS_receiver-if00");
    EXPECT_EQ(ports[1].path, fs.dev + "/ttyS0");
    EXPECT_EQ(ports[1].title, "ttyS0");
    EXPECT_EQ(ports[2].path, fs.dev + "/ttyUSB0");
    EXPECT_EQ(ports[2].title, "usb-Prolific_USB-Serial-if00-port0");
    EXPECT_TRUE(ListSerialPorts(root + "/absent", fs.dev, fs.byId).empty());
}

TEST_F(SerialTest, DialogChoiceStoresPortAndSpeed)
{
    const std::string dir = tessatest::MakeScratchDir("serial_dialog");
    PersistantData::SetIniPaths(dir + "/t.ini", dir + "/t2.ini");
    PersistantData::LoadAll("t");
    const std::vector<CSerialPortEntry> ports = {{"/dev/ttyS0", "ttyS0"}, {"/dev/ttyUSB0", "usb-x"}};
    struct Case
    {
        int port;
        std::string typed;
        int speed;
        int32_t code;
        std::string dev;
        int32_t baud;
    };
    const Case cases[] = {
        {1, "", 1, 0, "/dev/ttyUSB0", 9600},
        {7, "", 3, 0, "/dev/ttyS0", 38400},
        {-1, "", 9, 0, "/dev/ttyS0", 4800},
        {0, "/dev/pts/9", 2, 0, "/dev/pts/9", 19200},
    };
    for (const Case& k : cases) {
        ConnectionMacSerialPort c;
        EXPECT_EQ(c.ApplyDialogChoice(ports, k.port, k.typed, k.speed), k.code);
        EXPECT_EQ(ConnectionMacSerialPort::Settings().dev, k.dev);
        EXPECT_EQ(ConnectionMacSerialPort::Settings().baud, k.baud);
        ConnectionMacSerialPort again; // made from the stored settings
        EXPECT_EQ(again.Device(), k.dev);
        EXPECT_EQ(again.Speed(), static_cast<uint32_t>(k.baud));
    }
    ConnectionMacSerialPort c;
    EXPECT_EQ(c.ApplyDialogChoice({}, 0, "", 0), -1) << "nothing to open";
    // A stored speed outside the table leaves the port empty.
    ConnectionMacSerialPort::Settings().baud = 57600;
    ConnectionMacSerialPort refused;
    EXPECT_EQ(refused.Device(), "");
    PersistantData::SetIniPaths("", "");
}
