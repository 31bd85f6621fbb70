// Where the chart view finds a chart's place-name index, and the download of
// one from the chart server when none is on disk. The download runs on a job
// thread: TESSA_TSAN_LABEL
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/platform/PlatformFolders.h"
#include "foundation/util/Folders.h"
#include "foundation/web/ChartServer.h"
#include "loopback/LoopbackServer.h"
#include "mapview/view/RasterleafView.h"
#include "support/PlaceIndexWriter.h"
#include "support/TestChartView.h"
#include "support/TestPaths.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

void Put(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

class PlaceLookup : public testing::Test
{
protected:
    void SetUp() override
    {
        root = tessatest::MakeScratchDir("places_lookup");
        SetFolderRootForTesting(root);
        ClearPendingCallbacksForTesting();
        ASSERT_NE(server.Port(), 0) << server.Error();
        setenv(CChartServer::kEnvironmentVariable, server.BaseURL().c_str(), 1);
        charts = root + "/charts";
        fs::create_directories(charts);
        documents = GetDocumentsFolder();
    }
    void TearDown() override
    {
        view.reset();
        server.Stop();
        unsetenv(CChartServer::kEnvironmentVariable);
        SetFolderRootForTesting("");
        fs::remove_all(root);
    }
    // Opens a view on a chart file of this name in the charts folder.
    void OpenChart(const std::string& fileName)
    {
        const std::string path = tessatest::WriteTestChart(charts + "/" + fileName, -20, 20, 20, -4, 4, 4);
        ASSERT_FALSE(path.empty());
        catalog = std::make_unique<tessatest::CFileChartCatalog>(path, -20, 20, 20, -4);
        CRasterleafView::Ports ports;
        ports.opener = &opener;
        ports.catalog = catalog.get();
        view = std::make_unique<CRasterleafView>(ports);
        view->SetViewRect(0, 0, 200, 200);
        view->GoToPosition(8, 0, 0);
        ASSERT_EQ(view->GetCurrentChartPath(), path);
    }
    std::string Lookup()
    {
        std::string found = "unset";
        view->GetPlacenameIndex(nullptr, [&found](const std::string& path) { found = path; });
        return found;
    }
    std::string root, charts, documents;
    tessatest::LoopbackServer server;
    tessatest::CFileChartOpener opener;
    std::unique_ptr<tessatest::CFileChartCatalog> catalog;
    std::unique_ptr<CRasterleafView> view;
};

const std::string kIndex = tessatest::PlaceIndex({{"COWES", 50.76, -1.3, 1}});

} // namespace

TEST(PlaceMapName, AcceptsOnlyPlainNames)
{
    struct Case
    {
        const char* name;
        bool ok;
    } cases[] = {
        {"Solent 2", true}, {"a_b.c-d", true}, {"A..B", true},    {"", false},     {".hidden", false},
        {"..", false},      {"a/b", false},    {"../x", false},   {"a\\b", false}, {"a:b", false},
        {"\xE9t", false},   {"a\nb", false},   {"%2e%2e", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CRasterleafView::IsPlaceMapName(c.name), c.ok) << c.name;
    EXPECT_EQ(CRasterleafView::PlaceMapName("/x/y/Solent 2.rlt"), "Solent 2");
    EXPECT_EQ(CRasterleafView::PlaceMapName("/x/y/.Solent.rlt"), "");
}

TEST_F(PlaceLookup, FollowsTheLookupOrder)
{
    OpenChart("Solent.rlt");
    const std::string beside = charts + "/Solent.tsx";
    const std::string inDocuments = documents + "/Solent.tsx";
    // Both exist: the file beside the chart wins; removing it shows the next.
    Put(beside, kIndex);
    Put(inDocuments, kIndex);
    EXPECT_EQ(Lookup(), beside);
    EXPECT_EQ(view->PlaceIndexPath(), beside);
    fs::remove(beside);
    EXPECT_EQ(Lookup(), inDocuments);
    fs::remove(inDocuments);
    // Neither exists: the index is fetched into the documents folder.
    server.AddFile("/Solent-small.tsx", kIndex);
    EXPECT_EQ(Lookup(), inDocuments);
    EXPECT_EQ(server.RequestCount(), 1u);
    EXPECT_TRUE(fs::exists(inDocuments));
    EXPECT_EQ(view->PlaceIndexPath(), inDocuments);
}

TEST_F(PlaceLookup, WithoutMapNameOnlyTheDefaultCounts)
{
    OpenChart(".hidden.rlt");
    EXPECT_EQ(Lookup(), "");
    Put(documents + "/default.tsx", kIndex);
    EXPECT_EQ(Lookup(), documents + "/default.tsx");
    EXPECT_EQ(server.RequestCount(), 0u) << "a chart without a map name asks for nothing";
}

TEST_F(PlaceLookup, DownloadReplacesTheTargetOnlyWhenValid)
{
    struct Case
    {
        const char* name;
        int status;
        std::string body;
        bool ok;
    } cases[] = {
        {"valid", 200, kIndex, true},
        {"not an index", 200, "<html>not found</html>", false},
        {"truncated", 200, kIndex.substr(0, kIndex.size() - 2), false},
        {"server error", 500, "", false},
        {"missing", 404, "", false},
    };
    OpenChart("Needles West.rlt");
    const std::string target = documents + "/Needles West.tsx";
    for (const Case& c : cases) {
        server.RemoveFile("/Needles%20West-small.tsx");
        server.SetStatus("/Needles%20West-small.tsx", 0);
        if (c.status == 200)
            server.AddFile("/Needles%20West-small.tsx", c.body);
        else
            server.SetStatus("/Needles%20West-small.tsx", c.status, "no");
        server.ClearRequests();
        fs::remove(target);
        EXPECT_EQ(Lookup(), c.ok ? target : "") << c.name;
        ASSERT_EQ(server.RequestCount(), 1u) << c.name;
        EXPECT_EQ(server.Requests()[0].path, "/Needles%20West-small.tsx") << c.name;
        EXPECT_EQ(fs::exists(target), c.ok) << c.name;
        size_t entries = 0;
        for (const auto& e : fs::directory_iterator(documents))
            entries += e.path().filename().string().find("download") != std::string::npos;
        EXPECT_EQ(entries, 0u) << c.name << ": no temporary file may stay";
    }
}
