// The race-start cells: the countdown on the heartbeat, the line and timer
// buttons, the values against the course axis and the start-line bias, and
// the menu entries that open the race dialogs.
#include "foundation/menus/MenuTree.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "panelfakes/RecordingWindows.h"
#include "panels/items/RaceItems.h"
#include "support/FixedClock.h"
#include "support/InstalledPort.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

using tessatest::FakeHost;
using tessatest::RecordingWindowFactory;

template <class T> struct Count : Listener<T>
{
    void Notify(const T&) override { ++n; }
    int n = 0;
};

struct RecordingRaceDialogs : IRaceDialogs
{
    void show_timer_settings(QWidget* parent) override { calls.push_back({"timer", parent}); }
    void show_axis_settings(QWidget* parent) override { calls.push_back({"axis", parent}); }
    std::vector<std::pair<std::string, QWidget*>> calls;
};

std::string Duration(double s)
{
    std::string text;
    CUnits::FormatDuration(s, text);
    return text;
}

std::string Distance(double metres)
{
    std::string text;
    CDefaultUnits::Get().FormatDistance(float(metres), text);
    return text;
}

class RaceItems : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_timer = CDataStartTimer::Global();
        m_line = CDataStartLine::Global();
        m_units = CDefaultUnits::Get();
        CDefaultUnits::Get().m_bearings = CUnits::kBearingsTrue;
        COverlayGPSPosition& own = COverlayGPSPosition::Global();
        m_ownStatus = own.m_fixStatus;
        own.m_fixStatus = CDataGPSPosition::kNoFix;
    }
    void TearDown() override
    {
        CDataStartTimer::Global() = m_timer;
        CDataStartLine::Global() = m_line;
        static_cast<CUnits&>(CDefaultUnits::Get()) = m_units;
        COverlayGPSPosition::Global().m_fixStatus = m_ownStatus;
        CDataStartTimer::Settings().SetModified(false);
        CDataStartLine::Settings().SetModified(false);
    }
    template <class Item> std::unique_ptr<CDisplayView::CItem> Make()
    {
        m_settings.push_back(std::make_unique<typename Item::CSettings>());
        return m_settings.back()->CreateItem(&m_host);
    }
    // Puts the line's left end `north` metres north of a right end at 50N 1W.
    static void SetLine(double north)
    {
        CDataStartLine& line = CDataStartLine::Global();
        line.m_rightLat = 50;
        line.m_rightLon = -1;
        CLocalPlane(50, -1).FromXY(0, north, line.m_leftLat, line.m_leftLon);
    }

    tessatest::CFixedClock m_clock{1700000000.32};
    RecordingWindowFactory m_factory;
    FakeHost m_host{400, 300};
    std::vector<std::unique_ptr<CDisplayView::CItemSettings>> m_settings;
    CDataStartTimer m_timer;
    CDataStartLine m_line;
    CUnits m_units;
    uint8_t m_ownStatus = 0;
};

