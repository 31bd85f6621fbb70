// Synchronising marks, routes and tracks against the loopback chart server:
// what the request holds, how a reply is applied, and that every failure
// leaves every object and the time file as they were.
#include "app/dialogs/Account.h"
#include "app/shell/SyncOverlays.h"
#include "foundation/AtomicFile.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/platform/PlatformFolders.h"
#include "foundation/util/Folders.h"
#include "mapview/overlay/OverlayTool.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/OverlayTrack.h"
#include "overlays/model/TrackManager.h"
#include "overlays/store/OverlaySync.h"
#include "packagewriter/JobTestSupport.h"
#include "support/FakeSecretStore.h"
#include "support/FixedClock.h"
#include "support/ScriptedPresenter.h"
#include "support/SyncServerDouble.h"
#include "support/TestPaths.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>

using namespace tessatest;

namespace {

struct CountingSaves : ISaveAllPort
{
    int count = 0;
    bool SaveAllData() override { return ++count > 0; }
};

struct PointTool : COverlayTool
{
    explicit PointTool(COverlayObject* mark) : mark(mark) {}
    COverlayObject* GetMark() const override { return mark; }
    COverlayObject* mark;
};

class SyncTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = MakeScratchDir("app_sync");
        SetFolderRootForTesting(root);
        ClearPendingCallbacksForTesting();
        CMarkManager::Get().ClearForTesting();
        CTrackManager::Get().ClearForTesting();
        CTrackManager::Settings().doRecordTrack = false;
        InstallPort<ISaveAllPort>(&saves);
        CAccount::Get().ResetForTesting();
        CAccount::Get().SetUserName(kUser);
        std::string message;
        ASSERT_TRUE(CAccount::Get().ApplySignInReply(true, {0, 0x1234, "key-0x1234", ""}, message));
        presenter.SetImmediate(true);
        server = std::make_unique<AccountSyncServer>();
    }
    void TearDown() override
    {
        server.reset();
        CTrackManager::Settings().doRecordTrack = false;
        CMarkManager::Get().ClearForTesting();
        CTrackManager::Get().ClearForTesting();
        CAccount::Get().ResetForTesting();
        InstallPort<ISaveAllPort>(nullptr);
        SetFolderRootForTesting("");
        std::filesystem::remove_all(root);
    }
    static COverlayMark* Mark(const std::string& name)
    {
        auto mark = std::make_unique<COverlayMark>();
        mark->SetName(name);
        mark->SetPosition(55, 11);
        mark->GetSyncId();
        return CMarkManager::Get().AddMark(std::move(mark));
    }
    static std::unique_ptr<COverlayRoute> MakeRoute(const std::string& name, int points)
    {
        auto route = std::make_unique<COverlayRoute>();
        route->SetName(name);
        for (int i = 0; i < points; ++i) {
            CMarkManager::RoutePointScope scope;
            auto p = std::make_unique<COverlayMark>();
            p->SetPosition(55, 11 + 0.01 * i);
            route->AddPoint(std::move(p));
        }
        route->GetSyncId();
        return route;
    }
    // Points 60 s apart; more than 64 fill two sections.
    static std::unique_ptr<COverlayTrack> MakeTrack(const std::string& name, int points)
    {
        auto track = std::make_unique<COverlayTrack>();
        track->SetName(name);
        for (int i = 0; i < points; ++i)
            track->AddPoint(CTrackPoint{55, 11 + 0.001 * i, 1.6e9 + 60.0 * i, 0, 0}, false);
        track->GetSyncId();
        return track;
    }
    std::string TimeFile() const
    {
        return GetApplicationSupportFolder(kSyncFolder) + "/" + SyncTimeFileName(kUser);
    }
    std::string RequestFile() const
    {
        return GetApplicationSupportFolder(kSyncFolder) + "/" + kSyncRequestFile;
    }
    static std::string Everything()
    {
        std::string marks, tracks;
        CMarkManager::Get().SaveToBuffer(marks);
        CTrackManager::Get().SaveToBuffer(tracks);
        return marks + tracks;
    }

    static constexpr const char* kUser = "first.last@company-a.example";
    std::string root;
    CFixedClock clock;
    CScriptedPresenter presenter;
    FakeSecretStore secrets;
    CountingSaves saves;
    std::unique_ptr<AccountSyncServer> server;
};

std::set<uint64_t> Ids(const std::vector<SyncRequestEntry>& list)
{
    std::set<uint64_t> ids;
    for (const auto& entry : list) {
        EXPECT_TRUE(entry.blockCarriesId) << std::hex << entry.id;
        ids.insert(entry.id);
    }
    return ids;
}

} // namespace

