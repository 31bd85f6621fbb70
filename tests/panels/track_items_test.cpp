// The track cells: the logging button after every way recording changes,
// the statistics of the recorded track, and a race whose start begins a new
// track while the countdown runs in the panel.
#include "foundation/menus/MenuTree.h"
#include "foundation/settings/PersistantData.h"
#include "panelfakes/RecordingWindows.h"
#include "panels/items/RaceItems.h"
#include "panels/items/TrackItems.h"
#include "support/FixedClock.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>
#include <tuple>

namespace {

using namespace NDisplayTrack;

constexpr double kT0 = 1700000000.0;

CDataGPSPosition Fix(double lat, double time, double sogKnots)
{
    CDataGPSPosition fix;
    fix.SetPosition(lat, -4);
    fix.m_fixTime = time;
    fix.m_fixStatus = CDataGPSPosition::kGPSFix;
    fix.SetCourseSpeed(0, float(sogKnots));
    return fix;
}

std::string Duration(double s)
{
    std::string text;
    CUnits::FormatDuration(s, text);
    return text;
}

class TrackItems : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CTrackManager::Get().ClearForTesting();
        const std::string dir = tessatest::MakeScratchDir("track_items");
        PersistantData::SetIniPaths(dir + "/t.ini", dir + "/t2.ini");
        CTrackManager::Settings().doRecordTrack = false;
    }
    void TearDown() override
    {
        m_items.clear();
        CTrackManager::Get().ClearForTesting();
        CTrackManager::Settings().doRecordTrack = false;
        CDataStartTimer::Global() = m_timer;
        static_cast<CUnits&>(CDefaultUnits::Get()) = m_units;
        PersistantData::SetIniPaths("", "");
    }
    template <class Item> CDisplayView::CItem* Make()
    {
        m_settings.push_back(std::make_unique<typename Item::CSettings>());
        m_items.push_back(m_settings.back()->CreateItem(&m_host));
        return m_items.back().get();
    }
    void ExpectButton(const CDisplayView::CItem* button, bool recording, const char* why)
    {
        auto rec = m_factory.RecordOf(button);
        EXPECT_EQ(rec->colour, recording ? 0xFF140FE1u : 0xFF22840Du) << why;
        EXPECT_EQ(rec->buttonTitle, recording ? "Stop Logging" : "Start Logging") << why;
    }

    const CUnits m_units = CDefaultUnits::Get();
    const CDataStartTimer m_timer = CDataStartTimer::Global();
    tessatest::CFixedClock m_clock{kT0};
    tessatest::RecordingWindowFactory m_factory;
    tessatest::FakeHost m_host{400, 300};
    std::vector<std::unique_ptr<CDisplayView::CItemSettings>> m_settings;
    std::vector<std::unique_ptr<CDisplayView::CItem>> m_items;
};

TEST_F(TrackItems, SpeedTextsInTheChosenUnit)
{
    // Unit, distance, moving time, average; maximum speed, its text.
    const std::tuple<uint32_t, double, double, const char*, double, const char*> cases[] = {
        {CUnits::kKnots, 18520, 3600, "10.0", 5.1444, "10.0"},
        {CUnits::kKnots, 100, 10, "", 1.0, "1.94"},
        {CUnits::kKnots, 100, 10.5, "18.5", 0, "0.00"},
        {CUnits::kMph, 18520, 3600, "11.5", 5.1444, "11.5"},
        {CUnits::kKmh, 18520, 3600, "18.5", 5.1444, "18.5"},
        {CUnits::kKnots, 100, 0, "", 1e300, "---"},
    };
    for (const auto& [unit, metres, moving, average, max, maxText] : cases) {
        CDefaultUnits::Get().m_speedUnit = unit;
        EXPECT_EQ(AverageSpeedText(metres, moving, CDefaultUnits::Get()), average) << moving;
        EXPECT_EQ(MaxSpeedText(max, CDefaultUnits::Get()), maxText) << max;
    }
}

TEST_F(TrackItems, LoggingButtonFollowsEveryWayRecordingChanges)
{
    CDisplayView::CItem* button = Make<StartStopButton>();
    CDisplayView::CItem* distance = Make<Distance>();
    ExpectButton(button, false, "at creation");

    ASSERT_TRUE(m_factory.Click(button));
    EXPECT_TRUE(CTrackManager::Get().IsRecording());
    ExpectButton(button, true, "the button");

    // The menu of any statistics cell.
    CMenuTree menu("cell", nullptr);
    distance->AddMenuItems(menu, nullptr);
    CMenuTree::CItem* entry = menu.Root().FindChild("Stop Logging");
    ASSERT_NE(entry, nullptr);
    entry->Select();
    EXPECT_FALSE(CTrackManager::Get().IsRecording());
    ExpectButton(button, false, "a cell's menu");
    CMenuTree again("cell", nullptr);
    distance->AddMenuItems(again, nullptr);
    EXPECT_NE(again.Root().FindChild("Start Logging"), nullptr);

    // Any other path: the manager tells its listeners.
    CTrackManager::Get().ToggleRecording();
    ExpectButton(button, true, "the manager");
    CTrackManager::Get().ToggleRecording();
    ExpectButton(button, false, "the manager again");

    // A cell made while recording is red at once.
    CTrackManager::Get().ToggleRecording();
    ExpectButton(Make<StartStopButton>(), true, "made while recording");
}