TEST_F(RaceItems, TextsFromThePlainFunctions)
{
    struct TimerCase
    {
        double start, now;
        int state;
        std::string text;
    };
    const double inf = INFINITY;
    const TimerCase timers[] = {
        {0, 1000, NRaceText::kNoStart, "---"},
        {1090, 1000, NRaceText::kBeforeStart, Duration(90)},
        {1000, 1005, NRaceText::kAfterStart, "+" + Duration(5)},
        {NAN, 1000, NRaceText::kNoStart, "---"},
        {inf, 1000, NRaceText::kNoStart, "---"},
        {1e300, 1000, NRaceText::kNoStart, "---"},
        {1000 + 11 * 366 * 86400.0, 1000, NRaceText::kNoStart, "---"},
    };
    for (const TimerCase& k : timers) {
        std::string text;
        EXPECT_EQ(NRaceText::StartTimer(k.start, k.now, text), k.state) << k.start;
        EXPECT_EQ(text, k.text) << k.start;
    }

    struct AxisCase
    {
        double value, axis;
        const char* text;
    };
    const AxisCase axes[] = {
        {345, 355, "-010"}, {5, 355, "+010"},  {355, 5, "-010"},   {95, 90, "+005"}, {90, 90, "+000"},
        {270, 90, "+180"},  {999, 90, "---"},  {NAN, 90, "---"},   {90, NAN, "---"}, {1e30, 0, "---"},
        {-725, 0, "-005"},  {90.5, 0, "+090"}, {90.49, 0, "+090"},
    };
    for (const AxisCase& k : axes)
        EXPECT_EQ(NRaceText::AxisDifference(k.value, k.axis), k.text) << k.value << " against " << k.axis;

    struct BurnCase
    {
        bool valid;
        double burn;
        bool shown;
        const char* label;
        const char* text;
    };
    const BurnCase burns[] = {
        {true, 12.4, true, "Late (s)", "+12"}, {true, 0, true, "Late (s)", "+0"},
        {true, -7.6, true, "Early (s)", "-8"}, {false, 5, false, "", ""},
        {true, NAN, true, "", "---"},
    };
    for (const BurnCase& k : burns) {
        CDataDistanceToStart d;
        d.m_burnValid = k.valid;
        d.m_timeToBurn = k.burn;
        std::string label, text;
        EXPECT_EQ(NRaceText::EarlyLate(d, label, text), k.shown);
        EXPECT_EQ(label, k.label);
        EXPECT_EQ(text, k.text);
    }

    // The wind's vector decides the side; a negative angle shows as 0.
    NRaceText::CLineGeometry line;
    line.endsValid = line.usable = true;
    line.y = line.length = 20;
    line.squareCourse = 90;
    const CUnits& units = CDefaultUnits::Get();
    EXPECT_EQ(NRaceText::LineBiasFromWind(line, 0, 0, 1, units), "<" + Distance(20) + "<90\xC2\xB0");
    EXPECT_EQ(NRaceText::LineBiasFromWind(line, 180, 0, -1, units), ">" + Distance(20) + ">90\xC2\xB0");
    EXPECT_EQ(NRaceText::LineBiasFromWind(line, 60, 0, -1, units), ">" + Distance(20) + ">0\xC2\xB0");
    EXPECT_EQ(NRaceText::LineBiasFromWind(NRaceText::CLineGeometry{}, 0, 0, 1, units), "---");
}

TEST_F(RaceItems, TimerCountsDownOnWholeSecondsAndTurnsToTimeSinceStart)
{
    CDataStartTimer::Global().m_timeOfStart = 0;
    auto item = Make<DisplayStartTimer>();
    auto rec = m_factory.RecordOf(item.get());
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(rec->title, "Time till start");
    EXPECT_EQ(rec->text, "---");

    // 99.68 s before the start, 0.32 s past a whole second of the clock.
    CDataStartTimer::Global().m_timeOfStart = 1700000100.0;
    FireEvent<CDataStartTimer>(CDataStartTimer::Global());
    EXPECT_EQ(rec->title, "Time to start");
    EXPECT_EQ(rec->text, Duration(1700000100.0 - 1700000000.32));

    // The first tick's run lands on the next whole second, then every 20 ticks.
    std::vector<int> updates;
    for (int tick = 1; tick <= 40; ++tick) {
        m_clock.Advance(0.05);
        const size_t calls = rec->calls.size();
        CHeartbeat::Tick();
        if (rec->calls.size() != calls)
            updates.push_back(tick);
    }
    EXPECT_EQ(updates, (std::vector<int>{14, 34}));
    EXPECT_EQ(rec->text, Duration(1700000100.0 - (1700000000.32 + 34 * 0.05)));

    // 5 s after the start.
    m_clock.Advance(1700000105.0 - m_clock.Now());
    const double after = m_clock.Now() - 1700000100.0;
    FireEvent<CDataStartTimer>(CDataStartTimer::Global());
    EXPECT_EQ(rec->title, "Time since start");
    EXPECT_EQ(rec->text, "+" + Duration(after));

    // Cleared: "---" once, then nothing more.
    CDataStartTimer::Global().m_timeOfStart = 0;
    FireEvent<CDataStartTimer>(CDataStartTimer::Global());
    EXPECT_EQ(rec->title, "Time till start");
    EXPECT_EQ(rec->text, "---");
    const size_t calls = rec->calls.size();
    FireEvent<CDataStartTimer>(CDataStartTimer::Global());
    EXPECT_EQ(rec->calls.size(), calls);
}

