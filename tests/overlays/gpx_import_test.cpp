// GPX import of marks, routes and tracks: files from other programs, round trips of
// our own exports, and hostile values that must never reach a store.
#include "foundation/events/Heartbeat.h"
#include "foundation/jobs/JobPorts.h"
#include "foundation/jobs/ProgressWatch.h"
#include "foundation/notify/StatusLine.h"
#include "foundation/util/Xml.h"
#include "overlays/gpx/GpxFile.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/OverlayTrack.h"
#include "overlays/model/SaveAllData.h"
#include "overlays/model/TrackManager.h"
#include "support/FixedClock.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

class GpxImportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CMarkManager::Get().ClearForTesting();
        CTrackManager::Get().ClearForTesting();
        dir = tessatest::MakeScratchDir("gpx_import");
        InstallPort<ISaveAllPort>(&saver);
    }
    void TearDown() override
    {
        InstallPort<ISaveAllPort>(nullptr);
        CMarkManager::Get().ClearForTesting();
        CTrackManager::Get().ClearForTesting();
        CTrackManager::Settings().doRecordTrack = false;
        fs::remove_all(dir);
    }
    std::string Write(const std::string& text)
    {
        std::string path = dir + "/in.gpx";
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    static const std::vector<std::unique_ptr<COverlayMark>>& Marks() { return CMarkManager::Get().Marks(); }
    static const std::vector<std::unique_ptr<COverlayRoute>>& Routes()
    {
        return CMarkManager::Get().Routes();
    }
    static const std::vector<std::unique_ptr<COverlayTrack>>& Tracks()
    {
        return CTrackManager::Get().Tracks();
    }

    tessatest::CFixedClock clock;
    std::string dir;
    // Every import ends by saving all data.
    struct CountingSaver : ISaveAllPort
    {
        bool SaveAllData() override { return ++saves, !fail; }
        int saves = 0;
        bool fail = false;
    } saver;
};

struct CTrackRow
{
    std::string name;
    size_t points; // for a thinned track: the points in the file
    double first = 0, last = 0;
    bool thinned = false;
};

