// The built application as a process in a scratch home, replaying a
// simulation file chosen in its settings file: SIGTERM ends it with exit
// status 0 and every store saved, and a second start comes back to the same
// saved view; every way out, whatever is selected, drawn, open or recording,
// ends with exit status 0 and the stores written. It runs on the test's
// display (offscreen, or the X server of the window stage, where the menu,
// keys and the window's close are driven from outside by xdotool).
// TESSA_XVFB_LABEL
#include "foundation/platform/PlatformFolders.h"
#include "foundation/settings/IniFile.h"
#include "foundation/util/Folders.h"
#include "instruments/connections/ConnectionRegistry.h"
#include "packagewriter/JobTestSupport.h"
#include "support/ScenarioWriter.h"
#include "support/TestPaths.h"

#include <QProcess>
#include <QStandardPaths>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class ApplicationProcess : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!fs::exists(program) ||
            !fs::exists(std::string(TESSA_BUILD_DIR) + "/resources/basemaps/world.rlt.COPY"))
            GTEST_SKIP() << "the application or its world base map was not built";
        fs::create_directories(data);
    }
    void TearDown() override { fs::remove_all(home); }

    // Runs the application until it has replayed a few fixes, then ends it
    // by the signal (or, with none, by what `act` did to it); returns its exit
    // code (-1 when it crashed or hung).
    int RunOnce(std::string& errors, const QStringList& arguments = {}, const std::string& where = {},
                int signal = SIGTERM, int replayMs = 3000, const std::function<void(qint64 pid)>& act = {})
    {
        const std::string runHome = where.empty() ? home : where;
        const std::string runData = runHome + "/.local/share/tessaroute";
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        QString command = QString::fromStdString(program);
        QStringList commandArguments = arguments;
        if (asNobody) {
            // Root opens every file: the start runs as nobody, in a home of its
            // own, offscreen (the X server's authority is root's).
            for (const char* folder : {"/run", "/tmp"})
                fs::create_directories(runHome + folder);
            fs::permissions(runHome + "/run", fs::perms::owner_all, fs::perm_options::replace);
            env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runHome + "/run"));
            env.insert("TMPDIR", QString::fromStdString(runHome + "/tmp"));
            env.insert("QT_QPA_PLATFORM", "offscreen");
            commandArguments =
                QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", "--", command} + arguments;
            command = "setpriv";
        }
        env.insert("HOME", QString::fromStdString(runHome));
        env.remove("XDG_DATA_HOME");
        env.remove("XDG_CONFIG_HOME");
        env.remove("XDG_DOCUMENTS_DIR");
        env.insert("TESSA_SAVE_INTERVAL_MS", "500");
        if (!env.contains("QT_QPA_PLATFORM"))
            env.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(env);
        process.start(command, commandArguments);
        if (!process.waitForStarted())
            return -1;
        // Started once the base maps are in place; then a few seconds of
        // replay (one fix a second) before the end is asked for.
        for (int i = 0; i < 600 && !fs::exists(runData + "/basemaps/.v" + GetBundleVersion()); ++i)
            process.waitForFinished(50);
        process.waitForFinished(replayMs);
        if (process.state() != QProcess::Running) {
            errors = process.readAllStandardError().toStdString();
            return -1;
        }
        if (act)
            act(process.processId());
        if (signal)
            ::kill(pid_t(process.processId()), signal);
        if (signal == SIGKILL) {
            process.waitForFinished(10000);
            errors = process.readAllStandardError().toStdString();
            return process.exitStatus() == QProcess::CrashExit ? SIGKILL : -1;
        }
        const bool ended = process.waitForFinished(60000);
        errors = process.readAllStandardError().toStdString();
        if (!ended || process.exitStatus() != QProcess::NormalExit) {
            process.kill();
            process.waitForFinished(5000);
            return -1;
        }
        return process.exitCode();
    }

    // Writes the settings of a run that replays `simulation`, plus `extra`.
    void WriteSettings(const std::string& simulation, const CIniMap& extra = {})
    {
        tessatest::Scenario scenario;
        scenario.own = {40.0, -45.0, 90.0, 20.0};
        ASSERT_TRUE(tessatest::WriteScenarioFile(simulation, scenario));
        CIniMap settings = extra;
        char type[16];
        std::snprintf(type, sizeof type, "0x%x", unsigned(kConnectionSimulation));
        settings["CDataConnection:gps_connection_type"] = type;
        settings["CNMEASimulation:filename"] = simulation;
        ASSERT_TRUE(WriteIniFile(data + "/Tessaroute.ini", settings));
    }

    // RunOnce runs the start as the unprivileged user nobody.
    bool asNobody = false;
    const std::string program = std::string(TESSA_BUILD_DIR) + "/src/app/tessaroute";
    const std::string home = tessatest::MakeScratchDir("app_process");
    const std::string data = home + "/.local/share/tessaroute";
};

} // namespace

