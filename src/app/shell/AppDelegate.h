#pragma once
// The life of the process: start-up in its fixed order, the saved chart view
// ("app_state.bin"), and saving everything at exit, also when the process is
// asked to end by SIGTERM, SIGINT or SIGHUP.
#include "foundation/objectfile/Serializable.h"
#include "foundation/objectfile/UnreadableFile.h"
#include <memory>
#include <string>
#include <vector>

class CPeriodicSave;
class CRasterleafView;
class ViewController;
class QAction;
class QMenu;
class QObject;
class QSocketNotifier;

// The stored object behind "app_state.bin": a version and the chart view's state.
class CApplicationData : public CSerializable
{
public:
    static constexpr uint32_t kFileId = 0x88ABFC5E;
    // The chart view whose state the file holds; without one the state is skipped.
    explicit CApplicationData(CRasterleafView* view = nullptr) : m_view(view) {}
    bool Serialize(CSerialStream& stream) override;

private:
    CRasterleafView* m_view;
};

// Copies the base maps shipped in `resourceFolder` ("basemaps/*.rlt", and
// "*.COPY" files there or at the top without their last extension) into `dataFolder`/basemaps,
// once per `version`: the marker ".v<version>" is made only after every
// copy succeeded, so a failed copy is tried again at the next start. Each
// file is written beside its target and renamed. False when a copy failed.
bool CopyBaseMaps(const std::string& resourceFolder, const std::string& dataFolder,
                  const std::string& version);

class AppDelegate
{
public:
    static constexpr const char* kSettingsName = "Tessaroute";
    static constexpr const char* kStateFile = "app_state.bin";

    AppDelegate();
    ~AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // The whole start as the process runs it: the first half, the main
    // window shown, and the second half once the event loop runs (the window
    // has its size by then). Also connects every way the process ends to
    // applicationWillTerminate.
    void Launch();
    // The same start at once, for tests: the window is shown unless `show` is
    // false. Without `wire` the lower layers keep their do-nothing ports (a
    // test of what the window shows with nothing plugged in).
    void Start(bool show = true, bool wire = true);

    // First half, before the main window exists: the ports, the registries,
    // settings, base maps and the chart list.
    void applicationWillFinishLaunching(bool wire = true);
    // Makes the main window (and shows it unless `show` is false).
    void MakeMainWindow(bool show);
    // Second half: the stores, the default area, the connection, the menu
    // titles and the page setup; the command that arrived while starting runs
    // last, once everything is loaded.
    void applicationDidFinishLaunching();
    // Termination, in order: the overlay window, the data-panel window's
    // layout, the connection, then every store. Runs once; later calls do
    // nothing.
    void applicationWillTerminate();
    // The session manager asks for the data before a logout: everything is
    // saved through termination, then the event loop ends.
    void OnCommitDataRequest();
    // Links and documents handed to the application (its own arguments and
    // those a second launch passes on): the first one runs, at once when the
    // launch has finished, else at its end.
    void applicationOpenURLs(const std::vector<std::string>& urls);

    // Saves the three stores and the settings; true when the stores were saved.
    // A failure stays in sight in the status line until that data is saved.
    bool SaveAllData();
    // File > Quit, and closing the main window: saves first; when something
    // could not be saved, asks "Quit anyway?" before the data is lost.
    void QuitFromMenu();
    // Termination (kept for callers that end the application).
    void Shutdown() { applicationWillTerminate(); }
    ViewController* Window() { return m_window.get(); }

    // Signs the account out, or opens the sign-in dialog over the main
    // window and says "Signed in OK" when it succeeds.
    void onSignInOut();
    // Synchronises marks, routes and tracks with the chart server.
    void onOverlayCloudSync();
    // Titles an item before its menu opens ("Sign In" / "Sign Out", "Start
    // Track Logging" / "Stop Track Logging"); every item is enabled.
    void validateMenuItem(QAction* item);

    // The application menu's actions (AppDelegateMenu.cpp).
    // Makes the overlay window or raises the open one.
    void onOverlayList();
    void onOverlayImport();
    // Tag 1 exports every mark, 2 every route, any other every track.
    void onOverlayExport(int tag);
    void onGPSsetup();
    // Toggles track recording and titles the item by the new state.
    void onStartStopLogging(QAction* sender);
    void onCheckForAppUpdates();
    void onWebSupport();
    void onPrivacy();
    void onWebHomePage();
    void onHelp();
    // The page-setup panel; a confirmed page is kept under "page_setup".
    void page_setup();
    void onPreferences();
    void onAISSettings();
    // Folders chosen are added to the chart list; changed folders are scanned
    // again whatever the answer.
    void onAddToMapList();
    void RemoveDuplicateMaps();
    void CheckForMapUpdates();
    // Before a menu opens: the layout save item shows the layout's name, or
    // hides without one; the other items are validated.
    void menuNeedsUpdate(QMenu* menu);
    // A page of the application's web site (the "app_website" setting).
    static std::string WebPageURL(const std::string& page);
    // The update page with the version, build and bundle as its query.
    static std::string UpdatePageURL();

    // True once the command pending at start-up has had its turn.
    static bool IsLaunchFinished();

    // SIGTERM, SIGINT and SIGHUP quit the application through its normal end, so the
    // data is saved. Call once after the QApplication exists.
    static void InstallTerminationHandler();

private:
    // Connects the application menu's items to the actions above.
    void ConnectMenuItems();

    std::unique_ptr<ViewController> m_window;
    // The receiver of the application's signals while this object lives.
    std::unique_ptr<QObject> m_connections;
    // A saved state that could not be read is kept aside, never overwritten.
    CUnreadableFileGuard m_stateGuard;
    bool m_storesLoaded = false;
    // Saves marks, routes and tracks while the application runs.
    std::unique_ptr<CPeriodicSave> m_periodicSave;
    bool m_terminated = false;
    bool m_wired = false;
    // Set while "Quit anyway?" is open.
    std::weak_ptr<bool> m_quitQuestion;
};
