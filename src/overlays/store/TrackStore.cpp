// The track manager's record and its store "tracks.bin".
#include "foundation/notify/StatusLine.h"
#include "foundation/objectfile/Serializable.h"
#include "overlays/model/TrackManager.h"

#include <cstdio>
#include <sys/stat.h>

bool CTrackManager::Serialize(CSerialStream& stream)
{
    CSerialChunk chunk(stream);
    uint32_t count = 0;
    for (const auto& track : m_tracks)
        count += track->IsTemporary() ? 0 : 1;
    bool ok = chunk.Exchange(count);
    if (!ok)
        return false;
    if (stream.IsWriting()) {
        for (const auto& track : m_tracks)
            if (!track->IsTemporary() && !(ok = track->Serialize(stream)))
                break;
        return chunk.Close() && ok;
    }
    if (count > kMaxTracks)
        ok = stream.Fail("a store of " + std::to_string(count) + " tracks");
    for (uint32_t i = 0; ok && i < count; ++i) {
        if (chunk.AtEnd()) {
            ok = stream.Fail("the store ends before its tracks");
            break;
        }
        auto track = std::make_unique<COverlayTrack>();
        ok = track->Serialize(stream) && stream.IsGood();
        // What was read whole is kept; the file itself is set aside by the caller.
        if (ok)
            m_tracks.push_back(std::move(track));
    }
    return chunk.Close() && ok;
}

void CTrackManager::AfterLoad()
{
    std::vector<std::unique_ptr<COverlayTrack>> kept;
    kept.reserve(m_tracks.size());
    // Tracks from a file or from synchronisation carry a sync id and stay
    // however short; only recording leaves trivial tracks without one.
    for (auto& track : m_tracks)
        if (track->HasSyncId() || !track->IsTrivial())
            kept.push_back(std::move(track));
    m_tracks.swap(kept);
    for (const auto& track : m_tracks) {
        if (IsDenseTrack(*track)) {
            // Only a track that lost points counts as changed.
            if (track->Simplify(kLoadThinning) > 0)
                track->Touch();
        }
        track->NotifySections(COverlayObject::kChanged);
    }
}

bool CTrackManager::LoadTracks(const std::string& path, std::string* error)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return true;
    DestroyAllTracks();
    const bool ok = LoadFromFile(path, nullptr, kFileId, error);
    AfterLoad();
    return ok;
}

bool CTrackManager::SaveTracks(const std::string& path, std::string* error)
{
    PurgeTombstones(0);
    return SaveToFile(path, nullptr, kFileId, error);
}

bool CTrackManager::LoadStore(const std::string& folder, std::string* callerError)
{
    const std::string path = folder + "/" + kStoreFile;
    std::string error;
    if (LoadTracks(path, &error))
        return true;
    if (callerError) {
        *callerError = error;
        return false;
    }
    std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
    m_storeGuard.NoteLoadFailed(path);
    SetStatusMessage("The saved tracks could not all be read; the file is kept aside: " + error);
    return false;
}

bool CTrackManager::SaveStore(const std::string& folder, std::string* error)
{
    const std::string path = folder + "/" + kStoreFile;
    std::string why;
    bool ok = m_storeGuard.BeforeSave();
    if (!ok)
        why = m_storeGuard.Error();
    else
        ok = SaveTracks(path, &why);
    // A caller that takes the reason tells the user itself.
    if (!ok && !error) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), why.c_str());
        SetStatusMessage("The tracks could not be saved: " + why);
    }
    if (error)
        *error = why;
    return ok;
}
