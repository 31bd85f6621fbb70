#include "app/shell/UrlCommands.h"

#include "app/shell/AppDelegate.h"
#include "app/window/ViewController.h"
#include "charts/chartlist/ChartList.h"
#include "charts/mapstore/MapStoreDownload.h"
#include "charts/packages/PackageManifest.h"
#include "charts/packages/Packages.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/jobs/ProgressJobs.h"
#include "foundation/util/Files.h"
#include "foundation/util/Folders.h"
#include "foundation/util/Paths.h"
#include "foundation/web/ChartServer.h"
#include "mapview/view/RasterleafView.h"
#include "overlays/gpx/GpxFile.h"
#include "overlays/model/MarkManager.h"
#include "panels/MainAndFlip.h"

#include <QUrl>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <unistd.h>

namespace {

constexpr const char* kRefused = "This link cannot be opened";

void ShowRefused(QWidget* parent, const std::string& what)
{
    MessageBox(parent, nullptr, kRefused, what, {{"OK", nullptr}});
}

std::string Quoted(const std::string& text)
{
    std::string out(1, '"');
    return out.append(text).append(1, '"');
}

CDocumentType SniffFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    uint8_t bytes[kSniffBytes] = {};
    in.read(reinterpret_cast<char*>(bytes), sizeof bytes);
    return SniffType(bytes, size_t(in.gcount()));
}

const char* ExtensionOf(CDocumentType type)
{
    switch (type) {
    case CDocumentType::Gpx:
        return "gpx";
    case CDocumentType::Chart:
        return "rlt";
    case CDocumentType::Package:
        return "tspkg";
    case CDocumentType::Layout:
        return "dvtf";
    case CDocumentType::None:
        break;
    }
    return "";
}

