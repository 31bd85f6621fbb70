#pragma once
// The course-axis dialog: the axis of the start line typed in (in the
// bearing mode the user reads), or taken from the live heading, true wind,
// course over ground or go-to bearing, each offered while it is known.
#include "foundation/dialogs/UIViewControllerWithDialog.h"
#include "foundation/dialogs/global_dialog_window.h"
#include "foundation/events/Heartbeat.h"

#include <memory>
#include <string>

namespace Ui {
class axis_settings;
}

// The dialog's decisions, free of widgets.
namespace NAxisSettings {

// The axis (degrees true, 0..360) from the typed text in the user's bearing
// mode: unchanged for an empty text, false for one that is not a number.
bool AxisFromText(const std::string& text, float current, float& axis);
// The live values the buttons offer; 999 where there is none.
struct CLiveBearings
{
    float cog = 999;
    float heading = 999;
    float wind = 999;
};
CLiveBearings ReadLiveBearings();
// The bearing to the go-to target; 999 without one.
float GotoBearing();

} // namespace NAxisSettings

class axis_settings : public UIViewControllerWithDialog
{
    Q_OBJECT

public:
    explicit axis_settings(QWidget* parent = nullptr);
    ~axis_settings() override;

    void viewDidLoad();
    void onOneSecTimer();
    void onDone();
    void onHeading();
    void onWind();
    void onCOG();
    void onGoto();
    void dispatch_and_destroy();
    void onCancel();

    bool HasTimer() const { return m_timer != nullptr; }

private:
    // Runs onOneSecTimer once a second while the dialog is open.
    class CTimer : public CHeartbeat::Counter
    {
    public:
        explicit CTimer(axis_settings& dialog)
            : CHeartbeat::Counter(CHeartbeat::kTicksPerSecond), m_dialog(dialog)
        {
        }
        void OnTick() override { m_dialog.onOneSecTimer(); }

    private:
        axis_settings& m_dialog;
    };

    void UseBearing(float bearing);
    void End(int32_t code);

    std::unique_ptr<Ui::axis_settings> m_ui;
    std::unique_ptr<CTimer> m_timer;
    float m_heading = 999;
    float m_wind = 999;
    float m_cog = 999;
    float m_goto = 999;
};

// Shows the dialog over `parent` (null: in a window of its own).
void show_axis_settings(UIViewControllerWithDialog* parent);
