#include "foundation/platform/PlatformServices.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QUrl>
#include <atomic>
#include <mutex>

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
} // namespace

void SetURLOpenerForTesting(std::function<bool(const std::string& url)> opener)
{
    URLOpenerForTesting() = std::move(opener);
}

bool OpenURLInBrowser(const std::string& url)
{
    QUrl parsed(QString::fromStdString(url), QUrl::TolerantMode);
    // Links come from marks, which come from files and peers: only web pages
    // and mail go out, never a local file or a program's own scheme.
    const QString scheme = parsed.scheme().toLower();
    if (!parsed.isValid() || (scheme != "http" && scheme != "https" && scheme != "mailto"))
        return false;
    if (URLOpenerForTesting())
        return URLOpenerForTesting()(url);
    return QDesktopServices::openUrl(parsed);
}

bool OpenFileWithDefaultApp(const std::string& path)
{
    if (path.empty())
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(path.c_str())));
}

void ShareFile(QWidget*, const std::string&, const std::string&, const std::string&) {}
