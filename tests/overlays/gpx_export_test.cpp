// GPX export of marks, routes and tracks: hand-written golden files, hostile names
// and positions checked against the published GPX schema, and failures
// reported instead of leaving a broken file.
#include "foundation/util/Xml.h"
#include "overlays/gpx/GpxFile.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/OverlayTrack.h"
#include "overlays/model/TrackManager.h"
#include "support/FixedClock.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const char* const kHeader =
    "<gpx version=\"1.1\" \n"
    "creator=\"Tessaroute Linux https://tessaroute.example.org/\"\n"
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
    "xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
    "xmlns:xstyle=\"http://www.topografix.com/GPX/gpx_style/0/2\"\n"
    "xmlns:xgarmin=\"http://www.garmin.com/xmlschemas/GpxExtensions/v3\"\n"
    "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd "
    "http://www.topografix.com/GPX/gpx_style/0/2 http://www.topografix.com/GPX/gpx_style/0/2/gpx_style.xsd "
    "http://www.garmin.com/xmlschemas/GpxExtensions/v3 "
    "http://www8.garmin.com/xmlschemas/GpxExtensionsv3.xsd\">\n";

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class GpxExportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CMarkManager::Get().ClearForTesting();
        CTrackManager::Get().ClearForTesting();
        CMarkManager::Settings().defaultMarkIcon = "Flag";
        CMarkManager::Settings().defaultWpIcon = "Dot";
        CMarkManager::Settings().defaultMarkColor = GraphicsColor(1, 0, 0, 1);
        CMarkManager::Settings().defaultWpColor = GraphicsColor(0, 0, 1, 1);
        dir = tessatest::MakeScratchDir("gpx_export");
    }
    void TearDown() override
    {
        CMarkManager::Get().ClearForTesting();
        CTrackManager::Get().ClearForTesting();
        fs::remove_all(dir);
    }

public:
    COverlayMark* AddMark(const std::string& name, double lat, double lon)
    {
        auto mark = std::make_unique<COverlayMark>();
        mark->SetName(name);
        mark->SetPosition(lat, lon);
        return CMarkManager::Get().AddMark(std::move(mark));
    }
    COverlayRoute* AddRoute(const std::string& name, const std::vector<std::pair<double, double>>& points)
    {
        auto route = std::make_unique<COverlayRoute>();
        route->SetName(name);
        CMarkManager::RoutePointScope scope;
        int n = 0;
        for (auto [lat, lon] : points) {
            auto point = std::make_unique<COverlayMark>();
            point->SetName(name + "P" + std::to_string(++n));
            point->SetPosition(lat, lon);
            route->AddPoint(std::move(point));
        }
        return CMarkManager::Get().AddRoute(std::move(route));
    }
    // One section per list; each later list starts with the previous one's last point.
    COverlayTrack* AddTrack(const std::string& name, const std::vector<std::vector<CTrackPoint>>& sections)
    {
        auto track = std::make_unique<COverlayTrack>();
        track->SetName(name);
        track->GetLineStyle().colour = GraphicsColor(1, 0, 0, 1);
        for (const auto& points : sections) {
            auto section = std::make_unique<CTrackSection>();
            section->Assign(points.data(), uint32_t(points.size()));
            track->AppendSection(std::move(section));
        }
        return CTrackManager::Get().AddTrack(std::move(track));
    }

    tessatest::CFixedClock clock;
    std::string dir;
};

