// The web client against the loopback server: ranged reads over split files,
// refused and misbehaving replies, downloads that never destroy a good file,
// size queries, redirects, the connect hook and https.
// Threads: the loopback server serves every connection on its own thread.
// TESSA_TSAN_LABEL
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <vector>

#include "foundation/web/WebServer.h"
#include "support/TestPaths.h"
#include "support/loopback/LoopbackServer.h"

using tessatest::LoopbackFault;
using tessatest::LoopbackServer;

namespace {

constexpr int64_t kPart = int64_t(1) << 31;

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteWhole(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

size_t FilesIn(const std::string& folder)
{
    size_t n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(folder))
        ++n;
    return n;
}

// Part k of a split virtual file: its bytes continue the pattern of the whole.
LoopbackServer::ByteGenerator PartBytes(int part)
{
    return [part](uint64_t offset) { return LoopbackServer::PatternByte(offset + uint64_t(part) * kPart); };
}

class WebClient : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CWebServer::SetDefaultTimeouts(2000, 2000);
        ASSERT_NE(server.Port(), 0) << server.Error();
    }
    CWebServer Client() { return CWebServer(LoopbackServer::Host(), false, server.Port()); }

    LoopbackServer server;
};

} // namespace

TEST_F(WebClient, RangedReadsCrossThePartSplit)
{
    server.AddVirtualFile("/mapchunks/big.rl3", kPart, PartBytes(0));
    server.AddVirtualFile("/mapchunks/big.rl3.1", kPart, PartBytes(1));
    server.AddVirtualFile("/mapchunks/big.rl3.5", 1000, PartBytes(5));
    CWebServer web(LoopbackServer::Host(), false, server.Port());
    CWebProgress progress;
    web.SetProgress(&progress);

    std::vector<uint8_t> buffer(100);
    ASSERT_EQ(web.ReadRange("/mapchunks/big.rl3", kPart - 40, 100, buffer.data()), 100) << web.GetErrorText();
    EXPECT_EQ(web.GetErrorCode(), 0);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(buffer[i], LoopbackServer::PatternByte(kPart - 40 + i)) << i;
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].path, "/mapchunks/big.rl3");
    EXPECT_EQ(requests[0].Header("range"), "bytes=2147483608-2147483647");
    EXPECT_EQ(requests[1].path, "/mapchunks/big.rl3.1");
    EXPECT_EQ(requests[1].Header("range"), "bytes=0-59");
    EXPECT_EQ(progress.done.load(), 60);
    EXPECT_EQ(progress.total.load(), 60);

    server.ClearRequests();
    std::vector<uint8_t> small(16);
    ASSERT_EQ(web.ReadRange("/mapchunks/big.rl3", 5 * kPart + 7, 16, small.data()), 16);
    for (int i = 0; i < 16; ++i)
        ASSERT_EQ(small[i], LoopbackServer::PatternByte(5 * kPart + 7 + i));
    requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/mapchunks/big.rl3.5");
    EXPECT_EQ(requests[0].Header("range"), "bytes=7-22");
    // A short error page is read to its end, so even a refused read keeps
    // the connection: every request went over the one the client holds.
    EXPECT_EQ(web.ReadRange("/mapchunks/big.rl3.slredir.txt", 0, 199, small.data()), 0);
    EXPECT_EQ(web.GetErrorCode(), 404);
    EXPECT_EQ(web.ReadRange("/mapchunks/big.rl3", 0, 16, small.data()), 16);
    EXPECT_EQ(server.ConnectionCount(), 1);
}

