#include "charts/chunked/MapDataDownload.h"

#include "charts/ChartFileUse.h"
#include "charts/ChartFormat.h"
#include "charts/chunked/ChunkDownloader.h"
#include "charts/chunked/ChunkStorePath.h"
#include "charts/chunked/Rasterleaf3.h"
#include "charts/packages/MapDownloadState.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/jobs/ProgressJobs.h"
#include "foundation/util/Files.h"
#include "foundation/util/Paths.h"
#include "foundation/util/StringUtil.h"

#include <atomic>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

constexpr const char* kDownloadingText = "Downloading map data...";

// What one download needs; shared by the job thread and the continuation.
struct CMapDataDownload
{
    std::string path;
    std::unique_ptr<CRasterleaf> chart;
    bool whole = false;             // every chunk of the chart
    std::vector<CPolyPoint> points; // chart pixels
    bool area = true;
    double corridor = 1000; // metres
    std::atomic<bool> ok{false};
    bool started = false; // main thread only
};

// A chunked chart that did not open because its store cannot be made or
// opened (a chart that is damaged otherwise was reported by the open).
bool StoreCannotBeMade(const std::string& path)
{
    uint8_t head[8] = {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool read = ::pread(fd, head, sizeof head, 0) == ssize_t(sizeof head);
    ::close(fd);
    using namespace chartfile;
    if (!read || !MagicOK(Le32(head)) || (head[7] != kKindChunked && head[7] != kKindChunkedAlt))
        return false;
    // Any grid will do: only whether the store opens at all is asked.
    return CChunkStore::Acquire(ChunkStorePathFor(path), 1, 1) == nullptr;
}

bool NotCancelled(void* record)
{
    return !static_cast<CProgressDialogData*>(record)->IsCancelled();
}

void PassFailureOn(void*, int, int)
{
    CCallback failure;
    PushProgressCallback(failure, CCallback([](int32_t) { return -1; }));
}

void RunDownload(CMapDataDownload& job, CProgressDialogData& d)
{
    CRasterleaf* chart = job.chart.get();
    if (auto* chunked = dynamic_cast<CRasterleaf3*>(chart)) {
        // Asked here rather than before the dialog: a server that does not
        // answer must not hold up the window.
        CWebServer web;
        web.SetConnectHook(NotCancelled, &d);
        const int64_t size = chunked->GetChunkFileSize(web);
        d.SetMessage(MapDataDownloadText(size, GetFreeDiskSpace(PathDirectory(job.path))));
    }
    CChunkDownloadOutcome outcome;
    bool ok;
    if (job.whole)
        ok = chart->DownloadAll(&d.progress.total, &d.progress.done, NotCancelled, &d, &outcome);
    else if (job.area)
        ok = chart->DownloadPolygon(job.points, &d.progress.total, &d.progress.done, NotCancelled, &d,
                                    &outcome);
    else
        ok = chart->DownloadRoute(job.points, &d.progress.total, &d.progress.done, NotCancelled, &d,
                                  job.corridor, &outcome);
    if (!ok && !d.IsCancelled()) {
        if (outcome.failed > 0)
            d.SetErrorText(FailedAreasText(outcome.failed, d.progress.total.load()));
        else if (!outcome.error.empty())
            d.SetErrorText(outcome.error);
    }
    d.SetSucceeded(ok);
    job.ok.store(ok);
}

void StartDownload(QWidget* parent, const std::shared_ptr<CMapDataDownload>& job)
{
    std::shared_ptr<CProgressDialogData> record = GetMapDownloadState().Begin();
    if (!record)
        return;
    job->started = true;
    record->parent = parent;
    record->StartThread([job](CProgressDialogData& d) { RunDownload(*job, d); });
    ShowProgressDialog(parent, record, kDownloadingText);
}

void BeginMapDataDownload(QWidget* parent, const std::shared_ptr<CMapDataDownload>& job,
                          const std::vector<std::pair<double, double>>& latLon)
{
    CCallback storage;
    PushProgressCallback(storage, CCallback([job](int32_t code) {
                             if (!job->started)
                                 return -1;
                             // The thread is over before the chart goes: the
                             // dialog joined it, and so does this.
                             std::shared_ptr<CProgressDialogData> record = GetMapDownloadState().Record();
                             if (record)
                                 record->Join();
                             GetMapDownloadState().End();
                             job->chart.reset();
                             // The view drops what it decoded before the chunks arrived.
                             ReleaseChartFiles({job->path});
                             ReacquireChartFiles({job->path});
                             return job->ok.load() ? code : -1;
                         }));

    bool handed = false; // a box or the progress dialog took the continuations
    if (!GetMapDownloadState().IsRunning()) {
        job->chart.reset(CRasterleaf::OpenFile(nullptr, job->path));
        // A chunked chart whose header reads but which does not open has a
        // store that cannot be made: say so rather than end without a word.
        const bool noStore = !job->chart && StoreCannotBeMade(job->path);
        if (job->chart || noStore) {
            handed = true;
            if (noStore || !job->chart->IsDownloadable()) {
                job->chart.reset();
                MessageBox(parent, nullptr, "Problem", "Map storage is not writable!",
                           {{"OK", PassFailureOn}});
            } else {
                for (const auto& [lat, lon] : latLon) {
                    CPolyPoint p;
                    job->chart->LatLonToPixel(lat, lon, p.x, p.y);
                    job->points.push_back(p);
                }
                StartDownload(parent, job);
            }
        }
    }
    if (!handed && GetMapDownloadState().IsRunning()) {
        // The running one is left alone; the user is told why nothing starts.
        handed = true;
        CMapDownloadState::TellAlreadyRunning(parent, PassFailureOn);
    }
    if (!handed) {
        // Refused at once: end as a dialog would, so that the caller's
        // continuations see -1 rather than a scope end's 0.
        CDialogCallbackList now;
        now.TakeOverPendingList();
        now.EndDialog(0);
    }
    RunDialogCallbacksUntil(storage);
}

} // namespace

std::string MapDataDownloadText(int64_t totalBytes, int64_t freeBytes)
{
    const std::string total = totalBytes >= 0 ? FormatByteSize(totalBytes) : "unknown";
    const std::string free = freeBytes >= 0 ? FormatByteSize(freeBytes) : "unknown";
    return std::string(kDownloadingText) + " (Total size " + total + ". Space available " + free + ")";
}

std::string FailedAreasText(int64_t failed, int64_t total)
{
    return std::to_string(failed) + " of " + std::to_string(total) + " map areas could not be downloaded";
}

void StartMapDataDownload(QWidget* parent, const std::string& chartPath,
                          const std::vector<std::pair<double, double>>& latLon, bool area,
                          double corridorMetres)
{
    auto job = std::make_shared<CMapDataDownload>();
    job->path = chartPath;
    job->area = area;
    if (!area)
        job->corridor = corridorMetres;
    BeginMapDataDownload(parent, job, latLon);
}

void StartMapDataDownloadAll(QWidget* parent, const std::string& chartPath)
{
    auto job = std::make_shared<CMapDataDownload>();
    job->path = chartPath;
    job->whole = true;
    BeginMapDataDownload(parent, job, {});
}
