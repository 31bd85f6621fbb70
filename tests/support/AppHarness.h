#pragma once
// The whole application in the test process: the real start-up of the
// application delegate in a scratch home (its own data, documents and
// settings folders), every prompt answered by the scripted presenter, web
// addresses and desktop notifications recorded, and a clock that moves only
// when the test ticks. `Tick` runs the main window's timer slot directly
// (the heartbeat first, as the 20 Hz timer does), so simulated time passes
// without waiting.
#include "support/RecordingNotifier.h"
#include "support/ScriptedPresenter.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class AppDelegate;
class ViewController;

namespace tessatest {

class AppHarness
{
public:
    // Seconds since 1970 at which the clock starts: 2025-01-01 12:00:00 UTC.
    static constexpr double kStartTime = 1735732800.0;

    // A scratch home named after `tag`; nothing starts yet.
    explicit AppHarness(const std::string& tag);
    // Ends the application (saving as it does at exit) and removes the home
    // unless `KeepHome` was called.
    ~AppHarness();
    AppHarness(const AppHarness&) = delete;
    AppHarness& operator=(const AppHarness&) = delete;

    // False when the build has no world base map (the tests then skip).
    static bool HasBaseMap();

    // Settings the start-up reads from the settings file ("Section:key" = value),
    // written before `Start`.
    void SetSetting(const std::string& key, const std::string& value);
    // Runs the start-up; the main window is shown unless `show` is false.
    void Start(bool show = true);
    // Ends the application as the process does at exit; a second call does nothing.
    void Stop();
    // `n` timer ticks, the clock moving 50 ms before each.
    void Tick(int n);
    // Ticks until the chart has drawn all its tiles (at most `limit` ticks).
    void TickUntilDrawn(int limit = 400);

    AppDelegate& App() { return *m_app; }
    ViewController& Window();
    CScriptedPresenter& Presenter() { return m_presenter; }
    RecordingNotifier& Notifier() { return m_notifier.notifier; }
    const std::vector<std::string>& OpenedUrls() const { return m_opened; }
    double Now() const { return m_now; }
    const std::string& Home() const { return m_home; }
    // Where the application keeps its stores and settings file.
    std::string DataFolder() const;
    void KeepHome() { m_keep = true; }

private:
    std::string m_home;
    std::map<std::string, std::string> m_settings;
    CScriptedPresenter m_presenter;
    ScopedRecordingNotifier m_notifier;
    std::vector<std::string> m_opened;
    std::unique_ptr<AppDelegate> m_app;
    double m_now = kStartTime;
    bool m_keep = false;
};

} // namespace tessatest
