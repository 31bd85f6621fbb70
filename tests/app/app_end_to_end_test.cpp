// The whole application on a simulated voyage: the own ship replayed from a
// simulation file moves and records its track, a route built by taps is
// followed and steers an autopilot connection leg by leg, a vessel on a
// collision course raises the CPA alarm, and the marks, routes and tracks
// exported from the menus are valid GPX that a fresh home imports unchanged.
// Menus are driven by pointer clicks; simulated time runs by direct ticks.
// TESSA_XVFB_LABEL
#include "app/panels/data_window.h"
#include "app/window/QtRasterleafView.h"
#include "app/window/ViewController.h"
#include "charts/chartlist/ChartList.h"
#include "foundation/notify/StatusLine.h"
#include "foundation/util/Folders.h"
#include "instruments/connections/ConnectionRegistry.h"
#include "mapview/view/RasterleafView.h"
#include "overlays/model/AutopilotRMB.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/OverlayTrack.h"
#include "overlays/model/TrackManager.h"
#include "support/AppHarness.h"
#include "support/ConnectionDoubles.h"
#include "support/ScenarioWriter.h"
#include "support/TestPaths.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

using namespace tessatest;
namespace fs = std::filesystem;

namespace {

constexpr int kTicksPerFix = 20;

// Clicks `item` in the open pop-up menu, as a pointer does.
void ClickOpenMenuItem(const char* item)
{
    auto* open = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(open, nullptr) << "no menu is open for " << item;
    QAction* chosen = nullptr;
    for (QAction* a : open->actions())
        if (a->text() == item && a->isVisible())
            chosen = a;
    ASSERT_NE(chosen, nullptr) << item;
    ASSERT_TRUE(chosen->isEnabled()) << item;
    QTest::mouseClick(open, Qt::LeftButton, {}, open->actionGeometry(chosen).center());
    EXPECT_FALSE(open->isVisible()) << item;
    QCoreApplication::processEvents(); // a chart menu acts once the click is done
}

// Opens `menu` of the menu bar and clicks `item` in it.
void ClickMenu(ViewController& window, const char* menu, const char* item)
{
    QMenuBar* bar = window.menuBar();
    QAction* title = nullptr;
    for (QAction* a : bar->actions())
        if (a->text() == menu)
            title = a;
    ASSERT_NE(title, nullptr) << menu;
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(title).center());
    ASSERT_EQ(QApplication::activePopupWidget(), title->menu()) << menu << " did not open";
    ClickOpenMenuItem(item);
}

QPoint ScreenPoint(CRasterleafView& view, double lat, double lon)
{
    double x = 0, y = 0;
    EXPECT_TRUE(view.LatLonToScreen(lat, lon, x, y));
    return QPoint(int(std::lround(x)), int(std::lround(y)));
}

void Tap(ViewController& window, const QPoint& p)
{
    QTest::mouseClick(&window.ChartWidget(), Qt::LeftButton, {}, p);
}

// Pixels within 10 view pixels of `p` that differ between two renders.
int DifferingAround(const QImage& a, const QImage& b, QPoint p)
{
    const double dpr = a.devicePixelRatio();
    int count = 0;
    for (int y = int((p.y() - 10) * dpr); y <= int((p.y() + 10) * dpr); ++y)
        for (int x = int((p.x() - 10) * dpr); x <= int((p.x() + 10) * dpr); ++x)
            count += a.rect().contains(x, y) && a.pixel(x, y) != b.pixel(x, y);
    return count;
}

// Pixels within 10 view pixels of `p` in the alarm's red.
int RedAround(const QImage& image, QPoint p)
{
    const double dpr = image.devicePixelRatio();
    int count = 0;
    for (int y = int((p.y() - 10) * dpr); y <= int((p.y() + 10) * dpr); ++y)
        for (int x = int((p.x() - 10) * dpr); x <= int((p.x() + 10) * dpr); ++x) {
            const QRgb c = image.rect().contains(x, y) ? image.pixel(x, y) : 0;
            count += qRed(c) > 200 && qGreen(c) < 80 && qBlue(c) < 80;
        }
    return count;
}

// The RMB sentence's destination mark (the origin field is written as "X").
std::string RmbDestination(const std::string& sentence)
{
    std::vector<std::string> fields;
    std::stringstream ss(sentence.substr(0, sentence.find('*')));
    for (std::string f; std::getline(ss, f, ',');)
        fields.push_back(f);
    return fields.size() > 5 && fields[0] == "$ECRMB" ? fields[5] : "?";
}

bool Validates(const std::string& path)
{
    const std::string schema = TestDataFile("gpx/schema/gpx11.xsd");
    const std::string command = "xmllint --noout --nonet --schema '" + schema + "' '" + path + "' 2>&1";
    return std::system(command.c_str()) == 0;
}

