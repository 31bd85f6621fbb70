// The AIS device's target list (read into the target table, also after a real
// TCP/IP connect to loopback doubles) and the "AIS Vessels" list: its rows,
// titles with the warning zone, and selection on the chart view.
// TESSA_TSAN_LABEL (the chart view decodes its tiles on worker threads)
#include "ais/AISListDelegate.h"
#include "ais/AISTargetManager.h"
#include "app/shell/ConnectionEvents.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/platform/PlatformServices.h"
#include "instruments/connections/NetworkConnections.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "overlays/model/MarkManager.h"
#include "support/ConnectionDoubles.h"
#include "support/FixedClock.h"
#include "support/TestChartView.h"
#include "support/TestPaths.h"
#include "support/loopback/LoopbackServer.h"

#include <gtest/gtest.h>

#include <clocale>
#include <fstream>

namespace {

constexpr double kOwnLat = 10.0, kOwnLon = 0.0;

std::string Target(const std::string& mmsi, const std::string& name, const std::string& type = "Cargo",
                   const std::string& callSign = "CALL")
{
    return "<Target><MMSI>" + mmsi + "</MMSI><Name>" + name + "</Name><VesselTypeString>" + type +
           "</VesselTypeString><CallSign>" + callSign + "</CallSign></Target>";
}

// Counts what reaches the chart view and the lists.
struct OverlayEvents : Listener<COverlayObject>
{
    int count = 0;
    void Notify(const COverlayObject&) override { ++count; }
};

class AISList : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CAISTargetManager::GetSettings() = CAISTargetManager::Settings{};
        CAISTargetManager::GetSettings().enableSettings = true; // no settings file written
        manager.Clear();
        manager.SetSelectedMMSI(0);
        CMarkManager::Settings().sort = 0;
        m_dir = tessatest::MakeScratchDir("ais_list");
    }
    void TearDown() override { manager.Clear(); }

    bool Import(const std::string& xml)
    {
        const std::string path = m_dir + "/targets.xml";
        std::ofstream(path, std::ios::binary) << xml;
        return manager.ImportWatchmateTargets(path);
    }
    // A report of `mmsi` at x, y metres from (kOwnLat, kOwnLon).
    CAISTarget* Report(uint32_t mmsi, double x, double y, float sog, float cog)
    {
        CNEMA_AIS::VDM s(&CNEMA_AIS::VDM::Type);
        s.m_messageType = 1;
        s.m_mmsi = mmsi;
        CLocalPlane(kOwnLat, kOwnLon).FromXY(x, y, s.m_latitude, s.m_longitude);
        s.m_sog = sog;
        s.m_cog = cog;
        s.m_heading = CNEMA_AIS::kNoHeading;
        manager.HandleVDM(s, clock.Now());
        return manager.Find(mmsi);
    }

    tessatest::CFixedClock clock;
    CAISTargetManager& manager = CAISTargetManager::Global();
    std::string m_dir;
};

TEST_F(AISList, ImportTakesValidTargetsOnceAndRefusesTheRest)
{
    // A name of 300 bytes of two-byte characters, and one that looks like a format.
    std::string longName;
    for (int i = 0; i < 150; ++i)
        longName += "\xC3\xA9";
    const std::string list =
        "<?xml version=\"1.0\"?><Watchmate>" + Target("211000001", "ALPHA") + Target("0", "ZERO") +
        "<Target><Name>NONE</Name></Target>" + Target("-5", "NEG") + Target("0x10", "HEX") +
        Target("1000000000", "BIG") + Target("12ab", "TEXT") + Target(" 211000002\n", longName) +
        Target("211000003", "%s%n%s", "T&amp;T") + Target("970000001", "SART") + Target("972000002", "MOB") +
        Target("974000003", "EPIRB") + "<Other><MMSI>211000009</MMSI></Other></Watchmate>";
    OverlayEvents events;
    ASSERT_TRUE(Import(list));
    // Nothing is published: without a position nothing is drawn.
    EXPECT_EQ(events.count, 0);
    const auto describe = [&](uint32_t mmsi) {
        const CAISTarget* t = manager.Find(mmsi);
        if (!t)
            return std::string("none");
        return t->m_name + "|" + t->m_classText + "|" + t->m_tooltip +
               (t->m_colour == GraphicsColor(1, 0, 0, 1) ? "|red" : "") +
               (t->m_hasPosition || t->HasPosition() ? "|placed" : "");
    };
    const std::pair<uint32_t, std::string> expected[] = {
        {211000001, "ALPHA|Instant|\"ALPHA\" Type:Cargo Callsign:CALL, MMSI:211000001"},
        // Cut to 64 bytes at a character boundary: 32 whole characters.
        {211000002, longName.substr(0, 64) + "|Instant|\"" + longName.substr(0, 64) +
                        "\" Type:Cargo Callsign:CALL, MMSI:211000002"},
        {211000003, "%s%n%s|Instant|\"%s%n%s\" Type:T&T Callsign:CALL, MMSI:211000003"},
        {970000001, "SART|Instant|Search and Rescue Transponder|red"},
        {972000002, "MOB|Instant|Man Overboard|red"},
        {974000003, "EPIRB|Instant|EPIRB|red"},
    };
    // The same MMSIs again with other texts change nothing of what is known.
    for (const char* again :
         {"", "<watchmate><Target><MMSI>211000001</MMSI><Name>B</Name></Target></watchmate>"}) {
        SCOPED_TRACE(again);
        if (*again) {
            ASSERT_TRUE(Import(again));
        }
        EXPECT_EQ(manager.Count(), std::size(expected));
        for (const auto& [mmsi, text] : expected)
            EXPECT_EQ(describe(mmsi), text);
    }
    // Without position the imported targets are not listed.
    std::vector<COverlayListRowKey> rows;
    CAISListDelegate().FillList(rows);
    EXPECT_TRUE(rows.empty());

    // Other roots, missing files and a deep nesting.
    EXPECT_FALSE(Import("<Targets>" + Target("211000005", "X") + "</Targets>"));
    EXPECT_FALSE(manager.ImportWatchmateTargets(m_dir + "/missing.xml"));
    EXPECT_FALSE(Import(""));
    std::string deep = "<Watchmate>" + Target("211000006", "DEEP");
    for (int i = 0; i < 20000; ++i)
        deep += "<a>";
    EXPECT_TRUE(Import(deep + "</Watchmate>"));
    EXPECT_NE(manager.Find(211000006), nullptr);
    EXPECT_EQ(manager.Find(211000005), nullptr);
}

