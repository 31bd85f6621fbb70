#include "overlays/model/TrackManager.h"

#include "foundation/events/Clock.h"
#include "foundation/notify/StatusLine.h"
#include "foundation/util/FormatString.h"
#include "foundation/util/Xml.h"
#include "geodesy/Units.h"
#include "mapview/overlay/OverlayTool.h"
#include "mapview/ownship/OverlayGPSPosition.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

namespace {

constexpr double kStartWindowBefore = -0.1; // seconds
constexpr double kStartWindowAhead = 3600;
constexpr size_t kThinningMinPoints = 101;
constexpr double kThinningMaxInterval = 5.0; // seconds per point
const char* const kSimulationName = "Simulation";

} // namespace

void CTrackManager::Persistant::Exchange()
{
    ExchangeBool("doRecordTrack", doRecordTrack);
}

CTrackManager::Persistant& CTrackManager::Settings()
{
    static Persistant settings;
    return settings;
}

CTrackManager& CTrackManager::Get()
{
    static CTrackManager manager;
    return manager;
}

CTrackManager::CTrackManager() = default;

CTrackManager::~CTrackManager()
{
    while (!m_tracks.empty())
        m_tracks.pop_back();
}

namespace {

bool HasTime(const CTrackPoint& point)
{
    return point.time != 0 && std::isfinite(point.time);
}

// From the first to the last point that carry a time; 0 when fewer than two
// do or the times run backwards, as for a track without times. Points from
// other programs may lack a time at either end.
double TimedSpan(const COverlayTrack& track)
{
    const CTrackPoint* first = nullptr;
    const CTrackPoint* last = nullptr;
    for (const auto& section : track.Sections()) {
        for (uint32_t i = 0; i < section->Count() && !first; ++i)
            if (HasTime(section->Point(i)))
                first = &section->Point(i);
        if (first)
            break;
    }
    const auto& sections = track.Sections();
    for (size_t s = sections.size(); s-- > 0 && !last;)
        for (uint32_t i = sections[s]->Count(); i-- > 0 && !last;)
            if (HasTime(sections[s]->Point(i)))
                last = &sections[s]->Point(i);
    if (!first || !last || !(last->time > first->time))
        return 0;
    return last->time - first->time;
}

} // namespace

bool CTrackManager::IsDenseTrack(const COverlayTrack& track)
{
    const size_t n = track.PointCount();
    return n >= kThinningMinPoints && TimedSpan(track) / double(n) < kThinningMaxInterval;
}

COverlayTrack* CTrackManager::FindTrackBySyncId(uint64_t id) const
{
    if (id == 0)
        return nullptr;
    auto found = std::find_if(m_tracks.begin(), m_tracks.end(),
                              [&](const auto& t) { return t->HasSyncId() && t->GetSyncId() == id; });
    return found != m_tracks.end() ? found->get() : nullptr;
}

COverlayTrack* CTrackManager::RecordedTrack() const
{
    if (!IsRecording() || m_tracks.empty() || m_tracks.back()->IsDeleted())
        return nullptr;
    return m_tracks.back().get();
}

COverlayTrack* CTrackManager::AddTrack(std::unique_ptr<COverlayTrack> track)
{
    if (!track)
        return nullptr;
    COverlayTrack* raw = track.get();
    if (RecordedTrack())
        m_tracks.insert(m_tracks.end() - 1, std::move(track));
    else
        m_tracks.push_back(std::move(track));
    return raw;
}

COverlayTrack* CTrackManager::AppendTrack(std::unique_ptr<COverlayTrack> track)
{
    if (!track)
        return nullptr;
    m_tracks.push_back(std::move(track));
    return m_tracks.back().get();
}

std::unique_ptr<COverlayTrack> CTrackManager::TakeTrack(const COverlayTrack* track)
{
    for (auto it = m_tracks.begin(); it != m_tracks.end(); ++it) {
        if (it->get() == track) {
            std::unique_ptr<COverlayTrack> taken = std::move(*it);
            m_tracks.erase(it);
            return taken;
        }
    }
    return nullptr;
}

void CTrackManager::FireManagerChanged()
{
    FireEvent<CTrackManager>(*this);
}

