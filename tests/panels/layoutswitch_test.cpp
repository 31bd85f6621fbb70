// Layout workflows in a scratch folder: save, save as, load, the switch and
// its question, restoring the shipped layout, opening a file from outside,
// the layout button, and the switch to the after-start layout.
#include "foundation/AtomicFile.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/events/Heartbeat.h"
#include "foundation/platform/PlatformFolders.h"
#include "foundation/util/Files.h"
#include "foundation/util/Folders.h"
#include "panelfakes/PanelBuilders.h"
#include "panelfakes/RecordingWindows.h"
#include "panels/LayoutFile.h"
#include "panels/MainAndFlip.h"
#include "panels/SmallItems.h"
#include "panels/items/LayoutButtonItems.h"
#include "support/FixedClock.h"
#include "support/MenuPopupDouble.h"
#include "support/ScriptedPresenter.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using tessatest::AddCell;
using tessatest::MakeGrid;

class LayoutSwitchTest : public testing::Test
{
protected:
    void SetUp() override
    {
        root = tessatest::MakeScratchDir("panels_switch");
        SetFolderRootForTesting(root);
        docs = GetDocumentsFolder();
        ASSERT_TRUE(CreateDirectoryPath(docs) && CreateDirectoryPath(GetApplicationSupportFolder()));
        ClearPendingCallbacksForTesting();
        layouts.m_main.ClearArrangements();
        layouts.m_flip.ClearArrangements();
        layouts.m_main.m_modified = layouts.m_flip.m_modified = false;
        layouts.m_currentLayoutPath.clear();
        layouts.m_pathWithUnsavedChanges.clear();
        layouts.m_main.Attach(&host, nullptr);
    }
    void TearDown() override
    {
        CAtomicFileWriter::SetWriteFailureForTesting(false);
        layouts.m_main.Detach();
        SetFolderRootForTesting("");
        SetResourceFoldersForTesting({});
    }

    // A layout whose main grid has `rows` rows (what tells layouts apart),
    // optionally with a layout button naming `button`.
    std::string MakeLayout(const std::string& path, int32_t rows, const std::string& button = "")
    {
        CDisplayView::ArrangementList main;
        main.push_back(MakeGrid(400, 400, rows, 2));
        AddCell<CDisplayViewHint::CSettings>(*main.back(), 0, 1);
        if (!button.empty())
            static_cast<CItemChangeLayout::CSettings*>(
                AddCell<CItemChangeLayout::CSettings>(*main.back(), 0, 0))
                ->m_name = button;
        CSerialStream s = CSerialStream::OpenWrite({}, nullptr);
        EXPECT_TRUE(CLayoutDocument::Write(s, "", {}, main));
        EXPECT_TRUE(WriteFileAtomically(path, s.Output()));
        return path;
    }
    static int32_t RowsIn(const std::string& path)
    {
        CLayoutDocument d;
        return c_main_and_flip_dv::ReadLayoutDocument(path, d) && !d.m_main.empty() ? d.m_main[0]->m_rows
                                                                                    : -1;
    }
    int32_t ShownRows() const
    {
        return layouts.m_main.Arrangements().empty() ? -1 : layouts.m_main.Arrangements()[0]->m_rows;
    }
    std::string Named(const std::string& name) const { return docs + "/" + name + ".dvtf"; }
    size_t KeptCopies() const { return FindFiles(GetApplicationSupportFolder(), "*.tmp").size(); }

    c_main_and_flip_dv& layouts = c_main_and_flip_dv::Get();
    tessatest::RecordingWindowFactory factory;
    tessatest::FakeHost host{400, 400};
    tessatest::CScriptedPresenter presenter;
    std::string root, docs;
};