TEST_F(GpxImportTest, ReadsFilesFromOtherPrograms)
{
    const struct
    {
        const char* file;
        std::vector<std::string> marks;
        std::vector<size_t> route_points;
        std::vector<CTrackRow> tracks;
    } cases[] = {
        {"gpx1.1_with_all_fields.gpx",
         {"example name", ""},
         {3, 2},
         {{"example name t", 1, 1357041604, 1357041604}, {"", 0}}},
        {"korita-zbevnica.gpx",
         {"001", "002"},
         {},
         {{"03-OCT-10", 0},
          {"03-OCT-10 #2", 358, 0, 0, true},
          {"ACTIVE LOG", 176, 1286098590, 1286103142},
          {"ACTIVE LOG #2", 337, 1286103430, 1286111971}}},
        {"route.gpx", {}, {55}, {}},
        {"track-with-empty-segment.gpx", {}, {}, {{"2013-07-06T14:59:00Z", 9, 1373131586, 1373131662}}},
        {"unicode_with_bom.gpx", {"test"}, {}, {}},
        {"unicode_with_bom_noencoding.gpx", {"bom noencoding \xC5\x91"}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        std::string path = tessatest::TestDataFile(std::string("gpx/") + c.file);
        if (path.empty())
            GTEST_SKIP() << "../shared/testdata/gpx not found; skipping";
        CMarkManager::Get().ClearForTesting();
        CTrackManager::Get().ClearForTesting();
        saver.saves = 0;
        EXPECT_TRUE(ImportGPXFile(path));
        EXPECT_EQ(saver.saves, 1);
        ASSERT_EQ(Tracks().size(), c.tracks.size());
        for (size_t i = 0; i < c.tracks.size(); ++i) {
            const COverlayTrack& t = *Tracks()[i];
            const CTrackRow& row = c.tracks[i];
            SCOPED_TRACE(row.name);
            EXPECT_EQ(t.GetName(), row.name);
            EXPECT_TRUE(row.thinned ? t.PointCount() < row.points : t.PointCount() == row.points)
                << t.PointCount();
            for (const CTrackPoint& p : t.AllPoints()) {
                EXPECT_TRUE(p.altitude > 10 && p.altitude < 2000) << p.altitude;
                EXPECT_EQ(p.time != 0, row.first != 0);
            }
            if (row.first != 0) {
                EXPECT_EQ(t.FirstPoint().time, row.first);
                EXPECT_EQ(t.LastPoint().time, row.last);
            }
        }
        std::vector<std::string> names;
        for (const auto& m : Marks())
            names.push_back(m->GetName());
        EXPECT_EQ(names, c.marks);
        std::vector<size_t> points;
        for (const auto& r : Routes())
            points.push_back(r->PointCount());
        EXPECT_EQ(points, c.route_points);
        // A second import of the same file adds nothing.
        EXPECT_TRUE(ImportGPXFile(path));
        EXPECT_EQ(Marks().size(), c.marks.size());
        EXPECT_EQ(Routes().size(), c.route_points.size());
        EXPECT_EQ(Tracks().size(), c.tracks.size());
    }

    // The details of one full waypoint and one route.
    CMarkManager::Get().ClearForTesting();
    ASSERT_TRUE(ImportGPXFile(tessatest::TestDataFile("gpx/gpx1.1_with_all_fields.gpx")));
    const COverlayMark& m = *Marks().front();
    EXPECT_DOUBLE_EQ(m.GetLatitude(), 12.3);
    EXPECT_DOUBLE_EQ(m.GetLongitude(), 45.6);
    EXPECT_EQ(m.GetCreated(), 1357092180);
    EXPECT_EQ(m.GetDescription(), "example desc example cmt");
    EXPECT_EQ(m.GetLink(), "http://link3");
    EXPECT_EQ(m.GetCategory(), "example type");
    ASSERT_EQ(Tracks().size(), 2u);
    EXPECT_FLOAT_EQ(Tracks()[0]->FirstPoint().altitude, 11.1f);
    EXPECT_EQ(Tracks()[0]->GetDescription(), "example desc t example cmt t");
    CMarkManager::Get().ClearForTesting();
    ASSERT_TRUE(ImportGPXFile(tessatest::TestDataFile("gpx/route.gpx")));
    ASSERT_EQ(Routes().size(), 1u);
    EXPECT_EQ(Routes()[0]->Points().front()->GetName(), "#001");
    EXPECT_EQ(Routes()[0]->Points().back()->GetName(), "#055");
    EXPECT_TRUE(Routes()[0]->Points().front()->IsRoutePoint());
    CMarkManager::Get().ClearForTesting();
    ASSERT_TRUE(ImportGPXFile(tessatest::TestDataFile("gpx/unicode_with_bom.gpx")));
    EXPECT_EQ(Marks().front()->GetCreated(), 1464343727);
}

TEST_F(GpxImportTest, ExportThenImportUpdatesTheSameObjects)
{
    for (const char* locale : {"C", "de_DE.UTF-8"}) {
        if (!std::setlocale(LC_ALL, locale))
            continue;
        SCOPED_TRACE(locale);
        CMarkManager::Get().ClearForTesting();
        auto mark = std::make_unique<COverlayMark>();
        mark->SetName("Anchorage & <bay>");
        mark->SetPosition(43.5, -179.25);
        mark->SetRadii(20, 1040);
        mark->SetDescription("Lunch stop");
        mark->SetLink("http://x/?a=1&b=\"2\"");
        COverlayMark* m = CMarkManager::Get().AddMark(std::move(mark));
        auto route = std::make_unique<COverlayRoute>();
        route->SetName("Out");
        route->GetLineStyle().pattern = CLineStyle::kDot;
        route->GetLineStyle().width = 4.5f;
        {
            CMarkManager::RoutePointScope scope;
            for (int i = 0; i < 3; ++i) {
                auto p = std::make_unique<COverlayMark>();
                p->SetName(std::string(1, 'P').append(std::to_string(i)));
                p->SetPosition(10 + i, 20.125);
                route->AddPoint(std::move(p));
            }
        }
        COverlayRoute* r = CMarkManager::Get().AddRoute(std::move(route));
        std::string marks = dir + "/marks.gpx", routes = dir + "/routes.gpx";
        ASSERT_TRUE(ExportMarksGPXFile(marks));
        ASSERT_TRUE(ExportRoutesGPXFile(routes));

        // Local edits and a deletion are undone by importing the export.
        m->SetName("changed");
        m->SetRadii(0, 0);
        m->MarkDeleted();
        r->Clear();
        ASSERT_TRUE(ImportGPXFile(marks));
        ASSERT_TRUE(ImportGPXFile(routes));
        ASSERT_EQ(Marks().size(), 1u);
        ASSERT_EQ(Routes().size(), 1u);
        EXPECT_FALSE(m->IsDeleted());
        EXPECT_EQ(m->GetName(), "Anchorage & <bay>");
        EXPECT_DOUBLE_EQ(m->GetLongitude(), -179.25);
        EXPECT_EQ(m->GetInnerRadius(), 20);
        EXPECT_EQ(m->GetOuterRadius(), 1040);
        EXPECT_EQ(m->GetLink(), "http://x/?a=1&b=\"2\"");
        EXPECT_EQ(m->GetDescription(), "Lunch stop");
        EXPECT_EQ(r->GetName(), "Out");
        ASSERT_EQ(r->PointCount(), 3u);
        EXPECT_DOUBLE_EQ(r->Points()[2]->GetLatitude(), 12);
        EXPECT_DOUBLE_EQ(r->Points()[2]->GetLongitude(), 20.125);
        EXPECT_EQ(r->GetLineStyle().pattern, CLineStyle::kDot);
        EXPECT_FLOAT_EQ(r->GetLineStyle().width, 4.5f);

        // The same file again, without sync tags, adds nothing either.
        std::string copy = dir + "/copy.gpx";
        std::ofstream(copy)
            << "<gpx><wpt lat='43.5' lon='-179.25'><name>ANCHORAGE &amp; &lt;BAY&gt;</name></wpt>"
               "<rte><name>out</name><rtept lat='10' lon='20.125'><name>p0</name></rtept>"
               "<rtept lat='11' lon='20.125'><name>P1</name></rtept>"
               "<rtept lat='12' lon='20.125'><name>P2</name></rtept></rte></gpx>";
        ASSERT_TRUE(ImportGPXFile(copy));
        EXPECT_EQ(Marks().size(), 1u);
        EXPECT_EQ(Routes().size(), 1u);
        std::setlocale(LC_ALL, "C");
    }
}

TEST_F(GpxImportTest, TracksUpdateByIdAndLeaveTheRecordingAlone)
{
    CTrackManager& manager = CTrackManager::Get();
    auto make = [](const std::string& name, int n) {
        auto track = std::make_unique<COverlayTrack>();
        track->SetName(name);
        for (int i = 0; i < n; ++i)
            track->AddPoint(CTrackPoint{50 + i * 1e-3, 10 + i * i * 1e-5, 1600000000.0 + 10 * i, float(i), 0},
                            false);
        return track;
    };
    COverlayTrack* morning = manager.AddTrack(make("Morning", 70));
    morning->SetCategory("Log");
    const std::vector<CTrackPoint> exported = morning->AllPoints();
    COverlayTrack* recorded = manager.AppendTrack(make("Recorded", 5));
    CTrackManager::Settings().doRecordTrack = true;
    ASSERT_EQ(manager.RecordedTrack(), recorded);
    const std::string path = dir + "/tracks.gpx";
    ASSERT_TRUE(ExportTracksGPXFile(path));

    // A deletion is undone; points recorded since the export are kept.
    manager.DeleteTrack(morning);
    recorded->AddPoint(CTrackPoint{51, 11, 1700000000, 0, 0}, false);
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass);
        ASSERT_TRUE(ImportGPXFile(path));
        ASSERT_EQ(Tracks().size(), 2u);
        EXPECT_EQ(Tracks()[0].get(), morning);
        EXPECT_EQ(manager.RecordedTrack(), recorded);
        EXPECT_EQ(recorded->PointCount(), 6u);
        EXPECT_FALSE(morning->IsDeleted());
        EXPECT_EQ(morning->GetName(), "Morning");
        EXPECT_EQ(morning->GetCategory(), "Log");
        const std::vector<CTrackPoint> points = morning->AllPoints();
        ASSERT_EQ(points.size(), exported.size());
        for (size_t i = 0; i < points.size(); ++i) {
            EXPECT_NEAR(points[i].latitude, exported[i].latitude, 1e-9);
            EXPECT_NEAR(points[i].longitude, exported[i].longitude, 1e-9);
            EXPECT_EQ(points[i].time, exported[i].time);
            EXPECT_EQ(points[i].altitude, exported[i].altitude);
        }
    }

    // Without sync tags: a copy of an existing track is dropped, a new
    // track goes before the recorded one.
    const std::string last = "<trkpt lat='50.069' lon='10.04761'/>";
    ASSERT_TRUE(ImportGPXFile(Write("<gpx><trk><name>MORNING</name><trkseg>" + last +
                                    "</trkseg></trk><trk><name>Evening</name><trkseg>" + last +
                                    "</trkseg></trk></gpx>")));
    ASSERT_EQ(Tracks().size(), 3u);
    EXPECT_EQ(Tracks()[1]->GetName(), "Evening");
    EXPECT_EQ(manager.RecordedTrack(), recorded);
}

