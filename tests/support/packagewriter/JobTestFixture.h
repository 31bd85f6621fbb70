#pragma once
// Fixtures of the job and download tests: a clean pending list around each
// test, and for downloads a loopback server and a scratch target folder.
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/jobs/ProgressJobs.h"
#include "loopback/LoopbackServer.h"
#include "support/QtAdaptors.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string>

namespace tessatest {

class ProgressTest : public ::testing::Test
{
protected:
    void SetUp() override { ClearPendingCallbacksForTesting(); }
    void TearDown() override { ClearPendingCallbacksForTesting(); }
    // Parented jobs show the real progress dialog, as in the application.
    CQtAdaptors adaptors;
};

class DownloadTest : public ProgressTest
{
protected:
    void SetUp() override
    {
        ProgressTest::SetUp();
        ASSERT_NE(server.Port(), 0) << server.Error();
        char tmpl[] = "/tmp/tessa-jobs-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        folder = tmpl;
    }
    void TearDown() override
    {
        SetQuickDownloadLimitForTesting(1000);
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
        ProgressTest::TearDown();
    }
    LoopbackServer server;
    std::string folder;
};

} // namespace tessatest
