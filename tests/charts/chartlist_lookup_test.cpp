// Scale-ordered lookups at a place, duplicate removal, the chart list
// window's trees and the map-type settings.
#include "charts/chartlist/ChartList.h"
#include "chartwriter/ChartWriter.h"
#include "foundation/settings/PersistantData.h"
#include "support/TestPaths.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A chart covering west..east, south..north drawn on 2 x 2 tiles: the wider
// the area, the larger its scale value (nautical miles per pixel).
void Write(const std::string& path, const std::string& name, double west, double south, double east,
           double north, const std::string& type = "Topo", const std::string& edition = "")
{
    fs::create_directories(fs::path(path).parent_path());
    chartwriter::CChartWriter w(2, 2);
    w.name = name;
    w.mapType = type;
    w.edition = edition;
    chartwriter::PlateCarreeCoefficients(west, north, east, south, 128, 128, w.forward, w.inverse);
    ASSERT_TRUE(w.Write(path));
}

std::string NameOf(const ChartOutlinePtr& o)
{
    return o ? o->name : std::string("(none)");
}

class ChartLookup : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = tessatest::MakeScratchDir("chartlookup");
        folders.standard = {root + "/charts"};
        folders.documents = root + "/charts";
        folders.mapStore = root + "/charts/MVT";
        folders.mapFoldersFile = root + "/map_folders.txt";
        savedShow = CSelectMapTypes::Get().show;
        CSelectMapTypes::Get().show = CSelectMapTypes::DefaultTypes();
        // Nested coverage around (54.5, 10.5): world, region, harbour; an
        // offshore chart elsewhere, and a nautical chart over the harbour.
        Write(root + "/charts/world.rlt", "World", -180, -80, 180, 80);
        Write(root + "/charts/region.rlt", "Region", 8, 53, 13, 56);
        Write(root + "/charts/MVT/pack/harbour.rlt", "Harbour", 10.4, 54.4, 10.6, 54.6);
        Write(root + "/charts/offshore.rlt", "Offshore", 0, 50, 1, 51);
        Write(root + "/charts/sea.rlt", "Sea", 10, 54, 11, 55, "Nautical");
    }
    void TearDown() override
    {
        CSelectMapTypes::Get().show = savedShow;
        fs::remove_all(root);
    }
    std::string root;
    CChartFolders folders;
    std::set<std::string> savedShow;
};

} // namespace

TEST_F(ChartLookup, BestHigherAndLowerScaleChartsAtAPlace)
{
    CChartList list;
    list.Init(folders);
    ASSERT_EQ(list.Outlines().size(), 5u);
    for (size_t i = 1; i < list.Outlines().size(); ++i)
        EXPECT_LE(list.Outlines()[i - 1]->scale, list.Outlines()[i]->scale);

    const double harbourScale = list.FindByPath(root + "/charts/MVT/pack/harbour.rlt")->scale;
    EXPECT_EQ(NameOf(list.FindBestChartAt(54.5, 10.5, harbourScale * 1.5)), "Harbour");
    EXPECT_EQ(NameOf(list.FindBestChartAt(54.5, 10.5, 1.0)), "Region");
    // Target 0: the smallest scale value there.
    EXPECT_EQ(NameOf(list.FindBestChartAt(54.5, 10.5, 0)), "Harbour");
    EXPECT_EQ(NameOf(list.FindBestChartAt(50.5, 0.5, 0)), "Offshore");
    EXPECT_EQ(NameOf(list.FindBestChartAt(-60, 100, 0)), "World");
    EXPECT_EQ(NameOf(list.FindBestChartAt(85, 0, 0)), "(none)");
    // Only a hidden type covers the point: it is still found.
    CSelectMapTypes::Get().show = {"Nautical"};
    EXPECT_EQ(NameOf(list.FindBestChartAt(54.5, 10.5, 0)), "Sea");
    EXPECT_EQ(NameOf(list.FindBestChartAt(-60, 100, 0)), "World");
    CSelectMapTypes::Get().show = CSelectMapTypes::DefaultTypes();

    // Zooming steps through the shown types only (the nautical chart is skipped).
    EXPECT_EQ(list.FindLowerScaleChartAt(54.5, 10.5), nullptr);
    list.SetCurrentOutline(list.FindByPath(root + "/charts/region.rlt"));
    EXPECT_EQ(NameOf(list.FindLowerScaleChartAt(54.5, 10.5)), "Harbour");
    EXPECT_EQ(NameOf(list.FindHigherScaleChartAt(54.5, 10.5)), "World");
    EXPECT_EQ(NameOf(list.FindLowerScaleChartAt(50.5, 0.5)), "Offshore");
    list.SetCurrentOutline(list.FindByPath(root + "/charts/world.rlt"));
    EXPECT_EQ(list.FindHigherScaleChartAt(54.5, 10.5), nullptr);

    std::vector<ChartOutlinePtr> at;
    list.ListChartsAt(54.5, 10.5, at);
    ASSERT_EQ(at.size(), 4u);
    EXPECT_EQ(NameOf(at.front()), "Harbour");
    EXPECT_EQ(NameOf(at.back()), "World");
}

