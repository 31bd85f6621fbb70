// The application started offscreen in a private home: the shipped world map
// opens on the default area, the settings and the view are saved at exit and
// come back at the next start; the base-map copy and the signal path.
// TESSA_TSAN_LABEL
#include "app/shell/AppDelegate.h"
#include "app/shell/AppDelegatePorts.h"
#include "app/shell/PeriodicSave.h"
#include "app/window/OverlayWindowPorts.h"
#include "app/window/QtRasterleafView.h"
#include "app/window/ViewController.h"
#include "app/window/overlay_window.h"
#include "foundation/AtomicFile.h"
#include "foundation/notify/StatusLine.h"
#include "foundation/platform/PlatformFolders.h"
#include "foundation/util/Folders.h"
#include "instruments/nmea/NMEASentence.h"
#include "mapview/overlay/OverlayTool.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "mapview/view/RasterleafView.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/SaveAllData.h"
#include "overlays/ui/MarkTool.h"
#include "packagewriter/PackageWriter.h"
#include "support/RecordingNotifier.h"
#include "support/ScriptedPresenter.h"
#include "support/TestPaths.h"

#include <QAction>
#include <QCoreApplication>
#include <QImage>
#include <QProcess>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::string& text)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// The colour of the rendered window at a place.
QRgb ColourAt(CRasterleafView& view, const QImage& image, double lat, double lon)
{
    double x = 0, y = 0;
    EXPECT_TRUE(view.LatLonToScreen(lat, lon, x, y));
    const double dpr = image.devicePixelRatio();
    const int px = int(x * dpr), py = int(y * dpr);
    EXPECT_TRUE(image.rect().contains(px, py)) << lat << ", " << lon << " at " << x << ", " << y;
    return image.rect().contains(px, py) ? image.pixel(px, py) : 0;
}

void SendNMEA(const std::string& body)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, "%s", body.c_str());
    AppendNMEAChecksum(buf, sizeof buf);
    ASSERT_TRUE(DispatchNMEALine(buf, nullptr));
}

// Pixels that differ between two renders within 12 view pixels of a place.
int DifferingPixelsAround(CRasterleafView& view, const QImage& a, const QImage& b, double lat, double lon)
{
    double x = 0, y = 0;
    view.LatLonToScreen(lat, lon, x, y);
    const double dpr = a.devicePixelRatio();
    int count = 0;
    for (int py = int((y - 12) * dpr); py <= int((y + 12) * dpr); ++py)
        for (int px = int((x - 12) * dpr); px <= int((x + 12) * dpr); ++px)
            if (a.rect().contains(px, py) && a.pixel(px, py) != b.pixel(px, py))
                ++count;
    return count;
}

class ApplicationStart : public ::testing::Test
{
protected:
    void SetUp() override
    {
        basemap = std::string(TESSA_BUILD_RESOURCES) + "/basemaps/world.rlt.COPY";
        if (!fs::exists(basemap))
            GTEST_SKIP() << "the world base map was not built (" << basemap << ")";
        root = tessatest::MakeScratchDir("appstart");
        SetFolderRootForTesting(root);
        SetResourceFoldersForTesting({TESSA_BUILD_RESOURCES});
    }
    void TearDown() override
    {
        if (root.empty())
            return;
        SetFolderRootForTesting("");
        SetResourceFoldersForTesting({});
        fs::remove_all(root);
    }
    std::string basemap, root;
};

} // namespace

