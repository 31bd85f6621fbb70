#pragma once
// The application's dialog presenter: Qt's, with Page Setup of our own where
// no printer is installed, and printing to a file that remembers its file.
#include "foundation/dialogs/QtDialogPresenter.h"

class CAppDialogPresenter : public CQtDialogPresenter
{
public:
    void ShowPrintDialog(const CPrintRequest& request, PrintAnswer answer) override;
    void ShowPageSetupPanel(const CPrintRequest& request, PageSetupAnswer answer) override;

protected:
    void PreparePrinter(QPrinter& printer) override;
};
