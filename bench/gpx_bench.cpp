// GPX exchange: reading a 100,000-point file (about 12 MB) with the XML
// reader, with its peak memory as a multiple of the file size (target: 0.5 s
// and under 15 times); importing 10,000 waypoints into 10,000 existing
// marks (target: 2 s); exporting a 1,000,000-point track (target: 1.5 s) and
// importing that file (target: 6 s, peak resident size 1.2 GB); the peak
// memory of importing a 25 MB track file, a route of 1,000,000 points and a
// 25 MB file of waypoints alone, per file byte (target: at most 8 each).
#include "foundation/util/Xml.h"
#include "overlays/gpx/GpxFile.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayTrack.h"
#include "overlays/model/TrackManager.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <malloc.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
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

// One route of `points` bare points.
std::string WriteRouteFile(size_t points)
{
    std::string path = TempPath("route");
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fputs("<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"bench\" "
               "xmlns=\"http://www.topografix.com/GPX/1/1\">\n<rte><name>Long</name>\n",
               f);
    for (size_t i = 0; i < points; ++i)
        std::fprintf(f, "<rtept lat=\"%.6f\" lon=\"%.6f\"/>\n", 45.0 + i * 1e-6, 14.0 + i * 1e-6);
    std::fputs("</rte>\n</gpx>\n", f);
    std::fclose(f);
    return path;
}

// `count` waypoints with a name, a time and a symbol, as a device's
// waypoint list is written.
std::string WriteWaypointFile(size_t count)
{
    std::string path = TempPath("waypoints");
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fputs("<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"bench\" "
               "xmlns=\"http://www.topografix.com/GPX/1/1\">\n",
               f);
    for (size_t i = 0; i < count; ++i)
        std::fprintf(
            f, "<wpt lat=\"%.10f\" lon=\"%.10f\"><time>%s</time><name>WP%zu</name><sym>Flag</sym></wpt>\n",
            45.0 + i * 1e-6, 14.0 + i * 1e-6, FormatXmlTime(1600000000.0 + i).c_str(), i);
    std::fputs("</gpx>\n", f);
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

// A recorded passage: 10 s apart (so import does not thin it), winding,
// with altitudes and times on every point.
std::unique_ptr<COverlayTrack> MakeLongTrack(size_t points)
{
    auto track = std::make_unique<COverlayTrack>();
    track->SetName("Passage");
    for (size_t i = 0; i < points; ++i) {
        const double t = static_cast<double>(i);
        track->AddPoint(CTrackPoint{45.0 + t * 1e-5, 14.0 + 0.01 * std::sin(t * 0.01), 1600000000.0 + 10 * t,
                                    static_cast<float>(i % 300), 1.0f},
                        false);
    }
    return track;
}

double PeakResidentMB()
{
    struct rusage usage
    {
    };
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

double FileMB(const std::string& path)
{
    std::ifstream probe(path, std::ios::ate | std::ios::binary);
    return static_cast<double>(probe.tellg()) / 1e6;
}

void BM_ExportTrack1MPoints(benchmark::State& state)
{
    CTrackManager& manager = CTrackManager::Get();
    manager.ClearForTesting();
    manager.AddTrack(MakeLongTrack(1000000));
    std::string path = TempPath("export");
    for (auto _ : state)
        if (!ExportTracksGPXFile(path))
            state.SkipWithError("export failed");
    state.counters["file_MB"] = FileMB(path);
    manager.ClearForTesting();
    std::remove(path.c_str());
}
BENCHMARK(BM_ExportTrack1MPoints)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ImportTrack1MPoints(benchmark::State& state)
{
    CTrackManager& manager = CTrackManager::Get();
    manager.ClearForTesting();
    manager.AddTrack(MakeLongTrack(1000000));
    std::string path = TempPath("import");
    if (!ExportTracksGPXFile(path)) {
        state.SkipWithError("export failed");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        manager.ClearForTesting();
        state.ResumeTiming();
        if (!ImportGPXFile(path) || manager.Tracks().size() != 1 ||
            manager.Tracks()[0]->PointCount() != 1000000)
            state.SkipWithError("import failed");
    }
    state.counters["file_MB"] = FileMB(path);
    state.counters["peak_RSS_MB"] = PeakResidentMB();
    manager.ClearForTesting();
    std::remove(path.c_str());
}
BENCHMARK(BM_ImportTrack1MPoints)->Unit(benchmark::kMillisecond)->Iterations(1);

// One figure of /proc/self/status, in bytes ("VmRSS", "VmHWM").
double StatusBytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.compare(0, key.size(), key) == 0)
            return std::stod(line.substr(key.size())) * 1024.0;
    return -1;
}

// The import runs in a child: its resident size before (with the heap
// given back and the peak reset) and its peak after give the import's own
// peak, whatever the parent left in the heap.
void ImportPeakPerFileByte(benchmark::State& state, const std::string& path)
{
    std::ifstream probe(path, std::ios::ate | std::ios::binary);
    const double file_bytes = static_cast<double>(probe.tellg());
    double per_byte = 0, kept = 0;
    for (auto _ : state) {
        int fds[2];
        if (::pipe(fds) != 0) {
            state.SkipWithError("no pipe");
            break;
        }
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(fds[0]);
            ::malloc_trim(0);
            if (std::FILE* refs = std::fopen("/proc/self/clear_refs", "w")) {
                std::fputs("5", refs); // the peak starts again from here
                std::fclose(refs);
            }
            const double before = StatusBytes("VmRSS");
            const bool ok = ImportGPXFile(path);
            // The peak, and what the imported objects keep after it.
            const double peak = StatusBytes("VmHWM") - before;
            ::malloc_trim(0);
            const double figures[2] = {peak, StatusBytes("VmRSS") - before};
            [[maybe_unused]] ssize_t n = ::write(fds[1], figures, sizeof figures);
            ::_exit(ok ? 0 : 1);
        }
        ::close(fds[1]);
        double figures[2] = {-1, -1};
        const bool read = child > 0 && ::read(fds[0], figures, sizeof figures) == ssize_t(sizeof figures);
        const double peak = figures[0];
        kept = figures[1];
        ::close(fds[0]);
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0 || !read || peak < 0) {
            state.SkipWithError("import failed");
            break;
        }
        per_byte = peak / file_bytes;
    }
    state.counters["file_MB"] = file_bytes / 1e6;
    state.counters["peak_per_file_byte"] = per_byte;
    // Of which the imported objects themselves (marks, points) keep:
    state.counters["kept_per_file_byte"] = kept / file_bytes;
    std::remove(path.c_str());
}
// A 25 MB track, and a route of 1,000,000 points (about 32 MB).
void BM_ImportPeakPerFileByte25MB(benchmark::State& state)
{
    ImportPeakPerFileByte(state, WriteTrackFile(245000));
}
void BM_ImportPeakPerFileByteRoute1M(benchmark::State& state)
{
    ImportPeakPerFileByte(state, WriteRouteFile(1000000));
}
void BM_ImportPeakPerFileByteWaypoints25MB(benchmark::State& state)
{
    ImportPeakPerFileByte(state, WriteWaypointFile(190000));
}
BENCHMARK(BM_ImportPeakPerFileByteRoute1M)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ImportPeakPerFileByte25MB)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ImportPeakPerFileByteWaypoints25MB)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
