// Tracks: recording from scripted fixes with its statistics, the edits, the
// stored records of "tracks.bin" with its load rules, the race start and the
// simulation track, and the drawn line with its halo.
#include "foundation/notify/StatusLine.h"
#include "foundation/objectfile/Serializable.h"
#include "mapview/overlay/OverlayTool.h"
#include "overlays/gpx/GpxFile.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/TrackManager.h"
#include "support/FixedClock.h"
#include "support/TestChartView.h"

#include <GeographicLib/Geodesic.hpp>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr double kT0 = 1700000000.0;
constexpr double kMetresPerDegree = 111195.0; // near enough for building steps

// Little-endian bytes of a store, written independently of the readers.
struct Bytes
{
    std::string out;
    void U8(uint8_t v) { out.push_back(char(v)); }
    void U32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            out.push_back(char((v >> (8 * i)) & 0xFF));
    }
    void U64(uint64_t v)
    {
        for (int i = 0; i < 8; ++i)
            out.push_back(char((v >> (8 * i)) & 0xFF));
    }
    void F32(float v)
    {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        U32(u);
    }
    void F64(double v)
    {
        uint64_t u;
        std::memcpy(&u, &v, 8);
        U64(u);
    }
    void Str(const std::string& s)
    {
        U32(uint32_t(s.size()));
        out += s;
    }
    // Opens a chunk; Close patches its length.
    size_t Open()
    {
        U8(0xBE);
        U32(0);
        return out.size() - 5;
    }
    void Close(size_t at)
    {
        const uint32_t length = uint32_t(out.size() - at);
        for (int i = 0; i < 4; ++i)
            out[at + 1 + i] = char((length >> (8 * i)) & 0xFF);
    }
};

void Header(Bytes& b)
{
    b.U32(0x73ACF249);
    const size_t v = b.Open();
    b.U32(0x43FB7211);
    b.Close(v);
}

// A section of `count` points along a meridian; elements of `size` bytes.
void Section(Bytes& b, uint32_t count, uint32_t size, double lat0, uint32_t storedCount = 0xFFFFFFFF)
{
    const size_t s = b.Open();
    b.U32(storedCount == 0xFFFFFFFF ? count : storedCount);
    b.U32(size);
    for (uint32_t i = 0; i < count; ++i) {
        Bytes e;
        e.F64(lat0 + i * 0.001);
        e.F64(-4.5);
        e.F64(kT0 + i);
        e.F32(3.5f);
        e.F32(1.25f);
        e.out.resize(size, '\x7');
        b.out += e.out;
    }
    b.Close(s);
}

void Track(Bytes& b, const std::string& name, const std::vector<std::function<void(Bytes&)>>& sections,
           uint64_t syncId, float width = 3.0f, uint32_t pattern = 2, float red = 0.5f)
{
    const size_t t = b.Open();
    b.Str(name);
    b.F32(red);
    b.F32(0.25f);
    b.F32(0.0f);
    b.F32(1.0f);
    b.F32(width);
    b.U32(uint32_t(sections.size()));
    for (const auto& s : sections)
        s(b);
    b.Str("desc " + name);
    b.U32(pattern);
    const size_t sync = b.Open();
    b.U64(syncId);
    b.U8(0);
    b.F64(kT0 + 500);
    b.U8(0);
    b.F64(kT0 - 500);
    b.U8(1);
    b.U8(0);
    b.Close(sync);
    b.Str("cat");
    b.Close(t);
}

std::string Store(const std::vector<std::function<void(Bytes&)>>& tracks)
{
    Bytes b;
    Header(b);
    const size_t m = b.Open();
    b.U32(uint32_t(tracks.size()));
    for (const auto& t : tracks)
        t(b);
    b.Close(m);
    return b.out;
}

std::string GoldenStore()
{
    return Store({
        [](Bytes& b) {
            Track(b, "T1",
                  {[](Bytes& s) { Section(s, 64, 32, 50.0); }, [](Bytes& s) { Section(s, 5, 32, 50.063); }},
                  0x1122334455667788ull);
        },
        [](Bytes& b) { Track(b, "Evening", {[](Bytes& s) { Section(s, 3, 32, 10.0); }}, 0x42); },
    });
}

CDataGPSPosition Fix(double lat, double lon, double time, double sogKnots = 0)
{
    CDataGPSPosition fix;
    fix.SetPosition(lat, lon);
    fix.m_fixTime = time;
    fix.m_fixStatus = CDataGPSPosition::kGPSFix;
    fix.m_altitude = 12.5f;
    fix.m_hdop = 0.9f;
    fix.SetCourseSpeed(0, float(sogKnots));
    return fix;
}

class TrackEvents : public Listener<COverlayTrack>, public Listener<CTrackManager>
{
public:
    void Notify(const COverlayTrack&) override { ++fixes; }
    void Notify(const CTrackManager&) override { ++manager; }
    int fixes = 0;
    int manager = 0;
};

class TrackTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CTrackManager::Get().ClearForTesting();
        CMarkManager::Get().ClearForTesting();
        ClearStatusMessage();
        dir = fs::temp_directory_path() / ("tessa_tracks_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        PersistantData::SetIniPaths((dir / "settings.ini").string(), (dir / "secondary.ini").string());
        CTrackManager::Settings().doRecordTrack = false;
    }
    void TearDown() override
    {
        COverlayTool::EndActiveTool();
        CTrackManager::Get().ClearForTesting();
        CTrackManager::Settings().doRecordTrack = false;
        CMarkManager::Get().ClearForTesting();
        PersistantData::SetIniPaths("", "");
        fs::remove_all(dir);
    }
    CTrackManager& manager() { return CTrackManager::Get(); }
    COverlayTrack* MakeTrack(const std::string& name, size_t points, double step = 0.001, double dt = 30)
    {
        auto track = std::make_unique<COverlayTrack>();
        track->SetName(name);
        for (size_t i = 0; i < points; ++i)
            track->AddPoint(CTrackPoint{50 + double(i) * step, -4 + 0.3 * std::sin(double(i)),
                                        kT0 + dt * double(i), 0, 0},
                            false);
        return manager().AddTrack(std::move(track));
    }
    void StartRecording() { CTrackManager::Settings().doRecordTrack = true; }

    tessatest::CFixedClock clock{kT0};
    fs::path dir;
};

bool SamePoints(const std::vector<CTrackPoint>& a, const std::vector<CTrackPoint>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(CTrackPoint)) == 0;
}

// Each later section starts with the previous section's last point.
bool SectionsChain(const COverlayTrack& track)
{
    const auto& s = track.Sections();
    for (size_t i = 1; i < s.size(); ++i)
        if (s[i]->Count() == 0 || std::memcmp(&s[i]->Point(0), &s[i - 1]->Last(), sizeof(CTrackPoint)) != 0)
            return false;
    return true;
}

} // namespace

