#pragma once
// One running instance per data folder. The first process listens on a local
// socket in the user's private runtime folder; a later launch hands its
// arguments over (InstanceFrames.h), waits for the acknowledgement and ends.
// A socket that nobody answers is left over from a process that died: it is
// removed and the new process becomes the first instance.
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
    static constexpr int kAcknowledgeMilliseconds = 2000;
    // Connections that may be handing over at the same time.
    static constexpr int kMaxConnections = 8;

    enum class Outcome {
        First,      // listening (or, without a usable socket, running alone)
        HandedOver, // the running instance took the arguments: end with 0
        NoAnswer,   // it accepted the connection but never acknowledged
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

    // Hands `arguments` to a running instance, or becomes the one.
    Outcome HandOverOrListen(const std::vector<std::string>& arguments);
    // Where received arguments go (on the main thread, after the exchange).
    void SetReceiver(Receiver receiver) { m_receiver = std::move(receiver); }
    bool IsListening() const;
    const std::string& SocketPath() const { return m_path; }

private:
    bool Listen();
    void Accept();

    std::string m_path;
    std::unique_ptr<QLocalServer> m_server;
    Receiver m_receiver;
    int m_connections = 0;
};
