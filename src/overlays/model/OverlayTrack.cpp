#include "overlays/model/OverlayTrack.h"

#include "foundation/objectfile/Serializable.h"
#include "foundation/util/StringUtil.h"
#include "foundation/util/Xml.h"
#include "geodesy/LocalPlane.h"
#include "geodesy/Polygon.h"
#include "mapview/overlay/OverlayTool.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "mapview/ownship/OverlayMovingTarget.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/TrackManager.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr float kDefaultWidth = 2.0f;
constexpr double kSameTrackDegrees = 1.7e-5;
constexpr double kJoinGapSquaredDegrees = 1e-8;
constexpr double kStatisticsMinInterval = 0.1; // seconds
constexpr double kMaxSpeedSmoothing = 1.25;

// The own ship's fix, when it is usable.
const COverlayGPSPosition* ValidFix()
{
    const COverlayGPSPosition& own = COverlayGPSPosition::Global();
    return own.m_fixStatus != CDataGPSPosition::kNoFix && own.HasPosition() ? &own : nullptr;
}

// Metres from a to b on a plane centred at a.
double StepDistance(const CTrackPoint& a, const CTrackPoint& b)
{
    const CLocalPlane plane(a.latitude, a.longitude);
    const double dLon = b.longitude - a.longitude;
    // The plane's own wrap is only needed across the date line.
    if (!(std::fabs(dLon) <= 180))
        return plane.DistanceTo(b.latitude, b.longitude);
    const double x = dLon * plane.MetresPerDegreeLongitude();
    const double y = (b.latitude - a.latitude) * plane.MetresPerDegreeLatitude();
    return std::sqrt(x * x + y * y);
}

} // namespace

COverlayTrack::COverlayTrack()
{
    m_lineStyle.colour = CMovingTargetSettings::Global().ownColour;
    m_lineStyle.width = kDefaultWidth;
    m_lineStyle.pattern = CLineStyle::kSolid;
}

COverlayTrack::~COverlayTrack()
{
    // Each section announces itself on destruction while the track is whole.
    EndToolOnTrack(*this);
    while (!m_sections.empty())
        m_sections.pop_back();
}

void COverlayTrack::ClearSections()
{
    // Each section announces itself while the track is still whole.
    while (!m_sections.empty()) {
        COverlayTool::EndToolOf(m_sections.back().get());
        m_sections.back()->AnnounceDeletion();
        m_sections.pop_back();
    }
    ForgetStatistics();
}

void COverlayTrack::ForgetStatistics()
{
    m_distance = m_movingTime = m_maxSpeed = 0;
    m_statisticsKnown = false;
}

void COverlayTrack::AppendSection(std::unique_ptr<CTrackSection> section)
{
    section->SetTrack(this);
    m_sections.push_back(std::move(section));
}

void COverlayTrack::AddPoint(const CTrackPoint& point, bool notify)
{
    if (m_sections.empty())
        AppendSection(std::make_unique<CTrackSection>(this));
    CTrackSection* last = m_sections.back().get();
    if (last->IsFull()) {
        auto next = std::make_unique<CTrackSection>(this);
        next->Append(last->Last());
        last = next.get();
        AppendSection(std::move(next));
    }
    last->Append(point);
    if (point.time > m_modified)
        m_modified = point.time;
    if (notify)
        last->SetState(COverlayObject::kChanged);
}

std::vector<CTrackPoint> COverlayTrack::AllPoints() const
{
    std::vector<CTrackPoint> out;
    out.reserve(PointCount());
    for (size_t s = 0; s < m_sections.size(); ++s) {
        const CTrackSection& section = *m_sections[s];
        for (uint32_t i = s == 0 ? 0 : 1; i < section.Count(); ++i)
            out.push_back(section.Point(i));
    }
    return out;
}

size_t COverlayTrack::PointCount() const
{
    size_t n = 0;
    for (size_t s = 0; s < m_sections.size(); ++s) {
        const uint32_t count = m_sections[s]->Count();
        n += s == 0 ? count : (count > 0 ? count - 1 : 0);
    }
    return n;
}

void COverlayTrack::SetPoints(const std::vector<CTrackPoint>& points)
{
    ClearSections();
    for (const CTrackPoint& p : points)
        AddPoint(p, false);
}

bool COverlayTrack::IsRecorded() const
{
    const CTrackManager& manager = CTrackManager::Get();
    return manager.IsRecording() && !manager.Tracks().empty() && manager.Tracks().back().get() == this;
}

