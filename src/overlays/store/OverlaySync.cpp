#include "overlays/store/OverlaySync.h"

#include "foundation/objectfile/Serializable.h"
#include "foundation/text/CleanText.h"
#include "mapview/overlay/OverlayTool.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/OverlayTrack.h"
#include "overlays/model/TrackManager.h"

#include <memory>
#include <unordered_map>
#include <vector>

namespace {

template <class T> bool WriteList(CSerialChunk& chunk, const std::vector<T*>& objects)
{
    uint32_t count = uint32_t(objects.size());
    bool ok = chunk.Exchange(count);
    for (T* object : objects) {
        if (!ok)
            break;
        uint64_t id = object->GetSyncId();
        ok = chunk.Exchange(id) && object->SyncSerialize(chunk.Stream()) && chunk.Stream().IsGood();
    }
    return ok;
}

// The peer's texts are shown and stored here: no control characters or broken
// UTF-8 from them.
void CleanTexts(CSyncable& object)
{
    object.SetName(CleanImportedText(object.GetName()));
    object.SetDescription(CleanImportedText(object.GetDescription()));
    object.SetCategory(CleanImportedText(object.GetCategory()));
}

void CleanTexts(COverlayMark& mark)
{
    CleanTexts(static_cast<CSyncable&>(mark));
    mark.SetLink(CleanImportedText(mark.GetLink()));
}

void CleanTexts(COverlayRoute& route)
{
    CleanTexts(static_cast<CSyncable&>(route));
    for (const auto& point : route.Points())
        CleanTexts(*point);
}

// One reply entry read whole into an object of its own, with the bytes of
// its record (kept to read the same record again into the local object).
template <class T> struct CEntry
{
    uint64_t id = 0;
    std::unique_ptr<T> scratch;
    size_t recordStart = 0;
    size_t recordEnd = 0;
};

template <class T>
bool ReadList(CSerialChunk& chunk, const char* what, std::vector<CEntry<T>>& entries, std::string& error)
{
    CSerialStream& stream = chunk.Stream();
    uint32_t count = 0;
    if (chunk.AtEnd() || !chunk.Exchange(count)) {
        error = std::string("the list of ") + what + " is missing";
        return false;
    }
    if (count > COverlaySync::kMaxListCount) {
        error = std::string("a list of ") + std::to_string(count) + " " + what;
        return false;
    }
    // Entries are counted, never reserved for: the count is the sender's word.
    for (uint32_t i = 0; i < count; ++i) {
        CEntry<T> entry;
        if (chunk.AtEnd() || !chunk.Exchange(entry.id)) {
            error = std::string("the list of ") + what + " ends before its entries";
            return false;
        }
        if (entry.id == 0) {
            error = std::string("an entry of the ") + what + " without an id";
            return false;
        }
        entry.scratch = std::make_unique<T>();
        entry.recordStart = stream.Position();
        if (!entry.scratch->Serialize(stream) || !stream.IsGood()) {
            error = std::string("an unreadable record among the ") + what +
                    (stream.Error().empty() ? "" : ": " + stream.Error());
            return false;
        }
        entry.recordEnd = stream.Position();
        CleanTexts(*entry.scratch);
        // A record naming another object would re-identify the local one.
        if (!entry.scratch->HasSyncId() || entry.scratch->GetSyncId() != entry.id) {
            error = std::string("an entry of the ") + what + " whose record carries another id";
            return false;
        }
        entries.push_back(std::move(entry));
    }
    return true;
}

// Reads the entry's record again, into the local object. The record read
// whole into the scratch object a moment ago, so this read reads whole too.
template <class T> void ReadInto(T& local, const std::string& magicAndRecord)
{
    CSerialStream stream =
        CSerialStream::OpenInput(magicAndRecord.data(), magicAndRecord.size(), "", nullptr);
    local.Serialize(stream);
    CleanTexts(local);
}

class CReplyApplier
{
public:
    CReplyApplier(const unsigned char* bytes, double start, CMarkManager& marks, CTrackManager& tracks)
        : m_bytes(bytes), m_start(start), m_marks(marks), m_tracks(tracks)
    {
    }

    template <class T> std::string Record(const CEntry<T>& entry) const
    {
        std::string out;
        const uint32_t magic = CSerialStream::kMagic;
        out.append(reinterpret_cast<const char*>(&magic), sizeof magic);
        out.append(reinterpret_cast<const char*>(m_bytes + entry.recordStart),
                   entry.recordEnd - entry.recordStart);
        return out;
    }