void CTrackManager::SetRecording(bool on)
{
    Settings().doRecordTrack = on;
    Settings().SetModified();
}

COverlayTrack* CTrackManager::StartNewTrack()
{
    auto track = std::make_unique<COverlayTrack>();
    track->SetName(NextTrackName());
    return AppendTrack(std::move(track));
}

void CTrackManager::ToggleRecording()
{
    const bool on = !IsRecording();
    SetRecording(on);
    PersistantData::SaveAll();
    if (on) {
        StartNewTrack();
    } else if (!m_tracks.empty() && !m_tracks.back()->IsDeleted() && m_tracks.back()->IsTrivial()) {
        DeleteTrack(m_tracks.back().get());
    }
    FireManagerChanged();
}

std::string CTrackManager::NextTrackName() const
{
    int highest = 0;
    for (const auto& track : m_tracks) {
        const std::string& name = track->GetName();
        if (name.size() >= 2 && name[0] == 'T')
            highest = std::max(highest, std::atoi(name.c_str() + 1));
    }
    std::string name;
    FormatString(name, "T%d", highest + 1);
    return name;
}

void CTrackManager::DeleteTrack(COverlayTrack* track)
{
    if (!track || track->IsDeleted())
        return;
    if (track == RecordedTrack()) {
        // The panel button and the menu title follow the setting.
        SetRecording(false);
        FireManagerChanged();
    }
    track->MarkDeleted();
    track->ClearSections();
    track->SetName(std::string());
    track->SetDescription(std::string());
    track->SetCategory(std::string());
}

void CTrackManager::DeleteAllTracks()
{
    for (const auto& track : m_tracks)
        DeleteTrack(track.get());
    PurgeTombstones(CSyncable::Now());
}

void CTrackManager::PurgeTombstones(double time)
{
    std::vector<std::unique_ptr<COverlayTrack>> kept;
    kept.reserve(m_tracks.size());
    for (auto& track : m_tracks)
        if (!track->IsDeleted() || track->ModifiedSince(time))
            kept.push_back(std::move(track));
    m_tracks.swap(kept);
}

void CTrackManager::StartRecordingInto(COverlayTrack* track)
{
    if (!track || track->IsDeleted())
        return;
    if (IsRecording())
        SetRecording(false);
    auto it = std::find_if(m_tracks.begin(), m_tracks.end(), [&](const auto& t) { return t.get() == track; });
    if (it == m_tracks.end())
        return;
    std::unique_ptr<COverlayTrack> owned = std::move(*it);
    m_tracks.erase(it);
    m_tracks.push_back(std::move(owned));
    const COverlayGPSPosition& own = COverlayGPSPosition::Global();
    if (own.m_fixStatus != CDataGPSPosition::kNoFix && own.HasPosition())
        track->AddPoint(
            CTrackPoint{own.m_latitude, own.m_longitude, own.m_fixTime, own.m_altitude, own.m_hdop}, true);
    track->ForgetStatistics();
    SetRecording(true);
    PersistantData::SaveAll();
    FireManagerChanged();
}

COverlayTrack* CTrackManager::CurrentTrack()
{
    if (m_tracks.empty())
        return nullptr;
    COverlayTrack* track = m_tracks.back().get();
    track->EnsureStatistics();
    return track;
}

void CTrackManager::WithCurrentTrack(const std::function<void(COverlayTrack&)>& function)
{
    if (COverlayTrack* track = CurrentTrack())
        function(*track);
}

void CTrackManager::ForEachSection(uint32_t layer, const std::function<void(COverlayObject&)>& visit)
{
    (void)layer;
    for (const auto& track : m_tracks) {
        if (track->IsDeleted())
            continue;
        for (const auto& section : track->Sections())
            visit(*section);
    }
}

void CTrackManager::DeleteTracksIf(const std::function<bool(const COverlayTrack&)>& predicate)
{
    for (const auto& track : m_tracks)
        if (!track->IsDeleted() && predicate(*track))
            DeleteTrack(track.get());
}

bool CTrackManager::HasSameTrack(const COverlayTrack& track) const
{
    return std::any_of(m_tracks.begin(), m_tracks.end(),
                       [&](const auto& t) { return t->IsSameTrack(track); });
}

