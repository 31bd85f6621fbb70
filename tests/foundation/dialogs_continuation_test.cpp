// Continuation order and result codes of message boxes and file panels, shown
// through the scripted presenter.
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/dialogs/FilePanel.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/dialogs/QtDialogPresenter.h"
#include "support/QtAdaptors.h"
#include "support/ScriptedPresenter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class DialogsTest : public testing::Test
{
protected:
    void SetUp() override { ClearPendingCallbacksForTesting(); }
    void TearDown() override
    {
        ClearPendingCallbacksForTesting();
        ClearPendingAction();
    }

    // A continuation that records the code it got and returns `next`.
    CCallback Recorder(const std::string& name, int32_t next)
    {
        return CCallback([this, name, next](int32_t code) {
            log.push_back(name + ":" + std::to_string(code));
            return next;
        });
    }

    std::vector<std::string> log;
    tessatest::CScriptedPresenter presenter;
};

TEST_F(DialogsTest, ScopeEndRunsContinuationsWhenNoDialogOpened)
{
    CCallback first, second;
    PushProgressCallback(first, Recorder("first", 5));
    PushProgressCallback(second, Recorder("second", 7));
    RunDialogCallbacksUntil(first);
    // The later push lies in front and hands its return to the earlier one.
    EXPECT_EQ(log, (std::vector<std::string>{"second:0", "first:7"}));
    EXPECT_EQ(GetPendingCallbackCount(), 0u);
}

TEST_F(DialogsTest, ScopeEndStopsAtItsOwnContinuation)
{
    CCallback outer, inner;
    PushProgressCallback(outer, Recorder("outer", 0));
    PushProgressCallback(inner, Recorder("inner", 0));
    RunDialogCallbacksUntil(inner);
    EXPECT_EQ(log, (std::vector<std::string>{"inner:0"}));
    EXPECT_EQ(GetPendingCallbackCount(), 1u);
    RunDialogCallbacksUntil(outer);
    EXPECT_EQ(log.back(), "outer:0");
}

TEST_F(DialogsTest, ContinuationWithoutCallablePassesTheCodeOn)
{
    CCallback empty;
    EXPECT_FALSE(empty.HasCallable());
    EXPECT_EQ(empty(-1), -1);
    EXPECT_EQ(empty(3), 3);
    CCallback outer;
    PushProgressCallback(outer, Recorder("outer", 0));
    CCallback storage;
    PushProgressCallback(storage, nullptr, nullptr);
    EXPECT_EQ(GetPendingCallbackCount(), 1u);
    RunDialogCallbacksUntil(storage); // the outer scope's continuation stays
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(GetPendingCallbackCount(), 1u);
}

TEST_F(DialogsTest, MessageBoxTakesOverAndRunsContinuationsInOrder)
{
    CCallback first, second;
    PushProgressCallback(first, Recorder("first", 11));
    PushProgressCallback(second, Recorder("second", 22));
    ShowOKMessage(nullptr, "The chart cannot be read.", "Problem");
    RunDialogCallbacksUntil(first);
    // The box owns both; nothing ran yet.
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(GetPendingCallbackCount(), 0u);
    ASSERT_EQ(presenter.Shown().size(), 1u);
    EXPECT_EQ(presenter.Last().title, "Problem");
    EXPECT_EQ(presenter.Last().text, "The chart cannot be read.");
    EXPECT_EQ(presenter.Last().buttons, (std::vector<std::string>{"OK"}));

    presenter.AnswerButton(0);
    EXPECT_TRUE(presenter.Deliver());
    EXPECT_EQ(log, (std::vector<std::string>{"second:0", "first:22"}));
    EXPECT_EQ(GetDialogResultCode(), 11);
}

