// Dispatch throughput over a real mixed instrument log, every sentence type subscribed.
#include "instruments/nmea/NMEASentence.h"
#include "support/TestPaths.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> LoadLines()
{
    std::vector<std::string> lines;
    std::string path = tessatest::TestDataFile("nmea/bundg_zeus_9.log");
    if (!path.empty()) {
        std::ifstream in(path, std::ios::binary);
        std::string l;
        while (std::getline(in, l)) {
            if (!l.empty() && l.back() == '\r')
                l.pop_back();
            if (!l.empty() && l[0] == '$')
                lines.push_back(l);
        }
    }
    if (lines.empty()) {
        // Without the reference logs: a small synthetic mix.
        const char* body[] = {"$SDHDG,181.6,,,1.1,E", "$WIMWV,120,R,5.0,N,A", "$GPGSV,3,1,11,08,75,303,44",
                              "$GPRMC,030131.0,A,2638.1728,N,08011.3893,W,0.00,219.6,010413,,"};
        for (int i = 0; i < 1000; ++i) {
            char buf[200];
            std::snprintf(buf, sizeof buf, "%s", body[i % 4]);
            AppendNMEAChecksum(buf, sizeof buf);
            lines.push_back(buf);
        }
    }
    return lines;
}

struct RawSink : Listener<CNMEA_Raw>
{
    void Notify(const CNMEA_Raw& r) override { bytes += r.text[0]; }
    size_t bytes = 0;
};

} // namespace

static void BM_DispatchMixedLog(benchmark::State& state)
{
    std::vector<std::string> lines = LoadLines();
    std::vector<std::unique_ptr<CNMEASentenceType::AnySubscription>> subs;
    for (CNMEASentenceType* t = CNMEASentenceType::First(); t; t = t->m_next)
        subs.push_back(t->SubscribeAny([](const CNMEASentence&) {}));
    RawSink raw;
    char work[256];
    size_t n = 0;
    for (auto _ : state) {
        for (const auto& l : lines) {
            std::memcpy(work, l.c_str(), l.size() + 1);
            benchmark::DoNotOptimize(DispatchNMEALine(work, nullptr));
        }
        n += lines.size();
    }
    state.SetItemsProcessed(int64_t(n));
    state.counters["lines"] = double(lines.size());
}
BENCHMARK(BM_DispatchMixedLog);
