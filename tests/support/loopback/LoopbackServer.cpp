#include "support/loopback/LoopbackServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tessatest {

namespace {

constexpr size_t kMaxHead = 64 * 1024;
constexpr size_t kMaxBody = 256u * 1024 * 1024;
constexpr size_t kSendBlock = 64 * 1024;

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Trim(const std::string& text)
{
    size_t b = text.find_first_not_of(" \t");
    if (b == std::string::npos)
        return "";
    size_t e = text.find_last_not_of(" \t\r");
    return text.substr(b, e - b + 1);
}

bool ParseU64(const std::string& text, uint64_t& out)
{
    if (text.empty() || text.size() > 19)
        return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    out = v;
    return true;
}

const char* Reason(int status)
{
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Payload Too Large";
    case 416:
        return "Range Not Satisfiable";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

} // namespace

std::string LoopbackRequest::Header(const std::string& lowerName) const
{
    auto it = headers.find(lowerName);
    return it == headers.end() ? std::string() : it->second;
}

struct LoopbackServer::Content
{
    std::string bytes;
    uint64_t size = 0;
    ByteGenerator generator; // set for virtual files

    void Fill(uint64_t offset, char* out, size_t count) const
    {
        if (!generator) {
            std::memcpy(out, bytes.data() + offset, count);
            return;
        }
        for (size_t i = 0; i < count; ++i)
            out[i] = static_cast<char>(generator(offset + i));
    }
};

struct LoopbackServer::Connection
{
    int fd = -1;
    SSL* ssl = nullptr;
    int id = 0;
    std::string pending; // received but not yet consumed

    ssize_t Recv(char* buf, size_t n)
    {
        if (ssl) {
            int r = SSL_read(ssl, buf, static_cast<int>(std::min<size_t>(n, 1 << 30)));
            return r > 0 ? r : -1;
        }
        for (;;) {
            ssize_t r = ::recv(fd, buf, n, 0);
            if (r < 0 && errno == EINTR)
                continue;
            return r > 0 ? r : -1;
        }
    }
    bool SendAll(const char* data, size_t n)
    {
        while (n > 0) {
            ssize_t r;
            if (ssl) {
                int w = SSL_write(ssl, data, static_cast<int>(std::min<size_t>(n, 1 << 30)));
                r = w > 0 ? w : -1;
            } else {
                r = ::send(fd, data, n, MSG_NOSIGNAL);
                if (r < 0 && errno == EINTR)
                    continue;
            }
            if (r <= 0)
                return false;
            data += r;
            n -= static_cast<size_t>(r);
        }
        return true;
    }
    bool SendAll(const std::string& text) { return SendAll(text.data(), text.size()); }
    // Reads up to and including the blank line that ends a request head.
    bool ReadHead(std::string& head)
    {
        char buf[8192];
        for (;;) {
            size_t end = pending.find("\r\n\r\n");
            if (end != std::string::npos) {
                head = pending.substr(0, end + 2);
                pending.erase(0, end + 4);
                return true;
            }
            if (pending.size() > kMaxHead)
                return false;
            ssize_t r = Recv(buf, sizeof buf);
            if (r <= 0)
                return false;
            pending.append(buf, static_cast<size_t>(r));
        }
    }
    bool ReadExact(size_t n, std::string& out)
    {
        char buf[65536];
        while (pending.size() < n) {
            ssize_t r = Recv(buf, sizeof buf);
            if (r <= 0)
                return false;
            pending.append(buf, static_cast<size_t>(r));
        }
        out = pending.substr(0, n);
        pending.erase(0, n);
        return true;
    }
};

uint8_t LoopbackServer::PatternByte(uint64_t offset)
{
    uint64_t x = offset * 0x9E3779B97F4A7C15ull;
    x ^= x >> 29;
    x ^= offset >> 31; // parts of a split file differ from each other
    return static_cast<uint8_t>(x ^ (x >> 17) ^ (x >> 41));
}

LoopbackServer::LoopbackServer(bool tls) : m_tls(tls)
{
    std::signal(SIGPIPE, SIG_IGN);
    if (!Start())
        m_port = 0;
}

LoopbackServer::~LoopbackServer()
{
    Stop();
    if (m_sslContext)
        SSL_CTX_free(static_cast<SSL_CTX*>(m_sslContext));
}

std::string LoopbackServer::BaseURL() const
{
    return std::string(m_tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_port);
}

bool LoopbackServer::Start()
{
    if (m_tls) {
        void* key = nullptr;
        void* cert = nullptr;
        if (!MakeLoopbackCertificate(&key, &cert, m_certPEM)) {
            m_error = "could not make the test certificate";
            return false;
        }
        SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
        bool ok = ctx && SSL_CTX_use_certificate(ctx, static_cast<X509*>(cert)) == 1 &&
                  SSL_CTX_use_PrivateKey(ctx, static_cast<EVP_PKEY*>(key)) == 1;
        X509_free(static_cast<X509*>(cert));
        EVP_PKEY_free(static_cast<EVP_PKEY*>(key));
        if (!ok) {
            SSL_CTX_free(ctx);
            m_error = "could not set up TLS";
            return false;
        }
        m_sslContext = ctx;
    }
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0) {
        m_error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_listenFd, 64) != 0 ||
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        m_error = std::string("bind/listen: ") + std::strerror(errno);
        ::close(m_listenFd);
        m_listenFd = -1;
        return false;
    }
    m_port = ntohs(addr.sin_port);
    m_acceptThread = std::thread([this] { AcceptLoop(); });
    return true;
}

