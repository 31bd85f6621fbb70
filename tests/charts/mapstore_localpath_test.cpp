// A listing's URL path becomes a path in the map-store folder: only plain
// relative names are accepted, and never one that passes through a link.
#include "charts/mapstore/MapStoreDownload.h"
#include "support/TestPaths.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

TEST(MapStoreLocalPath, KeepsEveryAcceptedPathInsideTheFolder)
{
    const std::string dir = tessatest::MakeScratchDir("mapstore_localpath");
    ASSERT_FALSE(dir.empty());
    const std::string mvt = dir + "/MVT";
    std::filesystem::create_directories(mvt + "/sub");
    std::filesystem::create_directories(dir + "/outside");
    ASSERT_EQ(::symlink((dir + "/outside").c_str(), (mvt + "/out").c_str()), 0);
    ASSERT_EQ(::symlink("../../outside/x.rlt", (mvt + "/sub/file.rlt").c_str()), 0);

    const struct
    {
        std::string url;
        std::string local; // "" when refused
    } cases[] = {
        {"/MVT/sub/chart.rlt", mvt + "/sub/chart.rlt"},
        {"https://host/x/MVT/new/chart.rlt", mvt + "/new/chart.rlt"},
        {"chart.rlt", mvt + "/chart.rlt"},
        {"/MVT/../chart.rlt", ""},
        {"/MVT//etc/passwd", mvt + "/etc/passwd"},
        {"/MVT/sub/./chart.rlt", ""},
        {"/MVT/", ""},
        {std::string("/MVT/a\0b.rlt", 12), ""},
        {"/MVT/out/chart.rlt", ""},                     // a folder that is a link
        {"/MVT/out", ""},                               // the link itself
        {"/MVT/sub/file.rlt", ""},                      // a file that is a link
        {"/MVT/sub/out/x.rlt", mvt + "/sub/out/x.rlt"}, // nothing there yet: a plain name
    };
    for (const auto& c : cases) {
        std::string local = "stale";
        EXPECT_EQ(MapStoreLocalPath(mvt, c.url, local), !c.local.empty()) << c.url;
        EXPECT_EQ(local, c.local) << c.url;
    }
    std::string local;
    EXPECT_FALSE(MapStoreLocalPath("", "chart.rlt", local));
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

} // namespace