TEST_F(DialogsTest, SecondOfThreeButtonsAndButtonContinuationsRunFirst)
{
    int got_button = -9, got_count = -9;
    void* got_context = nullptr;
    int context_value = 0;
    CCallback own;
    PushProgressCallback(own, Recorder("box", 0));
    auto pressed = [&](void* context, int button, int count) {
        got_context = context;
        got_button = button;
        got_count = count;
        static CCallback from_button;
        PushProgressCallback(from_button, Recorder("button", 0));
    };
    MessageBox(nullptr, &context_value, "Choose", "Pick one",
               {{"A", nullptr}, {"B", pressed}, {"C", nullptr}});
    RunDialogCallbacksUntil(own);
    presenter.AnswerButton(1);
    presenter.DeliverAll();
    EXPECT_EQ(got_button, 1);
    EXPECT_EQ(got_count, 3);
    EXPECT_EQ(got_context, &context_value);
    EXPECT_EQ(log, (std::vector<std::string>{"button:0", "box:0"}));
}

TEST_F(DialogsTest, AskYesNoCallsOnlyTheChosenFunction)
{
    std::vector<std::string> calls;
    auto yes = [&](void*, int, int) { calls.push_back("yes"); };
    auto no = [&](void*, int, int) { calls.push_back("no"); };
    AskYesNo(nullptr, nullptr, "Delete", "Delete the mark?", yes, no);
    AskYesNo(nullptr, nullptr, "Delete", "Delete the route?", yes, no);
    ASSERT_EQ(presenter.OpenCount(), 2u);
    EXPECT_EQ(presenter.Last().buttons, (std::vector<std::string>{"Yes", "No"}));
    presenter.AnswerButton(1);
    presenter.AnswerButton(0);
    presenter.DeliverAll();
    EXPECT_EQ(calls, (std::vector<std::string>{"no", "yes"}));

    ShowHint(nullptr, "Drag the mark to move it.");
    EXPECT_EQ(presenter.Last().title, "Hint");
    EXPECT_EQ(presenter.Last().buttons, (std::vector<std::string>{"Got it"}));
}

TEST_F(DialogsTest, ABoxClosedWithoutAButtonCallsNoFunctionButRunsContinuations)
{
    bool called = false;
    CCallback own;
    PushProgressCallback(own, Recorder("after", 0));
    MessageBox(nullptr, nullptr, "T", "x", {{"Only", [&](void*, int, int) { called = true; }}});
    RunDialogCallbacksUntil(own);
    presenter.AnswerButton(-1);
    presenter.Deliver();
    EXPECT_FALSE(called);
    EXPECT_EQ(log, (std::vector<std::string>{"after:0"}));
}

TEST_F(DialogsTest, ABoxDroppedUnansweredDestroysItsContinuationsWithoutRunning)
{
    auto local = std::make_unique<tessatest::CScriptedPresenter>();
    CCallback own;
    PushProgressCallback(own, Recorder("never", 0));
    ShowOKMessage(nullptr, "text", "title");
    RunDialogCallbacksUntil(own);
    local.reset();
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(GetPendingCallbackCount(), 0u);
}

TEST_F(DialogsTest, PresenterIsTheTestsOwnThenTheApplicationsThenOneThatOnlyLogs)
{
    // A test's presenter sits over the application's, whichever came first.
    EXPECT_EQ(&DialogPresenter(), &presenter);
    {
        tessatest::CQtAdaptors adaptors;
        EXPECT_EQ(&DialogPresenter(), &presenter);
        EXPECT_EQ(SetDialogPresenter(nullptr), &presenter);
        EXPECT_NE(dynamic_cast<CQtDialogPresenter*>(&DialogPresenter()), nullptr);
        EXPECT_EQ(SetDialogPresenter(&presenter), nullptr);
    }
    EXPECT_EQ(SetDialogPresenter(nullptr), &presenter);

    // Without any window toolkit a box is dropped unanswered: nothing of the
    // caller's runs, nothing crashes.
    IDialogPresenter* fallback = &DialogPresenter();
    EXPECT_EQ(dynamic_cast<CQtDialogPresenter*>(fallback), nullptr);
    EXPECT_NE(fallback, &presenter);
    {
        CCallback first;
        PushProgressCallback(first, Recorder("after", 0));
        ShowOKMessage(nullptr, "The chart cannot be read.", "Problem");
    }
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(SetDialogPresenter(&presenter), nullptr);
}

