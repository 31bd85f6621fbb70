// Marks: icon names and symbols, copies and their names, the stored record
// (hand-written golden bytes, every prefix of it, mended values).
#include "foundation/drawing/Images.h"
#include "foundation/objectfile/Serializable.h"
#include "geodesy/Polygon.h"
#include "overlays/model/MarkIcons.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayNames.h"
#include "overlays/model/OverlayRoute.h"
#include "support/FixedClock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

std::string FromHex(const std::string& hex)
{
    std::string out;
    std::string digits;
    for (char c : hex)
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits += c;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out += char(std::stoi(digits.substr(i, 2), nullptr, 16));
    return out;
}

class MarkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CMarkManager::Get().ClearForTesting();
        auto& s = CMarkManager::Settings();
        s.defaultMarkIcon = "Flag";
        s.defaultWpIcon = "Dot";
        s.defaultMarkColor = GraphicsColor(1, 0, 0, 1);
        s.defaultWpColor = GraphicsColor(0, 0, 1, 1);
        SetHighResolutionImagesForTesting(false);
    }
    void TearDown() override
    {
        CMarkManager::Get().ClearForTesting();
        CMarkManager::Settings().defaultMarkIcon = "Flag";
        CMarkManager::Settings().defaultWpIcon = "Dot";
    }
    COverlayMark* AddNamed(const std::string& name)
    {
        auto mark = std::make_unique<COverlayMark>();
        mark->SetName(name);
        return CMarkManager::Get().AddMark(std::move(mark));
    }
    tessatest::CFixedClock clock;
};

TEST(IconNames, AreNormalisedToSafeNames)
{
    const struct
    {
        std::string in, out;
    } cases[] = {
        {"MOB", "MOB"},
        {"mob", "Mob"},
        {"buoy can", "Buoy_can"},
        {"BUOY_CAN", "Buoy_can"},
        {"first aid!", "First_aid"},
        {"../../etc/passwd", "Etcpasswd"},
        {"g pin", "G_pin"},
        {"", ""},
        {"\xff\xfe"
         "abc\x01",
         "Abc"},
        {"9 lives", "9_lives"},
        {std::string(300, 'a'), "A" + std::string(63, 'a')},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NormaliseIconName(c.in), c.out) << c.in;
}

