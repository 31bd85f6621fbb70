#include "foundation/web/WebServer.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <curl/curl.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include "foundation/AtomicFile.h"
#include "foundation/util/Folders.h"

std::atomic<bool> gNetworkErrorSeen{false};

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> gDefaultConnectMs{10000};
std::atomic<int> gDefaultStallMs{10000};
std::mutex gTrustMutex;
std::string gTrustedPEM;
std::once_flag gCurlInit;

const char kNoServerText[] =
    "No chart server is set.\nEnter the address of your chart server in the settings; "
    "until then nothing can be downloaded.";
const char kNoAddressText[] = "The server's address is not valid.";
constexpr int64_t kMaxDiscard = 64 * 1024;
const char kBadPathText[] = "The address of the file on the server is not valid.";

CURL* Easy(void* p)
{
    return static_cast<CURL*>(p);
}
CURLM* Multi(void* p)
{
    return static_cast<CURLM*>(p);
}

bool StartsWithNoCase(const char* data, size_t size, const char* prefix)
{
    size_t n = std::strlen(prefix);
    if (size < n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        char c = data[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

bool WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

struct CWebServer::Transfer
{
    CWebServer* self = nullptr;
    Kind kind = Kind::Range;
    std::string url;
    // Ranged reads.
    char* destination = nullptr;
    int64_t rangeStart = 0;
    int64_t want = 0;
    int64_t got = 0;
    bool complete = false; // everything asked for arrived; later bytes were dropped
    // Downloads and post replies.
    int fd = -1;
    bool writeFailed = false;
    int writeErrno = 0;
    const std::string* body = nullptr;
    // The reply.
    long status = 0;
    long replayStatus = -1; // >= 0: the status of a replayed reply, not asked of libcurl
    int64_t contentRangeStart = -1;
    bool decided = false;
    bool accepted = false;
    bool anyByte = false;
    int64_t discarded = 0; // bytes of a refused reply read to keep the connection
    int64_t uploaded = 0;
    bool userCancelled = false;
    bool aborted = false;
    bool stalled = false;
    bool started = false; // the handle joined the multi handle
    int result = CURLE_OK;
    Clock::time_point lastActivity;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    void Decide(CURL* easy)
    {
        if (decided)
            return;
        decided = true;
        if (replayStatus >= 0)
            status = replayStatus;
        else
            curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        if (kind == Kind::Range) {
            // A server or proxy that ignores Range answers 200 with the file from
            // its start: those bytes are the asked ones only at offset 0.
            accepted =
                (status == 206 && contentRangeStart == rangeStart) || (status == 200 && rangeStart == 0);
        } else {
            accepted = status >= 200 && status <= 299;
        }
    }
};

CWebServer::CWebServer() : m_connectMs(gDefaultConnectMs.load()), m_stallMs(gDefaultStallMs.load())
{
    std::call_once(gCurlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    m_easy = curl_easy_init();
    m_multi = curl_multi_init();
}

CWebServer::CWebServer(const char* host, bool secure, int port) : CWebServer()
{
    SetHost(host, secure, port);
}

CWebServer::~CWebServer()
{
    if (m_easy)
        curl_easy_cleanup(Easy(m_easy));
    if (m_multi)
        curl_multi_cleanup(Multi(m_multi));
}

bool CWebServer::SetHost(const char* host, bool secure, int port, bool fromConfiguration)
{
    m_base = CWebAddress();
    if (!host || !IsValidWebHost(host, fromConfiguration) || port < 0 || port > 65535)
        return false;
    m_base.host = host;
    m_base.secure = secure;
    m_base.port = port;
    return true;
}

void CWebServer::SetConnectHook(Callback hook, void* arg)
{
    m_connectHook = hook;
    m_connectArg = arg;
}

bool CWebServer::ContinueTest()
{
    if (m_cancelled.load())
        return false;
    return !m_connectHook || m_connectHook(m_connectArg);
}

void CWebServer::SetProgressCallback(Callback callback, void* arg)
{
    m_progressCallback = callback;
    m_progressArg = arg;
}

void CWebServer::SetTimeouts(int connectMs, int stallMs)
{
    m_connectMs = std::max(1, connectMs);
    m_stallMs = std::max(1, stallMs);
}

void CWebServer::SetDefaultTimeouts(int connectMs, int stallMs)
{
    gDefaultConnectMs.store(std::max(1, connectMs));
    gDefaultStallMs.store(std::max(1, stallMs));
}

void CWebServer::SetTrustedCertificates(std::string pem)
{
    std::lock_guard<std::mutex> lock(gTrustMutex);
    gTrustedPEM = std::move(pem);
}

void CWebServer::Cancel()
{
    m_cancelled.store(true);
    if (m_multi)
        curl_multi_wakeup(Multi(m_multi));
}

const std::string& CWebServer::UserAgent()
{
    static const std::string agent = [] {
        int major = 0, minor = 0, patch = 0;
        utsname name{};
        if (uname(&name) == 0)
            std::sscanf(name.release, "%d.%d.%d", &major, &minor, &patch);
        return std::string("TS/") + GetShortVersionString() + "-Linux/" + std::to_string(major) + "." +
               std::to_string(minor) + "." + std::to_string(patch);
    }();
    return agent;
}

// Clears the last error and asks whether the request may start.
bool CWebServer::Begin(const std::string& host)
{
    m_errorCode.store(0);
    m_errorText.clear();
    if (!m_easy || !m_multi) {
        FailText("The network library could not be started.");
        return false;
    }
    if (m_cancelled.load() || (m_connectHook && !m_connectHook(m_connectArg))) {
        m_errorCode.store(-1); // stopped by the caller: nothing to show
        return false;
    }
    if (IsPlaceholderHost(host)) {
        FailText(kNoServerText);
        return false;
    }
    return true;
}

void CWebServer::FailText(const std::string& text)
{
    m_errorCode.store(-1);
    m_errorText = text;
}

void CWebServer::FailRefused(int status, const std::string& url)
{
    m_errorCode.store(status);
    m_errorText = "Error code " + std::to_string(status) + "\n(" + url + ")";
}

void CWebServer::FailTransport(const std::string& text, const std::string& url)
{
    gNetworkErrorSeen.store(true);
    std::fprintf(stderr, "Error %s (%s)\n", text.c_str(), url.c_str());
    m_errorCode.store(-1);
    m_errorText = text + "\n(" + url + ")";
}

size_t CWebServer::OnHeader(char* data, size_t size, size_t count, void* arg)
{
    auto* t = static_cast<Transfer*>(arg);
    size_t n = size * count;
    t->anyByte = true;
    t->lastActivity = Clock::now();
    if (StartsWithNoCase(data, n, "http/")) {
        // A new reply (after a redirect or a 100 Continue) starts over.
        t->contentRangeStart = -1;
        t->decided = false;
    } else if (StartsWithNoCase(data, n, "content-range:")) {
        t->contentRangeStart = ParseContentRangeStart(std::string_view(data + 14, n - 14));
    }
    return n;
}

size_t CWebServer::OnWrite(char* data, size_t size, size_t count, void* arg)
{
    auto* t = static_cast<Transfer*>(arg);
    size_t n = size * count;
    t->anyByte = true;
    t->lastActivity = Clock::now();
    t->Decide(Easy(t->self->m_easy));
    if (!t->accepted) {
        // A short error page is read and dropped so that the connection stays
        // open for the next request; anything longer ends the transfer.
        t->discarded += static_cast<int64_t>(n);
        return t->discarded <= kMaxDiscard ? n : 0;
    }
    if (t->kind == Kind::Range) {
        int64_t room = t->want - t->got;
        size_t copy = static_cast<size_t>(std::min<int64_t>(room, static_cast<int64_t>(n)));
        std::memcpy(t->destination + t->got, data, copy);
        t->got += static_cast<int64_t>(copy);
        if (CWebProgress* p = t->self->m_progress)
            p->done.fetch_add(static_cast<int64_t>(copy));
        if (t->got == t->want)
            t->complete = true;
        if (copy < n)
            return 0; // more than asked (a whole file from offset 0): stop reading
        return n;
    }
    if (t->fd >= 0 && !WriteAll(t->fd, data, n)) {
        t->writeFailed = true;
        t->writeErrno = errno;
        return 0;
    }
    return n;
}

int CWebServer::OnProgress(void* arg, int64_t dlTotal, int64_t dlNow, int64_t, int64_t ulNow)
{
    auto* t = static_cast<Transfer*>(arg);
    CWebServer* self = t->self;
    if (ulNow != t->uploaded) {
        t->uploaded = ulNow; // a long request body is progress too
        t->lastActivity = Clock::now();
    }
    if (t->kind != Kind::Range && self->m_progress) {
        self->m_progress->done.store(dlNow);
        self->m_progress->total.store(dlTotal);
    }
    if (self->m_cancelled.load())
        return 1;
    if (self->m_progressCallback && !self->m_progressCallback(self->m_progressArg)) {
        t->userCancelled = true;
        return 1;
    }
    return 0;
}

bool CWebServer::Perform(Transfer& t)
{
    curl_slist* headers = static_cast<curl_slist*>(SetTransferOptions(t));
    t.started = RunTransfer(t);
    CURL* easy = Easy(m_easy);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);
    curl_slist_free_all(headers);
    return ReportOutcome(t);
}

void* CWebServer::SetTransferOptions(Transfer& t)
{
    CURL* easy = Easy(m_easy);
    curl_easy_reset(easy);
    t.self = this;
    curl_easy_setopt(easy, CURLOPT_URL, t.url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    // A request made over https is never sent on in clear; a posted request
    // (the sign-in, the access key) is never sent on at all: its body would
    // go to wherever the redirect points.
    const bool secure = t.url.compare(0, 8, "https://") == 0;
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, t.kind == Kind::Post ? 0L : 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_connectMs));
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, t.errorBuffer);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, UserAgent().c_str());
    // Loopback and local names never go through a proxy.
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CWebServer::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CWebServer::OnWrite);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &CWebServer::OnProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    {
        std::lock_guard<std::mutex> lock(gTrustMutex);
        if (!gTrustedPEM.empty()) {
            curl_blob blob{gTrustedPEM.data(), gTrustedPEM.size(), CURL_BLOB_COPY};
            curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob);
        }
    }
    curl_slist* headers = nullptr;
    std::string range;
    switch (t.kind) {
    case Kind::Range:
        range =
            "Range: bytes=" + std::to_string(t.rangeStart) + "-" + std::to_string(t.rangeStart + t.want - 1);
        headers = curl_slist_append(headers, range.c_str());
        break;
    case Kind::Head:
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        // The length of the stored bytes, not of a compressed form.
        headers = curl_slist_append(headers, "Accept-Encoding: identity");
        break;
    case Kind::Post:
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, t.body->data());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t.body->size()));
        headers = curl_slist_append(headers, "Content-Type: application/octet-stream");
        headers = curl_slist_append(headers, "Expect:");
        break;
    case Kind::File:
        break;
    }
    if (headers)
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    return headers;
}

