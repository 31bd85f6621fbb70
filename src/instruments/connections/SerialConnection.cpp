#include "instruments/connections/SerialConnection.h"

#include "foundation/notify/StatusLine.h"
#include "foundation/util/FormatString.h"
#include "instruments/connections/ConnectionPorts.h"
#include "instruments/connections/ConnectionRegistry.h"
#include "instruments/connections/ConnectionSystemCalls.h"
#include "instruments/connections/NetworkConnections.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

ConnectionMacSerialPort::Persistant gSerialSettings;

std::atomic<int> gOpenersRunning{0};

speed_t SpeedConstant(uint32_t speed)
{
    switch (speed) {
    case 1800:
        return B1800;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    default:
        return B0;
    }
}

ssize_t ReadDevice(void* context, char* buffer, size_t size)
{
    const int fd = *static_cast<int*>(context);
    ssize_t n = ::read(fd, buffer, size);
    if (n > 0)
        return n;
    if (n < 0)
        return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? CConnectionReader::kNothing
                                                                           : CConnectionReader::kClosed;
    // Raw mode without a minimum reads 0 when idle; a hang-up shows in poll.
    pollfd p = {fd, POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
        return CConnectionReader::kClosed;
    return CConnectionReader::kNothing;
}

std::string Canonical(const std::string& path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

} // namespace

struct CSerialConnection::OpenState
{
    std::mutex mutex;
    std::string status; // under the mutex
    bool statusChanged = false;
    bool abandoned = false;  // under the mutex: the connection closed meanwhile
    std::atomic<int> fd{-1}; // published last
    std::atomic<bool> done{false};
};

namespace {

void SetOpenerStatus(CSerialConnection::OpenState& state, const std::string& text)
{
    std::lock_guard<std::mutex> lock(state.mutex);
    state.status = text;
    state.statusChanged = true;
}

void RunOpener(std::shared_ptr<CSerialConnection::OpenState> state, std::string path, uint32_t speed,
               CConnectionSystemCalls calls)
{
    std::string text;
    const int flags = O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    int fd = calls.open(path.c_str(), O_RDWR | flags);
    if (fd < 0) {
        fd = calls.open(path.c_str(), O_RDONLY | flags);
        if (fd >= 0) {
            FormatString(text, "Opened %s read-only", path.c_str());
            SetOpenerStatus(*state, text);
        }
    }
    if (fd < 0) {
        FormatString(text, "Open serial port %s, Failed, errno: %d", path.c_str(), errno);
        SetOpenerStatus(*state, text);
    } else {
        termios tty;
        if (calls.tcgetattr(fd, &tty) != 0) {
            FormatString(text, "tcgetattr failed to fetch TTY state. errno: %d", errno);
            SetOpenerStatus(*state, text);
            ::close(fd);
            fd = -1;
        } else {
            // Raw 8N1 without flow control, parity or a second stop bit.
            tty.c_iflag = IGNPAR;
            tty.c_oflag = 0;
            tty.c_cflag = CS8 | CREAD | CLOCAL;
            tty.c_lflag = 0;
            tty.c_cc[VMIN] = 0;
            tty.c_cc[VTIME] = 0;
            ::cfsetispeed(&tty, SpeedConstant(speed));
            ::cfsetospeed(&tty, SpeedConstant(speed));
            if (calls.tcsetattr(fd, TCSANOW, &tty) != 0) {
                FormatString(text, "tcsetattr failed to set TTY state. errno: %d", errno);
                SetOpenerStatus(*state, text);
                ::close(fd);
                fd = -1;
            } else {
                ::tcflush(fd, TCIFLUSH);
            }
        }
    }
    if (fd >= 0) {
        std::lock_guard<std::mutex> lock(state->mutex);
        if (state->abandoned)
            ::close(fd);
        else
            state->fd.store(fd, std::memory_order_release);
    }
    state->done.store(true, std::memory_order_release);
    gOpenersRunning.fetch_sub(1, std::memory_order_acq_rel);
}

} // namespace

CSerialConnection::CSerialConnection() : CHeartbeat::Counter(1) {}

CSerialConnection::~CSerialConnection()
{
    Close();
}

int CSerialConnection::OpenersRunning()
{
    return gOpenersRunning.load(std::memory_order_acquire);
}

bool CSerialConnection::SetPort(const std::string& device, uint32_t speed)
{
    m_device.clear();
    m_speed = 0;
    if (SpeedConstant(speed) == B0)
        return false;
    m_device = device;
    m_speed = speed;
    return true;
}

bool CSerialConnection::Open()
{
    Close();
    m_reader.Reset();
    m_deviceName = m_device;
    m_statusText.clear();
    auto state = std::make_shared<OpenState>();
    m_opener = state;
    gOpenersRunning.fetch_add(1, std::memory_order_acq_rel);
    try {
        std::thread(RunOpener, state, m_device, m_speed, ConnectionSystemCalls()).detach();
    } catch (const std::system_error&) {
        gOpenersRunning.fetch_sub(1, std::memory_order_acq_rel);
        m_opener.reset();
        m_statusText = "Open serial port " + m_device + ", Failed, no thread";
        return false;
    }
    return true;
}

void CSerialConnection::Close()
{
    if (m_opener) {
        std::lock_guard<std::mutex> lock(m_opener->mutex);
        m_opener->abandoned = true;
        int fd = m_opener->fd.exchange(-1, std::memory_order_acq_rel);
        if (fd >= 0)
            ::close(fd);
    }
    m_opener.reset();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void CSerialConnection::TakeOpenerResult()
{
    OpenState& state = *m_opener;
    bool changed = false;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.statusChanged) {
            m_statusText = state.status;
            state.statusChanged = false;
            changed = true;
        }
    }
    int fd = state.fd.exchange(-1, std::memory_order_acq_rel);
    if (fd >= 0)
        m_fd = fd;
    if (changed && GetGPSConnection() == this)
        SetStatusMessage(m_statusText);
    if (state.done.load(std::memory_order_acquire) && state.fd.load() < 0)
        m_opener.reset();
}

