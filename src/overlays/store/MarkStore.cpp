// The mark manager's record and its store "marks_routes.bin".
#include "foundation/notify/StatusLine.h"
#include "foundation/objectfile/Serializable.h"
#include "mapview/overlay/OverlayTool.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"

#include <algorithm>
#include <sys/stat.h>

namespace {

bool FileExists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// Reads a counted list of records of T; nothing is kept unless all of it reads.
template <class T>
bool ReadList(CSerialChunk& chunk, const char* what, std::vector<std::unique_ptr<T>>& out,
              const std::function<void(T&)>& afterEach)
{
    CSerialStream& stream = chunk.Stream();
    uint32_t count = 0;
    if (!chunk.Exchange(count))
        return false;
    if (count > CMarkManager::kMaxListCount)
        return stream.Fail(std::string("a list of ") + std::to_string(count) + " " + what);
    for (uint32_t i = 0; i < count; ++i) {
        // A missing record would read as a default one: the count must be backed by bytes.
        if (chunk.AtEnd())
            return stream.Fail(std::string("the ") + what + " end before their count");
        auto object = std::make_unique<T>();
        if (!object->Serialize(stream) || !stream.IsGood())
            return stream.Fail(std::string("one of the ") + what + " could not be read");
        afterEach(*object);
        out.push_back(std::move(object));
    }
    return true;
}

} // namespace

CMarkManager::CMarkManager(bool scratch) : m_scratch(scratch)
{
    if (scratch) {
        Listener<CDataGPSPosition>::DetachFromSource();
        Listener<COverlayObject>::DetachFromSource();
    }
}

std::unique_ptr<CMarkManager> CMarkManager::MakeScratch()
{
    return std::unique_ptr<CMarkManager>(new CMarkManager(true));
}

bool CMarkManager::Serialize(CSerialStream& stream)
{
    CSerialChunk chunk(stream);
    if (stream.IsWriting()) {
        // The legacy list is always written empty.
        bool ok = chunk.WriteObjectList({});
        // A route still waiting for its first point is not kept: quitting
        // then is the same as Done.
        const auto kept = [this](const auto& r) {
            return r.get() != m_routeBeingBuilt || r->PointCount() > 0;
        };
        uint32_t count = uint32_t(std::count_if(m_routes.begin(), m_routes.end(), kept));
        ok = ok && chunk.Exchange(count);
        for (size_t i = 0; ok && i < m_routes.size(); ++i)
            if (kept(m_routes[i]))
                ok = m_routes[i]->Serialize(stream) && stream.IsGood();
        count = uint32_t(m_marks.size());
        ok = ok && chunk.Exchange(count);
        for (size_t i = 0; ok && i < m_marks.size(); ++i)
            ok = m_marks[i]->Serialize(stream) && stream.IsGood();
        return chunk.Close() && ok;
    }

    // The go-to and follow flags are only noted here, in the order read; the
    // owner applies the last one after taking the lists over.
    COverlayMark* readGoto = nullptr;
    COverlayRoute* readFollow = nullptr;
    std::vector<std::unique_ptr<CSerializable>> legacy;
    std::vector<std::unique_ptr<COverlayMark>> legacyMarks;
    std::vector<std::unique_ptr<COverlayRoute>> routes;
    std::vector<std::unique_ptr<COverlayMark>> marks;
    auto noteMark = [&](COverlayMark& m) {
        if (m.IsGotoTarget()) {
            readGoto = &m;
            readFollow = nullptr;
        }
    };
    auto noteRoute = [&](COverlayRoute& r) {
        for (const auto& p : r.Points())
            noteMark(*p);
        if (r.IsFollowed()) {
            readFollow = &r;
            readGoto = nullptr;
        }
    };
    bool ok = chunk.ReadObjectList(legacy);
    // Only marks belong in the legacy list; anything else is dropped.
    for (auto& object : legacy) {
        auto* mark = dynamic_cast<COverlayMark*>(object.get());
        if (!mark || object->GetTypeId() != COverlayMark::kTypeId)
            continue;
        object.release();
        legacyMarks.emplace_back(mark);
        noteMark(*mark);
    }
    ok = ok && ReadList<COverlayRoute>(chunk, "routes", routes, noteRoute);
    ok = ok && ReadList<COverlayMark>(chunk, "marks", marks, noteMark);
    ok = chunk.Close() && ok && stream.IsGood();
    if (!ok)
        return false;
    if (marks.empty()) {
        marks = std::move(legacyMarks);
    } else {
        // A legacy flag lost with its list must not win.
        for (const auto& m : legacyMarks)
            if (readGoto == m.get())
                readGoto = nullptr;
    }
    if (!m_scratch) {
        auto scratch = MakeScratch();
        scratch->m_routes = std::move(routes);
        scratch->m_marks = std::move(marks);
        scratch->m_readGoto = readGoto;
        scratch->m_readFollow = readFollow;
        TakeStoreFrom(*scratch);
        return true;
    }
    m_routes = std::move(routes);
    m_marks = std::move(marks);
    for (const auto& m : m_marks)
        m->SetRoute(nullptr);
    m_readGoto = readGoto;
    m_readFollow = readFollow;
    return true;
}