bool CWebServer::RunTransfer(Transfer& t)
{
    CURL* easy = Easy(m_easy);
    CURLM* multi = Multi(m_multi);
    bool started = curl_multi_add_handle(multi, easy) == CURLM_OK;
    t.result = CURLE_FAILED_INIT;
    if (started) {
        t.lastActivity = Clock::now();
        bool finished = false;
        for (;;) {
            int running = 0;
            if (curl_multi_perform(multi, &running) != CURLM_OK || running == 0) {
                finished = true;
                break;
            }
            if (m_cancelled.load() || t.userCancelled) {
                t.aborted = true;
                break;
            }
            auto limit = std::chrono::milliseconds(m_stallMs + (t.anyByte ? 0 : m_connectMs));
            if (Clock::now() - t.lastActivity > limit) {
                t.stalled = true;
                break;
            }
            curl_multi_poll(multi, nullptr, 0, 100, nullptr);
        }
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &left))
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy)
                t.result = msg->data.result;
        if (!finished)
            t.result = CURLE_ABORTED_BY_CALLBACK;
        curl_multi_remove_handle(multi, easy);
    }
    return started;
}

bool CWebServer::ReportOutcome(Transfer& t)
{
    CURL* easy = Easy(m_easy);
    if (!t.started) {
        FailText("The network library could not start the request.");
        return false;
    }
    if (t.userCancelled || (t.aborted && m_cancelled.load()) ||
        (t.result == CURLE_ABORTED_BY_CALLBACK && !t.stalled)) {
        m_errorCode.store(-1); // cancelled: callers show nothing
        m_errorText.clear();
        return false;
    }
    if (t.stalled) {
        FailTransport(t.anyByte ? "The server stopped sending data." : "The server did not answer.", t.url);
        return false;
    }
    bool ok = t.result == CURLE_OK || (t.kind == Kind::Range && t.complete);
    if (t.result == CURLE_OK || (t.result == CURLE_WRITE_ERROR && !t.writeFailed))
        t.Decide(easy); // a reply without a body never reached the write callback
    if (t.decided && !t.accepted && t.kind == Kind::Post && t.status >= 300 && t.status <= 399) {
        char* location = nullptr;
        curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &location);
        FailText("The server sent the request on to " + std::string(location ? location : "another address") +
                 "; a request that carries the sign-in is only sent to the address it was made for.");
        return false;
    }
    if (t.decided && !t.accepted && t.status != 0) {
        FailRefused(static_cast<int>(t.status), t.url);
        return false;
    }
    if (t.writeFailed) {
        FailText(std::string("The file could not be written: ") + std::strerror(t.writeErrno));
        return false;
    }
    if (!ok && t.result == CURLE_UNSUPPORTED_PROTOCOL && t.url.compare(0, 8, "https://") == 0) {
        FailTransport(
            "The server redirected a secure request to an address that is not secure; it was not followed.",
            t.url);
        return false;
    }
    if (!ok) {
        std::string text =
            t.errorBuffer[0] ? t.errorBuffer : curl_easy_strerror(static_cast<CURLcode>(t.result));
        FailTransport(text, t.url);
        return false;
    }
    return true;
}

