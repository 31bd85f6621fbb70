// The store "marks_routes.bin": a hand-checked byte dump, round trips, every
// truncation, refused files kept aside, failed saves, go-to and follow flags.
#include "foundation/AtomicFile.h"
#include "foundation/notify/StatusLine.h"
#include "foundation/objectfile/Serializable.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "support/FixedClock.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>

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

std::string ToHex(const std::string& bytes)
{
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

class MarkStore : public ::testing::Test
{
protected:
    void SetUp() override
    {
        manager.ClearForTesting();
        char pattern[] = "/tmp/markstoreXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        path = folder + "/marks_routes.bin";
    }
    void TearDown() override
    {
        manager.ClearForTesting();
        ClearStatusMessage();
        std::string cmd = "rm -rf '" + folder + "'";
        (void)std::system(cmd.c_str());
    }
    COverlayMark* Mark(const std::string& name, double lat, double lon, uint64_t id)
    {
        auto m = std::make_unique<COverlayMark>();
        m->SetName(name);
        m->SetPosition(lat, lon);
        m->SetSyncId(id);
        return manager.AddMark(std::move(m));
    }
    COverlayRoute* Route(const std::string& name, int points, uint64_t id)
    {
        auto r = std::make_unique<COverlayRoute>();
        r->SetName(name);
        r->SetSyncId(id);
        for (int i = 0; i < points; ++i) {
            CMarkManager::RoutePointScope scope;
            auto p = std::make_unique<COverlayMark>();
            p->SetName(name + "P" + std::to_string(i + 1));
            p->SetPosition(1 + i, 2 + i);
            r->AddPoint(std::move(p));
        }
        return manager.AddRoute(std::move(r));
    }
    // Two marks (the second a tombstone), a route of three points, a go-to.
    void MakeSmallStore()
    {
        COverlayMark* a = Mark("A", 1.5, -2.0, 0x11);
        manager.DeleteMark(Mark("B", 3, 4, 0x22));
        Route("R", 3, 0x33);
        manager.GotoMark(a);
    }
    std::string Save()
    {
        std::string bytes;
        EXPECT_TRUE(manager.SaveToBuffer(bytes, {}, nullptr, CMarkManager::kFileId));
        return bytes;
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& m : manager.Marks())
            names.push_back(m->GetName());
        for (const auto& r : manager.Routes())
            names.push_back(r->GetName() + "/" + std::to_string(r->PointCount()));
        return names;
    }

    CMarkManager& manager = CMarkManager::Get();
    tessatest::CFixedClock clock{1700000000.0};
    std::string folder;
    std::string path;
};

// Two marks (B a tombstone), route R of three points, a go-to to A.
const char* const kSmallStoreHex =
    "49f2ac73"                                                          // magic
    "be 09000000 f2cf004c"                                              // the store's identifier
    "be 3a020000"                                                       // the manager's chunk
    "00000000"                                                          // legacy list: empty
    "01000000"                                                          // one route
    "be 48010000 01000000 52"                                           // R
    "be 1d000000 00000000 00000000 00000000 0000803f 00000040 00000000" // line style
    "03000000"                                                          // three points, no sync blocks
    "be 51000000 03000000 525031 000000000000f03f 0000000000000040 00000040fc54d941 00000000 00000000 00 00"
    "  03000000 446f74 00000000 00000000 0000803f 0000803f 00000000 00000000 00000000"
    "be 51000000 03000000 525032 0000000000000040 0000000000000840 00000040fc54d941 00000000 00000000 00 00"
    "  03000000 446f74 00000000 00000000 0000803f 0000803f 00000000 00000000 00000000"
    "be 51000000 03000000 525033 0000000000000840 0000000000001040 00000040fc54d941 00000000 00000000 00 00"
    "  03000000 446f74 00000000 00000000 0000803f 0000803f 00000000 00000000 00000000"
    "00000000 00" // description, not followed
    "be 21000000 3300000000000000 00 00000040fc54d941 00 00000040fc54d941 01 00"
    "00000000" // category
    "02000000" // two marks
    "be 71000000 01000000 41 000000000000f83f 00000000000000c0 00000040fc54d941 00000000 00000000"
    "  01 00" // the go-to target, not locked
    "  04000000 466c6167 0000803f 00000000 00000000 0000803f 00000000 00000000"
    "  be 21000000 1100000000000000 00 00000040fc54d941 00 00000040fc54d941 01 00"
    "  00000000"
    "be 70000000 00000000 0000000000388f40 0000000000388f40 00000040fc54d941 00000000 00000000 00 00"
    "  04000000 466c6167 0000803f 00000000 00000000 0000803f 00000000 00000000"
    "  be 21000000 2200000000000000 00 00000040fc54d941 01 00000040fc54d941 00 00" // deleted
    "  00000000";

