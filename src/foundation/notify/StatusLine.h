#pragma once
// The one-line status message over the chart and the alarms the user must
// see even with the application in the background. Any code may call these
// (main thread only). The status line itself is a field of the main window,
// which plugs itself in with SetStatusLineView; until then the text is only
// kept, so it shows as soon as a window arrives.
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

// Shows `text`; an empty text hides the status line.
void SetStatusMessage(const std::string& text);
// Hides the status line.
void ClearStatusMessage();

// Whether the status line is shown, and its text ("" when hidden).
bool IsStatusLineShown();
const std::string& GetStatusMessage();

// Raises an alarm: a desktop notification (the same id replaces an earlier
// one), the alarm sound played once, and "title\ntext" in the status line.
void PostUserNotification(uint32_t id, const std::string& title, const std::string& text);
// Withdraws the notification with that id; the status line is cleared only
// while it still shows what that notification put there.
void RemoveUserNotification(uint32_t id);

// The identifier of a notification id: lower-case hexadecimal without
// leading zeros (255 gives "ff").
std::string UserNotificationIdentifier(uint32_t id);