TEST(NameNumbers, ReadLikeAtoiAndSaturate)
{
    const struct
    {
        const char* text;
        size_t from;
        uint64_t value;
    } cases[] = {
        {"Buoy7x", 4, 7}, {"Buoy", 4, 0}, {"P 12", 1, 12},   {"P-5", 1, 0},
        {"R+3", 1, 3},    {"Road", 1, 0}, {"P00042", 1, 42}, {"P99999999999999999999999", 1, kMaxNameNumber},
        {"P", 5, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseNameNumber(c.text, c.from), c.value) << c.text;
    EXPECT_TRUE(IsPlainPointName("P4"));
    EXPECT_TRUE(IsPlainPointName("P-"));
    EXPECT_FALSE(IsPlainPointName("Pier"));
    EXPECT_FALSE(IsPlainPointName("P"));
    EXPECT_FALSE(IsPlainPointName("p4"));
}

TEST_F(MarkTest, EverySymbolHasItsHotSpotOnItsDrawnPoint)
{
    const struct
    {
        const char* name;
        double fx, fy;
    } table[] = {
        {"Flag", 0.0862, 0.875},
        {"Dot", 0.486, 0.486},
        {"Pin", 0.937, 0.937},
        {"Person", 0.592, 0.875},
        {"X", 0.5, 0.5},
        {"Anchor", 0.4375, 0.875},
        {"Boat", 0.4375, 0.6},
        {"Buoy_can", 11.0 / 24, 15.0 / 19},
        {"Buoy_cardinal", 0.5625, 35.0 / 38},
        {"Buoy_conical", 11.0 / 24, 0.84},
        {"Buoy_round", 11.0 / 24, 0.84},
        {"Car", 0.5625, 0.53125},
        {"Circle", 6.0 / 13, 6.0 / 13},
        {"Deer", 0.5625, 0.53125},
        {"Exit", 16.0 / 31, 7.0 / 15},
        {"First_aid", 0.5, 0.5},
        {"Fish", 0.40625, 8.0 / 17},
        {"Fuel", 0.46875, 0.84375},
        {"G_pin", 0.28125, 31.0 / 33},
        {"Geocache", 0.53125, 8.0 / 13},
        {"House", 0.625, 0.8125},
        {"MOB", 10.0 / 21, 10.0 / 21},
        {"Skull", 0.5, 0.71875},
        {"Square", 4.0 / 9, 4.0 / 9},
        {"Tent", 0.6875, 0.71875},
        {"Tinydot", 1.0 / 3, 1.0 / 3},
        {"Trackback", 4.0 / 9, 4.0 / 9},
        {"Triangle", 7.0 / 15, 7.0 / 13},
        {"Warning", 0.5, 0.5625},
        {"Wreck", 0.40625, 9.0 / 11},
    };
    ASSERT_EQ(GetMarkIconNames().size(), std::size(table));
    GraphicsColor grey(0.5, 0.5, 0.5, 1);
    for (const auto& t : table) {
        const CMarkIcon& icon = GetMarkIcon(t.name, grey);
        ASSERT_FALSE(icon.image.isNull()) << t.name;
        const QSizeF size = GetImageSize(icon.image);
        EXPECT_NEAR(icon.hotSpotX, size.width() * t.fx, 1e-9) << t.name;
        EXPECT_NEAR(icon.hotSpotY, size.height() * t.fy, 1e-9) << t.name;
        // The artwork marks its hot spot: the pixel there is drawn.
        const int px = int(icon.hotSpotX * icon.image.devicePixelRatio());
        const int py = int(icon.hotSpotY * icon.image.devicePixelRatio());
        EXPECT_GT(qAlpha(icon.image.pixel(px, py)), 128) << t.name;
    }
    double fx = 0, fy = 0;
    EXPECT_FALSE(GetIconHotSpotFraction("Unknown", fx, fy));
    EXPECT_EQ(fx, 0.5);
    EXPECT_EQ(fy, 0.5);
}

TEST_F(MarkTest, MissingSymbolsFallBackToTheKindsIconThenToFlag)
{
    auto hotSpotOf = [](const char* name) { return GetMarkIcon(name, GraphicsColor(1, 0, 0, 1)).hotSpotX; };
    CMarkManager::Settings().defaultMarkIcon = "Square";
    COverlayMark mark;
    mark.SetIconAndColour("No such symbol", GraphicsColor(1, 0, 0, 1));
    mark.ResolveIcon();
    ASSERT_FALSE(mark.GetIconImage().isNull());
    EXPECT_EQ(mark.GetHotSpotX(), hotSpotOf("Square"));

    CMarkManager::Settings().defaultMarkIcon = "Also missing";
    mark.SetIconAndColour("No such symbol", GraphicsColor(1, 0, 0, 1));
    mark.ResolveIcon();
    EXPECT_EQ(mark.GetHotSpotX(), hotSpotOf("Flag"));

    // Route points fall back to the waypoint icon.
    COverlayRoute route;
    auto point = std::make_unique<COverlayMark>();
    COverlayMark* p = route.AddPoint(std::move(point));
    p->SetIconAndColour("Nope", GraphicsColor(1, 0, 0, 1));
    p->ResolveIcon();
    EXPECT_EQ(p->GetHotSpotX(), hotSpotOf("Dot"));
}

TEST_F(MarkTest, NewMarksTakeTheDefaultsOfTheirKind)
{
    COverlayMark free;
    EXPECT_EQ(free.GetIcon(), "Flag");
    EXPECT_EQ(free.GetColour(), GraphicsColor(1, 0, 0, 1));
    CMarkManager::RoutePointScope scope;
    COverlayMark point;
    EXPECT_EQ(point.GetIcon(), "Dot");
    EXPECT_EQ(point.GetColour(), GraphicsColor(0, 0, 1, 1));
}

TEST_F(MarkTest, CopiesNumberTemplatesAndKeepPlainNames)
{
    AddNamed("Buoy3");
    AddNamed("Buoy7x");
    AddNamed("Buoy");
    AddNamed("Other12");
    const struct
    {
        const char* source;
        const char* copy;
    } cases[] = {
        {"Buoy#", "Buoy8"},    {"Buoy", "Buoy"},
        {"Mark#", "Mark1"},    {"#5", "#5"}, // a '#' first is no template
        {"Buoy#abc", "Buoy8"},
    };
    for (const auto& c : cases) {
        COverlayMark source;
        source.SetName(c.source);
        source.SetLink("http://a?b&c");
        source.SetRadii(20, 50);
        source.SetLocked(true);
        source.GetSyncId();
        auto copy = COverlayMark::MakeCopy(source);
        EXPECT_EQ(copy->GetName(), c.copy) << c.source;
        EXPECT_EQ(copy->GetLink(), "http://a?b&c");
        EXPECT_EQ(copy->GetOuterRadius(), 50.0f);
        EXPECT_TRUE(copy->IsLocked());
        EXPECT_FALSE(copy->HasSyncId()); // a new identity
    }
    AddNamed("Buoy99999999999999999999999");
    COverlayMark huge;
    huge.SetName("Buoy#");
    EXPECT_EQ(COverlayMark::MakeCopy(huge)->GetName(), "Buoy1000000000000000000");
    EXPECT_EQ(CMarkManager::Get().NextNumberedName("Other"), "Other13");
}

// name "A" at 1.5, -2.0, created 1700000000, icon Flag in red, no radii,
// sync block with id 0x1122334455667788.
const char* const kFreeMarkHex = "49f2ac73"                            // magic
                                 "be 71000000"                         // chunk, 113 bytes
                                 "01000000 41"                         // name
                                 "000000000000f83f"                    // latitude 1.5
                                 "00000000000000c0"                    // longitude -2.0
                                 "00000040fc54d941"                    // time
                                 "00000000"                            // link
                                 "00000000"                            // description
                                 "00 00"                               // go-to target, locked
                                 "04000000 466c6167"                   // icon "Flag"
                                 "0000803f 00000000 00000000 0000803f" // red
                                 "00000000 00000000"                   // inner, outer radius
                                 "be 21000000"                         // sync block, 33 bytes
                                 "8877665544332211 00 00000040fc54d941 00 00000040fc54d941 01 00"
                                 "00000000"; // category

// "R1P1" at 10.25, -3.5, icon Dot in blue, radii 20 and 50, locked: no sync block.
const char* const kRoutePointHex = "49f2ac73"
                                   "be 52000000"                         // chunk, 82 bytes
                                   "04000000 52315031"                   // name "R1P1"
                                   "0000000000802440"                    // latitude 10.25
                                   "0000000000000cc0"                    // longitude -3.5
                                   "00000040fc54d941"                    // time
                                   "00000000 00000000"                   // link, description
                                   "00 01"                               // go-to target, locked
                                   "03000000 446f74"                     // icon "Dot"
                                   "00000000 00000000 0000803f 0000803f" // blue
                                   "0000a041 00004842"                   // inner 20, outer 50
                                   "00000000";                           // category

TEST_F(MarkTest, FreeMarkAndRoutePointRecordsMatchTheirGoldenBytes)
{
    COverlayMark free;
    free.SetName("A");
    free.SetPosition(1.5, -2.0);
    free.SetSyncId(0x1122334455667788ull);
    std::string bytes;
    ASSERT_TRUE(free.SaveToBuffer(bytes));
    EXPECT_EQ(bytes, FromHex(kFreeMarkHex));

    COverlayRoute route;
    std::unique_ptr<COverlayMark> made;
    {
        CMarkManager::RoutePointScope scope;
        made = std::make_unique<COverlayMark>();
    }
    COverlayMark* point = route.AddPoint(std::move(made));
    point->SetName("R1P1");
    point->SetPosition(10.25, -3.5);
    point->SetRadii(20, 50);
    point->SetLocked(true);
    ASSERT_TRUE(point->SaveToBuffer(bytes));
    EXPECT_EQ(bytes, FromHex(kRoutePointHex));

    // And back.
    const std::string golden = FromHex(kFreeMarkHex);
    COverlayMark read;
    ASSERT_TRUE(read.LoadFromBuffer(golden.data(), golden.size()));
    EXPECT_EQ(read.GetName(), "A");
    EXPECT_EQ(read.GetLongitude(), -2.0);
    EXPECT_EQ(read.GetSyncId(), 0x1122334455667788ull);
    EXPECT_EQ(read.GetCreated(), 1700000000.0);
    const std::string pointBytes = FromHex(kRoutePointHex);
    CMarkManager::RoutePointScope scope;
    COverlayMark readPoint;
    ASSERT_TRUE(readPoint.LoadFromBuffer(pointBytes.data(), pointBytes.size()));
    EXPECT_EQ(readPoint.GetOuterRadius(), 50.0f);
    EXPECT_TRUE(readPoint.IsLocked());
    EXPECT_FALSE(readPoint.HasSyncId());
}

TEST_F(MarkTest, EveryPrefixOfARecordReadsWithoutHarm)
{
    for (const char* hex : {kFreeMarkHex, kRoutePointHex}) {
        const std::string whole = FromHex(hex);
        for (size_t n = 0; n < whole.size(); ++n) {
            COverlayMark mark;
            std::string prefix = whole.substr(0, n);
            // A shortened chunk with its length mended reads as an older record.
            if (n >= 9) {
                const uint32_t length = uint32_t(n - 4);
                std::memcpy(&prefix[5], &length, 4);
            }
            mark.LoadFromBuffer(prefix.data(), prefix.size());
            EXPECT_TRUE(std::isfinite(mark.GetCreated()));
            EXPECT_LE(mark.GetCreated(), mark.GetModified());
        }
    }
}

TEST_F(MarkTest, ReadValuesThatCannotBeUsedAreMended)
{
    std::string bytes = FromHex(kFreeMarkHex);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const float negative = -5.0f, inf = std::numeric_limits<float>::infinity();
    const double later = 1800000000.0;   // record time after the block's modified time
    std::memcpy(&bytes[9 + 5], &nan, 8); // latitude
    std::memcpy(&bytes[9 + 5 + 24 + 8 + 2 + 8 + 16], &negative, 4);
    std::memcpy(&bytes[9 + 5 + 24 + 8 + 2 + 8 + 16 + 4], &inf, 4);
    const size_t block = 9 + 5 + 24 + 8 + 2 + 8 + 16 + 8 + 5;
    std::memcpy(&bytes[block + 18], &later, 8); // created in the block
    COverlayMark mark;
    ASSERT_TRUE(mark.LoadFromBuffer(bytes.data(), bytes.size()));
    EXPECT_FALSE(mark.HasPosition());
    EXPECT_EQ(mark.GetLatitude(), COverlayMark::kNoPosition);
    EXPECT_EQ(mark.GetInnerRadius(), 0.0f);
    EXPECT_EQ(mark.GetOuterRadius(), 0.0f);
    EXPECT_LE(mark.GetCreated(), mark.GetModified());
    CBoundingBox box;
    EXPECT_FALSE(mark.ExtendBounds(box));
}

TEST_F(MarkTest, SameMarksAndBounds)
{
    COverlayMark a, b;
    a.SetName("Harbour");
    a.SetPosition(50, 1);
    const struct
    {
        const char* name;
        double dlat, dlon;
        bool same;
    } cases[] = {
        {"harbour", 0, 0, true},
        {"HARBOUR", 1.6e-5, -1.6e-5, true},
        {"Harbour", 1.8e-5, 0, false},
        {"Harbor", 0, 0, false},
    };
    for (const auto& c : cases) {
        b.SetName(c.name);
        b.SetPosition(50 + c.dlat, 1 + c.dlon);
        EXPECT_EQ(a.IsSameMark(b), c.same) << c.name << " " << c.dlat;
    }
    CBoundingBox box;
    ASSERT_TRUE(a.ExtendBounds(box));
    EXPECT_NEAR(box.minX, 0.999, 1e-12);
    EXPECT_NEAR(box.maxY, 50.001, 1e-12);
}

TEST_F(MarkTest, DeletedFreeMarksBecomeClearedTombstones)
{
    COverlayMark* mark = AddNamed("P1");
    mark->SetPosition(1, 2);
    mark->SetRadii(0, 100);
    mark->SetLink("x");
    CMarkManager::Get().DeleteMark(mark);
    ASSERT_EQ(CMarkManager::Get().Marks().size(), 1u); // stays as a tombstone
    EXPECT_TRUE(mark->IsDeleted());
    EXPECT_FALSE(mark->IsVisible());
    EXPECT_EQ(mark->GetName(), "");
    EXPECT_EQ(mark->GetLink(), "");
    EXPECT_EQ(mark->GetOuterRadius(), 0.0f);
    EXPECT_FALSE(mark->HasPosition());
    EXPECT_EQ(mark->GetState(), COverlayObject::kDeleted);
}

} // namespace
