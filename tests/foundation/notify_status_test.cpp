// The status line and alarm notifications: what the window's status line
// shows and in which order, and what reaches the notifier.
#include "foundation/notify/StatusLine.h"
#include "foundation/notify/UserNotifier.h"
#include "support/FixedClock.h"
#include "support/RecordingNotifier.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace {

using tessatest::RecordingNotifier;

struct RecordingStatusLine : IStatusLineView
{
    std::vector<std::string> shown; // "-" for hidden
    void ShowStatusText(const std::string& text) override { shown.push_back(text); }
    void HideStatusLine() override { shown.push_back("-"); }
};

class Notify : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RemoveAllUserNotifications(); // alarms an earlier test left raised
        before = SetUserNotifier(&notifier);
        soundBefore = SetAlarmSound(&sound);
        ClearStatusMessage();
        SetStatusLineView(&line);
        line.shown.clear();
    }
    void TearDown() override
    {
        SetStatusLineView(nullptr);
        SetAlarmSound(soundBefore);
        SetUserNotifier(before);
        RemoveAllUserNotifications();
        ClearStatusMessage();
    }
    RecordingNotifier notifier;
    RecordingStatusLine line;
    IUserNotifier* before = nullptr;
    tessatest::RecordingAlarmSound sound;
    IAlarmSound* soundBefore = nullptr;
};

} // namespace

TEST_F(Notify, IdentifiersAreLowerCaseHexWithoutLeadingZeros)
{
    EXPECT_EQ(UserNotificationIdentifier(255), "ff");
    EXPECT_EQ(UserNotificationIdentifier(0), "0");
    EXPECT_EQ(UserNotificationIdentifier(0x00ABCDEFu), "abcdef");
    EXPECT_EQ(UserNotificationIdentifier(0xFFFFFFFFu), "ffffffff");
}

TEST_F(Notify, StatusMessagesReachTheViewInOrder)
{
    SetStatusMessage("Connecting");
    SetStatusMessage("");
    SetStatusMessage("Connected");
    ClearStatusMessage();
    EXPECT_EQ(line.shown, (std::vector<std::string>{"Connecting", "-", "Connected", "-"}));
    EXPECT_FALSE(IsStatusLineShown());

    // Text set while no window exists shows when the window plugs in.
    SetStatusLineView(nullptr);
    SetStatusMessage("Early");
    RecordingStatusLine later;
    SetStatusLineView(&later);
    EXPECT_EQ(later.shown, (std::vector<std::string>{"Early"}));
    SetStatusLineView(&line);
}

TEST_F(Notify, PostReplaceAndRemoveCarryTheRightIds)
{
    PostUserNotification(255, "Anchor alarm", "Drifted 40 m");
    PostUserNotification(255, "Anchor alarm", "Drifted 60 m");
    PostUserNotification(0x10, "AIS", "CPA 0.1 nm");
    RemoveUserNotification(255);
    EXPECT_EQ(notifier.log, (std::vector<std::string>{"post ff", "post ff", "post 10", "remove ff"}));
    ASSERT_EQ(notifier.delivered.size(), 3u);
    EXPECT_EQ(notifier.delivered[1].title, "Anchor alarm");
    EXPECT_EQ(notifier.delivered[1].text, "Drifted 60 m");
    // Each post is heard once; withdrawing is silent.
    EXPECT_EQ(sound.played, std::vector<std::string>(3, kAlarmSoundName));
}

TEST_F(Notify, RemovingClearsTheStatusLineOnlyWhileItShowsThatAlarm)
{
    PostUserNotification(1, "Mark", "Arrived");
    EXPECT_EQ(GetStatusMessage(), "Mark\nArrived");
    PostUserNotification(2, "AIS", "Collision");
    // Alarm 1 is withdrawn, but the line shows alarm 2: it stays.
    RemoveUserNotification(1);
    EXPECT_TRUE(IsStatusLineShown());
    EXPECT_EQ(GetStatusMessage(), "AIS\nCollision");
    RemoveUserNotification(2);
    EXPECT_FALSE(IsStatusLineShown());

    // A plain message that took the line over is not cleared either.
    PostUserNotification(3, "Anchor", "Dragging");
    SetStatusMessage("Chart downloaded");
    RemoveUserNotification(3);
    EXPECT_EQ(GetStatusMessage(), "Chart downloaded");
    EXPECT_EQ(line.shown, (std::vector<std::string>{"Mark\nArrived", "AIS\nCollision", "-",
                                                    "Anchor\nDragging", "Chart downloaded"}));
    EXPECT_EQ(notifier.log.back(), "remove 3");
}

