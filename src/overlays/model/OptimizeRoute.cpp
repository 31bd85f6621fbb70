#include "overlays/model/OptimizeRoute.h"

#include "foundation/dialogs/DialogCallback.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/events/Listener.h"
#include "foundation/jobs/ProgressJobs.h"
#include "foundation/objectfile/TypeSerializer.h"
#include "foundation/util/Folders.h"
#include "foundation/util/Xml.h"
#include "foundation/web/ChartServer.h"
#include "foundation/web/WebBinaryCGI.h"
#include "geodesy/LocalPlane.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/OverlayTrack.h"
#include "overlays/model/PolylineDecode.h"

#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

constexpr double kMaxRouteLength = 500000.0; // metres
constexpr size_t kMaxRoutePoints = 10;
constexpr double kThinningSquared = 256.0; // 16 m
// Bounds the memory a reply can take before it is turned into route points.
constexpr size_t kMaxDecodedPositions = 1000000;
constexpr const char* kProgram = "cgi-bin/directions.cgi";
constexpr const char* kCorrupt = "Corrupt response";
constexpr const char* kFailed = "Communication with the server failed";

using PointList = std::vector<std::unique_ptr<COverlayMark>>;

// The points as drawn of the last optimised route, for one revert. A route
// that is deleted takes its saved points with it, so a later route at the
// same address can never receive them.
class CSavedDrawnPoints : public Listener<COverlayObject>
{
public:
    ~CSavedDrawnPoints() override
    {
        DetachFromSource();
        Drop();
    }

    void Notify(const COverlayObject& object) override
    {
        // Only the pointer is compared: the route may be half destroyed.
        if (route && object.GetState() == COverlayObject::kDeleted &&
            &object == static_cast<const COverlayObject*>(route))
            Drop();
    }

    // Forgets the route and destroys the points; a request still running for
    // it then ends without changing anything.
    void Drop()
    {
        route = nullptr;
        ++generation;
        PointList gone;
        gone.swap(points);
    }

    COverlayRoute* route = nullptr;
    PointList points;
    uint64_t generation = 0;
    bool busy = false; // a request is running
};

CSavedDrawnPoints& Saved()
{
    static CSavedDrawnPoints saved;
    return saved;
}

// Ends at once as a dialog would, so that the caller's continuations get the code.
void EndNow(int32_t code)
{
    CDialogCallbackList quick;
    quick.TakeOverPendingList();
    quick.EndDialog(code);
}

// The box takes over the pending continuations; its button hands them -1.
void ShowProblem(QWidget* owner, const std::string& text)
{
    MessageBox(owner, nullptr, "Problem", text,
               {{"OK", [](void*, int, int) {
                     CCallback failure;
                     PushProgressCallback(failure, CCallback([](int32_t) { return -1; }));
                 }}});
}

// The drawn points go back to the route; nothing is kept for a revert.
void RestoreDrawnPoints(COverlayRoute& route)
{
    CSavedDrawnPoints& saved = Saved();
    route.SwapPoints(saved.points);
    saved.Drop();
}

// After a failed request the route holds its drawn points again. On a first
// request it never lost them (the record holds copies), so the copies go.
void GiveDrawnPointsBack(COverlayRoute& route, bool firstRequest)
{
    if (firstRequest)
        Saved().Drop();
    else
        RestoreDrawnPoints(route);
}

// A faithful copy through the stored form, identity and times included.
std::unique_ptr<COverlayMark> CopyDrawnPoint(COverlayMark& point)
{
    std::string bytes;
    CMarkManager::RoutePointScope routePoints; // read back as the route point it is
    auto copy = std::make_unique<COverlayMark>();
    if (!point.SaveToBuffer(bytes) || !copy->LoadFromBuffer(bytes.data(), bytes.size()))
        return nullptr;
    // The go-to stays on the original; a copy that claimed it would hide
    // "Go-To Point" and bring the go-to back at the next start.
    copy->SetGotoTarget(false);
    return copy;
}

