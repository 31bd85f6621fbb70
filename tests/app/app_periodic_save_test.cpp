// The periodic save writes what the save at exit writes, while the stores go
// on changing under the worker; a failed copy or write is made again.
// TESSA_TSAN_LABEL (the stores are written on a worker thread)
#include "app/shell/PeriodicSave.h"
#include "foundation/AtomicFile.h"
#include "foundation/notify/StatusLine.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/TrackManager.h"
#include "support/TestPaths.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <new>
#include <sstream>

namespace {

std::string Files(const std::string& folder)
{
    std::ostringstream bytes;
    for (const char* file : {CMarkManager::kStoreFile, CTrackManager::kStoreFile})
        bytes << std::ifstream(folder + "/" + file, std::ios::binary).rdbuf() << '|';
    return bytes.str();
}

COverlayMark* AddMark(const std::string& name)
{
    auto mark = std::make_unique<COverlayMark>();
    mark->SetName(name);
    mark->SetPosition(50, -4);
    COverlayMark* added = CMarkManager::Get().AddMark(std::move(mark));
    FireEvent<COverlayObject>(*added);
    return added;
}

// Enough points that a store spans several blocks of the kept memory.
void Record(COverlayTrack& track, int points, bool tell = true)
{
    const double t0 = track.HasPoints() ? track.LastPoint().time : 1.7e9;
    for (int i = 1; i <= points; ++i)
        track.AddPoint(CTrackPoint{45 + i * 1e-4, -20 + i * 1e-4, t0 + i, 1.5f, 0.5f}, false);
    if (tell)
        FireEvent<COverlayTrack>(track);
}

TEST(PeriodicSave, WritesTheExitSaveBytesWhileTheStoresChangeAndMakesAFailedWriteAgain)
{
    const std::string folder = tessatest::MakeScratchDir("periodic_save"), exit = folder + "/exit";
    CMarkManager& marks = CMarkManager::Get();
    CTrackManager& tracks = CTrackManager::Get();
    auto exitSave = [&] {
        EXPECT_TRUE(marks.SaveStore(exit + "/" + CMarkManager::kStoreFile) && tracks.SaveStore(exit));
        return Files(exit);
    };
    COverlayRoute* route = marks.AddRoute(std::make_unique<COverlayRoute>());
    for (int p = 0; p < 50; ++p)
        route->AddPoint(std::make_unique<COverlayMark>());
    COverlayTrack* older = tracks.AddTrack(std::make_unique<COverlayTrack>());
    Record(*older, 3000);
    CTrackManager::Settings().doRecordTrack = true; // the last track is recorded
    COverlayTrack* recorded = tracks.AppendTrack(std::make_unique<COverlayTrack>());
    Record(*recorded, 2000);
    exitSave(); // an earlier session's files size the kept memory
    for (const char* file : {CMarkManager::kStoreFile, CTrackManager::kStoreFile})
        std::filesystem::copy(exit + "/" + file, folder);
    std::atomic<bool> workerFails{false};
    CPeriodicSave periodic(folder, CPeriodicSave::kDefaultIntervalMs, [&](const CStoreSnapshot& snapshot) {
        if (workerFails)
            throw std::bad_alloc();
        return WriteSnapshot(snapshot);
    });
    periodic.Wait();
    // A store that cannot be set aside (its name has no room for the suffix) cannot be copied.
    const std::string unmovable = folder + "/" + std::string(250, 'x');

    // Each turn saves what changed before it and, but for a failed write, what
    // changed while the last write ran. The stores grow and shrink, so the
    // kept memory is reused with more and with fewer bytes.
    enum Fault { kNone, kWrite, kCopy, kWorker };
    struct Turn
    {
        const char* what;
        std::function<void()> before, during;
        Fault fault = kNone;
        const char* told = ""; // in the status line while the tracks are unsaved
    };
    const Turn turns[] = {
        {"a mark and recorded points", [&] { AddMark("Buoy"), Record(*recorded, 500); },
         [&] { Record(*recorded, 700); }},
        {"a mark added while the points of the last write are written", [] {}, [&] { AddMark("Rock"); }},
        {"a deleted track", [&] { tracks.DeleteTrack(older), FireEvent<CTrackManager>(tracks); },
         [&] { Record(*recorded, 100); }},
        {"a failed write", [&] { Record(*recorded, 10); }, [] {}, kWrite, "The tracks could not be saved: "},
        {"the failed write made again without a change", [] {}, [] {}},
        {"a failed copy", [&] { Record(*recorded, 10); }, [] {}, kCopy, "File name too long"},
        {"the failed copy made again without a change", [] {}, [] {}},
        {"a failure on the worker", [&] { Record(*recorded, 10); }, [] {}, kWorker, "saved: out of memory"},
        {"the write the worker failed made again without a change", [] {}, [] {}},
        {"a store that a full save failed to write",
         [&] { Record(*recorded, 5, false), CSaveFailures::Get().Failed("tracks", "disk full"); }, [] {}},
    };
    for (const Turn& turn : turns) {
        SCOPED_TRACE(turn.what);
        turn.before();
        const std::string old = Files(folder), expected = exitSave();
        CAtomicFileWriter::SetWriteFailureForTesting(turn.fault == kWrite);
        if (turn.fault == kCopy) {
            std::ofstream(unmovable) << "unreadable";
            tracks.StoreGuard().NoteLoadFailed(unmovable);
        }
        workerFails = turn.fault == kWorker;
        periodic.Tick();
        turn.during();
        periodic.Wait();
        CAtomicFileWriter::SetWriteFailureForTesting(false);
        workerFails = false;
        std::filesystem::remove(unmovable);
        const bool failed = turn.fault != kNone;
        EXPECT_TRUE(Files(folder) == (failed ? old : expected));
        EXPECT_EQ(CSaveFailures::Get().List(), failed ? "the tracks" : "");
        if (failed)
            EXPECT_NE(GetStatusMessage().find(turn.told), std::string::npos) << GetStatusMessage();
        else
            EXPECT_EQ(GetStatusMessage().find("could not be saved"), std::string::npos) << GetStatusMessage();
    }
    periodic.Tick(); // nothing left to write
    EXPECT_FALSE(periodic.IsWriting());
    EXPECT_TRUE(Files(folder) == exitSave());
    CTrackManager::Settings().doRecordTrack = false;
    marks.ClearForTesting();
    tracks.ClearForTesting();
    std::filesystem::remove_all(folder);
}

} // namespace