void LoopbackServer::AcceptLoop()
{
    for (;;) {
        int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping) {
            if (fd >= 0)
                ::close(fd);
            return;
        }
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto conn = std::make_shared<Connection>();
        conn->fd = fd;
        conn->id = ++m_connections;
        m_open.push_back(conn);
        m_threads.emplace_back([this, conn] { Serve(conn); });
    }
}

void LoopbackServer::Serve(std::shared_ptr<Connection> conn)
{
    bool ok = true;
    if (m_sslContext) {
        conn->ssl = SSL_new(static_cast<SSL_CTX*>(m_sslContext));
        ok = conn->ssl && SSL_set_fd(conn->ssl, conn->fd) == 1 && SSL_accept(conn->ssl) == 1;
    }
    while (ok) {
        std::string head;
        if (!conn->ReadHead(head))
            break;
        LoopbackRequest request;
        request.connection = conn->id;
        size_t lineEnd = head.find("\r\n");
        std::string line = head.substr(0, lineEnd);
        size_t sp1 = line.find(' ');
        size_t sp2 = line.rfind(' ');
        if (sp1 == std::string::npos || sp2 == sp1) {
            conn->SendAll("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            break;
        }
        request.method = line.substr(0, sp1);
        std::string target = line.substr(sp1 + 1, sp2 - sp1 - 1);
        std::string version = line.substr(sp2 + 1);
        size_t q = target.find('?');
        request.path = target.substr(0, q);
        if (q != std::string::npos)
            request.query = target.substr(q + 1);
        size_t pos = lineEnd + 2;
        while (pos < head.size()) {
            size_t e = head.find("\r\n", pos);
            std::string h = head.substr(pos, e - pos);
            pos = e + 2;
            size_t colon = h.find(':');
            if (colon != std::string::npos)
                request.headers[Lower(Trim(h.substr(0, colon)))] = Trim(h.substr(colon + 1));
        }
        uint64_t bodyLength = 0;
        std::string cl = request.Header("content-length");
        if (!cl.empty() && (!ParseU64(cl, bodyLength) || bodyLength > kMaxBody)) {
            conn->SendAll("HTTP/1.1 413 Payload Too Large\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            break;
        }
        if (!request.Header("transfer-encoding").empty()) {
            conn->SendAll("HTTP/1.1 411 Length Required\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            break;
        }
        if (Lower(request.Header("expect")) == "100-continue" &&
            !conn->SendAll("HTTP/1.1 100 Continue\r\n\r\n"))
            break;
        if (bodyLength > 0 && !conn->ReadExact(static_cast<size_t>(bodyLength), request.body))
            break;
        bool keepAlive = version == "HTTP/1.1" && Lower(request.Header("connection")) != "close";
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requests.push_back(request);
        }
        if (!Answer(*conn, request, keepAlive) || !keepAlive)
            break;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (conn->ssl) {
        SSL_free(conn->ssl);
        conn->ssl = nullptr;
    }
    ::close(conn->fd);
    conn->fd = -1;
    m_open.erase(std::remove(m_open.begin(), m_open.end(), conn), m_open.end());
}

bool LoopbackServer::Pause(std::chrono::milliseconds duration)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_wake.wait_for(lock, duration, [this] { return m_stopping; });
    return !m_stopping;
}

bool LoopbackServer::Answer(Connection& conn, const LoopbackRequest& request, bool& keepAlive)
{
    PathRule rule;
    Handler handler;
    std::shared_ptr<Content> content;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        auto r = m_rules.find(request.path);
        if (r != m_rules.end())
            rule = r->second;
        if (rule.fault == LoopbackFault::StallBeforeHeaders) {
            m_wake.wait_for(lock, std::chrono::seconds(60),
                            [this] { return m_stopping || m_stallsReleased; });
            if (m_stopping)
                return false;
        }
        auto h = m_handlers.find({request.method, request.path});
        if (h != m_handlers.end())
            handler = h->second;
        auto f = m_files.find(request.path);
        if (f != m_files.end())
            content = f->second;
    }
    auto simple = [&](int status, const std::string& extraHeaders, const std::string& body) {
        std::string out = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n" +
                          extraHeaders + "Content-Length: " + std::to_string(body.size()) + "\r\n" +
                          (keepAlive ? "" : "Connection: close\r\n") + "\r\n";
        if (request.method != "HEAD")
            out += body;
        return conn.SendAll(out);
    };

    if (rule.fault == LoopbackFault::RedirectToPath)
        return simple(302, "Location: " + rule.target + "\r\n", "");
    if (rule.fault == LoopbackFault::RedirectToFileURL)
        return simple(302, "Location: file:///etc/hostname\r\n", "");
    if (handler) {
        LoopbackResponse response = handler(request);
        std::string extra;
        for (const auto& [name, value] : response.headers)
            extra += name + ": " + value + "\r\n";
        if (rule.fault == LoopbackFault::CloseMidBody) {
            // The full length is announced, half the body sent, then the connection ends.
            std::string out = "HTTP/1.1 " + std::to_string(response.status) + " " + Reason(response.status) +
                              "\r\n" + extra + "Content-Length: " + std::to_string(response.body.size()) +
                              "\r\n\r\n" + response.body.substr(0, response.body.size() / 2);
            conn.SendAll(out);
            return false;
        }
        return simple(response.status, extra, response.body);
    }
    if (rule.status != 0)
        return simple(rule.status, "", rule.statusBody);
    if (!content)
        return simple(404, "Content-Type: text/html\r\n", "<html><body>Not found</body></html>");
    if (request.method != "GET" && request.method != "HEAD")
        return simple(405, "", "");

    uint64_t size = content->size;
    uint64_t first = 0;
    uint64_t count = size;
    int status = 200;
    std::string range = request.Header("range");
    if (!range.empty() && rule.fault != LoopbackFault::IgnoreRange) {
        uint64_t a = 0, b = 0;
        bool ok = range.rfind("bytes=", 0) == 0;
        std::string spec = ok ? range.substr(6) : "";
        size_t dash = spec.find('-');
        ok = ok && dash != std::string::npos && ParseU64(spec.substr(0, dash), a);
        std::string last = ok ? spec.substr(dash + 1) : "";
        if (ok && last.empty())
            b = size == 0 ? 0 : size - 1;
        else if (ok)
            ok = ParseU64(last, b) && b >= a;
        if (!ok || a >= size)
            return simple(416, "Content-Range: bytes */" + std::to_string(size) + "\r\n", "");
        b = std::min(b, size - 1);
        first = a;
        count = b - a + 1;
        status = 206;
    }
    std::string out = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n";
    out += "Accept-Ranges: bytes\r\n";
    if (status == 206)
        out += "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(first + count - 1) +
               "/" + std::to_string(size) + "\r\n";
    if (!(request.method == "HEAD" && rule.headWithoutLength))
        out += "Content-Length: " + std::to_string(count) + "\r\n";
    if (!keepAlive)
        out += "Connection: close\r\n";
    out += "\r\n";
    if (!conn.SendAll(out))
        return false;
    if (request.method == "HEAD")
        return true;
    return SendBody(conn, *content, first, count, rule);
}

bool LoopbackServer::SendBody(Connection& conn, const Content& content, uint64_t first, uint64_t count,
                              const PathRule& rule)
{
    uint64_t limit = count;
    if (rule.fault == LoopbackFault::CloseMidBody)
        limit = count / 2;
    size_t block = kSendBlock;
    if (rule.fault == LoopbackFault::Throttle)
        block = static_cast<size_t>(std::clamp<uint64_t>(rule.bytesPerSecond / 10, 1, kSendBlock));
    std::vector<char> buffer(block);
    uint64_t sent = 0;
    while (sent < limit) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(block, limit - sent));
        content.Fill(first + sent, buffer.data(), n);
        if (!conn.SendAll(buffer.data(), n))
            return false;
        sent += n;
        if (rule.fault == LoopbackFault::Throttle && sent < limit && !Pause(std::chrono::milliseconds(100)))
            return false;
    }
    return limit == count; // a cut body ends the connection
}