TEST_F(WebClient, RefusedRangedRepliesAreShortReadsWithTheirStatus)
{
    CWebServer web = Client();
    std::vector<char> buffer(64, 'x');
    EXPECT_EQ(web.ReadRange("/missing.rl3", 0, 64, buffer.data()), 0);
    EXPECT_EQ(web.GetErrorCode(), 404);
    EXPECT_EQ(web.GetErrorText().rfind("Error code 404\n(", 0), 0u) << web.GetErrorText();
    EXPECT_NE(web.GetErrorText().find("/missing.rl3)"), std::string::npos);
    EXPECT_EQ(buffer[0], 'x'); // the error page never lands in the caller's buffer

    // A file that ends inside the range gives what exists, without an error.
    server.AddFile("/short.txt", "host-7.example\n");
    EXPECT_EQ(web.ReadRange("/short.txt", 0, 199, buffer.data()), 15);
    EXPECT_EQ(web.GetErrorCode(), 0);
    EXPECT_EQ(std::string(buffer.data(), 15), "host-7.example\n");

    EXPECT_EQ(web.ReadRange("/short.txt", 100, 10, buffer.data()), 0);
    EXPECT_EQ(web.GetErrorCode(), 416);

    server.SetStatus("/broken", 500, "oops");
    EXPECT_EQ(web.ReadRange("/broken", 0, 10, buffer.data()), 0);
    EXPECT_EQ(web.GetErrorCode(), 500);

    // A server that ignores Range sends the file from its start: refused
    // anywhere but offset 0, where the bytes are cut to the size asked.
    std::string content(100000, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 7 + 3);
    server.AddFile("/norange.bin", content);
    server.SetFault("/norange.bin", LoopbackFault::IgnoreRange);
    std::fill(buffer.begin(), buffer.end(), 'x');
    EXPECT_EQ(web.ReadRange("/norange.bin", 10, 32, buffer.data()), 0);
    EXPECT_EQ(web.GetErrorCode(), 200);
    EXPECT_EQ(web.GetErrorText().rfind("Error code 200\n(", 0), 0u);
    EXPECT_EQ(buffer[0], 'x');
    ASSERT_EQ(web.ReadRange("/norange.bin", 0, 32, buffer.data()), 32);
    EXPECT_EQ(web.GetErrorCode(), 0);
    EXPECT_EQ(std::string(buffer.data(), 32), content.substr(0, 32));

    // A body cut short by the server is a short read with a transport error.
    server.AddFile("/cut.bin", content);
    server.SetFault("/cut.bin", LoopbackFault::CloseMidBody);
    std::vector<char> big(content.size());
    int32_t got = web.ReadRange("/cut.bin", 0, static_cast<int32_t>(big.size()), big.data());
    EXPECT_LT(got, static_cast<int32_t>(big.size()));
    EXPECT_EQ(web.GetErrorCode(), -1);
    EXPECT_FALSE(web.GetErrorText().empty());
    EXPECT_EQ(std::string(big.data(), static_cast<size_t>(got)), content.substr(0, static_cast<size_t>(got)));

    // A good read right after clears the old error.
    EXPECT_EQ(web.ReadRange("/short.txt", 0, 4, buffer.data()), 4);
    EXPECT_EQ(web.GetErrorCode(), 0);
    EXPECT_TRUE(web.GetErrorText().empty());
}

TEST_F(WebClient, SizeQueries)
{
    server.AddVirtualFile("/mapchunks/huge.rl3", 5 * kPart + 123);
    server.AddFile("/nolength.bin", "abc");
    server.SetHeadWithoutLength("/nolength.bin");
    CWebServer web;
    std::string base = server.BaseURL();
    EXPECT_EQ(web.GetRemoteFileSize((base + "/mapchunks/huge.rl3").c_str()), 5 * kPart + 123);
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "HEAD");
    EXPECT_EQ(requests[0].Header("accept-encoding"), "identity");
    EXPECT_EQ(web.GetRemoteFileSize((base + "/nolength.bin").c_str()), -1);
    EXPECT_EQ(web.GetRemoteFileSize((base + "/missing.rl3").c_str()), -1);
    EXPECT_EQ(web.GetErrorCode(), 404);
    EXPECT_EQ(web.GetRemoteFileSize("ftp://127.0.0.1/x"), -1);
    EXPECT_EQ(web.GetRemoteFileSize("not a url"), -1);
    EXPECT_EQ(server.RequestCount(), 3u);
}

