// The status line and alarm notifications: what the window's status line
// shows and in which order, and what reaches the notifier.
#include "foundation/notify/StatusLine.h"
#include "foundation/notify/UserNotifier.h"
#include "support/RecordingNotifier.h"

#include <gtest/gtest.h>
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
