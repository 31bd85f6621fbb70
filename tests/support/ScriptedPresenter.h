#pragma once
// A dialog presenter for tests: it records every box, panel and print dialog
// that was shown
// and answers them from a script, when the test says so (Deliver) or at once
// (SetImmediate). Constructing one installs it; destroying it restores the
// presenter that was in use and drops unanswered dialogs, whose continuations
// then go without running.
#include "foundation/dialogs/DialogPorts.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace tessatest {

struct CShownDialog
{
    enum Kind { Box, OpenPanel, SavePanel, Print, Colour, PageSetup, Folders };
    Kind kind = Box;
    QWidget* parent = nullptr;
    std::string title;                // boxes
    std::string text;                 // boxes
    std::vector<std::string> buttons; // boxes
    std::string extension;            // panels
    std::string message;              // panels
    std::string default_name;         // save panels
    std::string start_folder;         // panels
    CPageSetup page;                  // print dialogs and page setups
    double colour[3] = {};            // the colour a colour panel starts with
};

class CScriptedPresenter : public IDialogPresenter
{
public:
    CScriptedPresenter();
    ~CScriptedPresenter() override;
    CScriptedPresenter(const CScriptedPresenter&) = delete;
    CScriptedPresenter& operator=(const CScriptedPresenter&) = delete;

    // The script, used in order. A box without a scripted answer gets button
    // 0; a panel or a print dialog without one is cancelled.
    void AnswerButton(int button);
    void ChoosePath(const std::string& path);
    void CancelPanel();
    // A print dialog answered with a printer that writes a PDF file.
    void PrintToPdf(const std::string& path);
    void CancelPrint();
    // Colour panels, page setups and folders panels; unscripted ones are cancelled.
    void ChooseColour(double red, double green, double blue);
    void ConfirmPageSetup(const CPageSetup& page);
    void ChooseFolders(const std::vector<std::string>& paths);
    void CancelFolders();

    // Answer each dialog as soon as it is shown (default: wait for Deliver).
    void SetImmediate(bool immediate) { m_immediate = immediate; }

    // Answers the oldest open dialog; false when none is open.
    bool Deliver();
    // Answers open dialogs until none is left (also those that answers open);
    // returns how many were answered.
    int DeliverAll();

    size_t OpenCount() const { return m_open.size(); }
    const std::vector<CShownDialog>& Shown() const { return m_shown; }
    // The last dialog shown; a test must check Shown() is not empty first.
    const CShownDialog& Last() const { return m_shown.back(); }
    void ClearShown() { m_shown.clear(); }

    void ShowMessageBox(const CMessageBoxRequest& request, BoxAnswer answer) override;
    void ShowFilePanel(const CFilePanelRequest& request, PanelAnswer answer) override;
    void ShowPrintDialog(const CPrintRequest& request, PrintAnswer answer) override;
    void ShowColourPanel(const CColourPanelRequest& request, ColourAnswer answer) override;
    void ShowPageSetupPanel(const CPrintRequest& request, PageSetupAnswer answer) override;
    void ShowFoldersPanel(const CFoldersPanelRequest& request, FoldersAnswer answer) override;

private:
    enum class StepKind { Box, Panel, Print, Colour, PageSetup, Folders };
    struct Step
    {
        StepKind kind = StepKind::Box;
        int button = 0;
        int32_t code = -1;
        std::string path;
        double colour[3] = {};
        CPageSetup page;
        std::vector<std::string> paths;
    };
    struct Open
    {
        StepKind kind = StepKind::Box;
        BoxAnswer box;
        PanelAnswer panel;
        PrintAnswer print;
        ColourAnswer colour;
        PageSetupAnswer pageSetup;
        FoldersAnswer folders;
        CPageSetup page;
    };

    void AddStep(StepKind kind, int button, int32_t code, const std::string& path);
    void Add(Open open);
    void Answer(Open open);

    IDialogPresenter* m_previous = nullptr;
    bool m_immediate = false;
    std::deque<Step> m_script;
    std::deque<Open> m_open;
    std::vector<CShownDialog> m_shown;
};

} // namespace tessatest
