// AIS targets against a fixed own ship: closest approach and its alarms,
// man overboard, ageing, the own ship driven by the transponder, drawing.
#include "ais/AISTargetManager.h"
#include "foundation/events/Clock.h"
#include "foundation/notify/StatusLine.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "support/RecordingNotifier.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr double kOwnLat = 50.0, kOwnLon = -1.0;

struct Msg
{
    uint32_t type = 1;
    uint32_t mmsi = 211000001;
    double x = 0, y = 0; // metres from the own ship
    float sog = 0;
    float cog = CNEMA_AIS::kNoCourse;
    uint32_t heading = CNEMA_AIS::kNoHeading;
    double lat = 999; // set: overrides x, y
};

void Fill(CNEMA_AIS::CAIS_Sentence& s, const Msg& m)
{
    s.m_messageType = m.type;
    s.m_mmsi = m.mmsi;
    if (m.lat != 999) {
        s.m_latitude = m.lat;
        s.m_longitude = kOwnLon;
    } else {
        CLocalPlane(kOwnLat, kOwnLon).FromXY(m.x, m.y, s.m_latitude, s.m_longitude);
    }
    s.m_sog = m.sog;
    s.m_cog = m.cog;
    s.m_heading = m.heading;
    s.m_navigationStatus = 0;
}

// Counts targets published to the lists.
struct Published : Listener<CAISTarget>
{
    std::vector<std::pair<uint32_t, uint32_t>> seen; // mmsi, state
    void Notify(const CAISTarget& t) override { seen.emplace_back(t.m_mmsi, t.m_aisState); }
};

class AISTargets : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CAISTargetManager::GetSettings() = CAISTargetManager::Settings{};
        CAISTargetManager::GetSettings().enableSettings = true; // no settings file written
        CMarkManager::Get().ClearForTesting();
    }
    void TearDown() override { CMarkManager::Get().ClearForTesting(); }

    void OwnFix(float cog, float sog)
    {
        CDataGPSPosition fix;
        fix.SetPosition(kOwnLat, kOwnLon);
        fix.m_fixStatus = CDataGPSPosition::kGPSFix;
        fix.SetCourseSpeed(cog, sog);
        fix.m_mode = CDataSpeedDirection::kModeCourseOverGround;
        manager.HandleOwnFix(fix);
    }
    CAISTarget* Send(const Msg& m, double time = 1000)
    {
        CNEMA_AIS::VDM s(&CNEMA_AIS::VDM::Type);
        Fill(s, m);
        manager.HandleVDM(s, time);
        return manager.Find(m.mmsi);
    }

    tessatest::ScopedRecordingNotifier notes;
    COverlayGPSPosition ownShip;
    CAISTargetManager manager{ownShip};
};

bool Near(const GraphicsColor& c, int r, int g, int b)
{
    QColor q = c.ToQColor();
    return std::abs(q.red() - r) <= 1 && std::abs(q.green() - g) <= 1 && std::abs(q.blue() - b) <= 1;
}

