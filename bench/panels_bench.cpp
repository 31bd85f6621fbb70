// Panels. Targets: laying out the default grid of a 3840 x 2160 window
// (22 x 26 cells) with recording windows in 5 ms or less; reading and
// applying a layout of 64 arrangements of 256 cells each in 50 ms or less;
// a 30-cell panel of race and track cells updated for one fix and one timer
// tick in 0.2 ms or less; a MouseUp that displaces cells on a full 100 x 100
// grid (each displaced cell searches every place at every size) in 10 ms or
// less; one fix reaching 30 own-fix and navigation cells in 0.2 ms or less;
// one sentence of each instrument type to a 30-cell panel with recording
// windows in 0.2 ms or less; SetText of a Qt text cell with an unchanged
// template in 20 us or less; a full offscreen repaint of a 1280 x 800 panel
// of 30 Qt cells in 10 ms or less.
#include "app/panels/PanelAdaptors_qt.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "panelfakes/PanelBuilders.h"
#include "panelfakes/RecordingWindows.h"
#include "panels/LayoutFile.h"
#include "panels/SmallItems.h"
#include "panels/items/GotoItems.h"
#include "panels/items/GpsItems.h"
#include "panels/items/InstrumentItems.h"
#include "panels/items/RaceItems.h"
#include "panels/items/TrackItems.h"

#include <QImage>
#include <QWidget>
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

// Appends one cell of each item type, row by row in six columns.
template <class... Item> void AddCells(CDisplayView::CItemArrangement& grid, int& cell)
{
    ((tessatest::AddCell<typename Item::CSettings>(grid, cell / 6, cell % 6), ++cell), ...);
}

// Each iteration: one recorded fix with its speed, direction, wind and
// distance to the line, then one heartbeat tick.
void BM_RaceAndTrackCellsPerFixAndTick(benchmark::State& state)
{
    using namespace tessatest;
    RegisterAllPanelItems();
    RecordingWindowFactory factory;
    FakeHost host(1280, 800);
    auto grid = MakeGrid(1280, 800, 5, 6);
    int cell = 0;
    using namespace NDisplayTrack;
    AddCells<DisplayStartTimer, DisplayStartDistance, DisplayStartEarly, DisplayStartPingRight,
             DisplayStartPingLeft, DisplayStartCountdown, TrueWind_from_axis, Heading_from_axis,
             COG_from_axis, Line_Bias_from_axis, Line_Bias_from_wind, CDispAxis, StartStopButton, Distance,
             MovingTime, ElapsedTime, StoppedTime, AverageSpeed, MaxSpeed>(*grid, cell);
    AddCells<DisplayStartTimer, DisplayStartDistance, DisplayStartEarly, TrueWind_from_axis,
             Heading_from_axis, COG_from_axis, Line_Bias_from_wind, Distance, MovingTime, AverageSpeed,
             MaxSpeed>(*grid, cell);
    CDisplayView panel;
    panel.Attach(&host, nullptr);
    panel.ReplaceArrangements(Arrangements(std::move(grid)));

    CDataStartLine& line = CDataStartLine::Global();
    line.m_rightLat = 50;
    line.m_rightLon = -1;
    line.m_leftLat = 50.002;
    line.m_leftLon = -1;
    line.m_axis = 10;
    FireEvent<CDataStartLine>(line);
    CTrackManager& tracks = CTrackManager::Get();
    if (!tracks.IsRecording())
        tracks.ToggleRecording();
    CDataGPSPosition fix;
    fix.m_fixStatus = CDataGPSPosition::kGPSFix;
    CDataTrueWind wind;
    wind.m_current.direction = 200;
    wind.m_current.unitEast = -0.34f;
    wind.m_current.unitNorth = -0.94f;
    CDataDistanceToStart distance;
    distance.m_distanceValid = distance.m_burnValid = true;
    double t = 1.7e9;
    for (auto _ : state) {
        t += 1;
        fix.SetPosition(49.99 + 1e-6 * std::fmod(t, 1000), -1);
        fix.m_fixTime = t;
        fix.SetCourseSpeed(float(std::fmod(t, 360)), 6);
        fix.SetHeading(float(std::fmod(t, 360)), t);
        tracks.OnGPSPosition(fix);
        FireEvent<CDataSpeedDirection>(fix);
        FireEvent<CDataTrueWind>(wind);
        distance.m_distance = std::fmod(t, 500);
        distance.m_timeToBurn = std::fmod(t, 60) - 30;
        FireEvent<CDataDistanceToStart>(distance);
        CHeartbeat::Tick();
    }
    state.counters["cells"] = double(cell);
    panel.Detach();
    tracks.ToggleRecording();
}
BENCHMARK(BM_RaceAndTrackCellsPerFixAndTick)->Unit(benchmark::kMicrosecond);

