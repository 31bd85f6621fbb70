#include "foundation/events/Clock.h"
#include "foundation/events/Heartbeat.h"
#include "foundation/events/Listener.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct Ping
{
    int value = 0;
};

// Records the order of calls into a shared log.
struct Recorder : Listener<Ping>
{
    Recorder(std::vector<std::string>& log, std::string name, int32_t priority)
        : Listener<Ping>(priority), log(log), name(std::move(name))
    {
    }
    void Notify(const Ping&) override
    {
        log.push_back(name);
        if (stop)
            Listener<Ping>::Source()->StopDelivery();
        if (onCall)
            onCall();
    }
    std::vector<std::string>& log;
    std::string name;
    bool stop = false;
    std::function<void()> onCall;
};

class FakeClock
{
public:
    FakeClock()
    {
        SetClockForTesting([this] {
            ++reads;
            return now;
        });
    }
    ~FakeClock() { SetClockForTesting({}); }
    double now = 1.7e9;
    int reads = 0;
};

} // namespace

TEST(ListenerTest, DeliversByPriorityThenAttachOrder)
{
    std::vector<std::string> log;
    Recorder a(log, "5a", 5), b(log, "10", 10), c(log, "5b", 5), d(log, "-3", -3);
    FireEvent(Ping{});
    EXPECT_EQ(log, (std::vector<std::string>{"10", "5a", "5b", "-3"}));
}

TEST(ListenerTest, StopFlagEndsOneDeliveryOnly)
{
    std::vector<std::string> log;
    Recorder a(log, "a", 10), b(log, "b", 5), c(log, "c", 5);
    b.stop = true;
    EXPECT_TRUE(FireEvent(Ping{}));
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b"}));
    b.stop = false;
    log.clear();
    EXPECT_FALSE(FireEvent(Ping{}));
    EXPECT_EQ(log.size(), 3u);
}

TEST(ListenerTest, NestedDeliveryKeepsOuterStopAndPosition)
{
    std::vector<std::string> log;
    Recorder a(log, "a", 10), b(log, "b", 5), c(log, "c", 1);
    bool nested = false, inner = false;
    a.onCall = [&] {
        if (!nested) {
            nested = inner = true;
            FireEvent(Ping{}); // the inner delivery runs to its end
            inner = false;
        }
    };
    b.onCall = [&] {
        if (!inner)
            Listener<Ping>::Source()->StopDelivery();
    };
    FireEvent(Ping{});
    // Outer: a, (inner: a b c), b stops the outer one.
    EXPECT_EQ(log, (std::vector<std::string>{"a", "a", "b", "c", "b"}));
}

TEST(ListenerTest, EventTimeIsFixedForOneDelivery)
{
    FakeClock clock;
    std::vector<double> seen;
    struct TimeReader : Listener<Ping>
    {
        explicit TimeReader(std::vector<double>& s, FakeClock& c) : seen(s), clock(c) {}
        void Notify(const Ping&) override
        {
            seen.push_back(GetEventTime<Ping>());
            clock.now += 5;
            seen.push_back(GetEventTime<Ping>());
        }
        std::vector<double>& seen;
        FakeClock& clock;
    } r1(seen, clock), r2(seen, clock);
    FireEvent(Ping{});
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0], 1.7e9);
    for (double t : seen)
        EXPECT_EQ(t, seen[0]);
    EXPECT_EQ(clock.reads, 1);
    seen.clear();
    FireEvent(Ping{});
    EXPECT_EQ(seen[0], 1.7e9 + 10);
}