// What a fresh home must get back: the names of every object and their points' positions.
struct Contents
{
    std::string names;
    std::vector<double> coordinates;
};

Contents Summary()
{
    Contents c;
    auto add = [&c](double lat, double lon) {
        c.coordinates.push_back(lat);
        c.coordinates.push_back(lon);
    };
    for (const auto& m : CMarkManager::Get().Marks()) {
        c.names += "mark " + m->GetName() + "\n";
        add(m->GetLatitude(), m->GetLongitude());
    }
    for (const auto& r : CMarkManager::Get().Routes()) {
        c.names += "route " + r->GetName() + ":";
        for (const auto& p : r->Points()) {
            c.names += " " + p->GetName();
            add(p->GetLatitude(), p->GetLongitude());
        }
        c.names += "\n";
    }
    for (const auto& t : CTrackManager::Get().Tracks()) {
        c.names += "track " + t->GetName() + " " + std::to_string(t->AllPoints().size()) + "\n";
        for (const CTrackPoint& p : t->AllPoints())
            add(p.latitude, p.longitude);
    }
    return c;
}

} // namespace

TEST(EndToEnd, SimulatedVoyageWithRouteAlarmAndGpxRoundTrip)
{
    if (!AppHarness::HasBaseMap())
        GTEST_SKIP() << "the world base map was not built";
    TESSA_REQUIRE_TESTDATA("gpx/schema/gpx11.xsd");
    if (std::system("command -v xmllint >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xmllint is not installed (tools/dev.sh installs it)";

    Scenario scenario;
    scenario.own = {40.0, -45.0, 90.0, 20.0};
    scenario.seconds = 150;
    scenario.target = scenario.own;
    scenario.target.At(6000 / (20.0 * 1852 / 3600), scenario.target.lat, scenario.target.lon); // 6 km east
    scenario.target.cog = 270.0;
    const std::string exports = MakeScratchDir("end_to_end_exports");
    const std::string simulation = exports + "/voyage.nmea";
    ASSERT_TRUE(WriteScenarioFile(simulation, scenario));

    Contents exported;
    {
        AppHarness harness("end_to_end");
        harness.SetSetting("CDataConnection:gps_connection_type",
                           "0x" + QString::number(kConnectionSimulation, 16).toStdString());
        harness.SetSetting("CNMEASimulation:filename", simulation);
        ASSERT_TRUE(WriteScenarioChart(GetDocumentsFolder() + "/scenario.rlt", scenario));
        harness.Start(true);
        ViewController& window = harness.Window();
        window.resize(1200, 800);
        CRasterleafView& view = window.ChartView();
        // The voyage's chart is nautical, a type the user shows beside the defaults.
        CSelectMapTypes::ShowType("Nautical");
        double midLat = 0, midLon = 0;
        scenario.own.At(70, midLat, midLon);
        ASSERT_TRUE(view.GoToPosition(midLat, midLon, 0.006)); // some 14 m a pixel
        harness.TickUntilDrawn();
        const QImage before = window.ChartWidget().grab().toImage();

        // The own ship moves along the course, and the logging started from the menu records it.
        ClickMenu(window, "&GPS", "Start Track Logging");
        ASSERT_TRUE(CTrackManager::Get().IsRecording());
        harness.Tick(10 * kTicksPerFix);
        double lat = 0, lon = 0;
        scenario.own.At(9, lat, lon);
        ASSERT_EQ(CTrackManager::Get().Tracks().size(), 1u);
        // The file is read on the connection's own thread: on a busy machine
        // its last line may come a moment after the ticks that were due.
        for (int i = 0; i < 400; ++i) {
            const auto& points = CTrackManager::Get().Tracks()[0]->AllPoints();
            if (!points.empty() && std::fabs(points.back().longitude - lon) <= 1e-5)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            window.OnTimer();
            QCoreApplication::processEvents();
        }
        const std::vector<CTrackPoint> first = CTrackManager::Get().Tracks()[0]->AllPoints();
        ASSERT_GE(first.size(), 2u);
        EXPECT_NEAR(first.back().latitude, lat, 1e-5);
        EXPECT_NEAR(first.back().longitude, lon, 1e-5);

        // A route of three taps 400 m north of the course: New Route, the taps, Done.
        const double metre = 1.0 / (1852.0 * 60.0);
        auto routePoint = [&](double metresEast) {
            double la = 0, lo = 0;
            scenario.own.At(metresEast / (20.0 * 1852 / 3600), la, lo);
            return ScreenPoint(view, la + 400 * metre, lo);
        };
        const QPoint marks[3] = {routePoint(-300), routePoint(800), routePoint(2600)};
        ClickMenu(window, "&View", "New Route");
        harness.Tick(1);
        for (const QPoint& p : marks) {
            Tap(window, p);
            harness.Tick(1);
        }
        ClickMenu(window, "&View", "Done");
        ClickMenu(window, "&View", "New Mark");
        ASSERT_EQ(CMarkManager::Get().Routes().size(), 1u);
        COverlayRoute& route = *CMarkManager::Get().Routes()[0];
        ASSERT_EQ(route.Points().size(), 3u);
        ASSERT_EQ(CMarkManager::Get().Marks().size(), 1u);

        // Followed from the route's own menu (a right click on its first mark), with an autopilot listening
        // for RMB.
        RecordingConnection autopilot;
        AddNMEAFilter(autopilot.m_outputFilters, "Accept ??RMB");
        QTest::mouseClick(&window.ChartWidget(), Qt::RightButton, {}, marks[0]);
        ClickOpenMenuItem("Follow Route");
        ASSERT_TRUE(route.IsFollowed());

        // The voyage goes on; the target closes and the alarm is raised.
        bool alarmOnStatusLine = false;
        for (int s = 10; s < scenario.seconds - 2; ++s) {
            harness.Tick(kTicksPerFix);
            alarmOnStatusLine |= GetStatusMessage().rfind("AIS collision alert", 0) == 0;
        }
        EXPECT_TRUE(alarmOnStatusLine);
        ASSERT_FALSE(harness.Notifier().delivered.empty());
        EXPECT_EQ(harness.Notifier().delivered[0].title.rfind("AIS collision alert", 0), 0u)
            << harness.Notifier().delivered[0].title;
        // The first leg's end, then the second's, each in a run of sentences.
        std::vector<std::string> legs;
        for (const std::string& sentence : autopilot.written)
            if (legs.empty() || legs.back() != RmbDestination(sentence))
                legs.push_back(RmbDestination(sentence));
        const auto name = [&](size_t i) { return MakeRMBIdentifier(route.Points()[i]->GetName()); };
        EXPECT_EQ(legs, (std::vector<std::string>{name(1), name(2)}));
        EXPECT_GT(autopilot.written.size(), 100u);

        // Screenshots, and the ship and the alarmed target on them.
        harness.TickUntilDrawn();
        const QImage after = window.ChartWidget().grab().toImage();
        const std::string shots = std::string(TESSA_BUILD_DIR) + "/screenshots";
        fs::create_directories(shots);
        EXPECT_TRUE(window.grab().save(QString::fromStdString(shots + "/end_to_end_main.png")));
        scenario.own.At(scenario.seconds - 3, lat, lon);
        // The ship's icon, not only the lines through it.
        EXPECT_GT(DifferingAround(before, after, ScreenPoint(view, lat, lon)), 150);
        scenario.target.At(scenario.seconds - 3, lat, lon);
        EXPECT_GT(RedAround(after, ScreenPoint(view, lat, lon)), 5);
        ClickMenu(window, "&Window", "Data Panel");
        ASSERT_NE(data_window::Current(), nullptr);
        harness.Tick(kTicksPerFix); // the panel's cells fill at the next fix
        EXPECT_TRUE(
            data_window::Current()->grab().save(QString::fromStdString(shots + "/end_to_end_data.png")));

        // Exports from the File menu.
        harness.Presenter().SetImmediate(true);
        for (const char* kind : {"Marks", "Routes", "Tracks"}) {
            const std::string path = exports + "/" + kind + ".gpx";
            harness.Presenter().ChoosePath(path);
            ClickMenu(window, "&File", (std::string("Export ") + kind + "...").c_str());
            EXPECT_TRUE(Validates(path)) << path;
        }
        exported = Summary();
    }
    EXPECT_NE(exported.names.find("mark "), std::string::npos) << exported.names;
    EXPECT_NE(exported.names.find("route "), std::string::npos) << exported.names;
    EXPECT_NE(exported.names.find("track "), std::string::npos) << exported.names;

    AppHarness fresh("end_to_end_fresh");
    fresh.Start(true);
    fresh.Presenter().SetImmediate(true);
    for (const char* kind : {"Marks", "Routes", "Tracks"}) {
        fresh.Presenter().ChoosePath(exports + "/" + kind + ".gpx");
        ClickMenu(fresh.Window(), "&File", "Import GPX File...");
    }
    const Contents imported = Summary();
    EXPECT_EQ(imported.names, exported.names);
    ASSERT_EQ(imported.coordinates.size(), exported.coordinates.size());
    for (size_t i = 0; i < exported.coordinates.size(); ++i)
        EXPECT_NEAR(imported.coordinates[i], exported.coordinates[i], 2e-6) << i;
    fs::remove_all(exports);
}
