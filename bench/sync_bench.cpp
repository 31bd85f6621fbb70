// Synchronisation of a large installation: building the request for 10,000
// marks, 1,000 routes and 1,000 tracks (1,000,000 track points), and applying
// a reply of 10,000 mark entries. Targets: 0.5 s or less each.
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/OverlayTrack.h"
#include "overlays/model/TrackManager.h"
#include "overlays/store/OverlaySync.h"
#include "support/SyncServerDouble.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kMarks = 10000;
constexpr int kRoutes = 1000;
constexpr int kTracks = 1000;
constexpr int kPointsPerTrack = 1000;

void Fill()
{
    CMarkManager& marks = CMarkManager::Get();
    if (!marks.Marks().empty())
        return;
    for (int i = 0; i < kMarks; ++i) {
        auto mark = std::make_unique<COverlayMark>();
        mark->SetName(std::to_string(i));
        mark->SetPosition(54 + i * 1e-4, 10);
        marks.AddMark(std::move(mark));
    }
    for (int i = 0; i < kRoutes; ++i) {
        auto route = std::make_unique<COverlayRoute>();
        for (int p = 0; p < 5; ++p) {
            CMarkManager::RoutePointScope scope;
            auto point = std::make_unique<COverlayMark>();
            point->SetPosition(54 + p * 0.01, 10 + i * 1e-3);
            route->AddPoint(std::move(point));
        }
        marks.AddRoute(std::move(route));
    }
    for (int i = 0; i < kTracks; ++i) {
        auto track = std::make_unique<COverlayTrack>();
        for (int p = 0; p < kPointsPerTrack; ++p)
            track->AddPoint(CTrackPoint{54 + p * 1e-5, 10 + i * 1e-3, 1.6e9 + p, 0, 0}, false);
        CTrackManager::Get().AddTrack(std::move(track));
    }
}

void BM_BuildRequest(benchmark::State& state)
{
    Fill();
    CSyncHeader header;
    header.user = "skipper";
    header.accountText = "key";
    for (auto _ : state) {
        CSerialStream out = CSerialStream::OpenWrite("", nullptr);
        CSyncCounts counts;
        if (!COverlaySync::BuildRequest(header, CMarkManager::Get(), CTrackManager::Get(), out, &counts))
            state.SkipWithError("the request was not built");
        benchmark::DoNotOptimize(out.Position());
        state.counters["bytes"] = double(out.Position());
    }
}
BENCHMARK(BM_BuildRequest)->Unit(benchmark::kMillisecond);

void BM_ApplyReply(benchmark::State& state)
{
    Fill();
    tessatest::SyncReplyBuilder builder;
    for (const auto& mark : CMarkManager::Get().Marks())
        builder.Add(0, mark->GetSyncId(), tessatest::RecordOf(*mark));
    const std::string reply = builder.Build();
    for (auto _ : state) {
        if (COverlaySync::ApplyReply(reply.data(), reply.size(), 4e9, CMarkManager::Get(),
                                     CTrackManager::Get()) != ESyncReply::kApplied)
            state.SkipWithError("the reply was not applied");
    }
    state.counters["entries"] = kMarks;
}
BENCHMARK(BM_ApplyReply)->Unit(benchmark::kMillisecond);

} // namespace