TEST_F(RaceItems, ButtonsStartTheCountdownAndPingTheEndsOnlyWithAFix)
{
    Count<CDataStartTimer> timers;
    Count<CDataStartLine> lines;
    auto start = Make<DisplayStartCountdown>();
    auto left = Make<DisplayStartPingLeft>();
    auto right = Make<DisplayStartPingRight>();
    EXPECT_EQ(m_factory.RecordOf(start.get())->buttonTitle, "Start");
    EXPECT_EQ(m_factory.RecordOf(left.get())->buttonTitle, "Ping Left");
    EXPECT_EQ(m_factory.RecordOf(right.get())->buttonTitle, "Ping Right");

    CDataStartTimer::Global().m_periodMinutes = 5;
    ASSERT_TRUE(m_factory.Click(start.get()));
    EXPECT_DOUBLE_EQ(CDataStartTimer::Global().m_timeOfStart, m_clock.Now() + 300);
    EXPECT_EQ(timers.n, 1);
    EXPECT_TRUE(CDataStartTimer::Settings().IsModified());

    // Without a fix a good end stays and nothing is sent.
    CDataStartLine::Global() = CDataStartLine{};
    CDataStartLine::Global().m_leftLat = 50.5;
    CDataStartLine::Global().m_leftLon = -1.5;
    COverlayGPSPosition& own = COverlayGPSPosition::Global();
    own.SetPosition(50.1, -1.1);
    own.m_fixStatus = CDataGPSPosition::kNoFix;
    ASSERT_TRUE(m_factory.Click(left.get()));
    EXPECT_EQ(CDataStartLine::Global().m_leftLat, 50.5);
    EXPECT_EQ(lines.n, 0);
    EXPECT_FALSE(CDataStartLine::Settings().IsModified());

    own.m_fixStatus = CDataGPSPosition::kGPSFix;
    ASSERT_TRUE(m_factory.Click(left.get()));
    EXPECT_EQ(CDataStartLine::Global().m_leftLat, 50.1);
    EXPECT_EQ(CDataStartLine::Global().m_leftLon, -1.1);
    own.SetPosition(50.2, -1.2);
    ASSERT_TRUE(m_factory.Click(right.get()));
    EXPECT_EQ(CDataStartLine::Global().m_rightLat, 50.2);
    EXPECT_EQ(CDataStartLine::Global().m_rightLon, -1.2);
    EXPECT_EQ(CDataStartLine::Global().m_leftLat, 50.1);
    EXPECT_EQ(lines.n, 2);
    EXPECT_TRUE(CDataStartLine::Settings().IsModified());
}

TEST_F(RaceItems, AxisCellsLabelsAndDifferences)
{
    CDataStartLine::Global().m_axis = 355;
    auto heading = Make<Heading_from_axis>();
    auto cog = Make<COG_from_axis>();
    auto wind = Make<TrueWind_from_axis>();
    auto axis = Make<CDispAxis>();
    auto h = m_factory.RecordOf(heading.get());
    auto c = m_factory.RecordOf(cog.get());
    EXPECT_EQ(h->title, "Heading vs 355\xC2\xB0T");
    EXPECT_EQ(c->title, "COG vs 355\xC2\xB0T");
    EXPECT_EQ(m_factory.RecordOf(wind.get())->title, "True Wind vs 355\xC2\xB0T");
    EXPECT_EQ(m_factory.RecordOf(axis.get())->title, "Course Axis");
    EXPECT_EQ(m_factory.RecordOf(axis.get())->text, "355\xC2\xB0T");

    struct Case
    {
        float heading, cog;
        const char* headingText;
        const char* cogText;
    };
    const Case cases[] = {
        {345, 5, "-010", "+010"},
        {999, 999, "---", "---"},
        {5, -1, "+010", "---"},
    };
    for (const Case& k : cases) {
        CDataSpeedDirection own;
        own.m_damper.heading = k.heading;
        own.m_cog = k.cog;
        FireEvent<CDataSpeedDirection>(own);
        EXPECT_EQ(h->text, k.headingText);
        EXPECT_EQ(c->text, k.cogText);
    }
    CDataTrueWind trueWind;
    trueWind.m_current.direction = 10;
    FireEvent<CDataTrueWind>(trueWind);
    EXPECT_EQ(m_factory.RecordOf(wind.get())->text, "+015");

    // A change of units alone keeps the label; a new axis redoes it.
    const size_t labels = h->calls.size();
    CDefaultUnits::Get().m_bearings = CUnits::kBearingsMagnetic;
    FireEvent<CUnits>(CDefaultUnits::Get());
    EXPECT_EQ(h->calls.size(), labels);
    CDefaultUnits::Get().m_bearings = CUnits::kBearingsTrue;
    CDataStartLine::Global().m_axis = 90;
    FireEvent<CDataStartLine>(CDataStartLine::Global());
    EXPECT_EQ(h->title, "Heading vs 090\xC2\xB0T");
    EXPECT_EQ(m_factory.RecordOf(axis.get())->text, "090\xC2\xB0T");
}