TEST_F(SyncTest, FirstSyncSendsEverySyncableObjectThenOnlyWhatChanged)
{
    COverlayMark* kept = Mark("A");
    Mark("Private")->SetDoNotSync(true);
    COverlayMark* gone = Mark("Gone");
    const uint64_t goneId = gone->GetSyncId();
    CMarkManager::Get().DeleteMark(gone);
    COverlayRoute* route = CMarkManager::Get().AddRoute(MakeRoute("R", 3));
    COverlayTrack* track = CTrackManager::Get().AddTrack(MakeTrack("T", 5));
    CTrackManager::Get().AddTrack(MakeTrack("Trivial", 1));
    CMarkManager::Settings().syncMode = 2;
    clock.Advance(10);

    SyncOverlays(nullptr);
    EXPECT_TRUE(presenter.Shown().empty()) << presenter.Last().text;
    ASSERT_EQ(server->SyncRequests().size(), 1u);
    const SyncRequestView first = ReadSyncRequest(server->SyncRequests()[0]);
    ASSERT_EQ(first.error, "");
    EXPECT_EQ(first.type, 0x2097BE28u);
    EXPECT_EQ(first.version, 1u);
    EXPECT_EQ(first.user, kUser);
    EXPECT_EQ(first.text, "key-0x1234");
    EXPECT_EQ(first.last, 0.0);
    EXPECT_EQ(first.now, clock.Now());
    EXPECT_EQ(first.mode, 2u);
    EXPECT_EQ(Ids(first.lists[0]), (std::set<uint64_t>{kept->GetSyncId(), goneId}));
    EXPECT_EQ(Ids(first.lists[1]), std::set<uint64_t>{route->GetSyncId()});
    EXPECT_EQ(Ids(first.lists[2]), std::set<uint64_t>{track->GetSyncId()});

    // The start is kept, the tombstone has reached the server, everything is saved.
    double stored = 0;
    const std::string time = ReadWholeFile(TimeFile());
    ASSERT_EQ(time.size(), 8u);
    std::memcpy(&stored, time.data(), 8);
    EXPECT_EQ(stored, clock.Now());
    EXPECT_FALSE(PathExists(RequestFile()));
    struct stat folder = {};
    ASSERT_EQ(::stat(GetApplicationSupportFolder(kSyncFolder).c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
    EXPECT_EQ(CMarkManager::Get().Marks().size(), 2u);
    EXPECT_EQ(saves.count, 1);

    clock.Advance(100);
    kept->SetName("A2");
    kept->Touch();
    SyncOverlays(nullptr);
    ASSERT_EQ(server->SyncRequests().size(), 2u);
    const SyncRequestView second = ReadSyncRequest(server->SyncRequests()[1]);
    EXPECT_EQ(second.last, stored);
    EXPECT_EQ(Ids(second.lists[0]), std::set<uint64_t>{kept->GetSyncId()});
    EXPECT_TRUE(second.lists[1].empty() && second.lists[2].empty());
}

TEST_F(SyncTest, ReplyUpdatesInPlaceAppendsNewObjectsAndPurgesTombstones)
{
    COverlayMark* mark = Mark("Old");
    COverlayMark* mine = Mark("Mine");
    mine->SetDoNotSync(true);
    COverlayRoute* route = CMarkManager::Get().AddRoute(MakeRoute("R", 3));
    CTrackManager::Settings().doRecordTrack = true;
    COverlayTrack* recorded = CTrackManager::Get().AppendTrack(MakeTrack("Now", 5));

    COverlayMark update;
    update.SetSyncId(mark->GetSyncId());
    update.SetName("Moved");
    update.SetPosition(56, 12);
    COverlayMark hijack;
    hijack.SetSyncId(mine->GetSyncId());
    hijack.SetName("Theirs");
    COverlayMark fresh;
    fresh.SetName("New");
    fresh.SetGotoTarget(true);
    fresh.GetSyncId();
    COverlayRoute tombstone;
    tombstone.SetSyncId(route->GetSyncId());
    tombstone.MarkDeleted();
    auto newRoute = MakeRoute("R2", 3);
    auto newTrack = MakeTrack("T2", 100);
    ASSERT_EQ(newTrack->Sections().size(), 2u);
    const std::string reply = SyncReplyBuilder()
                                  .Add(0, update.GetSyncId(), RecordOf(update))
                                  .Add(0, hijack.GetSyncId(), RecordOf(hijack))
                                  .Add(0, fresh.GetSyncId(), RecordOf(fresh))
                                  .Add(1, tombstone.GetSyncId(), RecordOf(tombstone))
                                  .Add(1, newRoute->GetSyncId(), RecordOf(*newRoute))
                                  .Add(2, newTrack->GetSyncId(), RecordOf(*newTrack))
                                  .Build();
    server->syncReply = [&](const std::string&) { return reply; };

    SyncOverlays(nullptr);
    EXPECT_TRUE(presenter.Shown().empty()) << presenter.Last().text;
    const auto& marks = CMarkManager::Get().Marks();
    ASSERT_EQ(marks.size(), 3u);
    EXPECT_EQ(marks[0].get(), mark);
    EXPECT_EQ(mark->GetName(), "Moved");
    EXPECT_EQ(mark->GetLatitude(), 56);
    EXPECT_EQ(mine->GetName(), "Mine");
    EXPECT_EQ(marks[2]->GetName(), "New");
    EXPECT_FALSE(marks[2]->IsGotoTarget());
    ASSERT_EQ(CMarkManager::Get().Routes().size(), 1u);
    EXPECT_EQ(CMarkManager::Get().Routes()[0]->GetName(), "R2");
    EXPECT_EQ(CMarkManager::Get().Routes()[0]->PointCount(), 3u);
    const auto& tracks = CTrackManager::Get().Tracks();
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(tracks[0]->GetName(), "T2");
    EXPECT_EQ(tracks[0]->Sections().size(), 2u);
    EXPECT_EQ(CTrackManager::Get().RecordedTrack(), recorded);
    EXPECT_EQ(saves.count, 1);
}

TEST_F(SyncTest, FailuresSayWhyAndChangeNothing)
{
    COverlayMark* mark = Mark("Keep");
    const uint64_t id = mark->GetSyncId();
    const std::string record = RecordOf(*mark);
    // A route record whose point count promises 9,999,999 points.
    auto route = MakeRoute("H", 1);
    route->Points()[0]->SetName("PPPP");
    std::string huge = RecordOf(*route);
    const size_t count = huge.find("PPPP") - 4 - 5 - 4;
    const uint32_t promised = 9999999;
    std::memcpy(&huge[count], &promised, 4);

    struct Case
    {
        const char* name;
        std::function<void(AccountSyncServer&)> arrange;
        const char* text; // "" for the web client's own text
    };
    const Case cases[] = {
        {"echo", [](AccountSyncServer& s) { s.syncReply = [](const std::string& r) { return r; }; },
         "Invalid response from server"},
        {"error page", [](AccountSyncServer& s) { s.syncStatus = 500; }, ""},
        {"disk full", [](AccountSyncServer&) { CAtomicFileWriter::SetWriteFailureForTesting(true); }, ""},
        {"dropped",
         [](AccountSyncServer& s) { s.server.SetFault("/cgi-bin/sync.cgi", LoopbackFault::CloseMidBody); },
         ""},
        {"count",
         [](AccountSyncServer& s) {
             s.syncReply = [](const std::string&) {
                 return SyncReplyBuilder().ForceCount(0, 1000001).Build();
             };
         },
         "Data error: try again"},
        {"id 0",
         [&](AccountSyncServer& s) {
             s.syncReply = [&](const std::string&) { return SyncReplyBuilder().Add(0, 0, record).Build(); };
         },
         "Data error: try again"},
        {"cut record",
         [&](AccountSyncServer& s) {
             s.syncReply = [&](const std::string&) {
                 return SyncReplyBuilder().Add(0, id, record.substr(0, 20)).Build();
             };
         },
         "Data error: try again"},
        {"other id",
         [&](AccountSyncServer& s) {
             s.syncReply = [&](const std::string&) {
                 return SyncReplyBuilder().Add(0, id + 1, record).Build();
             };
         },
         "Data error: try again"},
        {"huge point count",
         [&](AccountSyncServer& s) {
             s.syncReply = [&](const std::string&) {
                 return SyncReplyBuilder().Add(0, id, record).Add(1, route->GetSyncId(), huge).Build();
             };
         },
         "Data error: try again"},
    };
    // Edited after the reply was made: a good entry before the bad one must not land.
    mark->SetName("Local");
    const std::string before = Everything();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.reset(); // its end unsets the chart server
        server = std::make_unique<AccountSyncServer>();
        c.arrange(*server);
        presenter.ClearShown();
        SyncOverlays(nullptr);
        CAtomicFileWriter::SetWriteFailureForTesting(false);
        ASSERT_EQ(presenter.Shown().size(), 1u);
        EXPECT_EQ(presenter.Last().title, "Sync Failed");
        if (*c.text)
            EXPECT_EQ(presenter.Last().text, c.text);
        else
            EXPECT_FALSE(presenter.Last().text.empty() ||
                         presenter.Last().text == "Invalid response from server");
        EXPECT_EQ(Everything(), before);
        EXPECT_FALSE(PathExists(TimeFile()));
        EXPECT_FALSE(PathExists(RequestFile()));
        EXPECT_EQ(saves.count, 0);
    }
}

TEST_F(SyncTest, ReplyNeverTakesOverNavigationOrLocalEdits)
{
    CMarkManager& marks = CMarkManager::Get();
    COverlayMark* target = Mark("Target");
    COverlayRoute* route = marks.AddRoute(MakeRoute("R", 3));
    CTrackManager::Settings().doRecordTrack = true;
    COverlayTrack* recorded = CTrackManager::Get().AppendTrack(MakeTrack("Now", 5));
    const double start = clock.Now();

    COverlayMark moved;
    moved.SetSyncId(target->GetSyncId());
    moved.SetPosition(57, 13);
    auto longer = MakeRoute("R", 4);
    longer->SetSyncId(route->GetSyncId());
    auto renamed = MakeTrack("Theirs", 5);
    renamed->SetSyncId(recorded->GetSyncId());
    COverlayMark deadMark;
    deadMark.SetSyncId(target->GetSyncId());
    deadMark.MarkDeleted();
    COverlayRoute deadRoute;
    deadRoute.SetSyncId(route->GetSyncId());
    deadRoute.MarkDeleted();
    const std::string update = SyncReplyBuilder()
                                   .Add(0, target->GetSyncId(), RecordOf(moved))
                                   .Add(1, route->GetSyncId(), RecordOf(*longer))
                                   .Add(2, recorded->GetSyncId(), RecordOf(*renamed))
                                   .Build();
    // The go-to mark and the followed route stay while navigation holds them.
    const std::string deletions[2] = {
        SyncReplyBuilder().Add(0, target->GetSyncId(), RecordOf(deadMark)).Build(),
        SyncReplyBuilder().Add(1, route->GetSyncId(), RecordOf(deadRoute)).Build()};
    for (bool follow : {false, true}) {
        SCOPED_TRACE(follow ? "following the route" : "going to the mark");
        ASSERT_TRUE(follow ? marks.FollowRoute(route) : marks.GotoMark(target));
        // A tool on a point the update replaces ends before the point goes.
        COverlayTool::SetActiveTool(std::make_unique<PointTool>(route->Points()[0].get()));
        for (const std::string* reply : {&update, &deletions[follow]}) {
            ASSERT_EQ(
                COverlaySync::ApplyReply(reply->data(), reply->size(), start, marks, CTrackManager::Get()),
                ESyncReply::kApplied);
            EXPECT_FALSE(target->IsDeleted() || route->IsDeleted());
            EXPECT_EQ(target->IsGotoTarget(), !follow);
            EXPECT_EQ(route->IsFollowed(), follow);
            EXPECT_EQ(marks.GetGoto().route, follow ? route : nullptr);
            if (!follow) {
                EXPECT_EQ(marks.GetGoto().target, target);
            }
            EXPECT_EQ(CTrackManager::Get().RecordedTrack(), recorded);
            EXPECT_EQ(recorded->GetName(), "Now");
        }
        EXPECT_EQ(target->GetLatitude(), 57);
        EXPECT_EQ(route->PointCount(), 4u);
        EXPECT_EQ(COverlayTool::GetActiveTool(), nullptr);
        marks.CancelGoto();
    }

    // Edited during the upload: the reply does not overwrite it, the next request sends it.
    clock.Advance(5);
    target->SetName("Edited");
    target->Touch();
    ASSERT_EQ(COverlaySync::ApplyReply(update.data(), update.size(), start, marks, CTrackManager::Get()),
              ESyncReply::kApplied);
    EXPECT_EQ(target->GetName(), "Edited");
    CSyncHeader header;
    header.lastSync = start;
    CSerialStream out = CSerialStream::OpenWrite("", nullptr);
    CSyncCounts counts;
    ASSERT_TRUE(COverlaySync::BuildRequest(header, marks, CTrackManager::Get(), out, &counts));
    EXPECT_EQ(counts.marks, 1u);
}