TEST_F(AISTargets, ClosestApproachAlarmsAndWarnings)
{
    const float kn6 = 6.0f; // 3.0867 m/s: 1852 m in 600 s
    struct Case
    {
        const char* what;
        float ownCog, ownSog;
        uint32_t lengthHalf; // bow and stern each, sent first in a type 5
        Msg msg;
        bool alarm;
        bool yellow;
        double tcpa, cpa; // < 0: not checked
        const char* text; // notification text, or ""
    };
    const Case cases[] = {
        {"class B 80 m ahead, 10 min",
         0,
         0,
         0,
         {18, 338000001, 80.5, -1860, kn6, 0},
         true,
         false,
         602.6,
         80.5,
         "Unknown name, CPA 80 m, 10 min"},
        {"class B 150 m: beyond its 100 m",
         0,
         0,
         0,
         {18, 338000002, 150, -1852, kn6, 0},
         false,
         true,
         600,
         150,
         ""},
        {"class A at 250 m",
         0,
         0,
         0,
         {1, 211000010, 250.5, -1860, kn6, 0},
         true,
         false,
         602.6,
         250.5,
         "Unknown name, CPA 250 m, 10 min"},
        {"class A at 500 m only warns",
         0,
         0,
         0,
         {1, 211000011, 500, -1852, kn6, 0},
         false,
         true,
         600,
         500,
         ""},
        {"200 m long at 150 m",
         0,
         0,
         100,
         {1, 211000012, 150, -1852, kn6, 0},
         true,
         false,
         600,
         0.0001,
         nullptr},
        {"parallel at equal speed", 0, 10, 0, {1, 211000013, 100, 0, 10, 0}, false, false, 0, 1e10, ""},
        {"head-on 10 kn each from 9260 m",
         0,
         10,
         0,
         {1, 211000014, 0, 9260, 10, 180},
         true,
         false,
         899.9999,
         0.0001,
         "Unknown name, CPA 0 m, 14 min"},
        {"crossing from the east",
         0,
         10,
         0,
         {1, 211000015, 9260, 0, 10, 270},
         false,
         false,
         899.9999,
         6547.8,
         ""},
        {"slower than 0.1 kn", 0, 0, 0, {1, 211000016, 10, 10, 0.05f, 225}, false, false, 0, 1e10, ""},
        {"course not available",
         0,
         0,
         0,
         {1, 211000017, 0, -1852, kn6, CNEMA_AIS::kNoCourse},
         false,
         false,
         0,
         1e10,
         ""},
        {"opening", 0, 0, 0, {1, 211000018, 0, 500, kn6, 0}, false, false, -1, 1e10, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OwnFix(c.ownCog, c.ownSog);
        notes.notifier.log.clear();
        if (c.lengthHalf) {
            Msg five = c.msg;
            five.type = 5;
            CNEMA_AIS::VDM s(&CNEMA_AIS::VDM::Type);
            Fill(s, five);
            s.m_toBow = s.m_toStern = c.lengthHalf;
            manager.HandleVDM(s, 999);
        }
        CAISTarget* t = Send(c.msg);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->m_alarm, c.alarm);
        EXPECT_EQ(Near(t->m_colour, 220, 220, 0), c.yellow);
        if (c.alarm) {
            EXPECT_TRUE(Near(t->m_colour, 255, 0, 0));
        }
        if (c.tcpa >= 0) {
            EXPECT_NEAR(t->m_tcpa, c.tcpa, 0.05);
        }
        EXPECT_NEAR(t->m_cpa, c.cpa, c.cpa > 1e9 ? 1 : 0.5);
        if (c.text && *c.text) {
            ASSERT_EQ(notes.notifier.delivered.size() > 0, true);
            EXPECT_EQ(notes.notifier.delivered.back().text, c.text);
            EXPECT_EQ(notes.notifier.log.back(), "post " + UserNotificationIdentifier(c.msg.mmsi));
        } else if (c.text) {
            EXPECT_TRUE(notes.notifier.log.empty()) << notes.notifier.log.front();
        }
    }
}

TEST_F(AISTargets, AlarmIsWithdrawnWhenTheTargetTurnsAway)
{
    OwnFix(0, 0);
    CAISTarget* t = Send({1, 211000020, 80, -1852, 6, 0});
    ASSERT_TRUE(t && t->m_alarm);
    Send({1, 211000020, 80, -1852, 6, 180});
    EXPECT_FALSE(t->m_alarm);
    EXPECT_EQ(notes.notifier.log.back(), "remove " + UserNotificationIdentifier(211000020));
}

