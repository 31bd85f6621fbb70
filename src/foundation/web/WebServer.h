#pragma once
// The blocking HTTP(S) client every exchange of the system goes through. One
// client holds one libcurl easy handle (and the connection cache that goes
// with it) for its whole life, so consecutive requests to the same server
// reuse the open connection. Requests run on the calling thread; Cancel may be
// called from any thread and ends a running transfer within a poll interval.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/web/WebURL.h"

// Bytes done and expected of the running transfer. A progress display reads
// them from another thread while the transfer writes them.
struct CWebProgress
{
    std::atomic<int64_t> done{0};
    std::atomic<int64_t> total{0};
};

// Set on every transport error; the chart cache and the chart view read it.
extern std::atomic<bool> gNetworkErrorSeen;

// One reply handed to the transfer callbacks without a network (tests and
// fuzzing): header lines and body pieces as libcurl passes them, for a reply
// whose status libcurl read as `status`.
struct CWebReplay
{
    bool ranged = true; // a ranged read into `destination`; else the body goes to `fd`
    long status = 200;
    int64_t rangeStart = 0;
    int64_t want = 0;
    char* destination = nullptr;
    int fd = -1;
    std::vector<std::string> headerLines;
    std::vector<std::string> bodyPieces;
    // What the callbacks made of it.
    bool accepted = false;
    bool complete = false;
    bool stopped = false; // a callback ended the transfer
    int64_t got = 0;
    int64_t discarded = 0;
    int64_t contentRangeStart = -1;
};

class CWebServer
{
public:
    // Asked during transfers (false cancels the request) and, as the connect
    // hook, before each request starts (false: the request does not start).
    using Callback = bool (*)(void* arg);

    // Part files of large server files are this big; part k > 0 is "<path>.k".
    static constexpr int64_t kPartSize = int64_t(1) << 31;

    // A client bound to "http[s]://host[:port]". A host that is not a plain
    // name or address leaves the client without a base address: every request
    // then fails with a clear text.
    CWebServer(const char* host, bool secure, int port = 0);
    // A client without a base address, for absolute requests only.
    CWebServer();
    virtual ~CWebServer();
    CWebServer(const CWebServer&) = delete;
    CWebServer& operator=(const CWebServer&) = delete;

    // Points the client at another host. A bracketed IPv6 literal is accepted
    // only with `fromConfiguration` (the user's own settings). False, with no
    // base address left, when the host or port is refused.
    bool SetHost(const char* host, bool secure, int port = 0, bool fromConfiguration = false);
    bool HasBaseURL() const { return !m_base.host.empty(); }
    // "scheme://host[:port]", "" without a base address.
    std::string GetBaseURL() const { return HasBaseURL() ? m_base.Base() : std::string(); }
    bool IsSecure() const { return m_base.secure; }
    const std::string& GetHost() const { return m_base.host; }

    // Reads `size` bytes at `offset` of a server file split into parts of
    // 2^31 bytes. Returns the bytes read: fewer than asked is a short read
    // (error code and text say why), -1 without a base address.
    // Virtual so that fuzzing can serve files from memory.
    virtual int32_t ReadRange(const char* path, int64_t offset, int32_t size, void* destination);
    // Downloads into a temporary file beside `localPath` and replaces the
    // local file only with a complete 2xx reply.
    bool DownloadFile(const char* relativeURL, const char* localPath);
    // The length of an http(s) file by HEAD; -1 unless the reply is 2xx with a length.
    int64_t GetRemoteFileSize(const char* url);
    // POSTs `body` to a path below the base address; a 2xx reply's body is
    // written to `replyFd` (from its current position). False on any other reply.
    bool Post(const char* relativeURL, const std::string& body, int replyFd);

    // Stops the running transfer and refuses every later request of this client.
    void Cancel();
    bool IsCancelled() const { return m_cancelled.load(); }

    // The per-request connect hook, also the client's continue test.
    void SetConnectHook(Callback hook, void* arg);
    // True while the connect hook (if any) allows requests and the client is not cancelled.
    bool ContinueTest();

    void SetProgressCallback(Callback callback, void* arg);
    // The caller's progress pair (may be null); it must outlive the requests.
    void SetProgress(CWebProgress* progress) { m_progress = progress; }

    // Time to connect and longest time without any byte arriving, in milliseconds.
    void SetTimeouts(int connectMs, int stallMs);
    // The values new clients start with (10 s each unless changed, e.g. by tests).
    static void SetDefaultTimeouts(int connectMs, int stallMs);
    // Extra trusted certificates in PEM for https (replacing the system store),
    // "" for the system store: the hook through which tests trust their server.
    static void SetTrustedCertificates(std::string pem);

    // 0 none, an HTTP status of a refused reply, -1 a transport error or a cancel.
    int32_t GetErrorCode() const { return m_errorCode.load(); }
    // The text callers show; empty after a cancel (callers then show nothing).
    const std::string& GetErrorText() const { return m_errorText; }
    // A failure before or after the exchange (local files): code -1 and the text.
    void SetLocalError(const std::string& text) { FailText(text); }

    // The User-Agent of every request: "TS/<version>-Linux/<kernel x.y.z>".
    static const std::string& UserAgent();

    // Runs `replay` through the header and body callbacks.
    static void ReplayForTesting(CWebReplay& replay);

private:
    struct Transfer;
    enum class Kind { Range, File, Head, Post };

    bool Perform(Transfer& t);
    // The steps of one transfer: the handle's options and headers (the list
    // returned is the caller's to free), the loop that runs it to its end,
    // and the outcome as the error code and text.
    void* SetTransferOptions(Transfer& t);
    bool RunTransfer(Transfer& t);
    bool ReportOutcome(Transfer& t);
    bool Begin(const std::string& url);
    void FailRefused(int status, const std::string& url);
    void FailTransport(const std::string& text, const std::string& url);
    void FailText(const std::string& text);
    int32_t ReadOne(const std::string& url, int64_t start, int32_t size, char* destination);

    static size_t OnHeader(char* data, size_t size, size_t count, void* arg);
    static size_t OnWrite(char* data, size_t size, size_t count, void* arg);
    static int OnProgress(void* arg, int64_t dlTotal, int64_t dlNow, int64_t ulTotal, int64_t ulNow);

    void* m_easy = nullptr;  // CURL*
    void* m_multi = nullptr; // CURLM*: owns the connection cache, lets Cancel wake the transfer
    CWebAddress m_base;      // host empty: no base address

    Callback m_progressCallback = nullptr;
    void* m_progressArg = nullptr;
    Callback m_connectHook = nullptr;
    void* m_connectArg = nullptr;
    CWebProgress* m_progress = nullptr;
    int m_connectMs;
    int m_stallMs;

    std::atomic<bool> m_cancelled{false};
    std::atomic<int32_t> m_errorCode{0};
    std::string m_errorText;
};