TEST_F(WebClient, DownloadsReplaceTheFileOnlyWhenComplete)
{
    std::string folder = tessatest::MakeScratchDir("web_download");
    std::string target = folder + "/maps/chart.rlt";
    server.AddFile("/MVT/chart.rlt", "new chart bytes");
    CWebServer web = Client();
    CWebProgress progress;
    web.SetProgress(&progress);
    ASSERT_TRUE(web.DownloadFile("/MVT/chart.rlt", target.c_str())) << web.GetErrorText();
    EXPECT_EQ(ReadWhole(target), "new chart bytes");
    EXPECT_EQ(progress.done.load(), 15);
    EXPECT_EQ(std::filesystem::status(target).permissions() & std::filesystem::perms::others_read,
              std::filesystem::perms::others_read);

    // Refused, cut and cancelled downloads leave the good file as it was and no temporary file.
    WriteWhole(target, "good old chart");
    EXPECT_FALSE(web.DownloadFile("/MVT/missing.rlt", target.c_str()));
    EXPECT_EQ(web.GetErrorCode(), 404);
    EXPECT_EQ(web.GetErrorText().rfind("Error code 404\n(", 0), 0u);
    EXPECT_EQ(ReadWhole(target), "good old chart");

    server.AddFile("/MVT/cut.rlt", std::string(200000, 'c'));
    server.SetFault("/MVT/cut.rlt", LoopbackFault::CloseMidBody);
    EXPECT_FALSE(web.DownloadFile("/MVT/cut.rlt", target.c_str()));
    EXPECT_EQ(web.GetErrorCode(), -1);
    EXPECT_EQ(ReadWhole(target), "good old chart");

    server.AddFile("/MVT/slow.rlt", std::string(100000, 's'));
    server.SetFault("/MVT/slow.rlt", LoopbackFault::Throttle, "", 100000);
    int calls = 0;
    web.SetProgressCallback([](void* arg) { return ++*static_cast<int*>(arg) < 3; }, &calls);
    EXPECT_FALSE(web.DownloadFile("/MVT/slow.rlt", target.c_str()));
    EXPECT_EQ(web.GetErrorCode(), -1);
    EXPECT_TRUE(web.GetErrorText().empty()); // a cancel shows no message
    EXPECT_EQ(ReadWhole(target), "good old chart");
    web.SetProgressCallback(nullptr, nullptr);
    EXPECT_EQ(FilesIn(folder + "/maps"), 1u);

    // A stale error never fails the next good download.
    ASSERT_TRUE(web.DownloadFile("MVT/chart.rlt", target.c_str()));
    EXPECT_EQ(web.GetErrorCode(), 0);
    EXPECT_EQ(ReadWhole(target), "new chart bytes");

    // Names that would leave the folder or the server are refused before any request.
    size_t before = server.RequestCount();
    EXPECT_FALSE(web.DownloadFile("/MVT/chart.rlt", (folder + "/maps/../../escape.rlt").c_str()));
    EXPECT_FALSE(web.DownloadFile("//elsewhere.example/x", target.c_str()));
    EXPECT_FALSE(web.DownloadFile("file:///etc/passwd", target.c_str()));
    EXPECT_FALSE(web.GetErrorText().empty());
    EXPECT_EQ(server.RequestCount(), before);
    std::filesystem::remove_all(folder);
}

TEST_F(WebClient, RedirectsOnlyToHttpAndAtMostFive)
{
    server.AddFile("/real.bin", "0123456789");
    server.SetFault("/moved.bin", LoopbackFault::RedirectToPath, "/real.bin");
    server.SetFault("/tofile.bin", LoopbackFault::RedirectToFileURL);
    for (int i = 0; i < 7; ++i)
        server.SetFault("/loop" + std::to_string(i), LoopbackFault::RedirectToPath,
                        "/loop" + std::to_string(i + 1));
    server.AddFile("/loop7", "end");
    CWebServer web = Client();
    char buffer[16] = {};
    EXPECT_EQ(web.ReadRange("/moved.bin", 2, 3, buffer), 3);
    EXPECT_EQ(std::string(buffer, 3), "234");
    EXPECT_EQ(web.ReadRange("/tofile.bin", 0, 3, buffer), 0);
    EXPECT_EQ(web.GetErrorCode(), -1);
    EXPECT_FALSE(web.GetErrorText().empty());
    EXPECT_EQ(web.ReadRange("/loop2", 0, 3, buffer), 3); // five redirects
    EXPECT_EQ(web.ReadRange("/loop1", 0, 3, buffer), 0); // six
    EXPECT_EQ(web.GetErrorCode(), -1);

    std::string folder = tessatest::MakeScratchDir("web_redirect");
    EXPECT_FALSE(web.DownloadFile("/tofile.bin", (folder + "/x").c_str()));
    EXPECT_FALSE(std::filesystem::exists(folder + "/x"));
    EXPECT_EQ(FilesIn(folder), 0u);
    std::filesystem::remove_all(folder);
}