TEST_F(LayoutSwitchTest, SaveSaveAsLoadAndFailedWrites)
{
    const std::string a = MakeLayout(Named("A"), 3);
    ASSERT_TRUE(layouts.SwitchLayout(a));
    layouts.m_main.ChangeGrid(+1, 0);
    EXPECT_EQ(layouts.m_pathWithUnsavedChanges, a);
    ASSERT_TRUE(layouts.SaveLayout());
    EXPECT_EQ(RowsIn(a), 4);
    EXPECT_TRUE(layouts.m_pathWithUnsavedChanges.empty());

    presenter.ChoosePath(docs + "/B");
    layouts.SaveLayoutAs();
    ASSERT_EQ(presenter.DeliverAll(), 1);
    EXPECT_EQ(presenter.Shown()[0].message, "Save Layout");
    EXPECT_EQ(layouts.m_currentLayoutPath, Named("B"));
    EXPECT_EQ(RowsIn(Named("B")), 4);

    presenter.ChoosePath(a);
    layouts.LoadLayout();
    presenter.DeliverAll();
    EXPECT_EQ(presenter.Last().message, "Load Layout");
    EXPECT_EQ(layouts.m_currentLayoutPath, a);

    // A failing disk: reported, the change still counts as unsaved.
    CAtomicFileWriter::SetWriteFailureForTesting(true);
    presenter.ClearShown();
    layouts.m_main.ChangeGrid(+1, 0);
    EXPECT_FALSE(layouts.SaveLayout());
    EXPECT_EQ(presenter.Last().title, "Could not save layout");
    EXPECT_TRUE(layouts.m_main.m_modified);
    EXPECT_EQ(RowsIn(a), 4);
    CAtomicFileWriter::SetWriteFailureForTesting(false);
    ASSERT_TRUE(layouts.SaveLayout());
    EXPECT_EQ(RowsIn(a), 5);
}

TEST_F(LayoutSwitchTest, SwitchAsksAboutUnsavedChanges)
{
    struct Case
    {
        const char* what;
        int answer; // 0 "Yes", 1 "No"
        int32_t rowsOfA;
    };
    const Case cases[] = {{"Yes saves the left layout", 0, 4}, {"No leaves it", 1, 3}};
    for (const Case& c : cases) {
        const std::string a = MakeLayout(Named("A"), 3), b = MakeLayout(Named("B"), 7);
        ASSERT_TRUE(layouts.SwitchLayout(a));
        layouts.m_main.ChangeGrid(+1, 0);
        presenter.ClearShown();
        ASSERT_TRUE(layouts.SwitchLayout(b));
        ASSERT_EQ(presenter.OpenCount(), 1u) << c.what;
        EXPECT_EQ(presenter.Last().text, "Would you like to save changes to \"A\"?");
        // The switch does not wait for the answer.
        EXPECT_EQ(ShownRows(), 7);
        EXPECT_TRUE(layouts.m_currentLayoutPath == b && layouts.m_pathWithUnsavedChanges.empty());
        presenter.AnswerButton(c.answer);
        presenter.Deliver();
        EXPECT_EQ(RowsIn(a), c.rowsOfA) << c.what;
        EXPECT_EQ(KeptCopies(), 0u) << c.what;
    }

    // A second switch before the first answer: each question keeps its own
    // copy and its own target, whatever order the answers come in.
    const std::string a = MakeLayout(Named("A"), 3), b = MakeLayout(Named("B"), 7),
                      c = MakeLayout(Named("C"), 9);
    ASSERT_TRUE(layouts.SwitchLayout(a));
    layouts.m_main.ChangeGrid(+1, 0); // A: 4
    ASSERT_TRUE(layouts.SwitchLayout(b));
    layouts.m_main.ChangeGrid(-1, 0); // B: 6
    ASSERT_TRUE(layouts.SwitchLayout(c));
    ASSERT_EQ(presenter.OpenCount(), 2u);
    EXPECT_EQ(KeptCopies(), 2u);
    presenter.DeliverAll(); // both "Yes", the late one last
    EXPECT_EQ(RowsIn(a), 4);
    EXPECT_EQ(RowsIn(b), 6);
    EXPECT_EQ(RowsIn(c), 9);
    EXPECT_EQ(KeptCopies(), 0u);

    // Moved cells count as changes too: only the modified flag is set.
    layouts.m_main.m_modified = true;
    ASSERT_TRUE(layouts.SwitchLayout(a));
    EXPECT_EQ(presenter.OpenCount(), 1u);
    presenter.DeliverAll();

    // A file that does not read changes nothing and says so.
    const std::string junk = docs + "/junk.dvtf";
    ASSERT_TRUE(WriteFileAtomically(junk, "not a layout"));
    EXPECT_FALSE(layouts.SwitchLayout(junk));
    EXPECT_EQ(presenter.Last().title, "Could not read layout");
    EXPECT_EQ(layouts.m_currentLayoutPath, a);
    EXPECT_EQ(ShownRows(), 4);
    EXPECT_FALSE(layouts.SwitchLayout(docs + "/missing.dvtf"));

    // Restoring the shipped layout leaves nothing to ask about.
    presenter.DeliverAll();
    const std::string resources = root + "/resources";
    ASSERT_TRUE(CreateDirectoryPath(resources));
    MakeLayout(resources + "/default_data_layout.dvtf", 2);
    SetResourceFoldersForTesting({resources});
    layouts.m_main.ChangeGrid(+1, 0);
    ASSERT_TRUE(layouts.RestoreDefaultLayout());
    EXPECT_EQ(ShownRows(), 2);
    EXPECT_TRUE(layouts.m_currentLayoutPath.empty() && layouts.m_pathWithUnsavedChanges.empty());
    ASSERT_TRUE(layouts.SwitchLayout(b));
    EXPECT_EQ(presenter.OpenCount(), 0u);
    EXPECT_EQ(RowsIn(a), 4) << "the default layout never lands in a named one";
}

