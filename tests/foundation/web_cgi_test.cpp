// Server-program requests: the typed body goes out as posted, a 2xx reply is
// read back with the same encodings, and an error reply is never taken for a
// reply, neither in memory nor in the request file.
// Threads: the loopback server serves connections on its own threads.
// TESSA_TSAN_LABEL
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundation/web/WebBinaryCGI.h"
#include "support/TestPaths.h"
#include "support/loopback/LoopbackServer.h"

using tessatest::LoopbackRequest;
using tessatest::LoopbackResponse;
using tessatest::LoopbackServer;

namespace {

std::string U32(uint32_t v)
{
    std::string out(4, '\0');
    std::memcpy(out.data(), &v, 4);
    return out;
}

// A string as the wide form stores it: u32 length, then 2 bytes per character.
std::string Wide(const std::string& text)
{
    std::string out = U32(static_cast<uint32_t>(text.size()));
    for (char c : text) {
        out += c;
        out += static_cast<char>(static_cast<signed char>(c) < 0 ? 0xFF : 0);
    }
    return out;
}

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class WebCGI : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CWebServer::SetDefaultTimeouts(2000, 2000);
        ASSERT_NE(server.Port(), 0);
        server.AddPostHandler("/cgi-bin/mapstore3.cgi", [](const LoopbackRequest& r) {
            // Answers opcode 101 with status 0 and one name; anything else with 1.
            bool ok = r.body.substr(0, 4) == U32(101);
            return LoopbackResponse{200, {}, U32(0x5EED) + U32(ok ? 0 : 1) + Wide("Bay chart")};
        });
        server.AddPostHandler("/cgi-bin/fail.cgi", [](const LoopbackRequest&) {
            return LoopbackResponse{500, {}, U32(0x5EED) + U32(0) + "<html>error</html>"};
        });
        server.AddPostHandler("/cgi-bin/sync.cgi", [](const LoopbackRequest& r) {
            return LoopbackResponse{200, {}, "synced:" + r.body};
        });
    }
    LoopbackServer server;
};

} // namespace

TEST_F(WebCGI, ExecutePostsTheBodyAndReadsTheReply)
{
    CWebBinaryCGI cgi(LoopbackServer::Host(), "cgi-bin/mapstore3.cgi", false, server.Port());
    EXPECT_EQ(cgi.GetRequestURL(), server.BaseURL() + "/cgi-bin/mapstore3.cgi");
    uint32_t opcode = 101;
    std::string name = "Kiel";
    EXPECT_TRUE(cgi.Exchange(opcode));
    EXPECT_TRUE(cgi.ExchangeString(name));
    EXPECT_FALSE(cgi.Reply().IsGood());
    ASSERT_TRUE(cgi.Execute()) << cgi.Web().GetErrorText();

    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].body, U32(101) + Wide("Kiel"));
    EXPECT_EQ(requests[0].Header("user-agent"), CWebServer::UserAgent());

    CTypeSerializer& reply = cgi.Reply();
    EXPECT_TRUE(reply.ExchangeTag(0x5EED));
    uint32_t status = 99;
    EXPECT_TRUE(reply.Exchange(status));
    EXPECT_EQ(status, 0u);
    std::string listed;
    EXPECT_TRUE(reply.ExchangeString(listed));
    EXPECT_EQ(listed, "Bay chart");
    uint32_t beyond = 0;
    EXPECT_FALSE(reply.Exchange(beyond)); // reads past the reply fail
}

TEST_F(WebCGI, ErrorRepliesFailExecute)
{
    CWebBinaryCGI cgi(LoopbackServer::Host(), "/cgi-bin/fail.cgi", false, server.Port());
    uint32_t opcode = 101;
    cgi.Exchange(opcode);
    EXPECT_FALSE(cgi.Execute());
    EXPECT_EQ(cgi.Web().GetErrorCode(), 500);
    EXPECT_EQ(cgi.Web().GetErrorText().rfind("Error code 500\n(", 0), 0u);
    EXPECT_FALSE(cgi.Reply().IsGood());

    CWebBinaryCGI missing(LoopbackServer::Host(), "/cgi-bin/none.cgi", false, server.Port());
    EXPECT_FALSE(missing.Execute());
    EXPECT_EQ(missing.Web().GetErrorCode(), 404);

    CWebBinaryCGI unset("charts.tessaroute.example", "/cgi-bin/mapstore3.cgi", true, 0);
    EXPECT_FALSE(unset.Execute());
    EXPECT_NE(unset.Web().GetErrorText().find("No chart server is set"), std::string::npos);
    EXPECT_EQ(server.RequestCount(), 2u);
}

TEST_F(WebCGI, PostFileReplacesTheFileOnlyWithAGoodReply)
{
    std::string folder = tessatest::MakeScratchDir("web_cgi");
    std::string path = folder + "/sync_request.bin";
    std::ofstream(path, std::ios::binary) << std::string("\x01\x02request", 9);

    CWebBinaryCGI sync(LoopbackServer::Host(), "cgi-bin/sync.cgi", false, server.Port());
    uint32_t header = 7;
    sync.Exchange(header);
    ASSERT_TRUE(sync.PostFile(path.c_str())) << sync.Web().GetErrorText();
    EXPECT_EQ(ReadWhole(path), "synced:" + U32(7) + std::string("\x01\x02request", 9));

    std::ofstream(path, std::ios::binary) << "precious";
    CWebBinaryCGI fail(LoopbackServer::Host(), "cgi-bin/fail.cgi", false, server.Port());
    EXPECT_FALSE(fail.PostFile(path.c_str()));
    EXPECT_EQ(fail.Web().GetErrorCode(), 500);
    EXPECT_EQ(ReadWhole(path), "precious");
    EXPECT_FALSE(fail.PostFile((folder + "/absent.bin").c_str()));
    EXPECT_FALSE(fail.Web().GetErrorText().empty());
    size_t files = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(folder))
        ++files;
    EXPECT_EQ(files, 1u); // no temporary file left behind
    std::filesystem::remove_all(folder);
}
