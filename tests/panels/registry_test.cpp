// The item-type registry: ids, menu paths and order, and the stored type
// behind each entry.
#include "foundation/menus/MenuTree.h"
#include "panels/DisplayView.h"
#include "panels/SmallItems.h"

#include <algorithm>
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
    {41, "GPS: Course over Ground"},
    {42, "GPS: Speed over Ground"},
    {43, "GPS: Position"},
    {44, "GPS: Accuracy"},
    {45, "GPS: Altitude"},
    {46, "GPS: Time"},
    {68, "GPS: 24h Time with seconds"},
    {47, "Sensors:Compass Heading"},
    {48, "GPS: Average Course"},
    {49, "GPS: Average Speed"},
    {76, "GPS: Satellites"},
    {103, "GPS: Drop Mark Button"},
    {65, "Other:Logo"},
    {84, "Instruments:Timer:Time to start"},
    {89, "Instruments:Timer:Distance to line"},
    {90, "Instruments:Timer:ETA Early/Late at Start"},
    {91, "Instruments:Timer:Ping Start Line Right Mark"},
    {92, "Instruments:Timer:Ping Start Line Left Mark"},
    {93, "Instruments:Timer:Start countdown sequence"},
    {105, "Instruments:Axis:True Wind Dir vs Axis"},
    {106, "Instruments:Axis:Heading vs Axis"},
    {110, "Instruments:Axis:COG vs Axis"},
    {107, "Instruments:Timer:Start Line Bias vs Axis"},
    {108, "Instruments:Timer:Start-Line Bias vs True Wind"},
    {109, "Instruments:Axis:Axis"},
    {69, "Other:Hint To change data"},
    {88, "Other:Blank"},
    {50, "Track: Logging Button"},
    {51, "Track: Distance travelled"},
    {52, "Track: Moving Time"},
    {53, "Track: Elapsed Time"},
    {54, "Track: Time not moving"},
    {55, "Track: Average Speed"},
    {56, "Track: Max Speed"},
    {104, "Other:Load Layout button"},
    {22, "Goto:Distance"},
    {23, "Goto:Bearing"},
    {24, "Goto:Turn Angle"},
    {25, "Goto:CrossTrack"},
    {26, "Goto:Arrow"},
    {57, "Goto:Time to Next WP"},
    {58, "Goto:ETA Next WP"},
    {59, "Goto:Dist to Route End"},
    {114, "Goto:% Along Route"},
    {60, "Goto:Time to Route End"},
    {61, "Goto:ETA End of Route"},
    {62, "Goto:VMG Parallel to Leg"},
    {63, "Goto:VMG Towards Mark"},
    {64, "Goto:Turn after Mark"},
    {66, "Goto:Waypoint name"},
    {97, "Goto:Coming Up"},
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
    RegisterAllPanelItems();     // a second call must not register twice
    RegisterHintAndBlankItems(); // nor a family registered again on its own
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
    const auto others = std::count_if(std::begin(kRegistered), std::end(kRegistered), [](const Expected& e) {
        return std::string(e.path).rfind("Other:", 0) == 0;
    });
    ASSERT_EQ(other->Children().size(), size_t(others));
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
    for (int i = 0; i < 5000; ++i) {
        const CDisplayView::CRegistryEntry* e = CDisplayView::RandomEntry();
        ASSERT_NE(e, nullptr);
        seen.insert(e->typeId);
    }
    EXPECT_EQ(seen.size(), std::size(kRegistered));
}

} // namespace
