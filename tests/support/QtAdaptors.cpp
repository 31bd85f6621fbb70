#include "support/QtAdaptors.h"

#include "foundation/dialogs/QtDialogPresenter.h"
#include "foundation/jobs/progress_dialog.h"
#include "foundation/menus/MenuPopup_qt.h"

namespace tessatest {

namespace {

CQtDialogPresenter gPresenter;
CQtMenuPopup gMenus;
CQtProgressDialogOpener gProgress;

} // namespace

CQtAdaptors::CQtAdaptors()
{
    InstallPort<IDialogPresenter>(&gPresenter);
    InstallPort<IMenuPopup>(&gMenus);
    InstallPort<IProgressDialogOpener>(&gProgress);
}

CQtAdaptors::~CQtAdaptors()
{
    InstallPort<IProgressDialogOpener>(nullptr);
    InstallPort<IMenuPopup>(nullptr);
    InstallPort<IDialogPresenter>(nullptr);
}

} // namespace tessatest