TEST_F(ChartLookup, ChartsOfEqualScaleAreAllKept)
{
    Write(root + "/charts/twin1.rlt", "Twin A", 20, 54, 21, 55);
    Write(root + "/charts/twin2.rlt", "Twin B", 20, 54, 21, 55);
    CChartList list;
    list.Init(folders);
    EXPECT_EQ(list.Outlines().size(), 7u);
    std::vector<ChartOutlinePtr> at;
    list.ListChartsAt(54.5, 20.5, at);
    ASSERT_EQ(at.size(), 3u);
    EXPECT_EQ(at[0]->scale, at[1]->scale);
}

TEST_F(ChartLookup, AChartReplacedAtItsPathIsReadAgain)
{
    CChartList list;
    list.Init(folders);
    const std::string path = root + "/charts/region.rlt";
    ASSERT_EQ(NameOf(list.AddChart(path)), "Region");
    // A download replaces the file (a new inode, or new size and time).
    fs::remove(path);
    Write(path, "Region, second edition", 8.5, 53.5, 12.5, 55.5);
    ChartOutlinePtr again = list.AddChart(path);
    EXPECT_EQ(NameOf(again), "Region, second edition");
    size_t named = 0;
    for (const auto& o : list.Outlines())
        named += o->path == path;
    EXPECT_EQ(named, 1u);
}

TEST_F(ChartLookup, DuplicatesKeepTheNewestCopyAndNeverTheOnlyFile)
{
    Write(root + "/charts/set1/bay.rlt", "Bay", 30, 40, 31, 41, "Topo", "5");
    Write(root + "/charts/set2/bay.rlt", "Bay", 30, 40, 31, 41, "Topo", "5");
    Write(root + "/charts/old/cape.rlt", "Cape", 32, 40, 33, 41, "Topo", "01/01/2019");
    Write(root + "/charts/new/cape.rlt", "Cape", 32, 40, 33, 41, "Topo", "01/01/2020");
    fs::create_directories(root + "/charts/MVT/pack");
    // The same file under a second name and folder is one chart, never a duplicate.
    fs::create_directories(root + "/charts/again");
    fs::create_hard_link(root + "/charts/region.rlt", root + "/charts/again/region.rlt");
    Write(root + "/charts/set2/bay.rl3/0", "part", 0, 0, 1, 1);

    CChartList list;
    list.Init(folders);
    EXPECT_EQ(list.RemoveDuplicateMaps(), 2);
    EXPECT_FALSE(fs::exists(root + "/charts/set1/bay.rlt"));
    EXPECT_TRUE(fs::exists(root + "/charts/set2/bay.rlt"));
    EXPECT_TRUE(fs::exists(root + "/charts/set2/bay.rl3"));
    EXPECT_FALSE(fs::exists(root + "/charts/old/cape.rlt"));
    EXPECT_TRUE(fs::exists(root + "/charts/new/cape.rlt"));
    EXPECT_TRUE(fs::exists(root + "/charts/region.rlt"));
    EXPECT_TRUE(fs::exists(root + "/charts/again/region.rlt"));
    EXPECT_EQ(list.Outlines().size(), 7u);
    EXPECT_EQ(list.RemoveDuplicateMaps(), 0);

    // The chunk store goes with its chart.
    EXPECT_TRUE(list.DeleteChart(list.FindByPath(root + "/charts/set2/bay.rlt")));
    EXPECT_FALSE(fs::exists(root + "/charts/set2/bay.rl3"));
}

TEST_F(ChartLookup, FailedDeletionsAreNotCounted)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    Write(root + "/charts/ro1/bay.rlt", "Bay", 30, 40, 31, 41, "Topo", "5");
    Write(root + "/charts/ro2/bay.rlt", "Bay", 30, 40, 31, 41, "Topo", "5");
    fs::permissions(root + "/charts/ro1", fs::perms::owner_read | fs::perms::owner_exec);
    CChartList list;
    list.Init(folders);
    EXPECT_EQ(list.RemoveDuplicateMaps(), 0);
    EXPECT_TRUE(list.FindByPath(root + "/charts/ro1/bay.rlt"));
    fs::permissions(root + "/charts/ro1", fs::perms::owner_all);
}

