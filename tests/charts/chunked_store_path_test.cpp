// The chunk store beside a chunked chart in every spelling of its extension:
// the one the chart reads, and all of them going when the chart is deleted.
#include "charts/chartlist/ChartList.h"
#include "charts/chunked/ChunkStorePath.h"
#include "chartwriter/ChartWriter.h"
#include "support/TestPaths.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

void WriteChart(const std::string& path, const std::string& edition)
{
    fs::create_directories(fs::path(path).parent_path());
    chartwriter::CChartWriter w(2, 2);
    w.name = "Bay";
    w.mapType = "Topo";
    w.edition = edition;
    chartwriter::PlateCarreeCoefficients(30, 41, 31, 40, 128, 128, w.forward, w.inverse);
    ASSERT_TRUE(w.Write(path));
}

// A store as one file, or as a folder of part files when the name ends in '/'.
void MakeStore(const std::string& path)
{
    if (path.back() == '/') {
        fs::create_directories(path);
        std::ofstream(path + "0") << "part";
    } else {
        std::ofstream(path) << "store";
    }
}

struct StoreCase
{
    const char* name;
    std::vector<std::string> stores; // extensions, '/' for a folder
    std::string read;                // the extension the chart reads
};

} // namespace

TEST(ChunkStorePaths, TheChartReadsOneSpellingAndDeletionRemovesThemAll)
{
    const std::vector<StoreCase> cases = {
        {"lower case only", {".rl3"}, ".rl3"},
        {"upper case only", {".RL3"}, ".RL3"},
        {"both: upper case is read", {".rl3", ".RL3"}, ".RL3"},
        {"a folder store in mixed case", {".Rl3/"}, ".rl3"},
        {"every spelling", {".rl3/", ".RL3", ".rL3"}, ".RL3"},
        {"none", {}, ".rl3"},
    };
    for (const StoreCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string root = tessatest::MakeScratchDir("storepaths");
        const std::string chart = root + "/charts/bay.rlt";
        WriteChart(chart, "5");
        for (const std::string& ext : c.stores)
            MakeStore(root + "/charts/bay" + ext);
        // A store of another chart whose name only begins alike stays.
        MakeStore(root + "/charts/bayside.rl3");

        EXPECT_EQ(ChunkStorePathFor(chart), root + "/charts/bay" + c.read);
        std::vector<std::string> found = ExistingChunkStorePaths(chart);
        EXPECT_EQ(found.size(), c.stores.size());

        CChartFolders folders;
        folders.standard = {root + "/charts"};
        folders.documents = root + "/charts";
        folders.mapStore = root + "/charts/MVT";
        folders.mapFoldersFile = root + "/map_folders.txt";
        CChartList list;
        list.Init(folders);
        ASSERT_TRUE(list.DeleteChart(list.FindByPath(chart)));
        EXPECT_FALSE(fs::exists(chart));
        for (const std::string& ext : c.stores) {
            std::string path = root + "/charts/bay" + ext;
            if (path.back() == '/')
                path.pop_back();
            EXPECT_FALSE(fs::exists(path)) << path;
        }
        EXPECT_TRUE(fs::exists(root + "/charts/bayside.rl3"));
        fs::remove_all(root);
    }
}

TEST(ChunkStorePaths, ADuplicateTakesItsUpperCaseStoreWithIt)
{
    const std::string root = tessatest::MakeScratchDir("storedupes");
    WriteChart(root + "/charts/set1/bay.rlt", "5");
    WriteChart(root + "/charts/set2/bay.rlt", "6");
    MakeStore(root + "/charts/set1/bay.RL3");
    MakeStore(root + "/charts/set2/bay.RL3");
    CChartFolders folders;
    folders.standard = {root + "/charts"};
    folders.documents = root + "/charts";
    folders.mapStore = root + "/charts/MVT";
    folders.mapFoldersFile = root + "/map_folders.txt";
    CChartList list;
    list.Init(folders);
    EXPECT_EQ(list.RemoveDuplicateMaps(), 1);
    EXPECT_FALSE(fs::exists(root + "/charts/set1/bay.RL3"));
    EXPECT_TRUE(fs::exists(root + "/charts/set2/bay.RL3"));
    fs::remove_all(root);
}