// The closest approach against a search over time (courses in whole degrees).
TEST_F(AISTargets, ClosestApproachMatchesABruteForceSearch)
{
    std::mt19937 rng(24);
    std::uniform_real_distribution<double> pos(-5000, 5000), speed(0.5, 20);
    std::uniform_int_distribution<int> deg(0, 359);
    CAISTargetManager::GetSettings().alarmBeep = false;
    for (int i = 0; i < 10000; ++i) {
        const float ownCog = float(deg(rng)), ownSog = float(speed(rng));
        OwnFix(ownCog, ownSog);
        Msg m{1, 211100000u + uint32_t(i % 50), pos(rng), pos(rng), float(speed(rng)), float(deg(rng))};
        CAISTarget* t = Send(m);
        ASSERT_NE(t, nullptr);
        // Brute force in the same plane the manager uses.
        CLocalPlane plane(kOwnLat, kOwnLon);
        double px, py;
        plane.ToXY(t->m_latitude, t->m_longitude, px, py);
        const double k = CAISTargetManager::kKnot;
        auto rad = [](double d) { return d * M_PI / 180; };
        const double vx = std::sin(rad(m.cog)) * m.sog * k - std::sin(rad(ownCog)) * ownSog * k;
        const double vy = std::cos(rad(m.cog)) * m.sog * k - std::cos(rad(ownCog)) * ownSog * k;
        double best = std::hypot(px, py), bestT = 0;
        for (double step = 64, lo = 0, hi = 20000; step > 1e-4; step /= 4) {
            for (double tt = lo; tt <= hi; tt += step) {
                const double d = std::hypot(px + vx * tt, py + vy * tt);
                if (d < best)
                    best = d, bestT = tt;
            }
            lo = std::max(0.0, bestT - step), hi = bestT + step;
        }
        if (bestT >= 19999)
            continue; // beyond the search
        if (bestT <= 0) {
            EXPECT_GE(t->m_cpa, 1e9) << i;
            continue;
        }
        EXPECT_NEAR(t->m_cpa, std::max(best, 0.0001), 0.05 + best * 1e-6) << i;
        EXPECT_NEAR(t->m_tcpa, bestT, 0.05) << i;
    }
}

