// The item-type registry: ids, menu paths and order, and the stored type
// behind each entry.
#include "foundation/menus/MenuTree.h"
#include "panels/DisplayView.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace {

struct Expected
{
    uint32_t id;
    const char* path;
};

// The families registered so far, in the order they register; the list
// itself runs newest first.
const Expected kRegistered[] = {
    {33, "Instruments:Boat Speed"},
    {34, "Instruments:Apparent Wind Angle"},
    {35, "Instruments:Apparent Wind Speed"},
    {86, "Instruments:True Wind Direction"},
    {87, "Instruments:True Wind Speed"},
    {112, "Instruments:True Wind Range"},
    {113, "Instruments:True Wind Gust"},
    {36, "Instruments:Depth of water"},
    {78, "Instruments:Water Temperature"},
    {80, "Instruments:Rudder Angle"},
    {81, "Instruments:Average Rudder Angle"},
    {82, "Instruments:Engine RPM"},
    {65, "Other:Logo"},
    {69, "Other:Hint To change data"},
    {88, "Other:Blank"},
};

std::vector<const CDisplayView::CRegistryEntry*> Entries()
{
    std::vector<const CDisplayView::CRegistryEntry*> list;
    for (const CDisplayView::CRegistryEntry* e = CDisplayView::FirstEntry(); e; e = e->next)
        list.push_back(e);
    return list;
}

TEST(PanelRegistry, IdsPathsAndOrder)
{
    RegisterAllPanelItems(); // a second call must not register twice
    auto entries = Entries();
    ASSERT_EQ(entries.size(), std::size(kRegistered));
    std::set<uint32_t> ids;
    for (size_t i = 0; i < entries.size(); ++i) {
        const Expected& want = kRegistered[std::size(kRegistered) - 1 - i];
        EXPECT_EQ(entries[i]->typeId, want.id);
        EXPECT_STREQ(entries[i]->menuPath, want.path);
        EXPECT_TRUE(ids.insert(entries[i]->typeId).second) << "id " << entries[i]->typeId << " twice";
    }
}

TEST(PanelRegistry, EachTypeIsMadeUnderItsId)
{
    for (const CDisplayView::CRegistryEntry* e : Entries()) {
        ASSERT_NE(e->type, nullptr);
        EXPECT_EQ(e->type->GetTypeId(), e->typeId);
        // The stored-type registry finds it by the same id.
        EXPECT_EQ(CSerializable::Type::Find(e->typeId), e->type);
        std::unique_ptr<CDisplayView::CItemSettings> s = CDisplayView::CreateSettings(e->typeId);
        ASSERT_NE(s, nullptr) << e->typeId;
        EXPECT_EQ(s->GetTypeId(), e->typeId);
        EXPECT_EQ(s->m_row, -1);
        EXPECT_EQ(s->m_column, -1);
        EXPECT_EQ(s->m_rows, -1);
        EXPECT_EQ(s->m_columns, -1);
        EXPECT_TRUE(CDisplayView::IsItemTypeId(e->typeId));
    }
    // Stored types of other families are no cell types.
    for (uint32_t other : {0u, 20u, 21u, 38u, 40u, 0xFFFFFFFFu}) {
        EXPECT_FALSE(CDisplayView::IsItemTypeId(other));
        EXPECT_EQ(CDisplayView::CreateSettings(other), nullptr);
    }
}

TEST(PanelRegistry, MenuNestsByPathAndCallsBackWithTheEntry)
{
    CMenuTree menu("Change Data", nullptr);
    std::vector<uint32_t> chosen;
    CDisplayView::AddEntriesToMenu(
        menu, [&](const CDisplayView::CRegistryEntry& e) { chosen.push_back(e.typeId); });
    CMenuTree::CItem* other = menu.Root().FindChild("Other");
    ASSERT_NE(other, nullptr);
    size_t others = 0;
    for (const Expected& e : kRegistered)
        others += std::string(e.path).rfind("Other:", 0) == 0;
    ASSERT_EQ(other->Children().size(), others);
    CMenuTree::CItem* hint = other->FindChild("Hint To change data");
    ASSERT_NE(hint, nullptr);
    hint->Select();
    other->FindChild("Logo")->Select();
    EXPECT_EQ(chosen, (std::vector<uint32_t>{69, 65}));
}

TEST(PanelRegistry, RandomEntryReachesEveryEntry)
{
    std::srand(7);
    std::set<uint32_t> seen;
    for (int i = 0; i < 200; ++i) {
        const CDisplayView::CRegistryEntry* e = CDisplayView::RandomEntry();
        ASSERT_NE(e, nullptr);
        seen.insert(e->typeId);
    }
    EXPECT_EQ(seen.size(), std::size(kRegistered));
}

} // namespace