void CMarkManager::TakeStoreFrom(CMarkManager& scratch)
{
    if (m_goto.target || m_goto.route)
        CancelGoto();
    if (m_routeBeingBuilt)
        ForgetRoute(m_routeBeingBuilt);
    COverlayTool::EndActiveTool();
    for (const auto& m : m_marks) {
        if (m->IsAlarmRaised()) {
            RemoveUserNotification(AlarmKey(*m));
            m->SetAlarmRaised(false);
        }
    }
    m_marks.swap(scratch.m_marks);
    m_routes.swap(scratch.m_routes);
    COverlayMark* readGoto = scratch.m_readGoto;
    COverlayRoute* readFollow = scratch.m_readFollow;
    scratch.m_readGoto = nullptr;
    scratch.m_readFollow = nullptr;
    // The old objects go before anything is announced about the new ones.
    scratch.m_marks.clear();
    scratch.m_routes.clear();
    for (const auto& m : m_marks) {
        m->SetRoute(nullptr);
        m->SetGotoTarget(false);
        m->SetAlarmRaised(false);
    }
    for (const auto& r : m_routes) {
        r->SetFollowed(false);
        for (const auto& p : r->Points())
            p->SetGotoTarget(false);
    }
    for (const auto& m : m_marks)
        if (!m->IsDeleted())
            m->SetState(COverlayObject::kChanged);
    for (const auto& r : m_routes)
        if (!r->IsDeleted())
            r->NotifyChanged(COverlayObject::kChanged);
    if (readGoto && !readGoto->IsDeleted())
        GotoMark(readGoto);
    else if (readFollow && !readFollow->IsDeleted())
        FollowRoute(readFollow);
}

bool CMarkManager::LoadStore(const std::string& path, std::string* error)
{
    if (!FileExists(path))
        return true;
    auto scratch = MakeScratch();
    std::string why;
    if (!scratch->LoadFromFile(path, nullptr, kFileId, &why)) {
        m_storeGuard.NoteLoadFailed(path);
        m_loadFailureText = "The marks and routes could not be read (" + why +
                            "); the file is kept aside and nothing is saved over it.";
        SetStatusMessage(m_loadFailureText);
        if (error)
            *error = why;
        return false;
    }
    m_loadFailureText.clear();
    TakeStoreFrom(*scratch);
    return true;
}

bool CMarkManager::SaveStore(const std::string& path, std::string* error)
{
    if (!m_storeGuard.BeforeSave()) {
        if (error)
            *error = m_storeGuard.Error();
        return false;
    }
    return SaveToFile(path, nullptr, kFileId, error);
}