TEST_F(AISTargets, UpdatesByMessageType)
{
    Published published;
    OwnFix(0, 0);
    // Latitude 91: speed and status, but no position and nothing published.
    Msg m{1, 211000030, 0, 0, 5, 90};
    m.lat = CNEMA_AIS::kNoLatitude;
    CAISTarget* t = Send(m);
    ASSERT_NE(t, nullptr);
    EXPECT_FALSE(t->m_hasPosition);
    EXPECT_FLOAT_EQ(t->m_sog, 5);
    EXPECT_EQ(t->m_statusText, "Under way using engine");
    EXPECT_TRUE(published.seen.empty());

    // MMSIs outside 1..999999999 make no target.
    for (uint32_t bad : {0u, 1000000000u, 4294967295u}) {
        EXPECT_EQ(Send({1, bad, 10, 10, 1, 0}), nullptr) << bad;
    }
    EXPECT_NE(Send({1, 999999999u, 10, 10, 1, 0}), nullptr);

    // Navigation status texts and colours; others count as 0.
    struct Status
    {
        uint32_t status;
        const char* text;
        int r, g, b;
    };
    const Status statuses[] = {{0, "Under way using engine", 0, 220, 0},
                               {1, "At anchor", 128, 128, 128},
                               {3, "RESTRICTED MANOEVRABILITY", 200, 50, 200},
                               {8, "Under way sailing", 0, 148, 234},
                               {14, "Under way using engine", 0, 220, 0}};
    for (const Status& s : statuses) {
        CNEMA_AIS::VDM v(&CNEMA_AIS::VDM::Type);
        Fill(v, {1, 211000031, 3000, 3000, 0, 0});
        v.m_navigationStatus = s.status;
        manager.HandleVDM(v, 1000);
        CAISTarget* st = manager.Find(211000031);
        EXPECT_EQ(st->m_statusText, s.text) << s.status;
        EXPECT_TRUE(Near(st->m_colour, s.r, s.g, s.b)) << s.status;
    }

    // Emergency devices are red and named by their third digit.
    const std::pair<uint32_t, const char*> devices[] = {
        {970000001, "Search and Rescue Transponder"}, {974000001, "EPIRB"}, {972000009, "Man Overboard"}};
    for (const auto& [mmsi, name] : devices) {
        CAISTarget* d = Send({1, mmsi, 20000, 20000, 0, 0});
        EXPECT_EQ(d->m_classText, name);
        EXPECT_TRUE(Near(d->m_colour, 255, 0, 0)) << mmsi;
    }

    // Type 21: one 9-bit dimension fills all four, clamped where 8 bits hold it.
    CNEMA_AIS::VDM aton(&CNEMA_AIS::VDM::Type);
    Fill(aton, {21, 992000001, 500, 500});
    std::strcpy(aton.m_name, "BUOY");
    aton.m_toStern = 300;
    aton.m_aidType = 14;
    manager.HandleVDM(aton, 1000);
    CAISTarget* a = manager.Find(992000001);
    EXPECT_EQ(a->m_toBow, 300);
    EXPECT_EQ(a->m_toStarboard, 255);
    EXPECT_EQ(a->m_tooltip, "\"BUOY\" Aid to Navigation, Type:14, MMSI:992000001");

    // Type 24: part A names, part B sizes; both give the tooltip.
    CNEMA_AIS::VDM b(&CNEMA_AIS::VDM::Type);
    Fill(b, {24, 338000050});
    std::strcpy(b.m_name, "SEA SPRITE");
    manager.HandleVDM(b, 1000);
    b.m_partNumber = 1;
    std::strcpy(b.m_shipTypeText, "Sailing");
    b.m_toBow = 7;
    b.m_toStern = 3;
    manager.HandleVDM(b, 1000);
    EXPECT_EQ(manager.Find(338000050)->m_tooltip,
              "\"SEA SPRITE\" Type:Sailing, LOA:10m\nClass B MMSI:338000050");

    // Summary when there is no tooltip.
    CAISTarget* c = Send({18, 338000051, 100, 100, 4.25f, 10});
    EXPECT_EQ(c->StatusLineText(), "MMSI:338000051, Class B\nSpeed:4.2 kts, n/a");
}

// Class B static reports as heard: a reserved part (2 or 3) names and sizes
// nothing, and an auxiliary craft's part B carries its mother ship's MMSI
// where others carry their size.
TEST_F(AISTargets, StaticReportPartsAsHeard)
{
    const std::string partA = "!AIVDM,1,1,,A,H3KLehP58=@T>1=@58000000000,0*6C";  // "ARCTIC STAR"
    const std::string partB = "!AIVDM,1,1,,A,H3KLehTTFC@0000?8jklm0104220,0*20"; // sailing, 8 + 4 m
    const std::string part3 = "!AIVDM,1,1,,A,H3KLehdt00000000?6ekkjm000000,0*2C";
    const std::string auxB = "!AIVDM,1,1,,A,H>aqL5DjCBD00000000000=ejo20,0*3D"; // pilot of 230108610
    // Lines heard, the station, its tooltip (no target: null) and its beam.
    const std::tuple<std::vector<std::string>, uint32_t, const char*, int> cases[] = {
        {{part3}, 230108610, nullptr, 0},
        {{partA, partB, part3},
         230108610,
         "\"ARCTIC STAR\" Type:Sailing, LOA:12m\nClass B MMSI:230108610",
         4},
        {{partA, part3, part3}, 230108610, "\"ARCTIC STAR\" Type:, LOA:0m\nClass B MMSI:230108610", 0},
        {{auxB}, 983456789, "\"\" Type:Pilot, LOA:0m\nClass B MMSI:983456789", 0},
    };
    for (const auto& [lines, mmsi, tooltip, beam] : cases) {
        manager.Clear();
        for (std::string line : lines)
            DispatchNMEALine(line.data(), nullptr);
        const CAISTarget* t = manager.Find(mmsi);
        EXPECT_EQ(t != nullptr, tooltip != nullptr) << lines.size() << " lines, " << mmsi;
        if (!t || !tooltip)
            continue;
        EXPECT_EQ(t->m_tooltip, tooltip);
        EXPECT_EQ(t->m_toPort + t->m_toStarboard, beam) << tooltip;
    }
}

