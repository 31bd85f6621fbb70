#include "ConnectionDoubles.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tessatest {

namespace {

std::string ReceiveFrom(int fd, int waitMs)
{
    std::string out;
    if (fd < 0)
        return out;
    pollfd p = {fd, POLLIN, 0};
    while (::poll(&p, 1, waitMs) > 0 && (p.revents & POLLIN)) {
        char buffer[4096];
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        out.append(buffer, static_cast<size_t>(n));
        waitMs = 20;
    }
    return out;
}

bool SendAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

sockaddr_in Loopback(int port)
{
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    return a;
}

int TestOpen(const char* path, int flags)
{
    ++ScopedConnectionCalls::opensStarted;
    while (ScopedConnectionCalls::holdOpen.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (int e = ScopedConnectionCalls::failOpenAll.load()) {
        errno = e;
        return -1;
    }
    if ((flags & O_ACCMODE) == O_RDWR) {
        if (int e = ScopedConnectionCalls::failOpenReadWrite.load()) {
            errno = e;
            return -1;
        }
    }
    return RealConnectionSystemCalls().open(path, flags);
}

int TestConnect(int fd, const sockaddr* address, socklen_t length)
{
    // Tests never reach past this machine's loopback address.
    if (address->sa_family != AF_INET || length < sizeof(sockaddr_in) ||
        reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr != htonl(INADDR_LOOPBACK)) {
        errno = ENETUNREACH;
        return -1;
    }
    return RealConnectionSystemCalls().connect(fd, address, length);
}

int TestGetAttr(int fd, termios* settings)
{
    if (int e = ScopedConnectionCalls::failGetAttr.load()) {
        errno = e;
        return -1;
    }
    return RealConnectionSystemCalls().tcgetattr(fd, settings);
}

int TestSetAttr(int fd, int when, const termios* settings)
{
    if (int e = ScopedConnectionCalls::failSetAttr.load()) {
        errno = e;
        return -1;
    }
    return RealConnectionSystemCalls().tcsetattr(fd, when, settings);
}

} // namespace

std::string WithChecksum(const std::string& body)
{
    char text[256] = {};
    std::snprintf(text, sizeof text, "$%s", body.c_str());
    AppendNMEAChecksum(text, sizeof text);
    return text;
}

PtyPair::PtyPair()
{
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    m_slavePath = name;
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
}

PtyPair::~PtyPair()
{
    CloseMaster();
    if (m_slave >= 0)
        ::close(m_slave);
}

bool PtyPair::Send(const std::string& bytes)
{
    size_t done = 0;
    while (m_master >= 0 && done < bytes.size()) {
        ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return done == bytes.size();
}

std::string PtyPair::Receive(int waitMs)
{
    return ReceiveFrom(m_master, waitMs);
}

void PtyPair::CloseMaster()
{
    if (m_slave >= 0) {
        // Only the connection's descriptor is left on the slave side.
        ::close(m_slave);
        m_slave = -1;
    }
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

LoopbackTcpPeer::LoopbackTcpPeer(bool backlogFull)
{
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listen < 0)
        return;
    const int on = 1;
    ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a = Loopback(0);
    socklen_t len = sizeof a;
    if (::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(m_listen, backlogFull ? 0 : 4) != 0 ||
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return;
    m_port = ntohs(a.sin_port);
    if (backlogFull) {
        // The queue of a backlog of 0 holds one connection; later SYNs are dropped.
        for (int i = 0; i < 2; ++i) {
            int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            sockaddr_in to = Loopback(m_port);
            ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
            m_fillers.push_back(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

LoopbackTcpPeer::~LoopbackTcpPeer()
{
    CloseConnection();
    for (int fd : m_fillers)
        ::close(fd);
    if (m_listen >= 0)
        ::close(m_listen);
}

bool LoopbackTcpPeer::Accept(int waitMs)
{
    if (m_conn >= 0)
        return true;
    pollfd p = {m_listen, POLLIN, 0};
    if (::poll(&p, 1, waitMs) <= 0)
        return false;
    m_conn = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    return m_conn >= 0;
}

bool LoopbackTcpPeer::Send(const std::string& bytes)
{
    return m_conn >= 0 && SendAll(m_conn, bytes);
}

std::string LoopbackTcpPeer::Receive(int waitMs)
{
    return ReceiveFrom(m_conn, waitMs);
}

void LoopbackTcpPeer::CloseConnection()
{
    if (m_conn >= 0)
        ::close(m_conn);
    m_conn = -1;
}

UdpSender::UdpSender() : m_fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}

UdpSender::~UdpSender()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool UdpSender::Send(int port, const std::string& bytes)
{
    sockaddr_in to = Loopback(port);
    return ::sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) ==
           static_cast<ssize_t>(bytes.size());
}

int FreeUdpPort()
{
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(0);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

FakeSysfs::FakeSysfs(const std::string& r)
    : root(r), sysClassTty(r + "/sys/class/tty"), dev(r + "/dev"), byId(r + "/dev/serial/by-id")
{
    for (const std::string& d : {r + "/sys", r + "/sys/class", sysClassTty, dev, r + "/dev/serial", byId})
        ::mkdir(d.c_str(), 0755);
}

void FakeSysfs::AddTty(const std::string& name, bool withDriver, const std::string& byIdName)
{
    const std::string base = sysClassTty + "/" + name;
    ::mkdir(base.c_str(), 0755);
    if (withDriver) {
        ::mkdir((base + "/device").c_str(), 0755);
        ::mkdir((base + "/device/driver").c_str(), 0755);
    }
    int fd = ::open((dev + "/" + name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    if (!byIdName.empty()) [[maybe_unused]]
        int r = ::symlink(("../../" + name).c_str(), (byId + "/" + byIdName).c_str());
}

std::atomic<int> ScopedConnectionCalls::failOpenReadWrite{0};
std::atomic<int> ScopedConnectionCalls::failOpenAll{0};
std::atomic<int> ScopedConnectionCalls::failGetAttr{0};
std::atomic<int> ScopedConnectionCalls::failSetAttr{0};
std::atomic<bool> ScopedConnectionCalls::holdOpen{false};
std::atomic<int> ScopedConnectionCalls::opensStarted{0};

ScopedConnectionCalls::ScopedConnectionCalls()
{
    failOpenReadWrite = failOpenAll = failGetAttr = failSetAttr = 0;
    holdOpen = false;
    opensStarted = 0;
    ConnectionSystemCalls() = {&TestOpen, &TestConnect, &TestGetAttr, &TestSetAttr};
}

ScopedConnectionCalls::~ScopedConnectionCalls()
{
    holdOpen = false;
    ConnectionSystemCalls() = RealConnectionSystemCalls();
}

} // namespace tessatest
