// Tracks: recording 1,000,000 fixes; the statistics of a 1,000,000-point
// track; "tracks.bin" of 1,000,000 points in 100 tracks saved and loaded;
// thinning a dense 1,000,000-point track; a 1920 x 1080 redraw zoomed in on
// that track.
#include "TestChartView.h"
#include "mapview/view/RasterleafView.h"
#include "overlays/model/TrackManager.h"

#include <QImage>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace {

constexpr double kT0 = 1700000000.0;
constexpr int kMillion = 1000000;

// One point a second, about 550 m apart, in rows 21 km apart over the test
// chart's 40 x 24 degrees, weaving gently.
CTrackPoint PointAt(int i)
{
    const int row = i / 8000, along = i % 8000;
    return CTrackPoint{-3.5 + row * 0.19 + 1e-2 * std::sin(along * 0.01), -19.9 + along * 4.97e-3, kT0 + i,
                       1.0f, 0.8f};
}

std::unique_ptr<COverlayTrack> MakeTrack(int points, int first = 0)
{
    auto track = std::make_unique<COverlayTrack>();
    std::string name = "T";
    name += std::to_string(first); // not "T" + ...: GCC 12 warns falsely on that
    track->SetName(name);
    for (int i = first; i < first + points; ++i)
        track->AddPoint(PointAt(i), false);
    return track;
}

void BM_RecordMillionFixes(benchmark::State& state)
{
    CTrackManager& manager = CTrackManager::Get();
    CDataGPSPosition fix;
    fix.m_fixStatus = CDataGPSPosition::kGPSFix;
    double perFix = 0;
    for (auto _ : state) {
        manager.ClearForTesting();
        CTrackManager::Settings().doRecordTrack = true;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kMillion; ++i) {
            const CTrackPoint p = PointAt(i);
            fix.m_latitude = p.latitude;
            fix.m_longitude = p.longitude;
            fix.m_fixTime = p.time;
            manager.OnGPSPosition(fix);
        }
        perFix = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count() /
                 kMillion;
        benchmark::DoNotOptimize(manager.Tracks().back()->PointCount());
    }
    state.counters["us_per_fix"] = perFix;
    state.counters["points"] = double(manager.Tracks().back()->PointCount());
    CTrackManager::Settings().doRecordTrack = false;
    manager.ClearForTesting();
}
BENCHMARK(BM_RecordMillionFixes)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_StatisticsMillionPoints(benchmark::State& state)
{
    auto track = MakeTrack(kMillion);
    for (auto _ : state) {
        double moving = 0, maxSpeed = 0;
        benchmark::DoNotOptimize(track->TotalDistance(moving, maxSpeed));
    }
}
BENCHMARK(BM_StatisticsMillionPoints)->Unit(benchmark::kMillisecond);

std::string StorePath()
{
    return (std::filesystem::temp_directory_path() / ("tessa_tracks_bench_" + std::to_string(::getpid())))
        .string();
}

void FillHundredTracks(CTrackManager& manager)
{
    manager.ClearForTesting();
    for (int t = 0; t < 100; ++t)
        manager.AddTrack(MakeTrack(kMillion / 100, t * (kMillion / 100)));
}

void BM_SaveMillionPointsIn100Tracks(benchmark::State& state)
{
    CTrackManager manager;
    FillHundredTracks(manager);
    const std::string folder = StorePath();
    std::filesystem::create_directories(folder);
    for (auto _ : state)
        if (!manager.SaveTracks(folder + "/tracks.bin"))
            state.SkipWithError("save failed");
    state.counters["MB"] = double(std::filesystem::file_size(folder + "/tracks.bin")) / 1e6;
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_SaveMillionPointsIn100Tracks)->Unit(benchmark::kMillisecond);

void BM_LoadMillionPointsIn100Tracks(benchmark::State& state)
{
    const std::string folder = StorePath();
    std::filesystem::create_directories(folder);
    {
        CTrackManager manager;
        FillHundredTracks(manager);
        manager.SaveTracks(folder + "/tracks.bin");
    }
    for (auto _ : state) {
        CTrackManager manager;
        if (!manager.LoadTracks(folder + "/tracks.bin"))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(manager.Tracks().size());
        state.PauseTiming();
        manager.ClearForTesting();
        state.ResumeTiming();
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_LoadMillionPointsIn100Tracks)->Unit(benchmark::kMillisecond);

void BM_ThinDenseMillionPoints(benchmark::State& state)
{
    // A straight passage recorded every second with centimetre noise.
    std::vector<CTrackPoint> points(kMillion);
    for (int i = 0; i < kMillion; ++i)
        points[size_t(i)] = CTrackPoint{5 + i * 1e-6, -10 + 1e-7 * ((int64_t(i) * 7919) % 13), kT0 + i, 0, 0};
    COverlayTrack track;
    size_t dropped = 0, second = 0;
    for (auto _ : state) {
        state.PauseTiming();
        track.SetPoints(points);
        state.ResumeTiming();
        dropped = track.Simplify(4.0);
        state.PauseTiming();
        second = track.Simplify(4.0);
        state.ResumeTiming();
    }
    state.counters["dropped"] = double(dropped);
    state.counters["second_run_dropped"] = double(second);
}
BENCHMARK(BM_ThinDenseMillionPoints)->Unit(benchmark::kMillisecond);

void BM_RedrawZoomedInOnMillionPointTrack(benchmark::State& state)
{
    tessatest::CTestChartView chart(1920, 1080);
    if (!chart.IsOpen()) {
        state.SkipWithError("could not write the chart");
        return;
    }
    CRasterleafView& view = *chart.view;
    CTrackManager& manager = CTrackManager::Get();
    manager.ClearForTesting();
    COverlayTrack* track = manager.AddTrack(MakeTrack(kMillion));
    track->NotifySections(COverlayObject::kChanged);
    view.GoToPosition(8, 0, 0);
    view.ZoomAboutCentre(-1);
    view.ZoomAboutCentre(-1);
    // The zoom's animation run to its end, as the view's timer does within a
    // few ticks: the frame measured is the zoomed-in view, not a scaled
    // picture of the wider one on its way there.
    for (int i = 0; i < 20 && view.Magnification() != 1.0; ++i)
        view.OnTimer();
    QImage image(1920, 1080, QImage::Format_ARGB32_Premultiplied);
    // Warm: every square of the view rendered by the workers and collected.
    chart.RedrawUntilSettled(image);
    for (auto _ : state) {
        chart.Redraw(image);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["overlays"] = double(view.DisplayedOverlays().Size());
    state.counters["zoom"] = view.Transform().zoom;
    manager.ClearForTesting();
}
BENCHMARK(BM_RedrawZoomedInOnMillionPointTrack)->Unit(benchmark::kMillisecond);

} // namespace
