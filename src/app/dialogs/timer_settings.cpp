#include "app/dialogs/timer_settings.h"

#include "foundation/dialogs/MessageBox.h"
#include "foundation/events/Heartbeat.h"
#include "foundation/settings/PersistantData.h"
#include "instruments/data/DataStartTimer.h"
#include "ui_dlg_StartTimer.h"

#include <QLineEdit>
#include <QPushButton>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace NTimerSettings {

namespace {

std::string Trimmed(const std::string& text)
{
    size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1])))
        --e;
    return text.substr(b, e - b);
}

// One to four digits at `i`.
bool ReadNumber(const std::string& text, size_t& i, int& value)
{
    const size_t start = i;
    value = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && i - start < 4)
        value = value * 10 + (text[i++] - '0');
    return i > start && !(i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])));
}

// Whole seconds since 1970 that time_t and the local calendar can hold.
bool ToTime(double t, time_t& out)
{
    if (!std::isfinite(t) || t < 0 || t > 253402300799.0) // year 9999
        return false;
    out = static_cast<time_t>(t);
    return true;
}

} // namespace

bool ParseMinutes(const std::string& text, int32_t& minutes)
{
    const std::string t = Trimmed(text);
    size_t i = 0;
    int value = 0;
    if (!ReadNumber(t, i, value) || i != t.size() || value > CDataStartTimer::kMaxPeriodMinutes)
        return false;
    minutes = value;
    return true;
}

bool ParseStartAt(const std::string& text, int& hours, int& minutes, int& seconds)
{
    const std::string t = Trimmed(text);
    size_t i = 0;
    int h = 0, m = 0, s = 0;
    if (!ReadNumber(t, i, h))
        return false;
    if (i < t.size() && t[i] == ':' && !(++i, ReadNumber(t, i, m)))
        return false;
    if (i < t.size() && t[i] == ':' && !(++i, ReadNumber(t, i, s)))
        return false;
    // What follows may only be "a", "am", "p" or "pm" (any case, dots allowed).
    std::string rest;
    for (; i < t.size(); ++i)
        if (!std::isspace(static_cast<unsigned char>(t[i])) && t[i] != '.')
            rest += char(std::tolower(static_cast<unsigned char>(t[i])));
    if (!rest.empty() && rest != "a" && rest != "am" && rest != "p" && rest != "pm")
        return false;
    if (!rest.empty() && rest[0] == 'p' && h < 12)
        h += 12;
    else if (!rest.empty() && rest[0] == 'a' && h == 12)
        h = 0; // 12:30am is half past midnight
    if (h > 23 || m > 59 || s > 59)
        return false;
    hours = h;
    minutes = m;
    seconds = s;
    return true;
}

double NextClockTime(int hours, int minutes, int seconds, double now)
{
    time_t clock = 0;
    if (!ToTime(now, clock))
        return NAN;
    struct tm today = {};
    if (!localtime_r(&clock, &today))
        return NAN;
    today.tm_hour = hours;
    today.tm_min = minutes;
    today.tm_sec = seconds;
    struct tm day = today;
    day.tm_isdst = -1;
    time_t at = mktime(&day);
    if (at != time_t(-1) && double(at) < now) {
        // The next calendar day at that clock time: across a change of
        // daylight saving this is 23 or 25 hours on, not 24.
        day = today;
        day.tm_mday += 1;
        day.tm_isdst = -1;
        at = mktime(&day);
    }
    return at == time_t(-1) ? NAN : double(at);
}

std::string StartAtText(double timeOfStart)
{
    time_t clock = 0;
    struct tm local = {};
    if (timeOfStart == 0 || !ToTime(timeOfStart, clock) || !localtime_r(&clock, &local))
        return "12:00:00";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    return buf;
}

} // namespace NTimerSettings

timer_settings::timer_settings(QWidget* parent)
    : UIViewControllerWithDialog(parent), m_ui(std::make_unique<Ui::timer_settings>())
{
    m_ui->setupUi(this);
    connect(m_ui->done, &QPushButton::clicked, this, &timer_settings::onDone);
    connect(m_ui->start, &QPushButton::clicked, this, &timer_settings::onStart);
    connect(m_ui->start_at_button, &QPushButton::clicked, this, &timer_settings::onStartAt);
    connect(m_ui->cancel, &QPushButton::clicked, this, &timer_settings::onCancel);
    viewDidLoad();
}

timer_settings::~timer_settings() = default;

void timer_settings::viewDidLoad()
{
    const CDataStartTimer& timer = CDataStartTimer::Global();
    m_ui->start_at->setText(QString::fromStdString(NTimerSettings::StartAtText(timer.m_timeOfStart)));
    m_ui->mins->setText(QString::number(timer.m_periodMinutes));
}

bool timer_settings::ReadPeriod(int32_t& minutes)
{
    if (NTimerSettings::ParseMinutes(m_ui->mins->text().toStdString(), minutes))
        return true;
    ShowOKMessage(this,
                  "The countdown must be a whole number of minutes from 0 to " +
                      std::to_string(CDataStartTimer::kMaxPeriodMinutes) + ".",
                  "Start Timer");
    return false;
}

void timer_settings::onDone()
{
    int32_t minutes = 0;
    if (isDialogEnded() || !ReadPeriod(minutes))
        return;
    CDataStartTimer::Global().m_periodMinutes = minutes;
    CDataStartTimer::Settings().SetModified();
    PersistantData::SaveAll();
    destroyDialog(0);
}

void timer_settings::onStart()
{
    int32_t minutes = 0;
    if (isDialogEnded() || !ReadPeriod(minutes))
        return;
    CDataStartTimer& timer = CDataStartTimer::Global();
    timer.m_periodMinutes = minutes;
    timer.m_timeOfStart = CHeartbeat::GetTime() + double(minutes) * 60;
    Started();
}

void timer_settings::onStartAt()
{
    if (isDialogEnded())
        return;
    int h = 0, m = 0, s = 0;
    const double at = NTimerSettings::ParseStartAt(m_ui->start_at->text().toStdString(), h, m, s)
                          ? NTimerSettings::NextClockTime(h, m, s, CHeartbeat::GetTime())
                          : NAN;
    if (!std::isfinite(at)) {
        ShowOKMessage(this, "The start time must be a time of day such as 14:30, 2:30pm or 14:30:15.",
                      "Start Timer");
        return;
    }
    CDataStartTimer::Global().m_timeOfStart = at;
    Started();
}

void timer_settings::Started()
{
    CDataStartTimer::Settings().SetModified();
    PersistantData::SaveAll();
    FireEvent<CDataStartTimer>(CDataStartTimer::Global());
    destroyDialog(0);
}

void timer_settings::onCancel()
{
    if (!isDialogEnded())
        destroyDialog(-1);
}

void show_timer_settings(UIViewControllerWithDialog* parent)
{
    auto* dialog = new timer_settings();
    dialog->showInParent(parent);
}