void CTrackManager::SetAllVisible(bool visible)
{
    for (const auto& track : m_tracks)
        if (!track->IsDeleted()) {
            track->SetVisible(visible);
            track->NotifySections(COverlayObject::kUpdated);
        }
}

void CTrackManager::SetAllDoNotSync(bool doNotSync)
{
    for (const auto& track : m_tracks)
        if (!track->IsDeleted())
            track->SetDoNotSync(doNotSync);
}

void CTrackManager::BeginSimulationTrack()
{
    // Read before the delete, which stops the recording of the old track.
    const bool recording = IsRecording();
    if (!m_tracks.empty() && m_tracks.back()->GetName() == kSimulationName)
        DeleteTrack(m_tracks.back().get());
    if (!recording)
        return;
    SetRecording(true);
    auto track = std::make_unique<COverlayTrack>();
    track->SetName(kSimulationName);
    track->SetDoNotSync(true);
    AppendTrack(std::move(track));
    FireManagerChanged();
}

void CTrackManager::EndSimulationTrack()
{
    // The simulation's own track goes, the user's choice to record stays:
    // closing the connection (at every quit) must not turn recording off.
    const bool recording = IsRecording();
    if (!m_tracks.empty() && m_tracks.back()->GetName() == kSimulationName)
        DeleteTrack(m_tracks.back().get());
    if (recording && !IsRecording()) {
        SetRecording(true);
        FireManagerChanged();
    }
}

void CTrackManager::OnGPSPosition(const CDataGPSPosition& fix)
{
    if (!IsRecording() || fix.m_fixStatus == CDataGPSPosition::kNoFix || !fix.HasPosition() ||
        !std::isfinite(fix.m_fixTime))
        return;
    const CTrackPoint point{fix.m_latitude, fix.m_longitude, fix.m_fixTime,
                            std::isfinite(fix.m_altitude) ? fix.m_altitude : 0.0f,
                            std::isfinite(fix.m_hdop) ? fix.m_hdop : 0.0f};
    COverlayTrack* track = RecordedTrack();
    double dt = 0, d = 0;
    bool append = true;
    if (!track) {
        track = StartNewTrack();
    } else if (track->HasPoints()) {
        const CTrackPoint& last = track->LastPoint();
        dt = point.time - last.time;
        if (dt > kNewTrackGap || dt < 0) {
            track = StartNewTrack();
            dt = 0;
        } else {
            d = CLocalPlane(last.latitude, last.longitude).DistanceTo(point.latitude, point.longitude);
            // A fix with the last point's time adds nothing: a device that
            // repeats its sentences would otherwise add points by the thousand.
            append = dt > 0 && (fix.DeviatesFromAverage() || dt >= kRecordInterval || d >= kRecordDistance);
        }
    }
    if (append)
        track->RecordPoint(point, dt, d, fix.GetSpeed());
    FireEvent<COverlayTrack>(*track);
}

void CTrackManager::OnStartTimer(const CDataStartTimer& timer)
{
    if (!timer.m_newTrackAtStart)
        return;
    const double start = timer.m_timeOfStart;
    if (!(start > 0)) {
        // The start was cleared: a recording begun for it ends once.
        if (m_handledStart > 0 && IsRecording())
            ToggleRecording();
        m_handledStart = 0;
        return;
    }
    const double ahead = start - GetClockTime();
    if (!(ahead > kStartWindowBefore && ahead < kStartWindowAhead) || start == m_handledStart)
        return;
    m_handledStart = start;
    if (IsRecording())
        ToggleRecording();
    ToggleRecording();
    if (m_tracks.empty())
        return;
    std::string clock;
    CUnits::FormatClockTime12(time_t(start), clock);
    m_tracks.back()->SetName("Start at " + clock);
    m_tracks.back()->NotifySections(COverlayObject::kUpdated);
}

void CTrackManager::DestroyAllTracks()
{
    // Tools on the sections end first.
    for (const auto& track : m_tracks)
        track->ClearSections();
    m_tracks.clear();
}

void CTrackManager::ClearForTesting()
{
    DestroyAllTracks();
    m_handledStart = std::numeric_limits<double>::quiet_NaN();
}
