// A 20 MB place-name index of about 400,000 records: the check at open, a scan
// of every record that finds nothing, and the first screen of matches of a
// common text. Targets: 50 ms, 100 ms and 5 ms.
#include "PlaceIndexWriter.h"
#include "mapview/places/GeoNameDatabase.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

namespace {

const char* const kWords[] = {"Port",  "Saint", "Harbour", "Bay",   "Cape",   "Point", "Isle",   "North",
                              "South", "Head",  "Rock",    "Sound", "Marina", "Creek", "Beacon", "Wharf"};

class IndexFile
{
public:
    IndexFile() : m_path("/tmp/tessa_placenames_bench_" + std::to_string(::getpid()) + ".tsx")
    {
        std::mt19937 random(7);
        std::string bytes = tessatest::PlaceIndex({}, 1, 4);
        bytes.reserve(21u << 20);
        for (int i = 0; bytes.size() < (20u << 20); ++i) {
            tessatest::PlaceEntry e;
            // Three or four words and a number: about 30 characters.
            for (int w = 0, n = 3 + int(random() % 2); w < n; ++w) {
                e.name.append(kWords[random() % 16]);
                e.name.push_back(' ');
            }
            e.name.append(std::to_string(i));
            e.latitude = double(random() % 16000) / 100.0 - 80.0;
            e.longitude = double(random() % 36000) / 100.0 - 180.0;
            e.kind = random() % 4;
            bytes += tessatest::PlaceRecord(e);
            ++m_records;
        }
        std::ofstream(m_path, std::ios::binary) << bytes;
    }
    ~IndexFile() { std::remove(m_path.c_str()); }
    const std::string& Path() const { return m_path; }
    int64_t Records() const { return m_records; }

private:
    std::string m_path;
    int64_t m_records = 0;
};

IndexFile& File()
{
    static IndexFile file;
    return file;
}

void BM_PlacenamesOpen(benchmark::State& state)
{
    CGeoNameDatabase db;
    const std::string& path = File().Path(); // written once, outside the timing
    for (auto _ : state)
        if (!db.Open(path))
            state.SkipWithError("the index did not open");
    state.counters["records"] = double(File().Records());
}
BENCHMARK(BM_PlacenamesOpen)->Unit(benchmark::kMillisecond);

void BM_PlacenamesScanWithoutMatch(benchmark::State& state)
{
    CGeoNameDatabase db;
    if (!db.Open(File().Path())) {
        state.SkipWithError("the index did not open");
        return;
    }
    for (auto _ : state) {
        const uint8_t* cursor = nullptr;
        if (db.Search(cursor, -1, "ZANZIBAR"))
            state.SkipWithError("found a place that is not there");
    }
}
BENCHMARK(BM_PlacenamesScanWithoutMatch)->Unit(benchmark::kMillisecond);

void BM_PlacenamesFirstMatches(benchmark::State& state)
{
    CGeoNameDatabase db;
    if (!db.Open(File().Path())) {
        state.SkipWithError("the index did not open");
        return;
    }
    for (auto _ : state) {
        const uint8_t* cursor = nullptr;
        int found = 0;
        while (found < 20 && db.Search(cursor, -1, "HARB"))
            ++found;
        if (found != 20)
            state.SkipWithError("too few matches");
    }
}
BENCHMARK(BM_PlacenamesFirstMatches)->Unit(benchmark::kMillisecond);

} // namespace
