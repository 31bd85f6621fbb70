// The map-store listing: requests, replies from the loopback chart server,
// ordering, hiding, the map to offer and the tree.
// TESSA_TSAN_LABEL
#include "charts/chartlist/ChartList.h"
#include "charts/mapstore/MapStore.h"
#include "charts/packages/PackageManifest.h"
#include "foundation/web/ChartServer.h"
#include "loopback/LoopbackServer.h"
#include "packagewriter/PackageWriter.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <set>
#include <string>

namespace {

using tessatest::MapStoreRecord;
using tessatest::MapStoreReply;

struct CRequestReader
{
    explicit CRequestReader(std::string body)
        : bytes(std::move(body)), in(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())
    {
    }
    uint32_t U32()
    {
        uint32_t v = 0xFFFFFFFF;
        in.Exchange(v);
        return v;
    }
    double F64()
    {
        double v = NAN;
        in.Exchange(v);
        return v;
    }
    std::string bytes;
    CTypeMemoryIn in;
};

class MapStoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(server.Port(), 0) << server.Error();
        setenv(CChartServer::kEnvironmentVariable, server.BaseURL().c_str(), 1);
        CChartOutline::CSortedPointer::SetSortBy(1);
        SetMapStoreHideSource(nullptr);
    }
    void TearDown() override
    {
        unsetenv(CChartServer::kEnvironmentVariable);
        SetMapStoreHideSource(nullptr);
    }
    void Reply(std::string bytes)
    {
        server.AddPostHandler("/cgi-bin/mapstore3.cgi", [bytes](const tessatest::LoopbackRequest&) {
            tessatest::LoopbackResponse r;
            r.body = bytes;
            return r;
        });
    }
    std::string LastBody() const
    {
        auto requests = server.Requests();
        return requests.empty() ? std::string() : requests.back().body;
    }
    static std::vector<std::string> Names(const CMapShopListing& l)
    {
        std::vector<std::string> names;
        for (const auto& r : l.Records())
            names.push_back(r->name);
        return names;
    }

    tessatest::LoopbackServer server;
    std::vector<uint32_t> held{7, 9};
};

TEST_F(MapStoreTest, RecordsAtAPlaceArriveInOrder)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Reply(MapStoreReply(0, nullptr,
                        {{"Bay", 0.02f, "Topo", "MVT/bay.rlt", 0},
                         {"Harbour", 0.004f, "Nautical", "MVT/harbour.tspkg", 3},
                         {"Coast", 0.05f, "Coastal 2019", "MVT/old/coast.rlt", 0},
                         {"Coast", 0.05f, "Coastal", "MVT/coast.rlt", 0},
                         {"Broken", nan, "Topo", "MVT/broken.rlt", 0}},
                        0xABCD));
    CMapShopListing listing = QueryMapStoreAt(54.5, 10.25);
    ASSERT_TRUE(listing.success) << listing.error;
    EXPECT_EQ(listing.trailing, 0xABCDu);
    // By scale; the two records named "Coast" are both kept, in reply order;
    // the one without a usable scale is dropped.
    EXPECT_EQ(Names(listing), (std::vector<std::string>{"Harbour", "Bay", "Coast", "Coast"}));
    EXPECT_EQ(listing.Records()[2]->path, "MVT/old/coast.rlt");
    EXPECT_TRUE(listing.Records()[0]->IsPackage());

    CRequestReader body(LastBody());
    EXPECT_EQ(body.U32(), 102u);
    EXPECT_EQ(body.U32(), 5u);
    EXPECT_EQ(body.F64(), 54.5);
    EXPECT_EQ(body.F64(), 10.25);

    // By name, byte-wise; resorting by scale keeps equal records in order.
    CChartOutline::CSortedPointer::SetSortBy(0);
    ResortMapShopList(listing);
    EXPECT_EQ(Names(listing), (std::vector<std::string>{"Bay", "Coast", "Coast", "Harbour"}));
    CChartOutline::CSortedPointer::SetSortBy(1);
    ResortMapShopList(listing);
    EXPECT_EQ(listing.Records()[2]->mapType, "Coastal 2019");

    // Hidden names go; an empty text hides nothing.
    SetMapStoreHideSource([] { return std::set<std::string>{"", "arbo"}; });
    listing = QueryMapStoreAt(54.5, 10.25);
    EXPECT_EQ(Names(listing), (std::vector<std::string>{"Bay", "Coast", "Coast"}));
}

