#pragma once
// One running instance per data folder. The process that holds the data
// folder's lock listens on a local socket in the user's private runtime
// folder; a later launch, finding the lock taken, hands its arguments over
// (InstanceFrames.h), waits for the acknowledgement and ends. Only the lock's
// holder ever removes the socket, and only one that nobody answers on.
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLocalServer;
class QObject;

class CSingleInstance
{
public:
    using Receiver = std::function<void(const std::vector<std::string>& arguments)>;
    // How long the running instance waits for a sender's whole message.
    static constexpr int kAcknowledgeMilliseconds = 2000;
    // How long a sender waits for the running instance to listen, and then
    // for its answer (its start may still be loading the stores).
    static constexpr int kHandOverMilliseconds = 10000;
    // Connections that may be handing over at the same time.
    static constexpr int kMaxConnections = 8;

    enum class Outcome {
        HandedOver, // the running instance took the arguments
        NoListener, // nobody listens on the socket (within the wait)
        Failed,     // no socket, or a listener that did not acknowledge
    };

    // `socketPath` from SocketPathFor; "" runs without a hand-over.
    explicit CSingleInstance(std::string socketPath);
    ~CSingleInstance();
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // "$XDG_RUNTIME_DIR/tessaroute-<hash of the data folder>.sock" when that
    // folder is ours and 0700, else the same name in a private 0700 folder
    // under the temporary folder; "" when neither can be had.
    static std::string SocketPathFor(const std::string& dataFolder);
    // File paths among the arguments become absolute, so the running instance
    // (with another working folder) finds them; links stay as they are.
    static std::vector<std::string> AbsoluteArguments(const std::vector<std::string>& arguments);

    // Hands `arguments` to the running instance, trying to connect for up to
    // `waitMilliseconds` while it is not listening yet. `reason` says why
    // when the outcome is not HandedOver.
    Outcome HandOver(const std::vector<std::string>& arguments, int waitMilliseconds, std::string& reason);
    // Where received arguments go (on the main thread, after the exchange).
    void SetReceiver(Receiver receiver) { m_receiver = std::move(receiver); }
    // For the holder of the data folder's lock, once its receiver is set:
    // listens, first removing a socket left by a process that died. Anything
    // else at the socket's path is left alone: false, with `reason`.
    bool Listen(std::string& reason);
    bool IsListening() const;
    const std::string& SocketPath() const { return m_path; }
    // Tests: waits `milliseconds` before the first connect or listen, which
    // widens the window in which two starts race.
    void SetSocketDelayForTesting(int milliseconds) { m_delayMs = milliseconds; }

private:
    void Accept();
    void DelayForTesting();

    std::string m_path;
    int m_delayMs = 0;
    std::unique_ptr<QLocalServer> m_server;
    Receiver m_receiver;
    int m_connections = 0;
};
