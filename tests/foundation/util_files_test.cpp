// Files and folders on disk: scans that meet link loops, moves and copies that
// fail half-way, mappings at odd offsets.
#include "foundation/util/Files.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

namespace {

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void SetMTime(const std::string& path, time_t when)
{
    struct utimbuf times = {when, when};
    ::utime(path.c_str(), &times);
}

class FilesTest : public testing::Test
{
protected:
    void SetUp() override { dir = tessatest::MakeScratchDir("util_files"); }
    std::string dir;
};

TEST_F(FilesTest, CreateListAndFind)
{
    EXPECT_TRUE(CreateDirectoryPath(dir + "/a/b/c"));
    EXPECT_TRUE(IsDirectory(dir + "/a/b/c"));
    EXPECT_TRUE(CreateDirectoryPath(dir + "/a/b/c")); // exists already
    WriteText(dir + "/a/x.rlt", "12345");
    WriteText(dir + "/a/y.RLT.bak", "1");
    WriteText(dir + "/a/z.rlt", "");
    WriteText(dir + "/a/.hidden", "abc");
    EXPECT_FALSE(CreateDirectoryPath(dir + "/a/x.rlt/sub"));

    std::vector<std::string> found = FindFiles(dir + "/a", "*.RLT");
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{dir + "/a/x.rlt", dir + "/a/z.rlt"}));
    EXPECT_TRUE(MatchFileNamePattern("?.rl*", "x.rlt.bak"));
    EXPECT_FALSE(MatchFileNamePattern("?.rlt", "xx.rlt"));
    // A pattern built to backtrack badly still ends quickly.
    EXPECT_FALSE(MatchFileNamePattern("*a*a*a*a*a*a*a*a*b", std::string(200, 'a')));

    EXPECT_EQ(ListFolder(dir + "/a").size(), 5u);
    EXPECT_EQ(ListSubfolders(dir + "/a"), (std::vector<std::string>{"b"}));
    EXPECT_EQ(GetFolderSize(dir + "/a"), 6); // hidden files and folders not counted
    EXPECT_EQ(GetFileSize(dir + "/a/x.rlt"), 5);
    EXPECT_EQ(GetFileSize(dir + "/missing"), 0);
}

TEST_F(FilesTest, NewestTimeScanEndsOnALinkLoop)
{
    CreateDirectoryPath(dir + "/charts/sub");
    WriteText(dir + "/charts/sub/new.rlt", "x");
    SetMTime(dir + "/charts/sub/new.rlt", 2000000000);
    ASSERT_EQ(::symlink("..", (dir + "/charts/sub/loop").c_str()), 0);
    ASSERT_EQ(::symlink(dir.c_str(), (dir + "/charts/up").c_str()), 0);
    // A file behind a link is not counted as part of the folder.
    WriteText(dir + "/outside.rlt", "y");
    SetMTime(dir + "/outside.rlt", 2100000000);
    EXPECT_EQ(GetNewestModificationTime(dir + "/charts"), 2000000000);
}

TEST_F(FilesTest, DeleteFolderRemovesLinksButNotTheirTargets)
{
    CreateDirectoryPath(dir + "/keep");
    WriteText(dir + "/keep/precious.txt", "data");
    CreateDirectoryPath(dir + "/gone");
    WriteText(dir + "/gone/a.txt", "a");
    ASSERT_EQ(::symlink((dir + "/keep").c_str(), (dir + "/gone/link").c_str()), 0);
    EXPECT_TRUE(DeleteFolder(dir + "/gone"));
    EXPECT_FALSE(IsDirectory(dir + "/gone"));
    EXPECT_EQ(ReadText(dir + "/keep/precious.txt"), "data");

    // A link to a folder is removed as a link.
    ASSERT_EQ(::symlink((dir + "/keep").c_str(), (dir + "/link2").c_str()), 0);
    EXPECT_TRUE(DeleteFolder(dir + "/link2"));
    EXPECT_EQ(ReadText(dir + "/keep/precious.txt"), "data");
    EXPECT_FALSE(DeleteFolder(dir + "/nothing"));
}

TEST_F(FilesTest, FailedMoveOrCopyKeepsSourceAndTarget)
{
    WriteText(dir + "/source.bin", "payload");
    WriteText(dir + "/target.bin", "old target");
    // The target's folder does not exist: nothing may be lost.
    EXPECT_FALSE(MoveFile(dir + "/source.bin", dir + "/no/such/folder/t.bin"));
    EXPECT_EQ(ReadText(dir + "/source.bin"), "payload");
    // Copying a missing or unreadable source leaves the target as it was.
    EXPECT_FALSE(CopyFile(dir + "/missing.bin", dir + "/target.bin"));
    EXPECT_FALSE(CopyFile(dir, dir + "/target.bin"));
    EXPECT_EQ(ReadText(dir + "/target.bin"), "old target");
    EXPECT_EQ(ListFolder(dir).size(), 2u); // no temporary files left behind

    EXPECT_TRUE(CopyFile(dir + "/source.bin", dir + "/target.bin"));
    EXPECT_EQ(ReadText(dir + "/target.bin"), "payload");
    EXPECT_TRUE(MoveFile(dir + "/source.bin", dir + "/moved.bin"));
    EXPECT_EQ(ReadText(dir + "/moved.bin"), "payload");
    EXPECT_EQ(GetFileSize(dir + "/source.bin"), 0);
}

