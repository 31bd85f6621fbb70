#pragma once
// What shows message boxes and file panels. The dialog logic (continuations,
// button functions, completions) is plain C++ and talks to the user only
// through this port: the application installs the Qt presenter, tests a
// scripted one. Every Show call returns at once and answers later, exactly
// once, through the given function — no nested event loop anywhere.
#include "foundation/platform/DialogParent.h"
#include "foundation/print/PageSetup.h"
#include "foundation/util/PortSlot.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct CMessageBoxRequest
{
    QWidget* parent = nullptr; // the window the box belongs to, or none
    std::string title;         // the box's message text
    std::string text;          // its informative text
    std::vector<std::string> buttons;
    // A hint: never modal, kept above its window, and closed (answered -1)
    // by the first press anywhere else in the application, which still
    // reaches its target.
    bool hint = false;
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

struct CPrintRequest
{
    QWidget* parent = nullptr;
    CPageSetup page; // what the printer is set up with before the dialog shows
};

// The colour panel: the colour it starts with.
struct CColourPanelRequest
{
    QWidget* parent = nullptr;
    std::string title;
    double red = 0, green = 0, blue = 0; // 0..1
};

// The folders panel: directories only, several at once.
struct CFoldersPanelRequest
{
    QWidget* parent = nullptr; // none: application-modal
    std::string message;       // shown in the panel when not empty
};

class QPrinter;

// The chosen printer, or nullptr when the user cancelled. The printer belongs
// to the presenter and is valid only during the call.
using PrintAnswer = std::function<void(QPrinter* printer)>;

class IDialogPresenter
{
public:
    // The button index (0 for the first), or -1 when the box was closed without one.
    using BoxAnswer = std::function<void(int button)>;
    // 0 and the chosen path, or -1 and "" when the user cancelled.
    using PanelAnswer = std::function<void(int32_t code, const std::string& path)>;
    using PrintAnswer = ::PrintAnswer;
    // True and the chosen colour (components 0..1), or false when cancelled.
    using ColourAnswer = std::function<void(bool chosen, double red, double green, double blue)>;
    // True and the confirmed page, or false and the request's page when cancelled.
    using PageSetupAnswer = std::function<void(bool confirmed, const CPageSetup& page)>;
    // 0 and the chosen folders, or -1 and none when the user cancelled.
    using FoldersAnswer = std::function<void(int32_t code, const std::vector<std::string>& paths)>;

    virtual ~IDialogPresenter() = default;
    // Without a window toolkit nobody can answer: the request is logged so
    // that its text is not lost, and dropped (its continuations never run).
    virtual void ShowMessageBox(const CMessageBoxRequest& request, BoxAnswer answer);
    virtual void ShowFilePanel(const CFilePanelRequest& request, PanelAnswer answer);
    virtual void ShowPrintDialog(const CPrintRequest& request, PrintAnswer answer);
    virtual void ShowColourPanel(const CColourPanelRequest& request, ColourAnswer answer);
    // Paper, orientation and margins, starting from the request's page.
    virtual void ShowPageSetupPanel(const CPrintRequest& request, PageSetupAnswer answer);
    virtual void ShowFoldersPanel(const CFoldersPanelRequest& request, FoldersAnswer answer);
};

// Port<IDialogPresenter>() is the application's presenter: the Qt presenter
// once start-up has wired it, else the logging default.

// The presenter in use: a test's own (scripted) presenter when one is
// installed over the application's, else the application's. A test installs
// it before the application starts, so that what start-up shows reaches it.
IDialogPresenter& DialogPresenter();
// Installs a test's presenter (not owned); nullptr removes it. Returns the one
// installed before, nullptr when there was none.
IDialogPresenter* SetDialogPresenter(IDialogPresenter* presenter);