bool COverlayTrack::IsTrivial() const
{
    return m_sections.empty() || m_name.rfind(":chunk", 0) == 0 || m_sections.front()->Count() < 3;
}

bool COverlayTrack::ExtendBounds(CBoundingBox& box) const
{
    if (m_sections.empty() || m_sections.back()->Count() == 0)
        return false;
    for (const auto& section : m_sections)
        for (uint32_t i = 0; i < section->Count(); ++i)
            box.Extend(section->Point(i).longitude, section->Point(i).latitude);
    return true;
}

double COverlayTrack::TotalDistance(double& movingTime, double& maxSpeed) const
{
    double distance = 0, smoothed = 0;
    movingTime = maxSpeed = 0;
    for (const auto& section : m_sections) {
        const CTrackPoint* p = section->Points();
        for (uint32_t i = 1; i < section->Count(); ++i) {
            // A plane per step: one plane for a whole passage distorts the far legs.
            const double d = StepDistance(p[i - 1], p[i]);
            distance += d;
            const double dt = p[i].time - p[i - 1].time;
            if (dt > kStatisticsMinInterval) {
                const double v = d / dt;
                if (v > kMovingSpeed)
                    movingTime += dt;
                if (v < kMaxSpeedSmoothing * smoothed)
                    maxSpeed = std::max(maxSpeed, v);
                smoothed = 0.5 * smoothed + 0.5 * v;
            }
        }
    }
    return distance;
}

void COverlayTrack::EnsureStatistics()
{
    if (m_statisticsKnown && m_distance != 0)
        return;
    m_distance = TotalDistance(m_movingTime, m_maxSpeed);
    m_statisticsKnown = true;
}

double COverlayTrack::ElapsedTime() const
{
    if (!HasPoints())
        return 0;
    const COverlayGPSPosition* fix = IsRecorded() ? ValidFix() : nullptr;
    return (fix ? fix->m_fixTime : LastPoint().time) - FirstPoint().time;
}

double COverlayTrack::MovingTime() const
{
    double t = m_movingTime;
    if (!HasPoints())
        return t;
    const COverlayGPSPosition* fix = IsRecorded() ? ValidFix() : nullptr;
    if (fix && fix->GetSpeed() * kKnotsToMetresPerSecond > kMovingSpeed)
        t += fix->m_fixTime - LastPoint().time;
    return t;
}

double COverlayTrack::StoppedTime() const
{
    if (!HasPoints())
        return 0;
    double t = LastPoint().time - FirstPoint().time - m_movingTime;
    const COverlayGPSPosition* fix = IsRecorded() ? ValidFix() : nullptr;
    if (fix && fix->GetSpeed() * kKnotsToMetresPerSecond <= kMovingSpeed)
        t += fix->m_fixTime - LastPoint().time;
    return t;
}

void COverlayTrack::RecordPoint(const CTrackPoint& point, double dt, double d, double sogKnots)
{
    EnsureStatistics();
    m_distance += d;
    const double speed = dt <= CTrackManager::kSogUsableFor ? sogKnots * kKnotsToMetresPerSecond : d / dt;
    if (speed > kMovingSpeed) {
        m_movingTime += dt;
        m_maxSpeed = std::max(m_maxSpeed, speed);
    }
    AddPoint(point, true);
}

size_t COverlayTrack::SimplifyPass(double toleranceSquared)
{
    size_t dropped = 0;
    for (const auto& section : m_sections) {
        for (;;) {
            const uint32_t n = section->Count();
            if (n < 3)
                break;
            const CTrackPoint* p = section->Points();
            CTrackPoint kept[CTrackSection::kMaxPoints];
            uint32_t k = 0;
            kept[k++] = p[0];
            uint32_t i = 1;
            while (i + 1 < n) {
                // Metres on a plane centred at the segment's first point.
                const CTrackPoint& a = kept[k - 1];
                const CLocalPlane plane(a.latitude, a.longitude);
                double px, py, bx, by;
                plane.ToXY(p[i].latitude, p[i].longitude, px, py);
                plane.ToXY(p[i + 1].latitude, p[i + 1].longitude, bx, by);
                if (IsPointNearSegment(px, py, 0, 0, bx, by, toleranceSquared)) {
                    kept[k++] = p[i + 1];
                    i += 2;
                } else {
                    kept[k++] = p[i];
                    i += 1;
                }
            }
            if (i < n)
                kept[k++] = p[n - 1];
            if (k == n)
                break;
            // The points of a tool's section are about to change.
            EndToolOnTrack(*this);
            dropped += n - k;
            section->Assign(kept, k);
        }
    }
    if (dropped > 0) {
        // Rebuilt so that sections are full again; the boundaries move.
        std::vector<CTrackPoint> points = AllPoints();
        SetPoints(points);
    }
    return dropped;
}

