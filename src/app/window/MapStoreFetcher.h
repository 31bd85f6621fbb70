#pragma once
// The chart view's map store: the look-up runs on a thread of its own (a web
// request must never hold up the window), its answer is collected on a
// heartbeat tick, and the offered map is downloaded with its progress dialog.
#include "foundation/events/Heartbeat.h"
#include "mapview/view/ChartViewPorts.h"
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class QWidget;

class CMapStoreFetcher : public IMapStore, public CHeartbeat::Counter
{
public:
    explicit CMapStoreFetcher(QWidget* parent);
    ~CMapStoreFetcher() override;
    // One look-up at a time: a second while one runs fails at once.
    void FetchMapAt(double latitude, double longitude, Completion done) override;
    void OnTick() override;
    bool IsLookingUp() const { return m_thread.joinable(); }

private:
    void Download(const std::string& path);

    // What the look-up thread touches.
    struct LookUp
    {
        std::atomic<bool> finished{false};
        std::atomic<bool> cancel{false}; // the application is ending
        std::mutex mutex;
        std::string offered; // guarded by mutex
    };

    QWidget* m_parent;
    std::thread m_thread;
    LookUp m_lookUp;
    Completion m_done;
};
