// Floating windows offscreen (stacking is the window manager's and cannot be
// seen here): tool windows of the main window, one overlay window at a time,
// and the info button of a list cell.
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
#include <gtest/gtest.h>
#include <memory>
#include <utility>
#include <vector>

namespace {

// Makes lists that record the code each one ended with (-2 while open).
class CListsDouble : public IOverlayWindowContent
{
public:
    UIViewControllerWithDialog* MakeOverlayList(QWidget* hostView) override
    {
        size_t n = ended.size();
        ended.push_back(-2);
        CCallback storage;
        PushProgressCallback(storage, CCallback([this, n](int32_t code) { return ended[n] = code; }));
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

TEST(FloatingWindows, ToolWindowsOfTheMainWindowMadeBeforeItShows)
{
    CListsDouble lists;
    tessatest::CInstalledPort<IOverlayWindowContent> port(lists);
    for (bool overlay : {false, true}) {
        SCOPED_TRACE(overlay ? "overlay window" : "dialog window");
        auto main = std::make_unique<QWidget>();
        SetDialogMainWindow(main.get());
        auto* dialog = new UIViewControllerWithDialog();
        dialog->showInParent(nullptr);
        QWidget* window =
            overlay ? overlay_window::Open(main.get()) : static_cast<QWidget*>(dialog->parent_win());
        main->show();
        ASSERT_TRUE(window && window->isVisible() && window->windowHandle() && main->windowHandle());
        EXPECT_EQ(window->windowType(), Qt::Tool);
        EXPECT_EQ(window->windowHandle()->transientParent(), main->windowHandle());
        dialog->destroyDialog(-1);
        // A main window that goes away is not reached through the setter,
        // and the overlay window goes with it.
        main.reset();
        EXPECT_EQ(DialogMainWindow(), nullptr);
        EXPECT_EQ(overlay_window::Current(), nullptr);
        DeleteDeferred();
    }
}

TEST(FloatingWindows, OneOverlayWindowAtATimeAndAFreshOneAfterItGoes)
{
    QWidget main;
    CListsDouble lists;
    auto port = std::make_unique<tessatest::CInstalledPort<IOverlayWindowContent>>(lists);
    for (bool released : {false, true}) {
        SCOPED_TRACE(released ? "released at termination" : "closed by the user");
        QPointer<overlay_window> first = overlay_window::Open(&main);
        ASSERT_TRUE(first && first->list());
        EXPECT_EQ(first->list()->parentWidget(), first->view());
        EXPECT_EQ(overlay_window::Open(&main), first.data());
        size_t made = lists.ended.size();
        if (released) {
            overlay_window::Release();
        } else {
            first->close();
            DeleteDeferred();
        }
        EXPECT_EQ(lists.ended.back(), 0);
        EXPECT_TRUE(first.isNull());
        EXPECT_EQ(overlay_window::Current(), nullptr);

        ASSERT_NE(overlay_window::Open(&main), nullptr);
        EXPECT_EQ(lists.ended.size(), made + 1);
        EXPECT_EQ(lists.ended.back(), -2); // a fresh list, still open
        overlay_window::Release();
        DeleteDeferred();
    }
    // Without a list to show nothing is made.
    port.reset();
    auto windows = QApplication::topLevelWidgets().size();
    EXPECT_EQ(overlay_window::Open(&main), nullptr);
    DeleteDeferred();
    EXPECT_EQ(QApplication::topLevelWidgets().size(), windows);
}

class CInfoClicks : public ITableCellInfoButtonDelegate
{
public:
    void TableCellInfoButtonWasClicked(int row, const QModelIndex& item) override
    {
        seen.emplace_back(row, item);
    }
    std::vector<std::pair<int, QModelIndex>> seen;
};

TEST(InfoButtonCell, ReportsClicksOnTheButtonOnly)
{
    QStandardItemModel model;
    for (const char* name : {"Alpha", "Bravo", "Charlie", "Delta"})
        model.appendRow(new QStandardItem(name));
    QTreeView view;
    view.setModel(&model);
    auto* cell = new TableCellView_withInfoButton(&view);
    view.setItemDelegate(cell);
    view.show();
    CInfoClicks clicks;
    struct Case
    {
        const char* name;
        bool withDelegate;
        Qt::MouseButton button;
        bool onButton;
    } cases[] = {
        {"left click on the button", true, Qt::LeftButton, true},
        {"left click beside the button", true, Qt::LeftButton, false},
        {"right click on the button", true, Qt::RightButton, true},
        {"no delegate", false, Qt::LeftButton, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clicks.seen.clear();
        cell->setInfoDelegate(c.withDelegate ? &clicks : nullptr);
        QModelIndex item = model.index(2, 0);
        QRect rect = view.visualRect(item), button = cell->infoButtonRect(rect);
        ASSERT_TRUE(!button.isEmpty() && rect.contains(button));
        view.clearSelection();
        QTest::mouseClick(view.viewport(), c.button, {},
                          c.onButton ? button.center() : rect.topLeft() + QPoint(5, 5));
        using Seen = decltype(clicks.seen);
        bool reported = c.withDelegate && c.onButton && c.button == Qt::LeftButton;
        EXPECT_EQ(clicks.seen, (reported ? Seen{{2, item}} : Seen{}));
        // A click elsewhere is the view's as usual: it selects the row.
        EXPECT_TRUE(c.onButton || view.selectionModel()->isSelected(item));
    }
}

} // namespace
