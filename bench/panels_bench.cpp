// Panels. Targets: laying out the default grid of a 3840 x 2160 window
// (22 x 26 cells) with recording windows in 5 ms or less; reading and
// applying a layout of 64 arrangements of 256 cells each in 50 ms or less;
// one fix reaching 30 own-fix and navigation cells in 0.2 ms or less.
#include "mapview/ownship/OverlayGPSPosition.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "panelfakes/RecordingWindows.h"
#include "panels/LayoutFile.h"
#include "panels/SmallItems.h"
#include "panels/items/GotoItems.h"
#include "panels/items/GpsItems.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>

namespace {

void BM_RelayoutDefaultGrid4K(benchmark::State& state)
{
    RegisterAllPanelItems();
    tessatest::RecordingWindowFactory factory;
    tessatest::FakeHost host(3840, 2160);
    CDisplayView panel;
    panel.Attach(&host, nullptr);
    panel.Relayout(); // makes the default grid once
    const size_t cells = panel.CurrentArrangement()->m_cells.size();
    for (auto _ : state) {
        // Off screen and back: every live item and window is made again.
        panel.Detach();
        panel.Attach(&host, nullptr);
        panel.Relayout();
        benchmark::DoNotOptimize(panel.CurrentArrangement());
        state.PauseTiming();
        factory.Clear();
        state.ResumeTiming();
    }
    state.counters["cells"] = double(cells);
    panel.Detach();
}
BENCHMARK(BM_RelayoutDefaultGrid4K)->Unit(benchmark::kMillisecond);

void BM_ReadAndApplyLayout64x256(benchmark::State& state)
{
    RegisterAllPanelItems();
    CDisplayView::ArrangementList main;
    for (int a = 0; a < 64; ++a) {
        auto grid = std::make_unique<CDisplayView::CItemArrangement>();
        grid->m_designWidth = 400 + uint32_t(a) * 40;
        grid->m_designHeight = 300 + uint32_t(a) * 20;
        grid->m_rows = 16;
        grid->m_columns = 16;
        for (int c = 0; c < 256; ++c) {
            std::unique_ptr<CDisplayView::CItemSettings> s;
            if (c % 2)
                s = std::make_unique<CDisplayViewHint::CSettings>();
            else
                s = std::make_unique<CDisplayViewLogo::CSettings>();
            s->m_row = c / 16;
            s->m_column = c % 16;
            s->m_rows = s->m_columns = 1;
            grid->m_cells.push_back(std::move(s));
        }
        main.push_back(std::move(grid));
    }
    CSerialStream out = CSerialStream::OpenWrite({}, nullptr);
    CLayoutDocument::Write(out, "Bench", {}, main);
    const std::string bytes = out.Output();

    tessatest::RecordingWindowFactory factory;
    tessatest::FakeHost host(1280, 800);
    CDisplayView panel;
    panel.Attach(&host, nullptr);
    for (auto _ : state) {
        CLayoutDocument document;
        if (!document.LoadBytes(bytes.data(), bytes.size(), nullptr)) {
            state.SkipWithError("the layout did not read");
            break;
        }
        panel.ReplaceArrangements(std::move(document.m_main));
        benchmark::DoNotOptimize(panel.CurrentArrangement());
        state.PauseTiming();
        factory.Clear();
        state.ResumeTiming();
    }
    state.counters["bytes"] = double(bytes.size());
    panel.Detach();
}
BENCHMARK(BM_ReadAndApplyLayout64x256)->Unit(benchmark::kMillisecond);

void BM_FixToGpsAndGotoCells(benchmark::State& state)
{
    RegisterAllPanelItems();
    tessatest::RecordingWindowFactory factory;
    tessatest::FakeHost host(1280, 800);
    // Every own-fix and navigation cell, 30 in all, while a go-to runs.
    const uint32_t ids[] = {41, 42, 43, 44, 45, 46,  68, 47, 48, 49, 76, 103, 22, 23, 24,
                            25, 26, 57, 58, 59, 114, 60, 61, 62, 63, 64, 66,  97, 42, 22};
    auto grid = std::make_unique<CDisplayView::CItemArrangement>();
    grid->m_designWidth = 1280;
    grid->m_designHeight = 800;
    grid->m_rows = 5;
    grid->m_columns = 6;
    for (size_t c = 0; c < std::size(ids); ++c) {
        std::unique_ptr<CDisplayView::CItemSettings> s = CDisplayView::CreateSettings(ids[c]);
        s->m_row = int32_t(c / 6);
        s->m_column = int32_t(c % 6);
        s->m_rows = s->m_columns = 1;
        grid->m_cells.push_back(std::move(s));
    }
    CDisplayView::ArrangementList list;
    list.push_back(std::move(grid));
    CDisplayView panel;
    panel.ReplaceArrangements(std::move(list));
    panel.Attach(&host, nullptr);
    panel.Relayout();

    CMarkManager& marks = CMarkManager::Get();
    auto mark = std::make_unique<COverlayMark>();
    mark->SetName("Target");
    mark->SetPosition(50.1, -1.0);
    marks.GotoMark(marks.AddMark(std::move(mark)));
    COverlayGPSPosition& own = COverlayGPSPosition::Global();
    double t = 1.7e9;
    for (auto _ : state) {
        t += 1;
        own.m_fixStatus = CDataGPSPosition::kGPSFix;
        own.m_fixTime = t;
        own.SetPosition(50.0 + std::fmod(t, 100) * 1e-5, -1.0);
        own.SetCourseSpeed(2.0f, 6.0f);
        own.ProcessFix();
        FireEvent<CDataGPSSatelliteSignals>(own);
    }
    state.counters["cells"] = double(std::size(ids));
    panel.Detach();
    marks.CancelGoto();
    marks.ClearForTesting();
}
BENCHMARK(BM_FixToGpsAndGotoCells)->Unit(benchmark::kMicrosecond);

} // namespace
