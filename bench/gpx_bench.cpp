// GPX exchange: reading a 100,000-point file (about 12 MB) with the XML
// reader, with its peak memory as a multiple of the file size (target: 0.5 s
// and under 15 times); and importing 10,000 waypoints into 10,000 existing
// marks (target: 2 s).
#include "foundation/util/Xml.h"
#include "overlays/GpxFile.h"
#include "overlays/MarkManager.h"
#include "overlays/OverlayMark.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <fstream>
#include <malloc.h>
#include <string>
#include <unistd.h>

namespace {

std::string TempPath(const char* tag)
{
    return std::string("/tmp/tessa_gpx_bench_") + tag + "_" + std::to_string(::getpid()) + ".gpx";
}

// Bytes in use on the heap. The reader's peak is the tree plus the file
// buffer it holds while parsing; freed memory that malloc keeps would hide
// it from the resident size, so the heap is counted instead.
double HeapBytes()
{
    struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks) + static_cast<double>(info.hblkhd);
}

std::string WriteTrackFile(size_t points)
{
    std::string path = TempPath("track");
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fputs("<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"bench\" "
               "xmlns=\"http://www.topografix.com/GPX/1/1\">\n<trk><name>Long</name><trkseg>\n",
               f);
    for (size_t i = 0; i < points; ++i)
        std::fprintf(f, "<trkpt lat=\"%.10f\" lon=\"%.10f\"><ele>%d</ele><time>%s</time></trkpt>\n",
                     45.0 + i * 1e-6, 14.0 + i * 1e-6, static_cast<int>(i % 300),
                     FormatXmlTime(1600000000.0 + i).c_str());
    std::fputs("</trkseg></trk>\n</gpx>\n", f);
    std::fclose(f);
    return path;
}

void BM_ReadGpx100kPoints(benchmark::State& state)
{
    std::string path = WriteTrackFile(100000);
    std::ifstream size_probe(path, std::ios::ate | std::ios::binary);
    const double file_bytes = static_cast<double>(size_probe.tellg());
    double peak_ratio = 0;
    for (auto _ : state) {
        double before = HeapBytes();
        std::unique_ptr<CXmlNode> root = CXmlNode::LoadFile(path);
        double tree = HeapBytes() - before;
        benchmark::DoNotOptimize(root.get());
        peak_ratio = std::max(peak_ratio, (tree + file_bytes) / file_bytes);
        state.PauseTiming();
        root.reset();
        state.ResumeTiming();
    }
    state.counters["file_MB"] = file_bytes / 1e6;
    state.counters["peak_x_file"] = peak_ratio;
    std::remove(path.c_str());
}
BENCHMARK(BM_ReadGpx100kPoints)->Unit(benchmark::kMillisecond);

void BM_Import10kWaypointsInto10kMarks(benchmark::State& state)
{
    std::string path = TempPath("marks");
    {
        std::FILE* f = std::fopen(path.c_str(), "w");
        std::fputs("<gpx version=\"1.1\">\n", f);
        for (int i = 0; i < 10000; ++i)
            std::fprintf(f, "<wpt lat=\"%.6f\" lon=\"%.6f\"><name>New %d</name><sym>Flag</sym></wpt>\n",
                         10.0 + i * 1e-3, 20.0, i);
        std::fputs("</gpx>\n", f);
        std::fclose(f);
    }
    CMarkManager& manager = CMarkManager::Get();
    for (auto _ : state) {
        state.PauseTiming();
        manager.ClearForTesting();
        for (int i = 0; i < 10000; ++i) {
            auto mark = std::make_unique<COverlayMark>();
            mark->SetName("Old " + std::to_string(i));
            mark->SetPosition(-10.0 - i * 1e-3, 20.0);
            manager.AddMark(std::move(mark));
        }
        state.ResumeTiming();
        if (!ImportGPXFile(path) || manager.Marks().size() != 20000)
            state.SkipWithError("import failed");
    }
    manager.ClearForTesting();
    std::remove(path.c_str());
}
BENCHMARK(BM_Import10kWaypointsInto10kMarks)->Unit(benchmark::kMillisecond);

} // namespace
