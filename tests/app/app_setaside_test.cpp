// Stores that failed to load are set aside under new names at once, and the
// user is told on the status line and in one message box listing them all.
#include "app/shell/SetAsideStores.h"
#include "foundation/notify/StatusLine.h"
#include "support/ScriptedPresenter.h"
#include "support/TestPaths.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace

TEST(SetAsideStores, EveryUnreadableStoreIsKeptAsideAndListedInOneBox)
{
    const std::string dir = tessatest::MakeScratchDir("setaside");
    struct Store
    {
        const char* name;
        const char* error;
        bool earlierCopy; // an older set-aside copy is in the way
        const char* keptAs;
    } stores[] = {
        {"marks_routes.bin", "not an object file (wrong magic number)", false, "marks_routes.bin.unreadable"},
        {"tracks.bin", "chunk runs past the end of the file", true, "tracks.bin.unreadable-2"},
        {"app_state.bin", "", false, "app_state.bin.unreadable"},
    };
    tessatest::CScriptedPresenter presenter;
    ClearStatusMessage();
    CSetAsideStores setAside;
    EXPECT_TRUE(setAside.Empty());
    setAside.Tell(nullptr);
    EXPECT_TRUE(presenter.Shown().empty()); // nothing to tell: no box, no status
    EXPECT_FALSE(IsStatusLineShown());

    std::vector<CUnreadableFileGuard> guards(std::size(stores));
    for (size_t i = 0; i < std::size(stores); ++i) {
        const Store& s = stores[i];
        const std::string path = dir + "/" + s.name;
        WriteAll(path, std::string("content of ") + s.name);
        if (s.earlierCopy)
            WriteAll(path + ".unreadable", "older");
        setAside.Add(path, s.error, guards[i]);
        // Moved at once, never copied over an earlier one; nothing left for a save to guard.
        EXPECT_FALSE(fs::exists(path)) << s.name;
        EXPECT_EQ(ReadAll(dir + "/" + s.keptAs), std::string("content of ") + s.name) << s.name;
        EXPECT_FALSE(guards[i].HasPendingFile()) << s.name;
        if (i == 0) {
            EXPECT_EQ(setAside.StatusText(),
                      "marks_routes.bin could not be read and was kept as " + std::string(s.keptAs));
        }
    }
    EXPECT_EQ(ReadAll(dir + "/tracks.bin.unreadable"), "older");

    setAside.Tell(nullptr);
    EXPECT_EQ(GetStatusMessage(), "3 saved files could not be read and were kept aside");
    ASSERT_EQ(presenter.Shown().size(), 1u);
    EXPECT_EQ(presenter.OpenCount(), 1u); // shown without waiting for the answer
    const tessatest::CShownDialog& box = presenter.Last();
    EXPECT_EQ(box.kind, tessatest::CShownDialog::Box);
    EXPECT_EQ(box.title, "Some saved data could not be read");
    EXPECT_EQ(box.buttons, std::vector<std::string>{"OK"});
    for (const Store& s : stores) {
        const std::string error = *s.error ? s.error : "unreadable";
        EXPECT_NE(box.text.find(std::string(s.name) + ": " + error + "\nKept as " + s.keptAs + " in " + dir),
                  std::string::npos)
            << s.name << " in " << box.text;
    }
    EXPECT_EQ(presenter.DeliverAll(), 1);
    ClearStatusMessage();
    fs::remove_all(dir);
}

TEST(SetAsideStores, AStoreThatCannotBeMovedIsGuardedAndSaidSo)
{
    const std::string dir = tessatest::MakeScratchDir("setaside-long");
    // No new name fits the file system's limit on a name's length.
    const std::string name = std::string(248, 'x') + ".bin";
    const std::string path = dir + "/" + name;
    WriteAll(path, "bad");
    ASSERT_EQ(ReadAll(path), "bad");
    tessatest::CScriptedPresenter presenter;
    CSetAsideStores setAside;
    CUnreadableFileGuard guard;
    setAside.Add(path, "not an object file", guard);
    EXPECT_EQ(ReadAll(path), "bad");
    EXPECT_TRUE(guard.HasPendingFile());
    EXPECT_FALSE(guard.BeforeSave()); // so no save goes over it
    setAside.Tell(nullptr);
    EXPECT_EQ(GetStatusMessage(), name + " could not be read and is left as it was");
    ASSERT_EQ(presenter.Shown().size(), 1u);
    EXPECT_EQ(presenter.Last().title, "Saved data could not be read");
    EXPECT_NE(presenter.Last().text.find(name + ": not an object file\nIt could not be kept aside ("),
              std::string::npos)
        << presenter.Last().text;
    presenter.DeliverAll();
    ClearStatusMessage();
    fs::remove_all(dir);
}
