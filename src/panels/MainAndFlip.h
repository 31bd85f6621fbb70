#pragma once
// The two panels of the application and their layout files: the main panel
// (the one on screen) and the after-start panel, stored, read and switched
// together. The working copy in the application data folder is what the
// panels show; named layouts live in the documents folder.
#include "foundation/events/Heartbeat.h"
#include "instruments/data/DataStartTimer.h"
#include "panels/DisplayView.h"

#include <functional>
#include <string>

class CLayoutDocument;

CDisplayView& GetMainDisplayView();
CDisplayView& GetFlipDisplayView();

// Runs `job` from the next heartbeat tick, once. Work started from a cell
// that may free the cell (a layout switch) goes here, so that it never runs
// while the cell is on the stack.
void RunOnNextPanelTick(std::function<void()> job);

class c_main_and_flip_dv : public CSerializable,
                           private Listener<CDataStartTimer>,
                           private CHeartbeat::Counter
{
public:
    static c_main_and_flip_dv& Get();

    // Writing: the header with the current layout's name, then both panels.
    // Reading: both panels are read whole into fresh lists and applied only
    // when everything read; the header name then sets the current layout path.
    bool Serialize(CSerialStream& stream) override;

    // Reads a layout file into both panels; a refused file changes nothing.
    bool ReadLayoutFile(const std::string& path, std::string* error = nullptr);
    // Writes both panels atomically.
    bool WriteLayoutFile(const std::string& path, std::string* error = nullptr);
    // When a panel changed: writes the working copy, clears both modified
    // flags and remembers which named layout now has unsaved changes. A
    // failed write keeps the flags, so the change is written next time.
    bool SaveWorkingCopy(std::string* error = nullptr);
    // The working copy, or the shipped layout when there is none or it is
    // refused; a refused working copy is kept aside as ".bad" and `message`
    // says so. False when neither could be read.
    bool LoadWorkingCopy(std::string* message = nullptr);

    // SaveWorkingCopy, telling the user when the write failed.
    bool SaveWorkingCopyOrReport();

    // The user's layout commands. Each tells the user about a failure itself;
    // the answer says whether it worked.
    // Writes the working copy and then the current named layout.
    bool SaveLayout();
    // Asks for a name, then writes the layout there and to the working copy.
    void SaveLayoutAs();
    // Asks for a layout file and switches to it.
    void LoadLayout();
    // Shows the layout at `path`. A file that does not read changes nothing.
    // Unsaved changes of the layout being left are kept aside and the user
    // is asked whether to save them into that layout.
    bool SwitchLayout(const std::string& path);
    // The shipped layout, with no named layout behind it.
    bool RestoreDefaultLayout();
    // A layout handed over from outside: the working copy is backed up, the
    // file is copied into the documents folder (never over itself or over
    // another file of the same name) and shown as that copy.
    bool OpenLayoutFile(const std::string& path, std::string* error = nullptr);

    // Reads a layout file into `document` without touching the panels.
    static bool ReadLayoutDocument(const std::string& path, CLayoutDocument& document,
                                   std::string* error = nullptr);

    static std::string WorkingCopyPath();     // "live_data.dvtf" in the application data folder
    static std::string LeftWorkingCopyPath(); // "live_data.dvtf.tmp", while the user decides
    static std::string BackupPath();          // "backup_data_layout.dvtf" in the documents folder
    // The named layout in the documents folder; "" for a name that is no plain file name.
    static std::string NamedLayoutPath(const std::string& name);
    static std::string DefaultLayoutPath(); // the shipped "default_data_layout.dvtf"

    CDisplayView& m_main;
    CDisplayView& m_flip;
    // The named layout the working copy came from or was last saved to.
    std::string m_currentLayoutPath;
    // The named layout whose changes are only in the working copy.
    std::string m_pathWithUnsavedChanges;

private:
    c_main_and_flip_dv();
    ~c_main_and_flip_dv() override;
    // Shows a document read whole; the current layout path becomes `path`.
    void Apply(CLayoutDocument& document, const std::string& path);
    QWidget* Owner() const { return m_main.Owner(); }
    // A new start time arms the after-start switch.
    void Notify(const CDataStartTimer& timer) override;
    void OnTick() override;
    void SetAfterStartPending(bool pending);

    // The start time whose after-start switch has been made: the same time
    // published again (a received start sentence) does not switch again.
    double m_switchedStart = 0;
};
