// A sync reply applied to an installation that is navigating: a followed
// route, a recorded track, a do-not-sync mark and a tool on a mark. Whatever
// the bytes: a reply that is refused changes nothing, and an applied one
// leaves the following, the recording and the do-not-sync mark as they were.
#include "mapview/overlay/OverlayTool.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/OverlayTrack.h"
#include "overlays/model/TrackManager.h"
#include "overlays/store/OverlaySync.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

// The ids the seeds use: account 0x1234, objects 1 to 4.
constexpr uint64_t kId = uint64_t(0x1234) << 32;

struct MarkTool : COverlayTool
{
    explicit MarkTool(COverlayObject* mark) : mark(mark) {}
    COverlayObject* GetMark() const override { return mark; }
    COverlayObject* mark;
};

std::string Everything()
{
    std::string marks, tracks;
    CMarkManager::Get().SaveToBuffer(marks);
    CTrackManager::Get().SaveToBuffer(tracks);
    return marks + tracks;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4000000)
        return 0;
    CMarkManager& marks = CMarkManager::Get();
    CTrackManager& tracks = CTrackManager::Get();
    marks.ClearForTesting();
    tracks.ClearForTesting();
    COverlayMark* plain = nullptr;
    for (int i = 1; i <= 2; ++i) {
        auto mark = std::make_unique<COverlayMark>();
        mark->SetName(i == 1 ? "M1" : "M2");
        mark->SetPosition(55, 11);
        mark->SetSyncId(kId | i);
        COverlayMark* added = marks.AddMark(std::move(mark));
        if (i == 1)
            plain = added;
        else
            added->SetDoNotSync(true);
    }
    auto route = std::make_unique<COverlayRoute>();
    for (int p = 0; p < 3; ++p) {
        CMarkManager::RoutePointScope scope;
        auto point = std::make_unique<COverlayMark>();
        point->SetPosition(55, 11 + 0.01 * p);
        route->AddPoint(std::move(point));
    }
    route->SetSyncId(kId | 3);
    COverlayRoute* followed = marks.AddRoute(std::move(route));
    marks.FollowRoute(followed);
    CTrackManager::Settings().doRecordTrack = true;
    auto track = std::make_unique<COverlayTrack>();
    for (int p = 0; p < 5; ++p)
        track->AddPoint(CTrackPoint{55, 11 + 0.001 * p, 1.6e9 + p, 0, 0}, false);
    track->SetSyncId(kId | 4);
    COverlayTrack* recorded = tracks.AppendTrack(std::move(track));
    COverlayTool::SetActiveTool(std::make_unique<MarkTool>(plain));

    const std::string before = Everything();
    const ESyncReply result = COverlaySync::ApplyReply(data, size, 4e9, marks, tracks);
    if (result != ESyncReply::kApplied) {
        if (Everything() != before)
            std::abort();
    } else {
        if (marks.GetGoto().route != followed || !followed->IsFollowed() ||
            tracks.RecordedTrack() != recorded)
            std::abort();
        if (recorded->PointCount() != 5)
            std::abort();
        bool mineKept = false;
        for (const auto& mark : marks.Marks())
            mineKept = mineKept || (mark->GetSyncId() == (kId | 2) && mark->GetName() == "M2");
        if (!mineKept)
            std::abort();
    }
    COverlayTool::EndActiveTool();
    CTrackManager::Settings().doRecordTrack = false;
    marks.ClearForTesting();
    tracks.ClearForTesting();
    return 0;
}