int32_t CWebServer::ReadOne(const std::string& url, int64_t start, int32_t size, char* destination)
{
    if (!Begin(m_base.host))
        return 0;
    Transfer t;
    t.kind = Kind::Range;
    t.url = url;
    t.destination = destination;
    t.rangeStart = start;
    t.want = size;
    if (m_progress) {
        m_progress->done.store(0);
        m_progress->total.store(size);
    }
    Perform(t);
    return static_cast<int32_t>(t.got);
}

int32_t CWebServer::ReadRange(const char* path, int64_t offset, int32_t size, void* destination)
{
    if (!HasBaseURL()) {
        FailText(kNoAddressText);
        return -1;
    }
    m_errorCode.store(0);
    m_errorText.clear();
    if (!path || !destination || size <= 0 || offset < 0) {
        if (size != 0)
            FailText("The requested range is not valid.");
        return 0;
    }
    auto* out = static_cast<char*>(destination);
    int64_t remaining = size;
    int32_t total = 0;
    while (remaining > 0) {
        int64_t part = offset / kPartSize;
        int64_t inPart = offset % kPartSize;
        int64_t piece = std::min(remaining, kPartSize - inPart);
        std::string serverPath = path;
        if (part > 0)
            serverPath += "." + std::to_string(part);
        auto relative = EncodeRelativeURL(serverPath);
        if (!relative) {
            FailText(kBadPathText);
            return total;
        }
        int32_t n = ReadOne(m_base.Base() + *relative, inPart, static_cast<int32_t>(piece), out);
        total += n;
        if (n < piece)
            return total;
        offset += piece;
        out += piece;
        remaining -= piece;
    }
    return total;
}

