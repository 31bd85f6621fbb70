#pragma once
// Network NMEA sources: a TCP/IP stream (by default an instrument gateway,
// from which the AIS device's target list is also fetched once after
// connecting) and UDP datagrams (broadcast sentences).
#include "foundation/events/Heartbeat.h"
#include "instruments/DataConnection.h"
#include "instruments/connections/ConnectionReader.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

// What the connect step needs; copied so that the job thread owns its inputs.
struct CTCPConnectParams
{
    std::string address;
    std::string port;
    bool fetchTargets = false; // the AIS device's target list after connecting
    std::string targetPath;
    int targetListPort = 39151;
    int connectLimitMs = 15000;
};

struct CTCPConnectResult
{
    std::string status;
    int fd = -1;
    bool targetsFetched = false;
};

// Resolves, connects without blocking (polled against `cancel` in 100 ms
// slices), and fetches the target list. Runs on the job's thread.
void TCPConnectStep(const CTCPConnectParams& params, const std::atomic<bool>& cancel,
                    CTCPConnectResult& result);

class CTCPIPConnection : public CDataConnection, CHeartbeat::Counter
{
public:
    // The AIS device's data port and the HTTP port of its target list.
    static std::string s_aisDataPort;
    static int s_aisListPort;
    static constexpr int64_t kMaxTargetListBytes = 8 << 20;

    CTCPIPConnection();
    ~CTCPIPConnection() override;

    void Configure(QWidget* parent) override;
    bool Open() override;
    void Close() override;
    bool Write(const char* text) override;
    void OnTick() override;

    class Persistant : public PersistantData
    {
    public:
        Persistant() : PersistantData("CTCPIPConnection") {}
        void Exchange() override;
        std::string ip_address = "192.168.15.1";
        std::string port = "39150";
        std::string network;
        bool instant_acquisition = false;
    };
    static Persistant& Settings();

    int Descriptor() const { return m_fd; }
    const CConnectionReader& Reader() const { return m_reader; }
    const std::string& TargetListPath() const { return m_targetPath; }

private:
    struct JobState;
    void Complete(JobState& state);

    int m_fd = -1;
    CConnectionReader m_reader{CConnectionReader::Kind::Stream};
    std::string m_targetPath;
    std::shared_ptr<JobState> m_job;
};

class CUDPConnection : public CDataConnection, CHeartbeat::Counter
{
public:
    // The address the socket binds to, in network order (any address).
    static uint32_t s_bindAddress;

    CUDPConnection();
    ~CUDPConnection() override;

    void Configure(QWidget* parent) override;
    bool Open() override;
    void Close() override;
    void OnTick() override;

    class Persistant : public PersistantData
    {
    public:
        Persistant() : PersistantData("CUDPConnection") {}
        void Exchange() override;
        int32_t port = 2000;
        std::string network;
    };
    static Persistant& Settings();

    int Descriptor() const { return m_fd; }
    const CConnectionReader& Reader() const { return m_reader; }

private:
    int m_fd = -1;
    CConnectionReader m_reader{CConnectionReader::Kind::Datagram};
};

// A connection whose peer or device went away: descriptor closed, the reason
// in the status text and on the status line.
void ReportConnectionLost(CDataConnection& connection, int& fd, const char* text);