TEST_F(MapStoreTest, PointsRequestCarriesHeldProductsAndReplacesThem)
{
    Reply(MapStoreReply(0, &held, {{"A", 0.1f, "Topo", "MVT/a.rlt", 9}}));
    CMapShopListing listing = QueryMapStore({{10.0, 20.0}, {-10.0, 399.0}});
    ASSERT_TRUE(listing.success) << listing.error;
    EXPECT_EQ(listing.held, (std::set<uint32_t>{0, 7, 9}));
    CRequestReader body(LastBody());
    EXPECT_EQ(body.U32(), 101u);
    EXPECT_EQ(body.U32(), 5u);
    EXPECT_EQ(body.U32(), 2u);
    EXPECT_EQ(body.F64(), 10.0);
    EXPECT_EQ(body.F64(), 20.0);

    // No point: the account's products are sent instead.
    listing = QueryMapStore({}, nullptr, nullptr, {4, 5});
    CRequestReader held_body(LastBody());
    EXPECT_EQ(held_body.U32(), 101u);
    held_body.U32();
    EXPECT_EQ(held_body.U32(), 0u);
    EXPECT_EQ(held_body.U32(), 2u);
    EXPECT_EQ(held_body.U32(), 4u);
    EXPECT_EQ(held_body.U32(), 5u);

    // Out of range or not a number: no request at all.
    size_t before = server.RequestCount();
    EXPECT_FALSE(QueryMapStore({{91.0, 0.0}}).success);
    EXPECT_FALSE(QueryMapStore({{0.0, -400.5}}).success);
    EXPECT_FALSE(QueryMapStore({{NAN, 0.0}}).success);
    EXPECT_EQ(server.RequestCount(), before);

    CMapShopTree tree;
    MakeMapShopTree(listing, true, tree);
    EXPECT_EQ(tree.Children().size(), 1u);
}

TEST_F(MapStoreTest, MalformedRepliesGiveAnEmptyListingAndAnError)
{
    std::string good =
        MapStoreReply(0, &held, {{"A", 0.1f, "Topo", "MVT/a.rlt", 0}, {"B", 0.2f, "Topo", "b", 0}});
    // Every cut of a good reply fails cleanly.
    for (size_t cut = 0; cut < good.size(); ++cut) {
        CTypeMemoryIn in(reinterpret_cast<const uint8_t*>(good.data()), cut);
        CMapShopListing listing;
        EXPECT_FALSE(ReadMapStoreReply(in, true, {}, listing)) << cut;
        EXPECT_EQ(listing.Size(), 0u);
        EXPECT_FALSE(listing.error.empty());
    }
    // A refusal, a huge count with nothing behind it, a server error.
    Reply(MapStoreReply(3, &held, {{"A", 0.1f, "Topo", "a", 0}}));
    CMapShopListing listing = QueryMapStore({{1.0, 1.0}});
    EXPECT_FALSE(listing.success);
    EXPECT_EQ(listing.Size(), 0u);
    std::string huge(8, '\0');
    huge[4] = huge[5] = huge[6] = huge[7] = '\xff';
    Reply(huge);
    listing = QueryMapStore({{1.0, 1.0}});
    EXPECT_FALSE(listing.success);
    EXPECT_TRUE(listing.held.empty());
    server.SetStatus("/cgi-bin/mapstore3.cgi", 500, "oops");
    listing = QueryMapStore({{1.0, 1.0}});
    EXPECT_FALSE(listing.success);
    EXPECT_FALSE(listing.error.empty());
    EXPECT_EQ(FindMapStoreMapAt(1.0, 1.0), "");
}

TEST_F(MapStoreTest, OfferedMapIsTheFinestFreeOneOfTwentyMetresOrMore)
{
    Reply(MapStoreReply(0, &held,
                        {{"Too fine", 0.005f, "Topo", "MVT/fine.rlt", 0},
                         {"Product", 0.012f, "Topo", "MVT/product.rlt", 4},
                         {"Chosen", 0.0125f, "Topo", "MVT/chosen.rlt", 0},
                         {"Twin", 0.0125f, "Topo", "MVT/twin.rlt", 0},
                         {"Coarse", 0.5f, "Topo", "MVT/coarse.rlt", 0}}));
    EXPECT_EQ(FindMapStoreMapAt(95.0, 10.0), "MVT/chosen.rlt");
    CRequestReader body(LastBody());
    EXPECT_EQ(body.U32(), 101u);
    EXPECT_EQ(body.U32(), 5u);
    EXPECT_EQ(body.U32(), 1u);
    EXPECT_EQ(body.F64(), 51.5);
    EXPECT_EQ(body.F64(), 0.0);
    EXPECT_EQ(MapStoreOfferPoint(10.0, 401.0), (MapStorePoint{51.5, 0.0}));
    EXPECT_EQ(MapStoreOfferPoint(-90.0, -400.0), (MapStorePoint{-90.0, -400.0}));
}

