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
#include <exception>
#include <filesystem>
#include <new>
#include <system_error>

namespace {

const char* const kMarksWhat = "marks and routes";
const char* const kTracksWhat = "tracks";

std::string StatusKey(const std::string& what)
{
    return "save " + what;
}

// The reason an exception gives, in the words of a failed save.
std::string WhyOf(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        return "out of memory";
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown error";
    }
}

// Mapped room for a store of `size` bytes and its growth (the recorded
// track) until the next turn.
void MapRoomFor(CSerialOutput& bytes, size_t size)
{
    bytes.Reserve(size + size / 4);
}

CStoreSnapshot::File& FileOf(CStoreSnapshot& snapshot, const std::string& folder, const char* file,
                             const char* what)
{
    for (CStoreSnapshot::File& kept : snapshot.files)
        if (kept.what == what)
            return kept;
    snapshot.files.push_back({folder + "/" + file, what, {}, false});
    return snapshot.files.back();
}

} // namespace

void SnapshotStores(CStoreSnapshot& snapshot, const std::string& folder, bool withMarks, bool withTracks)
{
    // Both files keep their place (and memory) whether asked for or not. Both
    // are made before either is held: making the second moves the first.
    FileOf(snapshot, folder, CMarkManager::kStoreFile, kMarksWhat);
    FileOf(snapshot, folder, CTrackManager::kStoreFile, kTracksWhat);
    CStoreSnapshot::File& marksFile = FileOf(snapshot, folder, CMarkManager::kStoreFile, kMarksWhat);
    CStoreSnapshot::File& tracksFile = FileOf(snapshot, folder, CTrackManager::kStoreFile, kTracksWhat);
    snapshot.failures.clear();
    auto copy = [&](CSerializable& store, CUnreadableFileGuard& guard, CStoreSnapshot::File& file,
                    uint32_t id) {
        std::string why;
        file.copied = false;
        try {
            if (!guard.BeforeSave())
                why = guard.Error();
            else if (store.SaveToOutput(file.bytes, folder + "/", nullptr, id, &why))
                file.copied = true;
        } catch (...) {
            why = WhyOf(std::current_exception());
        }
        if (!file.copied)
            snapshot.failures.emplace_back(file.what, why.empty() ? "unknown error" : why);
    };
    marksFile.copied = tracksFile.copied = false;
    if (withMarks) {
        CMarkManager& marks = CMarkManager::Get();
        copy(marks, marks.StoreGuard(), marksFile, CMarkManager::kFileId);
    }
    if (withTracks) {
        // As the save at exit does.
        CTrackManager& tracks = CTrackManager::Get();
        tracks.PurgeTombstones(0);
        copy(tracks, tracks.StoreGuard(), tracksFile, CTrackManager::kFileId);
    }
}

void ReserveSnapshot(CStoreSnapshot& snapshot, const std::string& folder)
{
    for (const auto& [file, what] : {std::pair{CMarkManager::kStoreFile, kMarksWhat},
                                     std::pair{CTrackManager::kStoreFile, kTracksWhat}}) {
        std::error_code error;
        const auto size = std::filesystem::file_size(folder + "/" + file, error);
        if (!error)
            MapRoomFor(FileOf(snapshot, folder, file, what).bytes, size_t(size));
    }
}

