// Sync identities, tags, tombstones and the sync block of stored objects.
#include "foundation/events/Clock.h"
#include "foundation/events/Heartbeat.h"
#include "foundation/objectfile/Serializable.h"
#include "overlays/model/OverlayModelPorts.h"
#include "overlays/model/Syncable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/wait.h>
#include <unistd.h>
#include <unordered_set>

namespace {

// A stored object holding nothing but the sync block (in its own chunk).
class CBlockOnly : public CSyncable
{
public:
    bool Serialize(CSerialStream& stream) override
    {
        CSerialChunk chunk(stream);
        if (withBlock && (stream.IsWriting() || !chunk.AtEnd()))
            lastComplete = SerializeSyncBlock(stream);
        return chunk.Close() && stream.IsGood();
    }
    bool withBlock = true;
    bool lastComplete = false;
};

class SyncableTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetClockForTesting([this] { return now; });
        Advance(0);
    }
    void TearDown() override
    {
        SetClockForTesting({});
        InstallPort<IAccountNumberSource>(nullptr);
    }
    // The heartbeat keeps one time per tick: a new time starts a new tick.
    void Advance(double seconds)
    {
        now += seconds;
        if (gHeartbeat)
            gHeartbeat->ClearEventTime();
    }
    double now = 1700000000.0;
};

TEST_F(SyncableTest, IdsAreUniqueNonZeroAndCarryTheAccount)
{
    struct Account : IAccountNumberSource
    {
        uint32_t AccountNumber() override { return 0x12345678u; }
    } account;
    InstallPort<IAccountNumberSource>(&account);
    std::unordered_set<uint64_t> seen;
    for (int i = 0; i < 100000; ++i) {
        CBlockOnly object;
        const uint64_t id = object.GetSyncId();
        ASSERT_NE(id, 0u);
        ASSERT_EQ(id >> 32, 0x12345678u);
        ASSERT_TRUE(seen.insert(id).second) << "repeated id after " << i;
        ASSERT_EQ(object.GetSyncId(), id); // made once, then kept
    }
}

TEST_F(SyncableTest, TwoProcessesInTheSameSecondMakeDifferentIds)
{
    // Both children see the same clock second, as two machines of one account might.
    CBlockOnly warm;
    warm.GetSyncId(); // the parent's generator is seeded before the fork
    uint64_t ids[2] = {0, 0};
    for (uint64_t& id : ids) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(fds[0]);
            CBlockOnly object;
            const uint64_t made = object.GetSyncId();
            const ssize_t w = ::write(fds[1], &made, sizeof made);
            ::_exit(w == sizeof made ? 0 : 1);
        }
        ::close(fds[1]);
        ASSERT_EQ(::read(fds[0], &id, sizeof id), ssize_t(sizeof id));
        ::close(fds[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
    }
    EXPECT_NE(ids[0], ids[1]);
    EXPECT_NE(ids[0], 0u);
}

