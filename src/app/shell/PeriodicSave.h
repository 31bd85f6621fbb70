#pragma once
// Marks, routes and tracks are saved while the application runs, so that a
// kill or a power cut loses at most one interval. A save copies the stores
// into memory on the main thread; a worker writes the copies through the
// atomic writer, so the window never waits for the disk.
#include "foundation/events/Listener.h"
#include "foundation/objectfile/SerialOutput.h"

#include <functional>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <vector>

class COverlayObject;
class COverlayTrack;
class CTrackManager;
class QTimer;

// The stores of a data folder as bytes, ready to be written. The memory of
// the bytes is kept from one save to the next: mapping fresh pages for a
// large store costs the main thread far more than the copy itself.
struct CStoreSnapshot
{
    struct File
    {
        std::string path;
        std::string what; // the data it holds, as the user knows it
        CSerialOutput bytes;
        bool copied = false; // holds a copy made by the last SnapshotStores
    };
    std::vector<File> files; // the marks and routes, then the tracks
    // Stores that could not be copied: (what, why).
    std::vector<std::pair<std::string, std::string>> failures;
};

// Serialises the marks-and-routes and the track stores of `folder` (those
// asked for) into `snapshot`, reusing its memory; the same bytes as a save of
// the stores at exit.
void SnapshotStores(CStoreSnapshot& snapshot, const std::string& folder, bool marks = true,
                    bool tracks = true);
// Maps memory for the copies in advance: what the store files of the folder
// hold now and room to grow. Runs on the worker, as does the same after each write.
void ReserveSnapshot(CStoreSnapshot& snapshot, const std::string& folder);
// Writes every copied file of a snapshot through the atomic writer; the failures as (what, why).
std::vector<std::pair<std::string, std::string>> WriteSnapshot(const CStoreSnapshot& snapshot);

// What could not be saved: on stderr once per cause, and in the status line
// as a condition that lasts until that data is saved.
class CSaveFailures
{
public:
    static CSaveFailures& Get();
    // A failed save of `what`: the line shows it again, also after other messages.
    void Failed(const std::string& what, const std::string& why);
    void Saved(const std::string& what);
    bool Any() const { return !m_told.empty(); }
    bool Failing(const std::string& what) const { return m_told.count(what) != 0; }
    // "the marks and routes, the tracks" (empty when none failed).
    std::string List() const;
    void ClearForTesting();

private:
    std::map<std::string, std::string> m_told;
};

class CPeriodicSave : Listener<COverlayObject>, Listener<COverlayTrack>, Listener<CTrackManager>
{
public:
    static constexpr int kDefaultIntervalMs = 30000;
    using Failures = std::vector<std::pair<std::string, std::string>>;
    // What the worker does with a snapshot (tests pass one that fails).
    using Writer = std::function<Failures(const CStoreSnapshot&)>;
    // Saves the stores of `folder` every `intervalMs` after a change.
    CPeriodicSave(std::string folder, int intervalMs, Writer writer = WriteSnapshot);
    ~CPeriodicSave(); // waits for a write in progress
    CPeriodicSave(const CPeriodicSave&) = delete;
    CPeriodicSave& operator=(const CPeriodicSave&) = delete;

    // One turn of the timer: the last write's outcome is told, then a
    // changed store is copied and handed to the worker. A store whose copy
    // or write failed is tried again at the next turn. Nothing that goes
    // wrong on the worker (no memory, no thread) ends the process: it is
    // told as a failed save.
    void Tick();
    // Finishes a write in progress and tells its outcome (before a save of
    // the same files on the main thread).
    void Wait();
    bool IsWriting() const { return m_write.valid(); }
    // TESSA_SAVE_INTERVAL_MS when set to a positive number, else the default.
    static int IntervalFromEnvironment();

private:
    void Notify(const COverlayObject& object) override;
    void Notify(const COverlayTrack&) override { m_tracksDirty = true; }
    void Notify(const CTrackManager&) override { m_tracksDirty = true; }
    void Collect();
    bool& Dirty(const std::string& what);

    std::string m_folder;
    Writer m_writer;
    // Only a changed store is copied: while recording, the marks are left alone.
    bool m_marksDirty = false;
    bool m_tracksDirty = false;
    std::unique_ptr<QTimer> m_timer;
    // Touched by the worker alone while a write is in progress.
    std::shared_ptr<CStoreSnapshot> m_snapshot;
    std::future<Failures> m_write;
    std::vector<std::string> m_writing; // what the write in progress holds
};