TEST(ListenerTest, SourceLivesFromFirstToLastSubscriber)
{
    EXPECT_FALSE(HasListeners<Ping>());
    std::vector<std::string> log;
    {
        Recorder a(log, "a", 0);
        CListenerList* first = Listener<Ping>::Source();
        ASSERT_NE(first, nullptr);
        {
            Recorder b(log, "b", 0);
            EXPECT_EQ(Listener<Ping>::Source(), first);
        }
        EXPECT_EQ(Listener<Ping>::Source(), first);
    }
    EXPECT_FALSE(HasListeners<Ping>());
    Recorder c(log, "c", 0);
    ASSERT_TRUE(HasListeners<Ping>());
    EXPECT_TRUE(Listener<Ping>::Source()->IsEmpty() == false);
    EXPECT_FALSE(FireEvent(Ping{}));
    EXPECT_EQ(log, std::vector<std::string>{"c"});
}

TEST(ListenerTest, ListenersMayLeaveOrDeleteOthersDuringDelivery)
{
    std::vector<std::string> log;
    auto a = std::make_unique<Recorder>(log, "a", 30);
    auto b = std::make_unique<Recorder>(log, "b", 20);
    auto c = std::make_unique<Recorder>(log, "c", 10);
    auto d = std::make_unique<Recorder>(log, "d", 5);
    // b deletes itself and its successor c; the delivery goes on with d.
    b->onCall = [&] {
        c.reset();
        b.reset();
    };
    FireEvent(Ping{});
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "d"}));
}

TEST(ListenerTest, LastListenerDeletedInsideItsOwnDelivery)
{
    std::vector<std::string> log;
    auto only = std::make_unique<Recorder>(log, "only", 0);
    only->onCall = [&] {
        // The lambda lives inside the listener: take what it needs before the reset.
        auto& logRef = log;
        only.reset(); // the source goes away only when this delivery ends
        Recorder late(logRef, "late", 0);
        EXPECT_TRUE(HasListeners<Ping>());
    };
    FireEvent(Ping{});
    EXPECT_EQ(log, std::vector<std::string>{"only"});
    EXPECT_FALSE(HasListeners<Ping>());
}

TEST(ListenerTest, ListenerAttachedDuringDeliveryAfterCursorIsVisited)
{
    std::vector<std::string> log;
    Recorder a(log, "a", 10);
    std::unique_ptr<Recorder> late;
    a.onCall = [&] {
        if (!late)
            late = std::make_unique<Recorder>(log, "late", 1);
    };
    FireEvent(Ping{});
    EXPECT_EQ(log, (std::vector<std::string>{"a", "late"}));
}

TEST(ListenerTest, CopiedListenerGetsItsOwnNode)
{
    std::vector<std::string> log;
    Recorder a(log, "a", 7);
    {
        Recorder copy(a);
        FireEvent(Ping{});
        EXPECT_EQ(log.size(), 2u);
    }
    log.clear();
    FireEvent(Ping{});
    EXPECT_EQ(log, std::vector<std::string>{"a"});
}

namespace {

struct CountingCounter : CHeartbeat::Counter
{
    explicit CountingCounter(int32_t period) : Counter(period) {}
    void OnTick() override
    {
        ticks.push_back(tickNo);
        if (onTick)
            onTick();
    }
    std::vector<int> ticks;
    int tickNo = 0;
    std::function<void()> onTick;
};

} // namespace

TEST(HeartbeatTest, CounterPeriodsAndStartPhase)
{
    for (int trial = 0; trial < 50; ++trial) {
        CountingCounter c20(20), c1(1);
        for (int t = 1; t <= 100; ++t) {
            c20.tickNo = c1.tickNo = t;
            CHeartbeat::Tick();
        }
        ASSERT_GE(c20.ticks.size(), 5u);
        EXPECT_GE(c20.ticks[0], 1);
        EXPECT_LE(c20.ticks[0], 20);
        for (size_t i = 1; i < c20.ticks.size(); ++i)
            EXPECT_EQ(c20.ticks[i] - c20.ticks[i - 1], 20);
        EXPECT_EQ(c1.ticks.size(), 100u);
    }
}

// A counter that leaves the heartbeat and joins it again keeps its period.
struct RejoiningCounter : CountingCounter
{
    using CountingCounter::CountingCounter;
    void Leave() { DetachFromSource(); }
    void Rejoin() { AttachToSource(); }
};