TEST_F(TrackTest, RecordingFollowsTheGapTimeAndDistanceRules)
{
    // Steps after a first fix at (50, -4): seconds and metres north.
    const struct
    {
        const char* what;
        double dt, north;
        size_t tracks, points; // after the step
    } cases[] = {
        {"5 s and 3 m apart is skipped", 5, 3, 1, 1},
        {"20 s later is kept", 20, 0, 1, 2},
        {"25 m away is kept", 5, 25, 1, 2},
        {"the same time 25 m away is skipped", 0, 25, 1, 1},
        {"6 h and 1 s later starts a new track", 21601, 0, 2, 1},
        {"exactly 6 h later is kept", 21600, 0, 1, 2},
        {"an earlier time starts a new track", -1, 0, 2, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        manager().ClearForTesting();
        StartRecording();
        TrackEvents events;
        manager().OnGPSPosition(Fix(50, -4, kT0));
        manager().OnGPSPosition(Fix(50 + c.north / kMetresPerDegree, -4, kT0 + c.dt));
        EXPECT_EQ(events.fixes, 2); // also for skipped fixes
        ASSERT_EQ(manager().Tracks().size(), c.tracks);
        const COverlayTrack& last = *manager().Tracks().back();
        EXPECT_EQ(last.PointCount(), c.points);
        EXPECT_EQ(last.GetName(), std::string("T").append(std::to_string(c.tracks)));
        EXPECT_EQ(last.LastPoint().hdop, 0.9f);
        EXPECT_EQ(last.LastPoint().altitude, 12.5f);
    }
}

TEST_F(TrackTest, RecordingStartsATrackWhenTheLastIsMissingOrDeleted)
{
    StartRecording();
    manager().OnGPSPosition(Fix(50, -4, kT0));
    ASSERT_EQ(manager().Tracks().size(), 1u);
    // Recording stays on only through the setting; the deleted track is never reused.
    COverlayTrack* first = manager().Tracks().back().get();
    first->MarkDeleted();
    manager().OnGPSPosition(Fix(50.1, -4, kT0 + 30));
    ASSERT_EQ(manager().Tracks().size(), 2u);
    EXPECT_EQ(first->PointCount(), 1u);
    EXPECT_EQ(manager().Tracks().back()->PointCount(), 1u);
    // No fix, or recording off: nothing.
    CDataGPSPosition none = Fix(50.2, -4, kT0 + 60);
    none.m_fixStatus = CDataGPSPosition::kNoFix;
    manager().OnGPSPosition(none);
    CTrackManager::Settings().doRecordTrack = false;
    manager().OnGPSPosition(Fix(50.3, -4, kT0 + 90));
    EXPECT_EQ(manager().Tracks().back()->PointCount(), 1u);
}

TEST_F(TrackTest, SixtyFifthPointStartsASectionWithACopyOfTheSixtyFourth)
{
    COverlayTrack* track = MakeTrack("S", 64 + 63 + 1);
    ASSERT_EQ(track->Sections().size(), 3u);
    EXPECT_EQ(track->Sections()[0]->Count(), 64u);
    EXPECT_EQ(track->Sections()[1]->Count(), 64u);
    EXPECT_EQ(track->Sections()[2]->Count(), 2u);
    EXPECT_TRUE(SectionsChain(*track));
    EXPECT_EQ(track->PointCount(), 128u);
}

TEST_F(TrackTest, MovingTimeAndMaximumSpeedMatchHandWorkedSequences)
{
    // Fixes 20 s apart with metres north each: the recorded statistics take
    // d/dt; the recomputed ones keep the maximum only below 1.25 x smoothed.
    const struct
    {
        std::vector<double> steps;
        double moving, maxRecorded, maxComputed;
    } cases[] = {
        {{200, 0, 100}, 40, 10, 0},
        {{100, 100, 100, 100, 110}, 100, 5.5, 5.5},
        {{5, 5}, 0, 0, 0}, // 0.25 m/s is stopped
    };
    for (const auto& c : cases) {
        manager().ClearForTesting();
        StartRecording();
        double lat = 50, t = kT0, total = 0;
        manager().OnGPSPosition(Fix(lat, -4, t));
        for (double north : c.steps) {
            lat += north / 111250.0;
            t += 20;
            total += north;
            manager().OnGPSPosition(Fix(lat, -4, t));
        }
        COverlayTrack& track = *manager().Tracks().back();
        EXPECT_NEAR(track.CachedMovingTime(), c.moving, 1e-9);
        EXPECT_NEAR(track.CachedMaxSpeed(), c.maxRecorded, 0.05);
        EXPECT_NEAR(track.CachedDistance(), total, total * 0.003 + 1e-9);
        double moving = 0, maxSpeed = 0;
        const double distance = track.TotalDistance(moving, maxSpeed);
        EXPECT_NEAR(distance, total, total * 0.003 + 1e-9);
        EXPECT_NEAR(moving, c.moving, 1e-9);
        EXPECT_NEAR(maxSpeed, c.maxComputed, 0.05);
        EXPECT_NEAR(track.StoppedTime(), 20.0 * double(c.steps.size()) - c.moving, 1e-9);
        EXPECT_NEAR(track.ElapsedTime(), 20.0 * double(c.steps.size()), 1e-9);
    }
}

TEST_F(TrackTest, LongPassageMeasuresLikeTheGeodesic)
{
    // 600 km north-south, and 600 km east-west at 50 degrees north.
    const struct
    {
        double lat0, lon0, dLat, dLon;
    } cases[] = {{30, -20, 600000 / kMetresPerDegree, 0}, {50, -10, 0, 8.4}};
    for (const auto& c : cases) {
        auto track = std::make_unique<COverlayTrack>();
        const int n = 3000;
        for (int i = 0; i <= n; ++i)
            track->AddPoint(CTrackPoint{c.lat0 + c.dLat * i / n, c.lon0 + c.dLon * i / n, kT0 + i, 0, 0},
                            false);
        double moving, maxSpeed, s12 = 0;
        const double distance = track->TotalDistance(moving, maxSpeed);
        double expected = 0;
        for (int i = 0; i < n; ++i) {
            GeographicLib::Geodesic::WGS84().Inverse(c.lat0 + c.dLat * i / n, c.lon0 + c.dLon * i / n,
                                                     c.lat0 + c.dLat * (i + 1) / n,
                                                     c.lon0 + c.dLon * (i + 1) / n, s12);
            expected += s12;
        }
        EXPECT_NEAR(distance, expected, expected * 0.005);
    }
}

TEST_F(TrackTest, SplitThenJoinGivesBackThePointsAtEveryIndex)
{
    COverlayTrack* model = MakeTrack("M", 150);
    const std::vector<CTrackPoint> points = model->AllPoints();
    const size_t sections = model->Sections().size();
    for (size_t s = 0; s < sections; ++s) {
        for (uint32_t i = 0; i < model->Sections()[s]->Count(); ++i) {
            SCOPED_TRACE("section " + std::to_string(s) + " index " + std::to_string(i));
            COverlayTrack* track = MakeTrack("A", 0);
            track->SetPoints(points);
            COverlayTrack* tail = track->Split(track->Sections()[s].get(), i);
            ASSERT_NE(tail, nullptr);
            EXPECT_EQ(tail->GetName(), "A-split");
            EXPECT_TRUE(SectionsChain(*track));
            EXPECT_TRUE(SectionsChain(*tail));
            EXPECT_EQ(track->PointCount() + tail->PointCount(),
                      points.size() + (tail->HasPoints() && track->HasPoints()));
            if (tail->HasPoints()) {
                EXPECT_EQ(tail->GetCreated(), tail->FirstPoint().time);
            }
            ASSERT_TRUE(track->Join(tail));
            EXPECT_TRUE(tail->IsDeleted());
            EXPECT_TRUE(SamePoints(track->AllPoints(), points));
            manager().DeleteTrack(track);
        }
    }
    // At the last point of the last section: an empty "-split" track.
    COverlayTrack* whole = MakeTrack("W", 10);
    COverlayTrack* empty =
        whole->Split(whole->Sections().back().get(), whole->Sections().back()->Count() - 1);
    ASSERT_NE(empty, nullptr);
    EXPECT_FALSE(empty->HasPoints());
    EXPECT_EQ(whole->PointCount(), 10u);
}

TEST_F(TrackTest, JoinRefusesItselfAndDeletedTracks)
{
    COverlayTrack* a = MakeTrack("A", 10);
    COverlayTrack* b = MakeTrack("B", 10);
    COverlayTrack* gone = MakeTrack("C", 10);
    manager().DeleteTrack(gone);
    const double modified = a->GetModified();
    clock.Advance(10);
    EXPECT_FALSE(a->Join(a));
    EXPECT_FALSE(a->Join(gone));
    EXPECT_FALSE(a->Join(nullptr));
    EXPECT_FALSE(a->IsDeleted());
    EXPECT_EQ(a->PointCount(), 10u);
    EXPECT_EQ(a->GetModified(), modified);
    // A gap between the ends is bridged by the other's first point.
    ASSERT_TRUE(a->Join(b));
    EXPECT_EQ(a->PointCount(), 20u);
    EXPECT_TRUE(SectionsChain(*a));
}

TEST_F(TrackTest, NewTracksGoBeforeTheRecordedTrack)
{
    StartRecording();
    manager().OnGPSPosition(Fix(50, -4, kT0));
    COverlayTrack* recorded = manager().Tracks().back().get();
    COverlayTrack* other = MakeTrack("Other", 100);
    EXPECT_EQ(manager().Tracks().back().get(), recorded);
    other->Split(other->Sections()[0].get(), 10);
    EXPECT_EQ(manager().Tracks().back().get(), recorded);
    // Splitting the recorded track itself: the tail goes on recording.
    for (int i = 1; i < 5; ++i)
        manager().OnGPSPosition(Fix(50 + i * 0.001, -4, kT0 + 30 * i));
    COverlayTrack* tail = recorded->Split(recorded->Sections()[0].get(), 2);
    EXPECT_EQ(manager().Tracks().back().get(), tail);
    EXPECT_EQ(manager().NextTrackName(), "T2");
}

TEST_F(TrackTest, ConversionsNameTheResultAndKeepThePoints)
{
    COverlayTrack* track = MakeTrack("Passage", 5, 0.01);
    const std::vector<CTrackPoint> points = track->AllPoints();
    COverlayRoute* route = track->ConvertToRoute();
    ASSERT_NE(route, nullptr);
    EXPECT_EQ(route->GetName(), "Passage-converted");
    EXPECT_TRUE(track->IsDeleted());
    ASSERT_EQ(route->PointCount(), points.size());
    for (size_t i = 0; i < points.size(); ++i) {
        EXPECT_EQ(route->Points()[i]->GetLatitude(), points[i].latitude);
        EXPECT_EQ(route->Points()[i]->GetIcon(), "Dot");
    }
    COverlayTrack* back = route->ConvertToTrack();
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetName(), "Passage-converted-converted");
    EXPECT_TRUE(route->IsDeleted());
    const std::vector<CTrackPoint> again = back->AllPoints();
    ASSERT_EQ(again.size(), points.size());
    for (size_t i = 0; i < points.size(); ++i) {
        EXPECT_EQ(again[i].latitude, points[i].latitude);
        EXPECT_EQ(again[i].longitude, points[i].longitude);
        EXPECT_EQ(again[i].time, 0.0);
    }
}

