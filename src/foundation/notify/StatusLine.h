#pragma once
// The one-line status message over the chart and the alarms the user must
// see even with the application in the background. Any code may call these
// (main thread only). The status line itself is a field of the main window,
// which plugs itself in with SetStatusLineView; until then the text is only
// kept, so it shows as soon as a window arrives.
//
// Two kinds of text share the line. A message says something once: it shows
// at once and stays until it is cleared or something newer takes the line. A
// condition lasts (an alarm, saves that fail, input that comes too fast): it
// shows when raised, gives way to newer messages, and while it lasts it comes
// back after them: at once when they are cleared, or when it is raised again
// after they had the line for kStatusTextSeconds. Released, it goes.
#include <cstdint>
#include <string>

// What shows the status line: the main window fills it.
class IStatusLineView
{
public:
    virtual ~IStatusLineView() = default;
    virtual void ShowStatusText(const std::string& text) = 0;
    virtual void HideStatusLine() = 0;
};

// Installs the view (not owned; null removes it) and shows the current state
// on it. Returns the one installed before.
IStatusLineView* SetStatusLineView(IStatusLineView* view);

// Shows `text`; an empty text clears the message as ClearStatusMessage does.
void SetStatusMessage(const std::string& text);
// Takes the message off the line; the newest condition still raised shows
// instead, else the line hides.
void ClearStatusMessage();
// Messages set so far. ClearStatusMessagesAfter(n) clears the message only
// when it was set after StatusMessageCount() returned n, so an end of a job
// clears what the job said and nothing older.
uint64_t StatusMessageCount();
void ClearStatusMessagesAfter(uint64_t count);

// How long whatever shows keeps the line before a condition raised again
// takes it over.
constexpr double kStatusTextSeconds = 5.0;
// Raises the condition `key` with `text`, or changes the text of one raised
// already (which then takes the line only as described above).
void RaiseStatusCondition(const std::string& key, const std::string& text);
void ReleaseStatusCondition(const std::string& key);

// Whether the status line is shown, and its text ("" when hidden).
bool IsStatusLineShown();
const std::string& GetStatusMessage();

// Raises an alarm: a desktop notification (the same id replaces an earlier
// one), the alarm sound unless it is still playing, and "title\ntext" in the
// status line as a condition.
void PostUserNotification(uint32_t id, const std::string& title, const std::string& text);
// Withdraws the notification with that id and its text on the status line.
void RemoveUserNotification(uint32_t id);
// Withdraws every notification this process posted, before it returns: the
// application calls it as it ends, so no alarm of a gone process stays on
// the desktop.
void RemoveAllUserNotifications();

// The identifier of a notification id: lower-case hexadecimal without
// leading zeros (255 gives "ff").
std::string UserNotificationIdentifier(uint32_t id);