TEST_F(GpxImportTest, TrackPointsAreCheckedAndDenseTracksThinned)
{
    const struct
    {
        const char* trkpt;
        bool stored;
        double lat = 0, lon = 0, time = 0;
        float altitude = 0;
    } cases[] = {
        {"<trkpt lat='1' lon='2'><ele>-3.5</ele><time>2020-01-02T05:04:05+02:00</time></trkpt>", true, 1, 2,
         1577934245, -3.5f},
        {"<trkpt lat='-90' lon='-270'><ele>1e400</ele><time>2020-13-01T00:00:00Z</time></trkpt>", true, -90,
         90},
        {"<trkpt lat='0' lon='360'><ele>nan</ele><time>99999-01-01T00:00:00Z</time></trkpt>", true, 0, 0},
        {"<trkpt lat='nan' lon='2'/>", false},
        {"<trkpt lat='1'/><trkpt lat='91' lon='2'/><trkpt lat='1' lon='inf'/>", false},
    };
    std::string points;
    for (const auto& c : cases)
        points += c.trkpt;
    ASSERT_TRUE(ImportGPXFile(
        Write("<gpx><trk><name>T</name><trkseg><!-- it's -->" + points + "</trkseg><trkseg/></trk></gpx>")));
    ASSERT_EQ(Tracks().size(), 1u);
    const std::vector<CTrackPoint> stored = Tracks()[0]->AllPoints();
    size_t next = 0;
    for (const auto& c : cases) {
        if (!c.stored)
            continue;
        SCOPED_TRACE(c.trkpt);
        ASSERT_LT(next, stored.size());
        const CTrackPoint& p = stored[next++];
        EXPECT_DOUBLE_EQ(p.latitude, c.lat);
        EXPECT_DOUBLE_EQ(p.longitude, c.lon);
        EXPECT_EQ(p.time, c.time);
        EXPECT_EQ(p.altitude, c.altitude);
    }
    EXPECT_EQ(next, stored.size());

    // Track points are taken while the file is parsed; one closed only by
    // its segment's end tag still counts, in document order.
    const struct
    {
        const char* gpx;
        std::vector<double> latitudes;
    } shapes[] = {
        {"<gpx><trk><trkseg><trkpt lat='1' lon='0'/><trkpt lat='2' lon='0'></trkpt></trkseg>"
         "<trkseg><trkpt lat='3' lon='0'><ele>1</ele></trkseg></trk></gpx>",
         {1, 2, 3}},
        {"<gpx><trk><TRKSEG><trkpt lat='1' lon='0'><!-- </trkseg> --></trkpt>"
         "<![CDATA[<trkpt lat='9' lon='9'/>]]><x:TrkPt lat='2' lon='0'/></trkseg></trk></gpx>",
         {1, 2}},
    };
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.gpx);
        CTrackManager::Get().ClearForTesting();
        ASSERT_TRUE(ImportGPXFile(Write(shape.gpx)));
        ASSERT_EQ(Tracks().size(), 1u);
        std::vector<double> latitudes;
        for (const CTrackPoint& p : Tracks()[0]->AllPoints())
            latitudes.push_back(p.latitude);
        EXPECT_EQ(latitudes, shape.latitudes);
    }

    // At least 101 points less than 5 s apart are thinned, as on load. The
    // span runs between the first and the last point with a time; points
    // without one at either end (here: the first `untimed` and the last
    // `untimed` points) do not shorten it.
    const struct
    {
        int points;
        int interval;
        bool thinned;
        int untimed = 0;
    } dense[] = {{100, 1, false},      {101, 1, true},       {101, 6, false},
                 {1000, 10, false, 1}, {1000, 10, false, 3}, {1001, 10, true, 500}};
    for (const auto& d : dense) {
        CTrackManager::Get().ClearForTesting();
        std::string text = "<gpx><trk><name>Line</name><trkseg>";
        for (int i = 0; i < d.points; ++i)
            text += "<trkpt lat='" + std::to_string(50 + i) + "e-5' lon='10'>" +
                    (i < d.untimed || i >= d.points - d.untimed
                         ? ""
                         : "<time>" + FormatXmlTime(1600000000.0 + i * d.interval) + "</time>") +
                    "</trkpt>";
        ASSERT_TRUE(ImportGPXFile(Write(text + "</trkseg></trk></gpx>")));
        ASSERT_EQ(Tracks().size(), 1u);
        EXPECT_EQ(Tracks()[0]->PointCount(), d.thinned ? 2u : size_t(d.points))
            << d.interval << " " << d.untimed;
    }
}

