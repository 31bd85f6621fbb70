// The marks list of the overlay list window: filling it with 10,000 marks
// sorted by distance from the reference (the target is 20 ms or less), and
// the row texts of all of them.
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
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

} // namespace