bool WriteRequest(const std::string& path, const std::string& mode, const PointList& points)
{
    CTypeFileOut out(path);
    out.SetWide(true);
    out.WriteString(mode);
    uint32_t count = uint32_t(points.size());
    out.Exchange(count);
    for (const auto& p : points) {
        double latitude = p->GetLatitude();
        double longitude = p->GetLongitude();
        out.Exchange(latitude);
        out.Exchange(longitude);
    }
    return out.Close();
}

// What the job leaves; written on the job thread, read after it ended.
struct CPostOutcome
{
    std::string path;
    CWebAddress server;
    bool posted = false;
    bool cancelled = false;
    std::string replyError;
    CDirectionsReply reply;
};

bool ContinueRequest(void* arg)
{
    return !static_cast<CProgressDialogData*>(arg)->IsCancelled();
}

void RunRequest(CPostOutcome& outcome, CProgressDialogData& data)
{
    CWebBinaryCGI cgi(outcome.server.host.c_str(), kProgram, outcome.server.secure, outcome.server.port);
    cgi.Web().SetProgress(&data.progress);
    cgi.Web().SetProgressCallback(ContinueRequest, &data);
    outcome.posted = cgi.PostFile(outcome.path.c_str());
    outcome.cancelled = data.IsCancelled();
    if (outcome.posted && !outcome.cancelled) {
        std::unique_ptr<CXmlNode> root = CXmlNode::LoadFile(outcome.path);
        outcome.replyError = ReadDirectionsReply(root.get(), outcome.reply);
    }
    data.SetSucceeded(outcome.posted && !outcome.cancelled);
}

// One request on the main thread's side. Its continuation ends it; when that
// is dropped without running, the destructor still gives the drawn points back.
class CDirectionsExchange
{
public:
    CDirectionsExchange(QWidget* owner, COverlayRoute* route, uint64_t generation, bool firstRequest,
                        std::shared_ptr<CPostOutcome> outcome)
        : m_owner(owner), m_route(route), m_generation(generation), m_firstRequest(firstRequest),
          m_outcome(std::move(outcome))
    {
    }
    ~CDirectionsExchange()
    {
        if (!m_ended)
            End(-1);
    }
    CDirectionsExchange(const CDirectionsExchange&) = delete;
    CDirectionsExchange& operator=(const CDirectionsExchange&) = delete;

    int32_t End(int32_t code);

private:
    QWidget* m_owner;
    COverlayRoute* m_route;
    uint64_t m_generation;
    bool m_firstRequest;
    std::shared_ptr<CPostOutcome> m_outcome;
    bool m_ended = false;
};

int32_t CDirectionsExchange::End(int32_t code)
{
    m_ended = true;
    ::unlink(m_outcome->path.c_str());
    CSavedDrawnPoints& saved = Saved();
    saved.busy = false;
    // Deleted or reverted meanwhile: nothing is left to change.
    if (saved.route != m_route || saved.generation != m_generation)
        return -1;
    COverlayRoute& route = *m_route;
    // Failures known before the route is touched: it keeps its own points, and
    // with them a go-to on one of them or the following of the route. A cancel
    // shows nothing; a refused reply (a status other than OK, no route) says why.
    const bool cancelled = code != 0 || m_outcome->cancelled;
    if (cancelled || !m_outcome->posted || !m_outcome->replyError.empty()) {
        GiveDrawnPointsBack(route, m_firstRequest);
        route.NotifyChanged(COverlayObject::kChanged);
        if (!cancelled)
            ShowProblem(m_owner, m_outcome->posted ? m_outcome->replyError : std::string(kFailed));
        return -1;
    }

    // Clear empties the texts; a refused reply must give the route back whole.
    const std::string name = route.GetName();
    const std::string description = route.GetDescription();
    const std::string category = route.GetCategory();
    route.Clear();
    route.SetCategory(category);
    const std::string error = BuildRouteFromDirections(m_outcome->reply, route);
    if (!error.empty()) {
        route.Clear();
        RestoreDrawnPoints(route);
        route.SetName(name);
        route.SetDescription(description);
        route.SetCategory(category);
        route.NotifyChanged(COverlayObject::kChanged);
        ShowProblem(m_owner, error);
        return -1;
    }
    route.Touch();
    route.NotifyChanged(COverlayObject::kChanged);
    return 0;
}

