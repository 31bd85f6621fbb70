#pragma once
// What shows message boxes and file panels. The dialog logic (continuations,
// button functions, completions) is plain C++ and talks to the user only
// through this interface: the application uses the Qt presenter, tests a
// scripted one. Every Show call returns at once and answers later, exactly
// once, through the given function — no nested event loop anywhere.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QWidget;

struct CMessageBoxRequest
{
    QWidget* parent = nullptr; // the window the box belongs to, or none
    std::string title;         // the box's message text
    std::string text;          // its informative text
    std::vector<std::string> buttons;
};

struct CFilePanelRequest
{
    QWidget* parent = nullptr;
    bool save = false;        // a save panel, else an open panel for one existing file
    std::string extension;    // the only allowed type, with its '.'; empty allows all
    std::string message;      // shown in the panel when not empty
    std::string default_name; // the proposed name of a save panel
    std::string start_folder; // where the panel starts; empty leaves it to the panel
};

class IDialogPresenter
{
public:
    // The button index (0 for the first), or -1 when the box was closed without one.
    using BoxAnswer = std::function<void(int button)>;
    // 0 and the chosen path, or -1 and "" when the user cancelled.
    using PanelAnswer = std::function<void(int32_t code, const std::string& path)>;

    virtual ~IDialogPresenter() = default;
    virtual void ShowMessageBox(const CMessageBoxRequest& request, BoxAnswer answer) = 0;
    virtual void ShowFilePanel(const CFilePanelRequest& request, PanelAnswer answer) = 0;
};

// The presenter in use: the one installed, else the default one (the Qt
// presenter, which the widget adaptors register when they are linked), else
// one that logs each request and drops it unanswered.
IDialogPresenter& GetDialogPresenter();
// Installs a presenter (not owned); nullptr restores the default presenter.
// Returns the one installed before, nullptr when that was the default.
IDialogPresenter* SetDialogPresenter(IDialogPresenter* presenter);
// The presenter used when none is installed (not owned; it must outlive every
// use). The Qt widget adaptors register theirs at start.
void SetDefaultDialogPresenter(IDialogPresenter* presenter);