// Counts what reaches the status line.
struct CStatusCounter : IStatusLineView
{
    void ShowStatusText(const std::string& text) override { shown.push_back(text); }
    void HideStatusLine() override {}
    std::vector<std::string> shown;
};

TEST_F(GpxImportTest, FailedImportsImportAndSaveNothingAndSayWhy)
{
    std::string whole = "<?xml version='1.0'?>\n<gpx>";
    for (const char* name : {"P", "Q", "R", "S", "T"})
        whole += std::string("<wpt lat='1' lon='2'><name>") + name + "</name></wpt>";
    whole += "<rte>";
    for (int i = 0; i < 5; ++i)
        whole += "<rtept lat='" + std::to_string(i) + "' lon='1'/>";
    whole += "</rte><trk><trkseg>";
    for (int i = 0; i < 1000; ++i)
        whole += "<trkpt lat='" + std::to_string(i % 80) + "' lon='" + std::to_string(i % 3) + "'/>";
    whole += "</trkseg></trk>\n</gpx>\n";
    auto before = [&](const std::string& mark) { return whole.substr(0, whole.find(mark)); };
    const struct
    {
        std::string text;
        const char* why;
    } cases[] = {
        {before("<name>T"), "cut short"},
        {before("<rtept lat='3'"), "cut short"},
        {before("<trkpt lat='20' lon='1'"), "cut short"},
        {before("</gpx>"), "cut short"},
        {before("</gpx>") + "</gpx", "cut short"},
        {"<?xml version='1.0'?><gp", "cut short"},
        {"", "not XML"},
        {"<kml><wpt lat='1' lon='2'/></kml>", "not a GPX file"},
        {"<?xml version='1.0' encoding='KOI8-R'?>" + whole.substr(21), "\"KOI8-R\" cannot be read"},
        {std::string("<\0g\0p\0x\0/\0>\0", 12), "UTF-16 without a byte-order mark"},
    };
    CStatusCounter status;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(c.text.size() > 40 ? c.text.size() - 40 : 0));
        CMarkManager::Get().ClearForTesting();
        CTrackManager::Get().ClearForTesting();
        saver.saves = 0;
        ClearStatusMessage();
        SetStatusLineView(&status);
        status.shown.clear();
        const std::string path = Write(c.text);
        EXPECT_FALSE(ImportGPXFile(path));
        SetStatusLineView(nullptr);
        EXPECT_TRUE(Marks().empty() && Routes().empty() && Tracks().empty());
        EXPECT_EQ(saver.saves, 0);
        ASSERT_EQ(status.shown.size(), 1u);
        EXPECT_NE(status.shown[0].find(path), std::string::npos) << status.shown[0];
        EXPECT_NE(status.shown[0].find(c.why), std::string::npos) << status.shown[0];
    }
}