TEST_F(TrackItems, StatisticsOfTheRecordedTrack)
{
    CDefaultUnits::Get().SetUnitSystem(CUnits::kNautical);
    CTrackManager& manager = CTrackManager::Get();
    manager.ToggleRecording();
    // 1 km north every 60 s at 32 kn (above the moving speed), then a stop.
    for (int i = 0; i <= 5; ++i)
        manager.OnGPSPosition(Fix(50 + i * 1000 / 111195.0, kT0 + 60 * i, 32));

    const std::tuple<CDisplayView::CItem*, const char*, const char*> cells[] = {
        {Make<Distance>(), "Distance", "NM"},       {Make<MovingTime>(), "Moving Time", ""},
        {Make<ElapsedTime>(), "Elapsed", ""},       {Make<StoppedTime>(), "Time stopped", ""},
        {Make<AverageSpeed>(), "Track Avg", "kts"}, {Make<MaxSpeed>(), "Max Speed", "kts"},
    };
    auto texts = [&] {
        std::vector<std::string> out;
        for (const auto& c : cells)
            out.push_back(m_factory.RecordOf(std::get<0>(c))->text);
        return out;
    };
    auto expected = [&] {
        const COverlayTrack& track = *manager.CurrentTrack();
        std::string distance;
        CDefaultUnits::Get().FormatDistanceNumber(float(track.CachedDistance()), distance);
        return std::vector<std::string>{
            distance,
            Duration(track.MovingTime()),
            Duration(track.ElapsedTime()),
            Duration(track.StoppedTime()),
            AverageSpeedText(track.CachedDistance(), track.CachedMovingTime(), CDefaultUnits::Get()),
            MaxSpeedText(track.CachedMaxSpeed(), CDefaultUnits::Get())};
    };
    for (const auto& [item, title, unit] : cells)
        EXPECT_EQ(std::make_pair(m_factory.RecordOf(item)->title, m_factory.RecordOf(item)->unit),
                  std::make_pair(std::string(title), std::string(unit)));
    // Made after the fixes: the figures of the last track at once.
    EXPECT_EQ(texts(), expected());
    EXPECT_NE(texts()[0], "0");
    EXPECT_NE(texts()[4], "");

    // Each fix while recording updates them.
    manager.OnGPSPosition(Fix(50 + 6000 / 111195.0, kT0 + 360, 32));
    EXPECT_EQ(texts(), expected());
    EXPECT_EQ(texts()[2], Duration(360));
}

TEST_F(TrackItems, RaceStartCountsDownAndBeginsANewTrack)
{
    CDataStartTimer& timer = CDataStartTimer::Global();
    timer.m_timeOfStart = 0;
    timer.m_periodMinutes = 1;
    timer.m_newTrackAtStart = true;
    CDisplayView::CItem* start = Make<DisplayStartCountdown>();
    CDisplayView::CItem* countdown = Make<DisplayStartTimer>();
    CDisplayView::CItem* logging = Make<StartStopButton>();
    ExpectButton(logging, false, "before the start");

    ASSERT_TRUE(m_factory.Click(start));
    EXPECT_DOUBLE_EQ(timer.m_timeOfStart, kT0 + 60);
    ExpectButton(logging, true, "after Start");
    ASSERT_FALSE(CTrackManager::Get().Tracks().empty());
    EXPECT_EQ(CTrackManager::Get().Tracks().back()->GetName().rfind("Start at ", 0), 0u);

    auto rec = m_factory.RecordOf(countdown);
    std::vector<std::string> labels;
    for (int tick = 0; tick < 20 * 70; ++tick) {
        m_clock.Advance(0.05);
        CHeartbeat::Tick();
        if (labels.empty() || labels.back() != rec->title)
            labels.push_back(rec->title);
        if (tick % 20 == 0)
            CTrackManager::Get().OnGPSPosition(Fix(50 + tick * 1e-6, m_clock.Now(), 5));
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"Time to start", "Time since start"}));
    EXPECT_EQ(rec->text[0], '+');
    EXPECT_GT(CTrackManager::Get().Tracks().back()->PointCount(), 1u);
}

} // namespace