TEST_F(TrackTest, SimplifyIsIdempotentAndKeepsCorners)
{
    // Dense points on two straight legs: the corner and the ends stay.
    auto track = std::make_unique<COverlayTrack>();
    for (int i = 0; i <= 300; ++i) {
        const double lat = i <= 150 ? 50 + i * 1e-5 : 50 + 150e-5;
        const double lon = i <= 150 ? -4 : -4 + (i - 150) * 1.6e-5;
        track->AddPoint(CTrackPoint{lat, lon, kT0 + i, 0, 0}, false);
    }
    EXPECT_GT(track->Simplify(4.0), 250u);
    const std::vector<CTrackPoint> once = track->AllPoints();
    EXPECT_EQ(track->Simplify(4.0), 0u);
    EXPECT_TRUE(SectionsChain(*track));
    ASSERT_GE(once.size(), 3u);
    EXPECT_EQ(once.front().time, kT0);
    EXPECT_EQ(once.back().time, kT0 + 300);
    bool corner = false;
    for (const CTrackPoint& p : once)
        corner = corner || p.time == kT0 + 150;
    EXPECT_TRUE(corner);
}

TEST_F(TrackTest, GoldenStoreReadsAndWritesByteForByte)
{
    const std::string golden = GoldenStore();
    CTrackManager store;
    std::string error;
    ASSERT_TRUE(
        store.LoadFromBuffer(golden.data(), golden.size(), {}, nullptr, CTrackManager::kFileId, &error))
        << error;
    ASSERT_EQ(store.Tracks().size(), 2u);
    const COverlayTrack& t1 = *store.Tracks()[0];
    EXPECT_EQ(t1.GetName(), "T1");
    EXPECT_EQ(t1.GetDescription(), "desc T1");
    EXPECT_EQ(t1.GetCategory(), "cat");
    EXPECT_EQ(t1.Sections().size(), 2u);
    EXPECT_EQ(t1.PointCount(), 68u); // the boundary point is shared
    EXPECT_EQ(t1.GetLineStyle().width, 3.0f);
    EXPECT_EQ(t1.GetLineStyle().pattern, 2u);
    EXPECT_EQ(t1.Sections()[1]->Point(4).hdop, 1.25f);
    EXPECT_EQ(store.Tracks()[1]->PointCount(), 3u);
    std::string written;
    ASSERT_TRUE(store.SaveToBuffer(written, {}, nullptr, CTrackManager::kFileId));
    EXPECT_EQ(written, golden);
    // Every prefix is refused or read without harm.
    for (size_t n = 0; n < golden.size(); ++n) {
        CTrackManager part;
        EXPECT_FALSE(part.LoadFromBuffer(golden.data(), n, {}, nullptr, CTrackManager::kFileId)) << n;
    }
}

