// AIS targets at sea-lane density: position reports of 2,000 live stations
// through the dispatcher, decoder, target update and closest-approach check
// (with heap allocations counted), the ageing tick, drawing them all, and the
// row texts of the "AIS Vessels" list (the target is 20 ms or less).
#include "ais/AISListDelegate.h"
#include "ais/AISSentence.h"
#include "ais/AISTargetManager.h"
#include "foundation/events/Clock.h"
#include "support/CountingAllocator.h"

#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

using tessatest::gHeapAllocations;

namespace {

constexpr int kTargets = 2000;
constexpr double kOwnLat = 50.5, kOwnLon = -1.25;

class BitWriter
{
public:
    void Put(uint64_t value, int n)
    {
        for (int i = n - 1; i >= 0; --i)
            m_bits.push_back(char('0' + ((value >> i) & 1)));
    }
    std::string Armoured() const
    {
        std::string bits = m_bits, out;
        while (bits.size() % 6)
            bits += '0';
        for (size_t i = 0; i < bits.size(); i += 6) {
            int v = std::stoi(bits.substr(i, 6), nullptr, 2);
            out += char(v < 40 ? v + 48 : v + 56);
        }
        return out;
    }

private:
    std::string m_bits;
};

// A type 1 report of station i somewhere within 30 km, heading away.
std::string PositionReport(uint32_t mmsi, double lat, double lon, int cogTenths)
{
    BitWriter w;
    w.Put(1, 6);
    w.Put(0, 2);
    w.Put(mmsi, 30);
    w.Put(0, 4);
    w.Put(128, 8);
    w.Put(85, 10);
    w.Put(0, 1);
    w.Put(uint64_t(int64_t(std::lround(lon * 600000))) & ((1u << 28) - 1), 28);
    w.Put(uint64_t(int64_t(std::lround(lat * 600000))) & ((1u << 27) - 1), 27);
    w.Put(uint64_t(cogTenths), 12);
    w.Put(uint64_t(cogTenths / 10), 9);
    w.Put(20, 6);
    w.Put(0, 25);
    w.Put(0, 19);
    char buf[128];
    std::snprintf(buf, sizeof buf, "!AIVDM,1,1,,A,%s,0", w.Armoured().c_str());
    AppendNMEAChecksum(buf, sizeof buf);
    return buf;
}

std::vector<std::string> Reports()
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> offset(-0.25, 0.25);
    std::vector<std::string> lines;
    for (int i = 0; i < kTargets; ++i) {
        const double lat = kOwnLat + offset(rng), lon = kOwnLon + offset(rng) * 1.5;
        // Heading away from the own ship: never closing, so no alarms.
        const double away = std::atan2((lon - kOwnLon) * std::cos(kOwnLat * M_PI / 180), lat - kOwnLat);
        int cog = int(std::lround(std::fmod(away * 180 / M_PI + 360, 360) * 10)) % 3600;
        lines.push_back(PositionReport(uint32_t(211000000 + i), lat, lon, cog));
    }
    return lines;
}

void Setup(CAISTargetManager& manager)
{
    RegisterAISSentenceTypes();
    SetClockForTesting([] { return 1.7e9; });
    CAISTargetManager::GetSettings().enableSettings = true; // no settings file written
    CDataGPSPosition fix;
    fix.SetPosition(kOwnLat, kOwnLon);
    fix.m_fixStatus = CDataGPSPosition::kGPSFix;
    fix.SetCourseSpeed(10, 5);
    fix.m_mode = CDataSpeedDirection::kModeCourseOverGround;
    manager.HandleOwnFix(fix);
}

// The table filled with every target of Reports().
void DispatchReports()
{
    char work[128];
    for (const auto& l : Reports()) {
        std::memcpy(work, l.c_str(), l.size() + 1);
        DispatchNMEALine(work, nullptr);
    }
}

} // namespace

static void BM_PositionReportsOf2000Targets(benchmark::State& state)
{
    CAISTargetManager& manager = CAISTargetManager::Global();
    Setup(manager);
    const std::vector<std::string> lines = Reports();
    char work[128];
    for (const auto& l : lines) { // every target made once
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
    state.counters["targets"] = double(manager.Count());
    state.counters["allocations_per_message"] =
        double(gHeapAllocations.load() - allocationsBefore) / double(n);
    state.counters["messages_per_second"] = benchmark::Counter(double(n), benchmark::Counter::kIsRate);
    manager.Clear();
}
BENCHMARK(BM_PositionReportsOf2000Targets);

static void BM_AgeingTickOver2000Targets(benchmark::State& state)
{
    CAISTargetManager& manager = CAISTargetManager::Global();
    Setup(manager);
    DispatchReports();
    for (auto _ : state)
        manager.Age(1.7e9 + 120); // all still heard: the common tick
    state.counters["targets"] = double(manager.Count());
    manager.Clear();
}
BENCHMARK(BM_AgeingTickOver2000Targets)->Unit(benchmark::kMicrosecond);

static void BM_RowTextsOf2000Targets(benchmark::State& state)
{
    CAISTargetManager& manager = CAISTargetManager::Global();
    Setup(manager);
    DispatchReports();
    CAISListDelegate list;
    std::vector<COverlayListRowKey> rows;
    COverlayListRow row;
    for (auto _ : state) {
        list.FillList(rows);
        for (const COverlayListRowKey& key : rows) {
            list.RowText(key, row);
            benchmark::DoNotOptimize(row.detail.data());
        }
    }
    state.counters["rows"] = double(rows.size());
    manager.Clear();
}
BENCHMARK(BM_RowTextsOf2000Targets)->Unit(benchmark::kMillisecond);

static void BM_Draw2000TargetsFullHD(benchmark::State& state)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> x(0, 1920), y(0, 1080), d(-40, 40);
    std::vector<std::unique_ptr<CAISTarget>> targets;
    std::vector<ScreenPoints> records(kTargets);
    for (int i = 0; i < kTargets; ++i) {
        targets.push_back(std::make_unique<CAISTarget>(uint32_t(211000000 + i)));
        CAISTarget& t = *targets.back();
        t.m_classText = i % 3 ? "Class A" : "Class B";
        t.m_colour = CAISTarget::NavigationStatusColour(uint32_t(i % 9));
        if (i % 2)
            t.SetHeading(float(i % 360), 0);
        const double px = x(rng), py = y(rng);
        records[size_t(i)].screenPoints = {CPolyPoint{px, py}, CPolyPoint{px + d(rng), py + d(rng)}};
        records[size_t(i)].northX = 1;
    }
    QImage image(1920, 1080, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter painter(&image);
        for (int i = 0; i < kTargets; ++i)
            targets[size_t(i)]->Draw(painter, CViewTransform{}, records[size_t(i)]);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_Draw2000TargetsFullHD)->Unit(benchmark::kMillisecond);