TEST_F(GpxImportTest, EncodingsGiveTheMarksOfTheirUTF8Twin)
{
    auto utf16 = [](const std::u16string& text, bool bigEndian) {
        std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (char16_t unit : text) {
            const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
            out += bigEndian ? std::string{high, low} : std::string{low, high};
        }
        return out;
    };
    const std::u16string utf16_doc = u"<?xml version='1.0' encoding='UTF-16'?><gpx><wpt lat='1' lon='2'>"
                                     u"<name>caf\u00e9 \u00e5 \U0001D11E</name></wpt></gpx>";
    auto doc = [](const std::string& encoding, const std::string& name) {
        return "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>\n<gpx><wpt lat='1' lon='2'><name>" +
               name + "</name></wpt></gpx>";
    };
    const struct
    {
        std::string file;
        std::string twin; // the name in UTF-8
    } cases[] = {
        {doc("ISO-8859-1", "caf\xE9 \xE5"), "caf\xC3\xA9 \xC3\xA5"},
        {doc("Windows-1252", "\x80 caf\xE9 \x93q\x94"), "\xE2\x82\xAC caf\xC3\xA9 \xE2\x80\x9Cq\xE2\x80\x9D"},
        {"\xEF\xBB\xBF" + doc("UTF-8", "caf\xC3\xA9"), "caf\xC3\xA9"},
        {utf16(utf16_doc, false), "caf\xC3\xA9 \xC3\xA5 \xF0\x9D\x84\x9E"},
        {utf16(utf16_doc, true), "caf\xC3\xA9 \xC3\xA5 \xF0\x9D\x84\x9E"},
        // No declaration and not UTF-8: the old code page.
        {"<gpx><wpt lat='1' lon='2'><name>caf\xE9 \x80</name></wpt></gpx>", "caf\xC3\xA9 \xE2\x82\xAC"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.twin);
        CMarkManager::Get().ClearForTesting();
        ASSERT_TRUE(ImportGPXFile(Write(doc("UTF-8", c.twin))));
        const std::string twin = Marks().at(0)->GetName();
        CMarkManager::Get().ClearForTesting();
        ASSERT_TRUE(ImportGPXFile(Write(c.file)));
        ASSERT_EQ(Marks().size(), 1u);
        EXPECT_EQ(Marks()[0]->GetName(), twin);
        EXPECT_EQ(twin, c.twin);
        EXPECT_DOUBLE_EQ(Marks()[0]->GetLongitude(), 2);
    }
}

TEST_F(GpxImportTest, EveryImportSaysWhatItAddedSkippedAndChanged)
{
    const std::string longText(kMaxXmlText + 1, 'x');
    std::string unplaced;
    for (int i = 0; i < 1200; ++i)
        unplaced += "<wpt lon='1'/>";
    const struct
    {
        std::string file;
        std::vector<std::string> names; // of the marks
        std::string told;               // the one status message
    } cases[] = {
        {std::string("<?xml version='1.0' encoding='UTF-8'?><gpx><wpt lat='1' lon='2'><name>a") + '\0' +
             "b\x01"
             "c\x1B"
             "d\xFF\xFE\te\nf</name></wpt></gpx>",
         {"abcd\te\nf"},
         "Imported 1 mark from in.gpx; removed control characters or broken UTF-8 from 1 text"},
        {"<gpx><wpt lat='1' lon='2'><name>\x01\x1B"
         "caf\xC3\xA9</name><desc>\x02</desc></wpt></gpx>",
         {"caf\xC3\xA9"},
         "Imported 1 mark from in.gpx; removed control characters or broken UTF-8 from 2 texts"},
        {"<gpx><wpt lat='1' lon='2'><name>\xFF\xFE</name></wpt></gpx>",
         {"\xC3\xBF\xC3\xBE"},
         "Imported 1 mark from in.gpx; read as Windows-1252 (it was not UTF-8)"},
        {"<gpx><wpt lat='1' lon='2'><name>A</name></wpt><wpt lat='1' lon='2'><name>a</name></wpt>"
         "<wpt lat='91' lon='2'/><wpt lat='1' lon='400'/><wpt lat='nan' lon='2'/>"
         "<wpt lat='1' lon='2' note='" +
             longText + "'/><wpt lat='3' lon='4'><name>B</name><desc>" + longText +
             "</desc></wpt><rte><rtept lat='1' lon='1'/><rtept lat='91' lon='1'/><rtept lat='2' lon='2'/>"
             "</rte><trk><trkseg><trkpt lat='1' lon='1'/><trkpt lat='1' lon='nan'/></trkseg></trk></gpx>",
         {"A", "B"},
         "Imported 2 marks, 1 route and 1 track from in.gpx; 1 object was there already; skipped 5 points "
         "without a usable position; skipped 1 point whose attributes are over 100,000 characters; left out "
         "1 text over 100,000 characters"},
        {"<gpx></gpx>", {}, "Imported nothing from in.gpx"},
        {"<gpx>" + unplaced + "</gpx>",
         {},
         "Imported nothing from in.gpx; skipped 1,200 points without a usable position"},
    };
    CStatusCounter status;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.told);
        CMarkManager::Get().ClearForTesting();
        CTrackManager::Get().ClearForTesting();
        // An earlier failure is replaced by what the next import did.
        SetStatusMessage("The GPX file was not imported, it is cut short: old.gpx");
        SetStatusLineView(&status);
        status.shown.clear();
        EXPECT_EQ(ImportGPXFile(Write(c.file)), !c.names.empty());
        SetStatusLineView(nullptr);
        std::vector<std::string> names;
        for (const auto& m : Marks())
            names.push_back(m->GetName());
        EXPECT_EQ(names, c.names);
        ASSERT_EQ(status.shown.size(), 1u);
        EXPECT_EQ(status.shown[0], c.told);
    }
    // A mark brought back by its sync tag counts as imported, and updated.
    COverlayMark* kept = CMarkManager::Get().AddMark(std::make_unique<COverlayMark>());
    kept->SetName("Kept");
    kept->SetPosition(5, 6);
    ASSERT_TRUE(ExportMarksGPXFile(dir + "/marks.gpx"));
    SetStatusLineView(&status);
    EXPECT_TRUE(ImportGPXFile(dir + "/marks.gpx"));
    SetStatusLineView(nullptr);
    EXPECT_EQ(Marks().size(), 1u);
    EXPECT_EQ(status.shown.back(), "Imported 1 mark from marks.gpx; 1 of them updated");
    ClearStatusMessage();
}

