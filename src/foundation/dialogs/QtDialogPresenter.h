#pragma once
// The presenter of the running application: QMessageBox, QFileDialog and QPrintDialog,
// always opened with open() so that the caller returns at once and the main
// window's timer keeps ticking while the user thinks.
#include "foundation/dialogs/DialogPorts.h"

class QPrinter;

// Paper, orientation and margins of a printer from a page setup.
void ApplyPageSetup(QPrinter& printer, const CPageSetup& page);

class CQtDialogPresenter : public IDialogPresenter
{
public:
    void ShowMessageBox(const CMessageBoxRequest& request, BoxAnswer answer) override;
    void ShowFilePanel(const CFilePanelRequest& request, PanelAnswer answer) override;
    void ShowPrintDialog(const CPrintRequest& request, PrintAnswer answer) override;
};
