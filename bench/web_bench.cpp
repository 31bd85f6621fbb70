// Sequential 64 KiB ranged reads from the loopback server, as the chunk
// fetchers issue them: one client, one kept-open connection. The target is
// 1,000 reads in under 2 s; "connections" must stay 1.
#include <benchmark/benchmark.h>

#include <vector>

#include "foundation/web/WebServer.h"
#include "support/loopback/LoopbackServer.h"

static void BM_SequentialRangedReads64K(benchmark::State& state)
{
    tessatest::LoopbackServer server;
    if (server.Port() == 0) {
        state.SkipWithError(server.Error().c_str());
        return;
    }
    constexpr int kReads = 1000;
    constexpr int kSize = 64 * 1024;
    server.AddFile("/mapchunks/bench.rl3", std::string(size_t(kReads) * kSize, 'b'));
    CWebServer web(tessatest::LoopbackServer::Host(), false, server.Port());
    std::vector<char> buffer(kSize);
    for (auto _ : state) {
        for (int i = 0; i < kReads; ++i) {
            if (web.ReadRange("/mapchunks/bench.rl3", int64_t(i) * kSize, kSize, buffer.data()) != kSize) {
                state.SkipWithError(web.GetErrorText().c_str());
                return;
            }
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetItemsProcessed(state.iterations() * kReads);
    state.SetBytesProcessed(state.iterations() * kReads * int64_t(kSize));
    state.counters["connections"] = server.ConnectionCount();
}
BENCHMARK(BM_SequentialRangedReads64K)->Unit(benchmark::kMillisecond);
