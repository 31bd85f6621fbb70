// The item-type registry: a list of menu entries, newest first, each naming
// the stored type that makes its descriptions.
#include "foundation/menus/MenuTree.h"
#include "panels/DisplayView.h"

#include <cstdlib>
#include <unordered_map>

namespace {

const CDisplayView::CRegistryEntry*& Head()
{
    static const CDisplayView::CRegistryEntry* head = nullptr;
    return head;
}

// Type id to entry, for the look-ups of every cell read or made; the newest
// entry of an id is the one found, as in the list.
std::unordered_map<uint32_t, const CDisplayView::CRegistryEntry*>& ById()
{
    static std::unordered_map<uint32_t, const CDisplayView::CRegistryEntry*> index;
    return index;
}

} // namespace

void CDisplayView::Register(CRegistryEntry& entry)
{
    // An entry registered again stays where it is: linking it a second time
    // would close the list into a ring that every walk follows for ever.
    for (const CRegistryEntry* e = Head(); e; e = e->next)
        if (e == &entry)
            return;
    entry.next = Head();
    Head() = &entry;
    ById()[entry.typeId] = &entry;
}

const CDisplayView::CRegistryEntry* CDisplayView::FirstEntry()
{
    RegisterAllPanelItems();
    return Head();
}

const CDisplayView::CRegistryEntry* CDisplayView::FindEntry(uint32_t typeId)
{
    RegisterAllPanelItems();
    const auto found = ById().find(typeId);
    return found == ById().end() ? nullptr : found->second;
}

const CDisplayView::CRegistryEntry* CDisplayView::RandomEntry()
{
    int count = 0;
    for (const CRegistryEntry* e = FirstEntry(); e; e = e->next)
        ++count;
    if (count == 0)
        return nullptr;
    int steps = std::rand() % count;
    const CRegistryEntry* e = FirstEntry();
    while (steps-- > 0)
        e = e->next;
    return e;
}

std::unique_ptr<CDisplayView::CItemSettings> CDisplayView::CreateSettings(uint32_t typeId)
{
    const CRegistryEntry* entry = FindEntry(typeId);
    if (!entry || !entry->type)
        return nullptr;
    std::unique_ptr<CSerializable> object = entry->type->Create();
    auto* settings = dynamic_cast<CItemSettings*>(object.get());
    if (!settings)
        return nullptr;
    object.release();
    return std::unique_ptr<CItemSettings>(settings);
}

void CDisplayView::AddEntriesToMenu(CMenuTree& menu, std::function<void(const CRegistryEntry&)> chosen)
{
    for (const CRegistryEntry* e = FirstEntry(); e; e = e->next)
        menu.AddActionSheetFunc(e->menuPath, CMenuTree::kPlain, [chosen, e]() {
            if (chosen)
                chosen(*e);
        });
}