void CSerialConnection::OnTick()
{
    if (m_opener)
        TakeOpenerResult();
    if (m_fd < 0)
        return;
    if (m_reader.Tick(this, &ReadDevice, &m_fd) == CConnectionReader::Outcome::Closed)
        ReportConnectionLost(*this, m_fd, "Serial port disconnected");
}

bool CSerialConnection::Write(const char* text)
{
    if (m_fd < 0 || !text)
        return false;
    const size_t length = std::strlen(text);
    return length > 0 && ::write(m_fd, text, length) > 0;
}

std::vector<CSerialPortEntry> ListSerialPorts(const std::string& sysClassTty, const std::string& devFolder,
                                              const std::string& byIdFolder)
{
    std::vector<CSerialPortEntry> ports;
    DIR* dir = ::opendir(sysClassTty.c_str());
    if (!dir)
        return ports;
    while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.empty() || name[0] == '.')
            continue;
        // Virtual consoles and ptys have no driver; real ports do.
        struct stat st;
        if (::stat((sysClassTty + "/" + name + "/device/driver").c_str(), &st) != 0)
            continue;
        ports.push_back({devFolder + "/" + name, name});
    }
    ::closedir(dir);
    std::sort(ports.begin(), ports.end(),
              [](const CSerialPortEntry& a, const CSerialPortEntry& b) { return a.path < b.path; });
    if (DIR* ids = ::opendir(byIdFolder.c_str())) {
        std::vector<std::pair<std::string, std::string>> links; // target, name
        while (dirent* e = ::readdir(ids)) {
            if (e->d_name[0] == '.')
                continue;
            std::string target = Canonical(byIdFolder + "/" + e->d_name);
            if (!target.empty())
                links.emplace_back(target, e->d_name);
        }
        ::closedir(ids);
        std::sort(links.begin(), links.end());
        for (CSerialPortEntry& port : ports) {
            const std::string target = Canonical(port.path);
            for (const auto& link : links) {
                if (!target.empty() && link.first == target) {
                    port.title = link.second;
                    break;
                }
            }
        }
    }
    return ports;
}

ConnectionMacSerialPort::Persistant& ConnectionMacSerialPort::Settings()
{
    return gSerialSettings;
}

void ConnectionMacSerialPort::Persistant::Exchange()
{
    ExchangeString("dev", dev);
    uint32_t value = static_cast<uint32_t>(baud);
    ExchangeHex("baud", value);
    baud = static_cast<int32_t>(value);
}

ConnectionMacSerialPort::ConnectionMacSerialPort()
{
    const Persistant& s = Settings();
    SetPort(s.dev, static_cast<uint32_t>(s.baud));
}

void ConnectionMacSerialPort::Configure(QWidget* parent)
{
    Port<IConnectionUi>().OpenSerialPortDialog(parent, this);
}

int32_t ConnectionMacSerialPort::ApplyDialogChoice(const std::vector<CSerialPortEntry>& ports, int portIndex,
                                                   const std::string& typedPath, int speedIndex)
{
    if (speedIndex < 0 || speedIndex > 3)
        speedIndex = 0;
    if (portIndex < 0 || static_cast<size_t>(portIndex) >= ports.size())
        portIndex = 0;
    std::string path = typedPath;
    if (path.empty() && !ports.empty())
        path = ports[static_cast<size_t>(portIndex)].path;
    if (path.empty())
        return -1;
    const uint32_t speed = kDialogSpeeds[speedIndex];
    if (!SetPort(path, speed))
        return -1;
    Persistant& s = Settings();
    s.dev = path;
    s.baud = static_cast<int32_t>(speed);
    s.SetModified();
    PersistantData::SaveAll();
    return 0;
}
