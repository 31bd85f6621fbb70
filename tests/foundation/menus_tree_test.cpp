// Menu trees: placement of items by their title paths, the Qt menu built from
// a tree, selection through the actions, and the pop-up's life cycle.
#include "foundation/menus/MenuPopup_qt.h"
#include "foundation/menus/MenuTree.h"
#include "support/QtAdaptors.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QMenu>
#include <QPointer>
#include <QWidget>
#include <gtest/gtest.h>
#include <map>
#include <memory>

namespace {

int gCalls = 0;
void* gLastData = nullptr;
void CountCall(void* data)
{
    ++gCalls;
    gLastData = data;
}

std::vector<std::string> Titles(const CMenuTree::CItem& item)
{
    std::vector<std::string> titles;
    for (const auto& child : item.Children())
        titles.push_back(child->Title());
    return titles;
}

// The visible layout of a Qt menu: action texts, "|" for separators.
std::vector<std::string> Layout(QMenu* menu)
{
    std::vector<std::string> out;
    for (QAction* a : menu->actions())
        out.push_back(a->isSeparator() ? std::string("|") : a->text().toStdString());
    return out;
}

QAction* ActionNamed(QMenu* menu, const QString& text)
{
    for (QAction* a : menu->actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

void DrainEvents()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

} // namespace

TEST(MenuTree, GroupsSplitAtTheFirstColonAndNest)
{
    CMenuTree tree("t", nullptr);
    tree.AddItemV("Instruments:Boat Speed", CountCall);
    tree.AddItemV("Instruments : Depth", CountCall);
    tree.AddItemV("Plain", CountCall);
    tree.AddItemV("A:B:C", CountCall);
    tree.AddItemV(":Lead", CountCall);
    tree.AddItemV("Trail:", CountCall);

    EXPECT_EQ(Titles(tree.Root()), (std::vector<std::string>{"Instruments", "Plain", "A", " - ", "Trail"}));
    const CMenuTree::CItem* instruments = tree.Root().FindChild("Instruments");
    ASSERT_NE(instruments, nullptr);
    EXPECT_EQ(Titles(*instruments), (std::vector<std::string>{"Boat Speed", "Depth"}));
    const CMenuTree::CItem* b = tree.Root().FindChild("A")->FindChild("B");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(Titles(*b), (std::vector<std::string>{"C"}));
    EXPECT_EQ(Titles(*tree.Root().FindChild(" - ")), (std::vector<std::string>{"Lead"}));
    EXPECT_EQ(Titles(*tree.Root().FindChild("Trail")), (std::vector<std::string>{" - "}));
}

TEST(MenuTree, CheckedItemChecksItsGroupsAndFlatMenusKeepColons)
{
    CMenuTree tree("t", nullptr);
    tree.AddItemV("Units:Speed:Knots", CountCall, CMenuTree::kChecked);
    tree.AddItemV("Units:Depth", CountCall);
    EXPECT_EQ(tree.Root().FindChild("Units")->Kind(), CMenuTree::kChecked);
    EXPECT_EQ(tree.Root().FindChild("Units")->FindChild("Speed")->Kind(), CMenuTree::kChecked);
    EXPECT_EQ(tree.Root().FindChild("Units")->FindChild("Depth")->Kind(), CMenuTree::kPlain);

    int context = 0;
    const CActionSheetMenu::Row rows[] = {
        {"Go to: Mark 1", CountCall, CMenuTree::kPlain},
        {"Delete", CountCall, CMenuTree::kSeparated},
    };
    CActionSheetMenu sheet("Mark", &context, rows, 2);
    EXPECT_EQ(Titles(sheet.Root()), (std::vector<std::string>{"Go to: Mark 1", "Delete"}));
    EXPECT_TRUE(sheet.Root().Children()[0]->Children().empty());

    gCalls = 0;
    sheet.Root().Children()[0]->Select();
    EXPECT_EQ(gCalls, 1);
    EXPECT_EQ(gLastData, &context);
}

TEST(MenuTree, DataDefaultsToContextAndEmptyCallablesAreRefused)
{
    int context = 0, own = 0;
    CMenuTree tree("t", &context);
    tree.AddItemV("a", CountCall);
    tree.AddItemV("b", CountCall, CMenuTree::kPlain, &own);
    gCalls = 0;
    tree.Root().Children()[0]->Select();
    EXPECT_EQ(gLastData, &context);
    tree.Root().Children()[1]->Select();
    EXPECT_EQ(gLastData, &own);
    EXPECT_EQ(tree.AddActionSheetFunc("c", CMenuTree::kPlain, nullptr), nullptr);
    EXPECT_EQ(tree.AddItemId("d", CMenuTree::kPlain, 7, nullptr), nullptr);
    EXPECT_EQ(tree.Root().Children().size(), 2u);
}

TEST(MenuQt, BuiltMenuMatchesTheTree)
{
    CMenuTree tree("Title", nullptr);
    tree.AddItemV("First", CountCall, CMenuTree::kSeparated);
    tree.AddItemV("Middle", CountCall, CMenuTree::kSeparated);
    tree.AddItemV("Off", CountCall, CMenuTree::kDisabled);
    tree.AddItemV("Gone", CountCall, CMenuTree::kHidden);
    tree.AddItemV("Group:Ticked", CountCall, CMenuTree::kChecked);
    tree.AddItemV("Fish & Chips", CountCall);
    tree.AddItemV("Last", CountCall, CMenuTree::kSeparated);

    QMenu menu;
    BuildMenuItems(&menu, tree.Root(), nullptr);
    EXPECT_EQ(Layout(&menu), (std::vector<std::string>{"First", "|", "|", "Middle", "|", "Off", "Gone",
                                                       "Group", "Fish && Chips", "|", "Last"}));
    EXPECT_FALSE(ActionNamed(&menu, "Off")->isEnabled());
    EXPECT_FALSE(ActionNamed(&menu, "Gone")->isVisible());
    QAction* group = ActionNamed(&menu, "Group");
    ASSERT_NE(group->menu(), nullptr);
    EXPECT_TRUE(group->isChecked());
    QAction* ticked = ActionNamed(group->menu(), "Ticked");
    ASSERT_NE(ticked, nullptr);
    EXPECT_TRUE(ticked->isCheckable() && ticked->isChecked());
    EXPECT_TRUE(ActionNamed(&menu, "First")->isEnabled());
}

TEST(MenuQt, ChoosingAnActionSelectsItsItemOnce)
{
    auto tree = std::make_unique<CMenuTree>("t", nullptr);
    std::vector<std::string> chosen;
    tree->AddActionSheetFunc("Sub:Deep", CMenuTree::kPlain, [&] { chosen.push_back("deep"); });
    tree->AddActionSheetFunc("Top", CMenuTree::kPlain, [&] { chosen.push_back("top"); });
    action_sheet_menu_responder responder(std::move(tree));
    QMenu* menu = responder.Menu();
    ActionNamed(ActionNamed(menu, "Sub")->menu(), "Deep")->trigger();
    ActionNamed(menu, "Top")->trigger();
    EXPECT_EQ(chosen, (std::vector<std::string>{"deep", "top"}));
}

TEST(MenuQt, ItemsResolveTheirObjectOnlyWhenChosen)
{
    // The object is removed while the menu is open; choosing finds nothing.
    std::map<uint64_t, int> objects{{7, 0}};
    auto act = [&](uint64_t id) {
        auto it = objects.find(id);
        if (it != objects.end())
            ++it->second;
    };
    auto tree = std::make_unique<CMenuTree>("t", nullptr);
    tree->AddItemId("Delete", CMenuTree::kPlain, 7, act);
    action_sheet_menu_responder responder(std::move(tree));
    QAction* del = ActionNamed(responder.Menu(), "Delete");
    del->trigger();
    EXPECT_EQ(objects[7], 1);
    objects.clear();
    del->trigger();
    EXPECT_TRUE(objects.empty());
}

TEST(MenuPopup, DismissalWithoutChoiceEndsEvenARepeatingMenu)
{
    tessatest::CQtAdaptors adaptors;
    QWidget view;
    view.resize(400, 300);
    auto tree = std::make_unique<CMenuTree>("t", nullptr);
    tree->SetMode(0);
    int picks = 0;
    tree->AddActionSheetFunc("Pick", CMenuTree::kPlain, [&] { ++picks; });
    CMenuTree::PopUp(std::move(tree), &view, QPoint(10, 10));

    QPointer<action_sheet_menu_responder> responder = action_sheet_menu_responder::Current();
    ASSERT_FALSE(responder.isNull());
    QPointer<QMenu> menu = responder->Menu();
    EXPECT_TRUE(menu->isVisible());

    // A choice in mode 0 shows the menu again.
    ActionNamed(menu, "Pick")->trigger();
    menu->hide();
    DrainEvents();
    ASSERT_FALSE(responder.isNull());
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(picks, 1);

    // Closing it with nothing chosen (Escape, a click outside) ends it.
    menu->hide();
    DrainEvents();
    EXPECT_TRUE(responder.isNull());
    EXPECT_TRUE(menu.isNull());
    EXPECT_EQ(action_sheet_menu_responder::Current(), nullptr);
}

TEST(MenuPopup, DoneFlagEndsARepeatingMenuAndModeOneShowsOnce)
{
    tessatest::CQtAdaptors adaptors;
    auto tree = std::make_unique<CMenuTree>("t", nullptr);
    CMenuTree* raw = tree.get();
    tree->SetMode(0);
    tree->AddActionSheetFunc("Finish", CMenuTree::kPlain, [raw] { raw->SetDone(); });
    CMenuTree::PopUp(std::move(tree), nullptr, QPoint(0, 0));
    QPointer<action_sheet_menu_responder> responder = action_sheet_menu_responder::Current();
    ASSERT_FALSE(responder.isNull());
    QMenu* menu = responder->Menu();
    // As Qt does it: the menu hides before the chosen action fires.
    menu->hide();
    ActionNamed(menu, "Finish")->trigger();
    DrainEvents();
    EXPECT_TRUE(responder.isNull());

    auto once = std::make_unique<CActionSheetMenu>("t", nullptr);
    int picks = 0;
    once->AddActionSheetFunc("Pick", CMenuTree::kPlain, [&] { ++picks; });
    QWidget view;
    view.resize(400, 300);
    CActionSheetMenu::PopUpAtCentre(std::move(once), &view);
    responder = action_sheet_menu_responder::Current();
    ASSERT_FALSE(responder.isNull());
    menu = responder->Menu();
    menu->hide();
    ActionNamed(menu, "Pick")->trigger();
    DrainEvents();
    EXPECT_TRUE(responder.isNull());
    EXPECT_EQ(picks, 1);
}