bool IsTravelMode(const std::string& mode)
{
    return mode == "walking" || mode == "bicycling" || mode == "driving";
}

} // namespace

void OptimizeRoute(QWidget* owner, const std::string& mode, COverlayRoute* route,
                   std::function<void(int)> done)
{
    CCallback doneStorage;
    if (done)
        PushProgressCallback(doneStorage, CCallback([done = std::move(done)](int32_t code) {
                                 done(code);
                                 return code;
                             }));
    CSavedDrawnPoints& saved = Saved();
    // One request at a time: a second would destroy the first one's drawn points.
    if (!route || route->IsDeleted() || saved.busy || !(IsTravelMode(mode) || mode == "revert")) {
        EndNow(-1);
        return;
    }

    if (mode == "revert") {
        if (route != saved.route) {
            ShowProblem(owner, "Cannot undo optimization on this route.");
            return;
        }
        route->SwapPoints(saved.points);
        route->NotifyChanged(COverlayObject::kChanged);
        route->Touch();
        saved.Drop();
        EndNow(0);
        return;
    }

    // A route optimised before sends its drawn points again.
    const bool firstRequest = route != saved.route;
    if (firstRequest) {
        if (route->TotalDistance() > kMaxRouteLength) {
            ShowProblem(owner, "The route is too long (500km max).");
            return;
        }
        if (route->PointCount() > kMaxRoutePoints) {
            ShowProblem(owner, "The route has more than 10 waypoints.");
            return;
        }
        if (route->PointCount() < 2) {
            EndNow(-1);
            return;
        }
        // The route keeps its points while the request runs, so a save or a
        // shutdown meanwhile stores them; the record holds copies for revert.
        saved.Drop();
        PointList drawn;
        for (const auto& p : route->Points()) {
            drawn.push_back(CopyDrawnPoint(*p));
            if (!drawn.back()) {
                EndNow(-1);
                return;
            }
        }
        saved.points.swap(drawn);
        saved.route = route;
    }

    auto outcome = std::make_shared<CPostOutcome>();
    outcome->server = CChartServer::Get();
    // A private file that only this exchange knows; removed when it ends.
    const std::string folder = GetTempFolder();
    std::string path = folder + "/directions-XXXXXX";
    const int fd = folder.empty() ? -1 : ::mkostemp(path.data(), O_CLOEXEC);
    if (fd >= 0)
        ::close(fd);
    if (fd < 0 || !WriteRequest(path, mode, saved.points)) {
        if (fd >= 0)
            ::unlink(path.c_str());
        GiveDrawnPointsBack(*route, firstRequest);
        route->NotifyChanged(COverlayObject::kChanged);
        ShowProblem(owner, kFailed);
        return;
    }
    outcome->path = path;

    auto exchange =
        std::make_shared<CDirectionsExchange>(owner, route, saved.generation, firstRequest, outcome);
    saved.busy = true;
    CCallback storage;
    PushProgressCallback(storage, CCallback([exchange](int32_t code) { return exchange->End(code); }));
    RunWithProgressDialog(owner, "Getting directions...",
                          [outcome](CProgressDialogData& data) { RunRequest(*outcome, data); });
}

bool IsOptimizedRoute(const COverlayRoute* route)
{
    return route && Saved().route == route;
}