std::string RealFolder(const std::string& path)
{
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

bool SameHost(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

bool IsChartServerLink(const COpenPlan& plan, const CWebAddress& server)
{
    if (!plan.remote || server.host.empty() || plan.secure != server.secure ||
        !SameHost(plan.host, server.host))
        return false;
    const int defaultPort = plan.secure ? 443 : 80;
    return (plan.port ? plan.port : defaultPort) == (server.port ? server.port : defaultPort);
}

CUrlCommands& CUrlCommands::Get()
{
    static CUrlCommands commands;
    return commands;
}

void CUrlCommands::SetLayoutOpener(std::function<bool(const std::string& path)> opener)
{
    m_layoutOpener = std::move(opener);
}

void CUrlCommands::Reset()
{
    m_pendingVerb.clear();
    m_pendingArgument.clear();
    m_pendingFromLink = false;
    m_pendingFile.clear();
    m_pendingPackage.clear();
}

CRasterleafView* CUrlCommands::View() const
{
    return m_app && m_app->Window() ? &m_app->Window()->ChartView() : nullptr;
}

QWidget* CUrlCommands::Parent() const
{
    return m_app ? m_app->Window() : nullptr;
}

void CUrlCommands::OpenURLs(const std::vector<std::string>& urls)
{
    if (urls.empty())
        return;
    const std::string& url = urls.front();
    CLinkCommand command;
    bool fromLink = false;
    if (ParseLinkCommand(url, command)) {
        fromLink = true;
    } else if (url.compare(0, 5, "file:") == 0) {
        const QUrl file(QString::fromStdString(url));
        if (!file.isValid() || !file.isLocalFile())
            return;
        command.verb = "open";
        command.argument = file.toLocalFile().toStdString();
    } else if (!url.empty() && (url[0] == '/' || !HasURLScheme(url))) {
        command.verb = "open";
        command.argument = url;
    } else {
        return;
    }
    if (command.verb.empty())
        return;
    // A plain path is percent-decoded by the planner like a link's, so its
    // own '%' signs are kept as they are.
    if (!fromLink) {
        std::string escaped;
        for (char c : command.argument)
            escaped += c == '%' ? std::string("%25") : std::string(1, c);
        command.argument = escaped;
    }
    m_pendingVerb = command.verb;
    m_pendingArgument = command.argument;
    m_pendingFromLink = fromLink;
    if (AppDelegate::IsLaunchFinished() && View())
        RunPendingUrl();
}

void CUrlCommands::RunPendingUrl()
{
    if (m_pendingVerb.empty())
        return;
    const std::string verb = m_pendingVerb, argument = m_pendingArgument;
    const bool fromLink = m_pendingFromLink;
    m_pendingVerb.clear();
    m_pendingArgument.clear();
    m_pendingFromLink = false;
    RunCommand(verb, argument, fromLink);
}

void CUrlCommands::RunCommand(const std::string& verbText, const std::string& argument, bool fromLink)
{
    const std::string verb = CleanLinkVerb(verbText);
    CRasterleafView* view = View();
    if (verb == "open" || verb == "fetch") {
        Open(argument, verb == "fetch", fromLink);
    } else if (verb == "view") {
        const std::vector<CLinkPair> pairs = ParseLinkPairs(argument);
        double lat = 0, lon = 0, scale = 0;
        if (view && LinkPosition(pairs, lat, lon, scale))
            view->GoToPosition(lat, lon, scale / 25000.0);
    } else if (verb == "mark") {
        const std::vector<CLinkPair> pairs = ParseLinkPairs(argument);
        double lat = 0, lon = 0, scale = 0;
        if (!LinkPosition(pairs, lat, lon, scale)) {
            MessageBox(Parent(), nullptr, "Invalid position in link",
                       "The link does not give a latitude and longitude on the globe.", {{"OK", nullptr}});
            return;
        }
        if (view)
            view->GoToPosition(lat, lon, 0);
        CMarkManager::Get().CreateMarkAt(view, LinkMarkName(pairs), lat, lon);
    }
}

void CUrlCommands::Open(const std::string& argument, bool fresh, bool fromLink)
{
    // One open at a time: the first one's download is still running.
    if (IsOpening())
        return;
    COpenPlan plan;
    const std::string downloads = GetApplicationSupportFolder() + "/" + kDownloadsFolder;
    const std::string mvt = View() ? GetMVTFolder() : std::string();
    if (!PlanOpen(argument, mvt, downloads, plan)) {
        ShowRefused(Parent(), "The address is not one this application downloads from or opens.");
        return;
    }
    // A package always comes again: its manifest says what changed.
    if (LowerExtension(plan.local) == "tspkg")
        fresh = true;
    // Only the chart server itself, over its own scheme and port, is trusted.
    const bool foreign =
        plan.remote && (!CChartServer::IsSet() || !IsChartServerLink(plan, CChartServer::Get()));
    if (!fromLink || !(foreign || !plan.remote)) {
        StartOpen(plan, fresh);
        return;
    }
    // A web page must not open files or replace layouts on its own.
    std::string where = plan.local;
    if (plan.remote) {
        where = plan.secure ? "https://" : "http://";
        where += plan.host;
        if (plan.port)
            where.append(":").append(std::to_string(plan.port));
        where += plan.remotePath;
    }
    AskYesNo(
        Parent(), nullptr, "Open file?", "A link asks to open " + where,
        [this, plan, fresh](void*, int, int) {
            if (!IsOpening())
                StartOpen(plan, fresh);
        },
        nullptr);
}

void CUrlCommands::StartOpen(const COpenPlan& plan, bool fresh)
{
    m_pendingFile = plan.local;
    if (!plan.remote) {
        OpenDocument(0);
        return;
    }
    CRasterleafView* view = View();
    const std::string extension = LowerExtension(plan.local);
    if (view && (extension == "rlt" || extension == "tspkg")) {
        // The download may replace the open chart's file.
        view->SetChartPending(true);
        view->UpdateCentrePosition();
        CChartList::Instance().SetCurrentOutline(nullptr);
        view->CloseChart();
    }
    if (!CreateDirectoryPath(PathDirectory(plan.local))) {
        MessageBox(Parent(), nullptr, "Download failed", "Could not make " + PathDirectory(plan.local) + ".",
                   {{"OK", nullptr}});
        OpenDocument(-1);
        return;
    }
    CCallback storage;
    PushProgressCallback(storage, [this](int32_t result) {
        OpenDocument(result);
        return result;
    });
    // Downloaded beside the target and renamed over it only when whole, so a
    // failed "fetch" keeps the copy there was.
    if (fresh || !IsRegularFile(plan.local))
        DownloadWithProgress(Parent(), plan.host, plan.remotePath, plan.local, "Downloading file",
                             plan.secure, plan.port);
    RunDialogCallbacksUntil(storage);
}

void CUrlCommands::OpenDocument(int32_t result)
{
    const std::string path = m_pendingFile;
    bool opened = false;
    if (result == 0 && IsRegularFile(path)) {
        const std::string extension = LowerExtension(path);
        CDocumentType type = TypeFromExtension(extension);
        if (extension.empty()) {
            type = SniffFile(path);
            if (type == CDocumentType::None)
                MessageBox(Parent(), nullptr, "Unknown file type", "File type not recognized",
                           {{"OK", nullptr}});
        } else if (type == CDocumentType::None) {
            MessageBox(Parent(), nullptr, "Unknown file type",
                       "File extension " + Quoted(extension) + " is not recognized", {{"OK", nullptr}});
        }
        if (type != CDocumentType::None)
            opened = OpenByType(path, type);
    } else if (result == 0 && !path.empty()) {
        MessageBox(Parent(), nullptr, "File not found", Quoted(path) + " does not exist.", {{"OK", nullptr}});
    }
    if (!opened)
        ReturnToSavedChart();
    m_pendingFile.clear();
}

bool CUrlCommands::OpenByType(const std::string& path, CDocumentType type)
{
    const bool named = LowerExtension(path) == ExtensionOf(type);
    switch (type) {
    case CDocumentType::Gpx:
        ImportGPXFileWithProgress(Parent(), path);
        return false;
    case CDocumentType::Layout:
        if (m_layoutOpener)
            m_layoutOpener(path);
        else
            c_main_and_flip_dv::Get().OpenLayoutFile(path);
        return false;
    case CDocumentType::Chart:
    case CDocumentType::Package: {
        // Charts and packages are known by their names: a user's file that
        // lacks it is copied, never renamed.
        const std::string file = named ? path : CopyIntoDownloads(path, ExtensionOf(type));
        if (file.empty())
            return false;
        if (type == CDocumentType::Chart)
            OpenChartFile(file);
        else
            InstallPackageFile(file);
        return true;
    }
    case CDocumentType::None:
        break;
    }
    return false;
}

void CUrlCommands::OpenChartFile(const std::string& path)
{
    CRasterleafView* view = View();
    CChartList& list = CChartList::Instance();
    // A folder below one the list scans already (the map-store folder) is
    // not noted a second time.
    // The chart is checked first: a file that is not one changes nothing.
    if (!list.AddChart(path)) {
        MessageBox(Parent(), nullptr, "Unknown file type", Quoted(PathFileName(path)) + " is not a chart.",
                   {{"OK", nullptr}});
        ReturnToSavedChart();
        return;
    }
    const std::string folder = PathDirectory(path);
    bool known = false;
    for (const CChartList::CFolderAndTime& scanned : list.Folders())
        known = known || scanned.path == folder || IsInsideFolder(folder, scanned.path);
    if (!known)
        list.AddFolder(folder);
    if (view) {
        view->SetChartPending(false);
        view->OpenChart(path);
    }
}

void CUrlCommands::InstallPackageFile(const std::string& path)
{
    const std::string store = GetMVTFolder();
    const std::string realStore = RealFolder(store);
    const std::string realFolder = RealFolder(PathDirectory(path));
    if (!realStore.empty() && (realFolder == realStore || IsInsideFolder(realFolder, realStore))) {
        InstallPackageInMapStore(path);
        return;
    }
    // Read before the question: a package that cannot be installed is
    // refused at once, and nothing is copied.
    CPackageManifest manifest;
    std::string error;
    if (!ReadPackageManifestFile(path, manifest, error)) {
        MessageBox(Parent(), nullptr, "Error opening TS Package", path + "\n\n" + error, {{"OK", nullptr}});
        ReturnToSavedChart();
        return;
    }
    // The name and host are the package's own words: shown on one line, so
    // they cannot add lines of their own to the question.
    const std::string question = "Install the map package " + Quoted(manifest.header.name) + " from " +
                                 PackageTextForDisplay(manifest.header.host) + " into " + store + "?";
    AskYesNo(
        Parent(), nullptr, "Install map package?", question,
        [this, path, store](void*, int, int) {
            const std::string copy = CreateDirectoryPath(store) ? CopyIntoFolder(path, store, "tspkg") : "";
            if (copy.empty())
                ReturnToSavedChart();
            else
                InstallPackageInMapStore(copy, true);
        },
        [this](void*, int, int) { ReturnToSavedChart(); });
}

void CUrlCommands::InstallPackageInMapStore(const std::string& path, bool ownCopy)
{
    m_pendingPackage = path;
    CCallback storage;
    PushProgressCallback(storage, [this, ownCopy](int32_t result) {
        CRasterleafView* view = View();
        std::vector<std::string> charts;
        if (result == 0)
            ListPackageFiles(m_pendingPackage, "rlt", charts);
        else if (ownCopy)
            ::unlink(m_pendingPackage.c_str());
        m_pendingPackage.clear();
        if (view && !charts.empty() && IsRegularFile(charts.front())) {
            view->SetChartPending(false);
            view->OpenChart(charts.front());
        } else {
            ReturnToSavedChart();
        }
        return result;
    });
    InstallFile(Parent(), path);
    RunDialogCallbacksUntil(storage);
}

std::string CUrlCommands::CopyIntoDownloads(const std::string& path, const std::string& extension)
{
    return CopyIntoFolder(path, GetApplicationSupportFolder() + "/" + kDownloadsFolder, extension);
}

std::string CUrlCommands::CopyIntoFolder(const std::string& path, const std::string& folder,
                                         const std::string& extension)
{
    std::string base = PathFileName(path);
    if (LowerExtension(base) == extension)
        base.resize(base.size() - extension.size() - 1);
    if (!CreateDirectoryPath(folder) || !IsPlainFileName(base))
        return {};
    for (int n = 0; n < 1000; ++n) {
        std::string target = folder + "/" + base;
        if (n)
            target.append("-").append(std::to_string(n));
        target.append(".").append(extension);
        // Made empty first, so that no other file of that name is ever replaced.
        const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            break;
        }
        ::close(fd);
        if (CopyFile(path, target))
            return target;
        ::unlink(target.c_str());
        break;
    }
    MessageBox(Parent(), nullptr, "Could not open the file",
               Quoted(PathFileName(path)) + " could not be copied into " + folder + ".", {{"OK", nullptr}});
    return {};
}

void CUrlCommands::ReturnToSavedChart()
{
    CRasterleafView* view = View();
    if (!view || !view->IsChartPending())
        return;
    view->SetChartPending(false);
    if (!view->HasChart())
        view->OpenChart();
}
