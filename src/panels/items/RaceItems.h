#pragma once
// The race-start cells: the countdown to the start, the distance to the start
// line and the time to spare there, buttons that mark the line's ends at the
// own position and start the countdown, and the values measured against the
// course axis kept with the start line. The texts come from the plain
// functions at the top, so they can be checked without a panel.
#include "foundation/events/Heartbeat.h"
#include "geodesy/Units.h"
#include "instruments/data/DataDistanceToStart.h"
#include "instruments/data/DataSpeedDirection.h"
#include "instruments/data/DataStartTimer.h"
#include "instruments/data/DataTrueWind.h"
#include "panels/DisplayView.h"
#include "panels/items/PlacementSettings.h"

#include <cstdint>
#include <string>

namespace NRaceText {

// Timer display states.
enum : int { kNoStart = 0, kBeforeStart = 1, kAfterStart = 2 };
// A start further than this from now is damaged input, not a race.
constexpr double kMaxStartDistance = 10 * 366 * 86400.0; // seconds

// The state the countdown shows for a start time at `now` (seconds since
// 1970), with its text: "---" without a usable start, the time left before
// it, "+" and the time since after it.
int StartTimer(double timeOfStart, double now, std::string& text);
// The label of each state.
const char* StartTimerLabel(int state);

// Seconds early or late at the line: false (nothing to show) while the time
// to burn is not valid; else the label "Late (s)" or "Early (s)" and the text.
bool EarlyLate(const CDataDistanceToStart& distance, std::string& label, std::string& text);

// `value` minus `axis` as "%c%03d" in whole degrees (-180..180); "---" when
// either is unknown or not finite.
std::string AxisDifference(double value, double axis);

// The start line on a plane with its origin at the right end.
struct CLineGeometry
{
    bool endsValid = false; // both ends are set and on the globe
    bool usable = false;    // and the line is 5 m to 10 km long
    double x = 0, y = 0;    // the left end, metres east and north of the right end
    double length = 0;      // metres
    float squareCourse = 0; // degrees: 90 clockwise from right-to-left
};
CLineGeometry StartLineGeometry(const CDataStartLine& line);

// "<20 m<90°": the favoured end ('<' left for along >= 0, else '>'), the
// distance |along| and the angle; "---" for an angle that is not finite.
std::string LineBias(double along, double angle, const CUnits& units);
// The bias of the line against the axis (degrees true); "---" for a line out
// of range. Empty when an end is not set.
std::string LineBiasFromAxis(const CLineGeometry& line, double axis, const CUnits& units);
// The bias against the true wind from `windDirection` with unit vector
// (east, north); a negative angle shows as 0.
std::string LineBiasFromWind(const CLineGeometry& line, double windDirection, float windEast, float windNorth,
                             const CUnits& units);

} // namespace NRaceText

// The cells that open the start-timer dialog from their menu.
class CTimerItem : public CDisplayView::CItemText
{
public:
    using CDisplayView::CItemText::CItemText;
    void AddMenuItems(CMenuTree& menu, QWidget* owner) override;
};

class CTimerButton : public CDisplayView::CItemButton
{
public:
    using CDisplayView::CItemButton::CItemButton;
    void AddMenuItems(CMenuTree& menu, QWidget* owner) override;
};

class DisplayStartTimer : public CTimerItem, Listener<CDataStartTimer>, CHeartbeat::Counter
{
public:
    TESSA_PLACEMENT_ONLY_SETTINGS(DisplayStartTimer, 84)
    DisplayStartTimer(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host);
    void Notify(const CDataStartTimer& timer) override;
    void Update();
    int State() const { return m_state; }

private:
    void OnTick() override { Update(); }
    int m_state = NRaceText::kBeforeStart;
};

class DisplayStartDistance : public CTimerItem, Listener<CDataDistanceToStart>
{
public:
    TESSA_PLACEMENT_ONLY_SETTINGS(DisplayStartDistance, 89)
    DisplayStartDistance(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host);
    void Notify(const CDataDistanceToStart& distance) override;
};