size_t COverlayTrack::Simplify(double toleranceSquared)
{
    if (!(toleranceSquared > 0))
        return 0;
    size_t total = 0;
    // Rebuilding moves the section boundaries, and points next to the old
    // boundaries become droppable: repeat until nothing is dropped.
    for (;;) {
        const size_t dropped = SimplifyPass(toleranceSquared);
        if (dropped == 0)
            break;
        total += dropped;
    }
    if (total > 0)
        ForgetStatistics();
    return total;
}

COverlayTrack* COverlayTrack::Split(CTrackSection* section, uint32_t index)
{
    size_t at = m_sections.size();
    for (size_t s = 0; s < m_sections.size(); ++s)
        if (m_sections[s].get() == section)
            at = s;
    if (at == m_sections.size() || m_deleted)
        return nullptr;
    EndToolOnTrack(*this);
    auto split = std::make_unique<COverlayTrack>();
    split->m_name = m_name + "-split";
    split->m_lineStyle = m_lineStyle;
    split->m_category = m_category;
    const uint32_t count = section->Count();
    size_t firstMoved = at + 1;
    if (index == 0) {
        firstMoved = at;
    } else if (index + 1 < count) {
        auto tail = std::make_unique<CTrackSection>();
        tail->Assign(section->Points() + index, count - index);
        split->AppendSection(std::move(tail));
        section->Truncate(index + 1);
    }
    for (size_t s = firstMoved; s < m_sections.size(); ++s)
        split->AppendSection(std::move(m_sections[s]));
    m_sections.resize(firstMoved);
    if (split->HasPoints() && split->FirstPoint().time != 0)
        split->m_created = split->FirstPoint().time;
    ForgetStatistics();
    Touch();
    CTrackManager& manager = CTrackManager::Get();
    // The tail of the recorded track goes on recording.
    COverlayTrack* added =
        IsRecorded() ? manager.AppendTrack(std::move(split)) : manager.AddTrack(std::move(split));
    NotifySections(COverlayObject::kChanged);
    added->NotifySections(COverlayObject::kChanged);
    return added;
}

bool COverlayTrack::Join(COverlayTrack* other)
{
    if (!other || other == this || other->m_deleted || m_deleted)
        return false;
    EndToolOnTrack(*this);
    EndToolOnTrack(*other);
    Touch();
    if (HasPoints() && other->HasPoints()) {
        const CTrackPoint& a = LastPoint();
        const CTrackPoint& b = other->FirstPoint();
        const double dLat = a.latitude - b.latitude, dLon = a.longitude - b.longitude;
        if (dLat * dLat + dLon * dLon > kJoinGapSquaredDegrees)
            AddPoint(b, false);
    }
    for (auto& section : other->m_sections)
        AppendSection(std::move(section));
    other->m_sections.clear();
    ForgetStatistics();
    CTrackManager& manager = CTrackManager::Get();
    const bool wasRecorded = other->IsRecorded();
    manager.DeleteTrack(other);
    if (wasRecorded)
        manager.StartRecordingInto(this);
    NotifySections(COverlayObject::kChanged);
    return true;
}

bool COverlayTrack::AppendToRoute(COverlayRoute& route, double toleranceSquared, double* firstLatitude,
                                  double* firstLongitude)
{
    Simplify(toleranceSquared);
    const std::vector<CTrackPoint> points = AllPoints();
    bool any = false;
    for (const CTrackPoint& p : points) {
        if (!IsValidPosition(p.latitude, p.longitude))
            continue;
        std::unique_ptr<COverlayMark> mark;
        {
            CMarkManager::RoutePointScope scope;
            mark = std::make_unique<COverlayMark>();
        }
        mark->SetPosition(p.latitude, p.longitude);
        mark->SetIconAndColour("Dot", route.GetLineStyle().colour);
        route.AddPoint(std::move(mark));
        if (!any) {
            if (firstLatitude)
                *firstLatitude = p.latitude;
            if (firstLongitude)
                *firstLongitude = p.longitude;
        }
        any = true;
    }
    return any;
}