void LoopbackServer::AddFile(const std::string& path, std::string bytes)
{
    auto c = std::make_shared<Content>();
    c->size = bytes.size();
    c->bytes = std::move(bytes);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_files[path] = std::move(c);
}

void LoopbackServer::AddVirtualFile(const std::string& path, uint64_t size, ByteGenerator generator)
{
    auto c = std::make_shared<Content>();
    c->size = size;
    c->generator = generator ? std::move(generator) : ByteGenerator(PatternByte);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_files[path] = std::move(c);
}

void LoopbackServer::RemoveFile(const std::string& path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_files.erase(path);
}

void LoopbackServer::SetHeadWithoutLength(const std::string& path, bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rules[path].headWithoutLength = on;
}

void LoopbackServer::SetStatus(const std::string& path, int status, std::string body)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rules[path].status = status;
    m_rules[path].statusBody = std::move(body);
}

void LoopbackServer::AddPostHandler(const std::string& path, Handler handler)
{
    AddHandler("POST", path, std::move(handler));
}

void LoopbackServer::AddHandler(const std::string& method, const std::string& path, Handler handler)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_handlers[{method, path}] = std::move(handler);
}

void LoopbackServer::SetFault(const std::string& path, LoopbackFault fault, std::string target,
                              uint64_t bytesPerSecond)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    PathRule& rule = m_rules[path];
    rule.fault = fault;
    rule.target = std::move(target);
    rule.bytesPerSecond = bytesPerSecond;
}

void LoopbackServer::ReleaseStalls()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stallsReleased = true;
    m_wake.notify_all();
}

std::vector<LoopbackRequest> LoopbackServer::Requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

size_t LoopbackServer::RequestCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests.size();
}

void LoopbackServer::ClearRequests()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.clear();
}

int LoopbackServer::ConnectionCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connections;
}

void LoopbackServer::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping)
            return;
        m_stopping = true;
        m_wake.notify_all();
        if (m_listenFd >= 0)
            ::shutdown(m_listenFd, SHUT_RDWR);
    }
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto& conn : m_open)
            if (conn->fd >= 0)
                ::shutdown(conn->fd, SHUT_RDWR);
        threads.swap(m_threads);
    }
    for (auto& t : threads)
        t.join();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    m_listenFd = -1;
}

} // namespace tessatest
