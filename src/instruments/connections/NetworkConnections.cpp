#include "instruments/connections/NetworkConnections.h"

#include "foundation/dialogs/DialogCallback.h"
#include "foundation/jobs/ProgressJobs.h"
#include "foundation/notify/StatusLine.h"
#include "foundation/platform/PlatformServices.h"
#include "foundation/util/Folders.h"
#include "foundation/util/FormatString.h"
#include "foundation/web/WebServer.h"
#include "instruments/connections/ConnectionPorts.h"
#include "instruments/connections/ConnectionRegistry.h"
#include "instruments/connections/ConnectionSystemCalls.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

CTCPIPConnection::Persistant gTCPSettings;
CUDPConnection::Persistant gUDPSettings;

constexpr int kTargetConnectMs = 5000;
constexpr int kTargetTotalMs = 15000;

ssize_t ReadStream(void* context, char* buffer, size_t size)
{
    const int fd = *static_cast<int*>(context);
    ssize_t n = ::recv(fd, buffer, size, MSG_DONTWAIT);
    if (n > 0)
        return n;
    if (n == 0)
        return CConnectionReader::kClosed; // the peer closed its end
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return CConnectionReader::kNothing;
    return CConnectionReader::kClosed;
}

ssize_t ReadDatagram(void* context, char* buffer, size_t size)
{
    const int fd = *static_cast<int*>(context);
    ssize_t n = ::recvfrom(fd, buffer, size, MSG_DONTWAIT, nullptr, nullptr);
    // An empty datagram or an error reported for an earlier send ends nothing.
    return n > 0 ? n : CConnectionReader::kNothing;
}

// What opening a TCP or a UDP connection starts with: nothing of the last
// opening is kept, and a connection tied to another network stays closed.
bool BeginNetworkOpen(CDataConnection& connection, CConnectionReader& reader, const std::string& network)
{
    connection.Close();
    reader.Reset();
    if (GetWiFiSSID() != network) {
        connection.m_statusText = "No GPS: wrong network";
        return false;
    }
    return true;
}

struct CTargetFetch
{
    const std::atomic<bool>* cancel;
    CWebProgress progress;
    std::chrono::steady_clock::time_point start;
};

bool TargetFetchContinues(void* arg)
{
    auto* f = static_cast<CTargetFetch*>(arg);
    if (f->cancel->load(std::memory_order_acquire))
        return false;
    if (f->progress.done.load() > CTCPIPConnection::kMaxTargetListBytes ||
        f->progress.total.load() > CTCPIPConnection::kMaxTargetListBytes)
        return false;
    return std::chrono::steady_clock::now() - f->start < std::chrono::milliseconds(kTargetTotalMs);
}

// Waits for a non-blocking connect; false when it failed, was cancelled or took too long.
bool FinishConnect(int fd, const std::atomic<bool>& cancel, int limitMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        if (cancel.load(std::memory_order_acquire))
            return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                .count();
        if (left <= 0)
            return false;
        pollfd p = {fd, POLLOUT, 0};
        int r = ::poll(&p, 1, static_cast<int>(left < 100 ? left : 100));
        if (r < 0 && errno != EINTR)
            return false;
        if (r > 0) {
            int error = 0;
            socklen_t length = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                return false;
            return error == 0;
        }
    }
}

} // namespace

std::string CTCPIPConnection::s_aisDataPort = "39150";
int CTCPIPConnection::s_aisListPort = 39151;
uint32_t CUDPConnection::s_bindAddress = htonl(INADDR_ANY);

void ReportConnectionLost(CDataConnection& connection, int& fd, const char* text)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    connection.m_statusText = text;
    if (GetGPSConnection() == &connection)
        SetStatusMessage(connection.m_statusText);
    Port<IConnectionEvents>().OnReset(connection.m_simulated != 0);
}

void TCPConnectStep(const CTCPConnectParams& params, const std::atomic<bool>& cancel,
                    CTCPConnectResult& result)
{
    result.fd = -1;
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(params.address.c_str(), params.port.c_str(), &hints, &found) != 0 || !found) {
        result.status = "Bad network address";
        return;
    }
    int fd =
        ::socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, found->ai_protocol);
    if (fd < 0) {
        ::freeaddrinfo(found);
        result.status = "Failed to open network socket";
        return;
    }
    int r = ConnectionSystemCalls().connect(fd, found->ai_addr, found->ai_addrlen);
    const bool connected = r == 0 || ((errno == EINPROGRESS || errno == EINTR) &&
                                      FinishConnect(fd, cancel, params.connectLimitMs));
    const int family = found->ai_family;
    ::freeaddrinfo(found);
    if (!connected) {
        ::close(fd);
        result.status = "Failed to connect to network socket";
        return;
    }
    if (params.fetchTargets && !params.targetPath.empty()) {
        std::string host;
        if (family == AF_INET6)
            host.append(1, '[').append(params.address).append(1, ']');
        else
            host = params.address;
        CWebServer server;
        if (server.SetHost(host.c_str(), false, params.targetListPort, true)) {
            CTargetFetch fetch;
            fetch.cancel = &cancel;
            fetch.start = std::chrono::steady_clock::now();
            server.SetTimeouts(kTargetConnectMs, kTargetTotalMs);
            server.SetProgress(&fetch.progress);
            server.SetProgressCallback(&TargetFetchContinues, &fetch);
            result.targetsFetched = server.DownloadFile("/targets/getTargets", params.targetPath.c_str()) &&
                                    fetch.progress.done.load() <= CTCPIPConnection::kMaxTargetListBytes;
        }
    }
    result.status.clear();
    result.fd = fd;
}

