#pragma once
// A user notifier that records what reaches it instead of the desktop.
#include "foundation/notify/UserNotifier.h"

#include <string>
#include <vector>

namespace tessatest {

struct RecordingNotifier : IUserNotifier
{
    std::vector<std::string> log; // "post <id>" / "remove <id>"
    std::vector<CUserNotification> delivered;
    void Deliver(const CUserNotification& n) override
    {
        log.push_back("post " + n.identifier);
        delivered.push_back(n);
    }
    void RemoveDelivered(const std::string& identifier) override { log.push_back("remove " + identifier); }
};

// Installs the recorder for its lifetime.
struct ScopedRecordingNotifier
{
    ScopedRecordingNotifier() : before(SetUserNotifier(&notifier)) {}
    ~ScopedRecordingNotifier() { SetUserNotifier(before); }
    ScopedRecordingNotifier(const ScopedRecordingNotifier&) = delete;
    ScopedRecordingNotifier& operator=(const ScopedRecordingNotifier&) = delete;
    RecordingNotifier notifier;
    IUserNotifier* before;
};

} // namespace tessatest