TEST_F(DialogsTest, SavePanelHandsThePathToItsCompletionThenTheCaller)
{
    std::string saved;
    CCallback own;
    PushProgressCallback(own, Recorder("caller", 0));
    ExportFileAs(nullptr, "Export track", "track.gpx", [&](const std::string& path) {
        saved = path;
        log.push_back("completion");
        return true;
    });
    RunDialogCallbacksUntil(own);
    EXPECT_TRUE(log.empty());
    ASSERT_EQ(presenter.Shown().size(), 1u);
    EXPECT_EQ(presenter.Last().kind, tessatest::CShownDialog::SavePanel);
    EXPECT_EQ(presenter.Last().extension, ".gpx");
    EXPECT_EQ(presenter.Last().default_name, "track.gpx");
    EXPECT_EQ(presenter.Last().message, "Export track");

    presenter.ChoosePath("/somewhere/track.gpx");
    presenter.Deliver();
    EXPECT_EQ(saved, "/somewhere/track.gpx");
    EXPECT_EQ(log, (std::vector<std::string>{"completion", "caller:0"}));
}

TEST_F(DialogsTest, CancelledPanelGivesMinusOneAndNeverCallsTheCompletion)
{
    bool called = false;
    CCallback own;
    PushProgressCallback(own, Recorder("caller", 0));
    ImportFile(nullptr, "Import", "gpx", [&](const std::string&) {
        called = true;
        return true;
    });
    RunDialogCallbacksUntil(own);
    EXPECT_EQ(presenter.Last().kind, tessatest::CShownDialog::OpenPanel);
    EXPECT_EQ(presenter.Last().extension, ".gpx");
    presenter.CancelPanel();
    presenter.Deliver();
    EXPECT_FALSE(called);
    EXPECT_EQ(log, (std::vector<std::string>{"caller:-1"}));
}

TEST_F(DialogsTest, FailedCompletionPostsMinusOne)
{
    CCallback own;
    PushProgressCallback(own, Recorder("caller", 0));
    ImportFile(nullptr, "Import", ".gpx", [&](const std::string&) { return false; });
    RunDialogCallbacksUntil(own);
    presenter.ChoosePath("/x/broken.gpx");
    presenter.Deliver();
    EXPECT_EQ(log, (std::vector<std::string>{"caller:-1"}));
}

TEST_F(DialogsTest, ImmediateAnswersStillRunInOrder)
{
    presenter.SetImmediate(true);
    presenter.AnswerButton(0);
    CCallback own;
    PushProgressCallback(own, Recorder("caller", 0));
    ShowOKMessage(nullptr, "t", "T");
    RunDialogCallbacksUntil(own);
    EXPECT_EQ(log, (std::vector<std::string>{"caller:0"}));
}

TEST_F(DialogsTest, PendingActionSlot)
{
    static std::vector<int> calls;
    calls.clear();
    int a = 1, b = 2;
    auto action = [](void* data) { calls.push_back(*static_cast<int*>(data)); };
    SetPendingAction(action, &a);
    SetPendingAction(action, &b); // the first is called on the way out
    EXPECT_EQ(calls, (std::vector<int>{1}));
    RunPendingAction();
    EXPECT_EQ(calls, (std::vector<int>{1, 2}));
    ClearPendingAction();
    RunPendingAction();
    SetPendingAction(action, &a);
    EXPECT_EQ(calls, (std::vector<int>{1, 2}));
    EXPECT_TRUE(HasPendingAction());
}

} // namespace