TEST_F(TrackTest, BadSectionsAndFieldsAreLeftOutOrMended)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct
    {
        const char* what;
        std::function<void(Bytes&)> section;
        float width;
        uint32_t pattern;
        float red;
        size_t points;
        float hdop, widthRead, redRead;
        uint32_t patternRead;
    } cases[] = {
        {"24-byte elements", [](Bytes& b) { Section(b, 4, 24, 10); }, 3, 1, 0.5f, 4, 0, 3, 0.5f, 1},
        {"40-byte elements", [](Bytes& b) { Section(b, 4, 40, 10); }, 3, 1, 0.5f, 4, 1.25f, 3, 0.5f, 1},
        {"65 points", [](Bytes& b) { Section(b, 65, 32, 10); }, 3, 1, 0.5f, 0, 0, 3, 0.5f, 1},
        {"element size 0", [](Bytes& b) { Section(b, 0, 0, 10, 5); }, 3, 1, 0.5f, 0, 0, 3, 0.5f, 1},
        {"points past the record", [](Bytes& b) { Section(b, 2, 32, 10, 9); }, 3, 1, 0.5f, 0, 0, 3, 0.5f, 1},
        {"huge element size", [](Bytes& b) { Section(b, 0, 0x80000000u, 10, 1); }, 3, 1, 0.5f, 0, 0, 3, 0.5f,
         1},
        {"width inf, pattern 9, red 7", [](Bytes& b) { Section(b, 3, 32, 10); }, inf, 9, 7, 3, 1.25f, 2, 1,
         0},
        {"width NaN, red NaN", [](Bytes& b) { Section(b, 3, 32, 10); }, nan, 4, nan, 3, 1.25f, 2, 0, 4},
        {"width negative", [](Bytes& b) { Section(b, 3, 32, 10); }, -1, 0, 0, 3, 1.25f, 2, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string bytes = Store({
            [&](Bytes& b) {
                Track(b, "Bad", {c.section, [](Bytes& s) { Section(s, 3, 32, 20); }}, 7, c.width, c.pattern,
                      c.red);
            },
        });
        CTrackManager store;
        std::string error;
        ASSERT_TRUE(
            store.LoadFromBuffer(bytes.data(), bytes.size(), {}, nullptr, CTrackManager::kFileId, &error))
            << error;
        ASSERT_EQ(store.Tracks().size(), 1u);
        const COverlayTrack& t = *store.Tracks()[0];
        ASSERT_EQ(t.Sections().size(), c.points ? 2u : 1u);
        EXPECT_EQ(t.GetCategory(), "cat"); // the rest of the record still reads
        if (c.points) {
            EXPECT_EQ(t.Sections()[0]->Count(), c.points);
            EXPECT_EQ(t.Sections()[0]->Point(1).hdop, c.hdop);
            EXPECT_EQ(t.Sections()[0]->Point(1).time, kT0 + 1);
        }
        EXPECT_EQ(t.GetLineStyle().width, c.widthRead);
        EXPECT_EQ(t.GetLineStyle().pattern, c.patternRead);
        float r, g, b, a;
        t.GetLineStyle().colour.GetComponentsF(r, g, b, a);
        EXPECT_EQ(r, c.redRead);
    }
}

