#pragma once
// The life of the process: start-up in its fixed order, the saved chart view
// ("app_state.bin"), and saving everything at exit, also when the process is
// asked to end by SIGTERM or SIGINT.
#include "foundation/objectfile/Serializable.h"
#include "foundation/objectfile/UnreadableFile.h"
#include <memory>
#include <string>

class CRasterleafView;
class ViewController;
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

class CTessarouteApp
{
public:
    static constexpr const char* kSettingsName = "Tessaroute";
    static constexpr const char* kStateFile = "app_state.bin";

    CTessarouteApp();
    ~CTessarouteApp();
    CTessarouteApp(const CTessarouteApp&) = delete;
    CTessarouteApp& operator=(const CTessarouteApp&) = delete;

    // Start-up after the QApplication exists: the locale, settings, base maps,
    // chart list, main window and the saved view. Shows the window unless
    // `show` is false. Without `wire` the lower layers keep their do-nothing
    // ports (a test of what the window shows with nothing plugged in).
    void Start(bool show = true, bool wire = true);
    // Saves the view state and the settings; true when the state was saved.
    bool SaveAllData();
    // Termination: saves once (later calls do nothing).
    void Shutdown();
    ViewController* Window() { return m_window.get(); }

    // SIGTERM and SIGINT quit the application through its normal end, so the
    // data is saved. Call once after the QApplication exists.
    static void InstallTerminationHandler();

private:
    std::unique_ptr<ViewController> m_window;
    // A saved state that could not be read is kept aside, never overwritten.
    CUnreadableFileGuard m_stateGuard;
    bool m_shutDown = false;
    bool m_wired = false;
};
