// A data panel whose window was closed still asks and tells: the switch to
// the after-start layout with unsaved changes, a file that is no layout
// handed over from outside, and a Save that fails each open their box over
// the main window, never over the freed view (the sanitizer build catches
// any use of it).
#include "app/panels/PanelAdaptors_qt.h"
#include "app/panels/data_view.h"
#include "app/panels/data_window.h"
#include "foundation/events/Heartbeat.h"
#include "foundation/events/Listener.h"
#include "foundation/platform/PlatformFolders.h"
#include "instruments/data/DataStartTimer.h"
#include "panels/MainAndFlip.h"
#include "support/FixedClock.h"
#include "support/ScriptedPresenter.h"
#include "support/TestPaths.h"

#include <QCoreApplication>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

class ClosedDataPanel : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (c_main_and_flip_dv::DefaultLayoutPath().empty())
            GTEST_SKIP() << "the shipped panel layout was not built";
        root = tessatest::MakeScratchDir("closedpanel");
        SetFolderRootForTesting(root);
        InstallPort<IPanelWindowFactory>(&factory);
        main = std::make_unique<QWidget>();
    }
    void TearDown() override
    {
        if (root.empty())
            return;
        data_window::Release();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        main.reset();
        InstallPort<IPanelWindowFactory>(nullptr);
        SetFolderRootForTesting("");
        fs::remove_all(root);
    }

    std::string root;
    CQtPanelWindowFactory factory;
    std::unique_ptr<QWidget> main;
};

} // namespace

TEST_F(ClosedDataPanel, TheAfterStartSwitchABadLayoutFileAndAFailedSaveAskOverTheMainWindow)
{
    c_main_and_flip_dv& layouts = c_main_and_flip_dv::Get();
    const std::string a = c_main_and_flip_dv::NamedLayoutPath("A");
    const std::string b = c_main_and_flip_dv::NamedLayoutPath("B");
    struct Case
    {
        const char* name;
        std::function<void()> act;
        const char* title; // of the box, "" for any
    } const cases[] = {
        {"the after-start switch with unsaved changes",
         [&] {
             tessatest::CFixedClock clock;
             CDataStartTimer& timer = CDataStartTimer::Global();
             const CDataStartTimer before = timer;
             timer.m_afterStartLayout = "B";
             timer.m_timeOfStart = clock.Now() - 30;
             FireEvent(timer);
             for (int i = 0; i < 20; ++i)
                 CHeartbeat::Tick();
             timer = before;
         },
         "Layout has changed"},
        {"a file that is no layout opened from outside",
         [&] {
             const std::string junk = root + "/junk.dvtf";
             std::ofstream(junk) << "no panel layout in here";
             EXPECT_FALSE(layouts.OpenLayoutFile(junk));
         },
         ""},
        {"a failed Save",
         [&] {
             fs::remove(a);
             fs::create_directories(a); // the named layout cannot be written
             EXPECT_FALSE(layouts.SaveLayout());
         },
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tessatest::CScriptedPresenter presenter;
        // A named layout shown and changed in the window, then the window closed.
        data_window* window = data_window::Open(main.get());
        ASSERT_NE(window, nullptr);
        fs::create_directories(fs::path(a).parent_path());
        ASSERT_TRUE(layouts.WriteLayoutFile(a));
        ASSERT_TRUE(layouts.WriteLayoutFile(b));
        ASSERT_TRUE(layouts.SwitchLayout(a));
        CDisplayView& panel = window->dlg()->DV();
        const CDisplayView::CItemSettings& first = *panel.CurrentArrangement()->m_cells.front();
        panel.ClearCell(first.m_row, first.m_column);
        window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ASSERT_EQ(data_window::Current(), nullptr);
        presenter.ClearShown();

        c.act();
        ASSERT_EQ(presenter.Shown().size(), 1u);
        EXPECT_EQ(presenter.Last().parent, nullptr); // over the main window
        if (*c.title)
            EXPECT_EQ(presenter.Last().title, c.title);
        presenter.DeliverAll();
    }
}
