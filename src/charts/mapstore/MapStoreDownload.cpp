#include "charts/mapstore/MapStoreDownload.h"

#include "charts/chartlist/ChartList.h"
#include "charts/packages/InstallPackage.h"
#include "charts/packages/MapDownloadState.h"
#include "charts/packages/PackageManifest.h"
#include "charts/packages/Packages.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/jobs/ProgressJobs.h"
#include "foundation/util/Files.h"
#include "foundation/util/Paths.h"
#include "foundation/util/StringUtil.h"
#include "foundation/web/ChartServer.h"

#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// After a package installed well: its chart folders join the list.
void AddPackageCharts(const std::string& packagePath, bool showTypes)
{
    CChartList& list = CChartList::Instance();
    std::set<std::string> folders;
    ListPackageFolders(packagePath, "rlt", folders);
    bool added = false;
    for (const std::string& folder : folders)
        added = list.AddFolder(folder) || added;
    // Folders already known (the map-store folder itself) hold new files now.
    if (!added)
        list.Rescan();
    if (showTypes) {
        std::vector<std::string> charts;
        ListPackageFiles(packagePath, "rlt", charts);
        for (const std::string& chart : charts)
            if (ChartOutlinePtr outline = list.FindByPath(chart))
                CSelectMapTypes::ShowType(outline->mapType);
    }
}

// The completion of a download: a chart joins the list; a package is
// installed and then its charts join. Pushed before the download starts.
// A downloaded file that is no chart goes again, and so does a package new
// to the store whose install failed (an updated one keeps its manifest).
void PushCompletion(QWidget* parent, const std::string& path, bool fromInstallFile, bool newFile)
{
    CCallback storage;
    PushProgressCallback(storage, CCallback([=](int32_t code) -> int32_t {
                             if (code != 0)
                                 return code;
                             if (!PathHasExtension(path, "tspkg")) {
                                 ChartOutlinePtr outline = CChartList::Instance().AddChart(path);
                                 if (outline && fromInstallFile)
                                     CSelectMapTypes::ShowType(outline->mapType);
                                 if (!outline && !fromInstallFile)
                                     ::unlink(path.c_str());
                                 return outline ? 0 : -1;
                             }
                             // Left in front of the caller's continuations: the install
                             // hands them all to its dialog or ends them with its code.
                             CCallback installed;
                             PushProgressCallback(installed, CCallback([=](int32_t c) {
                                                      if (c == 0)
                                                          AddPackageCharts(path, fromInstallFile);
                                                      else if (newFile && !fromInstallFile)
                                                          ::unlink(path.c_str());
                                                      return c;
                                                  }));
                             InstallPackage(parent, path);
                             return GetDialogResultCode();
                         }));
}

} // namespace

bool MapStoreLocalPath(const std::string& mvtFolder, const std::string& urlPath, std::string& localPath)
{
    localPath.clear();
    std::string rest = urlPath;
    size_t mvt = rest.find("MVT/");
    if (mvt != std::string::npos)
        rest = rest.substr(mvt + 4);
    while (!rest.empty() && rest.front() == '/')
        rest.erase(rest.begin());
    if (!IsSafeStorePath(rest) || mvtFolder.empty())
        return false;
    // A link inside the folder would lead the download's write out of it.
    for (size_t slash = 0; slash != std::string::npos;) {
        slash = rest.find('/', slash + 1);
        struct stat st;
        if (::lstat((mvtFolder + "/" + rest.substr(0, slash)).c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            return false;
    }
    localPath = mvtFolder + "/" + rest;
    return true;
}

bool DownloadMapFile(QWidget* parent, const std::string& url, std::string& localPath)
{
    localPath.clear();
    std::string scheme, host, path;
    if (!SplitURL(url, scheme, host, path)) {
        scheme.clear();
        host.clear();
        path = url;
    }
    bool secure = scheme == "https";
    int port = 0;
    if (host.empty()) {
        CWebAddress server = CChartServer::Get();
        host = server.host;
        port = server.port;
    } else {
        const std::string hostAndPort = host;
        if (!SplitPackageHost(hostAndPort, host, port))
            return false;
    }
    if (!MapStoreLocalPath(GetMVTFolder(), path, localPath))
        return false;
    // The download replaces an older copy only once it is complete, so an
    // installed package keeps its manifest when the download fails.
    if (!CreateDirectoryPath(PathDirectory(localPath)))
        return false;
    if (path.empty() || path.front() != '/')
        path.insert(path.begin(), '/');

    // The completion runs after the download's own continuation (which turns
    // a failure into -1), so it is pushed first.
    PushCompletion(parent, localPath, false, !IsRegularFile(localPath));
    DownloadWithProgress(parent, host, path, localPath, "Downloading Map...", secure, port);
    return true;
}

void InstallFile(QWidget* parent, const std::string& path)
{
    PushCompletion(parent, path, true, false);
    // Nothing was downloaded: the completion runs now, as after a download
    // that ended with 0.
    CDialogCallbackList now;
    now.TakeOverPendingList();
    now.EndDialog(0);
}

namespace {

struct CUpdateWalk
{
    QWidget* parent = nullptr;
    std::vector<std::string> packages;
    size_t next = 0;
};

void UpdateNext(const std::shared_ptr<CUpdateWalk>& walk)
{
    while (walk->next < walk->packages.size()) {
        std::string name = PathFileName(walk->packages[walk->next++]);
        CCallback storage;
        PushProgressCallback(storage, CCallback([walk](int32_t code) {
                                 UpdateNext(walk);
                                 return code;
                             }));
        std::string local;
        // Not started: the scope end runs the continuation, which goes on
        // with the next package.
        DownloadMapFile(walk->parent, "/MVT/" + name, local);
        RunDialogCallbacksUntil(storage);
        return;
    }
}

} // namespace

void CheckForMapUpdates(QWidget* parent)
{
    auto walk = std::make_shared<CUpdateWalk>();
    walk->parent = parent;
    walk->packages = FindFiles(GetMVTFolder(), "*.tspkg");
    if (walk->packages.empty()) {
        MessageBox(parent, nullptr, "No Packages to Check",
                   "Check for Map Updates only works with MVT Packages", {{"OK", nullptr}});
        return;
    }
    UpdateNext(walk);
}