TEST_F(GpxExportTest, SingleObjectsMatchTheirGoldenFiles)
{
    const struct
    {
        const char* what;
        std::function<CSyncable*(GpxExportTest&)> make;
        const char* body;
    } cases[] = {
        {"mark with proximity",
         [](GpxExportTest& t) -> CSyncable* {
             COverlayMark* m = t.AddMark("Harbour & Co", 54.5, 180.0);
             m->SetDescription("Fuel");
             m->SetCategory("Fuel dock");
             m->SetLink("http://x/?a=1&b=\"2\"");
             m->SetRadii(0, 50);
             m->SetSyncId(0xABC);
             return m;
         },
         "<wpt lat=\"54.5000000000\" lon=\"-180.0000000000\">\n"
         "<time>2023-11-14T22:13:20Z</time>\n"
         "<name><![CDATA[Harbour & Co]]></name>\n"
         "<desc>Fuel</desc>\n"
         "<src>tsid:ABC</src>\n"
         "<link href=\"http://x/?a=1&amp;b=&quot;2&quot;\"></link>\n"
         "<sym>Flag</sym>\n"
         "<type>Fuel dock</type>\n"
         "<extensions>\n<xstyle:fill>\n<xstyle:color>ff0000</xstyle:color>\n</xstyle:fill>\n"
         "<xgarmin:WaypointExtension>\n<xgarmin:Proximity>50.0</xgarmin:Proximity>\n"
         "</xgarmin:WaypointExtension>\n"
         "</extensions>\n"
         "</wpt>\n"},
        {"anchor mark",
         [](GpxExportTest& t) -> CSyncable* {
             COverlayMark* m = t.AddMark("Anchor", -33.25, -0.000000000001);
             m->SetRadii(20, 1040);
             m->SetSyncId(0x123456789ABCDEF0);
             return m;
         },
         "<wpt lat=\"-33.2500000000\" lon=\"0.0000000000\">\n"
         "<time>2023-11-14T22:13:20Z</time>\n"
         "<name>Anchor</name>\n"
         "<src>tsid:123456789ABCDEF0</src>\n"
         "<sym>Flag</sym>\n"
         "<extensions>\n<xstyle:fill>\n<xstyle:color>ff0000</xstyle:color>\n</xstyle:fill>\n"
         "<xgarmin:WaypointExtension>\n<xgarmin:Proximity>-20.0</xgarmin:Proximity>\n"
         "</xgarmin:WaypointExtension>\n"
         "</extensions>\n"
         "</wpt>\n"},
        {"route",
         [](GpxExportTest& t) -> CSyncable* {
             COverlayRoute* r = t.AddRoute("Out", {{10, 20}, {std::nan(""), 1}, {10.5, 359.5}});
             r->GetLineStyle().colour = GraphicsColor(0, 1, 0, 0.5);
             r->GetLineStyle().width = 3;
             r->GetLineStyle().pattern = CLineStyle::kDashDot;
             r->SetCategory("Plan");
             r->SetSyncId(1);
             return r;
         },
         "<rte>\n"
         "<name>Out</name>\n"
         "<src>tsid:1</src>\n"
         "<type>Plan</type>\n"
         "<extensions> <xstyle:line>\n<xstyle:color>00ff00</xstyle:color>\n"
         "<xstyle:opacity>0.50</xstyle:opacity>\n<xstyle:width>3.00</xstyle:width>\n"
         "<xstyle:pattern>DashDot</xstyle:pattern>\n</xstyle:line></extensions>\n"
         "<rtept lat=\"10.0000000000\" lon=\"20.0000000000\">\n"
         "<time>2023-11-14T22:13:20Z</time>\n<name>OutP1</name>\n<sym>Dot</sym>\n"
         "<extensions>\n<xstyle:fill>\n<xstyle:color>0000ff</xstyle:color>\n</xstyle:fill>\n</extensions>\n"
         "</rtept>\n"
         "<rtept lat=\"10.5000000000\" lon=\"-0.5000000000\">\n"
         "<time>2023-11-14T22:13:20Z</time>\n<name>OutP3</name>\n<sym>Dot</sym>\n"
         "<extensions>\n<xstyle:fill>\n<xstyle:color>0000ff</xstyle:color>\n</xstyle:fill>\n</extensions>\n"
         "</rtept>\n"
         "</rte>\n"},
        {"track in two sections",
         [](GpxExportTest& t) -> CSyncable* {
             const CTrackPoint a{10, 20, 1577934245, 11.9f, 1}, b{10.5, 180.5, 0, -3.7f, 1},
                 c{11, 21, 0, 1e20f, 1}, bad{std::nan(""), 21, 5, 0, 0};
             COverlayTrack* track = t.AddTrack("Wake & <wash>", {{a, b}, {b, bad, c}});
             track->SetDescription("Evening sail");
             track->SetCategory("Log");
             track->SetSyncId(7);
             return track;
         },
         "<trk>\n"
         "<name><![CDATA[Wake & <wash>]]></name>\n"
         "<desc>Evening sail</desc>\n"
         "<src>tsid:7</src>\n"
         "<type>Log</type>\n"
         "<extensions> <xstyle:line>\n<xstyle:color>ff0000</xstyle:color>\n"
         "<xstyle:opacity>1.00</xstyle:opacity>\n<xstyle:width>2.00</xstyle:width>\n"
         "<xstyle:pattern>Solid</xstyle:pattern>\n</xstyle:line></extensions>\n"
         "<trkseg>\n"
         "<trkpt lat=\"10.0000000000\" lon=\"20.0000000000\"><ele>11</ele>"
         "<time>2020-01-02T03:04:05Z</time></trkpt>\n"
         "<trkpt lat=\"10.5000000000\" lon=\"-179.5000000000\"><ele>-3</ele></trkpt>\n"
         "<trkpt lat=\"11.0000000000\" lon=\"21.0000000000\"></trkpt>\n"
         "</trkseg>\n"
         "</trk>\n"},
        {"track without sections", [](GpxExportTest& t) -> CSyncable* { return t.AddTrack("Empty", {}); },
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CSyncable* object = c.make(*this);
        std::string path = dir + "/one.gpx";
        ASSERT_TRUE(SaveAsGPXFile(*object, path));
        EXPECT_EQ(ReadAll(path), std::string(kHeader) + c.body + "</gpx>\n");
    }
}

// Every export of hostile content must be a valid GPX 1.1 file; the
// proximity extension is checked against its own schema too.
TEST_F(GpxExportTest, HostileContentStillGivesValidGpx)
{
    std::string schema_dir = tessatest::TestDataFile("gpx/schema");
    if (schema_dir.empty() || std::system("command -v xmllint >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xmllint or ../shared/testdata/gpx/schema not found; skipping schema checks";
    std::string wrapper = dir + "/wrapper.xsd";
    std::ofstream(wrapper) << "<?xml version=\"1.0\"?>\n"
                              "<xsd:schema xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">\n"
                              "<xsd:import namespace=\"http://www.topografix.com/GPX/1/1\" schemaLocation=\""
                           << schema_dir
                           << "/gpx11.xsd\"/>\n"
                              "<xsd:import namespace=\"http://www.garmin.com/xmlschemas/GpxExtensions/v3\" "
                              "schemaLocation=\""
                           << schema_dir << "/GpxExtensionsv3.xsd\"/>\n</xsd:schema>\n";

    const std::string hostile[] = {"A & B <c> \"d\" ]]> e", "bell\x07\x01 tab\t",
                                   "\xC3\xA9t\xC3\xA9 \xFF\xFE", "multi\nline ]]]]>", ""};
    int n = 0;
    for (const std::string& text : hostile) {
        COverlayMark* m = AddMark(text, 1.0 * ++n, 180.0);
        m->SetDescription(text);
        m->SetCategory(text);
        m->SetLink("http://h/?q=" + text);
        m->SetRadii(n % 2 ? 20.0f : 0.0f, 1040);
        m->SetSyncId(0x1234 + n);
        COverlayRoute* r = AddRoute(text, {{1, 2}, {std::nan(""), 3}, {-90, -180}, {90, 179.99999999999997}});
        r->SetDescription(text);
        r->GetLineStyle().colour = GraphicsColor(0.2, 0.4, 0.6, 7.0);
        r->GetLineStyle().width = std::numeric_limits<float>::infinity();
        const CTrackPoint p{1, 180, 1e300, 5e9f, 0}, q{std::nan(""), 2, 0, 0, 0},
            last{90, -180, 1600000000.5, std::numeric_limits<float>::quiet_NaN(), 0};
        COverlayTrack* track = AddTrack(text, {{p, q}, {q, last}});
        track->SetDescription(text);
        track->SetCategory(text);
        track->GetLineStyle().colour = GraphicsColor(0.2, 0.4, 0.6, -1.0);
    }
    AddTrack("No points", {});
    AddTrack("Only a bad point", {{CTrackPoint{0, std::numeric_limits<double>::infinity(), 0, 0, 0}}});
    AddMark("No place", std::nan(""), 0);
    AddMark("Beyond", 0, std::numeric_limits<double>::infinity());

    std::vector<std::pair<std::string, bool>> files;
    auto& manager = CMarkManager::Get();
    files.emplace_back(dir + "/marks.gpx", ExportMarksGPXFile(dir + "/marks.gpx"));
    files.emplace_back(dir + "/routes.gpx", ExportRoutesGPXFile(dir + "/routes.gpx"));
    files.emplace_back(dir + "/mark.gpx", SaveAsGPXFile(*manager.Marks().front(), dir + "/mark.gpx"));
    files.emplace_back(dir + "/route.gpx", SaveAsGPXFile(*manager.Routes().front(), dir + "/route.gpx"));
    CTrackManager& tracks = CTrackManager::Get();
    files.emplace_back(dir + "/tracks.gpx", ExportTracksGPXFile(dir + "/tracks.gpx"));
    files.emplace_back(dir + "/track.gpx", SaveAsGPXFile(*tracks.Tracks().front(), dir + "/track.gpx"));
    for (const auto& [path, ok] : files) {
        SCOPED_TRACE(path);
        EXPECT_TRUE(ok);
        for (const std::string& schema : {schema_dir + "/gpx11.xsd", wrapper}) {
            std::string command = "xmllint --noout --nonet --schema '" + schema + "' '" + path + "' >'" +
                                  dir + "/xmllint.txt' 2>&1";
            EXPECT_EQ(std::system(command.c_str()), 0) << ReadAll(dir + "/xmllint.txt");
        }
    }
    std::string marks = ReadAll(dir + "/marks.gpx");
    EXPECT_EQ(marks.find("nan"), std::string::npos);
    EXPECT_EQ(marks.find("No place"), std::string::npos);
    EXPECT_EQ(marks.find("Beyond"), std::string::npos);
    std::string track_text = ReadAll(dir + "/tracks.gpx");
    EXPECT_EQ(track_text.find("nan"), std::string::npos);
    EXPECT_EQ(track_text.find("No points"), std::string::npos);
    EXPECT_NE(track_text.find("<name>Only a bad point</name>"), std::string::npos);

    // Our reader gets back what the writer kept of each text.
    std::unique_ptr<CXmlNode> root = CXmlNode::LoadFile(dir + "/marks.gpx");
    size_t cursor = 0;
    for (const std::string& text : hostile) {
        CXmlNode* wpt = CXmlNode::FindNextChild(root.get(), "wpt", cursor);
        ASSERT_TRUE(wpt);
        std::string name, desc;
        CXmlNode::GetChildText(wpt, "name", name);
        EXPECT_EQ(name, XmlCleanText(text));
        EXPECT_STREQ(CXmlNode::GetAttribute(CXmlNode::FindChild(wpt, "link"), "href"),
                     MakeGPXLink(XmlCleanText("http://h/?q=" + text)).c_str());
    }
}

TEST(GpxLinkTest, OnlyWhatNoUriMayHoldIsEncoded)
{
    const struct
    {
        const char* in;
        const char* out;
    } cases[] = {
        {"http://example.org/a?b=1&c=%20#top", "http://example.org/a?b=1&c=%20#top"},
        {"http://[::1]:8080/x[1]", "http://[::1]:8080/x%5B1%5D"},
        {"50% off #1 #2", "50%25 off #1 %232"},
        {"%4", "%254"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MakeGPXLink(c.in), c.out) << c.in;
}

TEST_F(GpxExportTest, FailuresAreReportedAndKeepTheOldFile)
{
    AddMark("Keep", 1, 2);
    std::string path = dir + "/marks.gpx";
    std::ofstream(path) << "old";
    EXPECT_FALSE(ExportMarksGPXFile(dir + "/missing/folder/marks.gpx"));
    EXPECT_EQ(OpenGPXWriter(dir + "/missing/folder/x.gpx"), nullptr);

    // A write that fails only at the flush (a full disk) is a failure.
    std::FILE* full = std::fopen("/dev/full", "w");
    if (full) {
        CGPXWriter writer(full);
        writer.Check(WriteGPX(writer.File(), *CMarkManager::Get().Marks().front()));
        EXPECT_FALSE(writer.Close());
        std::fclose(full);
    }

    // A failed element write leaves the old file as it was.
    {
        CGPXWriter writer;
        ASSERT_TRUE(writer.Open(path));
        writer.Check(false);
        EXPECT_FALSE(writer.Close());
    }
    EXPECT_EQ(ReadAll(path), "old");
    ASSERT_TRUE(ExportMarksGPXFile(path));
    EXPECT_NE(ReadAll(path).find("<name>Keep</name>"), std::string::npos);
}

} // namespace