TEST_F(AISTargets, ManOverboardDeviceMarksAndNavigates)
{
    OwnFix(0, 0);
    CAISTarget* t = Send({1, 972000001, 0, 300, 0, 0});
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(t->m_alarm);
    ASSERT_FALSE(notes.notifier.delivered.empty());
    EXPECT_EQ(notes.notifier.delivered.back().title, "AIS Man Overboard");
    EXPECT_NE(notes.notifier.delivered.back().text.find(" away, bearing "), std::string::npos);
    COverlayMark* mark = CMarkManager::Get().FindMarkByName("AIS MOB: 972000001");
    ASSERT_NE(mark, nullptr);
    EXPECT_NEAR(mark->GetLatitude(), t->m_latitude, 1e-9);
    EXPECT_TRUE(mark->IsLocked());
    EXPECT_EQ(CMarkManager::Get().GetGoto().target, mark);
    // A second report moves the same mark.
    Send({1, 972000001, 0, 320, 0, 0});
    size_t named = 0;
    for (const auto& m : CMarkManager::Get().Marks())
        named += m->GetName() == "AIS MOB: 972000001";
    EXPECT_EQ(named, 1u);
}

TEST_F(AISTargets, SilentTargetsTurnWhiteThenGo)
{
    Published published;
    OwnFix(0, 0);
    CAISTarget* t = Send({18, 338000060, 80, -1852, 6, 0}, 1000);
    Send({1, 211000061, 3000, 3000, 1, 0}, 1300);
    ASSERT_TRUE(t && t->m_alarm);
    manager.SetSelectedMMSI(338000060);
    manager.Age(1000 + 366);
    EXPECT_EQ(t->m_aisState, 18u);
    manager.Age(1000 + 367);
    EXPECT_EQ(t->m_aisState, CAISTarget::kLostContact);
    EXPECT_EQ(t->m_statusText, "Lost contact");
    EXPECT_TRUE(Near(t->m_colour, 255, 255, 255));
    EXPECT_FALSE(t->m_alarm);
    EXPECT_EQ(notes.notifier.log.back(), "remove " + UserNotificationIdentifier(338000060));
    manager.Age(1000 + 601);
    EXPECT_EQ(manager.Find(338000060), nullptr);
    EXPECT_EQ(manager.SelectedMMSI(), 0u);
    EXPECT_NE(manager.Find(211000061), nullptr);
    EXPECT_EQ(published.seen.back(), std::make_pair(338000060u, CAISTarget::kExpired));
}

TEST_F(AISTargets, FullTableGivesWayToTheOldestUnalarmed)
{
    OwnFix(0, 0);
    Send({18, 1, 80, -1852, 6, 0}, 10); // alarmed and oldest: stays
    ASSERT_TRUE(manager.Find(1)->m_alarm);
    for (uint32_t i = 2; i <= CAISTargetManager::kMaxTargets; ++i)
        Send({1, i, 20000, 20000, 0, 0}, 100 + i);
    EXPECT_EQ(manager.Count(), CAISTargetManager::kMaxTargets);
    Send({1, 500000000, 20000, 20000, 0, 0}, 1e6);
    EXPECT_EQ(manager.Count(), CAISTargetManager::kMaxTargets);
    EXPECT_NE(manager.Find(1), nullptr);
    EXPECT_EQ(manager.Find(2), nullptr);
    EXPECT_NE(manager.Find(500000000), nullptr);
}

