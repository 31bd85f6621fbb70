// GPX files from anywhere: importing one must never crash, and no value that
// is not finite, nor a point off the globe, may reach the mark or track store.
#include "FuzzScratch.h"
#include "foundation/notify/StatusLine.h"
#include "overlays/gpx/GpxFile.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/OverlayTrack.h"
#include "overlays/model/TrackManager.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

void CheckMark(const COverlayMark& mark)
{
    if (!mark.HasPosition() || std::fabs(mark.GetLongitude()) > 180.0)
        std::abort();
    if (!(mark.GetInnerRadius() >= 0 && mark.GetInnerRadius() <= 1e7f) ||
        !(mark.GetOuterRadius() >= 0 && mark.GetOuterRadius() <= 1e7f))
        std::abort();
    if (!std::isfinite(mark.GetCreated()))
        std::abort();
}

void CheckTrack(const COverlayTrack& track)
{
    const CLineStyle& style = track.GetLineStyle();
    if (!std::isfinite(style.width) || style.width < 0)
        std::abort();
    for (const CTrackPoint& p : track.AllPoints())
        if (!(std::fabs(p.latitude) <= 90.0) || !(std::fabs(p.longitude) <= 180.0) ||
            !std::isfinite(p.time) || !std::isfinite(p.altitude))
            std::abort();
}

// Every import ends with one message: what it did, or why it did nothing.
struct CMessageCount : IStatusLineView
{
    void ShowStatusText(const std::string&) override { ++shown; }
    void HideStatusLine() override {}
    int shown = 0;
};

const std::string& InputPath()
{
    // In this process's scratch folder under $TMPDIR, removed at exit.
    static const std::string path = fuzzsupport::ScratchFolder("gpx_import") + "/input.gpx";
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::FILE* f = std::fopen(InputPath().c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    CMarkManager& manager = CMarkManager::Get();
    CTrackManager& track_manager = CTrackManager::Get();
    manager.ClearForTesting();
    track_manager.ClearForTesting();
    static CMessageCount messages;
    SetStatusLineView(&messages);
    messages.shown = 0;
    bool imported = ImportGPXFile(InputPath());
    if (messages.shown != 1)
        std::abort();
    // A second import of the same bytes adds nothing.
    size_t marks = manager.Marks().size(), routes = manager.Routes().size();
    size_t tracks = track_manager.Tracks().size();
    ImportGPXFile(InputPath());
    if (manager.Marks().size() != marks || manager.Routes().size() != routes ||
        track_manager.Tracks().size() != tracks)
        std::abort();
    if (!imported && (marks || routes || tracks))
        std::abort();
    for (const auto& track : track_manager.Tracks())
        CheckTrack(*track);
    for (const auto& mark : manager.Marks())
        CheckMark(*mark);
    for (const auto& route : manager.Routes()) {
        const CLineStyle& style = route->GetLineStyle();
        if (!std::isfinite(style.width) || style.width < 0)
            std::abort();
        for (const auto& point : route->Points())
            CheckMark(*point);
    }
    manager.ClearForTesting();
    track_manager.ClearForTesting();
    return 0;
}
