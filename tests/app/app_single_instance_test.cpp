// The built application as the desktop starts it: a second launch hands its
// link to the running one and ends, also when two start at once; a socket
// left by a dead process is taken over, a malformed hand-over is dropped, a
// hand-over that fails is told in a box; and the desktop files install and
// validate.
#include "app/shell/SingleInstance.h"
#include "foundation/platform/PlatformFolders.h"
#include "foundation/util/Folders.h"
#include "packagewriter/JobTestSupport.h"
#include "support/TestPaths.h"

#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A socket file nobody listens on, as a killed process leaves it.
bool PlantStaleSocket(const std::string& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok && fs::exists(path);
}

} // namespace

TEST(SingleInstance, ASecondLaunchHandsItsLinkToTheRunningOne)
{
    const QString program = QString::fromStdString(std::string(TESSA_BUILD_DIR) + "/src/app/tessaroute");
    if (!fs::exists(program.toStdString()))
        GTEST_SKIP() << "the application was not built";
    const std::string root = tessatest::MakeScratchDir("instance");
    for (const char* folder : {"/home", "/data", "/run"})
        fs::create_directories(root + folder);
    fs::permissions(root + "/run", fs::perms::owner_all, fs::perm_options::replace);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", QString::fromStdString(root + "/home"));
    env.insert("XDG_DATA_HOME", QString::fromStdString(root + "/data"));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(root + "/run"));
    env.insert("QT_QPA_PLATFORM", "offscreen");

    const char* before = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = before ? before : "";
    setenv("XDG_RUNTIME_DIR", (root + "/run").c_str(), 1);
    const std::string socket = CSingleInstance::SocketPathFor(root + "/data/tessaroute");
    saved.empty() ? unsetenv("XDG_RUNTIME_DIR") : setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    ASSERT_EQ(socket.rfind(root + "/run/", 0), 0u) << socket;
    ASSERT_TRUE(PlantStaleSocket(socket));

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(program, {});
    ASSERT_TRUE(first.waitForStarted());
    // Listening once a connection is accepted.
    QLocalSocket probe;
    for (int i = 0; i < 400 && probe.state() != QLocalSocket::ConnectedState; ++i) {
        first.waitForFinished(50);
        probe.connectToServer(QString::fromStdString(socket));
        probe.waitForConnected(100);
    }
    ASSERT_EQ(probe.state(), QLocalSocket::ConnectedState) << first.readAllStandardError().toStdString();
    // An oversized frame ends that connection and nothing else.
    probe.write(QByteArray("\0\0\0\x01\0\x01\x11\x70", 8));
    probe.waitForBytesWritten(1000);
    EXPECT_TRUE(probe.state() == QLocalSocket::UnconnectedState || probe.waitForDisconnected(5000));

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(program, {"tessro://mark?lat=50.5&lon=-1.25&name=Buoy+7"});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();

    // The mark is in the store the first instance saves at its end.
    first.waitForFinished(500);
    ::kill(pid_t(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(60000));
    EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
    EXPECT_NE(tessatest::ReadWholeFile(root + "/data/tessaroute/marks_routes.bin").find("Buoy 7"),
              std::string::npos);
    fs::remove_all(root);
}

namespace {

// Starts of the application on one data folder, with its hand-over socket in
// a private runtime folder of their own.
struct Starts
{
    Starts()
    {
        for (const char* folder : {"/home", "/data", "/run"})
            fs::create_directories(root + folder);
        fs::permissions(root + "/run", fs::perms::owner_all, fs::perm_options::replace);
        env.insert("HOME", QString::fromStdString(root + "/home"));
        env.insert("XDG_DATA_HOME", QString::fromStdString(root + "/data"));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(root + "/run"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        const char* before = std::getenv("XDG_RUNTIME_DIR");
        const std::string saved = before ? before : "";
        setenv("XDG_RUNTIME_DIR", (root + "/run").c_str(), 1);
        socket = CSingleInstance::SocketPathFor(data);
        saved.empty() ? unsetenv("XDG_RUNTIME_DIR") : setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    }
    ~Starts() { fs::remove_all(root); }
    void Start(QProcess& process, const QStringList& arguments, int socketDelayMs = 0)
    {
        QProcessEnvironment withDelay = env;
        if (socketDelayMs > 0)
            withDelay.insert("TESSA_TEST_SOCKET_DELAY_MS", QString::number(socketDelayMs));
        process.setProcessEnvironment(withDelay);
        process.start(program, arguments);
    }
    // Ends a running start as a logout would; its exit code (-1 when it did not end).
    static int End(QProcess& process)
    {
        ::kill(pid_t(process.processId()), SIGTERM);
        if (!process.waitForFinished(60000))
            return -1;
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    const QString program = QString::fromStdString(std::string(TESSA_BUILD_DIR) + "/src/app/tessaroute");
    const std::string root = tessatest::MakeScratchDir("instances");
    const std::string data = root + "/data/tessaroute";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    std::string socket;
};

} // namespace

TEST(SingleInstance, OfTwoStartsAtOnceOneRunsAndTakesTheLinkOfAThird)
{
    Starts starts;
    if (!fs::exists(starts.program.toStdString()))
        GTEST_SKIP() << "the application was not built";
    // Each side's first step on the socket slowed in turn: the loser's connect,
    // or the winner's listen, comes late.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        QProcess a, b;
        starts.Start(a, {}, round == 0 ? 400 : 0);
        starts.Start(b, {}, round == 1 ? 400 : 0);
        ASSERT_TRUE(a.waitForStarted() && b.waitForStarted());
        // The loser hands over (nothing to bring but itself) and ends with 0.
        // A process's end is only seen while waiting on that very process.
        for (int i = 0; i < 400 && a.state() == QProcess::Running && b.state() == QProcess::Running; ++i)
            (i % 2 ? a : b).waitForFinished(25);
        QProcess& loser = a.state() == QProcess::Running ? b : a;
        QProcess& winner = &loser == &a ? b : a;
        ASSERT_EQ(loser.state(), QProcess::NotRunning) << "neither start ended";
        EXPECT_EQ(loser.exitCode(), 0) << loser.readAllStandardError().toStdString();
        ASSERT_EQ(winner.state(), QProcess::Running) << winner.readAllStandardError().toStdString();

        const std::string name = "Third " + std::to_string(round);
        QProcess third;
        starts.Start(third, {QString::fromStdString("tessro://mark?lat=50.5&lon=-1.25&name=" + name)});
        ASSERT_TRUE(third.waitForFinished(30000));
        EXPECT_EQ(third.exitCode(), 0) << third.readAllStandardError().toStdString();
        winner.waitForFinished(500);
        EXPECT_EQ(Starts::End(winner), 0) << winner.readAllStandardError().toStdString();
        EXPECT_NE(tessatest::ReadWholeFile(starts.data + "/marks_routes.bin").find(name), std::string::npos);
    }
}

TEST(SingleInstance, AHandOverThatFailsSaysWhyInABoxAndASocketInTheWayIsKept)
{
    Starts starts;
    if (!fs::exists(starts.program.toStdString()))
        GTEST_SKIP() << "the application was not built";
    // The folder is taken, and what listens on the socket never answers.
    auto held = std::make_unique<CDataFolderLock>();
    std::string error;
    ASSERT_EQ(held->Take(starts.data, error), CDataFolderLock::Result::Held) << error;
    const int silent = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", starts.socket.c_str());
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(silent, 4), 0);

