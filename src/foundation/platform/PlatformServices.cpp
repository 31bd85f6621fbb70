#include "foundation/platform/PlatformServices.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>
#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <utility>

namespace {

std::atomic<double> g_test_scale{0.0};

const char* const kNMService = "org.freedesktop.NetworkManager";

// One property over D-Bus with a short timeout, so a hung service never
// freezes the caller for long.
QVariant GetDBusProperty(QDBusConnection& bus, const QString& path, const QString& interface,
                         const QString& name)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(kNMService, path, "org.freedesktop.DBus.Properties", "Get");
    call << interface << name;
    QDBusMessage reply = bus.call(call, QDBus::Block, 500);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return QVariant();
    QVariant value = reply.arguments().front();
    if (value.canConvert<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value;
}

QString ObjectPath(const QVariant& value)
{
    if (value.canConvert<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

} // namespace

double GetScaleFactor()
{
    double test = g_test_scale.load();
    if (test > 0)
        return test;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return 1.0;
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->devicePixelRatio() : 1.0;
}

void SetScaleFactorForTesting(double factor)
{
    g_test_scale.store(factor > 0 ? factor : 0.0);
}

namespace {
std::mutex g_ssid_mutex;
std::string g_test_ssid;
} // namespace

void SetWiFiSSIDForTesting(const std::string& ssid)
{
    std::lock_guard<std::mutex> lock(g_ssid_mutex);
    g_test_ssid = ssid;
}

std::string GetWiFiSSID()
{
    {
        std::lock_guard<std::mutex> lock(g_ssid_mutex);
        if (!g_test_ssid.empty())
            return g_test_ssid;
    }
    const std::string unknown = "Unknown";
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return unknown;
    QString primary =
        ObjectPath(GetDBusProperty(bus, "/org/freedesktop/NetworkManager", kNMService, "PrimaryConnection"));
    if (primary.isEmpty() || primary == "/")
        return unknown;
    QString type =
        GetDBusProperty(bus, primary, "org.freedesktop.NetworkManager.Connection.Active", "Type").toString();
    if (type != "802-11-wireless")
        return unknown;
    QString ap = ObjectPath(
        GetDBusProperty(bus, primary, "org.freedesktop.NetworkManager.Connection.Active", "SpecificObject"));
    if (ap.isEmpty() || ap == "/")
        return unknown;
    QByteArray ssid =
        GetDBusProperty(bus, ap, "org.freedesktop.NetworkManager.AccessPoint", "Ssid").toByteArray();
    if (ssid.isEmpty())
        return unknown;
    return ssid.toStdString();
}

namespace {
std::function<bool(const std::string&)>& URLOpenerForTesting()
{
    static std::function<bool(const std::string&)> opener;
    return opener;
}
std::vector<std::string>& URLOpenerCommandForTesting()
{
    static std::vector<std::string> command;
    return command;
}
} // namespace

void SetURLOpenerForTesting(std::function<bool(const std::string& url)> opener)
{
    URLOpenerForTesting() = std::move(opener);
}

void SetURLOpenerCommandForTesting(const std::vector<std::string>& command)
{
    URLOpenerCommandForTesting() = command;
}

namespace {

// The desktop's opener with the address after it; empty without one.
QStringList OpenerCommand(const QUrl& url)
{
    QStringList command;
    if (!URLOpenerCommandForTesting().empty()) {
        for (const std::string& word : URLOpenerCommandForTesting())
            command << QString::fromStdString(word);
    } else {
        const QString opener = QStandardPaths::findExecutable("xdg-open");
        if (opener.isEmpty())
            return command;
        command << opener;
    }
    command << url.toString(QUrl::FullyEncoded);
    return command;
}

// Openers that have not ended yet. One still waiting for the browser it
// started when the application ends is left running, never killed with us:
// it is held here and not deleted.
std::set<QProcess*>& RunningOpeners()
{
    static std::set<QProcess*> running;
    return running;
}

void StartOpener(const QStringList& command, std::function<void()> failed)
{
    auto* process = new QProcess;
    process->setProgram(command.front());
    process->setArguments(command.mid(1));
    // Its output would pile up in our memory for as long as a browser it waits for runs.
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    RunningOpeners().insert(process);
    auto report = std::make_shared<std::function<void()>>(std::move(failed));
    auto ended = [process, report](bool ok) {
        RunningOpeners().erase(process);
        process->deleteLater();
        if (!ok && *report)
            std::exchange(*report, nullptr)();
    };
    QObject::connect(process, &QProcess::finished, process, [ended](int code, QProcess::ExitStatus status) {
        ended(status == QProcess::NormalExit && code == 0);
    });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, ended](QProcess::ProcessError error) {
                         // Other errors are followed by finished().
                         if (error == QProcess::FailedToStart && RunningOpeners().count(process))
                             ended(false);
                     });
    process->start();
}

} // namespace

bool IsURLOpenerRunningForTesting()
{
    return !RunningOpeners().empty();
}

bool OpenURLInBrowser(const std::string& url, std::function<void()> failed)
{
    QUrl parsed(QString::fromStdString(url), QUrl::TolerantMode);
    // Links come from marks, which come from files and peers: only web pages
    // and mail go out, never a local file or a program's own scheme.
    const QString scheme = parsed.scheme().toLower();
    if (!parsed.isValid() || (scheme != "http" && scheme != "https" && scheme != "mailto"))
        return false;
    if (URLOpenerForTesting())
        return URLOpenerForTesting()(url);
    // Qt's own opening reports success as soon as the opener starts, even
    // when it then finds no browser: run the opener here and watch its end.
    QCoreApplication* app = QCoreApplication::instance();
    const QStringList command = OpenerCommand(parsed);
    if (app && app->thread() == QThread::currentThread() && !command.isEmpty()) {
        StartOpener(command, std::move(failed));
        return true;
    }
    return QDesktopServices::openUrl(parsed);
}

bool OpenFileWithDefaultApp(const std::string& path)
{
    if (path.empty())
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(path.c_str())));
}

void ShareFile(QWidget*, const std::string&, const std::string&, const std::string&) {}