TEST_F(LayoutSwitchTest, OpenLayoutFileFromOutside)
{
    const std::string a = MakeLayout(Named("A"), 3);
    ASSERT_TRUE(layouts.SwitchLayout(MakeLayout(Named("Start"), 5)));
    const std::string working = c_main_and_flip_dv::WorkingCopyPath();
    const int64_t aSize = GetFileSize(a);

    // The same file under another spelling: no copy onto itself.
    const std::string linked = root + "/link";
    ASSERT_TRUE(CreateDirectoryPath(linked));
    ASSERT_EQ(::symlink(a.c_str(), (linked + "/A.dvtf").c_str()), 0);
    ASSERT_TRUE(layouts.OpenLayoutFile(linked + "/A.dvtf"));
    EXPECT_EQ(GetFileSize(a), aSize);
    EXPECT_EQ(layouts.m_currentLayoutPath, a);
    EXPECT_FALSE(IsRegularFile(Named("A (2)")));
    EXPECT_EQ(RowsIn(c_main_and_flip_dv::BackupPath()), 5);
    EXPECT_EQ(RowsIn(working), 3);

    // Another file of the same name: copied beside it, never over it.
    const std::string other = root + "/other";
    ASSERT_TRUE(CreateDirectoryPath(other));
    layouts.m_pathWithUnsavedChanges = a;
    ASSERT_TRUE(layouts.OpenLayoutFile(MakeLayout(other + "/A.dvtf", 8)));
    EXPECT_EQ(RowsIn(a), 3);
    EXPECT_EQ(RowsIn(Named("A (2)")), 8);
    EXPECT_EQ(layouts.m_currentLayoutPath, Named("A (2)"));
    EXPECT_TRUE(layouts.m_pathWithUnsavedChanges.empty());
    EXPECT_EQ(ShownRows(), 8);

    // Not a layout: nothing copied, the working copy untouched.
    const std::string junk = other + "/junk.dvtf";
    ASSERT_TRUE(WriteFileAtomically(junk, std::string(64, '\xBE')));
    std::string error;
    EXPECT_FALSE(layouts.OpenLayoutFile(junk, &error));
    EXPECT_EQ(presenter.Last().title, "Could not read layout");
    EXPECT_EQ(RowsIn(working), 8);
    EXPECT_FALSE(IsRegularFile(Named("junk")) || error.empty());
}