void BM_MouseUpFreePlaceSearchFull100x100(benchmark::State& state)
{
    RegisterAllPanelItems();
    tessatest::FakeHost host(5600, 5600); // cells of 56 x 56 points
    CDisplayView panel;
    panel.Attach(&host, nullptr);
    for (auto _ : state) {
        state.PauseTiming();
        // Full: a 2 x 2 cell in the top-left corner and one-cell blanks
        // (cells without windows) everywhere else.
        auto grid = std::make_unique<CDisplayView::CItemArrangement>();
        grid->m_designWidth = grid->m_designHeight = 5600;
        grid->m_rows = grid->m_columns = 100;
        for (int32_t r = 0; r < 100; ++r) {
            for (int32_t c = 0; c < 100; ++c) {
                if (r < 2 && c < 2 && (r || c))
                    continue;
                auto s = std::make_unique<CDisplayViewBlank::CSettings>();
                s->m_row = r;
                s->m_column = c;
                s->m_rows = s->m_columns = (r == 0 && c == 0) ? 2 : 1;
                grid->m_cells.push_back(std::move(s));
            }
        }
        CDisplayView::ArrangementList list;
        list.push_back(std::move(grid));
        panel.ReplaceArrangements(std::move(list));
        panel.ToggleArrange();
        // Dragged onto the middle: four cells are displaced; only the
        // corner's four cells are free, so the search runs to the end.
        panel.MouseDown(20, 20);
        panel.MouseDragged(20 + 50 * 56, 20 + 50 * 56);
        state.ResumeTiming();
        panel.MouseUp(0, 0);
        benchmark::DoNotOptimize(panel.CurrentArrangement());
    }
    panel.Detach();
}
BENCHMARK(BM_MouseUpFreePlaceSearchFull100x100)->Unit(benchmark::kMillisecond);

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

// 30 instrument cells, the twelve kinds in turn, in a 5 x 6 grid.
CDisplayView::ArrangementList InstrumentGrid()
{
    using namespace NDisplayInstruments;
    const uint32_t ids[] = {33, 34, 35, 86, 87, 112, 113, 36, 78, 80, 81, 82};
    auto grid = std::make_unique<CDisplayView::CItemArrangement>();
    grid->m_designWidth = 1280;
    grid->m_designHeight = 800;
    grid->m_rows = 5;
    grid->m_columns = 6;
    for (int c = 0; c < 30; ++c) {
        std::unique_ptr<CDisplayView::CItemSettings> s = CDisplayView::CreateSettings(ids[c % 12]);
        s->m_row = c / 6;
        s->m_column = c % 6;
        s->m_rows = s->m_columns = 1;
        grid->m_cells.push_back(std::move(s));
    }
    CDisplayView::ArrangementList list;
    list.push_back(std::move(grid));
    return list;
}

void BM_InstrumentSentencesTo30Cells(benchmark::State& state)
{
    RegisterAllPanelItems();
    tessatest::RecordingWindowFactory factory;
    tessatest::FakeHost host(1280, 800);
    CDisplayView panel;
    panel.ReplaceArrangements(InstrumentGrid());
    panel.Attach(&host, nullptr);
    panel.Relayout();
    CNMEA_Instruments::VHW vhw(&CNMEA_Instruments::VHW::Type);
    vhw.m_hasSpeed = true;
    CNMEA_Instruments::MWV mwv(&CNMEA_Instruments::MWV::Type);
    CNMEA_Instruments::DPT dpt(&CNMEA_Instruments::DPT::Type);
    CNMEA_Instruments::DBT dbt(&CNMEA_Instruments::DBT::Type);
    CNMEA_Instruments::MTW mtw(&CNMEA_Instruments::MTW::Type);
    CNMEA_Instruments::RSA rsa(&CNMEA_Instruments::RSA::Type);
    CNMEA_Instruments::RPM rpm(&CNMEA_Instruments::RPM::Type);
    CDataTrueWind wind;
    float step = 0;
    for (auto _ : state) {
        step += 0.1f;
        vhw.m_speed = mwv.m_speed = 6 + step;
        mwv.m_angle = 40 + step;
        dpt.m_depth = dbt.m_depth = 4 + step;
        mtw.m_temperature = rsa.m_angle = rpm.m_engine01 = 15 + step;
        wind.m_current.direction = 200 + step;
        FireEvent(vhw);
        FireEvent(mwv);
        FireEvent(dpt);
        FireEvent(dbt);
        FireEvent(mtw);
        FireEvent(rsa);
        FireEvent(rpm);
        FireEvent(wind);
        if (step > 100)
            step = 0;
    }
    panel.Detach();
}
BENCHMARK(BM_InstrumentSentencesTo30Cells)->Unit(benchmark::kMicrosecond);

void BM_QtTextCellSameTemplate(benchmark::State& state)
{
    QWidget host;
    host.resize(200, 100);
    CTextViewAdaptor_qt cell(nullptr, &host, false);
    cell.SetRect(0, 0, 200, 100, nullptr);
    cell.SetLabel("Boat Speed", "kts");
    const char* texts[] = {"12.5", "13.7"};
    int i = 0;
    for (auto _ : state)
        cell.SetText(texts[++i & 1]);
}
BENCHMARK(BM_QtTextCellSameTemplate)->Unit(benchmark::kMicrosecond);

void BM_QtPanelRepaint1280x800(benchmark::State& state)
{
    RegisterAllPanelItems();
    CQtPanelWindowFactory factory;
    InstallPort<IPanelWindowFactory>(&factory);
    QWidget view;
    view.resize(1280, 800);
    CViewAdaptor_qt host(nullptr, false);
    host.SetView(&view);
    CDisplayView panel;
    panel.ReplaceArrangements(InstrumentGrid());
    panel.Attach(&host, nullptr);
    panel.Relayout();
    for (auto& item : panel.CurrentArrangement()->m_items)
        if (auto* text = dynamic_cast<CDisplayView::CItemText*>(item.get()))
            text->TextWindow()->SetText("123.4");
    QImage image(1280, 800, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        view.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
    panel.Detach();
    host.ReleaseView();
    InstallPort<IPanelWindowFactory>(nullptr);
}
BENCHMARK(BM_QtPanelRepaint1280x800)->Unit(benchmark::kMillisecond);

} // namespace