class DisplayStartEarly : public CTimerItem, Listener<CDataDistanceToStart>
{
public:
    TESSA_PLACEMENT_ONLY_SETTINGS(DisplayStartEarly, 90)
    DisplayStartEarly(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host);
    void Notify(const CDataDistanceToStart& distance) override;
};

class DisplayStartPingRight : public CTimerButton
{
public:
    TESSA_PLACEMENT_ONLY_SETTINGS(DisplayStartPingRight, 91)
    DisplayStartPingRight(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host);
    void Pressed() override;
};

class DisplayStartPingLeft : public CTimerButton
{
public:
    TESSA_PLACEMENT_ONLY_SETTINGS(DisplayStartPingLeft, 92)
    DisplayStartPingLeft(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host);
    void Pressed() override;
};

class DisplayStartCountdown : public CTimerButton
{
public:
    TESSA_PLACEMENT_ONLY_SETTINGS(DisplayStartCountdown, 93)
    DisplayStartCountdown(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host);
    void Pressed() override;
};

// The cells measured against the course axis; they open the axis dialog.
class CAxisTextItem : public CDisplayView::CItemText, public Listener<CUnits>, Listener<CDataStartLine>
{
public:
    CAxisTextItem(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host);
    void AddMenuItems(CMenuTree& menu, QWidget* owner) override;
    void Notify(const CUnits&) override { Refresh(); }
    void Notify(const CDataStartLine&) override { Refresh(); }
    virtual void Refresh() {}

protected:
    // Remembers the axis; true when it differs from the one shown last.
    bool AxisChanged();
    // The label becomes `title` and the axis when the axis changed.
    void RefreshLabel(const char* title);
    float m_lastAxis = 999.0f;
};

class TrueWind_from_axis : public Listener<CDataTrueWind>, public CAxisTextItem
{
public:
    TESSA_PLACEMENT_ONLY_SETTINGS(TrueWind_from_axis, 105)
    TrueWind_from_axis(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host);
    void Notify(const CDataTrueWind& wind) override;
    void Refresh() override { RefreshLabel("True Wind vs "); }
    using CAxisTextItem::Notify;
};

class Heading_from_axis : public Listener<CDataSpeedDirection>, public CAxisTextItem
{
public:
    TESSA_PLACEMENT_ONLY_SETTINGS(Heading_from_axis, 106)
    Heading_from_axis(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host);
    void Notify(const CDataSpeedDirection& own) override;
    void Refresh() override { RefreshLabel("Heading vs "); }
    using CAxisTextItem::Notify;
};

class COG_from_axis : public Listener<CDataSpeedDirection>, public CAxisTextItem
{
public:
    TESSA_PLACEMENT_ONLY_SETTINGS(COG_from_axis, 110)
    COG_from_axis(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host);
    void Notify(const CDataSpeedDirection& own) override;
    void Refresh() override { RefreshLabel("COG vs "); }
    using CAxisTextItem::Notify;
};

class Line_Bias_from_axis : public CAxisTextItem
{
public:
    TESSA_PLACEMENT_ONLY_SETTINGS(Line_Bias_from_axis, 107)
    Line_Bias_from_axis(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host);
    void Refresh() override;
};

class Line_Bias_from_wind : public CDisplayView::CItemText,
                            public Listener<CDataTrueWind>,
                            Listener<CDataStartLine>
{
public:
    TESSA_PLACEMENT_ONLY_SETTINGS(Line_Bias_from_wind, 108)
    Line_Bias_from_wind(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host);
    void Notify(const CDataStartLine& line) override;
    void Notify(const CDataTrueWind& wind) override;

private:
    NRaceText::CLineGeometry m_line; // as of the last start line with both ends
};

class CDispAxis : public CAxisTextItem
{
public:
    TESSA_PLACEMENT_ONLY_SETTINGS(CDispAxis, 109)
    CDispAxis(CDisplayView::CItemSettings& settings, CDisplayView::IWindow* host);
    void Refresh() override;
};

// The timer and axis family, in its menu order; called by RegisterAllPanelItems.
void RegisterRaceItems();
