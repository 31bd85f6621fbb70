#pragma once
// Where alarms go besides the status line. The application uses desktop
// notifications over D-Bus; tests install a recording fake. The alarm's
// sound is not theirs: the application plays it (AlarmSound.h).
#include <string>

struct CUserNotification
{
    std::string identifier; // UserNotificationIdentifier of the caller's id
    std::string title;
    std::string text;
};

class IUserNotifier
{
public:
    virtual ~IUserNotifier() = default;
    // Shows the notification; one with an identifier already shown replaces it.
    virtual void Deliver(const CUserNotification& notification) = 0;
    // Withdraws every shown notification with this identifier.
    virtual void RemoveDelivered(const std::string& identifier) = 0;
    // Withdraws every notification it showed, done when it returns: the
    // process may end right after.
    virtual void RemoveAllDelivered() {}
};

// The notifier in use: the one installed, else the desktop one.
IUserNotifier& GetUserNotifier();
// Installs a notifier (not owned); null restores the desktop one. Returns the
// one installed before (null when that was the desktop one).
IUserNotifier* SetUserNotifier(IUserNotifier* notifier);
// RemoveAllDelivered of the notifier in use; the desktop one is not made for it.
void RemoveAllDeliveredNotifications();
