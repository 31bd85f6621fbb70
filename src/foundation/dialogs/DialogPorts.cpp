#include "foundation/dialogs/DialogPorts.h"

#include "foundation/util/PortSlot.h"

#include <QtGlobal>

namespace {

IDialogPresenter* g_override = nullptr;

} // namespace

void IDialogPresenter::ShowMessageBox(const CMessageBoxRequest& request, BoxAnswer)
{
    qWarning("message box without a window: %s %s", request.title.c_str(), request.text.c_str());
}

void IDialogPresenter::ShowFilePanel(const CFilePanelRequest& request, PanelAnswer)
{
    qWarning("file panel without a window: %s", request.message.c_str());
}

void IDialogPresenter::ShowPrintDialog(const CPrintRequest& request, PrintAnswer)
{
    qWarning("print dialog without a window: %s", FormatPageSetup(request.page).c_str());
}

void IDialogPresenter::ShowColourPanel(const CColourPanelRequest& request, ColourAnswer)
{
    qWarning("colour panel without a window: %s", request.title.c_str());
}

void IDialogPresenter::ShowPageSetupPanel(const CPrintRequest& request, PageSetupAnswer)
{
    qWarning("page setup without a window: %s", FormatPageSetup(request.page).c_str());
}

void IDialogPresenter::ShowFoldersPanel(const CFoldersPanelRequest& request, FoldersAnswer)
{
    qWarning("folders panel without a window: %s", request.message.c_str());
}

IDialogPresenter& DialogPresenter()
{
    return g_override ? *g_override : Port<IDialogPresenter>();
}

IDialogPresenter* SetDialogPresenter(IDialogPresenter* presenter)
{
    IDialogPresenter* previous = g_override;
    g_override = presenter;
    return previous;
}
