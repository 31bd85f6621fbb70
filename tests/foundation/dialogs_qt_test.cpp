// The Qt side of the dialogs: boxes and panels return at once and leave the
// event loop (and the main window's timer) running while the user decides;
// dialog hosts show, resize and end chains of dialogs.
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/dialogs/FilePanel.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/dialogs/QtDialogPresenter.h"
#include "foundation/dialogs/UIViewControllerWithDialog.h"
#include "foundation/dialogs/global_dialog_window.h"
#include "support/QtAdaptors.h"
#include "support/TestPaths.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPageLayout>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QTimer>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

template <class T> T* FindTopLevel()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<T*>(w); found && found->isVisible())
            return found;
    return nullptr;
}

// Runs the event loop until `done` holds or two seconds pass.
bool SpinUntil(const std::function<bool()>& done)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start(10);
    QTimer::singleShot(2000, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

class QtDialogsTest : public testing::Test
{
protected:
    void SetUp() override { ClearPendingCallbacksForTesting(); }
    void TearDown() override
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QDialog*>(w) || qobject_cast<global_dialog_window*>(w))
                w->deleteLater();
        QApplication::processEvents();
        ClearPendingCallbacksForTesting();
    }
    tessatest::CQtAdaptors adaptors;
};

TEST_F(QtDialogsTest, MessageBoxReturnsAtOnceAndTheTimerKeepsTicking)
{
    int ticks = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { ++ticks; });
    heartbeat.start(50);

    std::vector<int32_t> codes;
    CCallback own;
    PushProgressCallback(own, CCallback([&](int32_t code) {
                             codes.push_back(code);
                             return code;
                         }));
    // Should the box ever run its own event loop, this ends it and the test fails.
    bool inside_call = true, blocked = false;
    QObject guard; // the check dies with this test
    QTimer::singleShot(1500, &guard, [&] {
        if (!inside_call)
            return;
        blocked = true;
        if (auto* open_box = FindTopLevel<QMessageBox>())
            open_box->buttons().front()->click();
    });
    ShowOKMessage(nullptr, "The file cannot be read.", "Problem");
    RunDialogCallbacksUntil(own);
    inside_call = false;
    ASSERT_FALSE(blocked) << "the message box ran a nested event loop";
    // Back here with the box still open and nothing run.
    EXPECT_TRUE(codes.empty());
    ASSERT_TRUE(SpinUntil([] { return FindTopLevel<QMessageBox>() != nullptr; }));
    QMessageBox* box = FindTopLevel<QMessageBox>();
    EXPECT_EQ(box->text(), "Problem");
    EXPECT_EQ(box->informativeText(), "The file cannot be read.");

    int ticks_before = ticks;
    SpinUntil([&] { return ticks >= ticks_before + 4; });
    EXPECT_GE(ticks, ticks_before + 4) << "the timer stopped while the box was open";
    EXPECT_TRUE(codes.empty());

    ASSERT_EQ(box->buttons().size(), 1);
    box->buttons().front()->click();
    ASSERT_TRUE(SpinUntil([&] { return !codes.empty(); }));
    EXPECT_EQ(codes, (std::vector<int32_t>{0}));
}

TEST_F(QtDialogsTest, ThreeButtonBoxReportsTheSecondButton)
{
    int pressed = -1, count = 0;
    MessageBox(nullptr, nullptr, "Choose", "Which?",
               {{"One", nullptr},
                {"Two", [&](void*, int b, int n) { pressed = b, count = n; }},
                {"Three", nullptr}});
    ASSERT_TRUE(SpinUntil([] { return FindTopLevel<QMessageBox>() != nullptr; }));
    QMessageBox* box = FindTopLevel<QMessageBox>();
    QAbstractButton* two = nullptr;
    for (QAbstractButton* b : box->buttons())
        if (b->text() == "Two")
            two = b;
    ASSERT_NE(two, nullptr);
    two->click();
    ASSERT_TRUE(SpinUntil([&] { return pressed >= 0; }));
    EXPECT_EQ(pressed, 1);
    EXPECT_EQ(count, 3);
}

TEST_F(QtDialogsTest, FilePanelCancelAndChoose)
{
    std::string dir = tessatest::MakeScratchDir("dialogs_qt_panel");
    std::string file = dir + "/route.gpx";
    std::ofstream(file) << "<gpx/>";

    std::vector<int32_t> codes;
    std::vector<std::string> paths;
    auto open_panel = [&] {
        CCallback own;
        PushProgressCallback(own, CCallback([&](int32_t code) {
                                 codes.push_back(code);
                                 return code;
                             }));
        ImportFile(nullptr, "Import a route", "gpx", [&](const std::string& path) {
            paths.push_back(path);
            return true;
        });
        RunDialogCallbacksUntil(own);
    };

    open_panel();
    EXPECT_TRUE(codes.empty());
    ASSERT_TRUE(SpinUntil([] { return FindTopLevel<QFileDialog>() != nullptr; }));
    FindTopLevel<QFileDialog>()->reject();
    ASSERT_TRUE(SpinUntil([&] { return !codes.empty(); }));
    EXPECT_EQ(codes, (std::vector<int32_t>{-1}));
    EXPECT_TRUE(paths.empty());

    open_panel();
    ASSERT_TRUE(SpinUntil([] { return FindTopLevel<QFileDialog>() != nullptr; }));
    QFileDialog* panel = FindTopLevel<QFileDialog>();
    // Typed into the name field, as a user would.
    auto* name_field = panel->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name_field, nullptr);
    name_field->setText(QString::fromStdString(file));
    QMetaObject::invokeMethod(panel, "accept");
    ASSERT_TRUE(SpinUntil([&] { return codes.size() == 2; }));
    EXPECT_EQ(codes.back(), 0);
    EXPECT_EQ(paths, (std::vector<std::string>{file}));
}

