// Floating windows offscreen: dialog and overlay windows are tool windows of
// the main window; one overlay window at a time, fresh after it goes; the
// info button of a list cell reports its row and item. Stacking itself is the
// window manager's and cannot be seen offscreen.
// TESSA_XVFB_LABEL
#include "app/window/OverlayWindowPorts.h"
#include "app/window/overlay_window.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/dialogs/DialogViews.h"
#include "foundation/dialogs/UIViewControllerWithDialog.h"
#include "foundation/dialogs/global_dialog_window.h"
#include "support/InstalledPort.h"

#include <QApplication>
#include <QStandardItemModel>
#include <QTest>
#include <QTreeView>
#include <QWindow>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

// Lists that record the code each one ended with (-2 while open).
class CListsDouble : public IOverlayWindowContent
{
public:
    UIViewControllerWithDialog* MakeOverlayList(QWidget* hostView) override
    {
        size_t n = ended.size();
        ended.push_back(-2);
        CCallback storage;
        PushProgressCallback(storage, CCallback([this, n](int32_t code) {
                                 ended[n] = code;
                                 return code;
                             }));
        auto* list = new UIViewControllerWithDialog(hostView);
        RunDialogCallbacksUntil(storage);
        return list;
    }
    std::vector<int32_t> ended;
};

void DeleteDeferred()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class FloatingWindows : public testing::Test
{
protected:
    void SetUp() override
    {
        ClearPendingCallbacksForTesting();
        main = std::make_unique<QWidget>();
        main->resize(400, 300);
        main->show();
        SetDialogMainWindow(main.get());
    }
    void TearDown() override
    {
        overlay_window::Release();
        SetDialogMainWindow(nullptr);
        main.reset();
        DeleteDeferred();
        ClearPendingCallbacksForTesting();
    }
    std::unique_ptr<QWidget> main;
};