TEST_F(ApplicationStart, ShowsTheWorldMapSavesAtExitAndRestoresTheView)
{
    double lat = 0, lon = 0;
    int zoom = 0;
    std::string chart;
    {
        AppDelegate app;
        app.Start(true);
        ViewController* window = app.Window();
        ASSERT_NE(window, nullptr);
        CRasterleafView& view = window->ChartView();
        ASSERT_TRUE(view.HasChart());
        EXPECT_EQ(window->windowTitle().toStdString(), view.GetMapTitle());
        // The base map was copied for this version.
        const std::string data = GetPlatformDataFolder();
        EXPECT_TRUE(fs::is_regular_file(data + "/basemaps/world.rlt"));
        EXPECT_TRUE(fs::exists(data + "/basemaps/.v" + GetBundleVersion()));
        EXPECT_EQ(fs::file_size(data + "/basemaps/world.rlt"), fs::file_size(basemap));

        // The default area: the North Atlantic between America and Africa.
        double clat = 0, clon = 0;
        ASSERT_TRUE(view.GetCentreLatLon(clat, clon));
        EXPECT_NEAR(clat, 40, 1.0);
        EXPECT_NEAR(clon, -45, 1.0);
        // The chart's workers render its tiles; the timer shows them as they come.
        QImage image;
        for (int i = 0; i < 400; ++i) {
            image = window->ChartWidget().grab().toImage();
            if (i > 0 && !view.HasWork() && !view.IsBusy())
                break;
            window->OnTimer();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const QRgb ocean = ColourAt(view, image, 35, -45);
        EXPECT_GT(qBlue(ocean), qRed(ocean) + 20) << std::hex << ocean;
        EXPECT_GT(qBlue(ocean), qGreen(ocean)) << std::hex << ocean;
        const QRgb sahara = ColourAt(view, image, 25, 0);
        EXPECT_GT(qRed(sahara), qBlue(sahara) + 40) << std::hex << sahara;
        const QRgb greenland = ColourAt(view, image, 72, -40);
        EXPECT_GT(qGray(greenland), 200) << std::hex << greenland;

        // A position stream moves the own ship over the chart.
        COverlayGPSPosition& ship = COverlayGPSPosition::Global();
        SendNMEA("$GPRMC,120000,A,4000.000,N,04500.000,W,5.0,90.0,010125,,,A");
        ASSERT_TRUE(view.DisplayedOverlays().Contains(&ship));
        const QImage withShip = window->ChartWidget().grab().toImage();
        EXPECT_GT(DifferingPixelsAround(view, image, withShip, 40, -45), 10);
        SendNMEA("$GPRMC,120001,A,3800.000,N,03500.000,W,5.0,90.0,010125,,,A");
        EXPECT_NEAR(ship.m_latitude, 38.0, 1e-9);
        const QImage moved = window->ChartWidget().grab().toImage();
        EXPECT_GT(DifferingPixelsAround(view, image, moved, 38, -35), 10);
        EXPECT_EQ(DifferingPixelsAround(view, image, moved, 40, -45), 0);

        // The toolbar zooms; the view is then moved away from the default.
        const int zoom0 = view.Transform().zoom;
        window->ZoomInAction()->trigger();
        EXPECT_EQ(view.Transform().zoom, zoom0 - 1);
        for (int i = 0; i < 20; ++i)
            window->OnTimer();
        EXPECT_EQ(view.Magnification(), 1.0);
        view.PanBy(150, -60);
        view.GetCentreLatLon(lat, lon);
        zoom = view.Transform().zoom;
        chart = view.GetCurrentChartPath();
        app.Shutdown();
        EXPECT_TRUE(fs::is_regular_file(data + "/app_state.bin"));
        EXPECT_TRUE(fs::is_regular_file(data + "/Tessaroute.ini"));
    }
    {
        AppDelegate app;
        app.Start(true);
        CRasterleafView& view = app.Window()->ChartView();
        EXPECT_EQ(view.GetCurrentChartPath(), chart);
        EXPECT_EQ(view.Transform().zoom, zoom);
        double lat2 = 0, lon2 = 0;
        ASSERT_TRUE(view.GetCentreLatLon(lat2, lon2));
        EXPECT_NEAR(lat2, lat, 0.2);
        EXPECT_NEAR(lon2, lon, 0.2);
        // With the chart closed the title falls back.
        view.CloseChart();
        EXPECT_EQ(app.Window()->windowTitle().toStdString(), "Map");
        app.Shutdown();
    }
}

TEST_F(ApplicationStart, ZoomingOutOfADetailedChartReturnsToTheWorldMap)
{
    const std::string detail = GetDocumentsFolder() + "/harbour.rlt";
    fs::create_directories(fs::path(detail).parent_path());
    ASSERT_TRUE(
        tessatest::WriteWholeFile(detail, tessatest::MakeSmallChart("Harbour", 10.4, 54.6, 10.6, 54.4)));
    tessatest::CScriptedPresenter presenter;
    AppDelegate app;
    app.Start(true);
    CRasterleafView& view = app.Window()->ChartView();
    ASSERT_EQ(view.GetMapTitle(), "World");
    ASSERT_TRUE(view.GoToPosition(54.5, 10.5, 0));
    ASSERT_EQ(view.GetCurrentChartPath(), detail);
    for (int i = 0; i < 12 && view.GetCurrentChartPath() == detail; ++i)
        view.ZoomAboutCentre(1);
    EXPECT_EQ(view.GetMapTitle(), "World");
    app.Shutdown();
}

TEST_F(ApplicationStart, AnUnreadableSavedViewIsKeptAsideAndTheDefaultAreaShown)
{
    const std::string data = GetPlatformDataFolder();
    WriteAll(data + "/app_state.bin", "not a state file");
    tessatest::CScriptedPresenter presenter;
    AppDelegate app;
    app.Start(true);
    // Set aside at once, and the user told without waiting for an answer.
    EXPECT_EQ(ReadAll(data + "/app_state.bin.unreadable"), "not a state file");
    EXPECT_FALSE(fs::exists(data + "/app_state.bin"));
    EXPECT_EQ(GetStatusMessage(), "app_state.bin could not be read and was kept as app_state.bin.unreadable");
    ASSERT_EQ(presenter.Shown().size(), 1u);
    EXPECT_EQ(presenter.OpenCount(), 1u);
    EXPECT_EQ(presenter.Last().parent, app.Window());
    EXPECT_NE(presenter.Last().text.find("app_state.bin: not an object file"), std::string::npos)
        << presenter.Last().text;
    EXPECT_NE(presenter.Last().text.find("Kept as app_state.bin.unreadable in " + data), std::string::npos)
        << presenter.Last().text;
    EXPECT_EQ(presenter.Last().buttons, std::vector<std::string>{"OK"});
    EXPECT_EQ(presenter.DeliverAll(), 1);
    CRasterleafView& view = app.Window()->ChartView();
    double lat = 0, lon = 0;
    ASSERT_TRUE(view.GetCentreLatLon(lat, lon));
    EXPECT_NEAR(lat, 40, 1.0);
    EXPECT_NEAR(lon, -45, 1.0);
    app.Shutdown();
    EXPECT_EQ(ReadAll(data + "/app_state.bin.unreadable"), "not a state file");
    CApplicationData reread;
    EXPECT_TRUE(reread.LoadFromFile(data + "/app_state.bin", nullptr, CApplicationData::kFileId));
}

TEST(BaseMapCopy, CopiesOncePerVersionAndRetriesAfterAFailure)
{
    const std::string root = tessatest::MakeScratchDir("basemapcopy");
    const std::string res = root + "/res", data = root + "/data";
    WriteAll(res + "/basemaps/a.rlt", "AAAA");
    WriteAll(res + "/b.rlt.COPY", "BBBB");
    WriteAll(res + "/basemaps/c.rlt.copy", "CCCC");
    WriteAll(res + "/notes.txt", "not a map");
    // A folder where a copy must go makes that copy fail: no marker then.
    fs::create_directories(data + "/basemaps/a.rlt/inner");
    EXPECT_FALSE(CopyBaseMaps(res, data, "7"));
    EXPECT_FALSE(fs::exists(data + "/basemaps/.v7"));
    EXPECT_EQ(ReadAll(data + "/basemaps/b.rlt"), "BBBB");

    fs::remove_all(data + "/basemaps/a.rlt");
    EXPECT_TRUE(CopyBaseMaps(res, data, "7"));
    EXPECT_EQ(ReadAll(data + "/basemaps/a.rlt"), "AAAA");
    EXPECT_EQ(ReadAll(data + "/basemaps/c.rlt"), "CCCC");
    EXPECT_TRUE(fs::exists(data + "/basemaps/.v7"));
    EXPECT_FALSE(fs::exists(data + "/basemaps/notes.txt"));
    EXPECT_FALSE(fs::exists(data + "/basemaps/notes"));

    // Copied once per version.
    WriteAll(res + "/basemaps/a.rlt", "NEW");
    EXPECT_TRUE(CopyBaseMaps(res, data, "7"));
    EXPECT_EQ(ReadAll(data + "/basemaps/a.rlt"), "AAAA");
    EXPECT_TRUE(CopyBaseMaps(res, data, "8"));
    EXPECT_EQ(ReadAll(data + "/basemaps/a.rlt"), "NEW");
    // No leftovers of the temporary copies.
    for (const auto& entry : fs::directory_iterator(data + "/basemaps"))
        EXPECT_TRUE(entry.path().filename() == "a.rlt" || entry.path().filename() == "b.rlt" ||
                    entry.path().filename() == "c.rlt" ||
                    entry.path().filename().string().rfind(".v", 0) == 0)
            << entry.path();

    // A link in the folder's place is replaced by a folder of our own: nothing
    // is written where it pointed.
    WriteAll(root + "/elsewhere/a.rlt", "USER");
    fs::remove_all(data + "/basemaps");
    fs::create_directory_symlink(root + "/elsewhere", data + "/basemaps");
    EXPECT_TRUE(CopyBaseMaps(res, data, "9"));
    EXPECT_FALSE(fs::is_symlink(data + "/basemaps"));
    EXPECT_EQ(ReadAll(data + "/basemaps/a.rlt"), "NEW");
    EXPECT_EQ(ReadAll(root + "/elsewhere/a.rlt"), "USER");
    EXPECT_EQ(std::distance(fs::directory_iterator(root + "/elsewhere"), {}), 1);
    fs::remove_all(root);
}

TEST(TerminationSignal, EndsTheEventLoopThroughTheNormalPath)
{
    AppDelegate::InstallTerminationHandler();
    QTimer::singleShot(0, [] { ::kill(::getpid(), SIGTERM); });
    QTimer::singleShot(10000, [] { QCoreApplication::exit(7); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
}

TEST_F(ApplicationStart, MarksAndRoutesSurviveARestartAndARefusedStoreIsKeptAside)
{
    CMarkManager& manager = CMarkManager::Get();
    manager.ClearForTesting();
    const std::string data = GetPlatformDataFolder();
    {
        AppDelegate app;
        app.Start(false);
        COverlayMark* home = manager.CreateMarkAt(nullptr, "Home", 40, -45);
        ASSERT_NE(home, nullptr);
        manager.GotoMark(home);
        EXPECT_TRUE(SaveAllData()); // GPX import and synchronisation reach the application this way
        EXPECT_TRUE(fs::is_regular_file(data + "/marks_routes.bin"));
        app.Shutdown();
    }
    manager.ClearForTesting();
    {
        AppDelegate app;
        app.Start(false);
        ASSERT_EQ(manager.Marks().size(), 1u);
        EXPECT_EQ(manager.Marks()[0]->GetName(), "Home");
        EXPECT_EQ(manager.GetGoto().target, manager.Marks()[0].get());
        app.Shutdown();
    }
    manager.ClearForTesting();
    WriteAll(data + "/marks_routes.bin", "not a store");
    {
        AppDelegate app;
        app.Start(false);
        EXPECT_TRUE(manager.Marks().empty());
        EXPECT_NE(GetStatusMessage().find("kept as marks_routes.bin.unreadable"), std::string::npos);
        app.Shutdown();
    }
    EXPECT_EQ(ReadAll(data + "/marks_routes.bin.unreadable"), "not a store");
    EXPECT_FALSE(SaveAllData()); // no application, nothing saved
    manager.ClearForTesting();
    ClearStatusMessage();
}

namespace {

// Doubles of the ports that start-up and termination call, each noting when
// it was reached and what it found then.
struct CLaunchProbe : IPendingUrlRunner, IDataPanelWindow, IOverlayWindowContent
{
    std::vector<std::string> log;
    std::string data;
    void RunPendingUrl() override
    {
        log.push_back("url: marks " + std::to_string(CMarkManager::Get().Marks().size()) +
                      (AppDelegate::IsLaunchFinished() ? ", finished" : ""));
    }
    void SaveIfModifiedAndRelease() override
    {
        log.push_back(std::string("panel: overlay window ") + (overlay_window::Current() ? "open" : "gone") +
                      ", marks " + (fs::exists(data + "/marks_routes.bin") ? "saved" : "unsaved"));
    }
    UIViewControllerWithDialog* MakeOverlayList(QWidget*) override { return nullptr; }
};

} // namespace

TEST_F(ApplicationStart, PendingCommandRunsAfterTheStoresAndEveryEndTerminatesOnce)
{
    CMarkManager& manager = CMarkManager::Get();
    manager.ClearForTesting();
    const std::string data = GetPlatformDataFolder();
    {
        AppDelegate app;
        app.Start(false);
        manager.CreateMarkAt(nullptr, "Home", 40, -45);
        app.Shutdown();
    }
    manager.ClearForTesting();

    CLaunchProbe probe;
    probe.data = data;
    InstallPort<IPendingUrlRunner>(&probe);
    InstallPort<IDataPanelWindow>(&probe);
    InstallPort<IOverlayWindowContent>(&probe);
    {
        // As the process runs: the second half once the loop runs, the end
        // by closing the main window, which saves first as File > Quit does.
        // Its alarms leave the desktop with it.
        tessatest::ScopedRecordingNotifier alarms;
        AppDelegate app;
        app.Launch();
        EXPECT_TRUE(probe.log.empty());
        QTimer::singleShot(0, [&] {
            overlay_window::Open(app.Window());
            PostUserNotification(7, "Anchor alarm", "Drifted");
            fs::remove(data + "/marks_routes.bin");
            EXPECT_FALSE(app.Window()->close());
        });
        QTimer::singleShot(20000, [] { QCoreApplication::exit(7); });
        EXPECT_EQ(QCoreApplication::exec(), 0);
        EXPECT_EQ(probe.log,
                  (std::vector<std::string>{"url: marks 1", "panel: overlay window gone, marks saved"}));
        EXPECT_EQ(alarms.notifier.log, (std::vector<std::string>{"post 7", "remove all"}));
        EXPECT_FALSE(IsStatusLineShown()) << GetStatusMessage();
        EXPECT_TRUE(AppDelegate::IsLaunchFinished());
        EXPECT_TRUE(fs::exists(data + "/marks_routes.bin"));
        EXPECT_EQ(app.Window(), nullptr);
        // Once only: a later end saves nothing more.
        fs::remove(data + "/marks_routes.bin");
        app.OnCommitDataRequest();
        EXPECT_FALSE(fs::exists(data + "/marks_routes.bin"));
    }
    {
        // The end of a session: the panel is saved before the stores.
        AppDelegate app;
        app.Start(false);
        fs::remove(data + "/marks_routes.bin");
        fs::remove(data + "/tracks.bin");
        app.OnCommitDataRequest();
        EXPECT_EQ(probe.log.back(), "panel: overlay window gone, marks unsaved");
        EXPECT_TRUE(fs::exists(data + "/tracks.bin"));
        fs::remove(data + "/tracks.bin");
        app.applicationWillTerminate();
        EXPECT_FALSE(fs::exists(data + "/tracks.bin"));
    }
    InstallPort<IOverlayWindowContent>(nullptr);
    InstallPort<IDataPanelWindow>(nullptr);
    InstallPort<IPendingUrlRunner>(nullptr);
    manager.ClearForTesting();
}

TEST_F(ApplicationStart, TheBuiltApplicationSavesEveryStoreOnSIGTERM)
{
    const QString program = QString::fromStdString(std::string(TESSA_BUILD_DIR) + "/src/app/tessaroute");
    if (!fs::exists(program.toStdString()))
        GTEST_SKIP() << "the application was not built";
    const std::string home = root + "/home";
    fs::create_directories(home);
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", QString::fromStdString(home));
    env.remove("XDG_DATA_HOME");
    env.remove("XDG_CONFIG_HOME");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(env);
    process.start(program, {});
    ASSERT_TRUE(process.waitForStarted());
    // Started once the base maps are in place and the loop has had its turns.
    const std::string data = home + "/.local/share/tessaroute";
    for (int i = 0; i < 600 && !fs::exists(data + "/basemaps/.v" + GetBundleVersion()); ++i)
        process.waitForFinished(50);
    process.waitForFinished(2000);
    ASSERT_EQ(process.state(), QProcess::Running)
        << "ended with " << process.exitCode()
        << (process.exitStatus() == QProcess::CrashExit ? " (crash) " : " ")
        << process.readAllStandardError().toStdString() << process.readAllStandardOutput().toStdString();
    ::kill(pid_t(process.processId()), SIGTERM);
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    for (const char* store : {"marks_routes.bin", "tracks.bin", "app_state.bin"})
        EXPECT_TRUE(fs::is_regular_file(data + "/" + store)) << store;
    const std::string state = ReadAll(data + "/app_state.bin");
    EXPECT_EQ(state.substr(0, 13), std::string("\x49\xF2\xAC\x73\xBE\x09\x00\x00\x00\x5E\xFC\xAB\x88", 13));
}

TEST_F(ApplicationStart, FailedSavesAreToldOnceQuitAsksAndTerminationEndsTheToolFirst)
{
    tessatest::CScriptedPresenter presenter;
    CSaveFailures::Get().ClearForTesting();
    const std::string marks = GetPlatformDataFolder() + "/" + CMarkManager::kStoreFile;
    {
        AppDelegate app;
        app.Start(false);
        CRasterleafView& view = app.Window()->ChartView();
        COverlayMark* mark = CMarkManager::Get().CreateMarkAt(&view, "Selected", 40.0, -45.0);
        ASSERT_NE(mark, nullptr);
        ASSERT_TRUE(app.SaveAllData());
        const std::string saved = ReadAll(marks);
        StartMarkTool(view, *mark);
        ASSERT_NE(COverlayTool::GetActiveTool(), nullptr);

        // A full disk: each store and the settings are named once, the old files kept.
        CAtomicFileWriter::SetWriteFailureForTesting(true);
        CMarkManager::Get().CreateMarkAt(&view, "Unsaved", 40.1, -45.0);
        EXPECT_FALSE(app.SaveAllData());
        EXPECT_NE(GetStatusMessage().find("could not be saved: "), std::string::npos) << GetStatusMessage();
        for (const char* what : {"the chart view", "the marks and routes", "the tracks"})
            EXPECT_NE(CSaveFailures::Get().List().find(what), std::string::npos) << what;
        // Failing, it stays in sight.
        ClearStatusMessage();
        EXPECT_FALSE(app.SaveAllData());
        EXPECT_NE(GetStatusMessage().find("could not be saved: "), std::string::npos) << GetStatusMessage();
        EXPECT_EQ(ReadAll(marks), saved);

        // Quit from the menu asks, and so does closing the window, once while
        // the question is open; "No" keeps the application running.
        presenter.AnswerButton(1);
        app.Window()->QuitAction()->trigger();
        ASSERT_EQ(presenter.Shown().size(), 1u);
        EXPECT_EQ(presenter.Last().title, "Quit anyway?");
        EXPECT_FALSE(app.Window()->close());
        EXPECT_EQ(presenter.Shown().size(), 1u);
        presenter.DeliverAll();
        presenter.AnswerButton(1);
        EXPECT_FALSE(app.Window()->close());
        ASSERT_EQ(presenter.Shown().size(), 2u);
        EXPECT_EQ(presenter.Last().title, "Quit anyway?");
        presenter.DeliverAll();
        CAtomicFileWriter::SetWriteFailureForTesting(false);
        EXPECT_TRUE(app.SaveAllData());
        EXPECT_FALSE(CSaveFailures::Get().Any());
        EXPECT_FALSE(IsStatusLineShown()) << GetStatusMessage();

        // Termination ends the tool before the managers let their marks go.
        app.Shutdown();
        EXPECT_EQ(COverlayTool::GetActiveTool(), nullptr);
        EXPECT_TRUE(CMarkManager::Get().Marks().empty());
    }
    EXPECT_NE(ReadAll(marks).find("Unsaved"), std::string::npos);
}
