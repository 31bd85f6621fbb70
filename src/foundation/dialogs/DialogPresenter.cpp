#include "foundation/dialogs/DialogPresenter.h"

#include <QtGlobal>

namespace {

IDialogPresenter* g_installed_presenter = nullptr;
IDialogPresenter* g_default_presenter = nullptr;

// Without a window toolkit nobody can answer: the request is logged so that
// its text is not lost, and dropped (its continuations never run).
class CLogOnlyPresenter : public IDialogPresenter
{
public:
    void ShowMessageBox(const CMessageBoxRequest& request, BoxAnswer) override
    {
        qWarning("message box without a window: %s %s", request.title.c_str(), request.text.c_str());
    }
    void ShowFilePanel(const CFilePanelRequest& request, PanelAnswer) override
    {
        qWarning("file panel without a window: %s", request.message.c_str());
    }
};

} // namespace

IDialogPresenter& GetDialogPresenter()
{
    static CLogOnlyPresenter log_only;
    if (g_installed_presenter)
        return *g_installed_presenter;
    return g_default_presenter ? *g_default_presenter : log_only;
}

IDialogPresenter* SetDialogPresenter(IDialogPresenter* presenter)
{
    IDialogPresenter* previous = g_installed_presenter;
    g_installed_presenter = presenter;
    return previous;
}

void SetDefaultDialogPresenter(IDialogPresenter* presenter)
{
    g_default_presenter = presenter;
}
