// The race start-timer and course-axis dialogs, offscreen: their outlets,
// the start-at clock times under a European time zone with its
// daylight-saving changes, refused text, the live bearings and their
// buttons, and the axis dialog's timer after the dialog ended.
// TESSA_XVFB_LABEL
#include "app/dialogs/axis_settings.h"
#include "app/dialogs/timer_settings.h"
#include "app/shell/RaceDialogs.h"
#include "foundation/settings/PersistantData.h"
#include "geodesy/Units.h"
#include "instruments/data/DataStartTimer.h"
#include "instruments/data/DataTrueWind.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "support/FixedClock.h"
#include "support/ScriptedPresenter.h"
#include "support/TestPaths.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <optional>
#include <tuple>

namespace {

// 15:00 on 10 June 2026 in Berlin (summer time, UTC+2).
constexpr double kJune10At15 = 1781096400;

// An outlet by its name in the Designer file; a missing one fails the test.
template <class W> W* Outlet(QWidget* dialog, const char* name)
{
    W* w = dialog ? dialog->findChild<W*>(name) : nullptr;
    EXPECT_NE(w, nullptr) << name;
    return w;
}
constexpr auto Field = &Outlet<QLineEdit>;
constexpr auto Button = &Outlet<QPushButton>;
constexpr auto Label = &Outlet<QLabel>;

template <class T> struct Count : Listener<T>
{
    void Notify(const T&) override { ++n; }
    int n = 0;
};

class RaceDialogs : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
        PersistantData::SetIniPaths(m_dir + "/t.ini", m_dir + "/t2.ini");
        PersistantData::LoadAll("t");
        CDefaultUnits::Get().m_bearings = CUnits::kBearingsTrue;
        CMarkManager::Get().ClearForTesting();
    }
    void TearDown() override
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        CMarkManager::Get().ClearForTesting();
        CDataStartTimer::Global() = m_timer;
        CDataStartLine::Global() = m_line;
        static_cast<CUnits&>(CDefaultUnits::Get()) = m_units;
        SetOwnShip(m_own[0], m_own[1], m_own[2]);
        CDataTrueWind::Global().m_current = m_wind;
        PersistantData::SetIniPaths("", "");
        m_tz ? setenv("TZ", m_tz->c_str(), 1) : unsetenv("TZ");
        tzset();
    }
    static void SetOwnShip(float sogKnots, float cog, float heading)
    {
        COverlayGPSPosition& own = COverlayGPSPosition::Global();
        own.m_sog = sogKnots;
        own.m_cog = cog;
        own.m_damper.heading = heading;
    }

    const std::optional<std::string> m_tz =
        std::getenv("TZ") ? std::optional<std::string>(std::getenv("TZ")) : std::nullopt;
    const std::string m_dir = tessatest::MakeScratchDir("race_dialogs");
    const CDataStartTimer m_timer = CDataStartTimer::Global();
    const CDataStartLine m_line = CDataStartLine::Global();
    const CUnits m_units = CDefaultUnits::Get();
    const COverlayGPSPosition& m_ship = COverlayGPSPosition::Global();
    const float m_own[3] = {m_ship.m_sog, m_ship.m_cog, m_ship.GetHeading()};
    const CDataTrueWind::Filter m_wind = CDataTrueWind::Global().m_current;
    tessatest::CScriptedPresenter m_presenter;
};

