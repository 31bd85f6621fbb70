#pragma once
// Doubles for the data connections: pseudo-terminal pairs, a loopback TCP
// peer, a UDP sender, a connection that records what is written to it, a
// fake /sys/class/tty tree, and the test form of the connections' system
// calls (connects off 127.0.0.1 always fail; opens and terminal calls fail
// on request, since the tests run as root).
#include "instruments/DataConnection.h"
#include "instruments/connections/ConnectionPorts.h"
#include "instruments/connections/ConnectionSystemCalls.h"

#include <atomic>
#include <cerrno>
#include <functional>
#include <string>
#include <vector>

namespace tessatest {

// "$" + body + "*HH": a sentence with a valid checksum.
std::string WithChecksum(const std::string& body);

// Every raw record published, as text.
struct RawLineRecorder : Listener<CNMEA_Raw>
{
    void Notify(const CNMEA_Raw& r) override { lines.emplace_back(r.text); }
    std::vector<std::string> lines;
};

// A pseudo-terminal: the test writes the instrument's bytes to the master,
// the connection opens the slave's path.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool IsOpen() const { return m_master >= 0; }
    const std::string& SlavePath() const { return m_slavePath; }
    bool Send(const std::string& bytes);
    // What arrived at the master within `waitMs`.
    std::string Receive(int waitMs = 200);
    void CloseMaster();

private:
    int m_master = -1;
    int m_slave = -1; // kept open so the master never sees a hang-up first
    std::string m_slavePath;
};

// A TCP peer on 127.0.0.1 with a port the system picks; it accepts one
// connection and sends scripted bytes.
class LoopbackTcpPeer
{
public:
    // `backlogFull` leaves the accept queue full, so further connects never complete.
    explicit LoopbackTcpPeer(bool backlogFull = false);
    ~LoopbackTcpPeer();
    LoopbackTcpPeer(const LoopbackTcpPeer&) = delete;
    LoopbackTcpPeer& operator=(const LoopbackTcpPeer&) = delete;

    int Port() const { return m_port; }
    std::string PortText() const { return std::to_string(m_port); }
    // Waits up to `waitMs` for the connection.
    bool Accept(int waitMs = 2000);
    bool Send(const std::string& bytes);
    std::string Receive(int waitMs = 200);
    void CloseConnection();

private:
    int m_listen = -1;
    int m_conn = -1;
    int m_port = 0;
    std::vector<int> m_fillers;
};

// Sends datagrams to 127.0.0.1.
class UdpSender
{
public:
    UdpSender();
    ~UdpSender();
    UdpSender(const UdpSender&) = delete;
    UdpSender& operator=(const UdpSender&) = delete;
    bool Send(int port, const std::string& bytes);

private:
    int m_fd = -1;
};

// A UDP port on 127.0.0.1 that nothing holds right now.
int FreeUdpPort();

// Records every text written to it.
class RecordingConnection : public CDataConnection
{
public:
    bool Open() override { return true; }
    bool Write(const char* text) override
    {
        written.emplace_back(text);
        return true;
    }
    std::vector<std::string> written;
};

// A fake /sys/class/tty with its /dev and /dev/serial/by-id beside it.
struct FakeSysfs
{
    explicit FakeSysfs(const std::string& root);
    // A tty; with a driver it is a real port. `byId` names a by-id link to it.
    void AddTty(const std::string& name, bool withDriver, const std::string& byId = "");

    std::string root;
    std::string sysClassTty;
    std::string dev;
    std::string byId;
};

// Counts what the connections tell the layers above; installed for its lifetime.
struct RecordingConnectionEvents : IConnectionEvents
{
    RecordingConnectionEvents() { InstallPort<IConnectionEvents>(this); }
    ~RecordingConnectionEvents() override { InstallPort<IConnectionEvents>(nullptr); }
    RecordingConnectionEvents(const RecordingConnectionEvents&) = delete;
    RecordingConnectionEvents& operator=(const RecordingConnectionEvents&) = delete;

    void OnReset(bool simulation) override
    {
        ++resets;
        simulationResets += simulation;
    }
    void BeginSimulationTrack() override { ++trackBegun; }
    void EndSimulationTrack() override { ++trackEnded; }
    void ImportTargetList(const std::string& path) override
    {
        if (onImport)
            onImport(path);
    }

    int resets = 0;
    int simulationResets = 0;
    int trackBegun = 0;
    int trackEnded = 0;
    std::function<void(const std::string&)> onImport;
};

// Installs the test form of the system calls for its lifetime.
class ScopedConnectionCalls
{
public:
    ScopedConnectionCalls();
    ~ScopedConnectionCalls();
    ScopedConnectionCalls(const ScopedConnectionCalls&) = delete;
    ScopedConnectionCalls& operator=(const ScopedConnectionCalls&) = delete;

    // errno values the next calls fail with; 0 lets them through.
    static std::atomic<int> failOpenReadWrite;
    static std::atomic<int> failOpenAll;
    static std::atomic<int> failGetAttr;
    static std::atomic<int> failSetAttr;
    // While set, opens wait until it is cleared.
    static std::atomic<bool> holdOpen;
    static std::atomic<int> opensStarted;
};

} // namespace tessatest
