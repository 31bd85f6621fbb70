#include "app/shell/SingleInstance.h"

#include "app/shell/InstanceFrames.h"
#include "app/shell/LinkCommand.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A folder only this user can enter: ours, not a link, mode 0700.
bool IsPrivateFolder(const std::string& path)
{
    struct stat st;
    return !path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

std::string PrivateTempFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp == '/' ? tmp : "/tmp";
    const std::string folder = base + "/tessaroute-" + std::to_string(::getuid());
    ::mkdir(folder.c_str(), 0700);
    return IsPrivateFolder(folder) ? folder : std::string();
}

bool FitsSocketAddress(const std::string& path)
{
    return path.size() < sizeof(sockaddr_un{}.sun_path);
}

// Whether some process accepts connections on the socket at `path`.
bool SomeoneListens(const std::string& path)
{
    if (!FitsSocketAddress(path))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    // A full backlog (EAGAIN) is somebody listening, too.
    const bool listening =
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 || errno == EAGAIN;
    ::close(fd);
    return listening;
}

} // namespace

CSingleInstance::CSingleInstance(std::string socketPath) : m_path(std::move(socketPath)) {}

CSingleInstance::~CSingleInstance() = default;

std::string CSingleInstance::SocketPathFor(const std::string& dataFolder)
{
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::fromStdString(dataFolder), QCryptographicHash::Sha256).toHex();
    const std::string name = "/tessaroute-" + digest.left(16).toStdString() + ".sock";
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && IsPrivateFolder(runtime) && FitsSocketAddress(runtime + name))
        return runtime + name;
    const std::string folder = PrivateTempFolder();
    if (!folder.empty() && FitsSocketAddress(folder + name))
        return folder + name;
    return {};
}

std::vector<std::string> CSingleInstance::AbsoluteArguments(const std::vector<std::string>& arguments)
{
    std::vector<std::string> out;
    for (const std::string& argument : arguments) {
        if (argument.empty() || argument[0] == '/' || HasURLScheme(argument))
            out.push_back(argument);
        else
            out.push_back(QFileInfo(QString::fromStdString(argument)).absoluteFilePath().toStdString());
    }
    return out;
}

bool CSingleInstance::IsListening() const
{
    return m_server && m_server->isListening();
}

void CSingleInstance::DelayForTesting()
{
    if (m_delayMs > 0)
        QThread::msleep(unsigned(m_delayMs));
    m_delayMs = 0;
}

CSingleInstance::Outcome CSingleInstance::HandOver(const std::vector<std::string>& arguments,
                                                   int waitMilliseconds, std::string& reason)
{
    if (m_path.empty()) {
        reason = "there is no private folder for the hand-over socket";
        return Outcome::Failed;
    }
    DelayForTesting();
    const QString name = QString::fromStdString(m_path);
    const QDeadlineTimer connectBy(waitMilliseconds);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(name);
        if (socket.waitForConnected(kAcknowledgeMilliseconds))
            break;
        const QLocalSocket::LocalSocketError error = socket.error();
        if (error != QLocalSocket::ConnectionRefusedError && error != QLocalSocket::ServerNotFoundError) {
            reason = m_path + ": " + socket.errorString().toStdString();
            return Outcome::Failed;
        }
        if (connectBy.hasExpired()) {
            reason = "nothing answers on " + m_path;
            return Outcome::NoListener;
        }
        // The holder of the lock may still be on its way to listening.
        socket.abort();
        QThread::msleep(50);
    }
    // Arguments beyond the limits are left out rather than losing the rest.
    std::vector<std::string> sent;
    for (const std::string& argument : arguments)
        if (sent.size() < CInstanceFrameDecoder::kMaxArguments &&
            argument.size() <= CInstanceFrameDecoder::kMaxFrameBytes)
            sent.push_back(argument);
    const std::string message = CInstanceFrameDecoder::Encode(sent);
    socket.write(message.data(), qint64(message.size()));
    const QDeadlineTimer answerBy(kHandOverMilliseconds);
    while (!answerBy.hasExpired()) {
        if (socket.bytesToWrite() > 0)
            socket.waitForBytesWritten(int(answerBy.remainingTime()));
        else if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(int(answerBy.remainingTime())))
            break;
        char answer = 0;
        if (socket.bytesAvailable() > 0 && socket.read(&answer, 1) == 1) {
            if (answer == CInstanceFrameDecoder::kAcknowledge)
                return Outcome::HandedOver;
            reason = "the running instance refused it";
            return Outcome::Failed;
        }
        if (socket.state() != QLocalSocket::ConnectedState)
            break;
    }
    reason = socket.state() == QLocalSocket::ConnectedState
                 ? "the running instance did not answer within " +
                       std::to_string(kHandOverMilliseconds / 1000) + " s"
                 : "the running instance closed the connection without an answer";
    return Outcome::Failed;
}

bool CSingleInstance::Listen(std::string& reason)
{
    if (m_path.empty()) {
        reason = "there is no private folder for the hand-over socket";
        return false;
    }
    // Nothing may be acknowledged before there is somewhere to deliver it.
    if (!m_receiver) {
        reason = "nothing takes what is handed over";
        return false;
    }
    DelayForTesting();
    struct stat st;
    if (::lstat(m_path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            reason = m_path + " is in the way and is not a socket";
            return false;
        }
        if (SomeoneListens(m_path)) {
            reason = "another program listens on " + m_path;
            return false;
        }
        // Left by a process that ended without removing it.
        ::unlink(m_path.c_str());
    }
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(QString::fromStdString(m_path))) {
        reason = m_path + ": " + m_server->errorString().toStdString();
        m_server.reset();
        return false;
    }
    QObject::connect(m_server.get(), &QLocalServer::newConnection, m_server.get(), [this] { Accept(); });
    return true;
}

void CSingleInstance::Accept()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        QObject::connect(socket, &QObject::destroyed, m_server.get(), [this] { --m_connections; });
        ++m_connections;
        if (m_connections > kMaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto decoder = std::make_shared<CInstanceFrameDecoder>();
        // A sender that stalls is dropped; the main thread never waits for it.
        QTimer::singleShot(kAcknowledgeMilliseconds, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket, decoder] {
            if (decoder->Current() != CInstanceFrameDecoder::State::More) {
                socket->readAll();
                return;
            }
            // Only what has arrived is read; the decoder refuses a bad size at once.
            auto state = decoder->Current();
            while (state == CInstanceFrameDecoder::State::More && socket->bytesAvailable() > 0) {
                const QByteArray bytes = socket->read(qint64(CInstanceFrameDecoder::kMaxFrameBytes));
                state = decoder->Feed(bytes.constData(), size_t(bytes.size()));
            }
            if (state == CInstanceFrameDecoder::State::Bad) {
                std::fprintf(stderr, "Refused a hand-over that was not well formed\n");
                socket->abort();
                socket->deleteLater();
                return;
            }
            if (state != CInstanceFrameDecoder::State::Done)
                return;
            socket->write(&CInstanceFrameDecoder::kAcknowledge, 1);
            socket->flush();
            socket->disconnectFromServer();
            // The command runs from the event loop, not inside the socket's signal.
            std::vector<std::string> arguments = decoder->Arguments();
            QTimer::singleShot(0, m_server.get(), [this, arguments] {
                if (m_receiver)
                    m_receiver(arguments);
            });
        });
    }
}