TEST_F(RaceDialogs, StartAtFindsTheNextClockTimeAndRefusesBadText)
{
    // Clock, text, start (0: refused).
    const std::tuple<double, const char*, double> cases[] = {
        {kJune10At15, "2:30", 1781137800},    // 02:30 tomorrow
        {kJune10At15, "2:30pm", 1781181000},  // 14:30 tomorrow
        {kJune10At15, "11:00 p", 1781125200}, // 23:00 today
        {kJune10At15, "12:30am", 1781130600}, // 00:30 tomorrow, not noon
        {kJune10At15, " 23:00:00 ", 1781125200},
        {kJune10At15, "15:00", kJune10At15}, // now is not the past
        {1774706400, "10:00", 1774771200},   // 28 March: 10:00 summer time on the 29th
        {1792846800, "10:00", 1792918800},   // 24 October: 10:00 winter time on the 25th
        {kJune10At15, "25:00", 0},
        {kJune10At15, "abc", 0},
        {kJune10At15, "10:60", 0},
        {kJune10At15, "10:30 x", 0},
        {kJune10At15, "", 0},
        {kJune10At15, "99999:00", 0},
    };
    for (const auto& [now, text, start] : cases) {
        SCOPED_TRACE(text);
        tessatest::CFixedClock clock(now);
        CDataStartTimer::Global().m_timeOfStart = 1234;
        CDataStartTimer::Global().m_periodMinutes = 7;
        Count<CDataStartTimer> published;
        m_presenter.ClearShown();
        QPointer<timer_settings> dialog = new timer_settings();
        dialog->showInParent(nullptr);
        Field(dialog, "start_at")->setText(text);
        Button(dialog, "start_at_button")->click();
        if (start == 0) {
            EXPECT_FALSE(dialog->isDialogEnded());
            ASSERT_EQ(m_presenter.Shown().size(), 1u);
            EXPECT_EQ(m_presenter.Last().title, "Start Timer");
            EXPECT_EQ(CDataStartTimer::Global().m_timeOfStart, 1234);
            EXPECT_EQ(published.n, 0);
            EXPECT_FALSE(CDataStartTimer::Settings().IsModified());
            m_presenter.DeliverAll();
            Button(dialog, "cancel")->click();
            EXPECT_TRUE(dialog->isDialogEnded());
        } else {
            EXPECT_TRUE(dialog->isDialogEnded());
            EXPECT_TRUE(m_presenter.Shown().empty());
            EXPECT_EQ(CDataStartTimer::Global().m_timeOfStart, start);
            EXPECT_EQ(CDataStartTimer::Global().m_periodMinutes, 7);
            EXPECT_EQ(published.n, 1);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(dialog.isNull());
    }
}

TEST_F(RaceDialogs, StartNowDoneAndTheCountdownLength)
{
    tessatest::CFixedClock clock(kJune10At15);
    CDataStartTimer::Global().m_timeOfStart = 0;
    CDataStartTimer::Global().m_periodMinutes = 3;

    // Load: the period, and noon without a start.
    QPointer<timer_settings> dialog = new timer_settings();
    dialog->showInParent(nullptr);
    EXPECT_EQ(Field(dialog, "mins")->text(), "3");
    EXPECT_EQ(Field(dialog, "start_at")->text(), "12:00:00");

    // A countdown that is not a whole number of minutes is refused by Start and Done.
    for (const char* bad : {"x", "-1", "1441", "2.5", ""}) {
        SCOPED_TRACE(bad);
        Field(dialog, "mins")->setText(bad);
        Button(dialog, "start")->click();
        Button(dialog, "done")->click();
        EXPECT_FALSE(dialog->isDialogEnded());
        EXPECT_EQ(CDataStartTimer::Global().m_timeOfStart, 0);
        EXPECT_EQ(CDataStartTimer::Global().m_periodMinutes, 3);
        EXPECT_EQ(m_presenter.OpenCount(), 2u);
        m_presenter.DeliverAll();
    }

    Count<CDataStartTimer> published;
    Field(dialog, "mins")->setText(" 5 ");
    Button(dialog, "start")->click();
    EXPECT_TRUE(dialog->isDialogEnded());
    EXPECT_EQ(CDataStartTimer::Global().m_timeOfStart, kJune10At15 + 300);
    EXPECT_EQ(CDataStartTimer::Global().m_periodMinutes, 5);
    EXPECT_EQ(published.n, 1);
    EXPECT_FALSE(CDataStartTimer::Settings().IsModified());
    QFile saved(QString::fromStdString(m_dir + "/t.ini"));
    EXPECT_TRUE(saved.open(QIODevice::ReadOnly) && saved.readAll().contains("CDataStartTimer:time_of_start"));

    // Done keeps the start time and shows it local.
    QPointer<timer_settings> again = new timer_settings();
    again->showInParent(nullptr);
    EXPECT_EQ(Field(again, "start_at")->text(), "15:05:00");
    Field(again, "mins")->setText("10");
    Button(again, "done")->click();
    EXPECT_TRUE(again->isDialogEnded());
    EXPECT_EQ(CDataStartTimer::Global().m_timeOfStart, kJune10At15 + 300);
    EXPECT_EQ(CDataStartTimer::Global().m_periodMinutes, 10);
    EXPECT_EQ(published.n, 1);
}

TEST_F(RaceDialogs, AxisTypedInTheBearingModeOrTakenFromALiveValue)
{
    tessatest::CFixedClock clock(kJune10At15);
    CDefaultUnits::Get().m_bearings = CUnits::kBearingsMagnetic;
    CDefaultUnits::Get().m_variation = -3;
    CDataStartLine::Global().m_axis = 42;
    Count<CDataStartLine> published;

    const std::tuple<const char*, bool, float> cases[] = {
        {"090", true, 87},     {"", true, 87},     {"  ", true, 87}, {"abc", false, 87},
        {"1.5", true, 358.5f}, {"-90", true, 267}, {"725", true, 2}, {"nan", false, 2},
    };
    int publications = 0;
    for (const auto& [text, accepted, axis] : cases) {
        SCOPED_TRACE(text);
        QPointer<axis_settings> dialog = new axis_settings();
        dialog->showInParent(nullptr);
        Field(dialog, "axis")->setText(text);
        Button(dialog, "done")->click();
        EXPECT_EQ(dialog->isDialogEnded(), accepted);
        EXPECT_FLOAT_EQ(CDataStartLine::Global().m_axis, axis);
        publications += accepted;
        EXPECT_EQ(published.n, publications);
        EXPECT_EQ(m_presenter.OpenCount(), accepted ? 0u : 1u);
        m_presenter.DeliverAll();
        if (!accepted)
            dialog->onCancel();
    }

    // Load shows the axis in the mode read, with its suffix.
    CDataStartLine::Global().m_axis = 87;
    QPointer<axis_settings> shown = new axis_settings();
    shown->showInParent(nullptr);
    EXPECT_EQ(Field(shown, "axis")->text(), "090");
    EXPECT_EQ(Label(shown, "axis_units")->text(), QString::fromUtf8("\xC2\xB0M"));
    shown->onCancel();
}

TEST_F(RaceDialogs, LiveBearingsOfferTheirButtonsAndTheTimerEndsWithTheDialog)
{
    tessatest::CFixedClock clock(kJune10At15);
    CDataStartLine::Global().m_axis = 10;
    SetOwnShip(1.0f, 100, 999);
    CDataTrueWind::Global().m_current.speed = 0.5f;
    CDataTrueWind::Global().m_current.direction = 200;

    QPointer<axis_settings> dialog = new axis_settings();
    dialog->showInParent(nullptr);
    QWidget* ui = dialog;
    EXPECT_EQ(Label(ui, "COG")->text(), "");
    for (const char* name : {"COGButton", "HeadingButton", "WindButton", "GotoButton"})
        EXPECT_FALSE(Button(ui, name)->isEnabled()) << name;
    ASSERT_TRUE(dialog->HasTimer());

    // The values come and the next second offers them.
    SetOwnShip(5.0f, 100, 250);
    CDataTrueWind::Global().m_current.speed = 12;
    for (int i = 0; i < CHeartbeat::kTicksPerSecond; ++i)
        CHeartbeat::Tick();
    EXPECT_EQ(Label(ui, "COG")->text(), QString::fromUtf8("100\xC2\xB0T"));
    EXPECT_EQ(Label(ui, "Heading")->text(), QString::fromUtf8("250\xC2\xB0T"));
    EXPECT_EQ(Label(ui, "Wind")->text(), QString::fromUtf8("200\xC2\xB0T"));

    // A grab of the dialog for review.
    const QString folder = QString::fromStdString(std::string(TESSA_BUILD_DIR) + "/screenshots");
    QDir().mkpath(folder);
    EXPECT_TRUE(dialog->grab().save(folder + "/dlg_Axis.png"));
    QPointer<timer_settings> timer = new timer_settings();
    timer->showInParent(nullptr);
    EXPECT_TRUE(timer->grab().save(folder + "/dlg_StartTimer.png"));
    timer->onCancel();

    Button(ui, "COGButton")->click();
    EXPECT_TRUE(dialog->isDialogEnded());
    EXPECT_FALSE(dialog->HasTimer());
    EXPECT_EQ(CDataStartLine::Global().m_axis, 100);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(dialog.isNull());
    // Nothing freed is reached by later ticks (checked under AddressSanitizer).
    for (int i = 0; i < 3 * CHeartbeat::kTicksPerSecond; ++i)
        CHeartbeat::Tick();

    // Each button reaches its own action.
    SetOwnShip(5.0f, 100, 250);
    CMarkManager& marks = CMarkManager::Get();
    auto mark = std::make_unique<COverlayMark>();
    mark->SetName("W");
    mark->SetPosition(50, -4);
    COverlayMark* target = marks.AddMark(std::move(mark));
    ASSERT_TRUE(marks.GotoMark(target));
    double lat = 0, lon = 0;
    CLocalPlane(50, -4).FromXY(1000, 0, lat, lon); // 1 km east of the mark
    CDataGPSPosition fix;
    fix.SetPosition(lat, lon);
    fix.m_fixStatus = CDataGPSPosition::kGPSFix;
    marks.OnGPSPosition(fix);
    for (const auto& [name, axis] : {std::pair{"HeadingButton", 250.0f},
                                     {"WindButton", 200.0f},
                                     {"COGButton", 100.0f},
                                     {"GotoButton", 270.0f}}) {
        CDataStartLine::Global().m_axis = 10;
        QPointer<axis_settings> d = new axis_settings();
        d->showInParent(nullptr);
        QPushButton* button = Button(d, name);
        ASSERT_TRUE(button && button->isEnabled()) << name;
        button->click();
        EXPECT_TRUE(d->isDialogEnded());
        EXPECT_FLOAT_EQ(CDataStartLine::Global().m_axis, axis);
    }
    QPointer<axis_settings> cancelled = new axis_settings();
    cancelled->showInParent(nullptr);
    Button(cancelled, "cancel")->click();
    EXPECT_TRUE(cancelled->isDialogEnded());
    EXPECT_FALSE(cancelled->HasTimer());
    EXPECT_EQ(CDataStartLine::Global().m_axis, 270);
}

TEST_F(RaceDialogs, TheApplicationsPortOpensBothDialogs)
{
    CRaceDialogs port; // no application: the dialogs get windows of their own
    port.show_timer_settings(nullptr);
    port.show_axis_settings(nullptr);
    int opened = 0;
    for (QWidget* w : QApplication::allWidgets())
        if (qobject_cast<timer_settings*>(w) || qobject_cast<axis_settings*>(w)) {
            EXPECT_TRUE(w->isVisible());
            static_cast<UIViewControllerWithDialog*>(w)->destroyDialog(-1);
            ++opened;
        }
    EXPECT_EQ(opened, 2);
}

} // namespace
