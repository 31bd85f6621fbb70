// The panel's background image fetched from the loopback server.
// The download runs on a job thread: TESSA_TSAN_LABEL
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/jobs/ProgressJobs.h"
#include "foundation/platform/PlatformFolders.h"
#include "loopback/LoopbackServer.h"
#include "panelfakes/RecordingWindows.h"
#include "panels/DisplayView.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

bool Exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

class BackgroundTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(server.Port(), 0) << server.Error();
        root = tessatest::MakeScratchDir("panels_background");
        SetFolderRootForTesting(root);
        ClearPendingCallbacksForTesting();
        // Without an owner no dialog shows; the attach waits for the download.
        SetQuickDownloadLimitForTesting(30000);
        server.AddFile("/images/bg.png", "picture");
        server.SetStatus("/images/missing.png", 404);
    }
    void TearDown() override
    {
        panel.Detach();
        CDisplayView::Settings().m_defaultBackground.clear();
        SetQuickDownloadLimitForTesting(1000);
        SetFolderRootForTesting("");
        server.Stop();
    }
    std::string Local(const std::string& path) { return root + "/data/tessaroute" + path; }

    tessatest::LoopbackServer server;
    tessatest::RecordingWindowFactory factory;
    CDisplayView panel;
    tessatest::FakeHost host{400, 300};
    std::string root;
};

TEST_F(BackgroundTest, URLBecomesItsPathOnceFetched)
{
    std::string& setting = CDisplayView::Settings().m_defaultBackground;
    setting = server.BaseURL() + "/images/bg.png";
    panel.Attach(&host, nullptr);
    EXPECT_EQ(setting, "/images/bg.png");
    ASSERT_EQ(host.m_backgrounds.size(), 1u);
    EXPECT_EQ(host.m_backgrounds[0], Local("/images/bg.png"));
    EXPECT_TRUE(Exists(Local("/images/bg.png")));
    EXPECT_EQ(server.RequestCount(), 1u);

    // While the file exists nothing is fetched again, URL or not.
    panel.Detach();
    panel.Attach(&host, nullptr);
    setting = server.BaseURL() + "/images/bg.png";
    panel.Attach(&host, nullptr);
    EXPECT_EQ(server.RequestCount(), 1u);
    EXPECT_EQ(host.m_backgrounds.size(), 3u);
    EXPECT_EQ(setting, "/images/bg.png");
}

TEST_F(BackgroundTest, FailedDownloadKeepsTheURLForTheNextAttach)
{
    std::string& setting = CDisplayView::Settings().m_defaultBackground;
    const std::string url = server.BaseURL() + "/images/missing.png";
    setting = url;
    panel.Attach(&host, nullptr);
    EXPECT_EQ(setting, url);
    EXPECT_TRUE(host.m_backgrounds.empty());
    EXPECT_FALSE(Exists(Local("/images/missing.png")));
    panel.Attach(&host, nullptr);
    EXPECT_EQ(server.RequestCount(), 2u); // tried again
}

TEST_F(BackgroundTest, RefusedSourcesAreIgnored)
{
    const std::string refused[] = {
        server.BaseURL() + "/images/../../../outside.png",
        server.BaseURL() + "/..",
        "file:///etc/passwd",
        "ftp://127.0.0.1/images/bg.png",
        server.BaseURL(),
        "../outside.png",
    };
    for (const std::string& source : refused) {
        CDisplayView::Settings().m_defaultBackground = source;
        panel.Attach(&host, nullptr);
        EXPECT_EQ(CDisplayView::Settings().m_defaultBackground, source);
        EXPECT_TRUE(host.m_backgrounds.empty()) << source;
    }
    EXPECT_EQ(server.RequestCount(), 0u);
    EXPECT_FALSE(Exists(root + "/outside.png"));
    EXPECT_FALSE(Exists(root + "/data/outside.png"));
}

} // namespace
