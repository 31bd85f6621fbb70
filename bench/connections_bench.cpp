// One heartbeat tick of the TCP/IP connection reading 100 mixed sentences
// that a loopback peer sent: time per tick and heap allocations per line.
#include "foundation/platform/PlatformServices.h"
#include "instruments/connections/NetworkConnections.h"
#include "instruments/nmea/NMEASentence.h"
#include "support/ConnectionDoubles.h"
#include "support/CountingAllocator.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <vector>

using tessatest::gHeapAllocations;

namespace {

std::string Sentence(const char* body)
{
    return tessatest::WithChecksum(body) + "\r\n";
}

// 100 lines of what a boat's multiplexer sends, under one read buffer.
std::string MixedBlock()
{
    const std::string kinds[] = {
        Sentence("GPRMC,120000,A,5000.000,N,00100.000,E,5.0,90.0,010124,,,A"),
        Sentence("HCHDG,101.2,,,1.5,E"),
        Sentence("WIMWV,045.0,R,12.5,N,A"),
        Sentence("SDDPT,12.3,0.5"),
        Sentence("VWVHW,,,100.0,M,6.1,N,11.3,K"),
    };
    std::string block;
    for (int i = 0; i < 100; ++i)
        block += kinds[i % 5];
    return block;
}

struct Lines : Listener<CNMEA_Raw>
{
    void Notify(const CNMEA_Raw&) override { ++count; }
    long count = 0;
};

} // namespace

static void BM_TickOf100MixedLinesOverTCP(benchmark::State& state)
{
    SetWiFiSSIDForTesting("Bench");
    tessatest::LoopbackTcpPeer peer;
    auto& s = CTCPIPConnection::Settings();
    s.ip_address = "127.0.0.1";
    s.port = peer.PortText();
    s.network = "Bench";
    CTCPIPConnection c;
    if (!c.Open() || c.Descriptor() < 0 || !peer.Accept()) {
        state.SkipWithError("no loopback connection");
        return;
    }
    c.StopRawRecords();
    std::vector<std::unique_ptr<CNMEASentenceType::AnySubscription>> subs;
    for (CNMEASentenceType* t = CNMEASentenceType::First(); t; t = t->m_next)
        subs.push_back(t->SubscribeAny([](const CNMEASentence&) {}));
    Lines lines;
    const std::string block = MixedBlock();
    // Warm-up: sentence pools.
    peer.Send(block);
    pollfd p = {c.Descriptor(), POLLIN, 0};
    ::poll(&p, 1, 1000);
    c.OnTick();
    const long allocationsBefore = gHeapAllocations.load();
    const long linesBefore = lines.count;
    for (auto _ : state) {
        state.PauseTiming();
        peer.Send(block);
        // Whole block waiting, as after a 50 ms tick.
        int waiting = 0;
        for (int i = 0; i < 1000 && waiting < static_cast<int>(block.size()); ++i) {
            ::poll(&p, 1, 10);
            ::ioctl(c.Descriptor(), FIONREAD, &waiting);
        }
        state.ResumeTiming();
        c.OnTick();
    }
    const long dispatched = lines.count - linesBefore;
    state.counters["lines_per_tick"] = double(dispatched) / double(state.iterations());
    state.counters["allocations_per_line"] =
        dispatched ? double(gHeapAllocations.load() - allocationsBefore) / double(dispatched) : 0.0;
    SetWiFiSSIDForTesting("");
}
BENCHMARK(BM_TickOf100MixedLinesOverTCP)->Unit(benchmark::kMicrosecond);
