// The marks list of the overlay list window: filling it with 10,000 marks
// sorted by distance from the reference (the target is 20 ms or less), and
// the row texts of all of them. The whole window's rebuild over 10,000 marks,
// 1,000 routes and 1,000 tracks (also 20 ms or less).
#include "app/lists/overlay_list.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/OverlayTrack.h"
#include "overlays/model/TrackManager.h"
#include "overlays/ui/OverlayLists.h"

#include <benchmark/benchmark.h>
#include <random>

namespace {

void FillMarks(size_t count)
{
    CMarkManager& manager = CMarkManager::Get();
    manager.ClearForTesting();
    std::mt19937 random(7);
    std::uniform_real_distribution<double> lat(49, 51), lon(-5, -3);
    for (size_t i = 0; i < count; ++i) {
        auto mark = std::make_unique<COverlayMark>();
        mark->SetName(std::string("M").append(std::to_string(i % 997)));
        mark->SetPosition(lat(random), lon(random));
        manager.AddMark(std::move(mark));
    }
}

void BM_FillMarkListByDistance10000(benchmark::State& state)
{
    FillMarks(10000);
    CMarkManager::Settings().sort = COverlayListDelegate::kByDistance;
    COverlayListDelegate::SetSortReference(50, -4);
    CMarkListDelegate delegate;
    std::vector<COverlayListRowKey> list;
    for (auto _ : state) {
        delegate.FillList(list);
        benchmark::DoNotOptimize(list.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 10000);
    CMarkManager::Settings().sort = 0;
    COverlayListDelegate::ClearSortReference();
    CMarkManager::Get().ClearForTesting();
}
BENCHMARK(BM_FillMarkListByDistance10000)->Unit(benchmark::kMillisecond);

void BM_MarkRowTexts10000(benchmark::State& state)
{
    FillMarks(10000);
    COverlayListDelegate::SetSortReference(50, -4);
    CMarkListDelegate delegate;
    std::vector<COverlayListRowKey> list;
    delegate.FillList(list);
    COverlayListRow row;
    for (auto _ : state)
        for (const COverlayListRowKey& mark : list) {
            delegate.RowText(mark, row);
            benchmark::DoNotOptimize(row.detail.data());
        }
    COverlayListDelegate::ClearSortReference();
    CMarkManager::Get().ClearForTesting();
}
BENCHMARK(BM_MarkRowTexts10000)->Unit(benchmark::kMillisecond);

void BM_OverlayWindowRebuild(benchmark::State& state)
{
    FillMarks(10000);
    for (int r = 0; r < 1000; ++r) {
        auto route = std::make_unique<COverlayRoute>();
        route->SetName("R" + std::to_string(r));
        for (int i = 0; i < 5; ++i) {
            auto point = std::make_unique<COverlayMark>();
            point->SetPosition(50 + 0.01 * i, -4 + 0.001 * r);
            route->AddPoint(std::move(point));
        }
        CMarkManager::Get().AddRoute(std::move(route));
    }
    for (int t = 0; t < 1000; ++t) {
        auto track = std::make_unique<COverlayTrack>();
        track->SetName("T" + std::to_string(t));
        for (int i = 0; i < 10; ++i) {
            CTrackPoint point{};
            point.latitude = 50 + 0.001 * i;
            point.longitude = -4 + 0.001 * t;
            point.time = 1700000000.0 + 10 * i;
            track->AddPoint(point, false);
        }
        CTrackManager::Get().AddTrack(std::move(track));
    }
    QWidget host;
    host.resize(440, 520);
    auto* list = new overlay_list(&host);
    list->setGeometry(host.rect());
    host.show();
    list->outline()->expandAll(); // the rows the view lays out each time
    for (auto _ : state) {
        list->reloadData();
        benchmark::DoNotOptimize(list->model()->rowCount());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 12000);
    list->destroyDialog(0);
    CMarkManager::Get().ClearForTesting();
    CTrackManager::Get().ClearForTesting();
}
BENCHMARK(BM_OverlayWindowRebuild)->Unit(benchmark::kMillisecond);

} // namespace
