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
    SetDefaultDialogPresenter(&gPresenter);
    SetMenuPopup(&gMenus);
    SetProgressDialogOpener(&gProgress);
}

CQtAdaptors::~CQtAdaptors()
{
    SetProgressDialogOpener(nullptr);
    SetMenuPopup(nullptr);
    SetDefaultDialogPresenter(nullptr);
}

} // namespace tessatest