bool CWebServer::DownloadFile(const char* relativeURL, const char* localPath)
{
    if (!HasBaseURL()) {
        FailText(kNoAddressText);
        return false;
    }
    auto relative = EncodeRelativeURL(relativeURL ? relativeURL : "");
    if (!relative || !relativeURL || !*relativeURL) {
        FailText(kBadPathText);
        return false;
    }
    std::string target = localPath ? localPath : "";
    std::filesystem::path targetPath(target);
    if (target.empty() || HasParentComponent(target) || !targetPath.has_filename()) {
        FailText("The download's local path is not allowed: " + target);
        return false;
    }
    std::string url = m_base.Base() + *relative;
    if (!Begin(m_base.host))
        return false;
    std::error_code ec;
    std::filesystem::path folder = targetPath.parent_path();
    if (!folder.empty())
        std::filesystem::create_directories(folder, ec);
    CAtomicFileWriter file;
    if (!file.Open(target)) {
        FailText("The download could not be stored in " + folder.string() + ": " + file.Error());
        return false;
    }
    Transfer t;
    t.kind = Kind::File;
    t.url = url;
    t.fd = file.Descriptor();
    if (m_progress) {
        m_progress->done.store(0);
        m_progress->total.store(0);
    }
    if (!Perform(t)) {
        file.Abort();
        return false;
    }
    if (!file.Commit()) {
        FailText("The downloaded file could not replace " + target + ": " + file.Error());
        return false;
    }
    return true;
}