COverlayRoute* COverlayTrack::ConvertToRoute()
{
    if (m_deleted)
        return nullptr;
    auto route = std::make_unique<COverlayRoute>();
    route->SetName(m_name + "-converted");
    AppendToRoute(*route, CTrackManager::kRouteThinning);
    COverlayRoute* added = CMarkManager::Get().AddRoute(std::move(route));
    added->NotifyChanged(COverlayObject::kChanged);
    CTrackManager::Get().DeleteTrack(this);
    return added;
}

bool COverlayTrack::IsSameTrack(const COverlayTrack& other) const
{
    if (m_deleted != other.m_deleted || CompareNoCase(m_name, other.m_name) != 0)
        return false;
    if (!HasPoints() || !other.HasPoints())
        return HasPoints() == other.HasPoints();
    const CTrackPoint& a = LastPoint();
    const CTrackPoint& b = other.LastPoint();
    return std::fabs(a.latitude - b.latitude) <= kSameTrackDegrees &&
           std::fabs(a.longitude - b.longitude) <= kSameTrackDegrees;
}

void COverlayTrack::NotifySections(uint32_t state)
{
    for (const auto& section : m_sections)
        section->SetState(state);
}

bool COverlayTrack::Serialize(CSerialStream& stream)
{
    CSerialChunk chunk(stream);
    bool ok = chunk.ExchangeString(m_name);
    GraphicsColor colour = m_lineStyle.colour;
    float width = m_lineStyle.width;
    uint32_t pattern = m_lineStyle.pattern;
    ok = ok && chunk.ExchangeColor(colour);
    ok = ok && chunk.Exchange(width);
    uint32_t count = uint32_t(m_sections.size());
    ok = ok && chunk.Exchange(count);
    if (ok && stream.IsReading()) {
        if (count > kMaxSections)
            ok = stream.Fail("a track of " + std::to_string(count) + " sections");
        std::vector<std::unique_ptr<CTrackSection>> sections;
        for (uint32_t i = 0; ok && i < count; ++i) {
            // Every counted section must be backed by bytes.
            if (chunk.AtEnd()) {
                ok = stream.Fail("a track ends before its sections");
                break;
            }
            auto section = std::make_unique<CTrackSection>(this);
            const bool taken = section->Serialize(stream);
            ok = stream.IsGood();
            if (ok && taken && section->Count() > 0)
                sections.push_back(std::move(section));
        }
        if (ok) {
            ClearSections();
            for (auto& s : sections)
                AppendSection(std::move(s));
        }
    } else if (ok) {
        for (const auto& s : m_sections)
            if (!(ok = s->Serialize(stream)))
                break;
    }
    ok = ok && chunk.ExchangeString(m_description);
    ok = ok && chunk.Exchange(pattern);
    if (ok && (stream.IsWriting() || !chunk.AtEnd())) {
        SerializeSyncBlock(stream);
        ok = stream.IsGood();
    }
    ok = ok && chunk.ExchangeString(m_category);
    ok = chunk.Close() && ok;
    if (stream.IsReading()) {
        m_lineStyle.colour = colour;
        m_lineStyle.width = std::isfinite(width) && width > 0 ? width : kDefaultWidth;
        m_lineStyle.pattern = pattern <= CLineStyle::kDashDotDot ? pattern : CLineStyle::kSolid;
        if (ok)
            FixTimesAfterRead();
    }
    return ok;
}

COverlayTrack* COverlayRoute::ConvertToTrack()
{
    if (m_deleted)
        return nullptr;
    auto track = std::make_unique<COverlayTrack>();
    track->SetName(m_name + "-converted");
    for (const auto& p : m_points)
        if (p->HasPosition())
            track->AddPoint(CTrackPoint{p->GetLatitude(), p->GetLongitude(), 0, 0, 0}, false);
    COverlayTrack* added = CTrackManager::Get().AddTrack(std::move(track));
    added->NotifySections(COverlayObject::kChanged);
    CMarkManager::Get().DeleteRoute(this);
    return added;
}

void EndToolOnTrack(const COverlayTrack& track)
{
    if (COverlayTool::IsActiveToolTrack(&track))
        COverlayTool::EndActiveTool();
}