std::string ReadDirectionsReply(CXmlNode* root, CDirectionsReply& reply)
{
    reply = CDirectionsReply();
    CXmlNode::Rewind(root);
    CXmlNode* response = CXmlNode::FindNextElement(root, "DirectionsResponse");
    if (!response)
        return kCorrupt;
    std::string status;
    CXmlNode::GetChildText(response, "status", status);
    if (status != "OK") {
        std::string error = "Status: " + status;
        std::string message;
        if (CXmlNode::GetChildText(response, "error_message", message) && !message.empty())
            error += " " + message;
        return error;
    }
    const CXmlNode* route = CXmlNode::FindChild(response, "route");
    if (!route)
        return kCorrupt;
    CXmlNode::GetChildText(route, "summary", reply.summary);

    // A leg joins two of the points sent: every one is read, in order.
    std::vector<const CXmlNode*> legs;
    size_t legCursor = 0;
    while (const CXmlNode* leg = CXmlNode::FindNextChild(route, "leg", legCursor))
        legs.push_back(leg);
    if (legs.empty())
        return kCorrupt;
    size_t decoded = 0;
    for (const CXmlNode* leg : legs) {
        size_t stepCursor = 0;
        while (const CXmlNode* step = CXmlNode::FindNextChild(leg, "step", stepCursor)) {
            const CXmlNode* polyline = CXmlNode::FindChild(step, "polyline");
            if (!polyline)
                continue;
            CDirectionsStep& made = reply.steps.emplace_back();
            std::string points;
            CXmlNode::GetChildText(polyline, "points", points);
            DecodePolyline(points, made.positions, kMaxDecodedPositions + 1 - decoded);
            decoded += made.positions.size();
            if (decoded > kMaxDecodedPositions) {
                reply = CDirectionsReply();
                return kCorrupt;
            }
            CXmlNode::GetChildText(step, "maneuver", made.maneuver);
        }
    }
    CXmlNode::GetChildText(legs.front(), "start_address", reply.startAddress);
    CXmlNode::GetChildText(legs.back(), "end_address", reply.endAddress);
    // A duration belongs to its leg; with several legs none stands for the route.
    if (legs.size() == 1) {
        if (const CXmlNode* duration = CXmlNode::FindChild(legs.front(), "duration")) {
            reply.hasDuration = true;
            CXmlNode::GetChildText(duration, "text", reply.duration);
        }
    }
    return std::string();
}

std::string BuildRouteFromDirections(const CDirectionsReply& reply, COverlayRoute& route)
{
    GraphicsColor green;
    green.SetRGBA(0, 200, 0, 255);
    const GraphicsColor black;
    route.SetName(route.GetName() + reply.summary);

    // Built aside and handed over whole; the route keeps what it held in front.
    PointList built;
    route.SwapPoints(built);
    COverlayRoute scratch;
    scratch.GetLineStyle() = route.GetLineStyle();
    std::string error;
    for (const CDirectionsStep& step : reply.steps) {
        COverlayTrack track;
        for (const auto& [latitude, longitude] : step.positions)
            if (IsValidPosition(latitude, longitude))
                track.AddPoint(CTrackPoint{latitude, longitude}, false);
        // A step without a path must not eat the previous step's end.
        if (!track.HasPoints())
            continue;
        // Each step's path begins where the previous one ended.
        if (!built.empty())
            built.pop_back();
        track.AppendToRoute(scratch, kThinningSquared);
        PointList appended;
        scratch.SwapPoints(appended);
        for (size_t i = 0; i < appended.size(); ++i) {
            COverlayMark& point = *appended[i];
            if (i == 0) {
                if (!step.maneuver.empty())
                    point.SetName(step.maneuver);
                point.SetIconAndColour("Flag", green);
            } else {
                point.SetIconAndColour("Tinydot", black);
            }
            built.push_back(std::move(appended[i]));
        }
        if (built.size() > kMaxDirectionsPoints) {
            error = kCorrupt;
            break;
        }
    }
    route.SwapPoints(built);
    if (!error.empty())
        return error;

    if (route.PointCount() > 0) {
        COverlayMark* first = route.Points().front().get();
        COverlayMark* last = route.Points().back().get();
        first->SetName(first->GetName() + reply.startAddress);
        last->SetName(last->GetName() + reply.endAddress);
        last->SetIconAndColour("Flag", green);
    }
    if (reply.hasDuration)
        route.SetDescription("Duration " + reply.duration);
    return std::string();
}