TEST_F(FloatingWindows, ToolWindowsOfTheMainWindow)
{
    CListsDouble lists;
    tessatest::CInstalledPort<IOverlayWindowContent> port(lists);
    struct Case
    {
        const char* name;
        bool mainShownFirst; // else the windows are made before the main window is shown
        bool overlay;
    } cases[] = {
        {"dialog window", true, false},
        {"overlay window", true, true},
        {"dialog window before the main window shows", false, false},
        {"overlay window before the main window shows", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        main = std::make_unique<QWidget>();
        SetDialogMainWindow(main.get());
        if (c.mainShownFirst)
            main->show();
        QPointer<UIViewControllerWithDialog> dialog;
        QWidget* window = nullptr;
        if (c.overlay) {
            window = overlay_window::Open(main.get());
        } else {
            dialog = new UIViewControllerWithDialog();
            dialog->showInParent(nullptr);
            window = dialog->parent_win();
        }
        ASSERT_NE(window, nullptr);
        main->show();
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(window->windowType(), Qt::Tool);
        ASSERT_NE(window->windowHandle(), nullptr);
        ASSERT_NE(main->windowHandle(), nullptr);
        EXPECT_EQ(window->windowHandle()->transientParent(), main->windowHandle());
        if (dialog)
            dialog->destroyDialog(-1);

        // A main window that goes away is not reached through the setter's
        // pointer, and the overlay window goes with it.
        main.reset();
        EXPECT_EQ(DialogMainWindow(), nullptr);
        EXPECT_EQ(overlay_window::Current(), nullptr);
        DeleteDeferred();
    }
}

TEST_F(FloatingWindows, OneOverlayWindowAtATimeAndAFreshOneAfterItGoes)
{
    CListsDouble lists;
    tessatest::CInstalledPort<IOverlayWindowContent> port(lists);
    struct Case
    {
        const char* name;
        std::function<void(overlay_window*)> remove;
    } cases[] = {
        {"closed by the user",
         [](overlay_window* window) {
             window->close();
             DeleteDeferred();
         }},
        {"released at termination", [](overlay_window*) { overlay_window::Release(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        size_t made = lists.ended.size();
        QPointer<overlay_window> first = overlay_window::Open(main.get());
        ASSERT_FALSE(first.isNull());
        QPointer<UIViewControllerWithDialog> list = first->list();
        ASSERT_FALSE(list.isNull());
        EXPECT_EQ(list->parentWidget(), first->view());
        EXPECT_EQ(overlay_window::Open(main.get()), first.data());
        EXPECT_EQ(overlay_window::Current(), first.data());
        ASSERT_EQ(lists.ended.size(), made + 1); // the second Open made no list

        c.remove(first);
        EXPECT_EQ(lists.ended.back(), 0); // the list was ended with 0
        EXPECT_TRUE(first.isNull());
        EXPECT_EQ(overlay_window::Current(), nullptr);
        DeleteDeferred();
        EXPECT_TRUE(list.isNull());

        QPointer<overlay_window> next = overlay_window::Open(main.get());
        ASSERT_FALSE(next.isNull());
        EXPECT_EQ(lists.ended.size(), made + 2);
        EXPECT_EQ(lists.ended.back(), -2); // a fresh list, still open
        overlay_window::Release();
        DeleteDeferred();
    }
    overlay_window::Release(); // nothing open: nothing happens
    EXPECT_EQ(overlay_window::Current(), nullptr);
}

TEST_F(FloatingWindows, OverlayWindowWithoutAListIsNotMade)
{
    CListsDouble lists;
    auto windows = QApplication::topLevelWidgets().size();
    EXPECT_EQ(overlay_window::Open(main.get()), nullptr);
    EXPECT_EQ(overlay_window::Current(), nullptr);
    DeleteDeferred();
    EXPECT_EQ(QApplication::topLevelWidgets().size(), windows);
}

class CInfoClicks : public ITableCellInfoButtonDelegate
{
public:
    void TableCellInfoButtonWasClicked(int row, const QModelIndex& item) override
    {
        rows.push_back(row);
        items.push_back(item);
    }
    std::vector<int> rows;
    std::vector<QModelIndex> items;
};

TEST(InfoButtonCell, ReportsClicksOnTheButtonOnly)
{
    QStandardItemModel model;
    for (const char* name : {"Alpha", "Bravo", "Charlie", "Delta"})
        model.appendRow(new QStandardItem(name));
    QTreeView view;
    view.setModel(&model);
    view.setHeaderHidden(true);
    view.resize(300, 200);
    auto* cell = new TableCellView_withInfoButton(&view);
    view.setItemDelegate(cell);
    view.show();
    QApplication::processEvents();

    CInfoClicks clicks;
    struct Case
    {
        const char* name;
        bool withDelegate;
        Qt::MouseButton button;
        bool onButton;
        bool reported;
    } cases[] = {
        {"left click on the button", true, Qt::LeftButton, true, true},
        {"left click beside the button", true, Qt::LeftButton, false, false},
        {"right click on the button", true, Qt::RightButton, true, false},
        {"no delegate", false, Qt::LeftButton, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clicks.rows.clear();
        clicks.items.clear();
        cell->setInfoDelegate(c.withDelegate ? &clicks : nullptr);
        QModelIndex item = model.index(2, 0);
        QRect rect = view.visualRect(item);
        QRect button = cell->infoButtonRect(rect);
        ASSERT_TRUE(rect.contains(button));
        ASSERT_FALSE(button.isEmpty());
        QPoint at = c.onButton ? button.center() : QPoint(rect.left() + 5, rect.center().y());
        view.clearSelection();
        QTest::mouseClick(view.viewport(), c.button, {}, at);
        if (c.reported) {
            ASSERT_EQ(clicks.rows, std::vector<int>{2});
            EXPECT_EQ(clicks.items.front(), item);
        } else {
            EXPECT_TRUE(clicks.rows.empty());
        }
        // A click beside the button still selects the row as usual.
        if (!c.onButton) {
            EXPECT_TRUE(view.selectionModel()->isSelected(item));
        }
    }
}

} // namespace