TEST_F(TrackTest, NonFinitePointsAreDropped)
{
    Bytes b;
    Header(b);
    const size_t m = b.Open();
    b.U32(1);
    Track(b, "N", {[](Bytes& s) {
              const size_t at = s.Open();
              s.U32(3);
              s.U32(32);
              const double values[3] = {10.0, std::nan(""), 10.2};
              for (int i = 0; i < 3; ++i) {
                  s.F64(values[i]);
                  s.F64(1);
                  s.F64(kT0 + i);
                  s.F32(0);
                  s.F32(i == 2 ? INFINITY : 0.0f);
              }
              s.Close(at);
          }},
          0);
    b.Close(m);
    CTrackManager store;
    ASSERT_TRUE(store.LoadFromBuffer(b.out.data(), b.out.size(), {}, nullptr, CTrackManager::kFileId));
    ASSERT_EQ(store.Tracks().size(), 1u);
    EXPECT_EQ(store.Tracks()[0]->PointCount(), 1u);
}

TEST_F(TrackTest, LoadDropsTrivialTracksAndThinsDenseOnesOnce)
{
    COverlayTrack* trivial = MakeTrack("Short", 2);
    COverlayTrack* chunk = MakeTrack(":chunk 4", 20);
    COverlayTrack* synced = MakeTrack("Synced", 2);
    synced->GetSyncId();
    COverlayTrack* dense = MakeTrack("Dense", 400, 1e-6, 1); // one second apart, straight
    MakeTrack("Sparse", 400, 1e-6, 60);
    (void)trivial;
    (void)chunk;
    (void)dense;
    const std::string folder = dir.string();
    // Tracks from a file are kept however short; recording's are not.
    const std::string gpx = folder + "/short.gpx";
    std::ofstream(gpx)
        << "<gpx><trk><name>Two</name><trkseg><trkpt lat='1' lon='1'/><trkpt lat='1.1' lon='1'/>"
           "</trkseg></trk><trk><name>One</name><trkseg><trkpt lat='2' lon='2'/></trkseg></trk></gpx>";
    ASSERT_TRUE(ImportGPXFile(gpx));
    const std::vector<std::string> kept{"Synced", "Dense", "Sparse", "Two", "One"};
    auto names = [this] {
        std::vector<std::string> out;
        for (const auto& t : manager().Tracks())
            out.push_back(t->GetName());
        return out;
    };
    ASSERT_TRUE(manager().SaveStore(folder));
    ASSERT_TRUE(manager().LoadStore(folder));
    EXPECT_EQ(names(), kept);
    const COverlayTrack* thinned = manager().Tracks()[1].get();
    EXPECT_LT(thinned->PointCount(), 400u);
    EXPECT_EQ(manager().Tracks()[2]->PointCount(), 400u);
    const size_t count = thinned->PointCount();
    const double modified = thinned->GetModified();
    clock.Advance(100);
    ASSERT_TRUE(manager().SaveStore(folder));
    ASSERT_TRUE(manager().LoadStore(folder));
    EXPECT_EQ(names(), kept);
    EXPECT_EQ(manager().Tracks()[1]->PointCount(), count);
    EXPECT_EQ(manager().Tracks()[1]->GetModified(), modified);
    EXPECT_EQ(manager().Tracks()[3]->PointCount(), 2u);
}

TEST_F(TrackTest, RefusedStoreIsKeptAsideBeforeTheNextSave)
{
    const std::string folder = dir.string();
    const std::string path = folder + "/tracks.bin";
    std::string bad = GoldenStore();
    bad.resize(bad.size() - 7);
    std::ofstream(path, std::ios::binary) << bad;
    EXPECT_FALSE(manager().LoadStore(folder));
    EXPECT_NE(GetStatusMessage().find("kept aside"), std::string::npos);
    EXPECT_TRUE(manager().Tracks().empty());
    ASSERT_TRUE(manager().SaveStore(folder));
    size_t aside = 0;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().rfind("tracks.bin.unreadable", 0) == 0) {
            ++aside;
            EXPECT_EQ(fs::file_size(e.path()), bad.size());
        }
    EXPECT_EQ(aside, 1u);
}