TEST_F(WebClient, PathsAreEncodedAndHostsChecked)
{
    server.AddFile("/a%20b/c%3Fd", "ok");
    CWebServer web = Client();
    char buffer[4];
    EXPECT_EQ(web.ReadRange("/a b/c?d", 0, 2, buffer), 2);

    CWebServer bad("evil.example/x", false, server.Port());
    EXPECT_FALSE(bad.HasBaseURL());
    EXPECT_EQ(bad.ReadRange("/a", 0, 2, buffer), -1);
    EXPECT_FALSE(bad.GetErrorText().empty());
    EXPECT_FALSE(bad.DownloadFile("/a", "/tmp/never"));
    EXPECT_FALSE(CWebServer("127.0.0.1\r\nX: y", false, 80).HasBaseURL());
    EXPECT_FALSE(CWebServer("127.0.0.1", false, 70000).HasBaseURL());
    EXPECT_FALSE(CWebServer("[::1]", false, 80).HasBaseURL());
    CWebServer configured;
    EXPECT_TRUE(configured.SetHost("[::1]", false, 80, true));
    EXPECT_EQ(configured.GetBaseURL(), "http://[::1]:80");
    EXPECT_EQ(server.RequestCount(), 1u);
}

TEST_F(WebClient, PlaceholderServerIsNeverContacted)
{
    CWebServer web("charts.tessaroute.example", true, 0);
    ASSERT_TRUE(web.HasBaseURL());
    char buffer[8];
    EXPECT_EQ(web.ReadRange("/mapchunks/a.rl3", 0, 8, buffer), 0);
    EXPECT_EQ(web.GetErrorCode(), -1);
    EXPECT_NE(web.GetErrorText().find("No chart server is set"), std::string::npos);
    EXPECT_FALSE(web.DownloadFile("/x", "/tmp/tessa-never-written"));
    EXPECT_NE(web.GetErrorText().find("No chart server is set"), std::string::npos);
    EXPECT_EQ(web.GetRemoteFileSize("https://charts.tessaroute.example/x"), -1);
    EXPECT_NE(web.GetErrorText().find("No chart server is set"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists("/tmp/tessa-never-written"));
}

TEST_F(WebClient, ConnectHookAndRetargeting)
{
    server.AddFile("/a.bin", "abcdef");
    LoopbackServer other;
    ASSERT_NE(other.Port(), 0);
    other.AddFile("/a.bin", "ABCDEF");
    CWebServer web = Client();
    bool allow = false;
    web.SetConnectHook([](void* arg) { return *static_cast<bool*>(arg); }, &allow);
    char buffer[8];
    EXPECT_FALSE(web.ContinueTest());
    EXPECT_EQ(web.ReadRange("/a.bin", 0, 3, buffer), 0);
    EXPECT_EQ(web.GetErrorCode(), -1);
    EXPECT_TRUE(web.GetErrorText().empty());
    EXPECT_EQ(server.RequestCount(), 0u);
    allow = true;
    EXPECT_TRUE(web.ContinueTest());
    EXPECT_EQ(web.ReadRange("/a.bin", 1, 3, buffer), 3);
    EXPECT_EQ(std::string(buffer, 3), "bcd");
    ASSERT_TRUE(web.SetHost(LoopbackServer::Host(), false, other.Port()));
    EXPECT_EQ(web.ReadRange("/a.bin", 1, 3, buffer), 3);
    EXPECT_EQ(std::string(buffer, 3), "BCD");
    EXPECT_EQ(other.RequestCount(), 1u);
}

TEST_F(WebClient, StalledServerTimesOut)
{
    server.AddFile("/stall.bin", "x");
    server.SetFault("/stall.bin", LoopbackFault::StallBeforeHeaders);
    CWebServer web = Client();
    web.SetTimeouts(300, 300);
    char buffer[1];
    gNetworkErrorSeen = false;
    EXPECT_EQ(web.ReadRange("/stall.bin", 0, 1, buffer), 0);
    EXPECT_EQ(web.GetErrorCode(), -1);
    EXPECT_NE(web.GetErrorText().find("did not answer"), std::string::npos) << web.GetErrorText();
    EXPECT_TRUE(gNetworkErrorSeen.load());
    server.ReleaseStalls();
}

TEST_F(WebClient, PostSendsBodyAndUserAgent)
{
    server.AddPostHandler("/cgi-bin/echo.cgi", [](const tessatest::LoopbackRequest& r) {
        return tessatest::LoopbackResponse{200, {}, "reply:" + r.body};
    });
    server.AddPostHandler("/cgi-bin/fail.cgi", [](const tessatest::LoopbackRequest&) {
        return tessatest::LoopbackResponse{500, {}, "<html>error page</html>"};
    });
    CWebServer web = Client();
    std::string folder = tessatest::MakeScratchDir("web_post");
    std::string path = folder + "/reply";
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    std::string body("\x00\x01payload\xff", 10);
    ASSERT_TRUE(web.Post("cgi-bin/echo.cgi", body, fd)) << web.GetErrorText();
    EXPECT_EQ(ReadWhole(path), "reply:" + body);
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].body, body);
    EXPECT_EQ(requests[0].Header("user-agent"), CWebServer::UserAgent());
    EXPECT_EQ(CWebServer::UserAgent().rfind("TS/", 0), 0u);
    EXPECT_NE(CWebServer::UserAgent().find("-Linux/"), std::string::npos);

    ASSERT_EQ(::ftruncate(fd, 0), 0);
    ASSERT_EQ(::lseek(fd, 0, SEEK_SET), 0);
    EXPECT_FALSE(web.Post("/cgi-bin/fail.cgi", body, fd));
    EXPECT_EQ(web.GetErrorCode(), 500);
    EXPECT_EQ(ReadWhole(path), ""); // the error page is not taken as a reply
    ::close(fd);
    std::filesystem::remove_all(folder);
}

