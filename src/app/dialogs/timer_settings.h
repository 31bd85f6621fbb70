#pragma once
// The race start-timer dialog: the countdown length, and a start now or at a
// clock time. Every way that starts the race saves the settings and tells
// the panel cells and other instruments. Bad text is refused with a message
// and the dialog stays open.
#include "foundation/dialogs/UIViewControllerWithDialog.h"
#include "foundation/dialogs/global_dialog_window.h"

#include <cstdint>
#include <memory>
#include <string>

namespace Ui {
class timer_settings;
}

// The dialog's decisions, free of widgets.
namespace NTimerSettings {

// A whole number of minutes 0..CDataStartTimer::kMaxPeriodMinutes.
bool ParseMinutes(const std::string& text, int32_t& minutes);
// "h[:m[:s]]" with an optional am/pm ("2:30pm", "11:00 p", "12:30am");
// 'p' adds 12 to hours below 12, 'a' turns 12 into 0. False for any other
// text or a time that does not exist on a 24-hour clock.
bool ParseStartAt(const std::string& text, int& hours, int& minutes, int& seconds);
// The next moment at that local clock time from `now`: today, or tomorrow's
// calendar day when today's is already past. NaN when the time cannot be made.
double NextClockTime(int hours, int minutes, int seconds, double now);
// The start time as local "hh:mm:ss"; "12:00:00" without a start.
std::string StartAtText(double timeOfStart);

} // namespace NTimerSettings

class timer_settings : public UIViewControllerWithDialog
{
    Q_OBJECT

public:
    explicit timer_settings(QWidget* parent = nullptr);
    ~timer_settings() override;

    void viewDidLoad();
    void onDone();
    void onStart();
    void onStartAt();
    void onCancel();

private:
    // The period typed, or a message and false.
    bool ReadPeriod(int32_t& minutes);
    // Saves and publishes the new start, then closes.
    void Started();

    std::unique_ptr<Ui::timer_settings> m_ui;
};

// Shows the dialog over `parent` (null: in a window of its own).
void show_timer_settings(UIViewControllerWithDialog* parent);
