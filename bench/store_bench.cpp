// Saving and loading a store of 1,000,000 small records, about the size of a
// million recorded track points. Targets: a save under 0.25 s, a load under 0.5 s.
#include "foundation/objectfile/Serializable.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

constexpr int kRecords = 1000000;

struct CBenchPoint : CSerializable
{
    double lat = 0, lon = 0, time = 0;
    bool Serialize(CSerialStream& s) override
    {
        CSerialChunk c(s);
        c.Exchange(lat);
        c.Exchange(lon);
        c.Exchange(time);
        return c.Close();
    }
    uint32_t GetTypeId() const override { return 0xB0001; }
};
CSerializableType<CBenchPoint> gBenchPointType(0xB0001);

struct CBenchStore : CSerializable
{
    std::vector<std::unique_ptr<CSerializable>> points;
    bool Serialize(CSerialStream& s) override
    {
        CSerialChunk c(s);
        c.ExchangeObjectList(points);
        return c.Close();
    }
};

std::string StorePath()
{
    return std::filesystem::temp_directory_path().string() + "/tessa-store-bench-" +
           std::to_string(getpid()) + ".bin";
}

CBenchStore& FilledStore()
{
    static CBenchStore store;
    if (store.points.empty()) {
        for (int i = 0; i < kRecords; ++i) {
            auto p = std::make_unique<CBenchPoint>();
            p->lat = 54.0 + i * 1e-6;
            p->lon = 10.0 - i * 1e-6;
            p->time = 1.7e9 + i;
            store.points.push_back(std::move(p));
        }
    }
    return store;
}

void BM_SaveStore(benchmark::State& state)
{
    CBenchStore& store = FilledStore();
    const std::string path = StorePath();
    for (auto _ : state) {
        if (!store.SaveToFile(path, nullptr, 1))
            state.SkipWithError("save failed");
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
    state.SetBytesProcessed(state.iterations() * int64_t(std::filesystem::file_size(path)));
    std::remove(path.c_str());
}
BENCHMARK(BM_SaveStore)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadStore(benchmark::State& state)
{
    const std::string path = StorePath();
    FilledStore().SaveToFile(path, nullptr, 1);
    for (auto _ : state) {
        CBenchStore loaded;
        if (!loaded.LoadFromFile(path, nullptr, 1) || loaded.points.size() != size_t(kRecords))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(loaded.points.data());
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
    state.SetBytesProcessed(state.iterations() * int64_t(std::filesystem::file_size(path)));
    std::remove(path.c_str());
}
BENCHMARK(BM_LoadStore)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