TEST(HeartbeatTest, CounterAttachedAgainKeepsCounting)
{
    RejoiningCounter c(2);
    c.Leave();
    CHeartbeat::Tick();
    c.Rejoin();
    c.SetCount(2);
    for (int t = 1; t <= 6; ++t) {
        c.tickNo = t;
        CHeartbeat::Tick();
    }
    EXPECT_EQ(c.ticks, (std::vector<int>{2, 4, 6}));
}

TEST(HeartbeatTest, PeriodBelowOneCountsAsOne)
{
    CountingCounter zero(0), negative(-4);
    EXPECT_EQ(zero.GetPeriod(), 1);
    for (int t = 0; t < 3; ++t)
        CHeartbeat::Tick();
    EXPECT_EQ(zero.ticks.size(), 3u);
    EXPECT_EQ(negative.ticks.size(), 3u);
}

TEST(HeartbeatTest, SelfDeletingCounterDoesNotStopTheTick)
{
    auto first = std::make_unique<CountingCounter>(1);
    auto second = std::make_unique<CountingCounter>(1);
    auto third = std::make_unique<CountingCounter>(1);
    first->onTick = [&] { first.reset(); };
    second->onTick = [&] {
        third.reset();
        second.reset();
    };
    CountingCounter last(1);
    CHeartbeat::Tick();
    EXPECT_EQ(last.ticks.size(), 1u);
    EXPECT_FALSE(first);
    EXPECT_FALSE(third);
}

TEST(HeartbeatTest, LastCounterDeletingItselfReleasesTheHeartbeat)
{
    // Programs that link the own ship have a counter of its own running.
    const bool othersRunning = gHeartbeat != nullptr;
    auto only = std::make_unique<CountingCounter>(1);
    only->onTick = [&] { only.reset(); };
    CHeartbeat::Tick();
    if (!othersRunning) {
        EXPECT_EQ(gHeartbeat, nullptr);
    }
    CHeartbeat::Tick(); // nothing to do, nothing to crash
}

TEST(HeartbeatTest, TimeIsReadOncePerTick)
{
    FakeClock clock;
    std::vector<double> times;
    CountingCounter a(1), b(1);
    a.onTick = [&] {
        times.push_back(CHeartbeat::GetTime());
        clock.now += 1;
    };
    b.onTick = [&] { times.push_back(CHeartbeat::GetTime()); };
    CHeartbeat::Tick();
    ASSERT_EQ(times.size(), 2u);
    EXPECT_EQ(times[0], times[1]);
    CHeartbeat::Tick();
    EXPECT_EQ(times[2], 1.7e9 + 1);
}

TEST(HeartbeatTest, AlignToClockRunsOnTheNextWholeSecond)
{
    FakeClock clock;
    CountingCounter c(20);
    struct Case
    {
        double t;
        int expected;
    } cases[] = {{1000.0, 20}, {1000.25, 15}, {1000.96, 1}, {1000.999, 1}, {1000.5, 10}};
    for (const auto& k : cases) {
        clock.now = k.t;
        CHeartbeat::Tick(); // a fresh tick, so GetTime reads the clock anew
        c.AlignToClock(1);
        EXPECT_EQ(c.GetCount(), k.expected) << "at " << k.t;
    }
    int before = c.GetCount();
    c.AlignToClock(0);
    EXPECT_EQ(c.GetCount(), before);
    // The run then lands on the whole second.
    clock.now = 2000.25;
    CHeartbeat::Tick();
    c.AlignToClock(1);
    c.ticks.clear();
    int ran = -1;
    for (int i = 1; i <= 20 && ran < 0; ++i) {
        c.tickNo = i;
        CHeartbeat::Tick();
        if (!c.ticks.empty())
            ran = i;
    }
    EXPECT_EQ(ran, 15); // 15 ticks of 0.05 s from 2000.25 is 2001.0
}
