#include "app/shell/AppDelegate.h"

#include "ais/AISTargetManager.h"
#include "app/dialogs/Account.h"
#include "app/dialogs/account_login.h"
#include "app/shell/AppDelegatePorts.h"
#include "app/shell/PeriodicSave.h"
#include "app/shell/Registries.h"
#include "app/shell/SetAsideStores.h"
#include "app/shell/SyncOverlays.h"
#include "app/shell/UrlCommands.h"
#include "app/shell/Wiring.h"
#include "app/window/QtRasterleafView.h"
#include "app/window/ViewController.h"
#include "app/window/overlay_window.h"
#include "charts/chartlist/ChartList.h"
#include "foundation/AtomicFile.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/dialogs/UIViewControllerWithDialog.h"
#include "foundation/dialogs/global_dialog_window.h"
#include "foundation/events/Listener.h"
#include "foundation/events/ShutDown.h"
#include "foundation/notify/StatusLine.h"
#include "foundation/platform/PlatformFolders.h"
#include "foundation/print/PageSetup.h"
#include "foundation/settings/PersistantData.h"
#include "foundation/util/Files.h"
#include "foundation/util/Folders.h"
#include "instruments/connections/ConnectionRegistry.h"
#include "mapview/overlay/OverlayTool.h"
#include "mapview/view/RasterleafView.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/TrackManager.h"
#include "panels/MainAndFlip.h"

#include <QAction>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Regular files of a folder whose names end in `suffix` (without case), sorted.
std::vector<std::string> FilesEndingIn(const std::string& folder, const std::string& suffix)
{
    std::vector<std::string> names;
    for (const std::string& path : FindFiles(folder, "?*" + suffix)) {
        const std::string name = path.substr(path.rfind('/') + 1);
        if (name[0] != '.' && IsRegularFile(path))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

int gSignalPipe[2] = {-1, -1};
bool gLaunchFinished = false;
// Told once the window shows, instead of a blank chart without a word.
bool gBaseMapsMissing = false;

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
    if (m_view)
        ok = m_view->Serialize(stream) && ok;
    return chunk.Close() && ok;
}

bool CopyBaseMaps(const std::string& resourceFolder, const std::string& dataFolder,
                  const std::string& version)
{
    if (resourceFolder.empty() || dataFolder.empty())
        return false;
    const std::string target = dataFolder + "/basemaps";
    // A link in the folder's place would carry the copies and the marker into
    // whatever folder it names: the link goes (not what it points to), and a
    // folder of our own is made below.
    struct stat st;
    if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && ::unlink(target.c_str()) != 0) {
        std::fprintf(stderr, "Could not replace the link %s: %s\n", target.c_str(), std::strerror(errno));
        return false;
    }
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
    if (!CreateDirectoryPath(target)) {
        std::fprintf(stderr, "Could not make %s\n", target.c_str());
        return false;
    }
    bool ok = true;
    for (const auto& [from, name] : copies)
        if (!CopyFile(from, target + "/" + name)) {
            std::fprintf(stderr, "Could not copy %s to %s\n", from.c_str(), (target + "/" + name).c_str());
            ok = false;
        }
    if (!ok)
        return false;
    if (!WriteFileAtomically(marker, std::string())) {
        std::fprintf(stderr, "Could not write %s\n", marker.c_str());
        return false;
    }
    return true;
}

AppDelegate::AppDelegate() = default;

AppDelegate::~AppDelegate()
{
    applicationWillTerminate();
}

bool AppDelegate::IsLaunchFinished()
{
    return gLaunchFinished;
}

void AppDelegate::Launch()
{
    applicationWillFinishLaunching();
    MakeMainWindow(true);
    // Every end of the process goes through termination once.
    // The connections end with this object, never calling a gone one.
    m_connections = std::make_unique<QObject>();
    QObject* context = m_connections.get();
    auto* qtApp = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (qtApp) {
        qtApp->setQuitOnLastWindowClosed(false);
        QObject::connect(qtApp, &QCoreApplication::aboutToQuit, context,
                         [this] { applicationWillTerminate(); });
        QObject::connect(qtApp, &QGuiApplication::commitDataRequest, context,
                         [this](QSessionManager&) { OnCommitDataRequest(); });
    }
    InstallTerminationHandler();
    // After the window was shown and laid out: the default area needs its size.
    QTimer::singleShot(0, context, [this] { applicationDidFinishLaunching(); });
}

void AppDelegate::Start(bool show, bool wire)
{
    applicationWillFinishLaunching(wire);
    MakeMainWindow(show);
    applicationDidFinishLaunching();
}

