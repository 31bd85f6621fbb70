#pragma once
// The presenter of the running application: QMessageBox and QFileDialog,
// always opened with open() so that the caller returns at once and the main
// window's timer keeps ticking while the user thinks.
#include "foundation/dialogs/DialogPorts.h"

class CQtDialogPresenter : public IDialogPresenter
{
public:
    void ShowMessageBox(const CMessageBoxRequest& request, BoxAnswer answer) override;
    void ShowFilePanel(const CFilePanelRequest& request, PanelAnswer answer) override;
};
