#pragma once
// The presenter of the running application: QMessageBox, QFileDialog, QPrintDialog,
// QColorDialog and QPageSetupDialog,
// always opened with open() so that the caller returns at once and the main
// window's timer keeps ticking while the user thinks.
#include "foundation/dialogs/DialogPorts.h"

class QPrinter;

// Paper, orientation and margins of a printer from a page setup.
void ApplyPageSetup(QPrinter& printer, const CPageSetup& page);
// The page setup a printer holds; a paper that is not on the known list keeps
// `fallback`'s paper.
CPageSetup PageSetupOfPrinter(const QPrinter& printer, const CPageSetup& fallback);

class CQtDialogPresenter : public IDialogPresenter
{
public:
    void ShowMessageBox(const CMessageBoxRequest& request, BoxAnswer answer) override;
    void ShowFilePanel(const CFilePanelRequest& request, PanelAnswer answer) override;
    void ShowPrintDialog(const CPrintRequest& request, PrintAnswer answer) override;
    void ShowColourPanel(const CColourPanelRequest& request, ColourAnswer answer) override;
    void ShowPageSetupPanel(const CPrintRequest& request, PageSetupAnswer answer) override;
    void ShowFoldersPanel(const CFoldersPanelRequest& request, FoldersAnswer answer) override;

protected:
    // The printer of a print dialog, before the page setup is applied to it.
    virtual void PreparePrinter(QPrinter& printer) { (void)printer; }
};
