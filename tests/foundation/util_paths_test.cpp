// Taking paths apart: local paths split at '/' only, foreign names at all
// three separators.
#include "foundation/util/Paths.h"

#include <gtest/gtest.h>

namespace {

TEST(PathsTest, LocalPathsSplitAtSlashOnly)
{
    EXPECT_EQ(PathDirectory("chart.rlt"), ".");
    EXPECT_EQ(PathDirectory("/home/u/charts/a.rlt"), "/home/u/charts");
    EXPECT_EQ(PathDirectory("/a.rlt"), "/");
    // ':' and '\\' are ordinary characters in Linux file names.
    EXPECT_EQ(PathDirectory("/data/Bay: North\\South.rlt"), "/data");
    EXPECT_EQ(PathFileName("/data/Bay: North\\South.rlt"), "Bay: North\\South.rlt");
    EXPECT_EQ(PathFileName("plain"), "plain");
    EXPECT_EQ(PathFileName("/folder/"), "");
}

TEST(PathsTest, ForeignNamesSplitAtAllThreeSeparators)
{
    EXPECT_EQ(ForeignPathDirectory("maps\\north.rlt"), "maps");
    EXPECT_EQ(ForeignPathFileName("maps\\north.rlt"), "north.rlt");
    EXPECT_EQ(ForeignPathFileName("Disk:Charts:east.rlt"), "east.rlt");
    EXPECT_EQ(ForeignPathDirectory("east.rlt"), ".");
}

TEST(PathsTest, Extensions)
{
    EXPECT_EQ(PathExtension("/a.b/track.GPX"), "GPX");
    EXPECT_EQ(PathExtension("/a.b/track"), "");
    EXPECT_EQ(PathBaseName("/a/track.v2.gpx"), "track.v2");
    EXPECT_EQ(PathChangeExtension("/a.b/track", "gpx"), "/a.b/track.gpx");
    EXPECT_EQ(PathChangeExtension("/a/track.txt", "gpx"), "/a/track.gpx");
    EXPECT_EQ(ReplaceExtension("/a/track.txt", ".bin"), "/a/track.bin");
    EXPECT_EQ(ReplaceExtension("/a/track.txt", "bin"), "/a/track.bin");
    EXPECT_TRUE(PathHasExtension("/a/Chart.RLT", "rlt"));
    EXPECT_TRUE(PathHasExtension("/a/Chart.rlt", ".RLT"));
    EXPECT_FALSE(PathHasExtension("/a/Chartrlt", "rlt"));
    EXPECT_FALSE(PathHasExtension("lt", "rlt"));
    EXPECT_TRUE(IsInAppBundle("/opt/Tessaroute.app/Contents/x"));
    EXPECT_FALSE(IsInAppBundle("/usr/share/tessaroute/x"));
}

TEST(PathsTest, PlainFileNamesStayInTheirFolder)
{
    EXPECT_TRUE(IsPlainFileName("route 1.gpx"));
    EXPECT_TRUE(IsPlainFileName("..hidden"));
    EXPECT_FALSE(IsPlainFileName(""));
    EXPECT_FALSE(IsPlainFileName("."));
    EXPECT_FALSE(IsPlainFileName(".."));
    EXPECT_FALSE(IsPlainFileName("../x"));
    EXPECT_FALSE(IsPlainFileName(std::string("a\0b", 3)));
}

} // namespace