TEST_F(TrackTest, StoreBeyondTheReadersLimitIsRefusedAndTheOldFileKept)
{
    const std::string folder = dir.string();
    MakeTrack("Small", 10);
    ASSERT_TRUE(manager().SaveStore(folder));
    const auto before = fs::file_size(folder + "/tracks.bin");
    auto big = std::make_unique<COverlayTrack>();
    big->SetName("Big");
    for (size_t i = 0; i < 3200000; ++i)
        big->AddPoint(CTrackPoint{50 + double(i % 1000) * 1e-4, -4, kT0 + double(i), 0, 0}, false);
    manager().AddTrack(std::move(big));
    std::string error;
    EXPECT_FALSE(manager().SaveStore(folder, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(fs::file_size(folder + "/tracks.bin"), before);
    CTrackManager reread;
    EXPECT_TRUE(reread.LoadTracks(folder + "/tracks.bin"));
    EXPECT_EQ(reread.Tracks().size(), 1u);
}

TEST_F(TrackTest, StartTimerActsOncePerStartTime)
{
    CDataStartTimer timer;
    timer.m_newTrackAtStart = true;
    timer.m_timeOfStart = kT0 + 300;
    StartRecording();
    manager().OnGPSPosition(Fix(50, -4, kT0));
    for (int i = 0; i < 3; ++i)
        manager().OnStartTimer(timer);
    EXPECT_TRUE(manager().IsRecording());
    int started = 0;
    for (const auto& t : manager().Tracks())
        started += !t->IsDeleted() && t->GetName().rfind("Start at ", 0) == 0;
    EXPECT_EQ(started, 1);
    EXPECT_EQ(manager().Tracks().back()->GetName().rfind("Start at ", 0), 0u);
    // A start more than an hour ahead, or already past, does nothing.
    const size_t tracks = manager().Tracks().size();
    timer.m_timeOfStart = kT0 + 3600;
    manager().OnStartTimer(timer);
    timer.m_timeOfStart = kT0 - 1;
    manager().OnStartTimer(timer);
    EXPECT_EQ(manager().Tracks().size(), tracks);
    // Clearing the start ends the recording begun for it, once.
    timer.m_timeOfStart = 0;
    manager().OnStartTimer(timer);
    EXPECT_FALSE(manager().IsRecording());
}

TEST_F(TrackTest, SimulationRewindKeepsRecording)
{
    StartRecording();
    TrackEvents events;
    manager().BeginSimulationTrack();
    ASSERT_EQ(manager().Tracks().back()->GetName(), "Simulation");
    EXPECT_TRUE(manager().Tracks().back()->IsDoNotSync());
    manager().OnGPSPosition(Fix(50, -4, kT0));
    manager().BeginSimulationTrack(); // rewind
    EXPECT_TRUE(manager().IsRecording());
    EXPECT_EQ(manager().Tracks().back()->GetName(), "Simulation");
    EXPECT_FALSE(manager().Tracks().back()->IsDeleted());
    // Closing the simulation drops its track but keeps the choice to record,
    // so a quit with recording on starts recording again.
    manager().EndSimulationTrack();
    EXPECT_TRUE(manager().Tracks().back()->IsDeleted());
    EXPECT_TRUE(manager().IsRecording());
    EXPECT_GE(events.manager, 1);
}

TEST_F(TrackTest, ToggleRecordingNamesAndDropsTrivialTracks)
{
    MakeTrack("T7", 5);
    MakeTrack("Tx", 5);
    manager().ToggleRecording();
    EXPECT_TRUE(manager().IsRecording());
    EXPECT_EQ(manager().Tracks().back()->GetName(), "T8");
    manager().ToggleRecording();
    EXPECT_TRUE(manager().Tracks().back()->IsDeleted());
    manager().PurgeTombstones(0);
    EXPECT_EQ(manager().Tracks().size(), 2u);
}

namespace {

class SectionTool : public COverlayTool
{
public:
    explicit SectionTool(COverlayObject* section) : m_section(section) {}
    COverlayObject* GetTrackSection() const override { return m_section; }

private:
    COverlayObject* m_section;
};

} // namespace

class TrackDraw : public TrackTest, public ::testing::WithParamInterface<double>
{
};

TEST_P(TrackDraw, LineAndHaloAreDrawnInDevicePixels)
{
    const double dpr = GetParam();
    COverlayTrack* track = MakeTrack("D", 3);
    track->GetLineStyle().colour = GraphicsColor{1, 0, 0, 1};
    track->GetLineStyle().width = 2;
    CTrackSection& section = *track->Sections()[0];
    ScreenPoints record;
    record.screenPoints = {{10, 50}, {100, 50}, {190, 50}};
    for (bool halo : {false, true}) {
        if (halo)
            COverlayTool::SetActiveTool(std::make_unique<SectionTool>(&section));
        QImage image(int(200 * dpr), int(100 * dpr), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            section.Draw(painter, CViewTransform{}, record);
        }
        const QRgb centre = image.pixel(int(100 * dpr), int(50 * dpr));
        EXPECT_GT(qRed(centre), 200);
        EXPECT_LT(qGreen(centre), 60);
        // The halo (3.6 points wide) shows just beside the 2-point line.
        const QRgb beside = image.pixel(int(100 * dpr), int((50 + 1.6) * dpr));
        if (halo)
            EXPECT_LT(qRed(beside) + qGreen(beside) + qBlue(beside), 150) << dpr;
        else
            EXPECT_GT(qGreen(beside), 200) << dpr;
    }
}

// A line reaching far beyond the picture is stroked only where it can show,
// and its pixels are kept for redraws of a view that stands still: what shows
// must be the whole line's pixels on every draw, with and without the halo,
// at either end and where the line leaves and comes back.
TEST_P(TrackDraw, LinesReachingFarOutsideGiveTheWholeLinesPixels)
{
    const double dpr = GetParam();
    COverlayTrack* track = MakeTrack("F", 3);
    track->GetLineStyle().colour = GraphicsColor{0, 0, 1, 1};
    track->GetLineStyle().width = 3;
    CTrackSection& section = *track->Sections()[0];
    ScreenPoints record;
    // It starts just beyond the left edge, near enough for the halo to show.
    record.screenPoints = {CPolyPoint{-103, -300}, CPolyPoint{-103, 50}};
    for (int i = 0; i < 62; ++i) {
        const double x = -3000 + i * 100.0;
        record.screenPoints.push_back(CPolyPoint{x, 50 + 40 * std::sin(i * 0.7) + (i % 7 == 3 ? 400 : 0)});
    }
    const struct
    {
        bool halo;
        bool scrolled; // by the painter, else by the points
    } steps[] = {{false, true}, {true, true}, {false, false}, {true, false}, {false, false}};
    for (const auto& step : steps) {
        const bool halo = step.halo;
        if (halo)
            COverlayTool::SetActiveTool(std::make_unique<SectionTool>(&section));
        else
            COverlayTool::EndActiveTool();
        // The view scrolled: the part in the picture is near the line's middle.
        const double shift = -3000 + 3100;
        ScreenPoints shown = record;
        if (!step.scrolled)
            for (CPolyPoint& p : shown.screenPoints)
                p.x += shift;
        QImage drawn(int(200 * dpr), int(100 * dpr), QImage::Format_ARGB32_Premultiplied);
        drawn.setDevicePixelRatio(dpr);
        drawn.fill(Qt::white);
        QImage whole = drawn.copy();
        for (int draw = 0; draw < 3; ++draw) {
            QPainter painter(&drawn);
            if (step.scrolled)
                painter.translate(shift, 0);
            section.Draw(painter, CViewTransform{}, shown);
        }
        {
            QPainter painter(&whole);
            if (step.scrolled)
                painter.translate(shift, 0);
            std::vector<QPointF> line;
            for (const CPolyPoint& p : shown.screenPoints)
                line.emplace_back(p.x, p.y);
            if (halo) {
                QPen pen(QColor(0, 0, 0));
                pen.setWidthF((3 * 1.1 + 1.4) * dpr);
                pen.setCapStyle(Qt::RoundCap);
                pen.setJoinStyle(Qt::RoundJoin);
                painter.setPen(pen);
                painter.drawPolyline(line.data(), int(line.size()));
            }
            track->GetLineStyle().Apply(painter);
            painter.drawPolyline(line.data(), int(line.size()));
        }
        EXPECT_EQ(drawn, whole) << "halo " << halo << " scrolled " << step.scrolled;
        int blue = 0;
        for (int x = 0; x < drawn.width(); ++x)
            for (int y = 0; y < drawn.height(); ++y)
                blue += qBlue(drawn.pixel(x, y)) > 200 && qRed(drawn.pixel(x, y)) < 50;
        EXPECT_GT(blue, 100);
    }
    COverlayTool::EndActiveTool();
}

INSTANTIATE_TEST_SUITE_P(Scales, TrackDraw, ::testing::Values(1.0, 2.0));

TEST_F(TrackTest, OnlySectionsInTheViewAreProjectedAndDrawn)
{
    tessatest::CTestChartView chart(400, 300);
    ASSERT_TRUE(chart.IsOpen());
    CRasterleafView& view = *chart.view;
    view.GoToPosition(8, 0, 0);
    view.ZoomAboutCentre(-1);
    view.ZoomAboutCentre(-1);
    auto far = std::make_unique<COverlayTrack>();
    auto near = std::make_unique<COverlayTrack>();
    for (int i = 0; i < 10; ++i) {
        far->AddPoint(CTrackPoint{15 + i * 0.01, 15, kT0 + i, 0, 0}, false);
        near->AddPoint(CTrackPoint{8 + i * 0.01, 0, kT0 + i, 0, 0}, false);
    }
    COverlayTrack* farTrack = manager().AddTrack(std::move(far));
    COverlayTrack* nearTrack = manager().AddTrack(std::move(near));
    farTrack->NotifySections(COverlayObject::kChanged);
    nearTrack->NotifySections(COverlayObject::kChanged);
    QImage image(400, 300, QImage::Format_ARGB32_Premultiplied);
    {
        QPainter painter(&image);
        view.Draw(painter, QRectF(0, 0, 400, 300));
    }
    auto find = [&](const COverlayObject* object) -> const COverlayDisplayList::Entry* {
        for (const auto& [key, entry] : view.DisplayedOverlays().Entries())
            if (entry.object == object)
                return &entry;
        return nullptr;
    };
    const auto* farEntry = find(farTrack->Sections()[0].get());
    const auto* nearEntry = find(nearTrack->Sections()[0].get());
    ASSERT_NE(farEntry, nullptr);
    ASSERT_NE(nearEntry, nullptr);
    EXPECT_TRUE(farEntry->record.screenPoints.empty());
    EXPECT_EQ(nearEntry->record.screenPoints.size(), 10u);
    manager().ClearForTesting();
}
