#pragma once
// An HTTP/1.1 server inside the test process, on 127.0.0.1 with a port the
// system picks. It serves files held in memory or generated on the fly
// ("virtual" files of any size need no storage), answers ranged GET with 206,
// 416 and 404, HEAD with or without a length, and POST through handlers. Each
// path can be given a fault (Range ignored, stall, throttle, close mid-body,
// redirects) so client code is tested against the replies real servers send.
// Every request and the number of connections are recorded.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tessatest {

struct LoopbackRequest
{
    std::string method;
    std::string path;                           // without the query, as sent (still percent-encoded)
    std::string query;                          // the text after '?', "" when none
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;
    int connection = 0; // 1 for the first connection accepted, 2 for the next, ...

    std::string Header(const std::string& lowerName) const;
};

struct LoopbackResponse
{
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
};

enum class LoopbackFault {
    None,
    IgnoreRange,        // answers a ranged GET with 200 and the whole file
    StallBeforeHeaders, // reads the request, then sends nothing until released or stopped
    Throttle,           // sends the body slowly (bytes per second set with the fault)
    CloseMidBody,       // announces the full length, sends half and closes the connection (handlers too)
    RedirectToPath,     // 302 to another path of this server (or any URL text given)
    RedirectToFileURL,  // 302 to a file:// address
};

class LoopbackServer
{
public:
    using Handler = std::function<LoopbackResponse(const LoopbackRequest&)>;
    using ByteGenerator = std::function<uint8_t(uint64_t offset)>;

    // Starts listening at once; Port() is 0 when it could not start (Error() says why).
    explicit LoopbackServer(bool tls = false);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int Port() const { return m_port; }
    const std::string& Error() const { return m_error; }
    bool IsTLS() const { return m_tls; }
    static const char* Host() { return "127.0.0.1"; }
    // "http://127.0.0.1:<port>" (https with TLS).
    std::string BaseURL() const;
    // The self-signed certificate of the TLS mode in PEM, for the client's trust hook.
    const std::string& CertificatePEM() const { return m_certPEM; }

    // Content: files are looked up by exact (encoded) path.
    void AddFile(const std::string& path, std::string bytes);
    void AddVirtualFile(const std::string& path, uint64_t size, ByteGenerator generator = PatternByte);
    void RemoveFile(const std::string& path);
    // The default generator: a byte that depends on every bit of the offset.
    static uint8_t PatternByte(uint64_t offset);
    // HEAD of this path answers without a Content-Length.
    void SetHeadWithoutLength(const std::string& path, bool on = true);
    // Every request to the path gets this status and body (404, 500, ...).
    void SetStatus(const std::string& path, int status, std::string body = "");
    void AddPostHandler(const std::string& path, Handler handler);
    // A handler for any method; it takes precedence over files.
    void AddHandler(const std::string& method, const std::string& path, Handler handler);
    // `target` is the Location for RedirectToPath; `bytesPerSecond` paces Throttle.
    void SetFault(const std::string& path, LoopbackFault fault, std::string target = "",
                  uint64_t bytesPerSecond = 16384);
    // Lets every stalled request go on (they then answer normally).
    void ReleaseStalls();

    std::vector<LoopbackRequest> Requests() const;
    size_t RequestCount() const;
    void ClearRequests();
    int ConnectionCount() const;

    // Closes the listening socket and every connection, and joins all threads.
    void Stop();

private:
    struct Content;
    struct Connection;
    struct PathRule
    {
        LoopbackFault fault = LoopbackFault::None;
        std::string target;
        uint64_t bytesPerSecond = 16384;
        int status = 0;
        std::string statusBody;
        bool headWithoutLength = false;
    };

    bool Start();
    void AcceptLoop();
    void Serve(std::shared_ptr<Connection> conn);
    bool Answer(Connection& conn, const LoopbackRequest& request, bool& keepAlive);
    bool SendBody(Connection& conn, const Content& content, uint64_t first, uint64_t count,
                  const PathRule& rule);
    bool Pause(std::chrono::milliseconds duration); // false when stopping

    bool m_tls = false;
    int m_port = 0;
    int m_listenFd = -1;
    std::string m_error;
    std::string m_certPEM;
    void* m_sslContext = nullptr; // SSL_CTX*

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    bool m_stallsReleased = false;
    std::map<std::string, std::shared_ptr<Content>> m_files;
    std::map<std::string, PathRule> m_rules;
    std::map<std::pair<std::string, std::string>, Handler> m_handlers;
    std::vector<LoopbackRequest> m_requests;
    int m_connections = 0;
    std::vector<std::shared_ptr<Connection>> m_open;
    std::vector<std::thread> m_threads;
    std::thread m_acceptThread;
};

// Makes a self-signed certificate for 127.0.0.1 and localhost; false on failure.
// The key and certificate are returned as OpenSSL objects (EVP_PKEY*, X509*).
bool MakeLoopbackCertificate(void** key, void** cert, std::string& certPEM);

} // namespace tessatest
