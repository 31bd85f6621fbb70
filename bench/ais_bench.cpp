// AIS input throughput: single-fragment position reports through the line
// dispatcher and the decoder, with the heap allocations counted.
#include "ais/AISSentence.h"
#include "support/CountingAllocator.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using tessatest::gHeapAllocations;

namespace {

struct Sink : Listener<CNEMA_AIS::VDM>
{
    void Notify(const CNEMA_AIS::VDM& s) override { sum += s.m_latitude + s.m_sog; }
    double sum = 0;
};

// Real class A position reports of different ships.
std::vector<std::string> Sentences()
{
    const char* payloads[] = {"15RTgt0PAso;90TKcjM8h6g208CQ", "16SteH0P00Jt63hHaa6SagvJ087r",
                              "15N1u<PP1FJuvSRHOE6QIwwh0HQ6", "13aIkM@P00PJ@qPNL=e@0?wJ28JO",
                              "15M67FC000G?ufbE`FepT@3n00Sa", "133m@ogP00PD;88MD5MTDww@2D7k"};
    std::vector<std::string> out;
    for (const char* p : payloads) {
        char buf[120];
        std::snprintf(buf, sizeof buf, "!AIVDM,1,1,,A,%s,0", p);
        AppendNMEAChecksum(buf, sizeof buf);
        out.push_back(buf);
    }
    return out;
}

} // namespace

static void BM_SingleFragmentPositionReports(benchmark::State& state)
{
    RegisterAISSentenceTypes();
    const std::vector<std::string> lines = Sentences();
    Sink sink;
    char work[128];
    for (const auto& l : lines) { // the pool gets its object
        std::memcpy(work, l.c_str(), l.size() + 1);
        DispatchNMEALine(work, nullptr);
    }
    const long allocationsBefore = gHeapAllocations.load();
    size_t n = 0;
    for (auto _ : state) {
        for (const auto& l : lines) {
            std::memcpy(work, l.c_str(), l.size() + 1);
            benchmark::DoNotOptimize(DispatchNMEALine(work, nullptr));
        }
        n += lines.size();
    }
    state.SetItemsProcessed(int64_t(n));
    state.counters["allocations_per_sentence"] =
        double(gHeapAllocations.load() - allocationsBefore) / double(n);
    state.counters["sentences_per_second"] = benchmark::Counter(double(n), benchmark::Counter::kIsRate);
    benchmark::DoNotOptimize(sink.sum);
}
BENCHMARK(BM_SingleFragmentPositionReports);