TEST_F(FilesTest, MoveAcrossFileSystemsCopiesThenDeletes)
{
    // /dev/shm is a different file system from the scratch folder on most machines.
    std::string other = "/dev/shm";
    if (!IsDirectory(other) || ::access(other.c_str(), W_OK) != 0)
        GTEST_SKIP() << "no second writable file system";
    std::string target = other + "/tessaroute-move-test-" + std::to_string(::getpid());
    WriteText(dir + "/m.bin", "cross");
    EXPECT_TRUE(MoveFile(dir + "/m.bin", target));
    EXPECT_EQ(ReadText(target), "cross");
    EXPECT_FALSE(IsDirectory(dir + "/m.bin"));
    EXPECT_EQ(GetFileSize(dir + "/m.bin"), 0);
    ::unlink(target.c_str());
}

TEST_F(FilesTest, FileIdsKeepDeviceAndInodeApart)
{
    CreateDirectoryPath(dir + "/one");
    CreateDirectoryPath(dir + "/two");
    CFileId one = GetFileId(dir + "/one");
    CFileId two = GetFileId(dir + "/two");
    EXPECT_NE(one, two);
    EXPECT_EQ(one, GetFileId(dir + "/one/"));
    struct stat st;
    ASSERT_EQ(::stat((dir + "/one").c_str(), &st), 0);
    EXPECT_EQ(one.device, static_cast<uint64_t>(st.st_dev));
    EXPECT_EQ(one.inode, static_cast<uint64_t>(st.st_ino));
    // Paths that cannot be examined get a stable hash of their text.
    CFileId missing = GetFileId("/no/such/folder");
    EXPECT_EQ(missing, GetFileId("/no/such/folder"));
    EXPECT_NE(missing, GetFileId("/no/such/folder2"));
    EXPECT_EQ(missing.device, ~uint64_t(0));
}

TEST_F(FilesTest, ReadWholeFilesAndAppendChecks)
{
    WriteText(dir + "/f.bin", std::string("ab\0cd", 5));
    std::vector<uint8_t> bytes = {9};
    ASSERT_TRUE(ReadFileToBuffer(dir + "/f.bin", bytes));
    EXPECT_EQ(bytes, (std::vector<uint8_t>{'a', 'b', 0, 'c', 'd'}));
    EXPECT_FALSE(ReadFileToBuffer(dir + "/none", bytes));
    EXPECT_FALSE(ReadFileToBuffer(dir, bytes));

    // A sparse file above the limit is refused without reading it.
    int fd = ::open((dir + "/big.bin").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, kMaxReadFileBytes + 1), 0);
    ::close(fd);
    EXPECT_FALSE(ReadFileToBuffer(dir + "/big.bin", bytes));
    EXPECT_EQ(bytes.size(), 5u);

    EXPECT_TRUE(CanAppendToFile(dir + "/f.bin"));
    EXPECT_TRUE(CanAppendToFile(dir + "/new.log"));
    EXPECT_EQ(GetFileSize(dir + "/new.log"), 0);
    EXPECT_FALSE(CanAppendToFile(dir + "/no/such/x.log"));
    EXPECT_GT(GetFreeDiskSpace(dir), 0);
    EXPECT_EQ(GetFreeDiskSpace(dir + "/no/such"), -1);
}

TEST_F(FilesTest, DescriptorsAndMappingsAtUnalignedOffsets)
{
    std::string data;
    for (int i = 0; i < 10000; ++i)
        data += static_cast<char>('A' + i % 26);
    int fd = FileOpen(dir + "/m.bin", 1);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(FileWrite(fd, data.data(), data.size()));
    FileClose(fd);

    fd = FileOpen(dir + "/m.bin", 2);
    ASSERT_GE(fd, 0);
    CFileMapping mapping;
    const uint8_t* p = FileMapReadOnly(fd, 4097, 100, mapping);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), 100), data.substr(4097, 100));
    FileUnmap(mapping);
    EXPECT_EQ(mapping.base, nullptr);
    EXPECT_EQ(FileMapReadOnly(fd, -1, 10, mapping), nullptr);

    char buffer[8];
    size_t count = 0;
    EXPECT_TRUE(FileSeek(fd, 26));
    EXPECT_TRUE(FileRead(fd, buffer, 3, &count));
    EXPECT_EQ(std::string(buffer, count), "ABC");
    EXPECT_EQ(FileSeekFrom(fd, -2, SEEK_END), 9998);
    EXPECT_TRUE(FileRead(fd, buffer, 8, &count));
    EXPECT_EQ(count, 2u);
    EXPECT_FALSE(FileRead(fd, buffer, 8, &count));
    FileClose(fd);

    EXPECT_TRUE(FileRename(dir + "/m.bin", dir + "/n.bin"));
    EXPECT_TRUE(FileUnlink(dir + "/n.bin"));
    EXPECT_FALSE(FileUnlink(dir + "/n.bin"));
}

TEST(RectTest, TouchingEdgesDoNotOverlap)
{
    EXPECT_TRUE(IntRectsOverlap({0, 0, 10, 10}, {5, 5, 15, 15}));
    EXPECT_FALSE(IntRectsOverlap({0, 0, 10, 10}, {10, 0, 20, 10}));
    EXPECT_FALSE(IntRectsOverlap({0, 0, 10, 10}, {0, 10, 10, 20}));
    EXPECT_TRUE(IntRectsOverlap({0, 0, 10, 10}, {2, 2, 3, 3}));
}

} // namespace
