#pragma once
// A serial port (a GPS receiver or an NMEA multiplexer) over termios. The
// device is opened and set up on a thread of its own, so a slow or absent
// device never holds the main thread; the ticks read it once it is ready.
#include "foundation/events/Heartbeat.h"
#include "instruments/DataConnection.h"
#include "instruments/connections/ConnectionReader.h"

#include <memory>
#include <string>
#include <vector>

class CSerialConnection : public CDataConnection, CHeartbeat::Counter
{
public:
    static constexpr uint32_t kSpeeds[] = {1800, 2400, 4800, 9600, 19200, 38400};

    CSerialConnection();
    ~CSerialConnection() override;

    // Clears the port, then stores both when the speed is one of kSpeeds.
    bool SetPort(const std::string& device, uint32_t speed);
    const std::string& Device() const { return m_device; }
    uint32_t Speed() const { return m_speed; }

    bool Open() override;
    void Close() override;
    bool Write(const char* text) override;
    void OnTick() override;

    int Descriptor() const { return m_fd; }
    const CConnectionReader& Reader() const { return m_reader; }
    // Opener threads still running (tests wait for them to end).
    static int OpenersRunning();

    struct OpenState; // shared with the opener thread

private:
    void TakeOpenerResult();

    std::string m_device;
    uint32_t m_speed = 0;
    int m_fd = -1;
    CConnectionReader m_reader{CConnectionReader::Kind::Serial};
    std::shared_ptr<OpenState> m_opener;
};

// One serial device of the system: its path and the title shown for it.
struct CSerialPortEntry
{
    std::string path;
    std::string title;
};

// The tty devices that have a driver under `sysClassTty`, titled by their
// names in `byIdFolder` where one points at them, in name order.
std::vector<CSerialPortEntry> ListSerialPorts(const std::string& sysClassTty = "/sys/class/tty",
                                              const std::string& devFolder = "/dev",
                                              const std::string& byIdFolder = "/dev/serial/by-id");

class ConnectionMacSerialPort : public CSerialConnection
{
public:
    // The speeds the set-up dialog offers.
    static constexpr uint32_t kDialogSpeeds[4] = {4800, 9600, 19200, 38400};

    ConnectionMacSerialPort();
    void Configure(QWidget* parent) override;

    // The dialog's "Done": the chosen port (a typed path wins over the list)
    // and speed. Returns the dialog's code: 0 stored, -1 refused.
    int32_t ApplyDialogChoice(const std::vector<CSerialPortEntry>& ports, int portIndex,
                              const std::string& typedPath, int speedIndex);

    class Persistant : public PersistantData
    {
    public:
        Persistant() : PersistantData("ConnectionMacSerialPort") {}
        void Exchange() override;
        std::string dev;
        int32_t baud = 0;
    };
    static Persistant& Settings();
};