// The store bytes around a legacy list of the given objects and no routes or marks.
std::string LegacyStore(const std::vector<CSerializable*>& objects)
{
    CSerialStream s = CSerialStream::OpenWrite({}, nullptr);
    {
        CSerialChunk version(s);
        uint32_t id = CMarkManager::kFileId;
        version.Exchange(id);
    }
    {
        CSerialChunk chunk(s);
        chunk.WriteObjectList(objects);
        uint32_t none = 0;
        chunk.Exchange(none);
        chunk.Exchange(none);
    }
    return s.Output();
}

TEST_F(MarkStore, SmallStoreMatchesItsBytesAndReadsBackTheSame)
{
    MakeSmallStore();
    const std::string golden = FromHex(kSmallStoreHex);
    const std::string bytes = Save();
    EXPECT_EQ(ToHex(bytes), ToHex(golden));

    manager.ClearForTesting();
    WriteAll(path, golden);
    ASSERT_TRUE(manager.LoadStore(path));
    EXPECT_EQ(Names(), (std::vector<std::string>{"A", "", "R/3"}));
    EXPECT_TRUE(manager.Marks()[1]->IsDeleted());
    // The go-to comes back with the store, on the mark read.
    EXPECT_EQ(manager.GetGoto().target, manager.Marks()[0].get());
    EXPECT_TRUE(manager.Marks()[0]->IsGotoTarget());
    EXPECT_EQ(Save(), golden);
}

TEST_F(MarkStore, EveryTruncationLeavesTheManagerAsItWasOrWhole)
{
    MakeSmallStore();
    const std::string golden = Save();
    manager.ClearForTesting();
    COverlayMark* z = Mark("Z", 10, 10, 0x99);
    manager.GotoMark(z);
    for (size_t n = 0; n < golden.size(); ++n) {
        const bool ok = manager.LoadFromBuffer(golden.data(), n, {}, nullptr, CMarkManager::kFileId);
        ASSERT_FALSE(ok) << n;
        ASSERT_EQ(manager.Marks().size(), 1u) << n;
        ASSERT_EQ(manager.Marks()[0].get(), z) << n;
        ASSERT_EQ(manager.GetGoto().target, z) << n;
    }
    ASSERT_TRUE(manager.LoadFromBuffer(golden.data(), golden.size(), {}, nullptr, CMarkManager::kFileId));
    EXPECT_EQ(Names(), (std::vector<std::string>{"A", "", "R/3"}));
    EXPECT_EQ(manager.GetGoto().target, manager.Marks()[0].get());
}

