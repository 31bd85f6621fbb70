#include "foundation/menus/MenuPopup_qt.h"

#include <QAction>
#include <QCursor>
#include <QFont>
#include <QMenu>
#include <QString>
#include <QTimer>
#include <QWidget>

namespace {

action_sheet_menu_responder* gCurrentResponder = nullptr;

// '&' marks a shortcut letter in Qt menu texts; titles show it as typed.
QString MenuText(const std::string& title)
{
    QString text = QString::fromStdString(title);
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return text;
}

void ApplyKind(QAction* action, uint32_t kind)
{
    switch (kind) {
    case CMenuTree::kDisabled:
        action->setEnabled(false);
        break;
    case CMenuTree::kHidden:
        action->setVisible(false);
        break;
    case CMenuTree::kChecked:
        action->setCheckable(true);
        action->setChecked(true);
        break;
    default:
        break;
    }
}

} // namespace

void BuildMenuItems(QMenu* menu, const CMenuTree::CItem& parent, action_sheet_menu_responder* responder)
{
    const auto& children = parent.Children();
    for (size_t i = 0; i < children.size(); ++i) {
        const CMenuTree::CItem& child = *children[i];
        bool separated = child.Kind() == CMenuTree::kSeparated;
        if (separated && i != 0)
            menu->addSeparator();
        QAction* action;
        if (!child.Children().empty()) {
            QMenu* sub = menu->addMenu(MenuText(child.Title()));
            BuildMenuItems(sub, child, responder);
            action = sub->menuAction();
        } else {
            action = menu->addAction(MenuText(child.Title()));
            if (responder)
                responder->add_item(action, const_cast<CMenuTree::CItem*>(&child));
        }
        ApplyKind(action, child.Kind());
        if (separated && i + 1 != children.size())
            menu->addSeparator();
    }
}

action_sheet_menu_responder::action_sheet_menu_responder(std::unique_ptr<CMenuTree> tree)
    : m_tree(std::move(tree))
{
}

action_sheet_menu_responder::~action_sheet_menu_responder()
{
    if (gCurrentResponder == this)
        gCurrentResponder = nullptr;
    // The menu goes before the tree its actions point into.
    m_menu.reset();
    m_items.clear();
    m_tree.reset();
}

QMenu* action_sheet_menu_responder::Menu()
{
    if (!m_menu) {
        m_menu = std::make_unique<QMenu>(QString::fromStdString(m_tree->Title()));
        // A pop-up shows no title of its own: the first line, greyed, says what the menu is about.
        if (!m_tree->Title().empty()) {
            QAction* title = m_menu->addAction(MenuText(m_tree->Title()));
            title->setObjectName("MenuTitle");
            title->setEnabled(false);
            QFont bold = title->font();
            bold.setBold(true);
            title->setFont(bold);
            m_menu->addSeparator();
        }
        BuildMenuItems(m_menu.get(), m_tree->Root(), this);
        connect(m_menu.get(), &QMenu::aboutToHide, this, &action_sheet_menu_responder::MenuHidden);
    }
    return m_menu.get();
}

void action_sheet_menu_responder::add_item(QAction* action, CMenuTree::CItem* item)
{
    m_items.emplace_back(action, item);
    connect(action, &QAction::triggered, this, [this, action] { item_action(action); });
}

void action_sheet_menu_responder::item_action(QAction* action)
{
    for (auto& [registered, item] : m_items) {
        if (registered == action) {
            m_chosen = true;
            item->Select();
            return;
        }
    }
}

void action_sheet_menu_responder::Show(const QPoint& globalPos)
{
    m_globalPos = globalPos;
    m_chosen = false;
    gCurrentResponder = this;
    Menu()->popup(globalPos);
}

action_sheet_menu_responder* action_sheet_menu_responder::Current()
{
    return gCurrentResponder;
}

void action_sheet_menu_responder::MenuHidden()
{
    // Qt hides the menu before it emits the chosen action's signal, so the
    // decision waits until the event that closed the menu is done.
    if (m_finishing)
        return;
    m_finishing = true;
    QTimer::singleShot(0, this, &action_sheet_menu_responder::AfterHidden);
}

void action_sheet_menu_responder::AfterHidden()
{
    m_finishing = false;
    if (m_tree->Mode() == 0 && m_chosen && !m_tree->IsDone()) {
        Show(m_globalPos);
        return;
    }
    if (gCurrentResponder == this)
        gCurrentResponder = nullptr;
    deleteLater();
}

void ShowMenuTree(std::unique_ptr<CMenuTree> tree, QWidget* view, const QPoint* point)
{
    if (!tree)
        return;
    QPoint global;
    if (point) {
        global = view ? view->mapToGlobal(*point) : *point;
    } else if (view && view->window()->frameGeometry().contains(QCursor::pos())) {
        // Asked for by a click in the window: the menu opens at the pointer.
        global = QCursor::pos();
    } else {
        global = view ? view->mapToGlobal(QPoint(view->width() / 2 - 100, view->height() / 2)) : QPoint(0, 0);
    }
    auto* responder = new action_sheet_menu_responder(std::move(tree));
    responder->Show(global);
}

void CQtMenuPopup::ShowMenu(std::unique_ptr<CMenuTree> tree, QWidget* view, const QPoint* point)
{
    ShowMenuTree(std::move(tree), view, point);
}