TEST_F(GpxImportTest, FieldsAndHostileValues)
{
    const struct
    {
        const char* wpt; // inside <gpx>
        bool stored;
        double lat = 0, lon = 0;
        float inner = 0, outer = 0;
        const char* description = "";
        const char* colour = ""; // "" keeps the default
    } cases[] = {
        {"<wpt lat='1' lon='2'><extensions><xgarmin:WaypointExtension><Proximity>-20</Proximity>"
         "</xgarmin:WaypointExtension></extensions></wpt>",
         true, 1, 2, 20, 1040, "", ""},
        {"<wpt lat='1' "
         "lon='2'><extensions><WaypointExtension><Proximity>1e300</Proximity></WaypointExtension>"
         "</extensions></wpt>",
         true, 1, 2, 0, 1e7f, "", ""},
        {"<wpt lat='1' "
         "lon='2'><extensions><WaypointExtension><Proximity>-1e300</Proximity></WaypointExtension>"
         "</extensions></wpt>",
         true, 1, 2, 1e7f, 1e7f, "", ""},
        {"<wpt lat='1' lon='2'><desc>Lunch stop Source: tsid:ABC</desc><cmt>Lunch stop Source: "
         "tsid:ABC</cmt></wpt>",
         true, 1, 2, 0, 0, "Lunch stop ", ""},
        {"<wpt lat='1' lon='2'><desc>a</desc><cmt>b</cmt><extensions><fill><color>0a0B0c</color></fill>"
         "</extensions></wpt>",
         true, 1, 2, 0, 0, "a b", "0a0b0c"},
        {"<wpt lat='1' lon='2'><extensions><fill><color>zz0000</color></fill></extensions></wpt>", true, 1, 2,
         0, 0, "", ""},
        {"<wpt lat='-90' lon='360'/>", true, -90, 0, 0, 0, "", ""},
        {"<wpt lat='0' lon='-270'/>", true, 0, 90, 0, 0, "", ""},
        {"<wpt lon='2'/>", false},
        {"<wpt lat='nan' lon='2'/>", false},
        {"<wpt lat='1' lon='inf'/>", false},
        {"<wpt lat='0x10' lon='2'/>", false},
        {"<wpt lat='90.5' lon='2'/>", false},
        {"<wpt lat='1' lon='360.5'/>", false},
        {"<wpt lat='1e400' lon='2'/>", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wpt);
        CMarkManager::Get().ClearForTesting();
        EXPECT_EQ(ImportGPXFile(Write(std::string("<gpx><!-- it's --><?pi?>") + c.wpt + "</gpx>")), c.stored);
        ASSERT_EQ(Marks().size(), c.stored ? 1u : 0u);
        if (!c.stored)
            continue;
        const COverlayMark& m = *Marks().front();
        EXPECT_DOUBLE_EQ(m.GetLatitude(), c.lat);
        EXPECT_DOUBLE_EQ(m.GetLongitude(), c.lon);
        EXPECT_FLOAT_EQ(m.GetInnerRadius(), c.inner);
        EXPECT_FLOAT_EQ(m.GetOuterRadius(), c.outer);
        EXPECT_EQ(m.GetDescription(), c.description);
        if (*c.colour) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%02x%02x%02x", m.GetColour().GetRed(), m.GetColour().GetGreen(),
                          m.GetColour().GetBlue());
            EXPECT_EQ(std::string(hex), c.colour);
        } else {
            EXPECT_EQ(m.GetColour(), CMarkManager::Settings().defaultMarkColor);
        }
    }

    // Bad route points are skipped, the route keeps the good ones.
    CMarkManager::Get().ClearForTesting();
    ASSERT_TRUE(ImportGPXFile(
        Write("<gpx><rte><number>7</number><rtept lat='1' lon='1'/><rtept lat='x' lon='1'/>"
              "<rtept lat='2' lon='2'/><extensions><line><opacity>7</opacity>"
              "<pattern>dashdotdot</pattern><width>nan</width></line></extensions></rte></gpx>")));
    ASSERT_EQ(Routes().size(), 1u);
    EXPECT_EQ(Routes()[0]->GetName(), "Route #7");
    EXPECT_EQ(Routes()[0]->PointCount(), 2u);
    EXPECT_EQ(Routes()[0]->GetLineStyle().colour.GetAlpha(), 255);
    EXPECT_EQ(Routes()[0]->GetLineStyle().pattern, CLineStyle::kDashDotDot);
    EXPECT_FLOAT_EQ(Routes()[0]->GetLineStyle().width, 2.0f);

    // Nothing usable: false, but the data is still saved.
    saver.saves = 0;
    EXPECT_FALSE(ImportGPXFile(Write("<gpx></gpx>")));
    EXPECT_FALSE(ImportGPXFile(Write("<notgpx><wpt lat='1' lon='1'/></notgpx>")));
    EXPECT_FALSE(ImportGPXFile(dir + "/missing.gpx"));
    EXPECT_EQ(saver.saves, 1);

    // Our own export of a long track passes 100 MB; files over 1 GiB are
    // refused before anything is read (the padding is sparse).
    const std::string big = Write("<gpx><wpt lat='1' lon='2'/></gpx>");
    fs::resize_file(big, 100000001);
    EXPECT_TRUE(ImportGPXFile(big));
    fs::resize_file(big, kMaxGPXFileBytes + 1);
    EXPECT_FALSE(ImportGPXFile(big));
}

} // namespace

