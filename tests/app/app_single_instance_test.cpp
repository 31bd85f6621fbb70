// The built application as the desktop starts it: a second launch hands its
// link to the running one and ends, a socket left by a dead process is taken
// over, a malformed hand-over is dropped; and the desktop files install and
// validate.
#include "app/shell/SingleInstance.h"
#include "packagewriter/JobTestSupport.h"
#include "support/TestPaths.h"

#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <csignal>
#include <filesystem>
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