TEST_F(QtDialogsTest, PrintDialogSetsUpThePrinterAndIsGoneAfterTheAnswer)
{
    const CPageSetup letter{"Letter", true, 10, 20, 30, 40};
    struct Case
    {
        CPageSetup page;
        QPageSize::PageSizeId size;
        QPageLayout::Orientation orientation;
        bool accept;
    } cases[] = {
        {CPageSetup(), QPageSize::A4, QPageLayout::Portrait, false},
        {letter, QPageSize::Letter, QPageLayout::Landscape, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(FormatPageSetup(c.page));
        std::vector<bool> answers; // whether a printer came
        CPrintRequest request;
        request.page = c.page;
        CQtDialogPresenter().ShowPrintDialog(request, [&](QPrinter* printer) { answers.push_back(printer); });
        QPointer<QPrintDialog> dialog = FindTopLevel<QPrintDialog>();
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(answers.empty());
        const QPageLayout layout = dialog->printer()->pageLayout();
        EXPECT_EQ(layout.pageSize().id(), c.size);
        EXPECT_EQ(layout.orientation(), c.orientation);
        const QMarginsF margins = layout.margins(QPageLayout::Point);
        EXPECT_DOUBLE_EQ(margins.left(), c.page.left);
        EXPECT_DOUBLE_EQ(margins.right(), c.page.right);
        EXPECT_DOUBLE_EQ(margins.top(), c.page.top);
        EXPECT_DOUBLE_EQ(margins.bottom(), c.page.bottom);

        if (c.accept)
            dialog->accept();
        else
            dialog->reject();
        EXPECT_EQ(answers, std::vector<bool>{c.accept});
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(dialog.isNull());
    }
}

class TestDialog : public UIViewControllerWithDialog
{
public:
    using UIViewControllerWithDialog::UIViewControllerWithDialog;
};

TEST_F(QtDialogsTest, DialogChainShowsResizesAndEnds)
{
    std::vector<std::string> log;
    CCallback first;
    PushProgressCallback(first, CCallback([&](int32_t code) {
                             log.push_back("parent:" + std::to_string(code));
                             return 0;
                         }));
    auto* parent = new TestDialog();
    RunDialogCallbacksUntil(first);
    EXPECT_TRUE(log.empty());
    parent->showInParent(nullptr);
    EXPECT_EQ(GetOpenDialogCount(), 1);
    global_dialog_window* window = parent->parent_win();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(parent->top_level_view(), window->view());

    CCallback second;
    PushProgressCallback(second, CCallback([&](int32_t code) {
                             log.push_back("child:" + std::to_string(code));
                             return 0;
                         }));
    QPointer<TestDialog> child = new TestDialog();
    RunDialogCallbacksUntil(second);
    parent->showChildDialog(child);
    EXPECT_EQ(GetOpenDialogCount(), 2);
    EXPECT_EQ(parent->child_dialog(), child.data());
    EXPECT_EQ(child->parent_dialog(), parent);
    EXPECT_EQ(child->top_level_view(), window->view());

    window->resize(420, 310);
    QApplication::processEvents();
    parent->resizedView();
    EXPECT_EQ(child->geometry(), window->view()->rect());
    EXPECT_EQ(parent->geometry(), window->view()->rect());

    child->destroyDialog(3);
    EXPECT_EQ(log, (std::vector<std::string>{"child:3"}));
    EXPECT_EQ(parent->child_dialog(), nullptr);
    EXPECT_FALSE(parent->isDialogEnded());
    EXPECT_EQ(GetOpenDialogCount(), 1);
    ASSERT_TRUE(SpinUntil([&] { return child.isNull(); })); // deleted later

    QPointer<global_dialog_window> watch = window;
    parent->destroyDialog(0);
    EXPECT_EQ(log.back(), "parent:0");
    EXPECT_EQ(GetOpenDialogCount(), 0);
    EXPECT_FALSE(watch->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watch.isNull());
}

TEST_F(QtDialogsTest, ClosingTheWindowCancelsTheDialog)
{
    std::vector<int32_t> codes;
    CCallback own;
    PushProgressCallback(own, CCallback([&](int32_t code) {
                             codes.push_back(code);
                             return code;
                         }));
    auto* dialog = new TestDialog();
    RunDialogCallbacksUntil(own);
    dialog->showInTopLevelWindow();
    auto* child = new TestDialog();
    dialog->showChildDialog(child);
    dialog->parent_win()->close();
    EXPECT_EQ(codes, (std::vector<int32_t>{-1}));
    EXPECT_EQ(GetOpenDialogCount(), 0);
}

TEST_F(QtDialogsTest, DialogDeletedWithoutEndingDropsItsContinuations)
{
    bool ran = false;
    CCallback own;
    PushProgressCallback(own, CCallback([&](int32_t code) {
                             ran = true;
                             return code;
                         }));
    auto* dialog = new TestDialog();
    RunDialogCallbacksUntil(own);
    EXPECT_EQ(dialog->dcb().Size(), 1u);
    delete dialog;
    EXPECT_FALSE(ran);
    EXPECT_EQ(GetPendingCallbackCount(), 0u);
}

} // namespace