TEST_F(LayoutSwitchTest, LayoutButton)
{
    const std::string a = MakeLayout(Named("A"), 3, "A"), b = MakeLayout(Named("B"), 7, "A");
    MakeLayout(Named("C"), 2);
    ASSERT_TRUE(layouts.SwitchLayout(MakeLayout(Named("Home"), 4, "B")));
    auto button = [&]() -> CDisplayView::CItem* { return layouts.m_main.HitTest(0, 0); };
    auto name = [&] { return static_cast<CItemChangeLayout::CSettings&>(button()->m_settings).m_name; };
    EXPECT_EQ(factory.RecordOf(button())->buttonTitle, "B");

    // Pressed, it switches from the next tick, after the click returned; the
    // freed button is not touched (ASan).
    ASSERT_TRUE(factory.Click(button()));
    EXPECT_EQ(ShownRows(), 4);
    CHeartbeat::Tick();
    EXPECT_EQ(ShownRows(), 7);
    EXPECT_TRUE(factory.RecordOf(button())->enabled) << "names A, shows B";
    ASSERT_TRUE(layouts.SwitchLayout(a));
    EXPECT_FALSE(factory.RecordOf(button())->enabled) << "names the layout shown";

    // Its file missing: "Select Layout" names another one.
    static_cast<CItemChangeLayout::CSettings&>(button()->m_settings).m_name = "Missing";
    ASSERT_TRUE(factory.Click(button()));
    EXPECT_TRUE(layouts.m_main.m_frozen);
    ASSERT_EQ(presenter.OpenCount(), 1u);
    EXPECT_EQ(presenter.Last().message, "Select Layout");
    presenter.ChoosePath(Named("C"));
    presenter.Deliver();
    EXPECT_FALSE(layouts.m_main.m_frozen);
    EXPECT_EQ(name(), "C");
    EXPECT_EQ(factory.RecordOf(button())->buttonTitle, "C");
    CLayoutDocument working;
    ASSERT_TRUE(c_main_and_flip_dv::ReadLayoutDocument(c_main_and_flip_dv::WorkingCopyPath(), working));
    EXPECT_EQ(static_cast<CItemChangeLayout::CSettings*>(working.m_main[0]->m_cells[1].get())->m_name, "C");

    // Its menu and panel, answered after a switch, do nothing (ASan).
    std::vector<std::unique_ptr<CMenuTree>> menus;
    tessatest::CMenuPopupDouble popups(
        [&](std::unique_ptr<CMenuTree> tree, QWidget*, const QPoint*) { menus.push_back(std::move(tree)); });
    layouts.m_main.ShowCellMenu(0, 0);
    ASSERT_EQ(menus.size(), 1u);
    ASSERT_EQ(menus[0]->Root().Children().size(), 3u);
    menus[0]->Root().Children()[2]->Select(); // "Choose Layout"
    presenter.ChoosePath(Named("B"));
    ASSERT_TRUE(layouts.SwitchLayout(b));
    presenter.DeliverAll(); // the panel, now of a replaced layout, then the question about A
    EXPECT_FALSE(layouts.m_main.m_frozen);
    EXPECT_EQ(name(), "A");
    const size_t shown = presenter.Shown().size();
    for (auto& entry : menus[0]->Root().Children())
        entry->Select();
    EXPECT_EQ(presenter.Shown().size(), shown);
    EXPECT_EQ(menus.size(), 1u);
    EXPECT_EQ(layouts.m_main.CurrentArrangement()->m_cells.size(), 2u);
}

TEST_F(LayoutSwitchTest, AfterStartSwitchOncePerStartTime)
{
    tessatest::CFixedClock clock;
    const std::string home = MakeLayout(Named("Home"), 4);
    MakeLayout(Named("After"), 6);
    ASSERT_TRUE(layouts.SwitchLayout(home));
    CDataStartTimer& timer = CDataStartTimer::Global();
    const CDataStartTimer before = timer;
    timer.m_afterStartLayout = "After";
    auto ticks = [](int n) {
        for (int i = 0; i < n; ++i)
            CHeartbeat::Tick();
    };

    timer.m_timeOfStart = clock.Now() - 9.5;
    FireEvent(timer);
    ticks(40);
    EXPECT_EQ(ShownRows(), 4) << "9.5 s after the start";
    clock.Advance(1.0);
    ticks(20);
    EXPECT_EQ(ShownRows(), 6) << "the first second after 10 s";

    // The same start time again (a received start sentence): no second switch.
    ASSERT_TRUE(layouts.SwitchLayout(home));
    FireEvent(timer);
    ticks(60);
    EXPECT_EQ(ShownRows(), 4);
    // A new start switches again.
    timer.m_timeOfStart = clock.Now() - 30;
    FireEvent(timer);
    ticks(20);
    EXPECT_EQ(ShownRows(), 6);

    timer = before;
}

} // namespace
