// Files replaced whole: every writer (saves, copies, downloads, posted
// replies) makes its file with the process's start-up umask, never touches the
// umask while other threads run, and leaves no temporary file behind.
// TESSA_TSAN_LABEL: the loopback server answers on its own threads.
#include "foundation/AtomicFile.h"
#include "foundation/util/Files.h"
#include "foundation/web/WebBinaryCGI.h"
#include "foundation/web/WebServer.h"
#include "support/TestPaths.h"
#include "support/loopback/LoopbackServer.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
std::atomic<bool> gCountUmask{false};
std::atomic<int> gUmaskCalls{0};
} // namespace

// Every umask call of the code under test passes through here, so a writer
// that reads the mask by setting it is seen.
extern "C" mode_t umask(mode_t mask) noexcept
{
    if (gCountUmask.load())
        gUmaskCalls.fetch_add(1);
    return mode_t(::syscall(SYS_umask, mask));
}

namespace {

using tessatest::LoopbackServer;

mode_t ModeOf(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t EntriesIn(const std::string& folder)
{
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder))
        ++n;
    return n;
}

struct Writer
{
    const char* name;
    // Writes `target` (in a folder of its own); false on failure.
    std::function<bool(const std::string& folder, const std::string& target)> write;
    std::string expected;
};

class AtomicFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // A mask that differs from the usual 022, read while only this thread runs.
        saved = ::umask(002);
        RememberProcessUmask();
        server = std::make_unique<LoopbackServer>();
        ASSERT_NE(server->Port(), 0) << server->Error();
        CWebServer::SetDefaultTimeouts(2000, 2000);
        server->AddFile("/MVT/chart.rlt", "downloaded bytes");
        server->AddPostHandler("/cgi-bin/sync.cgi", [](const tessatest::LoopbackRequest& r) {
            return tessatest::LoopbackResponse{200, {}, "reply to " + r.body};
        });
        root = tessatest::MakeScratchDir("atomic_files");
    }
    void TearDown() override
    {
        server.reset();
        ::umask(saved);
        RememberProcessUmask();
        std::filesystem::remove_all(root);
    }
    std::vector<Writer> Writers()
    {
        const int port = server->Port();
        return {
            {"WriteFileAtomically",
             [](const std::string&, const std::string& target) {
                 return WriteFileAtomically(target, "saved");
             },
             "saved"},
            {"CopyFile",
             [](const std::string& folder, const std::string& target) {
                 WriteText(folder + "/../source-" + std::to_string(::getpid()), "copied");
                 return CopyFile(folder + "/../source-" + std::to_string(::getpid()), target);
             },
             "copied"},
            {"DownloadFile",
             [port](const std::string&, const std::string& target) {
                 CWebServer web(LoopbackServer::Host(), false, port);
                 return web.DownloadFile("/MVT/chart.rlt", target.c_str());
             },
             "downloaded bytes"},
            {"PostFile",
             [port](const std::string&, const std::string& target) {
                 WriteText(target, "request");
                 CWebBinaryCGI cgi(LoopbackServer::Host(), "cgi-bin/sync.cgi", false, port);
                 return cgi.PostFile(target.c_str());
             },
             "reply to request"},
        };
    }

    mode_t saved = 022;
    std::unique_ptr<LoopbackServer> server;
    std::string root;
};

} // namespace

TEST_F(AtomicFiles, EveryWriterUsesTheStartUpMaskAndNeverSetsIt)
{
    ASSERT_EQ(ProcessUmask(), mode_t(002));
    for (const Writer& w : Writers()) {
        SCOPED_TRACE(w.name);
        const std::string folder = root + "/" + w.name;
        ASSERT_TRUE(CreateDirectoryPath(folder));
        EXPECT_EQ(ModeOf(folder), mode_t(0775));
        const std::string target = folder + "/file.bin";
        gUmaskCalls = 0;
        gCountUmask = true;
        const bool ok = w.write(folder, target);
        gCountUmask = false;
        ASSERT_TRUE(ok);
        EXPECT_EQ(gUmaskCalls.load(), 0);
        EXPECT_EQ(ReadText(target), w.expected);
        EXPECT_EQ(ModeOf(target), mode_t(0664));
        // Only the file itself: no temporary file stays beside it.
        EXPECT_EQ(EntriesIn(folder), 1u);
        // A file the user made private stays private when it is replaced.
        ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
        ASSERT_TRUE(w.write(folder, target));
        EXPECT_EQ(ModeOf(target), mode_t(0600));
        // Only the permission bits carry over, and only the file's own: a
        // link in its place lends nothing of what it points to.
        ASSERT_EQ(::chmod(target.c_str(), 06750), 0);
        ASSERT_TRUE(w.write(folder, target));
        EXPECT_EQ(ModeOf(target), mode_t(0750));
        const std::string linked = root + "/linked-" + w.name;
        WriteText(linked, "linked");
        ASSERT_EQ(::chmod(linked.c_str(), 0600), 0);
        std::filesystem::remove(target);
        std::filesystem::create_symlink(linked, target);
        ASSERT_TRUE(w.write(folder, target));
        EXPECT_FALSE(std::filesystem::is_symlink(target));
        EXPECT_EQ(ModeOf(target), mode_t(0664));
        EXPECT_EQ(ModeOf(linked), mode_t(0600));
    }
}

TEST_F(AtomicFiles, TemporaryNamesHaveTheFormTheStartUpSweepRemoves)
{
    const std::string folder = root + "/names";
    ASSERT_TRUE(CreateDirectoryPath(folder));
    for (int i = 0; i < 200; ++i) {
        CAtomicFileWriter writer;
        ASSERT_TRUE(writer.Open(folder + "/tracks.bin"));
        const std::string name = std::filesystem::directory_iterator(folder)->path().filename().string();
        EXPECT_EQ(name.rfind("tracks.bin.tmp-", 0), 0u) << name;
        EXPECT_TRUE(IsAtomicWriterTempName(name)) << name;
    }
    EXPECT_EQ(EntriesIn(folder), 0u);
}

TEST_F(AtomicFiles, FailedTransfersKeepTheOldFileAndLeaveNoTemporary)
{
    const std::string folder = root + "/failed";
    ASSERT_TRUE(CreateDirectoryPath(folder));
    const std::string target = folder + "/chart.rlt";
    WriteText(target, "old");
    CWebServer web(LoopbackServer::Host(), false, server->Port());
    EXPECT_FALSE(web.DownloadFile("/MVT/missing.rlt", target.c_str()));
    CWebBinaryCGI cgi(LoopbackServer::Host(), "cgi-bin/none.cgi", false, server->Port());
    EXPECT_FALSE(cgi.PostFile(target.c_str()));
    EXPECT_EQ(ReadText(target), "old");
    EXPECT_EQ(EntriesIn(folder), 1u);
}

TEST(FileKinds, IsRegularFileTellsFilesFromEverythingElse)
{
    const std::string root = tessatest::MakeScratchDir("file_kinds");
    WriteText(root + "/file", "x");
    std::filesystem::create_directory(root + "/folder");
    std::filesystem::create_symlink(root + "/file", root + "/link");
    std::filesystem::create_symlink(root + "/gone", root + "/dangling");
    const struct
    {
        std::string path;
        bool regular;
    } cases[] = {
        {root + "/file", true},      {root + "/link", true},  {root + "/folder", false},
        {root + "/dangling", false}, {root + "/none", false}, {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsRegularFile(c.path), c.regular) << c.path;
    std::filesystem::remove_all(root);
}