TEST_F(AISList, RowsTitlesAndTheWarningZone)
{
    CDataGPSPosition fix; // stopped at (kOwnLat, kOwnLon)
    fix.SetPosition(kOwnLat, kOwnLon);
    fix.m_fixStatus = CDataGPSPosition::kGPSFix;
    manager.HandleOwnFix(fix);
    // 500 m abeam, 2 km astern, overtaking north at 10 kn: closing, CPA
    // 500 m in 6.5 min: a warning (limit 300 m), yellow on the chart.
    CAISTarget* warned = Report(211000001, 500, -2000, 10, 0);
    ASSERT_NE(warned, nullptr);
    EXPECT_EQ(warned->m_colour, GraphicsColor(220 / 255.0, 220 / 255.0, 0, 1));
    // Heading away: not closing, no CPA in the title.
    CAISTarget* away = Report(211000002, 0, 3000, 10, 0);
    ASSERT_NE(away, nullptr);
    away->m_tooltip = "\"FAR\" Type:Cargo LOA:100m\nCallsign:X, MMSI:211000002";
    away->m_name = "FAR";

    struct Case
    {
        const char* name;
        double cpa, tcpa;
        const char* classText;
        const char* title;
    };
    const Case cases[] = {
        {"", 150, 600, "Class A", "211000001 CPA 150 m, 10 min"},
        {"NEAR", 599, 2399, "Class A", "NEAR CPA 599 m, 39 min"},
        {"NEAR", 600, 600, "Class A", "NEAR"},  // twice the limit is outside
        {"NEAR", 150, 2400, "Class A", "NEAR"}, // twice alarm_time too
        {"NEAR", 150, -60, "Class A", "NEAR"},  // passed
        {"B", 199, 60, "Class B", "B CPA 199 m, 1 min"},
        {"B", 250, 60, "Class B", "B"}, // class B limit 100 m
    };
    COverlayListRow row;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        warned->m_name = c.name;
        warned->m_cpa = c.cpa;
        warned->m_tcpa = c.tcpa;
        warned->m_classText = c.classText;
        CAISListDelegate::TargetRowText(*warned, row);
        EXPECT_EQ(row.text, c.title);
    }

    // Details: class, speed (C locale), status, the tooltip after its first
    // quote with line feeds as spaces, or the whole tooltip without one.
    const char* before = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = before ? before : "C";
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    CAISListDelegate::TargetRowText(*away, row);
    EXPECT_EQ(row.text, "FAR");
    EXPECT_EQ(row.detail, "  Class A Speed:10.0 kts, Under way using engine Type:Cargo LOA:100m Callsign:X, "
                          "MMSI:211000002");
    away->m_tooltip = "EPIRB\nlost";
    CAISListDelegate::TargetRowText(*away, row);
    EXPECT_EQ(row.detail, "  Class A Speed:10.0 kts, Under way using engine EPIRB lost");
    std::setlocale(LC_NUMERIC, saved.c_str());

    // The list: targets with class and position, by name; the own ship never.
    ASSERT_TRUE(Import("<Watchmate>" + Target("211000003", "UNPLACED") + "</Watchmate>"));
    warned->m_name = "ALPHA";
    CAISListDelegate list;
    std::vector<COverlayListRowKey> rows;
    list.FillList(rows);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], COverlayListRowKey::MMSI(211000001));
    EXPECT_EQ(rows[1], COverlayListRowKey::MMSI(211000002));
    COverlayGPSPosition::Global().SetState(COverlayObject::kChanged);
    EXPECT_FALSE(list.IsDirty());
    // A later report with a position lists the imported target.
    Report(211000003, 100, 100, 0, 0);
    EXPECT_TRUE(list.IsDirty());
    list.FillList(rows);
    EXPECT_EQ(rows.size(), 3u);
}