TEST_F(MarkStore, DamagedAndOddStores)
{
    const std::string golden = FromHex(kSmallStoreHex);
    const size_t routeCount = 4 + 9 + 5 + 4;
    const size_t markCountFromEnd = 0x71 + 0x70 + 4;
    auto withU32 = [&](size_t at, uint32_t v) {
        std::string b = golden;
        std::memcpy(&b[at], &v, 4);
        return b;
    };
    struct Case
    {
        const char* what;
        std::string bytes;
        bool loads;
    } cases[] = {
        {"routes 10,000,001", withU32(routeCount, 10000001u), false},
        {"routes beyond the bytes", withU32(routeCount, 3u), false},
        {"marks 10,000,001", withU32(golden.size() - markCountFromEnd, 10000001u), false},
        {"marks beyond the bytes", withU32(golden.size() - markCountFromEnd, 1000u), false},
        {"legacy list -1", withU32(4 + 9 + 5, 0xFFFFFFFFu), false},
        {"bad magic", "x" + golden.substr(1), false},
        {"another store's identifier", withU32(9, 0x43FB7211u), false},
        {"as written", golden, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        manager.ClearForTesting();
        Mark("Z", 10, 10, 0x99);
        EXPECT_EQ(manager.LoadFromBuffer(c.bytes.data(), c.bytes.size(), {}, nullptr, CMarkManager::kFileId),
                  c.loads);
        EXPECT_EQ(Names(),
                  c.loads ? (std::vector<std::string>{"A", "", "R/3"}) : std::vector<std::string>{"Z"});
    }
}

TEST_F(MarkStore, LegacyListKeepsMarksOnlyAndTheLastFlagWins)
{
    COverlayMark legacyMark;
    legacyMark.SetName("Old");
    legacyMark.SetPosition(5, 6);
    legacyMark.SetGotoTarget(true);
    COverlayRoute notAMark;
    notAMark.SetName("NotAMark");
    const std::string legacy = LegacyStore({&legacyMark, &notAMark});
    ASSERT_TRUE(manager.LoadFromBuffer(legacy.data(), legacy.size(), {}, nullptr, CMarkManager::kFileId));
    EXPECT_EQ(Names(), std::vector<std::string>{"Old"});
    EXPECT_EQ(manager.GetGoto().target, manager.Marks()[0].get());

    // A followed route read after a go-to mark... and a mark read after the route.
    manager.ClearForTesting();
    COverlayRoute* r = Route("R", 2, 0x33);
    COverlayMark* a = Mark("A", 1, 1, 0x11);
    r->SetFollowed(true);
    a->SetGotoTarget(true);
    std::string both = Save();
    manager.ClearForTesting();
    ASSERT_TRUE(manager.LoadFromBuffer(both.data(), both.size(), {}, nullptr, CMarkManager::kFileId));
    EXPECT_EQ(manager.GetGoto().target, manager.Marks()[0].get());
    EXPECT_EQ(manager.GetGoto().route, nullptr);
    EXPECT_FALSE(manager.Routes()[0]->IsFollowed());

    manager.Marks()[0]->SetGotoTarget(false);
    manager.Routes()[0]->SetFollowed(true);
    both = Save();
    manager.ClearForTesting();
    ASSERT_TRUE(manager.LoadFromBuffer(both.data(), both.size(), {}, nullptr, CMarkManager::kFileId));
    EXPECT_EQ(manager.GetGoto().route, manager.Routes()[0].get());
    EXPECT_TRUE(manager.Routes()[0]->IsFollowed());
}

TEST_F(MarkStore, RefusedFileIsKeptAsideAndFailedSavesKeepTheOldFile)
{
    // Saved, then a save that cannot write: the old file stays.
    MakeSmallStore();
    ASSERT_TRUE(manager.SaveStore(path));
    const std::string saved = ReadAll(path);
    Mark("C", 7, 7, 0x77);
    CAtomicFileWriter::SetWriteFailureForTesting(true);
    std::string error;
    EXPECT_FALSE(manager.SaveStore(path, &error));
    CAtomicFileWriter::SetWriteFailureForTesting(false);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadAll(path), saved);

    // A damaged file: refused, reported, kept aside before the next save.
    const std::string damaged = saved.substr(0, saved.size() / 2);
    WriteAll(path, damaged);
    manager.ClearForTesting();
    Mark("Z", 10, 10, 0x99);
    ClearStatusMessage();
    EXPECT_FALSE(manager.LoadStore(path, &error));
    EXPECT_EQ(Names(), std::vector<std::string>{"Z"});
    EXPECT_TRUE(IsStatusLineShown());
    EXPECT_NE(GetStatusMessage().find("kept aside"), std::string::npos);
    ASSERT_TRUE(manager.SaveStore(path));
    ASSERT_FALSE(manager.RefusedStoreKeptAs().empty());
    EXPECT_EQ(ReadAll(manager.RefusedStoreKeptAs()), damaged);
    manager.ClearForTesting();
    EXPECT_TRUE(manager.LoadStore(path));
    EXPECT_EQ(Names(), std::vector<std::string>{"Z"});

    // No file is no failure.
    EXPECT_TRUE(manager.LoadStore(folder + "/none.bin"));
}

} // namespace
