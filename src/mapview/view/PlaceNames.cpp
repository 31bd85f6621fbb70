// Finding and fetching the place-name index of the open chart.
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/jobs/ProgressJobs.h"
#include "foundation/util/Files.h"
#include "foundation/util/Folders.h"
#include "foundation/util/Paths.h"
#include "foundation/web/ChartServer.h"
#include "mapview/places/GeoNameDatabase.h"
#include "mapview/view/RasterleafView.h"

#include <memory>

bool CRasterleafView::IsPlaceMapName(const std::string& name)
{
    // The name builds a local path and a server path: nothing that could
    // leave a folder or hide a file gets through.
    if (name.empty() || name.front() == '.' || name.size() > 200)
        return false;
    for (char c : name) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                        c == ' ' || c == '_' || c == '.' || c == '-';
        if (!ok)
            return false;
    }
    return true;
}

std::string CRasterleafView::PlaceMapName(const std::string& chartPath)
{
    const std::string name = PathBaseName(chartPath);
    return IsPlaceMapName(name) ? name : std::string();
}

void CRasterleafView::GetPlacenameIndex(QWidget* parent, std::function<void(const std::string& path)> done,
                                        const std::string& extension)
{
    m_placeIndexPath.clear();
    const std::string chart = GetCurrentChartPath();
    if (chart.empty()) {
        done(std::string());
        return;
    }
    const std::string beside = PathChangeExtension(chart, extension);
    if (IsRegularFile(beside)) {
        m_placeIndexPath = beside;
        done(beside);
        return;
    }
    const std::string documents = GetDocumentsFolder();
    const std::string name = PlaceMapName(chart);
    if (name.empty()) {
        const std::string fallback = documents + "/default." + extension;
        if (!documents.empty() && IsRegularFile(fallback))
            m_placeIndexPath = fallback;
        done(m_placeIndexPath);
        return;
    }
    // Without a documents folder only the chart's folder is looked in.
    const std::string target = documents.empty() ? std::string() : documents + "/" + name + "." + extension;
    const std::string candidates[] = {target, PathDirectory(chart) + "/" + name + "." + extension};
    for (const std::string& candidate : candidates)
        if (!candidate.empty() && IsRegularFile(candidate)) {
            m_placeIndexPath = candidate;
            done(candidate);
            return;
        }
    const CWebAddress server = CChartServer::Get();
    if (documents.empty() || !CChartServer::IsSet()) {
        done(std::string());
        return;
    }

    // The download lands beside the target and replaces it only once it
    // opens as an index, so a broken transfer never takes the target's place.
    const std::string temp = documents + "/." + name + "." + extension + ".download";
    std::weak_ptr<int> alive = m_alive;
    CCallback storage;
    PushProgressCallback(storage, CCallback([this, alive, temp, target, done](int32_t code) -> int32_t {
                             bool ok = false;
                             if (code == 0) {
                                 CGeoNameDatabase check;
                                 ok = check.Open(temp);
                             }
                             ok = ok && FileRename(temp, target);
                             if (!ok)
                                 FileUnlink(temp);
                             if (alive.lock())
                                 m_placeIndexPath = ok ? target : std::string();
                             done(ok ? target : std::string());
                             return ok ? 0 : -1;
                         }));
    DownloadWithProgress(parent, server.host, "/" + name + "-small." + extension, temp,
                         "Downloading placename index...", server.secure, server.port);
}