TEST(SyncTag, ParsesTheTagsOfFiles)
{
    const struct
    {
        const char* text;
        uint64_t id;
    } cases[] = {
        {"abc tsid:1F", 0x1F},
        {"tsid", 0},
        {"no tag here", 0},
        {"tsid:", 0},
        {"tsid:ff00 rest", 0xFF00},
        {"x tsid:FFFFFFFFFFFFFFFF", 0xFFFFFFFFFFFFFFFFull},
        {"tsid:10000000000000000", 0}, // 17 digits: no id of ours
        {"tsid:G1", 0},
        {"tsid:1 tsid:2", 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CSyncable::ParseSyncTag(c.text), c.id) << c.text;
}

TEST_F(SyncableTest, TagRoundTripsTheId)
{
    CBlockOnly object;
    object.SetSyncId(0xABC0000012345ull);
    EXPECT_EQ(object.FormatSyncTag(), "tsid:ABC0000012345");
    EXPECT_EQ(CSyncable::ParseSyncTag(object.FormatSyncTag()), 0xABC0000012345ull);
}

TEST_F(SyncableTest, TombstonesAndFlags)
{
    CBlockOnly never;
    Advance(10);
    never.MarkDeleted();
    EXPECT_TRUE(never.IsDeleted());
    EXPECT_FALSE(never.GetVisibleFlag());
    EXPECT_TRUE(never.IsDoNotSync()); // never synchronised: never offered
    EXPECT_FALSE(never.ModifiedSince(0));

    CBlockOnly synced;
    synced.GetSyncId();
    synced.MarkDeleted();
    EXPECT_FALSE(synced.IsDoNotSync());
    EXPECT_TRUE(synced.ModifiedSince(now - 1));

    // Edits of a tombstone change nothing, the time included.
    const double modified = synced.GetModified();
    Advance(10);
    synced.SetVisible(true);
    synced.SetLocked(true);
    synced.SetDoNotSync(true);
    EXPECT_FALSE(synced.GetVisibleFlag());
    EXPECT_FALSE(synced.IsLocked());
    EXPECT_FALSE(synced.IsDoNotSync());
    EXPECT_EQ(synced.GetModified(), modified);

    synced.Undelete();
    EXPECT_TRUE(synced.GetVisibleFlag());
    EXPECT_EQ(synced.GetModified(), now);
    Advance(5);
    synced.SetLocked(true);
    EXPECT_TRUE(synced.IsLocked());
    EXPECT_EQ(synced.GetModified(), now);
}

TEST_F(SyncableTest, SyncBlockRoundTripsAndOlderRecordsKeepDefaults)
{
    CBlockOnly source;
    source.SetSyncId(0x1122334455667788ull);
    Advance(100);
    source.SetLocked(true);
    source.SetDoNotSync(true);
    std::string bytes;
    ASSERT_TRUE(source.SaveToBuffer(bytes));

    Advance(1000);
    CBlockOnly read;
    ASSERT_TRUE(read.LoadFromBuffer(bytes.data(), bytes.size()));
    EXPECT_TRUE(read.lastComplete);
    EXPECT_EQ(read.GetSyncId(), 0x1122334455667788ull);
    EXPECT_TRUE(read.IsLocked());
    EXPECT_TRUE(read.IsDoNotSync());
    EXPECT_EQ(read.GetModified(), source.GetModified());
    EXPECT_EQ(read.GetCreated(), source.GetCreated());

    // A record written before the block existed: the constructor's values.
    CBlockOnly old;
    old.withBlock = false;
    std::string oldBytes;
    ASSERT_TRUE(old.SaveToBuffer(oldBytes));
    CBlockOnly fresh;
    ASSERT_TRUE(fresh.LoadFromBuffer(oldBytes.data(), oldBytes.size()));
    EXPECT_FALSE(fresh.HasSyncId());
    EXPECT_TRUE(fresh.GetVisibleFlag());
    EXPECT_FALSE(fresh.IsDeleted());
    EXPECT_EQ(fresh.GetModified(), now);
}

TEST_F(SyncableTest, ReadBlocksMendTimesAndDeletedVisibility)
{
    // Hand-made block: created after modified, deleted but visible.
    CBlockOnly writer;
    std::string bytes;
    ASSERT_TRUE(writer.SaveToBuffer(bytes));
    // Patch the fields in place: magic(4) outer chunk(5) block chunk(5) id(8) dns(1) modified(8) deleted(1)
    // created(8) visible(1)
    const size_t block = 4 + 5 + 5;
    const double modified = 100.0, created = 200.0;
    std::memcpy(&bytes[block + 9], &modified, 8);
    bytes[block + 17] = 1;
    std::memcpy(&bytes[block + 18], &created, 8);
    bytes[block + 26] = 1;
    CBlockOnly read;
    ASSERT_TRUE(read.LoadFromBuffer(bytes.data(), bytes.size()));
    EXPECT_EQ(read.GetModified(), 100.0);
    EXPECT_EQ(read.GetCreated(), 100.0);
    EXPECT_TRUE(read.IsDeleted());
    EXPECT_FALSE(read.GetVisibleFlag());
}

} // namespace
