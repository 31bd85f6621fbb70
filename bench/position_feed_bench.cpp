// A day of 1 Hz receiver and instrument data replayed through the dispatcher
// and the position feed to the own ship; heap allocations per line reported.
#include "instruments/nmea/NMEAFields.h"
#include "instruments/nmea/NMEASentence.h"
#include "mapview/ownship/FeedRMC_to_GPSPosition.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "support/CountingAllocator.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using tessatest::gHeapAllocations;

namespace {

std::string Line(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Line(const char* format, ...)
{
    char buf[200];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    AppendNMEAChecksum(buf, sizeof buf);
    return buf;
}

// One line per sentence per second: a boat sailing a slow circle.
std::vector<std::string> MakeDay(int seconds)
{
    std::vector<std::string> lines;
    lines.reserve(size_t(seconds) * 10);
    for (int s = 0; s < seconds; ++s) {
        double a = s * 0.001;
        double lat = 50 + 0.05 * std::sin(a), lon = -1 + 0.08 * std::cos(a);
        int hh = (s / 3600) % 24, mm = (s / 60) % 60, ss = s % 60;
        double latMin = (lat - 50) * 60, lonMin = (1 - std::fabs(lon)) * 60;
        int course = int(std::fmod(360 + a * 57.3 + 90, 360));
        lines.push_back(Line("$GPRMC,%02d%02d%02d,A,50%07.4f,N,000%07.4f,W,6.2,%03d.0,010125,,,A", hh, mm, ss,
                             latMin, 60 - lonMin, course));
        lines.push_back(Line("$GPGGA,%02d%02d%02d,50%07.4f,N,000%07.4f,W,1,09,0.9,12.0,M,47.0,M,,", hh, mm,
                             ss, latMin, 60 - lonMin));
        lines.push_back(Line("$GPGSA,A,3,03,19,27,13,07,11,,,,,,,1.5,0.9,1.2"));
        lines.push_back(Line("$GPGSV,2,1,08,03,75,303,44,07,66,172,51,11,51,055,36,13,39,325,36"));
        lines.push_back(Line("$GPGSV,2,2,08,19,31,254,51,27,13,295,51,30,12,322,36,32,12,046,51"));
        lines.push_back(Line("$GPVTG,%03d.0,T,,M,6.2,N,11.5,K,A", course));
        lines.push_back(Line("$IIHDG,%05.1f,,,1.3,E", std::fmod(course + 3.0, 360.0)));
        lines.push_back(Line("$IIMWV,045.0,R,12.5,N,A"));
        lines.push_back(Line("$SDDPT,%.1f,0.4,", 8 + std::sin(a * 3)));
    }
    return lines;
}

} // namespace

static void BM_DayOfDataToTheOwnShip(benchmark::State& state)
{
    static const std::vector<std::string> day = MakeDay(86400);
    COverlayGPSPosition ship;
    CFeedRMC_to_GPSPosition feed(ship);
    std::vector<std::unique_ptr<CNMEASentenceType::AnySubscription>> subs;
    for (CNMEASentenceType* t = CNMEASentenceType::First(); t; t = t->m_next)
        subs.push_back(t->SubscribeAny([](const CNMEASentence&) {}));
    char work[256];
    // Warm-up: pools, averaging buffers.
    for (size_t i = 0; i < 2000; ++i) {
        std::memcpy(work, day[i].c_str(), day[i].size() + 1);
        DispatchNMEALine(work, nullptr);
    }
    long allocationsBefore = gHeapAllocations.load();
    size_t lines = 0;
    for (auto _ : state) {
        for (const auto& l : day) {
            std::memcpy(work, l.c_str(), l.size() + 1);
            benchmark::DoNotOptimize(DispatchNMEALine(work, nullptr));
        }
        lines += day.size();
    }
    state.SetItemsProcessed(int64_t(lines));
    state.counters["allocations_per_line"] =
        double(gHeapAllocations.load() - allocationsBefore) / double(lines);
    state.counters["lines_per_day"] = double(day.size());
}
BENCHMARK(BM_DayOfDataToTheOwnShip)->Unit(benchmark::kMillisecond);