std::vector<std::pair<std::string, std::string>> WriteSnapshot(const CStoreSnapshot& snapshot)
{
    std::vector<std::pair<std::string, std::string>> failures;
    for (const CStoreSnapshot::File& file : snapshot.files) {
        if (!file.copied)
            continue;
        CAtomicFileWriter writer;
        const bool written =
            writer.Open(file.path) &&
            file.bytes.ForEachPiece([&](const void* piece, size_t n) { return writer.Write(piece, n); }) &&
            writer.Commit();
        if (!written)
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
    auto found = m_told.find(what);
    if (found == m_told.end() || found->second != why)
        std::fprintf(stderr, "The %s could not be saved: %s\n", what.c_str(), why.c_str());
    m_told[what] = why;
    // Raised at every failure, so other messages never keep it out of sight for long.
    RaiseStatusCondition(StatusKey(what), "The " + what + " could not be saved: " + why);
}

void CSaveFailures::Saved(const std::string& what)
{
    if (m_told.erase(what))
        ReleaseStatusCondition(StatusKey(what));
}

void CSaveFailures::ClearForTesting()
{
    for (const auto& [what, why] : m_told)
        ReleaseStatusCondition(StatusKey(what));
    m_told.clear();
}

std::string CSaveFailures::List() const
{
    std::string list;
    for (const auto& [what, why] : m_told)
        list += (list.empty() ? "the " : ", the ") + what;
    return list;
}

CPeriodicSave::CPeriodicSave(std::string folder, int intervalMs, Writer writer)
    : m_folder(std::move(folder)), m_writer(std::move(writer)), m_snapshot(std::make_shared<CStoreSnapshot>())
{
    // The worker maps the copies' memory before the first save needs it.
    // Only a head start: without the memory or a thread the copy maps its own.
    try {
        m_write = std::async(std::launch::async, [snapshot = m_snapshot, folder = m_folder] {
            try {
                ReserveSnapshot(*snapshot, folder);
            } catch (...) {
                std::fprintf(stderr, "No memory mapped ahead for the saves: %s\n",
                             WhyOf(std::current_exception()).c_str());
            }
            return Failures();
        });
    } catch (const std::system_error& e) {
        std::fprintf(stderr, "No memory mapped ahead for the saves: %s\n", e.what());
    }
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

bool& CPeriodicSave::Dirty(const std::string& what)
{
    return what == kTracksWhat ? m_tracksDirty : m_marksDirty;
}

void CPeriodicSave::Collect()
{
    if (!m_write.valid())
        return;
    const Failures failures = m_write.get(); // the worker lets no exception out
    std::vector<std::string> saved = m_writing;
    m_writing.clear();
    for (const auto& [what, why] : failures) {
        CSaveFailures::Get().Failed(what, why);
        saved.erase(std::remove(saved.begin(), saved.end(), what), saved.end());
        Dirty(what) = true;
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
    // A store whose last save failed, here or at a full save, is tried again.
    for (const char* what : {kMarksWhat, kTracksWhat})
        if (CSaveFailures::Get().Failing(what))
            Dirty(what) = true;
    if (!m_marksDirty && !m_tracksDirty)
        return;
    // Changes from here on set the flags again for the next turn, as does a
    // copy that failed.
    const bool marks = m_marksDirty, tracks = m_tracksDirty;
    m_marksDirty = m_tracksDirty = false;
    SnapshotStores(*m_snapshot, m_folder, marks, tracks);
    for (const auto& [what, why] : m_snapshot->failures) {
        CSaveFailures::Get().Failed(what, why);
        Dirty(what) = true;
    }
    for (const CStoreSnapshot::File& file : m_snapshot->files)
        if (file.copied)
            m_writing.push_back(file.what);
    if (m_writing.empty())
        return;
    try {
        m_write =
            std::async(std::launch::async, [snapshot = m_snapshot, writer = m_writer, writing = m_writing] {
                Failures failures;
                try {
                    failures = writer(*snapshot);
                } catch (...) {
                    const std::string why = WhyOf(std::current_exception());
                    failures.clear();
                    for (const std::string& what : writing)
                        failures.emplace_back(what, why);
                }
                try {
                    for (CStoreSnapshot::File& file : snapshot->files)
                        MapRoomFor(file.bytes, file.bytes.Size());
                } catch (...) {
                    // Only room for the next copy, which maps what it needs itself.
                }
                return failures;
            });
    } catch (const std::system_error& e) {
        for (const std::string& what : m_writing) {
            CSaveFailures::Get().Failed(what, std::string("no thread to write with: ") + e.what());
            Dirty(what) = true;
        }
        m_writing.clear();
    }
}

void CPeriodicSave::Wait()
{
    if (m_write.valid())
        m_write.wait();
    Collect();
}
