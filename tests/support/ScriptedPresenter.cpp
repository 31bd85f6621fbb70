#include "support/ScriptedPresenter.h"

#include "foundation/dialogs/QtDialogPresenter.h"

#include <QPrinter>

namespace tessatest {

CScriptedPresenter::CScriptedPresenter()
{
    m_previous = SetDialogPresenter(this);
}

CScriptedPresenter::~CScriptedPresenter()
{
    SetDialogPresenter(m_previous);
}

void CScriptedPresenter::AddStep(StepKind kind, int button, int32_t code, const std::string& path)
{
    Step step;
    step.kind = kind;
    step.button = button;
    step.code = code;
    step.path = path;
    m_script.push_back(step);
}

void CScriptedPresenter::AnswerButton(int button)
{
    AddStep(StepKind::Box, button, -1, "");
}

void CScriptedPresenter::ChoosePath(const std::string& path)
{
    AddStep(StepKind::Panel, 0, 0, path);
}

void CScriptedPresenter::CancelPanel()
{
    AddStep(StepKind::Panel, 0, -1, "");
}

void CScriptedPresenter::PrintToPdf(const std::string& path)
{
    AddStep(StepKind::Print, 0, 0, path);
}

void CScriptedPresenter::CancelPrint()
{
    AddStep(StepKind::Print, 0, -1, "");
}

void CScriptedPresenter::ChooseColour(double red, double green, double blue)
{
    AddStep(StepKind::Colour, 0, 0, "");
    m_script.back().colour[0] = red;
    m_script.back().colour[1] = green;
    m_script.back().colour[2] = blue;
}

void CScriptedPresenter::ConfirmPageSetup(const CPageSetup& page)
{
    AddStep(StepKind::PageSetup, 0, 0, "");
    m_script.back().page = page;
}

void CScriptedPresenter::ChooseFolders(const std::vector<std::string>& paths)
{
    AddStep(StepKind::Folders, 0, 0, "");
    m_script.back().paths = paths;
}

void CScriptedPresenter::CancelFolders()
{
    AddStep(StepKind::Folders, 0, -1, "");
}

void CScriptedPresenter::ShowMessageBox(const CMessageBoxRequest& request, BoxAnswer answer)
{
    CShownDialog shown;
    shown.kind = CShownDialog::Box;
    shown.parent = request.parent;
    shown.title = request.title;
    shown.text = request.text;
    shown.buttons = request.buttons;
    m_shown.push_back(shown);
    Open open;
    open.box = std::move(answer);
    Add(std::move(open));
}

void CScriptedPresenter::ShowFilePanel(const CFilePanelRequest& request, PanelAnswer answer)
{
    CShownDialog shown;
    shown.kind = request.save ? CShownDialog::SavePanel : CShownDialog::OpenPanel;
    shown.parent = request.parent;
    shown.extension = request.extension;
    shown.message = request.message;
    shown.default_name = request.default_name;
    shown.start_folder = request.start_folder;
    m_shown.push_back(shown);
    Open open;
    open.kind = StepKind::Panel;
    open.panel = std::move(answer);
    Add(std::move(open));
}

void CScriptedPresenter::ShowPrintDialog(const CPrintRequest& request, PrintAnswer answer)
{
    CShownDialog shown;
    shown.kind = CShownDialog::Print;
    shown.parent = request.parent;
    shown.page = request.page;
    m_shown.push_back(shown);
    Open open;
    open.kind = StepKind::Print;
    open.print = std::move(answer);
    open.page = request.page;
    Add(std::move(open));
}

void CScriptedPresenter::ShowColourPanel(const CColourPanelRequest& request, ColourAnswer answer)
{
    CShownDialog shown;
    shown.kind = CShownDialog::Colour;
    shown.parent = request.parent;
    shown.title = request.title;
    shown.colour[0] = request.red;
    shown.colour[1] = request.green;
    shown.colour[2] = request.blue;
    m_shown.push_back(shown);
    Open open;
    open.kind = StepKind::Colour;
    open.colour = std::move(answer);
    Add(std::move(open));
}

void CScriptedPresenter::ShowPageSetupPanel(const CPrintRequest& request, PageSetupAnswer answer)
{
    CShownDialog shown;
    shown.kind = CShownDialog::PageSetup;
    shown.parent = request.parent;
    shown.page = request.page;
    m_shown.push_back(shown);
    Open open;
    open.kind = StepKind::PageSetup;
    open.pageSetup = std::move(answer);
    open.page = request.page;
    Add(std::move(open));
}

void CScriptedPresenter::ShowFoldersPanel(const CFoldersPanelRequest& request, FoldersAnswer answer)
{
    CShownDialog shown;
    shown.kind = CShownDialog::Folders;
    shown.parent = request.parent;
    shown.message = request.message;
    m_shown.push_back(shown);
    Open open;
    open.kind = StepKind::Folders;
    open.folders = std::move(answer);
    Add(std::move(open));
}

void CScriptedPresenter::Add(Open open)
{
    if (m_immediate)
        Answer(std::move(open));
    else
        m_open.push_back(std::move(open));
}

void CScriptedPresenter::Answer(Open open)
{
    Step step;
    step.kind = open.kind;
    step.button = 0;
    step.code = -1;
    // A script entry of the wrong kind is left for the next dialog of its kind.
    for (auto it = m_script.begin(); it != m_script.end(); ++it) {
        if (it->kind == open.kind) {
            step = *it;
            m_script.erase(it);
            break;
        }
    }
    switch (open.kind) {
    case StepKind::Box:
        if (open.box)
            open.box(step.button);
        break;
    case StepKind::Panel:
        if (open.panel)
            open.panel(step.code, step.code == 0 ? step.path : std::string());
        break;
    case StepKind::Print:
        if (!open.print)
            break;
        if (step.code != 0) {
            open.print(nullptr);
            break;
        }
        {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(QString::fromStdString(step.path));
            ApplyPageSetup(printer, open.page);
            open.print(&printer);
        }
        break;
    case StepKind::Colour:
        if (open.colour)
            open.colour(step.code == 0, step.colour[0], step.colour[1], step.colour[2]);
        break;
    case StepKind::PageSetup:
        if (open.pageSetup)
            open.pageSetup(step.code == 0, step.code == 0 ? step.page : open.page);
        break;
    case StepKind::Folders:
        if (open.folders)
            open.folders(step.code, step.code == 0 ? step.paths : std::vector<std::string>());
        break;
    }
}

bool CScriptedPresenter::Deliver()
{
    if (m_open.empty())
        return false;
    Open open = std::move(m_open.front());
    m_open.pop_front();
    Answer(std::move(open));
    return true;
}

int CScriptedPresenter::DeliverAll()
{
    int count = 0;
    // A bound keeps a dialog that reopens itself from hanging the test.
    while (count < 10000 && Deliver())
        ++count;
    return count;
}

} // namespace tessatest
