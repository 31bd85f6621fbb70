#include "app/shell/Application.h"

#include "app/shell/MapWidget.h"
#include "app/shell/ViewController.h"
#include "charts/chartlist/ChartList.h"
#include "foundation/AtomicFile.h"
#include "foundation/notify/StatusLine.h"
#include "foundation/settings/PersistantData.h"
#include "foundation/util/Folders.h"
#include "instruments/connections/ConnectionRegistry.h"
#include "mapview/view/RasterleafView.h"
#include "overlays/MarkManager.h"
#include "overlays/SaveAllData.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bool IsRegularFile(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool EndsWithNoCase(const std::string& name, const std::string& suffix)
{
    return name.size() > suffix.size() &&
           ::strcasecmp(name.c_str() + name.size() - suffix.size(), suffix.c_str()) == 0;
}

// Regular files of a folder whose names end in `suffix` (without case).
std::vector<std::string> FilesEndingIn(const std::string& folder, const std::string& suffix)
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return names;
    while (dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name[0] != '.' && EndsWithNoCase(name, suffix) && IsRegularFile(folder + "/" + name))
            names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

bool CopyFileAtomically(const std::string& from, const std::string& to)
{
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    CAtomicFileWriter writer;
    bool ok = writer.Open(to);
    std::vector<char> buffer(1 << 20);
    while (ok) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ok = false;
        if (n <= 0)
            break;
        ok = writer.Write(buffer.data(), size_t(n));
    }
    ::close(in);
    if (ok)
        ok = writer.Commit();
    if (!ok)
        std::fprintf(stderr, "Could not copy %s to %s: %s\n", from.c_str(), to.c_str(),
                     writer.Error().c_str());
    return ok;
}

