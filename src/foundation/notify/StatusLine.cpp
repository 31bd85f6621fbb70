#include "foundation/notify/StatusLine.h"

#include "foundation/events/Clock.h"
#include "foundation/notify/AlarmSound.h"
#include "foundation/notify/UserNotifier.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const char* const kAlertKey = "alert ";

struct Condition
{
    std::string key;
    std::string text;
};

struct StatusLineState
{
    IStatusLineView* view = nullptr;
    // Oldest raised first.
    std::vector<Condition> conditions;
    // The message on the line (number 0: none) or else the condition shown
    // (empty key: none).
    uint64_t messageNumber = 0;
    std::string message;
    std::string shownKey;
    uint64_t messageCount = 0;
    // When what shows took the line.
    double shownSince = 0;
    std::string text; // as shown, "" when hidden
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
    if (!s.text.empty())
        s.view->ShowStatusText(s.text);
    else
        s.view->HideStatusLine();
}

// Shows the text if it differs from what the line shows.
void Display(const std::string& text)
{
    StatusLineState& s = State();
    if (text == s.text)
        return;
    s.text = text;
    ShowOnView();
}

std::vector<Condition>::iterator Find(const std::string& key)
{
    auto& conditions = State().conditions;
    return std::find_if(conditions.begin(), conditions.end(),
                        [&](const Condition& c) { return c.key == key; });
}

void ShowCondition(const Condition& condition)
{
    StatusLineState& s = State();
    s.messageNumber = 0;
    s.message.clear();
    s.shownKey = condition.key;
    s.shownSince = GetClockTime();
    Display(condition.text);
}

// The newest condition raised, else nothing.
void ShowNewestCondition()
{
    StatusLineState& s = State();
    if (!s.conditions.empty()) {
        ShowCondition(s.conditions.back());
        return;
    }
    s.messageNumber = 0;
    s.message.clear();
    s.shownKey.clear();
    Display(std::string());
}

bool HadItsTime()
{
    const double shown = GetClockTime() - State().shownSince;
    // A clock set back must not keep a condition off the line.
    return !(shown >= 0 && shown < kStatusTextSeconds);
}

std::string AlertKey(uint32_t id)
{
    return kAlertKey + UserNotificationIdentifier(id);
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
    if (text.empty()) {
        ClearStatusMessage();
        return;
    }
    StatusLineState& s = State();
    s.messageNumber = ++s.messageCount;
    s.message = text;
    s.shownKey.clear();
    s.shownSince = GetClockTime();
    // The same text again is still news: the view shows it anew.
    s.text = text;
    ShowOnView();
}

void ClearStatusMessage()
{
    StatusLineState& s = State();
    if (s.messageNumber == 0 && !s.text.empty())
        return; // a condition shows; it stays while it lasts
    ShowNewestCondition();
}

uint64_t StatusMessageCount()
{
    return State().messageCount;
}

void ClearStatusMessagesAfter(uint64_t count)
{
    if (State().messageNumber > count)
        ClearStatusMessage();
}

void RaiseStatusCondition(const std::string& key, const std::string& text)
{
    if (text.empty())
        return;
    StatusLineState& s = State();
    auto found = Find(key);
    if (found == s.conditions.end()) {
        s.conditions.push_back({key, text});
        ShowCondition(s.conditions.back());
        return;
    }
    found->text = text;
    if (s.shownKey == key)
        Display(text);
    else if (s.text.empty() || HadItsTime())
        ShowCondition(*found);
}

void ReleaseStatusCondition(const std::string& key)
{
    StatusLineState& s = State();
    auto found = Find(key);
    if (found == s.conditions.end())
        return;
    s.conditions.erase(found);
    if (s.shownKey == key)
        ShowNewestCondition();
}

bool IsStatusLineShown()
{
    return !State().text.empty();
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
    // Alarms are posted again at every fix: the sound plays to its end
    // before it starts again, never cut off after its first second.
    IAlarmSound& sound = GetAlarmSound();
    if (!sound.IsPlaying())
        sound.Play(kAlarmSoundName);
    RaiseStatusCondition(AlertKey(id), title + "\n" + text);
}

void RemoveUserNotification(uint32_t id)
{
    GetUserNotifier().RemoveDelivered(UserNotificationIdentifier(id));
    ReleaseStatusCondition(AlertKey(id));
}

void RemoveAllUserNotifications()
{
    RemoveAllDeliveredNotifications();
    std::vector<std::string> alerts;
    for (const Condition& c : State().conditions)
        if (c.key.rfind(kAlertKey, 0) == 0)
            alerts.push_back(c.key);
    for (const std::string& key : alerts)
        ReleaseStatusCondition(key);
}