namespace {

// Saves both stores into a folder as the application does; the tracks'
// save can be made to fail after the marks' has succeeded.
struct CStoreSaver : ISaveAllPort
{
    explicit CStoreSaver(std::string where) : folder(std::move(where)) {}
    bool SaveAllData() override
    {
        const bool marks = CMarkManager::Get().SaveStore(folder + "/" + CMarkManager::kStoreFile);
        return !failTracks && CTrackManager::Get().SaveStore(folder) && marks;
    }
    // Both files' bytes.
    std::string Stores() const
    {
        std::string bytes;
        for (const char* name : {CMarkManager::kStoreFile, CTrackManager::kStoreFile}) {
            std::ifstream in(folder + "/" + name, std::ios::binary);
            bytes.append(std::istreambuf_iterator<char>(in), {});
            bytes += '|';
        }
        return bytes;
    }
    std::string folder;
    bool failTracks = false;
};

// A mark, a route and a track with sync tags, saved; and a file that updates
// all three (a track of `trackPoints` points) and adds `newMarks` marks.
std::string SavedObjectsAndTheirUpdate(CStoreSaver& saver, const std::string& path, size_t newMarks,
                                       size_t trackPoints)
{
    auto mark = std::make_unique<COverlayMark>();
    mark->SetName("Harbour");
    mark->SetPosition(50, 1);
    COverlayMark* m = CMarkManager::Get().AddMark(std::move(mark));
    auto route = std::make_unique<COverlayRoute>();
    route->SetName("Out");
    {
        CMarkManager::RoutePointScope scope;
        for (int i = 0; i < 3; ++i) {
            auto p = std::make_unique<COverlayMark>();
            p->SetPosition(50 + i, 1);
            route->AddPoint(std::move(p));
        }
    }
    COverlayRoute* r = CMarkManager::Get().AddRoute(std::move(route));
    auto track = std::make_unique<COverlayTrack>();
    track->SetName("Log");
    for (int i = 0; i < 4; ++i)
        track->AddPoint(CTrackPoint{50 + i * 1e-3, 1, 1600000000.0 + 60 * i, 0, 0}, false);
    COverlayTrack* t = CTrackManager::Get().AddTrack(std::move(track));
    for (CSyncable* object : std::initializer_list<CSyncable*>{m, r, t})
        object->GetSyncId();
    auto tag = [](CSyncable& object) { return "<src>" + object.FormatSyncTag() + "</src>"; };
    EXPECT_TRUE(saver.SaveAllData());
    std::ofstream out(path, std::ios::binary);
    out << "<gpx><wpt lat='51' lon='2'><name>Moved</name>" << tag(*m) << "</wpt>\n";
    for (size_t i = 0; i < newMarks; ++i)
        out << "<wpt lat='" << 10 + i * 1e-4 << "' lon='20'><name>New " << i
            << "</name><sym>Flag</sym></wpt>\n";
    out << "<rte><name>Back</name>" << tag(*r)
        << "<rtept lat='1' lon='1'/><rtept lat='2' lon='2'/></rte>\n<trk><name>Log 2</name>" << tag(*t)
        << "<trkseg>";
    for (size_t i = 0; i < trackPoints; ++i)
        out << "<trkpt lat='" << 40 + i * 1e-4 << "' lon='3'><time>" << FormatXmlTime(1700000000.0 + 60 * i)
            << "</time></trkpt>\n";
    out << "</trkseg></trk></gpx>\n";
    return saver.Stores();
}

} // namespace

TEST_F(GpxImportTest, AnImportTheStoresCannotSaveIsTakenBackWhole)
{
    CStoreSaver stores(dir);
    InstallPort<ISaveAllPort>(&stores);
    const std::string path = dir + "/update.gpx";
    const std::string before = SavedObjectsAndTheirUpdate(stores, path, 3, 5);
    CStatusCounter status;
    SetStatusLineView(&status);
    // The marks' store took the import; the tracks' did not: both are
    // written again as they were, and the managers hold what they held.
    stores.failTracks = true;
    EXPECT_FALSE(ImportGPXFile(path));
    ASSERT_FALSE(status.shown.empty());
    EXPECT_EQ(status.shown.back(), "The GPX file was not imported, the marks, routes and tracks could not be "
                                   "saved with it: " +
                                       path);
    stores.failTracks = false;
    EXPECT_EQ(stores.Stores(), before);
    ASSERT_TRUE(stores.SaveAllData());
    EXPECT_EQ(stores.Stores(), before);
    ASSERT_EQ(Marks().size(), 1u);
    EXPECT_EQ(Marks()[0]->GetName(), "Harbour");
    ASSERT_EQ(Routes().size(), 1u);
    EXPECT_EQ(Routes()[0]->GetName(), "Out");
    EXPECT_EQ(Routes()[0]->PointCount(), 3u);
    ASSERT_EQ(Tracks().size(), 1u);
    EXPECT_EQ(Tracks()[0]->PointCount(), 4u);

    // Saved, the same file updates all three in place.
    const COverlayMark* harbour = Marks()[0].get();
    const COverlayTrack* log = Tracks()[0].get();
    EXPECT_TRUE(ImportGPXFile(path));
    SetStatusLineView(nullptr);
    EXPECT_EQ(status.shown.back(),
              "Imported 4 marks, 1 route and 1 track from update.gpx; 3 of them updated");
    EXPECT_NE(stores.Stores(), before);
    ASSERT_EQ(Marks().size(), 4u);
    EXPECT_EQ(Marks()[0].get(), harbour);
    EXPECT_EQ(harbour->GetName(), "Moved");
    EXPECT_EQ(Routes()[0]->GetName(), "Back");
    EXPECT_EQ(Routes()[0]->PointCount(), 2u);
    ASSERT_EQ(Tracks().size(), 1u);
    EXPECT_EQ(Tracks()[0].get(), log);
    EXPECT_EQ(log->PointCount(), 5u);
    InstallPort<ISaveAllPort>(nullptr);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TESSA_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TESSA_SANITIZED 1
#endif
#endif

namespace {

// The address space the process holds now, in bytes.
size_t AddressSpaceBytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmSize:", 0) == 0)
            return std::stoull(line.substr(7)) * 1024;
    return 0;
}

} // namespace