TEST_F(MapStoreTest, TreeGroupsByTypeWithPackagesAndOldEditionsApart)
{
    Reply(MapStoreReply(0, &held,
                        {{"Harbour", 0.01f, "Nautical", "MVT/h.tspkg", 7},
                         {"Bay", 0.02f, "Nautical", "MVT/bay.rlt", 0},
                         {"Coast", 0.05f, "Coastal 2019", "MVT/c.rlt", 0},
                         {"Hills", 0.05f, "Old Topo", "MVT/hills.rlt", 12}}));
    CMapShopListing listing = QueryMapStore({{1.0, 1.0}});
    ASSERT_TRUE(listing.success);
    CMapShopTree tree;
    MakeMapShopTree(listing, false, tree);
    ASSERT_EQ(tree.Children().size(), 2u);
    EXPECT_EQ(tree.Children()[0]->Label(), "Nautical");
    EXPECT_EQ(tree.Children()[1]->Label(), "Old Editions");
    const CMapShopTree* nautical = tree.Children()[0].get();
    ASSERT_EQ(nautical->Children().size(), 2u);
    EXPECT_EQ(nautical->Children()[0]->Label(), "Bay");
    EXPECT_EQ(nautical->Children()[1]->Label(), "Packages");
    EXPECT_EQ(nautical->Children()[1]->Children()[0]->Item()->name, "Harbour");
    EXPECT_NE(tree.Children()[1]->Find("Coastal 2019"), nullptr);

    CMapShopTree heldOnly;
    MakeMapShopTree(listing, true, heldOnly);
    ASSERT_EQ(heldOnly.Children().size(), 2u); // product 7, and 0 which is always held
    EXPECT_EQ(heldOnly.Children()[1]->Label(), "Old Editions");
    EXPECT_EQ(heldOnly.Children()[1]->Children()[0]->Label(), "Coastal 2019");

    EXPECT_EQ(ExpandMatchingMapShop(tree, "HARB"), 1);
    EXPECT_TRUE(tree.Children()[0]->expanded);
    EXPECT_FALSE(tree.Children()[1]->expanded);
    EXPECT_TRUE(tree.ExpandPathTo("MVT/c.rlt"));
    EXPECT_TRUE(tree.Children()[1]->expanded);

    tree.Children()[0]->checked = false;
    tree.StoreSelectedTypes();
    EXPECT_FALSE(CSelectMapTypes::IsTypeShown("Nautical"));
    EXPECT_TRUE(CSelectMapTypes::IsTypeShown("Coastal 2019"));
}

// Both trees store the chosen types of at most 51 children of a node: the
// 52nd and 53rd leaves of an unchecked group keep their types shown.
template <class Item> void ExpectTypesOfFirst51ChildrenStored()
{
    const std::set<std::string> before = CSelectMapTypes::Get().show;
    CMapTreeNode<Item> root;
    for (int i = 0; i < 53; ++i) {
        auto item = std::make_shared<Item>();
        item->mapType = "Type " + std::to_string(100 + i);
        CSelectMapTypes::ShowType(item->mapType);
        root.Add("Group|" + std::to_string(100 + i), item);
    }
    root.Find("Group")->checked = false;
    root.StoreSelectedTypes();
    EXPECT_FALSE(CSelectMapTypes::IsTypeShown("Group"));
    for (int i = 0; i < 53; ++i)
        EXPECT_EQ(CSelectMapTypes::IsTypeShown("Type " + std::to_string(100 + i)), i >= 51) << i;
    CSelectMapTypes::Get().show = before;
}

TEST(MapTrees, StoringTypesVisitsAtMost51ChildrenOfANode)
{
    ExpectTypesOfFirst51ChildrenStored<CChartOutline>();
    ExpectTypesOfFirst51ChildrenStored<MapShopData>();
}

} // namespace
