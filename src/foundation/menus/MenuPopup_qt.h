#pragma once
// Shows a CMenuTree as a Qt pop-up menu. popup() only: the caller's code
// returns at once and the heartbeat keeps running while the menu is open, so
// items reach what they act on only when chosen.
#include "foundation/menus/MenuPorts.h"
#include "foundation/menus/MenuTree.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <memory>
#include <vector>

class QAction;
class QMenu;

// Builds the Qt items for the children of `parent` into `menu`. Leaves are
// registered with `responder` (when given) so that choosing one selects it.
class action_sheet_menu_responder;
void BuildMenuItems(QMenu* menu, const CMenuTree::CItem& parent, action_sheet_menu_responder* responder);

// Shows a tree as a pop-up menu: at `point` in `view`'s coordinates, or at
// the view's centre less 100 in x when null.
void ShowMenuTree(std::unique_ptr<CMenuTree> tree, QWidget* view, const QPoint* point);

// The application's menu pop-up port.
class CQtMenuPopup : public IMenuPopup
{
public:
    void ShowMenu(std::unique_ptr<CMenuTree> tree, QWidget* view, const QPoint* point) override;
};

// Owns one shown tree and its menu from PopUp until the menu closes for good.
class action_sheet_menu_responder : public QObject
{
    Q_OBJECT
public:
    explicit action_sheet_menu_responder(std::unique_ptr<CMenuTree> tree);
    ~action_sheet_menu_responder() override;

    // Builds the menu (once) without showing it.
    QMenu* Menu();
    CMenuTree& Tree() { return *m_tree; }

    // Registers a leaf: its action selects `item` when triggered.
    void add_item(QAction* action, CMenuTree::CItem* item);
    // The action was chosen: looks its item up and selects it.
    void item_action(QAction* action);

    // Shows the menu at a global position and deletes this responder (with
    // its tree and menu) once the menu is closed for good.
    void Show(const QPoint& globalPos);

    // The responder of the menu open now, if any (tests and the window use it
    // to close a menu when the view goes away).
    static action_sheet_menu_responder* Current();

private:
    void MenuHidden();
    void AfterHidden();

    std::unique_ptr<CMenuTree> m_tree;
    std::unique_ptr<QMenu> m_menu;
    std::vector<std::pair<QAction*, CMenuTree::CItem*>> m_items;
    QPoint m_globalPos;
    bool m_chosen = false;
    bool m_finishing = false;
};
