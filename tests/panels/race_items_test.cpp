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
#include <tuple>

namespace {

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

// The bias text of a 20 m line whose favoured end is `side`.
std::string Bias20(char side, const char* angle)
{
    std::string text;
    CDefaultUnits::Get().FormatDistance(20, text);
    return side + text + side + angle + "\xC2\xB0";
}

class RaceItems : public ::testing::Test
{
protected:
    void SetUp() override { CDefaultUnits::Get().m_bearings = CUnits::kBearingsTrue; }
    void TearDown() override
    {
        CDataStartTimer::Global() = m_timer;
        CDataStartLine::Global() = m_line;
        static_cast<CUnits&>(CDefaultUnits::Get()) = m_units;
        COverlayGPSPosition::Global().m_fixStatus = m_ownStatus;
        CDataStartTimer::Settings().SetModified(false);
        CDataStartLine::Settings().SetModified(false);
    }
    template <class Item> std::shared_ptr<tessatest::WindowRecord> Make()
    {
        m_settings.push_back(std::make_unique<typename Item::CSettings>());
        m_items.push_back(m_settings.back()->CreateItem(&m_host));
        return m_factory.RecordOf(m_items.back().get());
    }
    CDisplayView::CItem* Last() { return m_items.back().get(); }
    // The line's left end `north` metres north of a right end at 50N 1W.
    static void SetLine(double north)
    {
        CDataStartLine& line = CDataStartLine::Global();
        line.m_rightLat = 50;
        line.m_rightLon = -1;
        CLocalPlane(50, -1).FromXY(0, north, line.m_leftLat, line.m_leftLon);
    }

