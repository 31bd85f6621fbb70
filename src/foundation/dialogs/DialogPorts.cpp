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