    // The local object takes no part: do-not-sync, or edited since the start.
    bool KeepsLocal(const CSyncable& local) const
    {
        return local.IsDoNotSync() || local.GetModified() > m_start;
    }

    size_t ApplyMarks(std::vector<CEntry<COverlayMark>>& entries)
    {
        std::unordered_map<uint64_t, COverlayMark*> byId;
        for (const auto& mark : m_marks.Marks())
            if (mark->HasSyncId())
                byId.emplace(mark->GetSyncId(), mark.get());
        size_t changed = 0;
        for (auto& entry : entries) {
            auto found = byId.find(entry.id);
            if (found == byId.end()) {
                entry.scratch->SetGotoTarget(false);
                COverlayMark* added = m_marks.AddMark(std::move(entry.scratch));
                byId.emplace(entry.id, added);
                added->SetState(COverlayObject::kChanged);
                ++changed;
                continue;
            }
            COverlayMark& local = *found->second;
            if (KeepsLocal(local))
                continue;
            // The mark steered to stays until navigation lets it go.
            if (local.IsGotoTarget() && entry.scratch->IsDeleted())
                continue;
            COverlayTool::EndToolOf(&local);
            const bool gotoTarget = local.IsGotoTarget();
            ReadInto(local, Record(entry));
            local.SetGotoTarget(gotoTarget);
            local.SetState(COverlayObject::kChanged);
            ++changed;
        }
        return changed;
    }

    size_t ApplyRoutes(std::vector<CEntry<COverlayRoute>>& entries)
    {
        std::unordered_map<uint64_t, COverlayRoute*> byId;
        for (const auto& route : m_marks.Routes())
            if (route->HasSyncId())
                byId.emplace(route->GetSyncId(), route.get());
        size_t changed = 0;
        for (auto& entry : entries) {
            auto found = byId.find(entry.id);
            if (found == byId.end()) {
                entry.scratch->SetFollowed(false);
                for (const auto& point : entry.scratch->Points())
                    point->SetGotoTarget(false);
                COverlayRoute* added = m_marks.AddRoute(std::move(entry.scratch));
                byId.emplace(entry.id, added);
                added->NotifyChanged(COverlayObject::kChanged);
                ++changed;
                continue;
            }
            COverlayRoute& local = *found->second;
            if (KeepsLocal(local))
                continue;
            // New points would take the go-to mark away; a deletion would end the following.
            const COverlayMark* target = m_marks.GetGoto().target;
            const bool holdsTarget = target && target->GetRoute() == &local;
            if ((holdsTarget && !local.IsFollowed()) || (local.IsFollowed() && entry.scratch->IsDeleted()))
                continue;
            EndToolOnRoute(local);
            if (m_marks.GetRouteBeingBuilt() == &local)
                m_marks.EndRouteBuilding();
            const bool followed = local.IsFollowed();
            ReadInto(local, Record(entry));
            local.SetFollowed(followed);
            for (const auto& point : local.Points())
                point->SetGotoTarget(false);
            local.NotifyChanged(COverlayObject::kChanged);
            ++changed;
        }
        return changed;
    }

    size_t ApplyTracks(std::vector<CEntry<COverlayTrack>>& entries)
    {
        std::unordered_map<uint64_t, COverlayTrack*> byId;
        for (const auto& track : m_tracks.Tracks())
            if (track->HasSyncId())
                byId.emplace(track->GetSyncId(), track.get());
        const COverlayTrack* recorded = m_tracks.RecordedTrack();
        size_t changed = 0;
        for (auto& entry : entries) {
            auto found = byId.find(entry.id);
            if (found == byId.end()) {
                // Goes before the recorded track, which stays the last.
                COverlayTrack* added = m_tracks.AddTrack(std::move(entry.scratch));
                byId.emplace(entry.id, added);
                added->NotifySections(COverlayObject::kChanged);
                ++changed;
                continue;
            }
            COverlayTrack& local = *found->second;
            // The track being recorded is this installation's: it is sent whole every time.
            if (KeepsLocal(local) || &local == recorded)
                continue;
            EndToolOnTrack(local);
            ReadInto(local, Record(entry));
            local.ForgetStatistics();
            local.NotifySections(COverlayObject::kChanged);
            ++changed;
        }
        return changed;
    }

private:
    const unsigned char* m_bytes;
    double m_start;
    CMarkManager& m_marks;
    CTrackManager& m_tracks;
};

} // namespace

