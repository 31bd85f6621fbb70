#include "foundation/dialogs/MessageBox.h"

#include <QtGlobal>
#include <memory>
#include <set>

namespace {

// Lives until the box is answered, or until the presenter drops the box
// unanswered; the continuations it holds then go without running.
struct CMessageBoxContext
{
    std::vector<MessageBoxFunction> functions;
    void* context = nullptr;
    CDialogCallbackList dcb;
    bool answered = false;
};

void AnswerMessageBox(const std::shared_ptr<CMessageBoxContext>& box, int button)
{
    if (box->answered)
        return;
    box->answered = true;
    qDebug("clicked %d button", button);

    // The box's own continuations run after whatever the button function pushes.
    CCallback end_storage;
    PushProgressCallback(end_storage, CCallback([box](int32_t code) {
                             box->dcb.EndDialog(code);
                             return GetDialogResultCode();
                         }));
    int count = static_cast<int>(box->functions.size());
    if (button >= 0 && button < count && box->functions[button])
        box->functions[button](box->context, button, count);
    RunDialogCallbacksUntil(end_storage);
}

// Hints open now, and those already answered in this session: each shows
// at most once at a time and not again once dismissed.
std::set<std::string>& HintsSeen()
{
    static std::set<std::string> seen;
    return seen;
}

void ShowBox(QWidget* parent, void* context, const std::string& title, const std::string& text,
             std::vector<CMessageBoxButton> buttons, bool hint)
{
    auto box = std::make_shared<CMessageBoxContext>();
    box->dcb.TakeOverPendingList();
    box->context = context;

    CMessageBoxRequest request;
    request.parent = parent;
    request.title = title;
    request.text = text;
    request.hint = hint;
    for (CMessageBoxButton& b : buttons) {
        request.buttons.push_back(b.title);
        box->functions.push_back(std::move(b.function));
    }
    DialogPresenter().ShowMessageBox(request, [box](int button) { AnswerMessageBox(box, button); });
}

} // namespace

void MessageBox(QWidget* parent, void* context, const std::string& title, const std::string& text,
                std::vector<CMessageBoxButton> buttons)
{
    ShowBox(parent, context, title, text, std::move(buttons), false);
}

void ShowOKMessage(QWidget* parent, const std::string& text, const std::string& title)
{
    MessageBox(parent, nullptr, title, text, {{"OK", nullptr}});
}

void AskYesNo(QWidget* parent, void* context, const std::string& title, const std::string& text,
              MessageBoxFunction yes, MessageBoxFunction no)
{
    MessageBox(parent, context, title, text, {{"Yes", std::move(yes)}, {"No", std::move(no)}});
}

void ShowHint(QWidget* parent, const std::string& text)
{
    if (!HintsSeen().insert(text).second)
        return;
    ShowBox(parent, nullptr, "Hint", text, {{"Got it", nullptr}}, true);
}

void ForgetHintsSeenForTesting()
{
    HintsSeen().clear();
}