TEST_F(ApplicationProcess, ReplaysTheSettingsSimulationSavesOnSIGTERMAndRestartsOnTheSameView)
{
    tessatest::Scenario scenario;
    scenario.own = {40.0, -45.0, 90.0, 20.0};
    scenario.target = {40.0, -44.93, 270.0, 20.0};
    const std::string simulation = home + "/voyage.nmea";
    ASSERT_TRUE(tessatest::WriteScenarioFile(simulation, scenario));
    CIniMap settings;
    char type[16];
    std::snprintf(type, sizeof type, "0x%x", unsigned(kConnectionSimulation));
    settings["CDataConnection:gps_connection_type"] = type;
    settings["CNMEASimulation:filename"] = simulation;
    ASSERT_TRUE(WriteIniFile(data + "/Tessaroute.ini", settings));

    // The first start is asked to show another place than the default area.
    std::string errors;
    ASSERT_EQ(RunOnce(errors, {"tessro://view?lat=40.01&lon=-44.98&scale=50000"}), 0) << errors;
    for (const char* store : {"marks_routes.bin", "tracks.bin", "app_state.bin"})
        EXPECT_GT(tessatest::ReadWholeFile(data + "/" + store).size(), 8u) << store;
    CIniMap saved;
    ASSERT_EQ(ReadIniFile(data + "/Tessaroute.ini", saved), IniReadResult::Read);
    EXPECT_EQ(saved["CNMEASimulation:filename"], simulation);
    EXPECT_EQ(saved["CDataConnection:gps_connection_type"], type);
    const std::string view = tessatest::ReadWholeFile(data + "/app_state.bin");
    ASSERT_FALSE(view.empty());

    // The second start, with no place asked for, reads the saved view and saves it again as it was.
    ASSERT_EQ(RunOnce(errors), 0) << errors;
    EXPECT_EQ(tessatest::ReadWholeFile(data + "/app_state.bin"), view);
    EXPECT_FALSE(fs::exists(data + "/app_state.bin.unreadable"));
    EXPECT_FALSE(fs::exists(data + "/tracks.bin.unreadable"));
    // A home never moved saves another view: the one above was restored, not defaulted.
    const std::string other = home + "/other";
    ASSERT_EQ(RunOnce(errors, {}, other), 0) << errors;
    const std::string fresh = tessatest::ReadWholeFile(other + "/.local/share/tessaroute/app_state.bin");
    EXPECT_FALSE(fresh.empty());
    EXPECT_NE(fresh, view);
}

TEST_F(ApplicationProcess, AKillLosesNoMarkOrRecordedFixOlderThanTheSaveIntervalAndRecordingResumes)
{
    tessatest::Scenario scenario;
    scenario.own = {40.0, -45.0, 90.0, 20.0};
    const std::string simulation = home + "/voyage.nmea";
    ASSERT_TRUE(tessatest::WriteScenarioFile(simulation, scenario));
    CIniMap settings;
    char type[16];
    std::snprintf(type, sizeof type, "0x%x", unsigned(kConnectionSimulation));
    settings["CDataConnection:gps_connection_type"] = type;
    settings["CNMEASimulation:filename"] = simulation;
    settings["CTrackManager:doRecordTrack"] = "1";
    ASSERT_TRUE(WriteIniFile(data + "/Tessaroute.ini", settings));

    // Recording from the start (the setting is read before the stores), a
    // mark made by a link, then a kill: both were saved while running.
    std::string errors;
    ASSERT_EQ(RunOnce(errors, {"tessro://mark?lat=40.01&lon=-44.99&name=Kept"}, {}, SIGKILL, 5000), SIGKILL)
        << errors;
    EXPECT_NE(tessatest::ReadWholeFile(data + "/marks_routes.bin").find("Kept"), std::string::npos);
    const std::string recorded = tessatest::ReadWholeFile(data + "/tracks.bin");
    EXPECT_NE(recorded.find("Simulation"), std::string::npos);
    EXPECT_GT(recorded.size(), 200u);

    // A start without the simulation keeps the mark and the recorded track,
    // and recording stays on through a quit. It opens a GPX file with a
    // track of two points.
    std::snprintf(type, sizeof type, "0x%x", unsigned(kConnectionNone));
    settings["CDataConnection:gps_connection_type"] = type;
    ASSERT_TRUE(WriteIniFile(data + "/Tessaroute.ini", settings));
    const std::string gpx = home + "/pair.gpx";
    std::ofstream(gpx) << "<gpx><trk><name>Imported pair</name><trkseg><trkpt lat='40' lon='-45'/>"
                          "<trkpt lat='40.1' lon='-45'/></trkseg></trk></gpx>";
    ASSERT_EQ(RunOnce(errors, {QString::fromStdString(gpx)}), 0) << errors;
    EXPECT_NE(tessatest::ReadWholeFile(data + "/marks_routes.bin").find("Kept"), std::string::npos);
    EXPECT_NE(tessatest::ReadWholeFile(data + "/tracks.bin").find("Simulation"), std::string::npos);
    CIniMap saved;
    ASSERT_EQ(ReadIniFile(data + "/Tessaroute.ini", saved), IniReadResult::Read);
    EXPECT_EQ(saved["CTrackManager:doRecordTrack"], "1");
    // However short, the imported track is there after two more starts.
    for (int start = 0; start < 2; ++start) {
        EXPECT_NE(tessatest::ReadWholeFile(data + "/tracks.bin").find("Imported pair"), std::string::npos)
            << start;
        ASSERT_EQ(RunOnce(errors), 0) << errors;
    }
    EXPECT_NE(tessatest::ReadWholeFile(data + "/tracks.bin").find("Imported pair"), std::string::npos);
}

