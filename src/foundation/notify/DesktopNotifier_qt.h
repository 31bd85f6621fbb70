#pragma once
// Alarm notifications on the desktop through the freedesktop notification
// service (org.freedesktop.Notifications) on the session bus. Every call is
// asynchronous: a slow or missing notification server never holds up the
// main thread. Without a session bus nothing is shown here and the status
// line alone carries the alarm.
#include "foundation/notify/UserNotifier.h"

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QObject>
#include <cstdint>
#include <map>
#include <optional>

class QDBusPendingCallWatcher;

class CDesktopNotifier_qt : public QObject, public IUserNotifier
{
    Q_OBJECT
public:
    explicit CDesktopNotifier_qt(const QDBusConnection& bus);
    ~CDesktopNotifier_qt() override;

    void Deliver(const CUserNotification& notification) override;
    void RemoveDelivered(const std::string& identifier) override;
    // Closes every notification shown, waiting for the server at most
    // kWithdrawMilliseconds in all (the process ends next).
    void RemoveAllDelivered() override;
    static constexpr int kWithdrawMilliseconds = 2000;

    bool HasBus() const { return m_bus.isConnected(); }
    // Notifications known to be shown or on their way (for tests).
    size_t TrackedCount() const { return m_entries.size(); }
    // Notify calls still waiting for the server's answer.
    size_t WaitingCount() const
    {
        size_t n = 0;
        for (const auto& [identifier, entry] : m_entries)
            n += entry.waiting;
        return n;
    }

private:
    struct Entry
    {
        uint32_t serverId = 0;                 // the server's id once it answered; 0 before
        bool waiting = false;                  // a Notify call has not answered yet
        bool removed = false;                  // withdrawn while the call was on its way
        std::optional<CUserNotification> next; // replaces it once the answer is in
        std::optional<QDBusPendingCall> call;  // the Notify call while waiting
    };

    void Send(const std::string& identifier, Entry& entry, const CUserNotification& notification);
    void NotifyAnswered(const std::string& identifier, QDBusPendingCallWatcher* watcher);
    void Close(uint32_t serverId);
    void CapabilitiesAnswered(QDBusPendingCallWatcher* watcher);

private Q_SLOTS:
    void NotificationClosed(uint serverId, uint reason);

private:
    QDBusConnection m_bus;
    std::map<std::string, Entry> m_entries;
    bool m_bodyMarkup = true; // until the server says otherwise
};
