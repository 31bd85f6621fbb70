// The periodic save writes what the save at exit writes, while the stores go
// on changing under the worker, and a failed write is made again.
// TESSA_TSAN_LABEL (the stores are written on a worker thread)
#include "app/shell/PeriodicSave.h"
#include "foundation/AtomicFile.h"
#include "foundation/events/Listener.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/TrackManager.h"
#include "support/TestPaths.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::unique_ptr<COverlayMark> MarkAt(const std::string& name, double lat, double lon)
{
    auto mark = std::make_unique<COverlayMark>();
    mark->SetName(name);
    mark->SetPosition(lat, lon);
    return mark;
}

// Points enough that a store spans several blocks of the kept memory.
void Record(COverlayTrack& track, int points)
{
    const double t0 = track.HasPoints() ? track.LastPoint().time : 1.7e9;
    for (int i = 1; i <= points; ++i)
        track.AddPoint(CTrackPoint{45 + i * 1e-4, -20 + i * 1e-4, t0 + i, 1.5f, 0.5f}, false);
    FireEvent<COverlayTrack>(track);
}

class PeriodicSave : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_folder = tessatest::MakeScratchDir("periodic_save");
        m_exit = m_folder + "/exit";
        std::filesystem::create_directories(m_exit);
        CMarkManager::Get().ClearForTesting();
        CTrackManager::Get().ClearForTesting();
        CSaveFailures::Get().ClearForTesting();
    }
    void TearDown() override
    {
        CAtomicFileWriter::SetWriteFailureForTesting(false);
        CTrackManager::Settings().doRecordTrack = false;
        CMarkManager::Get().ClearForTesting();
        CTrackManager::Get().ClearForTesting();
        CSaveFailures::Get().ClearForTesting();
        std::filesystem::remove_all(m_folder);
    }
    // What the save at exit writes for the stores as they are now.
    std::pair<std::string, std::string> ExitSave()
    {
        EXPECT_TRUE(CMarkManager::Get().SaveStore(m_exit + "/" + CMarkManager::kStoreFile));
        EXPECT_TRUE(CTrackManager::Get().SaveStore(m_exit));
        return {ReadAll(m_exit + "/" + CMarkManager::kStoreFile),
                ReadAll(m_exit + "/" + CTrackManager::kStoreFile)};
    }
    std::pair<std::string, std::string> Saved()
    {
        return {ReadAll(m_folder + "/" + CMarkManager::kStoreFile),
                ReadAll(m_folder + "/" + CTrackManager::kStoreFile)};
    }

    std::string m_folder;
    std::string m_exit;
};

TEST_F(PeriodicSave, WritesTheBytesOfTheExitSaveWhileTheStoresChangeUnderTheWorker)
{
    CMarkManager& marks = CMarkManager::Get();
    CTrackManager& tracks = CTrackManager::Get();
    marks.AddMark(MarkAt("Harbour", 50.1, -4.2));
    COverlayRoute* route = marks.AddRoute(std::make_unique<COverlayRoute>());
    route->SetName("Out");
    for (int p = 0; p < 50; ++p)
        route->AddPoint(MarkAt("P" + std::to_string(p), 50 + p * 0.01, -4));
    auto kept = std::make_unique<COverlayTrack>();
    kept->SetName("T1");
    Record(*kept, 3000);
    COverlayTrack* older = tracks.AddTrack(std::move(kept));
    CTrackManager::Settings().doRecordTrack = true; // the recorded track is the last
    tracks.AppendTrack(std::make_unique<COverlayTrack>())->SetName("T2");
    COverlayTrack* recorded = tracks.RecordedTrack();
    ASSERT_NE(recorded, nullptr);
    Record(*recorded, 2000);
    ExitSave(); // the files of an earlier session size the kept memory
    std::filesystem::copy(m_exit + "/" + CMarkManager::kStoreFile, m_folder);
    std::filesystem::copy(m_exit + "/" + CTrackManager::kStoreFile, m_folder);

    CPeriodicSave periodic(m_folder, CPeriodicSave::kDefaultIntervalMs);
    // Each turn: what changes before it (and is saved by it), then what
    // changes while its write runs (saved by the next turn). The stores grow
    // and shrink, so kept memory is reused with more and with fewer bytes.
    struct Turn
    {
        const char* what;
        std::function<void()> before, during;
    };
    const Turn turns[] = {
        {"a mark and recorded points",
         [&] {
             FireEvent<COverlayObject>(*marks.AddMark(MarkAt("Buoy", 50.2, -4.3)));
             Record(*recorded, 500);
         },
         [&] { Record(*recorded, 700); }},
        {"points recorded during the last write, and a mark added during this one", [] {},
         [&] {
             Record(*recorded, 10);
             FireEvent<COverlayObject>(*marks.AddMark(MarkAt("Rock", 50.3, -4.4)));
         }},
        {"a deleted track",
         [&] {
             tracks.DeleteTrack(older);
             FireEvent<CTrackManager>(tracks);
         },
         [&] { Record(*recorded, 100); }},
        {"the changes during the last write", [] {}, [] {}},
    };
    periodic.Wait();
    for (const Turn& turn : turns) {
        SCOPED_TRACE(turn.what);
        turn.before();
        const auto expected = ExitSave();
        periodic.Tick();
        turn.during();
        periodic.Wait();
        EXPECT_TRUE(Saved() == expected);
        EXPECT_FALSE(CSaveFailures::Get().Any());
    }
    // Everything was picked up: nothing is left to write.
    periodic.Tick();
    EXPECT_FALSE(periodic.IsWriting());
    EXPECT_TRUE(Saved() == ExitSave());
}

TEST_F(PeriodicSave, AFailedWriteKeepsTheOldFileIsToldAndIsMadeAgainAtTheNextTurn)
{
    CTrackManager& tracks = CTrackManager::Get();
    auto track = std::make_unique<COverlayTrack>();
    track->SetName("T1");
    Record(*track, 100);
    COverlayTrack* added = tracks.AddTrack(std::move(track));
    CPeriodicSave periodic(m_folder, CPeriodicSave::kDefaultIntervalMs);
    periodic.Wait(); // its memory mapped
    FireEvent<CTrackManager>(tracks);
    periodic.Tick();
    periodic.Wait();
    const std::string old = Saved().second;
    ASSERT_FALSE(old.empty());

    Record(*added, 10);
    CAtomicFileWriter::SetWriteFailureForTesting(true);
    periodic.Tick();
    periodic.Wait();
    EXPECT_EQ(CSaveFailures::Get().List(), "the tracks");
    EXPECT_TRUE(Saved().second == old);

    // No change since: the failed store is written anyway.
    CAtomicFileWriter::SetWriteFailureForTesting(false);
    periodic.Tick();
    periodic.Wait();
    EXPECT_FALSE(CSaveFailures::Get().Any());
    EXPECT_TRUE(Saved().second == ExitSave().second);
}

} // namespace