TEST_F(Notify, MessagesAndLastingConditionsShareTheLine)
{
    // Steps: "s <text>" says, "c" clears, "p <id>" posts "Alarm\n<id>", "R" removes
    // every alarm, "r <key> <text>" raises, "x <key>" releases, "w <s>" waits,
    // "m" marks and "e" ends a job begun at the mark.
    struct Row
    {
        const char* what;
        std::vector<std::string> steps, shown;
    };
    const Row rows[] = {
        {"an alert gives way to a newer message, raised again it leaves it, and comes back when it goes "
         "or once it had its time",
         {"p 1", "s Chart downloaded", "w 1", "p 1", "c", "s Connected", "w 5", "p 1"},
         {"Alarm\n1", "Chart downloaded", "Alarm\n1", "Connected", "Alarm\n1"}},
        {"a failure stays through every clear until it is released",
         {"r save Saves fail", "c", "s Connected", "c", "x save"},
         {"Saves fail", "Connected", "Saves fail", "-"}},
        {"conditions take turns, each keeping the line for its time; the shown one's text changes at once",
         {"r save Saves fail", "p 1", "w 2", "r save Saves fail", "w 3", "r save Still fail", "p 1",
          "r save Fails again", "x save"},
         {"Saves fail", "Alarm\n1", "Still fail", "Fails again", "Alarm\n1"}},
        {"the end of a job clears what it said and nothing older",
         {"s GPX not imported", "m", "e", "m", "s Total distance: 3 nm", "e"},
         {"GPX not imported", "Total distance: 3 nm", "-"}},
        {"the end of the application withdraws the alerts, not the failures",
         {"r save Saves fail", "p 1", "p 2", "R"},
         {"Saves fail", "Alarm\n1", "Alarm\n2", "Saves fail"}},
    };
    tessatest::CFixedClock clock;
    uint64_t mark = 0;
    using Arg = const std::string&;
    const std::map<char, std::function<void(Arg)>> run = {
        {'s', [](Arg a) { SetStatusMessage(a); }},
        {'c', [](Arg) { ClearStatusMessage(); }},
        {'p', [](Arg a) { PostUserNotification(uint32_t(std::stoul(a)), "Alarm", a); }},
        {'R', [](Arg) { RemoveAllUserNotifications(); }},
        {'r', [](Arg a) { RaiseStatusCondition(a.substr(0, a.find(' ')), a.substr(a.find(' ') + 1)); }},
        {'x', [](Arg a) { ReleaseStatusCondition(a); }},
        {'w', [&](Arg a) { clock.Advance(std::stoi(a)); }},
        {'m', [&](Arg) { mark = StatusMessageCount(); }},
        {'e', [&](Arg) { ClearStatusMessagesAfter(mark); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        line.shown.clear();
        for (const std::string& step : row.steps)
            run.at(step[0])(step.size() > 2 ? step.substr(2) : std::string());
        EXPECT_EQ(line.shown, row.shown);
        RemoveAllUserNotifications();
        ReleaseStatusCondition("save");
        ClearStatusMessage();
    }
    EXPECT_EQ(notifier.log.back(), "remove all");
}

namespace {

// A player whose sound lasts 6 s of the test clock.
struct TimedAlarmSound : IAlarmSound
{
    std::vector<double> starts;
    void Play(const std::string&) override { starts.push_back(GetClockTime()); }
    bool IsPlaying() override { return !starts.empty() && GetClockTime() < starts.back() + 6; }
};

} // namespace

TEST_F(Notify, AlarmsPostedAgainLetTheSoundPlayToItsEnd)
{
    // (alarms posted in turn, seconds between posts, sounds started in 20 s)
    const std::tuple<int, double, size_t> rows[] = {{1, 0.1, 4}, {2, 0.1, 4}, {1, 7, 3}};
    for (const auto& [alarms, every, starts] : rows) {
        tessatest::CFixedClock clock;
        TimedAlarmSound timed;
        SetAlarmSound(&timed);
        for (int i = 0; i * every < 20; ++i, clock.Advance(every))
            PostUserNotification(uint32_t(1 + i % alarms), "Anchor alarm", "Drifted");
        EXPECT_EQ(timed.starts.size(), starts) << alarms << " alarms every " << every << " s";
        SetAlarmSound(&sound);
        RemoveAllUserNotifications();
    }
}
