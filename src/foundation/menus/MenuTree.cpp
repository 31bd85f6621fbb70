#include "foundation/menus/MenuTree.h"

#include "foundation/menus/MenuPorts.h"
#include "foundation/util/PortSlot.h"

#include <QCursor>
#include <QPoint>

namespace {

std::string TrimMenuText(const std::string& text)
{
    const char* blanks = " \t\n\r";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return " - ";
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

} // namespace

CMenuTree::CItem::CItem(std::string title, uint32_t kind, bool flat)
    : m_title(std::move(title)), m_kind(kind), m_flat(flat)
{
}

CMenuTree::CItem::~CItem() = default;

CMenuTree::CItem* CMenuTree::CItem::FindChild(const std::string& title) const
{
    for (const auto& child : m_children)
        if (child->m_title == title)
            return child.get();
    return nullptr;
}

CMenuTree::CItem* CMenuTree::CItem::AddItem(std::unique_ptr<CItem> item)
{
    if (!item)
        return nullptr;
    CItem* group = this;
    for (;;) {
        // A sub-menu that holds a checked item shows a check mark itself.
        if (item->m_kind == kChecked)
            group->m_kind = kChecked;
        size_t colon = item->m_title.find(':');
        if (colon == std::string::npos || group->m_flat) {
            CItem* placed = item.get();
            group->m_children.push_back(std::move(item));
            return placed;
        }
        std::string groupName = TrimMenuText(item->m_title.substr(0, colon));
        item->m_title = TrimMenuText(item->m_title.substr(colon + 1));
        CItem* next = group->FindChild(groupName);
        if (!next) {
            group->m_children.push_back(std::make_unique<CItem>(groupName));
            next = group->m_children.back().get();
        }
        group = next;
    }
}

CMenuTree::CItemV::CItemV(std::string title, Function function, uint32_t kind, void* data)
    : CItem(std::move(title), kind), m_function(function), m_data(data)
{
}

void CMenuTree::CItemV::Select()
{
    if (m_function)
        m_function(m_data);
}

CMenuTree::CActionSheetFunc::CActionSheetFunc(std::string title, uint32_t kind,
                                              std::function<void()> callable)
    : CItem(std::move(title), kind), m_callable(std::move(callable))
{
}

void CMenuTree::CActionSheetFunc::Select()
{
    if (m_callable)
        m_callable();
}

CMenuTree::CItemId::CItemId(std::string title, uint32_t kind, uint64_t id,
                            std::function<void(uint64_t)> chosen)
    : CItem(std::move(title), kind), m_id(id), m_chosen(std::move(chosen))
{
}

void CMenuTree::CItemId::Select()
{
    if (m_chosen)
        m_chosen(m_id);
}

CMenuTree::CMenuTree(std::string title, void* context) : CMenuTree(std::move(title), context, false) {}

CMenuTree::CMenuTree(std::string title, void* context, bool flat)
    : m_title(std::move(title)), m_context(context),
      m_root(std::make_unique<CItem>(std::string(), kPlain, flat))
{
}

CMenuTree::~CMenuTree() = default;

CMenuTree::CItem* CMenuTree::AddItemV(const std::string& titlePath, CItemV::Function function, uint32_t kind,
                                      void* data)
{
    return AddItem(std::make_unique<CItemV>(titlePath, function, kind, data ? data : m_context));
}

CMenuTree::CItem* CMenuTree::AddActionSheetFunc(const std::string& titlePath, uint32_t kind,
                                                std::function<void()> callable)
{
    if (!callable)
        return nullptr;
    return AddItem(std::make_unique<CActionSheetFunc>(titlePath, kind, std::move(callable)));
}

CMenuTree::CItem* CMenuTree::AddItemId(const std::string& titlePath, uint32_t kind, uint64_t id,
                                       std::function<void(uint64_t)> chosen)
{
    if (!chosen)
        return nullptr;
    return AddItem(std::make_unique<CItemId>(titlePath, kind, id, std::move(chosen)));
}

CActionSheetMenu::CActionSheetMenu(std::string title, void* context, const Row* table, size_t rowCount,
                                   int32_t mode)
    : CMenuTree(std::move(title), context, true)
{
    SetMode(mode);
    for (size_t i = 0; table && i < rowCount; ++i)
        AddItemV(table[i].title ? table[i].title : "", table[i].function, table[i].kind, context);
}

void IMenuPopup::ShowMenu(std::unique_ptr<CMenuTree>, QWidget*, const QPoint*) {}

void CMenuTree::PopUp(std::unique_ptr<CMenuTree> tree, QWidget* view, const QPoint& point)
{
    if (tree)
        Port<IMenuPopup>().ShowMenu(std::move(tree), view, &point);
}

void CActionSheetMenu::PopUpAtCentre(std::unique_ptr<CMenuTree> menu, QWidget* view)
{
    if (menu)
        Port<IMenuPopup>().ShowMenu(std::move(menu), view, nullptr);
}

void CActionSheetMenu::PopUpAtMouse(std::unique_ptr<CMenuTree> menu, QWidget* view)
{
    (void)view;
    PopUp(std::move(menu), nullptr, QCursor::pos());
}