// The folder and its missing parents.
bool MakeFolders(const std::string& path)
{
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/')
            continue;
        const std::string part = path.substr(0, i);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int gSignalPipe[2] = {-1, -1};

void OnTerminationSignal(int)
{
    const char byte = 1;
    const int saved = errno;
    [[maybe_unused]] ssize_t n = ::write(gSignalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

bool CApplicationData::Serialize(CSerialStream& stream)
{
    CSerialChunk chunk(stream);
    uint32_t version = 1;
    bool ok = chunk.Exchange(version);
    CRasterleafView* view = CRasterleafView::Global();
    if (view)
        ok = view->Serialize(stream) && ok;
    return chunk.Close() && ok;
}

bool CopyBaseMaps(const std::string& resourceFolder, const std::string& dataFolder,
                  const std::string& version)
{
    if (resourceFolder.empty() || dataFolder.empty())
        return false;
    const std::string target = dataFolder + "/basemaps";
    const std::string marker = target + "/.v" + version;
    if (IsRegularFile(marker))
        return true;
    // (source, name in the base-map folder)
    std::vector<std::pair<std::string, std::string>> copies;
    for (const std::string& name : FilesEndingIn(resourceFolder + "/basemaps", ".rlt"))
        copies.emplace_back(resourceFolder + "/basemaps/" + name, name);
    for (const std::string& folder : {resourceFolder, resourceFolder + "/basemaps"})
        for (const std::string& name : FilesEndingIn(folder, ".COPY"))
            copies.emplace_back(folder + "/" + name, name.substr(0, name.size() - 5));
    if (copies.empty())
        return true;
    if (!MakeFolders(target)) {
        std::fprintf(stderr, "Could not make %s\n", target.c_str());
        return false;
    }
    bool ok = true;
    for (const auto& [from, name] : copies)
        ok = CopyFileAtomically(from, target + "/" + name) && ok;
    if (!ok)
        return false;
    if (!WriteFileAtomically(marker, std::string())) {
        std::fprintf(stderr, "Could not write %s\n", marker.c_str());
        return false;
    }
    return true;
}

CTessarouteApp::CTessarouteApp() = default;

CTessarouteApp::~CTessarouteApp()
{
    Shutdown();
}

void CTessarouteApp::Start(bool show)
{
    // Numbers in files and settings never follow the user's locale.
    std::setlocale(LC_NUMERIC, "C");
    // A write to a closed peer fails with EPIPE instead of ending the process.
    std::signal(SIGPIPE, SIG_IGN);
    if (!PersistantData::LoadAll(kSettingsName))
        std::fprintf(stderr, "Settings: %s\n", PersistantData::LastError().c_str());
    CopyBaseMaps(GetResourceFolder(), GetApplicationSupportFolder(), GetBundleVersion());
    CChartList::Instance().Init();

    m_window = std::make_unique<ViewController>();
    if (show)
        m_window->show();
    // The view needs its size before an area can be fitted into it.
    MapWidget& map = m_window->ChartWidget();
    CRasterleafView& view = m_window->ChartView();
    if (!show)
        m_window->ensurePolished();
    view.SetViewRect(0, 0, std::max(map.width(), 64), std::max(map.height(), 64));

    // Marks and routes first: the saved view may show them.
    SetSaveAllDataHook([this] { return SaveAllData(); });
    CMarkManager::Get().LoadStore(GetApplicationSupportFolder() + "/" + CMarkManager::kStoreFile);

    CApplicationData data;
    const std::string statePath = GetApplicationSupportFolder() + "/" + kStateFile;
    if (IsRegularFile(statePath)) {
        std::string error;
        if (!data.LoadFromFile(statePath, m_window.get(), CApplicationData::kFileId, &error)) {
            std::fprintf(stderr, "%s: %s\n", statePath.c_str(), error.c_str());
            m_stateGuard.NoteLoadFailed(statePath);
            SetStatusMessage("The saved map view could not be read and is kept aside: " + error);
        }
    }
    if (!view.HasChart() && !view.IsSwitching())
        view.ShowAreaHere(-100.0, 10.0, 30.0, 50.0);
    m_window->DidOpenMap();
    SetConnectionDialogParent(m_window.get());
    StartGPSConnection();
    // The connection's status must not hide that the marks were kept aside.
    if (!CMarkManager::Get().LoadFailureText().empty())
        SetStatusMessage(CMarkManager::Get().LoadFailureText());
}

bool CTessarouteApp::SaveAllData()
{
    bool ok = true;
    bool marksSaved = true;
    // Only after Start loaded the stores: an empty manager never replaces them.
    if (m_window) {
        std::string marksError;
        const std::string marksPath = GetApplicationSupportFolder() + "/" + CMarkManager::kStoreFile;
        if (!CMarkManager::Get().SaveStore(marksPath, &marksError)) {
            marksSaved = false;
            std::fprintf(stderr, "%s: %s\n", marksPath.c_str(), marksError.c_str());
        }
    }
    if (m_window) {
        CApplicationData data;
        std::string error;
        const std::string statePath = GetApplicationSupportFolder() + "/" + kStateFile;
        if (!m_stateGuard.BeforeSave())
            error = m_stateGuard.Error();
        else
            ok = data.SaveToFile(statePath, nullptr, CApplicationData::kFileId, &error);
        if (!ok || !error.empty()) {
            ok = false;
            std::fprintf(stderr, "%s: %s\n", statePath.c_str(), error.c_str());
        }
    }
    if (!PersistantData::SaveAll())
        std::fprintf(stderr, "Settings: %s\n", PersistantData::LastError().c_str());
    return ok && marksSaved;
}

void CTessarouteApp::Shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    StopGPSConnection();
    SetConnectionDialogParent(nullptr);
    SaveAllData();
    SetSaveAllDataHook({});
    m_window.reset();
}

void CTessarouteApp::InstallTerminationHandler()
{
    if (gSignalPipe[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalPipe) != 0)
        return;
    // A burst of signals must never block the handler.
    ::fcntl(gSignalPipe[1], F_SETFL, ::fcntl(gSignalPipe[1], F_GETFL) | O_NONBLOCK);
    auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char byte;
        [[maybe_unused]] ssize_t n = ::read(gSignalPipe[0], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}
