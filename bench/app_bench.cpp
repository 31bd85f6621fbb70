// Saving everything at exit: 10,000 marks, 100 routes of 1,000 points and
// 1,000,000 recorded track points, with the chart view's state and the
// settings. Target: 0.7 s or less. The periodic save of the same stores
// while running: the main thread's share (the copy) at or under 50 ms.
#include "app/shell/AppDelegate.h"
#include "app/shell/PeriodicSave.h"
#include "foundation/platform/PlatformFolders.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/TrackManager.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <filesystem>
#include <unistd.h>

namespace {

std::unique_ptr<COverlayMark> MarkAt(const std::string& name, double lat, double lon)
{
    auto mark = std::make_unique<COverlayMark>();
    mark->SetName(name);
    mark->SetPosition(lat, lon);
    return mark;
}

void Fill()
{
    CMarkManager& marks = CMarkManager::Get();
    marks.ClearForTesting();
    for (int i = 0; i < 10000; ++i)
        marks.AddMark(MarkAt("M" + std::to_string(i), 50 + (i / 100) * 0.01, -5 + (i % 100) * 0.01));
    for (int r = 0; r < 100; ++r) {
        auto route = std::make_unique<COverlayRoute>();
        route->SetName("R" + std::to_string(r));
        COverlayRoute* added = marks.AddRoute(std::move(route));
        for (int p = 0; p < 1000; ++p)
            added->AddPoint(MarkAt("P" + std::to_string(p), 40 + r * 0.05, -30 + p * 0.01));
    }
    CTrackManager& tracks = CTrackManager::Get();
    tracks.ClearForTesting();
    for (int t = 0; t < 100; ++t) {
        auto track = std::make_unique<COverlayTrack>();
        track->SetName("T" + std::to_string(t));
        for (int i = 0; i < 10000; ++i)
            track->AddPoint(CTrackPoint{45 + t * 0.02, -20 + i * 1e-4, 1.7e9 + t * 10000 + i, 2.5f, 0.5f},
                            false);
        tracks.AddTrack(std::move(track));
    }
}

void BM_SaveAllData(benchmark::State& state)
{
    const std::string root =
        (std::filesystem::temp_directory_path() / ("tessa_app_bench_" + std::to_string(::getpid()))).string();
    SetFolderRootForTesting(root);
    {
        AppDelegate app;
        app.Start(false);
        Fill();
        for (auto _ : state)
            if (!app.SaveAllData())
                state.SkipWithError("save failed");
        state.counters["MB"] =
            double(std::filesystem::file_size(GetPlatformDataFolder() + "/" + CTrackManager::kStoreFile) +
                   std::filesystem::file_size(GetPlatformDataFolder() + "/" + CMarkManager::kStoreFile)) /
            1e6;
        app.Shutdown();
    }
    CMarkManager::Get().ClearForTesting();
    CTrackManager::Get().ClearForTesting();
    SetFolderRootForTesting("");
    std::filesystem::remove_all(root);
}
BENCHMARK(BM_SaveAllData)->Unit(benchmark::kMillisecond);

// The main thread's share of a periodic save: one turn of the timer after a
// change, which copies the changed stores into memory and hands them to the
// worker. The write itself runs on the worker and is left out. As in the
// application, the stores were saved before (their files size the copies'
// memory) and the first turn comes after the worker has mapped it; "first_ms"
// is that first turn.
void BM_PeriodicSaveMainThread(benchmark::State& state)
{
    const std::string root =
        (std::filesystem::temp_directory_path() / ("tessa_app_bench_" + std::to_string(::getpid()))).string();
    SetFolderRootForTesting(root);
    {
        AppDelegate app;
        app.Start(false);
        Fill();
        if (!app.SaveAllData())
            state.SkipWithError("save failed");
        CPeriodicSave periodic(GetPlatformDataFolder(), CPeriodicSave::kDefaultIntervalMs);
        periodic.Wait();
        const bool marksChanged = state.range(0) == 0;
        auto change = [&] {
            if (marksChanged)
                FireEvent<COverlayObject>(*CMarkManager::Get().Marks().front());
            FireEvent<CTrackManager>(CTrackManager::Get());
        };
        change();
        auto start = std::chrono::steady_clock::now();
        periodic.Tick();
        state.counters["first_ms"] =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        for (auto _ : state) {
            state.PauseTiming();
            periodic.Wait();
            change();
            state.ResumeTiming();
            periodic.Tick();
        }
        periodic.Wait();
        if (CSaveFailures::Get().Any())
            state.SkipWithError("periodic save failed");
        app.Shutdown();
    }
    CMarkManager::Get().ClearForTesting();
    CTrackManager::Get().ClearForTesting();
    SetFolderRootForTesting("");
    std::filesystem::remove_all(root);
}
// 0: marks, routes and tracks changed; 1: only the tracks (recording).
BENCHMARK(BM_PeriodicSaveMainThread)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
