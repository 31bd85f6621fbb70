#pragma once
// A user notifier and an alarm sound player that record what reaches them
// instead of the desktop.
#include "foundation/notify/AlarmSound.h"
#include "foundation/notify/UserNotifier.h"

#include <string>
#include <vector>

namespace tessatest {

struct RecordingNotifier : IUserNotifier
{
    std::vector<std::string> log; // "post <id>" / "remove <id>" / "remove all"
    std::vector<CUserNotification> delivered;
    void Deliver(const CUserNotification& n) override
    {
        log.push_back("post " + n.identifier);
        delivered.push_back(n);
    }
    void RemoveDelivered(const std::string& identifier) override { log.push_back("remove " + identifier); }
    void RemoveAllDelivered() override { log.push_back("remove all"); }
};

struct RecordingAlarmSound : IAlarmSound
{
    std::vector<std::string> played;
    void Play(const std::string& name) override { played.push_back(name); }
};

// Plays nothing and keeps nothing: for runs that make many alarms.
struct SilentAlarmSound : IAlarmSound
{
    void Play(const std::string&) override {}
};

// Installs the recorders for its lifetime.
struct ScopedRecordingNotifier
{
    ScopedRecordingNotifier() : before(SetUserNotifier(&notifier)), soundBefore(SetAlarmSound(&sound)) {}
    ~ScopedRecordingNotifier()
    {
        SetAlarmSound(soundBefore);
        SetUserNotifier(before);
    }
    ScopedRecordingNotifier(const ScopedRecordingNotifier&) = delete;
    ScopedRecordingNotifier& operator=(const ScopedRecordingNotifier&) = delete;
    RecordingNotifier notifier;
    IUserNotifier* before;
    RecordingAlarmSound sound;
    IAlarmSound* soundBefore;
};

} // namespace tessatest
