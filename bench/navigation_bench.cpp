// Navigation on each fix with 10,000 free marks (500 with alarm radii) and
// a followed route of 2,000 legs: the per-fix work once the leg cache is
// built, and the cache build; saving and loading the store of 10,000 marks
// and 100 routes of 1,000 points.
#include "foundation/notify/UserNotifier.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <random>
#include <unistd.h>

namespace {

// Alarms must not reach the desktop while measuring.
struct SilentNotifier : IUserNotifier
{
    void Deliver(const CUserNotification&) override {}
    void RemoveDelivered(const std::string&) override {}
};

const CLocalPlane kOrigin(50.0, -4.0);

void AddMarks(int count, int withRadii, std::mt19937& random)
{
    std::uniform_real_distribution<double> metres(-50000, 50000);
    for (int i = 0; i < count; ++i) {
        auto mark = std::make_unique<COverlayMark>();
        double lat = 0, lon = 0;
        kOrigin.FromXY(metres(random), metres(random), lat, lon);
        mark->SetPosition(lat, lon);
        mark->SetName(std::string("M").append(std::to_string(i)));
        if (i < withRadii)
            mark->SetRadii(i % 2 ? 30.0f : 0.0f, 100.0f);
        CMarkManager::Get().AddMark(std::move(mark));
    }
}

COverlayRoute* AddRoute(int points, double stepMetres, double offsetX)
{
    auto route = std::make_unique<COverlayRoute>();
    route->SetName("R");
    for (int i = 0; i < points; ++i) {
        CMarkManager::RoutePointScope scope;
        auto p = std::make_unique<COverlayMark>();
        double lat = 0, lon = 0;
        // A zig-zag, so that legs turn.
        kOrigin.FromXY(offsetX + (i % 2) * 200.0, i * stepMetres, lat, lon);
        p->SetPosition(lat, lon);
        p->SetName(std::string("P").append(std::to_string(i + 1)));
        route->AddPoint(std::move(p));
    }
    return CMarkManager::Get().AddRoute(std::move(route));
}

CDataGPSPosition FixAt(double x, double y)
{
    CDataGPSPosition fix;
    double lat = 0, lon = 0;
    kOrigin.FromXY(x, y, lat, lon);
    fix.SetPosition(lat, lon);
    fix.m_fixStatus = CDataGPSPosition::kGPSFix;
    fix.SetCourseSpeed(0, 6);
    return fix;
}

class Navigation : public benchmark::Fixture
{
public:
    void SetUp(benchmark::State&) override
    {
        m_before = SetUserNotifier(&m_silent);
        CMarkManager& manager = CMarkManager::Get();
        manager.ClearForTesting();
        std::mt19937 random(5);
        AddMarks(10000, 500, random);
        m_route = AddRoute(2001, 500, 0);
        manager.FollowRoute(m_route);
    }
    void TearDown(benchmark::State&) override
    {
        CMarkManager::Get().ClearForTesting();
        SetUserNotifier(m_before);
    }

protected:
    SilentNotifier m_silent;
    IUserNotifier* m_before = nullptr;
    COverlayRoute* m_route = nullptr;
};

BENCHMARK_DEFINE_F(Navigation, FixWithBuiltLegCache)(benchmark::State& state)
{
    CMarkManager& manager = CMarkManager::Get();
    manager.OnGPSPosition(FixAt(50, 250000)); // builds the cache
    double y = 250000;
    for (auto _ : state) {
        y += 1;
        manager.OnGPSPosition(FixAt(50, y));
    }
    if (!manager.GetGoto().target)
        state.SkipWithError("no target chosen");
}
BENCHMARK_REGISTER_F(Navigation, FixWithBuiltLegCache)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

BENCHMARK_DEFINE_F(Navigation, LegCacheBuildAndFix)(benchmark::State& state)
{
    CMarkManager& manager = CMarkManager::Get();
    for (auto _ : state) {
        m_route->LegCache().clear();
        manager.OnGPSPosition(FixAt(50, 250000));
    }
}
BENCHMARK_REGISTER_F(Navigation, LegCacheBuildAndFix)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

class Store : public benchmark::Fixture
{
public:
    void SetUp(benchmark::State&) override
    {
        CMarkManager& manager = CMarkManager::Get();
        manager.ClearForTesting();
        std::mt19937 random(9);
        AddMarks(10000, 0, random);
        for (int r = 0; r < 100; ++r)
            AddRoute(1000, 100, r * 1000.0);
        char pattern[] = "/tmp/navbenchXXXXXX";
        m_folder = mkdtemp(pattern) ? pattern : "/tmp";
        m_path = m_folder + "/marks_routes.bin";
    }
    void TearDown(benchmark::State&) override
    {
        CMarkManager::Get().ClearForTesting();
        ::unlink(m_path.c_str());
        ::rmdir(m_folder.c_str());
    }

protected:
    std::string m_folder;
    std::string m_path;
};

BENCHMARK_DEFINE_F(Store, Save10000MarksAnd100Routes)(benchmark::State& state)
{
    for (auto _ : state)
        if (!CMarkManager::Get().SaveStore(m_path))
            state.SkipWithError("save failed");
}
BENCHMARK_REGISTER_F(Store, Save10000MarksAnd100Routes)->Unit(benchmark::kMillisecond);

BENCHMARK_DEFINE_F(Store, Load10000MarksAnd100Routes)(benchmark::State& state)
{
    if (!CMarkManager::Get().SaveStore(m_path)) {
        state.SkipWithError("save failed");
        return;
    }
    for (auto _ : state)
        if (!CMarkManager::Get().LoadStore(m_path))
            state.SkipWithError("load failed");
}
BENCHMARK_REGISTER_F(Store, Load10000MarksAnd100Routes)->Unit(benchmark::kMillisecond);

} // namespace