    QProcess start;
    starts.Start(start, {"tessro://mark?lat=50.5&lon=-1.25&name=Lost"});
    std::string errors;
    for (int i = 0; i < 600 && errors.find("did not answer") == std::string::npos; ++i) {
        start.waitForReadyRead(50);
        errors += start.readAllStandardError().toStdString();
    }
    EXPECT_NE(errors.find("Tessaroute is already running with this data folder"), std::string::npos)
        << errors;
    EXPECT_NE(errors.find("did not answer"), std::string::npos) << errors;
    // The box holds the start until it is answered (or goes by itself).
    EXPECT_EQ(start.state(), QProcess::Running) << errors;
    ::kill(pid_t(start.processId()), SIGTERM);
    start.waitForFinished(10000);
    ::close(silent);
    fs::remove(starts.socket);
    held.reset();

    // The lock's holder leaves a file in the socket's way as it is, and says
    // that links cannot reach it.
    std::ofstream(starts.socket) << "not ours";
    QProcess holder;
    starts.Start(holder, {});
    errors.clear();
    for (int i = 0; i < 600 && errors.find("cannot reach it") == std::string::npos; ++i) {
        holder.waitForReadyRead(50);
        errors += holder.readAllStandardError().toStdString();
    }
    EXPECT_NE(errors.find("is not a socket"), std::string::npos) << errors;
    // Its end saves once it runs (the base maps are in place a moment before).
    for (int i = 0; i < 400 && !fs::exists(starts.data + "/basemaps/.v" + GetBundleVersion()); ++i)
        holder.waitForFinished(50);
    holder.waitForFinished(1000);
    EXPECT_EQ(Starts::End(holder), 0) << errors;
    EXPECT_EQ(tessatest::ReadWholeFile(starts.socket), "not ours");
}

TEST(SingleInstance, TheDesktopFilesInstallAndValidate)
{
    const QString cmake = QStandardPaths::findExecutable("cmake");
    const QString validate = QStandardPaths::findExecutable("desktop-file-validate");
    if (cmake.isEmpty() || validate.isEmpty())
        GTEST_SKIP() << "cmake or desktop-file-validate is not installed";
    const std::string prefix = tessatest::MakeScratchDir("desktopinstall");
    QProcess install;
    install.start(cmake, {"--install", TESSA_BUILD_DIR, "--prefix", QString::fromStdString(prefix),
                          "--component", "desktop"});
    ASSERT_TRUE(install.waitForFinished(60000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAllStandardError().toStdString();
    const std::string desktop = prefix + "/share/applications/tessaroute.desktop";
    const std::string mime = tessatest::ReadWholeFile(prefix + "/share/mime/packages/tessaroute.xml");
    EXPECT_NE(tessatest::ReadWholeFile(desktop).find("Exec=tessaroute %U"), std::string::npos);
    for (const char* glob : {"*.rlt", "*.rl3", "*.tspkg", "*.dvtf"})
        EXPECT_NE(mime.find(glob), std::string::npos) << glob;
    QProcess check;
    check.start(validate, {QString::fromStdString(desktop)});
    ASSERT_TRUE(check.waitForFinished(30000));
    EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().toStdString();
    fs::remove_all(prefix);
}