TEST_F(RaceItems, StartLineBiasAgainstAxisAndWind)
{
    CDataStartLine::Global() = CDataStartLine{};
    auto axisBias = Make<Line_Bias_from_axis>();
    auto windBias = Make<Line_Bias_from_wind>();
    auto a = m_factory.RecordOf(axisBias.get());
    auto w = m_factory.RecordOf(windBias.get());
    EXPECT_EQ(a->title, "Start Line vs 000\xC2\xB0T");
    EXPECT_EQ(w->title, "Start Line vs True Wind");
    EXPECT_EQ(a->text, "");

    // Without a line the wind has nothing to be measured against.
    CDataTrueWind trueWind;
    trueWind.m_current.direction = 0;
    trueWind.m_current.unitNorth = 1;
    FireEvent<CDataTrueWind>(trueWind);
    EXPECT_EQ(w->text, "---");

    struct Case
    {
        double north;
        std::string text;
    };
    const Case cases[] = {
        {20, "<" + Distance(20) + "<90\xC2\xB0"},
        {4, "---"},
        {12000, "---"},
    };
    for (const Case& k : cases) {
        SetLine(k.north);
        CDataStartLine::Global().m_axis = 0;
        FireEvent<CDataStartLine>(CDataStartLine::Global());
        FireEvent<CDataTrueWind>(trueWind);
        EXPECT_EQ(a->text, k.text) << k.north;
        EXPECT_EQ(w->text, k.text) << k.north;
    }
    // An end unset afterwards keeps the last texts and the wind item's line.
    SetLine(20);
    FireEvent<CDataStartLine>(CDataStartLine::Global());
    CDataStartLine::Global().m_leftLat = 0;
    FireEvent<CDataStartLine>(CDataStartLine::Global());
    FireEvent<CDataTrueWind>(trueWind);
    EXPECT_EQ(a->text, "<" + Distance(20) + "<90\xC2\xB0");
    EXPECT_EQ(w->text, "<" + Distance(20) + "<90\xC2\xB0");
}

TEST_F(RaceItems, DistanceAndEarlyCells)
{
    auto distance = Make<DisplayStartDistance>();
    auto early = Make<DisplayStartEarly>();
    auto d = m_factory.RecordOf(distance.get());
    auto e = m_factory.RecordOf(early.get());
    EXPECT_EQ(d->title, "Distance to Line");
    EXPECT_EQ(e->title, "ETA Early/Late");

    CDataDistanceToStart value;
    value.m_distanceValid = true;
    value.m_distance = 150;
    value.m_burnValid = true;
    value.m_timeToBurn = -12;
    FireEvent<CDataDistanceToStart>(value);
    std::string number, unit;
    CDefaultUnits::Get().FormatDistanceValue(150, number, unit);
    EXPECT_EQ(d->text, number);
    EXPECT_EQ(d->unit, unit);
    EXPECT_EQ(e->title, "Early (s)");
    EXPECT_EQ(e->text, "-12");

    value.m_distanceValid = value.m_burnValid = false;
    FireEvent<CDataDistanceToStart>(value);
    EXPECT_EQ(d->text, "");
    EXPECT_EQ(e->text, "");
    EXPECT_EQ(e->title, "Early (s)");
}

TEST_F(RaceItems, MenuEntriesOpenTheDialogsOnlyWhenTheyCanOpen)
{
    auto timer = Make<DisplayStartTimer>();
    auto button = Make<DisplayStartCountdown>();
    auto axis = Make<CDispAxis>();
    QWidget* owner = reinterpret_cast<QWidget*>(uintptr_t(0x1000)); // passed on, never used here
    for (auto* item : {timer.get(), button.get(), axis.get()}) {
        CMenuTree menu("cell", nullptr);
        item->AddMenuItems(menu, owner);
        EXPECT_TRUE(menu.Root().Children().empty());
    }
    RecordingRaceDialogs dialogs;
    tessatest::CInstalledPort<IRaceDialogs> installed(dialogs);
    const std::pair<CDisplayView::CItem*, const char*> entries[] = {
        {timer.get(), "Timer Settings"}, {button.get(), "Timer Settings"}, {axis.get(), "Set Axis"}};
    for (const auto& [item, title] : entries) {
        CMenuTree menu("cell", nullptr);
        item->AddMenuItems(menu, owner);
        ASSERT_EQ(menu.Root().Children().size(), 1u);
        CMenuTree::CItem* entry = menu.Root().FindChild(title);
        ASSERT_NE(entry, nullptr) << title;
        entry->Select();
    }
    using Call = std::pair<std::string, QWidget*>;
    EXPECT_EQ(dialogs.calls, (std::vector<Call>{{"timer", owner}, {"timer", owner}, {"axis", owner}}));
}

} // namespace
