// The status line and alarm notifications: what the window's status line
// shows and in which order, and what reaches the notifier.
#include "foundation/notify/StatusLine.h"
#include "foundation/notify/UserNotifier.h"
#include "support/FixedClock.h"
#include "support/RecordingNotifier.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>
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
    // Steps: "say <text>", "clear", "post <id>" (shown as "Alarm\n<id>"),
    // "remove all", "raise <key> <text>", "release <key>",
    // "wait <seconds>", "mark" and "end job" (what was said since the mark goes).
    struct Row
    {
        const char* what;
        std::vector<std::string> steps, shown;
    };
    const Row rows[] = {
        {"an alert gives way to a newer message, raised again it leaves it, and comes back when it goes",
         {"post 1", "say Chart downloaded", "wait 1", "post 1", "clear"},
         {"Alarm\n1", "Chart downloaded", "Alarm\n1"}},
        {"an alert raised again takes the line back once the message had its time",
         {"post 1", "say Chart downloaded", "wait 5", "post 1", "say Connected", "wait 4", "post 1"},
         {"Alarm\n1", "Chart downloaded", "Alarm\n1", "Connected"}},
        {"a failure stays through every clear until it is released",
         {"raise save Saves fail", "clear", "say Connected", "clear", "release save"},
         {"Saves fail", "Connected", "Saves fail", "-"}},
        {"conditions take turns, each keeping the line for its time; the text of the one shown changes at "
         "once",
         {"raise save Saves fail", "post 1", "wait 2", "raise save Saves fail", "wait 3",
          "raise save Still fail", "post 1", "raise save Fails again", "release save"},
         {"Saves fail", "Alarm\n1", "Still fail", "Fails again", "Alarm\n1"}},
        {"the end of a job clears what it said and nothing older",
         {"say GPX not imported", "mark", "end job", "mark", "say Total distance: 3 nm", "end job"},
         {"GPX not imported", "Total distance: 3 nm", "-"}},
        {"the end of the application withdraws the alerts, not the failures",
         {"raise save Saves fail", "post 1", "post 2", "remove all"},
         {"Saves fail", "Alarm\n1", "Alarm\n2", "Saves fail"}},
    };
    tessatest::CFixedClock clock;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        line.shown.clear();
        uint64_t mark = 0;
        for (const std::string& step : row.steps) {
            std::istringstream in(step);
            std::string op, key, text;
            in >> op;
            if (op == "say" || op == "raise") {
                if (op == "raise")
                    in >> key;
                in >> std::ws;
                std::getline(in, text);
            }
            if (op == "say")
                SetStatusMessage(text);
            else if (op == "clear")
                ClearStatusMessage();
            else if (step == "remove all")
                RemoveAllUserNotifications();
            else if (op == "post") {
                uint32_t id = 0;
                in >> id;
                PostUserNotification(id, "Alarm", std::to_string(id));
            } else if (op == "raise")
                RaiseStatusCondition(key, text);
            else if (op == "release")
                in >> key, ReleaseStatusCondition(key);
            else if (op == "wait") {
                double seconds = 0;
                in >> seconds;
                clock.Advance(seconds);
            } else if (op == "mark")
                mark = StatusMessageCount();
            else if (step == "end job")
                ClearStatusMessagesAfter(mark);
            else
                FAIL() << "unknown step " << step;
        }
        EXPECT_EQ(line.shown, row.shown);
        RemoveAllUserNotifications();
        ReleaseStatusCondition("save");
        ClearStatusMessage();
    }
    EXPECT_EQ(notifier.log.back(), "remove all");
}

namespace {

// A player whose sound lasts `length` seconds of the test clock.
struct TimedAlarmSound : IAlarmSound
{
    double length = 6;
    std::vector<double> starts;
    void Play(const std::string&) override { starts.push_back(GetClockTime()); }
    bool IsPlaying() override { return !starts.empty() && GetClockTime() < starts.back() + length; }
};

} // namespace

TEST_F(Notify, AlarmsPostedAgainLetTheSoundPlayToItsEnd)
{
    struct Row
    {
        const char* what;
        std::vector<uint32_t> ids; // posted in turn
        double everySeconds, forSeconds;
        size_t starts;
    };
    const Row rows[] = {
        {"one alarm at 10 Hz starts the 6 s sound once per 6 s", {1}, 0.1, 20, 4},
        {"two alarms in turn play one sound at a time", {1, 2}, 0.1, 20, 4},
        {"posts further apart than the sound are each heard", {1}, 10, 30, 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        tessatest::CFixedClock clock;
        TimedAlarmSound timed;
        SetAlarmSound(&timed);
        for (int i = 0; i * row.everySeconds < row.forSeconds; ++i) {
            PostUserNotification(row.ids[i % row.ids.size()], "Anchor alarm", "Drifted");
            clock.Advance(row.everySeconds);
        }
        EXPECT_EQ(timed.starts.size(), row.starts);
        SetAlarmSound(&sound);
        RemoveAllUserNotifications();
    }
}
