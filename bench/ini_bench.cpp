// LoadAll and SaveAll of a settings file of 2,000 keys. Target: under 10 ms each.
#include "foundation/settings/PersistantData.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// 100 objects of 20 keys of mixed kinds.
struct CBenchSettings : PersistantData
{
    explicit CBenchSettings(const std::string& name) : PersistantData(name.c_str()) {}
    void Exchange() override
    {
        for (int i = 0; i < 5; ++i) {
            ExchangeHex(keys[i].c_str(), hex[i]);
            ExchangeDouble(keys[5 + i].c_str(), d[i]);
            ExchangeString(keys[10 + i].c_str(), text[i]);
            ExchangeBool(keys[15 + i].c_str(), flag[i]);
        }
    }
    std::string keys[20];
    uint32_t hex[5] = {1, 2, 3, 4, 0xFF0000FF};
    double d[5] = {0.1, 2.5, -33.75, 1e-9, 12345.678};
    std::string text[5] = {"Harbour entrance", "a & b", "ttyUSB0", "192.0.2.1", "x"};
    bool flag[5] = {true, false, true, false, true};
};

struct CBenchFixture
{
    std::string folder;
    std::vector<std::unique_ptr<CBenchSettings>> objects;
    CBenchFixture()
    {
        folder =
            std::filesystem::temp_directory_path().string() + "/tessa-ini-bench-" + std::to_string(getpid());
        std::filesystem::create_directories(folder);
        PersistantData::SetIniPaths(folder + "/Tessaroute.ini", folder + "/docs.ini");
        for (int o = 0; o < 100; ++o) {
            auto s = std::make_unique<CBenchSettings>("CBenchObject" + std::to_string(o));
            for (int k = 0; k < 20; ++k)
                s->keys[k] = "key_" + std::to_string(k);
            s->SetModified();
            objects.push_back(std::move(s));
        }
        PersistantData::LoadAll("Tessaroute");
        for (auto& s : objects)
            s->SetModified();
        PersistantData::SaveAll();
    }
    ~CBenchFixture()
    {
        objects.clear();
        PersistantData::SetIniPaths("", "");
        std::filesystem::remove_all(folder);
    }
};

void BM_IniLoadAll(benchmark::State& state)
{
    CBenchFixture fixture;
    for (auto _ : state) {
        if (!PersistantData::LoadAll("Tessaroute"))
            state.SkipWithError("load failed");
    }
    state.SetItemsProcessed(state.iterations() * 2000);
}
BENCHMARK(BM_IniLoadAll)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_IniSaveAll(benchmark::State& state)
{
    CBenchFixture fixture;
    for (auto _ : state) {
        for (auto& s : fixture.objects)
            s->SetModified();
        if (!PersistantData::SaveAll())
            state.SkipWithError("save failed");
    }
    state.SetItemsProcessed(state.iterations() * 2000);
}
BENCHMARK(BM_IniSaveAll)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