bool COverlaySync::BuildRequest(const CSyncHeader& header, CMarkManager& marks, CTrackManager& tracks,
                                CSerialStream& out, CSyncCounts* counts)
{
    std::vector<COverlayMark*> changedMarks;
    for (const auto& mark : marks.Marks())
        if (mark->ModifiedSince(header.lastSync))
            changedMarks.push_back(mark.get());
    std::vector<COverlayRoute*> changedRoutes;
    for (const auto& route : marks.Routes())
        if (route->ModifiedSince(header.lastSync))
            changedRoutes.push_back(route.get());
    std::vector<COverlayTrack*> changedTracks;
    for (const auto& track : tracks.Tracks())
        if (track->ModifiedSince(header.lastSync) && (track->IsDeleted() || !track->IsTrivial()))
            changedTracks.push_back(track.get());

    bool ok;
    {
        CSerialChunk chunk(out);
        uint32_t type = kRequestType, version = kVersion, mode = header.mode;
        std::string user = header.user, text = header.accountText;
        double last = header.lastSync, now = header.thisSync;
        ok = chunk.Exchange(type) && chunk.Exchange(version) && chunk.ExchangeString(user) &&
             chunk.ExchangeString(text) && chunk.Exchange(last) && chunk.Exchange(now) &&
             chunk.Exchange(mode);
        ok = chunk.Close() && ok;
    }
    if (ok) {
        CSerialChunk chunk(out);
        ok = WriteList(chunk, changedMarks) && WriteList(chunk, changedRoutes) &&
             WriteList(chunk, changedTracks);
        ok = chunk.Close() && ok;
    }
    if (counts) {
        counts->marks = changedMarks.size();
        counts->routes = changedRoutes.size();
        counts->tracks = changedTracks.size();
    }
    return ok && out.IsGood();
}

ESyncReply COverlaySync::ApplyReply(const void* data, size_t size, double start, CMarkManager& marks,
                                    CTrackManager& tracks, std::string* error, CSyncCounts* applied)
{
    std::string why;
    auto fail = [&](ESyncReply result, const std::string& text) {
        if (error)
            *error = text;
        return result;
    };
    CSerialStream stream = CSerialStream::OpenInput(data, size, "", nullptr);
    if (!stream.IsGood())
        return fail(ESyncReply::kNotAReply, "not a sync reply");
    {
        CSerialChunk chunk(stream);
        uint32_t type = 0, first = 0, second = 0;
        if (!stream.IsGood() || chunk.AtEnd() || !chunk.Exchange(type) || type != kReplyType)
            return fail(ESyncReply::kNotAReply, "not a sync reply");
        // The two numbers belong to the account exchange; nothing here uses them.
        if (!chunk.Exchange(first) || !chunk.Exchange(second) || !chunk.Close())
            return fail(ESyncReply::kDataError, "the reply's first chunk is cut");
    }
    std::vector<CEntry<COverlayMark>> markEntries;
    std::vector<CEntry<COverlayRoute>> routeEntries;
    std::vector<CEntry<COverlayTrack>> trackEntries;
    {
        CSerialChunk chunk(stream);
        if (!stream.IsGood())
            return fail(ESyncReply::kDataError, "the reply has no list chunk");
        bool ok = ReadList(chunk, "marks", markEntries, why) &&
                  ReadList(chunk, "routes", routeEntries, why) &&
                  ReadList(chunk, "tracks", trackEntries, why);
        if (!chunk.Close() && ok) {
            ok = false;
            why = "the reply's list chunk is cut";
        }
        if (!ok)
            return fail(ESyncReply::kDataError, why);
    }

    CReplyApplier applier(static_cast<const unsigned char*>(data), start, marks, tracks);
    CSyncCounts counts;
    counts.marks = applier.ApplyMarks(markEntries);
    counts.routes = applier.ApplyRoutes(routeEntries);
    counts.tracks = applier.ApplyTracks(trackEntries);
    // The tombstones sent this time have reached the server.
    marks.PurgeTombstones(start);
    tracks.PurgeTombstones(start);
    if (applied)
        *applied = counts;
    return ESyncReply::kApplied;
}
