// The built application as the desktop starts it: a second launch hands its
// link to the running one and ends, also when two start at once; a socket
// left by a dead process is taken over, a malformed hand-over is dropped, a
// failed one is told in a box; and the desktop files install and validate.
#include "app/shell/SingleInstance.h"
#include "foundation/platform/PlatformFolders.h"
#include "packagewriter/JobTestSupport.h"
#include "support/TestPaths.h"

#include <QLocalServer>
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

// Starts of the application on one data folder, with the hand-over socket
// in a private runtime folder of their own.
class SingleInstanceStarts : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!fs::exists(program.toStdString()))
            GTEST_SKIP() << "the application was not built";
        for (const char* folder : {"/home", "/data", "/run"})
            fs::create_directories(root + folder);
        fs::permissions(root + "/run", fs::perms::owner_all, fs::perm_options::replace);
        env.insert("HOME", QString::fromStdString(root + "/home"));
        env.insert("XDG_DATA_HOME", QString::fromStdString(root + "/data"));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(root + "/run"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        const std::string saved = qEnvironmentVariable("XDG_RUNTIME_DIR").toStdString();
        setenv("XDG_RUNTIME_DIR", (root + "/run").c_str(), 1);
        socket = CSingleInstance::SocketPathFor(data);
        saved.empty() ? unsetenv("XDG_RUNTIME_DIR") : setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
        ASSERT_EQ(socket.rfind(root + "/run/", 0), 0u) << socket;
    }
    void TearDown() override { fs::remove_all(root); }
    // `socketDelayMs` slows the start's first connect or listen.
    void Start(QProcess& process, const QStringList& arguments, int socketDelayMs = 0)
    {
        QProcessEnvironment started = env;
        if (socketDelayMs > 0)
            started.insert("TESSA_TEST_SOCKET_DELAY_MS", QString::number(socketDelayMs));
        process.setProcessEnvironment(started);
        process.start(program, arguments);
    }
    // Ends a running start as a logout would: its exit code, -1 when it did not end.
    static int End(QProcess& process)
    {
        ::kill(pid_t(process.processId()), SIGTERM);
        const bool ended = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
        return ended ? process.exitCode() : -1;
    }
    bool Saved(const std::string& name) const
    {
        return tessatest::ReadWholeFile(data + "/marks_routes.bin").find(name) != std::string::npos;
    }
    const QString program = QString::fromStdString(std::string(TESSA_BUILD_DIR) + "/src/app/tessaroute");
    const std::string root = tessatest::MakeScratchDir("instance");
    const std::string data = root + "/data/tessaroute";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    std::string socket;
};

} // namespace

TEST_F(SingleInstanceStarts, ASecondLaunchHandsItsLinkToTheRunningOne)
{
    ASSERT_TRUE(PlantStaleSocket(socket));
    QProcess first;
    Start(first, {});
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
    Start(second, {"tessro://mark?lat=50.5&lon=-1.25&name=Buoy+7"});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();

    // The mark is in the store the first instance saves at its end.
    first.waitForFinished(500);
    EXPECT_EQ(End(first), 0) << first.readAllStandardError().toStdString();
    EXPECT_TRUE(Saved("Buoy 7"));
}

TEST_F(SingleInstanceStarts, OfTwoStartsAtOnceOneRunsAndTakesTheLinkOfAThird)
{
    // Slowed in turn, one start's connect (it lost the lock) or listen (it won) comes late.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        QProcess a, b;
        Start(a, {}, round == 0 ? 400 : 0);
        Start(b, {}, round == 1 ? 400 : 0);
        ASSERT_TRUE(a.waitForStarted() && b.waitForStarted());
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
        Start(third, {QString::fromStdString("tessro://mark?lat=50.5&lon=-1.25&name=" + name)});
        ASSERT_TRUE(third.waitForFinished(30000));
        EXPECT_EQ(third.exitCode(), 0) << third.readAllStandardError().toStdString();
        winner.waitForFinished(500);
        EXPECT_EQ(End(winner), 0) << winner.readAllStandardError().toStdString();
        EXPECT_TRUE(Saved(name));
    }
}

TEST_F(SingleInstanceStarts, AHandOverThatFailsSaysWhyInABoxAndAFileInTheSocketsWayIsKept)
{
    // The folder is taken, and what listens on the socket never answers.
    CDataFolderLock held;
    std::string errors;
    ASSERT_EQ(held.Take(data, errors), CDataFolderLock::Result::Held) << errors;
    QLocalServer silent;
    ASSERT_TRUE(silent.listen(QString::fromStdString(socket)));
    QProcess start;
    Start(start, {"tessro://mark?lat=50.5&lon=-1.25&name=Lost"});
    for (int i = 0; i < 600 && errors.find("did not answer") == std::string::npos; ++i) {
        start.waitForReadyRead(50);
        errors += start.readAllStandardError().toStdString();
    }
    EXPECT_NE(errors.find("already running with this data folder"), std::string::npos) << errors;
    EXPECT_NE(errors.find("did not answer"), std::string::npos) << errors;
    // The box holds the start until it is answered (or goes by itself).
    EXPECT_EQ(start.state(), QProcess::Running) << errors;
    ::kill(pid_t(start.processId()), SIGTERM);
    start.waitForFinished(10000);

    // Only a socket nobody answers on is removed from the holder's way.
    silent.close();
    std::ofstream(socket) << "not ours";
    CSingleInstance holder(socket);
    holder.SetReceiver([](const std::vector<std::string>&) {});
    EXPECT_FALSE(holder.Listen(errors));
    EXPECT_EQ(tessatest::ReadWholeFile(socket), "not ours");
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