// ---- TCP/IP

struct CTCPIPConnection::JobState
{
    CTCPIPConnection* owner = nullptr; // null once the connection is gone
    CTCPConnectParams params;
    CTCPConnectResult result;
};

CTCPIPConnection::Persistant& CTCPIPConnection::Settings()
{
    return gTCPSettings;
}

void CTCPIPConnection::Persistant::Exchange()
{
    ExchangeString("ip_address", ip_address);
    ExchangeString("port", port);
    ExchangeString("network", network);
    ExchangeBool("instant_acquisition", instant_acquisition);
}

CTCPIPConnection::CTCPIPConnection() : CHeartbeat::Counter(1) {}

CTCPIPConnection::~CTCPIPConnection()
{
    Close();
}

void CTCPIPConnection::Configure(QWidget* parent)
{
    Port<IConnectionUi>().OpenTcpUdpConfig(parent, this, nullptr);
}

bool CTCPIPConnection::Open()
{
    const Persistant& s = Settings();
    if (!BeginNetworkOpen(*this, m_reader, s.network))
        return false;
    auto job = std::make_shared<JobState>();
    job->owner = this;
    job->params.address = s.ip_address;
    job->params.port = s.port;
    job->params.targetListPort = s_aisListPort;
    if (s.instant_acquisition && s.port == s_aisDataPort) {
        // A fresh private name: nothing planted beforehand is ever read.
        std::string pattern = GetTempFolder();
        if (!pattern.empty()) {
            pattern += "/targets-XXXXXX";
            int fd = ::mkstemp(pattern.data());
            if (fd >= 0) {
                ::close(fd);
                m_targetPath = pattern;
                job->params.fetchTargets = true;
                job->params.targetPath = pattern;
            }
        }
    }
    m_job = job;
    m_statusText.clear();
    CCallback storage;
    PushProgressCallback(storage, CCallback([job](int32_t code) {
                             if (CTCPIPConnection* owner = job->owner) {
                                 owner->Complete(*job);
                             } else {
                                 // Closed while connecting: nothing of the job is kept.
                                 if (job->result.fd >= 0)
                                     ::close(job->result.fd);
                                 if (!job->params.targetPath.empty())
                                     ::unlink(job->params.targetPath.c_str());
                             }
                             return code;
                         }));
    RunWithProgressDialog(
        GetConnectionDialogParent(), "Opening TCP/IP Connection...",
        [job](CProgressDialogData& data) { TCPConnectStep(job->params, data.CancelFlag(), job->result); });
    RunDialogCallbacksUntil(storage);
    return true;
}

void CTCPIPConnection::Complete(JobState& state)
{
    if (m_job.get() == &state)
        m_job.reset();
    m_statusText = state.result.status;
    m_fd = state.result.fd;
    state.result.fd = -1;
    state.owner = nullptr;
    if (!m_targetPath.empty()) {
        if (state.result.targetsFetched && m_fd >= 0)
            Port<IConnectionEvents>().ImportTargetList(m_targetPath);
        ::unlink(m_targetPath.c_str());
        m_targetPath.clear();
    }
    if (!m_statusText.empty() && GetGPSConnection() == this)
        SetStatusMessage(m_statusText);
}

void CTCPIPConnection::Close()
{
    if (m_job) {
        // The job finishes on its own; its result is dropped.
        m_job->owner = nullptr;
        m_job.reset();
    }
    if (!m_targetPath.empty()) {
        ::unlink(m_targetPath.c_str());
        m_targetPath.clear();
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool CTCPIPConnection::Write(const char* text)
{
    if (m_fd < 0 || !text)
        return false;
    const size_t length = std::strlen(text);
    if (length == 0)
        return false;
    WriteNMEACapture(text);
    // A closed peer must never raise SIGPIPE.
    ssize_t n = ::send(m_fd, text, length, MSG_NOSIGNAL | MSG_DONTWAIT);
    return n > 0;
}

void CTCPIPConnection::OnTick()
{
    if (m_fd < 0)
        return;
    if (m_reader.Tick(this, &ReadStream, &m_fd) == CConnectionReader::Outcome::Closed)
        ReportConnectionLost(*this, m_fd, "Connection closed");
}

// ---- UDP

CUDPConnection::Persistant& CUDPConnection::Settings()
{
    return gUDPSettings;
}

void CUDPConnection::Persistant::Exchange()
{
    uint32_t value = static_cast<uint32_t>(port);
    ExchangeHex("port", value);
    port = static_cast<int32_t>(value);
    ExchangeString("network", network);
}

CUDPConnection::CUDPConnection() : CHeartbeat::Counter(1) {}

CUDPConnection::~CUDPConnection()
{
    Close();
}

void CUDPConnection::Configure(QWidget* parent)
{
    Port<IConnectionUi>().OpenTcpUdpConfig(parent, nullptr, this);
}

bool CUDPConnection::Open()
{
    const Persistant& s = Settings();
    if (!BeginNetworkOpen(*this, m_reader, s.network))
        return false;
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        m_statusText = "Failed to open network socket";
        return false;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    // Address reuse only: port reuse would share unicast datagrams with other programs.
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = s_bindAddress;
    address.sin_port = htons(static_cast<uint16_t>(s.port));
    if (s.port < 1 || s.port > 65535 ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        m_statusText.clear();
        FormatString(m_statusText, "Failed to bind UDP port %d", s.port);
        return false;
    }
    m_statusText.clear();
    m_fd = fd;
    return true;
}

void CUDPConnection::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void CUDPConnection::OnTick()
{
    if (m_fd >= 0)
        m_reader.Tick(this, &ReadDatagram, &m_fd);
}
