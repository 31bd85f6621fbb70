#pragma once
// The one owner of tracks: records the own ship's path from every fix while
// recording is on (the last track is the recorded one), starts new tracks
// after long gaps and at a race start, and keeps them in "tracks.bin".
// Main thread only.
#include "foundation/events/Listener.h"
#include "foundation/objectfile/Serializable.h"
#include "foundation/objectfile/UnreadableFile.h"
#include "foundation/settings/PersistantData.h"
#include "instruments/data/DataGPSPosition.h"
#include "instruments/data/DataStartTimer.h"
#include "overlays/model/OverlayTrack.h"

#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

class COverlayObject;

class CTrackManager : public CSerializable,
                      public Listener<CDataGPSPosition>,
                      public Listener<CDataStartTimer>
{
public:
    static constexpr uint32_t kTypeId = 38;
    static constexpr uint32_t kFileId = 0x43FB7211;
    static constexpr uint32_t kMaxTracks = 10000000;
    static constexpr double kNewTrackGap = 21600; // seconds
    static constexpr double kRecordInterval = 20; // seconds
    static constexpr double kRecordDistance = 20; // metres
    static constexpr double kSogUsableFor = 10;   // seconds
    static constexpr double kLoadThinning = 4.0;  // squared metres
    static constexpr double kRouteThinning = 400; // squared metres

    // The settings object "CTrackManager".
    class Persistant : public PersistantData
    {
    public:
        Persistant() : PersistantData("CTrackManager") {}
        void Exchange() override;
        bool doRecordTrack = false;
    };
    static Persistant& Settings();

    static CTrackManager& Get();
    CTrackManager();
    ~CTrackManager() override;
    CTrackManager(const CTrackManager&) = delete;
    CTrackManager& operator=(const CTrackManager&) = delete;

    uint32_t GetTypeId() const override { return kTypeId; }
    // The manager's record: the track count and the track records. A reader
    // appends the tracks it read whole, also when a later one fails.
    bool Serialize(CSerialStream& stream) override;

    // "tracks.bin": the load replaces the tracks and post-processes them
    // (trivial tracks without a sync id dropped, dense tracks thinned). A
    // missing file is no failure.
    bool LoadTracks(const std::string& path, std::string* error = nullptr);
    // Purges tombstones, then saves atomically; false keeps the old file.
    bool SaveTracks(const std::string& path, std::string* error = nullptr);
    // What follows a read of the records.
    void AfterLoad();

    static constexpr const char* kStoreFile = "tracks.bin";
    // The application's store in `folder`. A store that fails to load is
    // kept aside before the first save over it, and the status line says so;
    // with `error` the caller is told instead and sets the file aside itself
    // through StoreGuard().
    bool LoadStore(const std::string& folder, std::string* error = nullptr);
    CUnreadableFileGuard& StoreGuard() { return m_storeGuard; }
    bool SaveStore(const std::string& folder, std::string* error = nullptr);

    const std::vector<std::unique_ptr<COverlayTrack>>& Tracks() const { return m_tracks; }
    bool IsRecording() const { return Settings().doRecordTrack; }
    COverlayTrack* RecordedTrack() const;
    // Takes over a track. While recording it goes just before the recorded
    // track, which stays the last.
    COverlayTrack* AddTrack(std::unique_ptr<COverlayTrack> track);
    // Appends after every other track (it becomes the recorded one).
    COverlayTrack* AppendTrack(std::unique_ptr<COverlayTrack> track);

    // Takes a track out of the list without a tombstone (an import that could
    // not be saved takes back what it added); null when it is not held here.
    std::unique_ptr<COverlayTrack> TakeTrack(const COverlayTrack* track);

    void ToggleRecording();
    std::string NextTrackName() const;
    void DeleteTrack(COverlayTrack* track);
    void DeleteAllTracks();
    void PurgeTombstones(double time);
    void StartRecordingInto(COverlayTrack* track);
    // The last track with its statistics computed; null without tracks.
    COverlayTrack* CurrentTrack();
    void WithCurrentTrack(const std::function<void(COverlayTrack&)>& function);
    void ForEachSection(uint32_t layer, const std::function<void(COverlayObject&)>& visit);
    void DeleteTracksIf(const std::function<bool(const COverlayTrack&)>& predicate);
    bool HasSameTrack(const COverlayTrack& track) const;
    // The track (deleted ones included) carrying the sync id; null for 0.
    COverlayTrack* FindTrackBySyncId(uint64_t id) const;
    // Many points close in time (the span between the first and the last
    // point that carry a time): such tracks are thinned by kLoadThinning
    // when loaded or imported.
    static bool IsDenseTrack(const COverlayTrack& track);
    void SetAllVisible(bool visible);
    void SetAllDoNotSync(bool doNotSync);
    void BeginSimulationTrack();
    void EndSimulationTrack();

    void Notify(const CDataGPSPosition& fix) override { OnGPSPosition(fix); }
    void Notify(const CDataStartTimer& timer) override { OnStartTimer(timer); }
    void OnGPSPosition(const CDataGPSPosition& fix);
    void OnStartTimer(const CDataStartTimer& timer);

    // Tests: destroys every track and forgets the handled start time.
    void ClearForTesting();
    // Termination: destroys every track before static destruction.
    void ReleaseAll() { DestroyAllTracks(); }

private:
    void SetRecording(bool on);
    COverlayTrack* StartNewTrack();
    void FireManagerChanged();
    void DestroyAllTracks();

    std::vector<std::unique_ptr<COverlayTrack>> m_tracks;
    CUnreadableFileGuard m_storeGuard;
    // The start time acted on last (NaN: none yet).
    double m_handledStart = std::numeric_limits<double>::quiet_NaN();
};
