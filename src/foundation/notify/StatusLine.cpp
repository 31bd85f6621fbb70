#include "foundation/notify/StatusLine.h"

#include "foundation/notify/AlarmSound.h"
#include "foundation/notify/UserNotifier.h"

#include <cstdio>

namespace {

struct StatusLineState
{
    IStatusLineView* view = nullptr;
    bool shown = false;
    std::string text;
    // The notification whose text the status line shows, if any.
    bool fromNotification = false;
    uint32_t notificationId = 0;
};

StatusLineState& State()
{
    static StatusLineState state;
    return state;
}

void ShowOnView()
{
    StatusLineState& s = State();
    if (!s.view)
        return;
    if (s.shown)
        s.view->ShowStatusText(s.text);
    else
        s.view->HideStatusLine();
}

void SetText(const std::string& text)
{
    StatusLineState& s = State();
    s.fromNotification = false;
    s.shown = !text.empty();
    s.text = s.shown ? text : std::string();
    ShowOnView();
}

} // namespace

IStatusLineView* SetStatusLineView(IStatusLineView* view)
{
    IStatusLineView* before = State().view;
    State().view = view;
    ShowOnView();
    return before;
}

void SetStatusMessage(const std::string& text)
{
    SetText(text);
}

void ClearStatusMessage()
{
    SetText(std::string());
}

bool IsStatusLineShown()
{
    return State().shown;
}

const std::string& GetStatusMessage()
{
    return State().text;
}

std::string UserNotificationIdentifier(uint32_t id)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%x", static_cast<unsigned>(id));
    return buffer;
}

void PostUserNotification(uint32_t id, const std::string& title, const std::string& text)
{
    CUserNotification notification;
    notification.identifier = UserNotificationIdentifier(id);
    notification.title = title;
    notification.text = text;
    GetUserNotifier().Deliver(notification);
    GetAlarmSound().Play(kAlarmSoundName);

    SetText(title + "\n" + text);
    State().fromNotification = true;
    State().notificationId = id;
}

void RemoveUserNotification(uint32_t id)
{
    GetUserNotifier().RemoveDelivered(UserNotificationIdentifier(id));
    // Another alarm or message may have taken the line since; that one stays.
    StatusLineState& s = State();
    if (s.shown && s.fromNotification && s.notificationId == id)
        ClearStatusMessage();
}
