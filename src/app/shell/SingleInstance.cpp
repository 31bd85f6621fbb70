#include "app/shell/SingleInstance.h"

#include "app/shell/InstanceFrames.h"
#include "app/shell/LinkCommand.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
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

CSingleInstance::Outcome CSingleInstance::HandOverOrListen(const std::vector<std::string>& arguments)
{
    if (m_path.empty())
        return Outcome::First;
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(m_path));
    if (!socket.waitForConnected(kAcknowledgeMilliseconds)) {
        const QLocalSocket::LocalSocketError error = socket.error();
        if (error == QLocalSocket::ConnectionRefusedError || error == QLocalSocket::ServerNotFoundError) {
            // Nobody there: a socket left by a process that ended without removing it.
            QLocalServer::removeServer(QString::fromStdString(m_path));
            Listen();
        } else {
            std::fprintf(stderr, "%s: %s; running without the single-instance socket\n", m_path.c_str(),
                         socket.errorString().toLocal8Bit().constData());
        }
        return Outcome::First;
    }
    // Arguments beyond the limits are left out rather than losing the rest.
    std::vector<std::string> sent;
    for (const std::string& argument : arguments)
        if (sent.size() < CInstanceFrameDecoder::kMaxArguments &&
            argument.size() <= CInstanceFrameDecoder::kMaxFrameBytes)
            sent.push_back(argument);
    const std::string message = CInstanceFrameDecoder::Encode(sent);
    socket.write(message.data(), qint64(message.size()));
    QDeadlineTimer deadline(kAcknowledgeMilliseconds);
    while (!deadline.hasExpired()) {
        if (socket.bytesToWrite() > 0)
            socket.waitForBytesWritten(int(deadline.remainingTime()));
        else if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(int(deadline.remainingTime())))
            break;
        char answer = 0;
        if (socket.bytesAvailable() > 0 && socket.read(&answer, 1) == 1)
            return answer == CInstanceFrameDecoder::kAcknowledge ? Outcome::HandedOver : Outcome::NoAnswer;
    }
    std::fprintf(stderr, "%s: the running instance did not answer\n", m_path.c_str());
    return Outcome::NoAnswer;
}

bool CSingleInstance::Listen()
{
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(QString::fromStdString(m_path))) {
        std::fprintf(stderr, "%s: %s\n", m_path.c_str(), m_server->errorString().toLocal8Bit().constData());
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
