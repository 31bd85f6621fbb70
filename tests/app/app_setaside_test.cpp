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

} // namespace

TEST(SetAsideStores, EveryUnreadableStoreIsKeptAsideAndListedInOneBox)
{
    const std::string dir = tessatest::MakeScratchDir("setaside");
    // No new name fits the file system's limit on a name's length.
    const std::string tooLong = std::string(248, 'x') + ".bin";
    const struct
    {
        std::string name, error;
        bool earlierCopy;   // an older set-aside copy is in the way
        std::string keptAs; // "" when it cannot be moved
    } stores[] = {
        {"marks_routes.bin", "not an object file (wrong magic number)", false, "marks_routes.bin.unreadable"},
        {"tracks.bin", "chunk runs past the end of the file", true, "tracks.bin.unreadable-2"},
        {"app_state.bin", "", false, "app_state.bin.unreadable"},
        {tooLong, "not an object file", false, ""},
    };
    tessatest::CScriptedPresenter presenter;
    ClearStatusMessage();
    CSetAsideStores setAside;
    setAside.Tell(nullptr);
    EXPECT_TRUE(presenter.Shown().empty()); // nothing to tell: no box, no status
    EXPECT_FALSE(IsStatusLineShown());

    for (const auto& s : stores) {
        const std::string path = dir + "/" + s.name;
        std::ofstream(path) << "content of " << s.name;
        if (s.earlierCopy)
            std::ofstream(path + ".unreadable") << "older";
        CUnreadableFileGuard guard;
        setAside.Add(path, s.error, guard);
        if (s.keptAs.empty()) {
            // Left in place, and no save may go over it.
            EXPECT_EQ(ReadAll(path), "content of " + s.name);
            EXPECT_FALSE(guard.BeforeSave());
            continue;
        }
        // Moved at once, never over an earlier copy; nothing left for a save to guard.
        EXPECT_FALSE(fs::exists(path)) << s.name;
        EXPECT_EQ(ReadAll(dir + "/" + s.keptAs), "content of " + s.name) << s.name;
        EXPECT_FALSE(guard.HasPendingFile()) << s.name;
        if (&s == &stores[0]) {
            EXPECT_EQ(setAside.StatusText(),
                      "marks_routes.bin could not be read and was kept as " + s.keptAs);
        }
    }
    EXPECT_EQ(ReadAll(dir + "/tracks.bin.unreadable"), "older");

    setAside.Tell(nullptr);
    EXPECT_EQ(GetStatusMessage(), "4 saved files could not be read");
    ASSERT_EQ(presenter.Shown().size(), 1u);
    EXPECT_EQ(presenter.OpenCount(), 1u); // shown without waiting for the answer
    const tessatest::CShownDialog& box = presenter.Last();
    EXPECT_EQ(box.title, "Some saved data could not be read");
    EXPECT_EQ(box.buttons, std::vector<std::string>{"OK"});
    for (const auto& s : stores) {
        const std::string line =
            s.name + ": " + (s.error.empty() ? "unreadable" : s.error) + "\n" +
            (s.keptAs.empty() ? "It could not be kept aside (" : "Kept as " + s.keptAs + " in " + dir);
        EXPECT_NE(box.text.find(line), std::string::npos) << s.name << " in " << box.text;
    }
    EXPECT_EQ(presenter.DeliverAll(), 1);
    ClearStatusMessage();
    fs::remove_all(dir);
}