TEST_F(AISList, SelectingARowShowsTheTargetAndItsVectorAndGoneTargetsDoNothing)
{
    tessatest::CTestChartView chart(400, 300);
    ASSERT_TRUE(chart.IsOpen());
    // East at 100 kn: the vector ends some chart pixels east of the target.
    CAISTarget* t = Report(211000001, 0, 0, 100, 90);
    ASSERT_NE(t, nullptr);
    const double length = COverlayMovingTarget::VectorLengthMetres(100);
    ASSERT_GT(length, 10000);
    double endLat = 0, endLon = 0;
    CLocalPlane(kOwnLat, kOwnLon).FromXY(length, 0, endLat, endLon);

    CAISListDelegate list;
    std::vector<COverlayListRowKey> rows;
    list.FillList(rows);
    ASSERT_EQ(rows.size(), 1u);
    double lat = 0, lon = 0;
    list.Select(rows[0], nullptr);
    EXPECT_EQ(manager.SelectedMMSI(), 211000001u);
    ASSERT_TRUE(chart.view->GetCentreLatLon(lat, lon));
    // Within a chart pixel (1/64 degree) of the middle of the vector.
    EXPECT_NEAR(lat, kOwnLat, 0.016);
    EXPECT_NEAR(lon, (kOwnLon + endLon) / 2, 0.016);
    EXPECT_GT(endLon - kOwnLon, 0.1);
    // The whole vector is in view.
    const double metresPerPixel = chart.view->GetCentreScale() * 1852.0;
    EXPECT_GT(400 * metresPerPixel, length);

    // Removed (state 255): the list is dirty, and its old rows do nothing.
    list.FillList(rows);
    ASSERT_FALSE(list.IsDirty());
    manager.Age(clock.Now() + CAISTargetManager::kExpiryAge + 1);
    EXPECT_EQ(manager.Find(211000001), nullptr);
    EXPECT_TRUE(list.IsDirty());
    COverlayListRow row{"kept", ""};
    EXPECT_FALSE(list.RowText(rows[0], row));
    EXPECT_EQ(row.text, "kept");
    chart.view->GoToPosition(5, 5, chart.view->GetCentreScale());
    list.Activate(rows[0], nullptr);
    EXPECT_EQ(manager.SelectedMMSI(), 0u);
    ASSERT_TRUE(chart.view->GetCentreLatLon(lat, lon));
    EXPECT_NEAR(lat, 5, 1e-6);
    // A serial-number key never finds a target.
    EXPECT_FALSE(list.RowText(COverlayListRowKey::Serial(211000001), row));
}

TEST_F(AISList, ATcpConnectToTheDeviceFillsTheTableBeforeItsJobEnds)
{
    tessatest::LoopbackServer server;
    ASSERT_NE(server.Port(), 0) << server.Error();
    server.AddFile("/targets/getTargets", "<Watchmate>" + Target("211000001", "ALPHA") +
                                              Target("211000002", "BRAVO") + "</Watchmate>");
    tessatest::LoopbackTcpPeer peer;
    tessatest::ScopedConnectionCalls calls;
    SetWiFiSSIDForTesting("TestNet");
    ClearPendingCallbacksForTesting();
    auto& settings = CTCPIPConnection::Settings();
    settings.ip_address = "127.0.0.1";
    settings.network = "TestNet";
    settings.port = peer.PortText();
    settings.instant_acquisition = true;
    CTCPIPConnection::s_aisDataPort = peer.PortText();
    CTCPIPConnection::s_aisListPort = server.Port();
    CConnectionEvents events; // the application's import
    InstallPort<IConnectionEvents>(&events);

    CTCPIPConnection c;
    const bool opened = c.Open();
    InstallPort<IConnectionEvents>(nullptr);
    CTCPIPConnection::s_aisDataPort = "39150";
    CTCPIPConnection::s_aisListPort = 39151;
    settings.instant_acquisition = false;
    SetWiFiSSIDForTesting("");
    ASSERT_TRUE(opened);
    ASSERT_TRUE(peer.Accept());
    EXPECT_EQ(server.RequestCount(), 1u);
    ASSERT_EQ(manager.Count(), 2u);
    EXPECT_EQ(manager.Find(211000002)->m_name, "BRAVO");

    // The first report with a position lists it under the device's name.
    CAISListDelegate list;
    std::vector<COverlayListRowKey> rows;
    Report(211000002, 100, 100, 5, 45);
    list.FillList(rows);
    ASSERT_EQ(rows.size(), 1u);
    COverlayListRow row;
    ASSERT_TRUE(list.RowText(rows[0], row));
    EXPECT_EQ(row.text, "BRAVO");
    c.Close();
}

} // namespace
