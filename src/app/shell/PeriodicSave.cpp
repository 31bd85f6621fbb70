#include "app/shell/PeriodicSave.h"

#include "foundation/AtomicFile.h"
#include "foundation/notify/StatusLine.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/TrackManager.h"
#include "overlays/model/TrackSection.h"

#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {
const char* const kMarksWhat = "marks and routes";
const char* const kTracksWhat = "tracks";
} // namespace

CStoreSnapshot SnapshotStores(const std::string& folder, bool withMarks, bool withTracks)
{
    CStoreSnapshot snapshot;
    auto add = [&](CSerializable& store, CUnreadableFileGuard& guard, const char* file, uint32_t id,
                   const char* what) {
        std::string why;
        CStoreSnapshot::File copy{folder + "/" + file, what, {}};
        if (!guard.BeforeSave())
            why = guard.Error();
        else if (store.SaveToBuffer(copy.bytes, folder, nullptr, id, &why))
            snapshot.files.push_back(std::move(copy));
        if (!why.empty())
            snapshot.failures.emplace_back(what, why);
    };
    if (withMarks) {
        CMarkManager& marks = CMarkManager::Get();
        add(marks, marks.StoreGuard(), CMarkManager::kStoreFile, CMarkManager::kFileId, kMarksWhat);
    }
    if (withTracks) {
        CTrackManager& tracks = CTrackManager::Get();
        tracks.PurgeTombstones(0);
        add(tracks, tracks.StoreGuard(), CTrackManager::kStoreFile, CTrackManager::kFileId, kTracksWhat);
    }
    return snapshot;
}

std::vector<std::pair<std::string, std::string>> WriteSnapshot(const CStoreSnapshot& snapshot)
{
    std::vector<std::pair<std::string, std::string>> failures;
    for (const CStoreSnapshot::File& file : snapshot.files) {
        CAtomicFileWriter writer;
        if (!(writer.Open(file.path) && writer.Write(file.bytes) && writer.Commit()))
            failures.emplace_back(file.what, writer.Error());
    }
    return failures;
}

CSaveFailures& CSaveFailures::Get()
{
    static CSaveFailures failures;
    return failures;
}

void CSaveFailures::Failed(const std::string& what, const std::string& why)
{
    std::fprintf(stderr, "The %s could not be saved: %s\n", what.c_str(), why.c_str());
    auto found = m_told.find(what);
    if (found != m_told.end() && found->second == why)
        return;
    m_told[what] = why;
    SetStatusMessage("The " + what + " could not be saved: " + why);
}

std::string CSaveFailures::List() const
{
    std::string list;
    for (const auto& [what, why] : m_told)
        list += (list.empty() ? "the " : ", the ") + what;
    return list;
}

CPeriodicSave::CPeriodicSave(std::string folder, int intervalMs) : m_folder(std::move(folder))
{
    m_timer = std::make_unique<QTimer>();
    m_timer->setInterval(intervalMs);
    QObject::connect(m_timer.get(), &QTimer::timeout, [this] { Tick(); });
    m_timer->start();
}

CPeriodicSave::~CPeriodicSave()
{
    m_timer.reset();
    Wait();
}

int CPeriodicSave::IntervalFromEnvironment()
{
    const char* text = std::getenv("TESSA_SAVE_INTERVAL_MS");
    const long value = text ? std::strtol(text, nullptr, 10) : 0;
    return value > 0 && value <= kDefaultIntervalMs ? int(value) : kDefaultIntervalMs;
}

void CPeriodicSave::Notify(const COverlayObject& object)
{
    if (dynamic_cast<const CTrackSection*>(&object))
        m_tracksDirty = true;
    else
        m_marksDirty = true;
}

void CPeriodicSave::Collect()
{
    if (!m_write.valid())
        return;
    const auto failures = m_write.get();
    std::vector<std::string> saved = m_writing;
    m_writing.clear();
    for (const auto& [what, why] : failures) {
        CSaveFailures::Get().Failed(what, why);
        saved.erase(std::remove(saved.begin(), saved.end(), what), saved.end());
    }
    for (const std::string& what : saved)
        CSaveFailures::Get().Saved(what);
}

void CPeriodicSave::Tick()
{
    if (m_write.valid()) {
        // The worker is still busy: the next turn looks again.
        if (m_write.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return;
        Collect();
    }
    if (!m_marksDirty && !m_tracksDirty)
        return;
    auto snapshot = std::make_shared<CStoreSnapshot>(SnapshotStores(m_folder, m_marksDirty, m_tracksDirty));
    m_marksDirty = m_tracksDirty = false;
    for (const auto& [what, why] : snapshot->failures)
        CSaveFailures::Get().Failed(what, why);
    for (const CStoreSnapshot::File& file : snapshot->files)
        m_writing.push_back(file.what);
    m_write = std::async(std::launch::async, [snapshot] { return WriteSnapshot(*snapshot); });
}

void CPeriodicSave::Wait()
{
    if (m_write.valid())
        m_write.wait();
    Collect();
}