TEST_F(AISTargets, TransponderDrivesTheOwnShipOnlyWithoutAnotherFix)
{
    struct Case
    {
        const char* what;
        uint8_t status; // own ship before
        bool otherSource;
        uint32_t type;
        double lat;
        bool taken;
    };
    const Case cases[] = {
        {"no fix, type 1", CDataGPSPosition::kNoFix, false, 1, 51, true},
        {"no fix, type 18", CDataGPSPosition::kNoFix, false, 18, 51, true},
        {"other source has a fix", CDataGPSPosition::kGPSFix, true, 1, 51, false},
        {"lost fix of the other source", CDataGPSPosition::kNoFix, true, 1, 51, true},
        {"own earlier fix", CDataGPSPosition::kGPSFix, false, 3, 51, true},
        {"no position", CDataGPSPosition::kNoFix, false, 1, CNEMA_AIS::kNoLatitude, false},
        {"type 5", CDataGPSPosition::kNoFix, false, 5, 51, false},
    };
    int other = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ownShip.SetPosition(40, 0);
        ownShip.m_fixTime = 5;
        ownShip.m_fixStatus = c.status;
        ownShip.m_fixSource = c.otherSource ? static_cast<const void*>(&other) : &manager;
        CNEMA_AIS::VDO s(&CNEMA_AIS::VDO::Type);
        Msg m{c.type, 211000070, 0, 0, 5, 45, 40};
        m.lat = c.lat;
        Fill(s, m);
        manager.HandleVDO(s, 2000);
        EXPECT_EQ(ownShip.m_latitude == 51, c.taken);
        EXPECT_EQ(ownShip.m_fixTime == 2000, c.taken);
        if (c.taken) {
            EXPECT_EQ(ownShip.m_fixStatus, CDataGPSPosition::kGPSFix);
            EXPECT_FLOAT_EQ(ownShip.m_cog, 45);
        }
    }
}

TEST_F(AISTargets, DrawsTheTriangleByHeadingOrUpright)
{
    struct Case
    {
        uint32_t type;
        uint32_t heading;
        bool selected;
        double apexX, apexY; // from the point, at scale 1
    };
    const Case cases[] = {
        {1, 90, false, 11.2, 0},
        {1, CNEMA_AIS::kNoHeading, false, 0, -9.856},
        {18, 90, false, 8.96, 0},
        {18, CNEMA_AIS::kNoHeading, true, 0, -7.885},
        {18, CNEMA_AIS::kNoHeading, false, 0, -7.885},
    };
    std::vector<int> dark;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type * 1000 + c.heading);
        CAISTarget t(211000080);
        CNEMA_AIS::VDM s(&CNEMA_AIS::VDM::Type);
        Fill(s, {c.type, 211000080, 0, 0, 0, 0, c.heading});
        t.Update(s, 100);
        CAISTargetManager::Global().SetSelectedMMSI(c.selected ? 211000080 : 0);
        QImage image(100, 100, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        ScreenPoints record;
        record.screenPoints = {CPolyPoint{50, 50}};
        record.northX = 1;
        QPainter painter(&image);
        t.Draw(painter, CViewTransform{}, record);
        painter.end();
        const QColor want = t.m_colour.ToQColor();
        // Just inside the apex: the target colour; just beyond it: white.
        const double len = std::hypot(c.apexX, c.apexY);
        const double ux = c.apexX / len, uy = c.apexY / len;
        QColor inside =
            image.pixelColor(int(std::lround(50 + ux * len * 0.4)), int(std::lround(50 + uy * len * 0.4)));
        QColor beyond =
            image.pixelColor(int(std::lround(50 + ux * (len + 3))), int(std::lround(50 + uy * (len + 3))));
        EXPECT_NEAR(inside.green(), want.green(), 40);
        EXPECT_NEAR(inside.red(), want.red(), 40);
        EXPECT_EQ(beyond, QColor(Qt::white));
        int n = 0;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x)
                n += image.pixelColor(x, y).lightness() < 100;
        dark.push_back(n);
    }
    // The selected target's outline is thicker than the same one unselected.
    EXPECT_GT(dark[3], dark[4] + 10);
    CAISTargetManager::Global().SetSelectedMMSI(0);
}

} // namespace