void AppDelegate::applicationWillFinishLaunching(bool wire)
{
    gLaunchFinished = false;
    // Before anything below can call up into the application.
    if (wire) {
        WireApplicationPorts(*this);
        m_wired = true;
    }
    // The registries and the settings objects, before the settings are read.
    RegisterApplicationTypes();
    // Numbers in files and settings never follow the user's locale.
    std::setlocale(LC_NUMERIC, "C");
    // A write to a closed peer fails with EPIPE instead of ending the process.
    std::signal(SIGPIPE, SIG_IGN);
    if (!PersistantData::LoadAll(kSettingsName))
        std::fprintf(stderr, "Settings: %s\n", PersistantData::LastError().c_str());
    // The panels' layouts listen for the race start before any connection
    // can publish one.
    c_main_and_flip_dv::Get();
    gBaseMapsMissing = !CopyBaseMaps(GetResourceFolder(), GetApplicationSupportFolder(), GetBundleVersion());
    CChartList::Instance().Init();
}

void AppDelegate::MakeMainWindow(bool show)
{
    m_window = std::make_unique<ViewController>();
    // Dialog windows float above the main window only.
    SetDialogMainWindow(m_window.get());
    if (show)
        m_window->show();
    else
        m_window->ensurePolished();
    // The account's items: the window is their context, so they never call a gone delegate.
    ViewController* window = m_window.get();
    QObject::connect(window->SignInOutAction(), &QAction::triggered, window, [this] { onSignInOut(); });
    // Quit from the menu asks before unsaved data is lost.
    QObject::disconnect(window->QuitAction(), &QAction::triggered, nullptr, nullptr);
    QObject::connect(window->QuitAction(), &QAction::triggered, window, [this] { QuitFromMenu(); });
    QObject::connect(window->OverlayCloudSyncAction(), &QAction::triggered, window,
                     [this] { onOverlayCloudSync(); });
    QObject::connect(window->AccountItemsMenu(), &QMenu::aboutToShow, window, [this, window] {
        validateMenuItem(window->SignInOutAction());
        validateMenuItem(window->OverlayCloudSyncAction());
    });
    ConnectMenuItems();
}

void AppDelegate::onSignInOut()
{
    CAccount& account = CAccount::Get();
    if (account.IsSignedIn()) {
        account.SignOut();
        return;
    }
    if (!m_window)
        return;
    CCallback storage;
    PushProgressCallback(
        storage, CCallback([this](int32_t code) {
            if (code == 0 && m_window)
                MessageBox(m_window.get(), nullptr, "Success", "Signed in OK", {{"OK", nullptr}});
            return code;
        }));
    OpenSignInDialog(account, &m_window->DialogHost());
    RunDialogCallbacksUntil(storage);
}

void AppDelegate::onOverlayCloudSync()
{
    if (m_window)
        SyncOverlays(&m_window->DialogHost());
}

void AppDelegate::validateMenuItem(QAction* item)
{
    if (!item)
        return;
    if (m_window && item == m_window->SignInOutAction())
        item->setText(CAccount::Get().IsSignedIn() ? "Sign Out" : "Sign In");
    if (m_window && item == m_window->TrackLoggingAction())
        item->setText(CTrackManager::Get().IsRecording() ? "Stop Track Logging" : "Start Track Logging");
    item->setEnabled(!m_window || m_window->MenuItemAllowed(item));
}

void AppDelegate::applicationDidFinishLaunching()
{
    if (!m_window)
        return;
    // The command that arrived while starting runs when this scope ends,
    // after the stores are loaded, never before.
    CCallback pendingUrl;
    PushProgressCallback(pendingUrl, [](int32_t code) {
        Port<IPendingUrlRunner>().RunPendingUrl();
        gLaunchFinished = true;
        return code;
    });

    // The view needs its size before an area can be fitted into it.
    QtRasterleafView& map = m_window->ChartWidget();
    CRasterleafView& view = m_window->ChartView();
    view.SetViewRect(0, 0, std::max(map.width(), 64), std::max(map.height(), 64));

    // Marks and routes first: the saved view may show them. Stores that fail
    // are set aside at once and listed together in one message.
    const std::string folder = GetApplicationSupportFolder();
    CSetAsideStores setAside;
    std::string storeError;
    CMarkManager& marks = CMarkManager::Get();
    if (!marks.LoadStore(folder + "/" + CMarkManager::kStoreFile, &storeError))
        setAside.Add(folder + "/" + CMarkManager::kStoreFile, storeError, marks.StoreGuard());
    CTrackManager& tracks = CTrackManager::Get();
    if (!tracks.LoadStore(folder, &storeError))
        setAside.Add(folder + "/" + CTrackManager::kStoreFile, storeError, tracks.StoreGuard());
    CApplicationData data(&view);
    m_storesLoaded = true;
    m_periodicSave = std::make_unique<CPeriodicSave>(folder, CPeriodicSave::IntervalFromEnvironment());
    const std::string statePath = folder + "/" + kStateFile;
    if (IsRegularFile(statePath)) {
        std::string error;
        if (!data.LoadFromFile(statePath, m_window.get(), CApplicationData::kFileId, &error)) {
            std::fprintf(stderr, "%s: %s\n", statePath.c_str(), error.c_str());
            setAside.Add(statePath, error, m_stateGuard);
        }
    }
    if (!view.HasChart() && !view.IsSwitching() && !view.IsChartPending())
        view.ShowAreaHere(-100.0, 10.0, 30.0, 50.0);
    m_window->DidOpenMap();
    setAside.Tell(m_window.get());
    StartGPSConnection();
    // The connection's status must not hide that stores were kept aside.
    if (!setAside.Empty())
        SetStatusMessage(setAside.StatusText());
    else if (gBaseMapsMissing)
        SetStatusMessage("The base map could not be copied into " + folder +
                         "/basemaps: the chart stays blank");

    Port<ITrackLoggingMenuItem>().SetTrackLoggingTitle(tracks.IsRecording() ? "Stop Track Logging"
                                                                            : "Start Track Logging");
    if (!CAISTargetManager::GetSettings().enableSettings)
        Port<IAisSettingsMenuItem>().SetAisSettingsItemHidden(true);
    m_window->SetPageSetup(LoadPageSetup());

    RunDialogCallbacksUntil(pendingUrl);
}