TEST_F(ChartLookup, TreesGroupBySourceAndTypeAndStoreTheChosenTypes)
{
    CChartList list;
    list.Init(folders);
    auto bySource = list.MakeTreeAll(false);
    ASSERT_NE(bySource->Find("Documents"), nullptr);
    EXPECT_EQ(bySource->Find("Documents")->Children().size(), 4u);
    const CChartTree* pack = bySource->Find("MVT") ? bySource->Find("MVT")->Find("pack") : nullptr;
    ASSERT_NE(pack, nullptr);
    ASSERT_NE(pack->Find("Harbour"), nullptr);
    EXPECT_EQ(pack->Find("Harbour")->Item()->name, "Harbour");

    auto byType = list.MakeTreeAt(54.5, 10.5, true);
    ASSERT_EQ(byType->Children().size(), 2u);
    EXPECT_EQ(byType->Find("Nautical")->Children().size(), 1u);
    EXPECT_EQ(byType->Find("Topo")->Children().size(), 3u);
    EXPECT_FALSE(byType->Find("Nautical")->checked);

    byType->Find("Nautical")->checked = true;
    byType->Find("Topo")->checked = false;
    byType->StoreSelectedTypes();
    EXPECT_TRUE(CSelectMapTypes::IsTypeShown("Nautical"));
    EXPECT_FALSE(CSelectMapTypes::IsTypeShown("Topo"));

    EXPECT_TRUE(byType->ExpandPathTo(root + "/charts/sea.rlt"));
    EXPECT_TRUE(byType->Find("Nautical")->expanded);
    EXPECT_FALSE(byType->Find("Topo")->expanded);
    EXPECT_FALSE(byType->ExpandPathTo(root + "/charts/offshore.rlt"));
}

TEST_F(ChartLookup, SortOrdersAndInfoText)
{
    CChartList list;
    list.Init(folders);
    std::vector<ChartOutlinePtr> v(list.Outlines().begin(), list.Outlines().end());
    using S = CChartOutline::CSortedPointer;
    S::Sort(v, S::kByName, 0, 0);
    EXPECT_EQ(NameOf(v.front()), "Harbour");
    EXPECT_EQ(NameOf(v.back()), "World");
    // Charts holding the point first, by scale; then the nearest others.
    S::Sort(v, S::kByDistance, 54.5, 10.5);
    std::vector<std::string> names;
    for (const auto& o : v)
        names.push_back(o->name);
    EXPECT_EQ(names, (std::vector<std::string>{"Harbour", "Sea", "Region", "World", "Offshore"}));

    chartwriter::CChartWriter w(1, 1);
    w.name = "Info";
    w.scale = "1:50000";
    w.edition = "3";
    w.rights = "(c) Us";
    chartwriter::PlateCarreeCoefficients(0, 1, 1, 0, 64, 64, w.forward, w.inverse);
    ASSERT_TRUE(w.Write(root + "/info.rlt"));
    auto info = CChartOutline::FromFile(root + "/info.rlt");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->GetInfoText(), "Scale: 1:50000. Ed: 3. (C): (c) Us. Folder:Shared.");
    std::ofstream(root + "/info.rlt", std::ios::trunc) << "not a chart";
    EXPECT_EQ(info->GetInfoText(), "Not a rlt file");
    fs::remove(root + "/info.rlt");
    EXPECT_EQ(info->GetInfoText(), "Can't open file");
}

TEST(ChartListSettings, ShownTypesDefaultWhenMissing)
{
    std::string dir = tessatest::MakeScratchDir("chartsettings");
    std::ofstream(dir + "/a.ini") << "CSelectMapTypes:types_hint=1\n";
    PersistantData::SetIniPaths(dir + "/a.ini", dir + "/b.ini");
    CSelectMapTypes::Get().show = {"Nautical"};
    CSelectMapTypes::Get().show.clear();
    PersistantData::LoadAll("Tessaroute");
    EXPECT_EQ(CSelectMapTypes::Get().show, CSelectMapTypes::DefaultTypes());
    EXPECT_TRUE(CSelectMapTypes::Get().typesHint);
    PersistantData::SetIniPaths("", "");
    fs::remove_all(dir);
}
