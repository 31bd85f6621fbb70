// The map-store folder follows the storage option and the data folder as they
// are now, never as they were at the first call.
#include "charts/chartlist/ChartList.h"
#include "foundation/platform/PlatformFolders.h"
#include "foundation/util/Folders.h"
#include "support/TestPaths.h"

#include <filesystem>
#include <gtest/gtest.h>

TEST(MapStoreFolder, FollowsTheOptionAndTheDataFolder)
{
    const int32_t savedOption = CSelectMapTypes::Get().mvtStorageOption;
    const std::string rootA = tessatest::MakeScratchDir("mvt_a"), rootB = tessatest::MakeScratchDir("mvt_b");
    const struct
    {
        std::string root;
        int32_t option;
    } cases[] = {{rootA, 1}, {rootA, 0}, {rootB, 0}, {rootB, 1}, {rootA, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.root + " option " + std::to_string(c.option));
        SetFolderRootForTesting(c.root);
        CSelectMapTypes::Get().mvtStorageOption = c.option;
        const std::string expected =
            (c.option != 0 ? GetApplicationSupportFolder() : GetDocumentsFolder()) + "/MVT";
        EXPECT_EQ(expected.compare(0, c.root.size(), c.root), 0) << expected;
        EXPECT_EQ(GetMVTFolder(), expected);
        EXPECT_EQ(CChartList::ApplicationFolders().mapStore, expected);
    }
    SetFolderRootForTesting({});
    CSelectMapTypes::Get().mvtStorageOption = savedOption;
    std::filesystem::remove_all(rootA);
    std::filesystem::remove_all(rootB);
}