    const CDataStartTimer m_timer = CDataStartTimer::Global();
    const CDataStartLine m_line = CDataStartLine::Global();
    const CUnits m_units = CDefaultUnits::Get();
    const uint8_t m_ownStatus = COverlayGPSPosition::Global().m_fixStatus;
    tessatest::CFixedClock m_clock{1700000000.32};
    tessatest::RecordingWindowFactory m_factory;
    tessatest::FakeHost m_host{400, 300};
    std::vector<std::unique_ptr<CDisplayView::CItemSettings>> m_settings;
    std::vector<std::unique_ptr<CDisplayView::CItem>> m_items;
};

TEST_F(RaceItems, TextsFromThePlainFunctions)
{
    const std::tuple<double, int, std::string> timers[] = {
        {0, NRaceText::kNoStart, "---"},
        {1090, NRaceText::kBeforeStart, Duration(90)},
        {995, NRaceText::kAfterStart, "+" + Duration(5)},
        {NAN, NRaceText::kNoStart, "---"},
        {INFINITY, NRaceText::kNoStart, "---"},
        {1e300, NRaceText::kNoStart, "---"},
        {1000 + 11 * 366 * 86400.0, NRaceText::kNoStart, "---"},
    };
    for (const auto& [start, state, want] : timers) {
        std::string text;
        EXPECT_EQ(NRaceText::StartTimer(start, 1000, text), state) << start;
        EXPECT_EQ(text, want) << start;
    }

    const std::tuple<double, double, const char*> axes[] = {
        {345, 355, "-010"}, {5, 355, "+010"},  {355, 5, "-010"},   {95, 90, "+005"}, {90, 90, "+000"},
        {270, 90, "+180"},  {999, 90, "---"},  {NAN, 90, "---"},   {90, NAN, "---"}, {1e30, 0, "---"},
        {-725, 0, "-005"},  {90.5, 0, "+090"}, {90.49, 0, "+090"},
    };
    for (const auto& [value, axis, want] : axes)
        EXPECT_EQ(NRaceText::AxisDifference(value, axis), want) << value << " against " << axis;

    // An end on the equator or the prime meridian is a position; only 0, 0 is no end.
    const std::tuple<double, double, double, double, bool> ends[] = {
        {0.0, 10.0, 0.001, 10.0, true}, {10.0, 0.0, 10.0, 0.001, true},   {0.0, 0.0, 0.001, 0.0, false},
        {10.0, 10.0, 0.0, 0.0, false},  {50.0, -4.0, 50.001, -4.0, true},
    };
    for (const auto& [rightLat, rightLon, leftLat, leftLon, usable] : ends) {
        CDataStartLine ends;
        ends.m_rightLat = rightLat;
        ends.m_rightLon = rightLon;
        ends.m_leftLat = leftLat;
        ends.m_leftLon = leftLon;
        EXPECT_EQ(NRaceText::StartLineGeometry(ends).usable, usable) << rightLat << ", " << rightLon;
    }

    // The wind's vector decides the side; a negative angle shows as 0.
    NRaceText::CLineGeometry line;
    line.endsValid = line.usable = true;
    line.y = line.length = 20;
    line.squareCourse = 90;
    const CUnits& units = CDefaultUnits::Get();
    EXPECT_EQ(NRaceText::LineBiasFromWind(line, 0, 0, 1, units), Bias20('<', "90"));
    EXPECT_EQ(NRaceText::LineBiasFromWind(line, 180, 0, -1, units), Bias20('>', "90"));
    EXPECT_EQ(NRaceText::LineBiasFromWind(line, 60, 0, -1, units), Bias20('>', "0"));
    EXPECT_EQ(NRaceText::LineBiasFromWind(NRaceText::CLineGeometry{}, 0, 0, 1, units), "---");
}

TEST_F(RaceItems, TimerCountsDownOnWholeSecondsAndTurnsToTimeSinceStart)
{
    const double start = 1700000100.0;
    CDataStartTimer::Global().m_timeOfStart = 0;
    auto rec = Make<DisplayStartTimer>();
    EXPECT_EQ(rec->title, "Time till start");
    EXPECT_EQ(rec->text, "---");

    // 99.68 s before the start, 0.32 s past a whole second of the clock.
    CDataStartTimer::Global().m_timeOfStart = start;
    FireEvent<CDataStartTimer>(CDataStartTimer::Global());
    EXPECT_EQ(rec->title, "Time to start");
    EXPECT_EQ(rec->text, Duration(start - m_clock.Now()));

    // The first run lands on the next whole second, then one every 20 ticks.
    std::vector<int> updates;
    for (int tick = 1; tick <= 40; ++tick) {
        m_clock.Advance(0.05);
        const size_t calls = rec->calls.size();
        CHeartbeat::Tick();
        if (rec->calls.size() != calls)
            updates.push_back(tick);
    }
    EXPECT_EQ(updates, (std::vector<int>{14, 34}));
    EXPECT_EQ(rec->text, Duration(start - (1700000000.32 + 34 * 0.05)));

    m_clock.Advance(start + 5 - m_clock.Now());
    FireEvent<CDataStartTimer>(CDataStartTimer::Global());
    EXPECT_EQ(rec->title, "Time since start");
    EXPECT_EQ(rec->text, "+" + Duration(m_clock.Now() - start));

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
    EXPECT_EQ(Make<DisplayStartCountdown>()->buttonTitle, "Start");
    CDisplayView::CItem* start = Last();
    EXPECT_EQ(Make<DisplayStartPingLeft>()->buttonTitle, "Ping Left");
    CDisplayView::CItem* left = Last();
    EXPECT_EQ(Make<DisplayStartPingRight>()->buttonTitle, "Ping Right");
    CDisplayView::CItem* right = Last();

    CDataStartTimer::Global().m_periodMinutes = 5;
    ASSERT_TRUE(m_factory.Click(start));
    EXPECT_DOUBLE_EQ(CDataStartTimer::Global().m_timeOfStart, m_clock.Now() + 300);
    EXPECT_EQ(timers.n, 1);
    EXPECT_TRUE(CDataStartTimer::Settings().IsModified());

    // Without a fix a good end stays and nothing is sent.
    CDataStartLine::Global() = CDataStartLine{};
    CDataStartLine::Global().m_leftLat = 50.5;
    COverlayGPSPosition& own = COverlayGPSPosition::Global();
    own.SetPosition(50.1, -1.1);
    own.m_fixStatus = CDataGPSPosition::kNoFix;
    ASSERT_TRUE(m_factory.Click(left));
    EXPECT_EQ(CDataStartLine::Global().m_leftLat, 50.5);
    EXPECT_EQ(lines.n, 0);
    EXPECT_FALSE(CDataStartLine::Settings().IsModified());

    own.m_fixStatus = CDataGPSPosition::kGPSFix;
    ASSERT_TRUE(m_factory.Click(left));
    own.SetPosition(50.2, -1.2);
    ASSERT_TRUE(m_factory.Click(right));
    const CDataStartLine& line = CDataStartLine::Global();
    EXPECT_EQ(std::make_tuple(line.m_leftLat, line.m_leftLon, line.m_rightLat, line.m_rightLon),
              std::make_tuple(50.1, -1.1, 50.2, -1.2));
    EXPECT_EQ(lines.n, 2);
    EXPECT_TRUE(CDataStartLine::Settings().IsModified());
}

TEST_F(RaceItems, AxisCellsLabelsAndDifferences)
{
    CDataStartLine::Global().m_axis = 355;
    auto h = Make<Heading_from_axis>();
    auto c = Make<COG_from_axis>();
    auto w = Make<TrueWind_from_axis>();
    auto a = Make<CDispAxis>();
    EXPECT_EQ(h->title, "Heading vs 355\xC2\xB0T");
    EXPECT_EQ(c->title, "COG vs 355\xC2\xB0T");
    EXPECT_EQ(w->title, "True Wind vs 355\xC2\xB0T");
    EXPECT_EQ(a->title, "Course Axis");
    EXPECT_EQ(a->text, "355\xC2\xB0T");

    const std::tuple<float, float, const char*, const char*> cases[] = {
        {345, 5, "-010", "+010"}, {999, 999, "---", "---"}, {5, -1, "+010", "---"}};
    for (const auto& [heading, cog, headingText, cogText] : cases) {
        CDataSpeedDirection own;
        own.m_damper.heading = heading;
        own.m_cog = cog;
        FireEvent<CDataSpeedDirection>(own);
        EXPECT_EQ(h->text, headingText);
        EXPECT_EQ(c->text, cogText);
    }
    CDataTrueWind trueWind;
    trueWind.m_current.direction = 10;
    FireEvent<CDataTrueWind>(trueWind);
    EXPECT_EQ(w->text, "+015");

    // A change of units alone keeps the label; a new axis redoes it.
    const size_t calls = h->calls.size();
    CDefaultUnits::Get().m_bearings = CUnits::kBearingsMagnetic;
    FireEvent<CUnits>(CDefaultUnits::Get());
    EXPECT_EQ(h->calls.size(), calls);
    CDefaultUnits::Get().m_bearings = CUnits::kBearingsTrue;
    CDataStartLine::Global().m_axis = 90;
    FireEvent<CDataStartLine>(CDataStartLine::Global());
    EXPECT_EQ(h->title, "Heading vs 090\xC2\xB0T");
    EXPECT_EQ(a->text, "090\xC2\xB0T");
}

TEST_F(RaceItems, StartLineBiasDistanceAndEarlyCells)
{
    CDataStartLine::Global() = CDataStartLine{};
    auto a = Make<Line_Bias_from_axis>();
    auto w = Make<Line_Bias_from_wind>();
    EXPECT_EQ(a->title, "Start Line vs 000\xC2\xB0T");
    EXPECT_EQ(w->title, "Start Line vs True Wind");
    EXPECT_EQ(a->text, "");
    // Without a line the wind has nothing to be measured against.
    CDataTrueWind trueWind;
    trueWind.m_current.unitNorth = 1;
    FireEvent<CDataTrueWind>(trueWind);
    EXPECT_EQ(w->text, "---");

    for (const auto& [north, want] : {std::pair{20.0, Bias20('<', "90")}, {4.0, "---"}, {12000.0, "---"}}) {
        SetLine(north);
        FireEvent<CDataStartLine>(CDataStartLine::Global());
        FireEvent<CDataTrueWind>(trueWind);
        EXPECT_EQ(a->text, want) << north;
        EXPECT_EQ(w->text, want) << north;
    }
    // An end unset afterwards keeps the texts and the wind item's line.
    SetLine(20);
    FireEvent<CDataStartLine>(CDataStartLine::Global());
    CDataStartLine::Global().m_leftLat = 0;
    CDataStartLine::Global().m_leftLon = 0;
    FireEvent<CDataStartLine>(CDataStartLine::Global());
    FireEvent<CDataTrueWind>(trueWind);
    EXPECT_EQ(a->text, Bias20('<', "90"));
    EXPECT_EQ(w->text, Bias20('<', "90"));

    auto d = Make<DisplayStartDistance>();
    auto e = Make<DisplayStartEarly>();
    CDataDistanceToStart value;
    value.m_distanceValid = value.m_burnValid = true;
    value.m_distance = 150;
    value.m_timeToBurn = -12;
    FireEvent<CDataDistanceToStart>(value);
    std::string number, unit;
    CDefaultUnits::Get().FormatDistanceValue(150, number, unit);
    EXPECT_EQ(std::make_tuple(d->text, d->unit, e->title, e->text),
              std::make_tuple(number, unit, "Early (s)", "-12"));
    value.m_timeToBurn = 0;
    FireEvent<CDataDistanceToStart>(value);
    EXPECT_EQ(std::make_tuple(e->title, e->text), std::make_tuple("Late (s)", "+0"));
    value.m_timeToBurn = NAN;
    FireEvent<CDataDistanceToStart>(value);
    EXPECT_EQ(e->text, "---");
    value.m_distanceValid = value.m_burnValid = false;
    FireEvent<CDataDistanceToStart>(value);
    EXPECT_EQ(std::make_tuple(d->text, e->title, e->text), std::make_tuple("", "Late (s)", ""));
}

TEST_F(RaceItems, MenuEntriesOpenTheDialogsOnlyWhenTheyCanOpen)
{
    Make<DisplayStartTimer>();
    Make<DisplayStartCountdown>();
    Make<CDispAxis>();
    QWidget* owner = reinterpret_cast<QWidget*>(uintptr_t(0x1000)); // passed on, never used here
    RecordingRaceDialogs dialogs;
    auto check = [&](bool installed) {
        for (const auto& [item, title] : {std::pair{m_items[0].get(), "Timer Settings"},
                                          {m_items[1].get(), "Timer Settings"},
                                          {m_items[2].get(), "Set Axis"}}) {
            CMenuTree menu("cell", nullptr);
            item->AddMenuItems(menu, owner);
            ASSERT_EQ(menu.Root().Children().size(), installed ? 1u : 0u) << title;
            if (installed)
                menu.Root().FindChild(title)->Select();
        }
    };
    check(false);
    {
        tessatest::CInstalledPort<IRaceDialogs> port(dialogs);
        check(true);
    }
    using Call = std::pair<std::string, QWidget*>;
    EXPECT_EQ(dialogs.calls, (std::vector<Call>{{"timer", owner}, {"timer", owner}, {"axis", owner}}));
}

} // namespace