int64_t CWebServer::GetRemoteFileSize(const char* url)
{
    auto address = ParseWebAddress(url ? url : "");
    if (!address) {
        m_errorCode.store(0);
        FailText(kNoAddressText);
        return -1;
    }
    if (!Begin(address->host))
        return -1;
    Transfer t;
    t.kind = Kind::Head;
    t.url = address->Base() + EncodeURLPath(address->path);
    if (!Perform(t))
        return -1;
    curl_off_t length = -1;
    if (curl_easy_getinfo(Easy(m_easy), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK)
        return -1;
    return length >= 0 ? static_cast<int64_t>(length) : -1;
}

bool CWebServer::Post(const char* relativeURL, const std::string& body, int replyFd)
{
    if (!HasBaseURL()) {
        FailText(kNoAddressText);
        return false;
    }
    auto relative = EncodeRelativeURL(relativeURL ? relativeURL : "");
    if (!relative) {
        FailText(kBadPathText);
        return false;
    }
    if (!Begin(m_base.host))
        return false;
    Transfer t;
    t.kind = Kind::Post;
    t.url = m_base.Base() + *relative;
    t.fd = replyFd;
    t.body = &body;
    return Perform(t);
}

void CWebServer::ReplayForTesting(CWebReplay& replay)
{
    CWebServer web;
    Transfer t;
    t.self = &web;
    t.kind = replay.ranged ? Kind::Range : Kind::File;
    t.replayStatus = replay.status;
    t.destination = replay.destination;
    t.rangeStart = replay.rangeStart;
    t.want = replay.want;
    t.fd = replay.fd;
    replay.stopped = false;
    for (std::string& line : replay.headerLines)
        if (OnHeader(line.data(), 1, line.size(), &t) != line.size()) {
            replay.stopped = true;
            break;
        }
    for (std::string& piece : replay.bodyPieces) {
        if (replay.stopped)
            break;
        replay.stopped = OnWrite(piece.data(), 1, piece.size(), &t) != piece.size();
    }
    t.Decide(Easy(web.m_easy));
    replay.accepted = t.accepted;
    replay.complete = t.complete;
    replay.got = t.got;
    replay.discarded = t.discarded;
    replay.contentRangeStart = t.contentRangeStart;
}
