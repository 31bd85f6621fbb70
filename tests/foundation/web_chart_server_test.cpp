// The chart server base: the unset placeholder that reaches nothing, the
// user's setting kept in the ini file, and the environment override tests use.
// Threads: the loopback server serves connections on its own threads.
// TESSA_TSAN_LABEL
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundation/settings/PersistantData.h"
#include "foundation/web/ChartServer.h"
#include "support/TestPaths.h"
#include "support/loopback/LoopbackServer.h"

using tessatest::LoopbackServer;

TEST(ChartServer, UnsetServerFailsEveryExchangeWithItsMessage)
{
    unsetenv(CChartServer::kEnvironmentVariable);
    CWebAddress base = CChartServer::Get();
    EXPECT_TRUE(base.secure);
    EXPECT_EQ(base.host, "charts.tessaroute.example");
    EXPECT_EQ(CChartServer::GetURL(), CChartServer::kDefaultURL);
    EXPECT_FALSE(CChartServer::IsSet());

    CWebServer web;
    ASSERT_TRUE(CChartServer::PointClient(web));
    char buffer[40];
    EXPECT_EQ(web.ReadRange("/mapchunks/x.rl3", 0, 40, buffer), 0);
    EXPECT_EQ(web.GetErrorCode(), -1);
    EXPECT_NE(web.GetErrorText().find("No chart server is set"), std::string::npos);
}

TEST(ChartServer, SettingIsCheckedStoredAndOverridden)
{
    std::string folder = tessatest::MakeScratchDir("chart_server");
    std::string ini = folder + "/settings.ini";
    PersistantData::SetIniPaths(ini, folder + "/secondary.ini");
    ASSERT_TRUE(PersistantData::LoadAll("settings"));
    unsetenv(CChartServer::kEnvironmentVariable);

    LoopbackServer server;
    ASSERT_NE(server.Port(), 0);
    server.AddFile("/mapchunks/x.rl3", "chunk store");
    std::string url = server.BaseURL();
    ASSERT_TRUE(CChartServer::Set(url + "/"));
    EXPECT_EQ(CChartServer::GetURL(), url);
    EXPECT_TRUE(CChartServer::IsSet());
    for (const char* bad : {"ftp://127.0.0.1", "http://127.0.0.1/cgi-bin", "http://h:99999", "127.0.0.1",
                            "http://a b", "http://u@h"})
        EXPECT_FALSE(CChartServer::Set(bad)) << bad;
    EXPECT_EQ(CChartServer::GetURL(), url);

    CWebServer web;
    ASSERT_TRUE(CChartServer::PointClient(web));
    char buffer[16];
    EXPECT_EQ(web.ReadRange("/mapchunks/x.rl3", 0, 5, buffer), 5);
    EXPECT_EQ(std::string(buffer, 5), "chunk");

    // Saved, changed, loaded again: the saved base comes back.
    ASSERT_TRUE(PersistantData::SaveAll()) << PersistantData::LastError();
    std::ifstream in(ini);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("chart_server:url="), std::string::npos) << text.str();
    ASSERT_TRUE(CChartServer::Set("https://other.example:8443"));
    ASSERT_TRUE(PersistantData::LoadAll("settings"));
    EXPECT_EQ(CChartServer::GetURL(), url);

    // A damaged stored value is ignored.
    std::ofstream(ini) << "chart_server:url=gopher://x\n";
    ASSERT_TRUE(PersistantData::LoadAll("settings"));
    EXPECT_EQ(CChartServer::GetURL(), url);

    // The environment wins while it holds a valid base; a bracketed IPv6 base is configuration.
    setenv(CChartServer::kEnvironmentVariable, "http://[::1]:9", 1);
    EXPECT_EQ(CChartServer::GetURL(), "http://[::1]:9");
    EXPECT_TRUE(CChartServer::PointClient(web));
    setenv(CChartServer::kEnvironmentVariable, "not a url", 1);
    EXPECT_EQ(CChartServer::GetURL(), url);
    unsetenv(CChartServer::kEnvironmentVariable);
    PersistantData::SetIniPaths("", "");
    std::filesystem::remove_all(folder);
}