bool AppDelegate::SaveAllData()
{
    bool ok = true;
    CSaveFailures& failures = CSaveFailures::Get();
    auto told = [&](const char* what, bool saved, const std::string& error) {
        if (saved)
            failures.Saved(what);
        else
            failures.Failed(what, error.empty() ? "unknown error" : error);
        ok = ok && saved;
    };
    // A periodic write of the same files ends first.
    if (m_periodicSave)
        m_periodicSave->Wait();
    // Only after start-up loaded the stores: an empty manager never replaces
    // them, also when the process is ended between the two halves of the start.
    if (m_window && m_storesLoaded) {
        const std::string folder = GetApplicationSupportFolder();
        std::string error;
        const std::string marksPath = folder + "/" + CMarkManager::kStoreFile;
        told("marks and routes", CMarkManager::Get().SaveStore(marksPath, &error), error);
        error.clear();
        told("tracks", CTrackManager::Get().SaveStore(folder, &error), error);
        CApplicationData data(&m_window->ChartView());
        error.clear();
        const std::string statePath = folder + "/" + kStateFile;
        bool saved = m_stateGuard.BeforeSave();
        if (!saved)
            error = m_stateGuard.Error();
        else
            saved = data.SaveToFile(statePath, nullptr, CApplicationData::kFileId, &error);
        told("chart view", saved && error.empty(), error);
    }
    const bool settingsSaved = PersistantData::SaveAll();
    if (settingsSaved)
        failures.Saved("settings");
    else
        failures.Failed("settings", PersistantData::LastError());
    return ok;
}

void AppDelegate::applicationWillTerminate()
{
    if (m_terminated)
        return;
    m_terminated = true;
    // Termination order: the overlay tool ends first (a route being drawn is
    // finished and saved with the rest), then the windows, the connection and
    // the stores are saved; the managers release their objects last, after
    // the window that shows them and before static destruction.
    COverlayTool::EndActiveTool();
    overlay_window::Release();
    Port<IDataPanelWindow>().SaveIfModifiedAndRelease();
    FireEvent(ShutDown{});
    StopGPSConnection();
    // No alarm comes after the connection; none stays on the desktop after the process.
    RemoveAllUserNotifications();
    // The connection's capture is closed now; nothing else writes there at exit.
    RemovePlatformTempFolders();
    SaveAllData();
    m_periodicSave.reset();
    SetDialogMainWindow(nullptr);
    m_window.reset();
    if (m_wired) {
        UnwireApplicationPorts();
        m_wired = false;
    }
    CTrackManager::Get().ReleaseAll();
    CMarkManager::Get().ReleaseAll();
}

void AppDelegate::QuitFromMenu()
{
    // A second close while the question is open adds no second box.
    if (const std::shared_ptr<bool> open = m_quitQuestion.lock(); open && *open)
        return;
    auto quit = [this] {
        if (m_window)
            m_window->Quit();
        else
            QCoreApplication::quit();
    };
    if (SaveAllData() && !CSaveFailures::Get().Any()) {
        quit();
        return;
    }
    // Open until answered, or until the box is dropped with its functions.
    auto open = std::make_shared<bool>(true);
    m_quitQuestion = open;
    AskYesNo(
        m_window.get(), nullptr, "Quit anyway?",
        "Not everything could be saved (" + CSaveFailures::Get().List() +
            "). The changes since the last save are lost if you quit now.",
        [open, quit](void*, int, int) {
            *open = false;
            quit();
        },
        [open](void*, int, int) { *open = false; });
}

void AppDelegate::OnCommitDataRequest()
{
    applicationWillTerminate();
    QCoreApplication::quit();
}

void AppDelegate::applicationOpenURLs(const std::vector<std::string>& urls)
{
    CUrlCommands::Get().OpenURLs(urls);
    if (m_window && AppDelegate::IsLaunchFinished())
        m_window->activateWindow();
}

void AppDelegate::InstallTerminationHandler()
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
        // exit, not quit: quit is cancelled by an open box that refuses to
        // close (a Yes/No question from a link), and the process would stay.
        QCoreApplication::exit(0);
    });
    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    // The end of a session (logout, a closed terminal) saves as a quit does.
    ::sigaction(SIGHUP, &action, nullptr);
}