TEST(WebClientTLS, HttpsWithTheTestCertificate)
{
    CWebServer::SetDefaultTimeouts(3000, 3000);
    LoopbackServer server(true);
    ASSERT_NE(server.Port(), 0) << server.Error();
    server.AddFile("/secure.bin", "over tls");
    CWebServer untrusting(LoopbackServer::Host(), true, server.Port());
    char buffer[16];
    EXPECT_EQ(untrusting.ReadRange("/secure.bin", 0, 8, buffer), 0);
    EXPECT_EQ(untrusting.GetErrorCode(), -1);

    CWebServer::SetTrustedCertificates(server.CertificatePEM());
    CWebServer web(LoopbackServer::Host(), true, server.Port());
    EXPECT_EQ(web.ReadRange("/secure.bin", 0, 8, buffer), 8) << web.GetErrorText();
    EXPECT_EQ(std::string(buffer, 8), "over tls");
    EXPECT_EQ(web.GetRemoteFileSize((server.BaseURL() + "/secure.bin").c_str()), 8);
    CWebServer::SetTrustedCertificates("");
}

TEST(WebClientTLS, SecureRequestsAreNeverSentOnInClearAndPostsAreNeverSentOn)
{
    CWebServer::SetDefaultTimeouts(3000, 3000);
    LoopbackServer secure(true), plain;
    ASSERT_NE(secure.Port(), 0) << secure.Error();
    ASSERT_NE(plain.Port(), 0) << plain.Error();
    plain.AddFile("/clear.bin", "in clear");
    plain.AddPostHandler("/login",
                         [](const tessatest::LoopbackRequest&) { return tessatest::LoopbackResponse{}; });
    secure.AddFile("/kept.bin", "over tls");
    const std::string clear = plain.BaseURL();
    struct Case
    {
        const char* path;
        int status;
        std::string location;
        bool post;
        bool follows;
    };
    const Case cases[] = {
        {"/r302", 302, clear + "/clear.bin", false, false},
        {"/r307", 307, clear + "/login", true, false},
        {"/r308", 308, clear + "/login", true, false},
        {"/other-host", 307, "https://localhost:" + std::to_string(secure.Port()) + "/login", true, false},
        {"/same", 302, secure.BaseURL() + "/kept.bin", false, true},
    };
    for (const Case& c : cases)
        secure.AddHandler(c.post ? "POST" : "GET", c.path, [c](const tessatest::LoopbackRequest&) {
            return tessatest::LoopbackResponse{c.status, {{"Location", c.location}}, ""};
        });
    CWebServer::SetTrustedCertificates(secure.CertificatePEM());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        CWebServer web(LoopbackServer::Host(), true, secure.Port());
        bool ok = false;
        if (c.post) {
            ok = web.Post(c.path, "user=u&password=secret", -1);
        } else {
            char buffer[16] = {};
            ok = web.ReadRange(c.path, 0, 8, buffer) == 8;
        }
        EXPECT_EQ(ok, c.follows) << web.GetErrorText();
        if (!c.follows) {
            EXPECT_FALSE(web.GetErrorText().empty());
        }
    }
    // Nothing reached the plain server: no password went out in clear.
    EXPECT_EQ(plain.RequestCount(), 0u);
    CWebServer::SetTrustedCertificates("");
}