// Under address-space limits that let the import run out of memory at every
// stage (reading, making the objects, joining them, saving), it is either
// imported whole or both stores stay byte for byte as they were, and the
// managers with them; the process goes on either way.
TEST_F(GpxImportTest, AnImportThatRunsOutOfMemoryLeavesTheStoresAsTheyWere)
{
#ifdef TESSA_SANITIZED
    GTEST_SKIP() << "sanitizers reserve more address space than the limits";
#else
    CStoreSaver stores(dir);
    InstallPort<ISaveAllPort>(&stores);
    const std::string path = dir + "/large.gpx";
    const std::string before = SavedObjectsAndTheirUpdate(stores, path, 60000, 20000);
    int refused = 0, imported = 0;
    for (size_t megabytes : {16, 28, 34, 38, 42, 46, 512}) {
        SCOPED_TRACE(megabytes);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const rlim_t bytes = AddressSpaceBytes() + (megabytes << 20);
            struct rlimit limit
            {
                bytes, bytes
            };
            ::setrlimit(RLIMIT_AS, &limit);
            CStatusCounter status;
            SetStatusLineView(&status);
            if (ImportGPXFile(path))
                ::_exit(Marks().size() == 60001 && Tracks()[0]->PointCount() == 20000 ? 10 : 1);
            const bool told =
                !status.shown.empty() && status.shown.back().find("was not imported") != std::string::npos;
            const bool same = Marks().size() == 1 && Marks()[0]->GetName() == "Harbour" &&
                              Routes()[0]->PointCount() == 3 && Tracks()[0]->PointCount() == 4;
            ::_exit(told && same && stores.Stores() == before ? 11 : 2);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << "the import ended the process";
        const int code = WEXITSTATUS(status);
        EXPECT_TRUE(code == 10 || code == 11) << code;
        imported += code == 10;
        refused += code == 11;
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(imported, 0);
    InstallPort<ISaveAllPort>(nullptr);
#endif
}

namespace {

// Shows no window: ticks the heartbeat until the job is done, pressing
// Cancel at a chosen tick, then ends as the dialog would.
struct CTickingOpener : IProgressDialogOpener
{
    progress_dialog* OpenProgressDialog(QWidget*, std::shared_ptr<CProgressDialogData> data,
                                        const std::string& text) override
    {
        message = text;
        CProgressWatch watch(data, text, nullptr);
        watch.Start();
        for (ticks = 0; !data->IsDone() && ticks < 100000; ++ticks) {
            if (ticks == cancelAt)
                watch.Cancel();
            CHeartbeat::Tick();
        }
        watch.FinishBlocking();
        return nullptr;
    }
    std::string message;
    int ticks = 0;
    int cancelAt = -1;
};

} // namespace

// Last in the file: the heap it leaves behind would loosen the address-space
// limits of the test above.
TEST_F(GpxImportTest, ALongImportShowsItsDialogMakesItsObjectsInSlicesAndCanBeCancelled)
{
    std::string text = "<gpx>";
    for (int i = 0; i < 120000; ++i)
        text += "<wpt lat='" + std::to_string(i * 1e-4) + "' lon='2'><name>W</name></wpt>";
    const std::string path = Write(text + "</gpx>");
    const struct
    {
        int cancelAt;
        size_t marks;
        const char* told;
    } cases[] = {
        {-1, 120000, "Imported 120,000 marks from in.gpx"},
        {0, 0, "The GPX file was not imported, the import was cancelled: "},
    };
    CTickingOpener opener;
    InstallPort<IProgressDialogOpener>(&opener);
    CStatusCounter status;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.told);
        CMarkManager::Get().ClearForTesting();
        opener.cancelAt = c.cancelAt;
        SetStatusLineView(&status);
        ImportGPXFileWithProgress(nullptr, path);
        SetStatusLineView(nullptr);
        EXPECT_EQ(opener.message, "Importing in.gpx...");
        EXPECT_EQ(Marks().size(), c.marks);
        ASSERT_FALSE(status.shown.empty());
        EXPECT_EQ(status.shown.back().find(c.told), 0u) << status.shown.back();
        // More than one slice: the window had its turns in between.
        if (c.marks)
            EXPECT_GT(opener.ticks, 2);
    }
    InstallPort<IProgressDialogOpener>(nullptr);
}