TEST_F(ApplicationProcess, ALockFileInTheWayIsReplacedAndTheLockHeldWhileRunning)
{
    const std::string lock = data + "/.lock";
    const char* const rows[] = {"a folder holding a file", "a link", "a file the start cannot open"};
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(rows[row]);
        fs::remove_all(home);
        fs::create_directories(data);
        WriteSettings(home + "/voyage.nmea");
        asNobody = false;
        // What stood in the way keeps its content.
        std::string kept = home + "/outside";
        if (row == 0) {
            fs::create_directories(lock);
            kept = lock + "/note";
        }
        std::ofstream(kept) << "kept";
        if (row == 0) {
            kept = lock + ".old/note";
        } else if (row == 1) {
            fs::create_symlink(kept, lock);
        } else if (::geteuid() != 0) {
            std::ofstream(lock) << "";
            fs::permissions(lock, fs::perms::none);
        } else if (!QStandardPaths::findExecutable("setpriv").isEmpty()) {
            // Root opens any file: the start runs as nobody, and .lock is root's, mode 600.
            for (const auto& entry : fs::recursive_directory_iterator(home))
                ::lchown(entry.path().c_str(), 65534, 65534);
            asNobody = ::lchown(home.c_str(), 65534, 65534) == 0;
            std::ofstream(lock) << "";
            fs::permissions(lock, fs::perms::owner_read | fs::perms::owner_write);
        }
        if (!fs::exists(fs::symlink_status(lock))) {
            std::printf("[ SKIPPED  ] %s: as root it needs setpriv to run the start as nobody\n", rows[row]);
            continue;
        }
        // While it runs the folder is locked: no second start could save over it.
        CDataFolderLock::Result whileRunning = CDataFolderLock::Result::Held;
        std::string errors;
        EXPECT_EQ(RunOnce(errors, {"tessro://mark?lat=40.01&lon=-44.99&name=Locked"}, {}, SIGTERM, 1000,
                          [&](qint64) { whileRunning = CDataFolderLock().Take(data, errors); }),
                  0)
            << errors;
        EXPECT_EQ(whileRunning, CDataFolderLock::Result::Busy) << errors;
        EXPECT_NE(tessatest::ReadWholeFile(data + "/marks_routes.bin").find("Locked"), std::string::npos);
        struct stat st;
        ASSERT_EQ(::lstat(lock.c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode) && (st.st_mode & S_IRUSR));
        EXPECT_EQ(st.st_uid, asNobody ? 65534u : ::geteuid());
        EXPECT_EQ(tessatest::ReadWholeFile(kept), "kept");
    }
    asNobody = false;
}

namespace {

// xdotool on the test's X server; its output without the last newline.
std::string Xdo(const QStringList& arguments)
{
    QProcess xdo;
    xdo.start("xdotool", arguments);
    xdo.waitForFinished(20000);
    return xdo.readAllStandardOutput().trimmed().toStdString();
}

} // namespace

