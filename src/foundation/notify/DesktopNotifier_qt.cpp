#include "foundation/notify/DesktopNotifier_qt.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDeadlineTimer>
#include <QStringList>
#include <QThread>
#include <QVariantMap>
#include <algorithm>
#include <vector>

namespace {

const char* const kService = "org.freedesktop.Notifications";
const char* const kPath = "/org/freedesktop/Notifications";
const char* const kInterface = "org.freedesktop.Notifications";
const char* const kAppName = "Tessaroute";
// Critical urgency: an alarm stays until it is withdrawn or dismissed.
const uchar kUrgencyCritical = 2;

QDBusMessage NotificationsCall(const char* method)
{
    return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}

// Servers that read markup in the body would swallow "<" and "&".
QString BodyText(const std::string& text, bool markup)
{
    QString body = QString::fromStdString(text);
    return markup ? body.toHtmlEscaped() : body;
}

IUserNotifier* gInstalled = nullptr;
IUserNotifier* gDesktop = nullptr;

// The answer comes in on the bus's own thread, so it can be waited for here
// without running the event loop.
bool WaitUntil(const QDBusPendingCall& call, const QDeadlineTimer& deadline)
{
    while (!call.isFinished()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(2);
    }
    return true;
}

} // namespace

CDesktopNotifier_qt::CDesktopNotifier_qt(const QDBusConnection& bus) : m_bus(bus)
{
    if (!m_bus.isConnected())
        return;
    m_bus.connect(kService, kPath, kInterface, "NotificationClosed", this,
                  SLOT(NotificationClosed(uint, uint)));
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(NotificationsCall("GetCapabilities")), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* w) { CapabilitiesAnswered(w); });
}

CDesktopNotifier_qt::~CDesktopNotifier_qt()
{
    if (m_bus.isConnected())
        m_bus.disconnect(kService, kPath, kInterface, "NotificationClosed", this,
                         SLOT(NotificationClosed(uint, uint)));
}

void CDesktopNotifier_qt::CapabilitiesAnswered(QDBusPendingCallWatcher* watcher)
{
    QDBusPendingReply<QStringList> reply = *watcher;
    if (!reply.isError())
        m_bodyMarkup = reply.value().contains(QStringLiteral("body-markup"));
    watcher->deleteLater();
}

void CDesktopNotifier_qt::Deliver(const CUserNotification& notification)
{
    if (!m_bus.isConnected())
        return;
    Entry& entry = m_entries[notification.identifier];
    entry.removed = false;
    if (entry.waiting) {
        // The server has not told us its id yet; replace once it has.
        entry.next = notification;
        return;
    }
    Send(notification.identifier, entry, notification);
}

void CDesktopNotifier_qt::Send(const std::string& identifier, Entry& entry,
                               const CUserNotification& notification)
{
    QVariantMap hints;
    // The application plays the alarm's sound itself: a server sound would be a second one.
    hints.insert(QStringLiteral("suppress-sound"), true);
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(kUrgencyCritical));

    QDBusMessage call = NotificationsCall("Notify");
    call << QString::fromLatin1(kAppName) << entry.serverId << QString()
         << QString::fromStdString(notification.title) << BodyText(notification.text, m_bodyMarkup)
         << QStringList() << hints << int32_t(0);
    entry.waiting = true;
    entry.next.reset();
    entry.call = m_bus.asyncCall(call);
    auto* watcher = new QDBusPendingCallWatcher(*entry.call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, identifier](QDBusPendingCallWatcher* w) { NotifyAnswered(identifier, w); });
}

void CDesktopNotifier_qt::NotifyAnswered(const std::string& identifier, QDBusPendingCallWatcher* watcher)
{
    watcher->deleteLater();
    QDBusPendingReply<uint32_t> reply = *watcher;
    auto it = m_entries.find(identifier);
    if (it == m_entries.end())
        return;
    Entry& entry = it->second;
    entry.waiting = false;
    entry.call.reset();
    if (!reply.isError())
        entry.serverId = reply.value();
    if (entry.removed) {
        if (!reply.isError())
            Close(entry.serverId);
        m_entries.erase(it);
        return;
    }
    if (entry.next) {
        CUserNotification next = *entry.next;
        Send(identifier, entry, next);
        return;
    }
    if (reply.isError())
        m_entries.erase(it);
}

void CDesktopNotifier_qt::RemoveDelivered(const std::string& identifier)
{
    auto it = m_entries.find(identifier);
    if (it == m_entries.end())
        return;
    Entry& entry = it->second;
    if (entry.waiting) {
        entry.removed = true;
        entry.next.reset();
        return;
    }
    Close(entry.serverId);
    m_entries.erase(it);
}

void CDesktopNotifier_qt::RemoveAllDelivered()
{
    if (!m_bus.isConnected()) {
        m_entries.clear();
        return;
    }
    const QDeadlineTimer deadline(kWithdrawMilliseconds);
    std::vector<QDBusPendingCall> closes;
    for (auto& [identifier, entry] : m_entries) {
        uint32_t serverId = entry.serverId;
        // A first Notify still on its way: its answer carries the id to close.
        if (entry.waiting && entry.call && WaitUntil(*entry.call, deadline)) {
            QDBusPendingReply<uint32_t> reply = *entry.call;
            if (!reply.isError())
                serverId = reply.value();
        }
        if (serverId == 0)
            continue;
        QDBusMessage call = NotificationsCall("CloseNotification");
        call << serverId;
        closes.push_back(m_bus.asyncCall(call, int(std::max<qint64>(deadline.remainingTime(), 1))));
    }
    m_entries.clear();
    // Sent is not enough: the server must have them before the connection goes.
    for (const QDBusPendingCall& close : closes)
        WaitUntil(close, deadline);
}

void CDesktopNotifier_qt::Close(uint32_t serverId)
{
    if (serverId == 0 || !m_bus.isConnected())
        return;
    QDBusMessage call = NotificationsCall("CloseNotification");
    call << serverId;
    // Nobody waits for the answer; a notification already gone is no error for us.
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, watcher, &QObject::deleteLater);
}

void CDesktopNotifier_qt::NotificationClosed(uint serverId, uint)
{
    // The user dismissed it: a later alarm with that identifier is a new one.
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (!it->second.waiting && it->second.serverId == serverId) {
            m_entries.erase(it);
            return;
        }
    }
}

IUserNotifier& GetUserNotifier()
{
    if (gInstalled)
        return *gInstalled;
    // Made on first use and kept for the whole process: it answers D-Bus
    // replies that may come in at any time.
    if (!gDesktop && QCoreApplication::instance())
        gDesktop = new CDesktopNotifier_qt(QDBusConnection::sessionBus());
    if (gDesktop)
        return *gDesktop;
    // No application object (command-line tools): nothing to show on.
    struct NoNotifier : IUserNotifier
    {
        void Deliver(const CUserNotification&) override {}
        void RemoveDelivered(const std::string&) override {}
    };
    static NoNotifier none;
    return none;
}

void RemoveAllDeliveredNotifications()
{
    if (IUserNotifier* notifier = gInstalled ? gInstalled : gDesktop)
        notifier->RemoveAllDelivered();
}

IUserNotifier* SetUserNotifier(IUserNotifier* notifier)
{
    IUserNotifier* before = gInstalled;
    gInstalled = notifier;
    return before;
}
