#pragma once
// The two panels of the application and their layout files: the main panel
// (the one on screen) and the after-start panel, stored, read and switched
// together. The working copy in the application data folder is what the
// panels show; named layouts live in the documents folder.
#include "panels/DisplayView.h"

#include <string>

CDisplayView& GetMainDisplayView();
CDisplayView& GetFlipDisplayView();

class c_main_and_flip_dv : public CSerializable
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

    // Layout commands; failures are told to the user by the functions
    // themselves, the result says whether it worked.
    bool SaveLayout();
    void SaveLayoutAs();
    void LoadLayout();
    bool SwitchLayout(const std::string& path);
    bool RestoreDefaultLayout();
    bool OpenLayoutFile(const std::string& path, std::string* error = nullptr);

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
};