TEST_F(ApplicationProcess, EveryWayOutExitsCleanlyAndSavesWhateverIsSelectedDrawnOpenOrRecording)
{
    // Keys and the window manager's close need an X server of their own (no
    // other test's window takes the keyboard), xdotool and openbox; they run in
    // the window stage. Offscreen, the signals run with a selected mark and a recording.
    const bool onX = qEnvironmentVariable("QT_QPA_PLATFORM") == "xcb";
    const bool tools = !QStandardPaths::findExecutable("Xvfb").isEmpty() &&
                       !QStandardPaths::findExecutable("xdotool").isEmpty() &&
                       !QStandardPaths::findExecutable("openbox").isEmpty();
    const QByteArray display = qgetenv("DISPLAY");
    QProcess server, manager;
    if (onX && tools) {
        server.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
        for (int i = 0; i < 100 && !server.canReadLine(); ++i)
            server.waitForReadyRead(100);
        const QByteArray number = server.readLine().trimmed();
        ASSERT_FALSE(number.isEmpty()) << "Xvfb did not start";
        qputenv("DISPLAY", ":" + number);
        manager.start("openbox", {"--sm-disable"});
        manager.waitForStarted();
    }
    // The main window: the first window of the process shown (the data panel comes later).
    std::string window;
    auto windows = [](qint64 pid) {
        const QString list =
            QString::fromStdString(Xdo({"search", "--onlyvisible", "--pid", QString::number(pid)}));
        return list.split('\n', Qt::SkipEmptyParts);
    };
    auto activate = [](const QString& id) {
        Xdo({"windowactivate", "--sync", id});
        Xdo({"windowfocus", "--sync", id});
    };
    auto setUp = [&](qint64 pid) {
        window = Xdo({"search", "--sync", "--onlyvisible", "--pid", QString::number(pid)});
        window = window.substr(0, window.find('\n'));
        activate(QString::fromStdString(window));
        // New Route with one point, then Window > Data Panel (the menu opens on
        // its first item).
        Xdo({"key", "ctrl+r"});
        Xdo({"mousemove", "--window", QString::fromStdString(window), "400", "300", "click", "1"});
        Xdo({"key", "alt+w"});
        Xdo({"sleep", "0.5"});
        Xdo({"key", "--delay", "200", "Down", "Return"});
        Xdo({"sleep", "1"});
        // A box the panel raised (its layout unreadable) is answered first.
        bool panel = false;
        for (const QString& id : windows(pid)) {
            const std::string name = Xdo({"getwindowname", id});
            panel = panel || name.find("Data Panel") != std::string::npos;
            if (name == "Tessaroute") {
                activate(id);
                Xdo({"key", "Return"});
            }
        }
        EXPECT_TRUE(panel) << "the data panel did not open";
        activate(QString::fromStdString(window));
    };
    enum class Way { Signal, Quit, CloseWindow };
    struct Case
    {
        const char* name;
        Way way;
        int signal;
    } const cases[] = {
        {"SIGTERM", Way::Signal, SIGTERM},
        {"SIGINT", Way::Signal, SIGINT},
        {"SIGHUP (logout)", Way::Signal, SIGHUP},
        {"File > Quit", Way::Quit, 0},
        {"the main window closed", Way::CloseWindow, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.way != Way::Signal && !(onX && tools)) {
            std::printf(
                "[ SKIPPED  ] %s: runs with QT_QPA_PLATFORM=xcb and Xvfb, xdotool and openbox installed\n",
                c.name);
            continue;
        }
        fs::remove_all(home);
        fs::create_directories(data);
        WriteSettings(home + "/voyage.nmea",
                      {{"CTrackManager:doRecordTrack", "1"}, {"CMarkManager:route_create_hint", "1"}});
        auto act = [&](qint64 pid) {
            if (!(onX && tools))
                return;
            setUp(pid);
            if (c.way == Way::Quit)
                Xdo({"key", "ctrl+q"});
            else if (c.way == Way::CloseWindow)
                Xdo({"key", "alt+F4"});
        };
        // The link's new mark is the selected one; each way is told apart.
        std::string errors;
        EXPECT_EQ(
            RunOnce(errors, {"tessro://mark?lat=40.01&lon=-44.99&name=Chosen"}, {}, c.signal, 5000, act), 0)
            << errors;
        EXPECT_FALSE(QString::fromStdString(errors).contains("crash", Qt::CaseInsensitive)) << errors;
        EXPECT_NE(tessatest::ReadWholeFile(data + "/marks_routes.bin").find("Chosen"), std::string::npos);
        // The simulation's own track goes with its connection at every end;
        // the store is written and recording stays on for the next start.
        EXPECT_GT(tessatest::ReadWholeFile(data + "/tracks.bin").size(), 8u);
        CIniMap saved;
        EXPECT_EQ(ReadIniFile(data + "/Tessaroute.ini", saved), IniReadResult::Read);
        EXPECT_EQ(saved["CTrackManager:doRecordTrack"], "1");
    }
    for (QProcess* process : {&manager, &server}) {
        process->terminate();
        process->waitForFinished(5000);
    }
    if (display.isEmpty())
        qunsetenv("DISPLAY");
    else
        qputenv("DISPLAY", display);
}
